"""Tests of tools/plot_ephemeris.py: its reader, the track's wrap at 0/24 h, the
date labels, and a picture of the example drawn from a table the program wrote.

Usage: python3 tests/plot_ephemeris_test.py PROGRAM SOURCE_DIR [RUNNER...]
(RUNNER...: the command that starts PROGRAM, for a Windows program built here:
cmake/wine.sh)
"""
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import warnings

import numpy as np

PROGRAM, SOURCE_DIR, RUNNER = sys.argv[1], sys.argv[2], sys.argv[3:]
sys.path.insert(0, os.path.join(SOURCE_DIR, "tools"))
import plot_ephemeris as plot  # noqa: E402

SCRIPT = os.path.join(SOURCE_DIR, "tools", "plot_ephemeris.py")
EXAMPLE = os.path.join(SOURCE_DIR, "examples", "DATOS.DAT")
# The example's table as the Windows program writes it, which its package holds.
WINDOWS_EXAMPLE = os.path.join(SOURCE_DIR, "examples", "windows", "VESK.DAT")


EARTH = b"1.00000261 0.01671123 -0.00001531 102.93768193 0.0 357.52688973 2451545.0 3.04043E-6\n"
# Saturn seen from the Earth for 30 days of 2026 across 0 h of right ascension.
SATURN_NEAR_0H = (b"9.53667594 0.05386179 2.48599187 -21.06354617 113.66242448 -42.64463408"
                  b" 2451545.0 2.85886E-4\n" + EARTH + b"2461066.5\n30\n")
# Two bodies on one orbit with different masses, so different mean motions:
# they meet at the epoch, the 31st record, whose angles are undefined.
MARS = b"1.52371034 0.09339410 1.84969142 286.50316850 49.55953891 19.39019754 2451545.0 "
MEETING = MARS + b"0\n" + MARS + b"0.001\n2451515.0\n60\n"
MEETING_RECORD = 30
# Venus from the Earth for 100 days from 2026 August 28, over its inferior
# conjunction of October, with its J2000 mean elements.
VENUS_INFERIOR_CONJUNCTION = (b"0.72333566 0.00677672 3.39467605 54.92262463 76.67984255"
                              b" 50.37663232 2451545.0 2.4478383E-6\n" + EARTH
                              + b"2461280.5\n100\n")
# Halley's comet from the Earth for the 200 days around its perihelion of 1986.
HALLEY_1986 = b"17.867 0.96714 162.262 111.332 58.420 0 2446470.96 0\n" + EARTH + b"2446370.5\n200\n"
# A target 1e-10 AU from the Sun: its distances and some elongations have exponents.
NEAR_THE_SUN = b"1E-10 0.5 10 20 30 40 2451545.0 0\n" + EARTH + b"2461041.5\n20\n"


def run_program(directory, elements=None):
    """Runs the program in `directory` on `elements` (the example's if None);
    returns the table's path."""
    if elements is None:
        shutil.copy(EXAMPLE, directory)
    else:
        with open(os.path.join(directory, "DATOS.DAT"), "wb") as out:
            out.write(elements)
    subprocess.run(RUNNER + [PROGRAM], cwd=directory, check=True)
    return os.path.join(directory, "VESK.DAT")


def windows_spelling(table):
    """`table` as Windows writes it: CR LF line ends, three exponent digits."""
    table = table.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
    return re.sub(rb"E([-+])(\d\d)(?!\d)", rb"E\g<1>0\2", table)


def linux_spelling(table):
    """`table` as Linux writes it: LF line ends, two exponent digits where they do."""
    table = table.replace(b"\r\n", b"\n")
    return re.sub(rb"E([-+])0(\d\d)(?!\d)", rb"E\1\2", table)


def run_example(directory):
    """Runs the program on the example in `directory`; returns the table's path."""
    return run_program(directory)


class Scratch(unittest.TestCase):
    def setUp(self):
        self.directory = tempfile.mkdtemp(prefix="plot-test-")
        self.addCleanup(shutil.rmtree, self.directory)

    def write(self, name, data):
        path = os.path.join(self.directory, name)
        with open(path, "wb") as out:
            out.write(data)
        return path


def no_number_at(data, offset):
    """The message for the number of `data` that holds byte `offset`: its line
    and column, from 1, and its text, which runs from the byte after the last
    blank before it to the next blank."""
    start = max(data.rfind(blank, 0, offset) for blank in plot.WHITESPACE) + 1
    end = min((i for i in (data.find(blank, offset) for blank in plot.WHITESPACE) if i >= 0),
              default=len(data))
    line = data.count(b"\n", 0, start) + 1
    column = start - (data.rfind(b"\n", 0, start) + 1) + 1
    return f"^line {line}, column {column}: '{data[start:end].decode()}' is not a number$"


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
        typo = self.example.replace(b"1.42683076", b"1.4268x076", 1)
        text = self.example[:200] + b" x " + self.example[200:]
        comma = self.example[:300] + b",5" + self.example[300:]
        for name, data, message in (
            ("empty", b"", "no whole record"),
            ("blank", b"  \n\n \t ", "no whole record"),
            ("short", b" 1. 2. 3.\n", "no whole record"),
            ("a letter in a number", typo, "^line 5, column 38: '1.4268x076' is not a number$"),
            # Where text lands depends on the table's line ends (CR LF on Windows).
            ("text", text, no_number_at(text, 201)),
            ("comma", comma, no_number_at(comma, 300)),
            ("nan inside", b" 1." * 7 + b" 1.NAN.\n", "^line 1, column 23: '1.NAN.' is not a number$"),
            ("a byte outside ASCII", b" 1." * 9 + b"\n 1.\n \xc2\xb0 1.\n",
             r"^line 3, column 2: '\\xc2\\xb0' is not a number$"),
            ("endless number", b" 1" * 8 + b"\n 5" + b"5" * 100000,
             "^line 2, column 2: [0-9]+ bytes without a blank$"),
        ):
            # Every chunk size puts the chunk boundaries elsewhere.
            for chunk in (1, 2, 7, 64, 1 << 22):
                with self.subTest(name, chunk=chunk):
                    with self.assertRaisesRegex(plot.TableError, message):
                        plot.read_table(self.write("VESK.DAT", data), chunk_bytes=chunk)

    def test_reads_the_undefined_values_of_a_meeting_date(self):
        table_path = run_program(self.directory, MEETING)
        with open(table_path, "rb") as table_file:
            text = table_file.read()
        self.assertIn(b"-NAN.", text)  # as the program writes them
        for chunk in (3, 64, 1 << 20):
            with self.subTest(chunk=chunk):
                table = plot.read_table(table_path, chunk_bytes=chunk)
                self.assertEqual(table.count, 60)
                undefined = np.isnan(table.records)
                self.assertEqual(sorted(set(np.nonzero(undefined)[0])), [MEETING_RECORD])
                self.assertEqual(table.records[MEETING_RECORD, plot.DISTANCE], 0)
                self.assertTrue(np.all(undefined[MEETING_RECORD, [plot.RA, plot.DEC,
                                                                  plot.FRACTION]]))

    def test_the_readmes_numpy_lines_read_a_meeting_date(self):
        with open(os.path.join(SOURCE_DIR, "README.md"), encoding="utf-8") as readme:
            text = readme.read()
        block = text.split("```python\n", 1)[1].split("```", 1)[0]
        run_program(self.directory, MEETING)
        names = {}
        cwd = os.getcwd()
        os.chdir(self.directory)
        try:
            exec(block, names)  # noqa: S102 - the README's own lines
        finally:
            os.chdir(cwd)
        self.assertEqual(names["table"].shape, (60, 8))
        self.assertTrue(np.isnan(names["ra"][MEETING_RECORD]))
        self.assertEqual(np.isnan(names["table"]).any(axis=1).sum(), 1)


class WindowsTable(Scratch):
    def test_the_packaged_windows_example_is_the_programs_table(self):
        with open(run_example(self.directory), "rb") as table:
            written = table.read()
        with open(WINDOWS_EXAMPLE, "rb") as table:
            packaged = table.read()
        self.assertIn(b"\r\n", packaged)
        self.assertEqual(packaged, windows_spelling(written))
        expected = plot.read_table(os.path.join(self.directory, "VESK.DAT")).records
        for chunk in (1, 80, 1 << 18):
            with self.subTest(chunk=chunk):
                table = plot.read_table(WINDOWS_EXAMPLE, chunk_bytes=chunk)
                self.assertEqual(table.count, 365)
                np.testing.assert_array_equal(table.records, expected)

    def test_windows_and_linux_tables_read_alike(self):
        tables = []
        for elements in (NEAR_THE_SUN, MEETING):
            with open(run_program(self.directory, elements), "rb") as table:
                tables.append(table.read())
        self.assertRegex(windows_spelling(tables[0]), rb"E-0\d\d ")
        # Random records of values of any size, as "%.9G" writes them, in
        # random line breaks.
        rng = random.Random(2461041)
        for _ in range(int(os.environ.get("PLOT_TEST_RANDOM_TABLES", "20"))):
            items = [f"{rng.choice((-1, 1)) * 10 ** rng.uniform(-300, 300):.9G}"
                     for _ in range(8 * rng.randint(1, 40))]
            tables.append(b"".join(b" " + item.encode() + rng.choice((b"", b"", b"\n"))
                                   for item in items) + b"\n")
        for index, written in enumerate(tables):
            windows, linux = windows_spelling(written), linux_spelling(written)
            for chunk in (1, 7, 80, 1 << 18):
                with self.subTest(table=index, chunk=chunk):
                    read = [plot.read_table(self.write(spelling, text), chunk_bytes=chunk)
                            for spelling, text in (("windows", windows), ("linux", linux))]
                    self.assertEqual(read[0].count, read[1].count)
                    np.testing.assert_array_equal(read[0].records, read[1].records)
                    self.assertEqual(read[1].count, len(linux.split()) // 8)


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


class ZoomedChart(unittest.TestCase):
    def test_the_window_is_the_shortest_arc_holding_the_track(self):
        nan = np.nan
        # (right ascensions, expected (middle, length) or None for the whole sky)
        cases = [
            ([1.0, 2.0, 3.0], (2.0, 2.0)),
            ([23.8, 23.9, 0.1, 0.2], (0.0, 0.4)),
            ([0.2, 23.8], (0.0, 0.4)),
            ([5.0, nan, 6.0], (5.5, 1.0)),
            ([12.0, 0.0, 17.0], (18.0, 12.0)),  # 12 h up through 17 h to 0 h
            ([0.0, 9.0, 18.0], (16.5, 15.0)),  # 9 h down through 0 h to 18 h
            ([0.0, 6.0, 12.0, 18.0], None),  # 18 h: the whole sky
            (list(np.linspace(0, 23.9, 50)), None),
            ([nan, nan], None),
        ]
        for ra, expected in cases:
            with self.subTest(ra=ra):
                window = plot.ra_window(ra)
                if expected is None:
                    self.assertIsNone(window)
                else:
                    self.assertIsNotNone(window)
                    middle, length = window
                    self.assertAlmostEqual(length, expected[1], places=9)
                    # The middle modulo 24, whichever side of 0 h it falls.
                    self.assertAlmostEqual((middle - expected[0] + 12) % 24 - 12, 0, places=9)

    def test_short_random_tracks_unwrap_without_a_jump(self):
        rng = np.random.default_rng(1986)
        for _ in range(500):
            start, length = rng.uniform(0, 24), rng.uniform(0, 17.9)
            steps = np.abs(rng.normal(0, 1, rng.integers(2, 200)))
            ra = (start + np.cumsum(steps) / steps.sum() * length) % 24
            middle, window = plot.ra_window(ra)
            x = plot.unwrap_about(ra, middle)
            self.assertTrue(np.all(np.abs(np.diff(x)) <= length + 1e-9))
            np.testing.assert_allclose((x - ra + 12) % 24 - 12, 0, atol=1e-9)
            self.assertLessEqual(x.max() - x.min(), window + 1e-9)

    def test_hour_ticks_are_labelled_modulo_24(self):
        cases = [
            (23.2, 24.9, ["23.25", "23.5", "23.75", "0", "0.25", "0.5", "0.75"]),
            (-0.3, 0.3, ["23.7", "23.8", "23.9", "0", "0.1", "0.2", "0.3"]),
            (10.0, 22.0, ["10", "12", "14", "16", "18", "20", "22"]),
        ]
        for low, high, labels in cases:
            with self.subTest(low=low, high=high):
                ticks, got = plot.hour_ticks(low, high)
                self.assertEqual(got, labels)
                self.assertTrue(np.all((ticks >= low - 1e-9) & (ticks <= high + 1e-9)))

    def test_a_label_fits_inside_the_frame_clear_of_the_others(self):
        frame = (0, 0, 100, 50)
        # (box (x0, y0, x1, y1), boxes taken before, fits with a gap of 3)
        cases = [
            ((10, 10, 20, 15), [], True),
            ((10, 10, 20, 15), [(30, 10, 40, 15)], True),
            ((10, 10, 20, 15), [(22, 10, 30, 15)], False),  # 2 pixels apart, within the gap
            ((10, 10, 20, 15), [(23, 10, 30, 15)], True),
            ((10, 10, 20, 15), [(15, 12, 25, 17)], False),  # overlapping
            ((10, 10, 20, 15), [(10, 17, 20, 22)], False),  # 2 pixels below
            ((10, 10, 20, 15), [(30, 0, 40, 5), (10, 18, 20, 22)], True),
            ((90, 10, 98, 15), [], False),  # runs past the right edge, or nearly
            ((90, 10, 97, 15), [], True),
            ((-5, 10, 5, 15), [], False),  # starts left of the frame
            ((10, 45, 20, 52), [], False),  # runs past the top
            ((10, 2, 20, 8), [], False),  # within the gap of the bottom
        ]
        for box, taken, fits in cases:
            with self.subTest(box=box, taken=taken):
                self.assertEqual(plot.fits(box, frame, taken, gap=3), fits)


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

    def draw(self, elements):
        """Draws the table the program writes for `elements`, with warnings
        as errors; returns where the sky chart's parts are (plot.Drawn) and
        the picture's path."""
        table = plot.read_table(run_program(self.directory, elements))
        out = os.path.join(self.directory, "table.png")
        with warnings.catch_warnings():
            warnings.simplefilter("error")
            drawn = plot.draw(table, out, "test")
        self.assertGreater(os.path.getsize(out), 10_000)
        return drawn, out

    def test_date_labels_stay_inside_the_chart_and_apart(self):
        # (name, elements, the labels that must be there)
        cases = [
            ("Mars through 2026", None, ["2026 Jan", "Jul", "Dec"]),
            ("Saturn across 0 h", SATURN_NEAR_0H, ["2026 Jan 26"]),
            # The track begins at the chart's right edge, and two labels fall
            # on top of each other where Venus turns.
            ("Venus over inferior conjunction", VENUS_INFERIOR_CONJUNCTION,
             ["2026 Aug 28", "Sep 27"]),
            ("Halley's comet at its 1986 return", HALLEY_1986, []),
            ("two bodies meeting", MEETING, []),
        ]
        for name, elements, present in cases:
            with self.subTest(name):
                if elements is None:
                    shutil.copy(EXAMPLE, os.path.join(self.directory, "DATOS.DAT"))
                    with open(EXAMPLE, "rb") as example:
                        elements = example.read()
                drawn, _ = self.draw(elements)
                texts = [text for text, _ in drawn.labels]
                self.assertGreaterEqual(len(texts), 2, texts)
                for text in present:
                    self.assertIn(text, texts)
                boxes = [box for _, box in drawn.labels]
                for index, (text, box) in enumerate(drawn.labels):
                    self.assertTrue(plot.inside(box, drawn.frame, gap=1), (text, box, drawn.frame))
                    self.assertTrue(plot.apart(box, drawn.legend, gap=1), (text, box, drawn.legend))
                    # Boxes 3.5 pixels apart look touching; the tool keeps 5.
                    for other_text, other in drawn.labels[index + 1:]:
                        self.assertTrue(plot.apart(box, other, gap=4), (text, other_text))

    def test_a_one_record_table_draws_every_panel_with_its_point(self):
        table_path = run_program(self.directory, MARS + b"0\n" + EARTH + b"2461041.5\n1\n")
        out = os.path.join(self.directory, "one.png")
        done = subprocess.run([sys.executable, SCRIPT, table_path, "--out", out],
                              capture_output=True, text=True)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(done.stderr, "")
        table = plot.read_table(table_path)
        self.assertEqual(plot.default_title("VESK.DAT", table),
                         "VESK.DAT: 2026-01-01, 1 record")
        with warnings.catch_warnings():
            warnings.simplefilter("error")
            drawn = plot.draw(table, out, "one")
        self.assertEqual([text for text, _ in drawn.labels], ["2026 Jan 1"])

        import matplotlib.image

        pixels = (matplotlib.image.imread(out)[:, :, :3] * 255).round().astype(int)
        # The point of each panel, in its colour: the elongation, the
        # distance from the observer, the illuminated fraction.
        for colour in ([255, 127, 14], [148, 103, 189], [188, 189, 34]):
            with self.subTest(colour=colour):
                self.assertGreater(np.all(np.abs(pixels - colour) <= 12, axis=2).sum(), 20)

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
