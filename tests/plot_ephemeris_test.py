"""Tests of tools/plot_ephemeris.py: its reader, the track's wrap at 0/24 h, the
date labels, and a picture of the example drawn from a table the program wrote.

Usage: python3 tests/plot_ephemeris_test.py PROGRAM SOURCE_DIR
"""
import os
import random
import shutil
import subprocess
import sys
import tempfile
import unittest

import numpy as np

PROGRAM, SOURCE_DIR = sys.argv[1], sys.argv[2]
sys.path.insert(0, os.path.join(SOURCE_DIR, "tools"))
import plot_ephemeris as plot  # noqa: E402

SCRIPT = os.path.join(SOURCE_DIR, "tools", "plot_ephemeris.py")
EXAMPLE = os.path.join(SOURCE_DIR, "examples", "DATOS.DAT")


def run_example(directory):
    """Runs the program on the example in `directory`; returns the table's path."""
    shutil.copy(EXAMPLE, directory)
    subprocess.run([PROGRAM], cwd=directory, check=True)
    return os.path.join(directory, "VESK.DAT")


class Scratch(unittest.TestCase):
    def setUp(self):
        self.directory = tempfile.mkdtemp(prefix="plot-test-")
        self.addCleanup(shutil.rmtree, self.directory)

    def write(self, name, data):
        path = os.path.join(self.directory, name)
        with open(path, "wb") as out:
            out.write(data)
        return path


class ReadTable(Scratch):
    @classmethod
    def setUpClass(cls):
        directory = tempfile.mkdtemp(prefix="plot-test-")
        with open(run_example(directory), "rb") as table:
            cls.example = table.read()
        shutil.rmtree(directory)
        cls.values = np.array(cls.example.split(), dtype=float).reshape(-1, 8)

    def test_any_chunk_size_reads_the_same_records(self):
        path = self.write("VESK.DAT", self.example)
        for chunk in (1, 2, 7, 80, 4096, 1 << 22):
            with self.subTest(chunk=chunk):
                table = plot.read_table(path, chunk_bytes=chunk)
                self.assertEqual(table.count, 365)
                self.assertEqual(table.stride, 1)
                np.testing.assert_array_equal(table.records, self.values)

    def test_thinning_keeps_every_strideth_record_and_the_last(self):
        path = self.write("VESK.DAT", self.example)
        for drawn, chunk in ((10, 1000), (10, 1 << 22), (50, 333), (100, 64)):
            with self.subTest(drawn=drawn, chunk=chunk):
                table = plot.read_table(path, drawn_records=drawn, chunk_bytes=chunk)
                self.assertEqual(table.count, 365)
                self.assertGreater(table.stride, 1)
                self.assertLessEqual(len(table.records), 2 * drawn + 1)
                expected = self.values[:: table.stride]
                np.testing.assert_array_equal(table.records[: len(expected)], expected)
                np.testing.assert_array_equal(table.records[-1], self.values[-1])

    def test_a_cut_last_record_is_left_out(self):
        cut = self.example[: self.example.index(b"\n", 300) - 5]  # inside a number
        table = plot.read_table(self.write("VESK.DAT", cut))
        whole = (len(cut.split()) - 1) // 8
        self.assertEqual(table.count, whole)
        self.assertEqual(table.leftover, len(cut.split()) - 8 * whole)
        np.testing.assert_array_equal(table.records, self.values[:whole])

    def test_refuses_tables_without_records_or_with_text(self):
        for name, data in (
            ("empty", b""),
            ("blank", b"  \n\n \t "),
            ("short", b" 1. 2. 3.\n"),
            ("text", self.example[:200] + b" x " + self.example[200:]),
            ("endless number", b" 1" * 8 + b"5" * 100000),
        ):
            with self.subTest(name):
                with self.assertRaises(plot.TableError):
                    plot.read_table(self.write("VESK.DAT", data), chunk_bytes=64)


class SkyTrack(unittest.TestCase):
    def test_the_line_runs_to_the_edges_and_breaks_where_it_wraps(self):
        # (right ascensions, declinations, expected x, expected y)
        nan = np.nan
        cases = [
            ([22.0, 23.0], [5.0, 6.0], [22.0, 23.0], [5.0, 6.0]),
            ([23.5, 0.5], [0.0, 2.0], [23.5, 24.0, nan, 0.0, 0.5], [0.0, 1.0, nan, 1.0, 2.0]),
            ([0.5, 23.5], [2.0, 0.0], [0.5, 0.0, nan, 24.0, 23.5], [2.0, 1.0, nan, 1.0, 0.0]),
            (
                [23.0, 1.0, 23.0],
                [0.0, 4.0, 0.0],
                [23.0, 24.0, nan, 0.0, 1.0, 0.0, nan, 24.0, 23.0],
                [0.0, 2.0, nan, 2.0, 4.0, 2.0, nan, 2.0, 0.0],
            ),
            ([11.0, 23.0], [0.0, 1.0], [11.0, 23.0], [0.0, 1.0]),  # a 12 h step is no wrap
        ]
        for ra, dec, x, y in cases:
            with self.subTest(ra=ra):
                got_x, got_y = plot.sky_track(ra, dec)
                np.testing.assert_allclose(got_x, x)
                np.testing.assert_allclose(got_y, y)

    def test_no_segment_crosses_the_chart_for_random_tracks(self):
        rng = np.random.default_rng(20260101)
        for _ in range(200):
            steps = rng.normal(0, rng.uniform(0.01, 3), rng.integers(2, 300))
            ra = np.cumsum(steps) % 24
            dec = rng.uniform(-90, 90, ra.size)
            x, y = plot.sky_track(ra, dec)
            finite = ~np.isnan(x[:-1]) & ~np.isnan(x[1:])
            self.assertTrue(np.all(np.abs(np.diff(x))[finite] <= 12))
            self.assertTrue(np.all((x[~np.isnan(x)] >= 0) & (x[~np.isnan(x)] <= 24)))
            np.testing.assert_array_equal(np.isnan(x), np.isnan(y))
            # Each break is an edge point, the break and the opposite edge point;
            # without them the line holds exactly the records, in order.
            inserted = np.zeros(x.size, dtype=bool)
            for offset in (-1, 0, 1):
                inserted[np.nonzero(np.isnan(x))[0] + offset] = True
            np.testing.assert_array_equal(x[~inserted], ra)
            np.testing.assert_array_equal(y[~inserted], dec)


class Dates(unittest.TestCase):
    def test_known_dates(self):
        cases = [
            (2461041.5, (2026, 1, 1.0)),
            (2451545.0, (2000, 1, 1.5)),
            (2299160.5, (1582, 10, 15.0)),  # the first Gregorian day
            (2299159.5, (1582, 10, 4.0)),  # the last Julian one
            (0.0, (-4712, 1, 1.5)),
        ]
        for jd, date in cases:
            with self.subTest(jd=jd):
                self.assertEqual(plot.calendar_date(jd), date)
                self.assertEqual(plot.julian_date(*date), jd)

    def test_calendar_dates_round_trip(self):
        rng = random.Random(4713)
        for _ in range(20000):
            jd = rng.uniform(0, 5e6)
            self.assertAlmostEqual(plot.julian_date(*plot.calendar_date(jd)), jd, delta=1e-6)

    def test_labels_of_a_year_are_the_months(self):
        marks, texts = plot.date_marks(2461041.5, 2461405.5)
        self.assertEqual(texts, ["2026 Jan"] + list(plot.MONTHS[1:]))
        first_days = [(month, 1.0) for month in range(1, 13)]
        self.assertEqual([plot.calendar_date(m)[1:] for m in marks], first_days)

    def test_labels_are_few_and_within_the_table_for_any_span(self):
        rng = random.Random(365)
        # First a table that ends a hair before 0 h, where the next label falls.
        spans = [(672965.8869246794, 672966.4995220256)]
        for _ in range(3000):
            first = rng.uniform(-1e5, 4e6)
            spans.append((first, first + 10 ** rng.uniform(-1, 6.5)))
        for first, last in spans:
            marks, texts = plot.date_marks(first, last)
            with self.subTest(first=first, last=last):
                self.assertEqual(len(marks), len(texts))
                self.assertLessEqual(len(marks), plot.MAX_LABELS)
                self.assertTrue(all(first <= m <= last for m in marks))
                self.assertEqual(list(marks), sorted(marks))
                if last - first >= 2:
                    self.assertGreaterEqual(len(marks), 2)


class Picture(Scratch):
    def test_draws_the_example(self):
        table = run_example(self.directory)
        out = os.path.join(self.directory, "mars.png")
        done = subprocess.run(
            [sys.executable, SCRIPT, table, "--out", out, "--title", "Mars from the Earth, 2026"],
            capture_output=True,
            text=True,
        )
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(done.stderr, "")
        with open(out, "rb") as png:
            head = png.read(24)
        self.assertEqual(head[:8], b"\x89PNG\r\n\x1a\n")
        width, height = int.from_bytes(head[16:20], "big"), int.from_bytes(head[20:24], "big")
        self.assertTrue(600 <= width <= 2000 and 800 <= height <= 2400, (width, height))
        self.assertTrue(20_000 < os.path.getsize(out) < 200_000, os.path.getsize(out))

        import matplotlib.image

        pixels = (matplotlib.image.imread(out)[:, :, :3] * 255).round().astype(int)
        not_white = np.any(pixels < 250, axis=2).mean()
        self.assertTrue(0.03 < not_white < 0.6, not_white)
        colours = np.unique(pixels.reshape(-1, 3), axis=0)
        self.assertGreater(len(colours), 50)
        track_red = np.all(np.abs(pixels - [214, 39, 40]) <= 10, axis=2).sum()
        self.assertGreater(track_red, 500)  # the track itself is drawn

    def test_reports_a_missing_table(self):
        done = subprocess.run(
            [sys.executable, SCRIPT, os.path.join(self.directory, "VESK.DAT")],
            capture_output=True,
            text=True,
        )
        self.assertEqual(done.returncode, 1)
        self.assertIn("No such file or directory", done.stderr)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
