#!/usr/bin/python3
"""Draws an ephemeris table, VESK.DAT, as one PNG picture.

Top: the target's track on the sky, right ascension against declination, with
right ascension increasing to the left as on a sky chart, the ecliptic, date
labels and the first and last records marked. Below, against the date: the
elongation, the distances from the observer and from the Sun, and the
illuminated fraction of the disc.

The table is read in chunks, so memory stays bounded whatever its length, and
long tables are thinned to 5,000 to 10,000 records for drawing.

Usage: ephemeris-plot [VESK.DAT] [--out FILE] [--title TEXT]
(installed with the program; plot_ephemeris.py in its sources, and
ephemeris-plot.py in the Windows package, run as py ephemeris-plot.py)

Needs Python 3 with numpy and matplotlib (on Debian: apt-get install
python3-matplotlib; on Windows: py -m pip install matplotlib).
"""
import argparse
import math
import os
import re
import sys
import warnings

try:
    import numpy as np
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    from matplotlib.ticker import FixedFormatter, FixedLocator
except ImportError as missing:
    sys.exit(
        f"{os.path.basename(sys.argv[0])} needs numpy and matplotlib ({missing}).\n"
        "On Debian or Ubuntu: apt-get install python3-matplotlib (as root; it brings numpy),\n"
        "then run the script with /usr/bin/python3.\n"
        "On Windows: py -m pip install matplotlib (it brings numpy).\n"
        "Elsewhere: python3 -m pip install numpy matplotlib"
    )

VALUES_PER_RECORD = 8
DATE, RA, DEC, SUN_DISTANCE, DISTANCE, ELONGATION, PHASE, FRACTION = range(VALUES_PER_RECORD)

CHUNK_BYTES = 1 << 18  # bytes of the table read at a time: small, so memory stays flat
DRAWN_RECORDS = 5000  # a long table is thinned to between this and twice this many records
MAX_LABELS = 12  # date labels along the track and the date axes
OBLIQUITY_DEG = 23.439291
LONGEST_NUMBER = 1000  # bytes: far more than any number the program writes
WHITESPACE = (b" ", b"\t", b"\r", b"\n")  # what separates numbers
FULL_SKY_HOURS = 18  # a track spanning this much right ascension or more gets the whole 0-24 h
LABEL_GAP = 5  # pixels kept free around a date label on the sky chart
# Where a date label may go beside its point, in order of preference: the
# offset in points and the alignment that keeps the text on that side.
LABEL_PLACES = (
    ((4, 5), "left", "bottom"),
    ((-4, 5), "right", "bottom"),
    ((4, -5), "left", "top"),
    ((-4, -5), "right", "top"),
)


class TableError(Exception):
    """A table that cannot be drawn: not numbers, or no record at all."""


class Table:
    """The records kept for drawing: every `stride`-th record of the file,
    counting from the first, plus the last one."""

    def __init__(self, records, stride, count, last, leftover):
        self.stride = stride  # records of the file per record kept
        self.count = count  # whole records in the file
        self.leftover = leftover  # values after the last whole record (a cut record)
        # The kept records, array (n, 8), ending with the file's last record.
        self.records = records if (count - 1) % stride == 0 else np.vstack((records, last))


# The program writes an undefined value as "NAN" or "-NAN." (and an infinity as
# "INF" or "-INF."): the point after them is dropped, keeping every byte's place.
UNDEFINED = ((b"NAN.", b"NAN "), (b"INF.", b"INF "))
# One number as the program writes it, or as numpy reads it.
NUMBER = re.compile(rb"[-+]?(\d+\.?\d*|\.\d+)([eE][-+]?\d+)?|[-+]?(nan|inf|NAN|INF)")


class _Place:
    """Where a text taken from the file starts: its line (from 1) and the
    number of bytes of that line before it."""

    def __init__(self):
        self.line = 1
        self.column_offset = 0

    def of(self, text, index):
        """ "line 3, column 33": the place of byte `index` of `text`, which
        starts here."""
        newline = text.rfind(b"\n", 0, index)
        line = self.line + text.count(b"\n", 0, index)
        column = index - newline if newline >= 0 else self.column_offset + index + 1
        return f"line {line}, column {column}"

    def move_past(self, text):
        """Moves to the end of `text`, which starts here."""
        newline = text.rfind(b"\n")
        self.line += text.count(b"\n")
        self.column_offset = len(text) - newline - 1 if newline >= 0 else self.column_offset + len(text)


def _shown(token):
    """ "'1.4268x076'": at most 20 bytes of a token, quoted, bytes outside
    printable ASCII as \\xNN."""
    text = "".join(chr(b) if 32 <= b < 127 else f"\\x{b:02x}" for b in token[:20])
    return f"'{text}'"


def _parse_numbers(text, place):
    """The numbers of `text` (bytes holding at least one non-blank), which
    starts at `place` in the file; TableError, naming the first token that is
    no number and its line and column, if any is not a number."""
    read = text
    for written, readable in UNDEFINED:
        read = read.replace(written, readable)
    with warnings.catch_warnings():
        warnings.simplefilter("error")  # numpy warns where it stops at a bad token
        try:
            return np.fromstring(read, dtype=float, sep=" ")
        except (DeprecationWarning, ValueError):
            for token in re.finditer(rb"\S+", read):
                if not NUMBER.fullmatch(token.group()):
                    written = re.compile(rb"\S+").match(text, token.start()).group()
                    raise TableError(
                        f"{place.of(text, token.start())}: {_shown(written)} is not a number"
                    ) from None
            raise TableError(f"{place.of(text, 0)}: no numbers") from None


def _number_chunks(stream, chunk_bytes):
    """Yields arrays of the numbers of a binary stream, a chunk at a time; a
    number is never split between two chunks."""
    carry = b""
    place = _Place()  # of `carry` in the file
    while True:
        block = stream.read(chunk_bytes)
        text = carry + block
        if not block:
            if text and not text.isspace():
                yield _parse_numbers(text, place)
            return
        cut = max(text.rfind(blank) for blank in WHITESPACE) + 1
        if len(text) - cut > LONGEST_NUMBER:
            raise TableError(f"{place.of(text, cut)}: {len(text) - cut} bytes without a blank")
        head, carry = text[:cut], text[cut:]
        if head and not head.isspace():
            yield _parse_numbers(head, place)
        place.move_past(head)


def read_table(path, drawn_records=DRAWN_RECORDS, chunk_bytes=CHUNK_BYTES):
    """Reads the table at `path`: 8 numbers a record, any line breaks. Keeps
    every stride-th record, doubling the stride whenever more than twice
    `drawn_records` are held, so memory stays bounded. A cut last record (a
    count of numbers that is not a multiple of 8) is left out and counted in
    `leftover`."""
    kept = []  # arrays of kept records
    kept_count = 0
    stride = 1
    count = 0  # whole records read so far
    pending = np.empty(0)  # numbers of a record not yet complete
    last = None
    with open(path, "rb") as stream:
        for numbers in _number_chunks(stream, chunk_bytes):
            if pending.size:
                numbers = np.concatenate((pending, numbers))
            whole = numbers.size // VALUES_PER_RECORD * VALUES_PER_RECORD
            pending = numbers[whole:].copy()
            if whole == 0:
                continue
            records = numbers[:whole].reshape(-1, VALUES_PER_RECORD)
            last = records[-1].copy()
            # Indices in the file of this chunk's records; keep multiples of the stride.
            first_kept = (-count) % stride
            chosen = records[first_kept::stride]
            kept.append(chosen.copy())
            kept_count += len(chosen)
            count += len(records)
            while kept_count > 2 * drawn_records:
                merged = np.concatenate(kept)[::2]  # kept indices are multiples of the stride
                kept, kept_count, stride = [merged], len(merged), stride * 2
    if count == 0:
        raise TableError("no whole record")
    return Table(np.concatenate(kept), stride, count, last, pending.size)


def sky_track(ra, dec):
    """The track as x (hours) and y (degrees) to draw as one line: where right
    ascension passes 24 h or 0 h between two records (a jump of more than
    12 h), the line runs to the chart's edge at the interpolated declination,
    breaks (NaN), and starts again from the opposite edge."""
    ra = np.asarray(ra, dtype=float)
    dec = np.asarray(dec, dtype=float)
    steps = np.diff(ra)
    xs, ys = [], []
    start = 0
    for i in np.nonzero(np.abs(steps) > 12)[0]:
        forward = steps[i] < 0  # through 24 h onto 0 h
        leave, enter = (24.0, 0.0) if forward else (0.0, 24.0)
        next_ra = ra[i + 1] + (24 if forward else -24)
        t = (leave - ra[i]) / (next_ra - ra[i])
        edge_dec = dec[i] + t * (dec[i + 1] - dec[i])
        xs += [ra[start : i + 1], [leave, np.nan, enter]]
        ys += [dec[start : i + 1], [edge_dec, np.nan, edge_dec]]
        start = i + 1
    xs.append(ra[start:])
    ys.append(dec[start:])
    return np.concatenate(xs), np.concatenate(ys)


def ecliptic():
    """Right ascension (hours) and declination (degrees) along the ecliptic."""
    longitude = np.radians(np.linspace(0, 360, 721))
    eps = math.radians(OBLIQUITY_DEG)
    ra = np.degrees(np.arctan2(np.sin(longitude) * math.cos(eps), np.cos(longitude))) / 15 % 24
    dec = np.degrees(np.arcsin(math.sin(eps) * np.sin(longitude)))
    return ra, dec


def ra_window(ra):
    """The middle (hours, in [0, 24)) of the shortest arc of right ascension
    holding every finite value of `ra`, and the arc's length; None where there
    is no finite value or the arc is FULL_SKY_HOURS or longer."""
    values = np.asarray(ra, dtype=float)
    values = np.sort(values[np.isfinite(values)] % 24)
    if values.size == 0:
        return None
    gaps = np.diff(np.append(values, values[0] + 24))
    widest = int(np.argmax(gaps))
    length = 24 - gaps[widest]
    if length >= FULL_SKY_HOURS:
        return None
    start = values[(widest + 1) % values.size]
    return (start + length / 2) % 24, length


def unwrap_about(ra, middle):
    """Right ascensions (hours) moved by whole turns into [middle - 12, middle + 12)."""
    return middle + (np.asarray(ra, dtype=float) - middle + 12) % 24 - 12


def hour_ticks(low, high):
    """Tick positions (hours) over [low, high], at most about ten, at a round
    step, and their labels: the hour modulo 24 ("23.5", "0", "0.5")."""
    step = next(s for s in (0.05, 0.1, 0.25, 0.5, 1, 2, 3, 6) if (high - low) / s <= 10)
    # Rounded first, so that 0.3 / 0.1 counts as 3.
    first, last = math.ceil(round(low / step, 6)), math.floor(round(high / step, 6))
    ticks = np.arange(first, last + 1) * step
    labels = [f"{round(t % 24, 2) % 24:g}" for t in ticks]
    return ticks, labels


def apart(box, other, gap=LABEL_GAP):
    """True where the boxes (x0, y0, x1, y1) keep at least `gap` between them."""
    x0, y0, x1, y1 = box
    k0, l0, k1, l1 = other
    return x0 - gap >= k1 or x1 + gap <= k0 or y0 - gap >= l1 or y1 + gap <= l0


def inside(box, frame, gap=LABEL_GAP):
    """True where the box (x0, y0, x1, y1) lies within `frame`, at least `gap`
    from its edges."""
    x0, y0, x1, y1 = box
    f0, g0, f1, g1 = frame
    return x0 - gap >= f0 and y0 - gap >= g0 and x1 + gap <= f1 and y1 + gap <= g1


def fits(box, frame, taken, gap=LABEL_GAP):
    """True where the box (x0, y0, x1, y1) lies inside `frame` and clear of
    every box in `taken`, keeping `gap` to each."""
    return inside(box, frame, gap) and all(apart(box, other, gap) for other in taken)


def finite_range(values):
    """(lowest, highest) of the finite values, or None where there is none."""
    values = np.asarray(values, dtype=float)
    values = values[np.isfinite(values)]
    return (values.min(), values.max()) if values.size else None


def calendar_date(jd):
    """(year, month, day with fraction) of a Julian date >= 0: the Gregorian
    calendar from 1582 October 15, the Julian calendar before."""
    z = math.floor(jd + 0.5)
    fraction = jd + 0.5 - z
    a = z
    if z >= 2299161:
        alpha = math.floor((z - 1867216.25) / 36524.25)
        a = z + 1 + alpha - alpha // 4
    b = a + 1524
    c = math.floor((b - 122.1) / 365.25)
    d = math.floor(365.25 * c)
    e = math.floor((b - d) / 30.6001)
    day = b - d - math.floor(30.6001 * e) + fraction
    month = e - 1 if e < 14 else e - 13
    year = c - 4716 if month > 2 else c - 4715
    return year, month, day


def julian_date(year, month, day):
    """The Julian date of a calendar date (the inverse of calendar_date)."""
    gregorian = (year, month, day) >= (1582, 10, 15)
    if month <= 2:
        year, month = year - 1, month + 12
    b = 0
    if gregorian:
        a = year // 100
        b = 2 - a + a // 4
    return math.floor(365.25 * (year + 4716)) + math.floor(30.6001 * (month + 1)) + day + b - 1524.5


MONTHS = ("Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec")


def _date_text(jd):
    """ "2026-01-01" for the Julian date 2461041.5 (the calendar day it falls on)."""
    year, month, day = calendar_date(jd)
    return f"{year}-{month:02d}-{int(day):02d}"


def _date_label(jd):
    """The calendar date of a Julian date, or "JD ..." before Julian date 0."""
    return f"JD {jd:.1f}" if jd < 0 else _date_text(jd)


def _mark_texts(marks, unit):
    """Short labels of the dates `marks`, for a `unit` of "day", "month" or
    "year": "Jan 5", "Feb", "2030"; the year is added to the first label and
    wherever it changes."""
    texts = []
    shown_year = None
    for jd in marks:
        year, month, day = calendar_date(jd)
        if unit == "year":
            texts.append(str(year))
            continue
        text = MONTHS[month - 1] + (f" {int(day)}" if unit == "day" else "")
        if year != shown_year:
            text, shown_year = f"{year} {text}", year
        texts.append(text)
    return texts


def date_marks(first, last):
    """Julian dates and labels of at most MAX_LABELS dates at a sensible
    interval within [first, last]: whole days, the first of every month or
    few months, or the first of January of every year or few years. Plain
    Julian dates for tables that start before Julian date 0."""
    span = last - first
    if first < 0:
        step = next(
            m * 10**k for k in range(12) for m in (1, 2, 5) if span / (m * 10**k) <= MAX_LABELS
        )
        steps = np.arange(math.ceil(first / step) * step, last + step, step)
        marks = [m for m in steps if m <= last]
        return marks, [f"JD {m:.0f}" for m in marks]
    for days in (1, 2, 5, 10, 15):
        if span / days <= MAX_LABELS:
            starts = np.arange(math.ceil(first - 0.5) + 0.5, last + days, days)  # at 0 h
            marks = [m for m in starts if m <= last]
            return marks, _mark_texts(marks, "day")
    months = next(
        m
        for m in (1, 2, 3, 6, 12, 24, 60, 120, 240, 600, 1200, 2400, 6000, 12000, 10**9)
        if span / (30.44 * m) <= MAX_LABELS
    )
    year, month, _ = calendar_date(first)
    if months >= 12:
        years = months // 12
        year, month = year - year % years, 1
    else:
        month -= (month - 1) % months
    marks = []
    while True:
        jd = julian_date(year, month, 1)
        if jd > last:
            break
        if jd >= first:
            marks.append(jd)
        month += months
        year, month = year + (month - 1) // 12, (month - 1) % 12 + 1
    return marks, _mark_texts(marks, "year" if months >= 12 else "month")


def nearest_index(dates, targets):
    """For each of `targets`, the index of the nearest of the increasing `dates`."""
    targets = np.asarray(targets, dtype=float)
    right = np.clip(np.searchsorted(dates, targets), 0, len(dates) - 1)
    left = np.clip(right - 1, 0, len(dates) - 1)
    return np.where(np.abs(targets - dates[left]) <= np.abs(dates[right] - targets), left, right)


def _break_wraps(x, y):
    """The line (x, y) with a break (NaN) inserted wherever x jumps by more than 12 h."""
    jumps = np.nonzero(np.abs(np.diff(x)) > 12)[0] + 1
    return np.insert(x, jumps, np.nan), np.insert(y, jumps, np.nan)


def _draw_sky(axes, table, marks, texts):
    """Draws the track and returns the date labels left on it."""
    records = table.records
    dates, ra, dec = records[:, DATE], records[:, RA], records[:, DEC]
    window = ra_window(ra)
    if window is None:
        # The whole sky, the track broken cleanly where it passes 0 h.
        ecliptic_line = sky_track(*ecliptic())
        track = sky_track(ra, dec)
        x = ra
        axes.set_xlim(24, 0)
        axes.set_xticks(range(0, 25, 2))
    else:
        # A zoomed chart, continuous across 0 h, labelled in hours modulo 24.
        middle, length = window
        ecliptic_ra, ecliptic_dec = ecliptic()
        ecliptic_line = _break_wraps(unwrap_about(ecliptic_ra, middle), ecliptic_dec)
        x = unwrap_about(ra, middle)
        track = (x, dec)
        half = max(length * 0.55, 0.25)
        axes.set_xlim(middle + half, middle - half)
        ticks, labels = hour_ticks(middle - half, middle + half)
        axes.set_xticks(ticks, labels)
    axes.plot(*ecliptic_line, color="0.6", linestyle="--", linewidth=0.8, label="ecliptic")
    # Daily records draw as a line; a thinned table, whose neighbours lie days
    # apart, as dots.
    if table.stride == 1:
        style = dict(linewidth=1.6)
    else:
        style = dict(marker=".", markersize=2, linestyle="none")
    axes.plot(*track, color="tab:red", label="track", **style)
    first, last = records[0], records[-1]
    axes.plot(x[0], first[DEC], "o", color="tab:green", markersize=9,
              label=f"start {_date_label(first[DATE])}")
    axes.plot(x[-1], last[DEC], "s", color="tab:blue", markersize=8,
              label=f"end {_date_label(last[DATE])}")
    declinations = finite_range(dec) or (0.0, 0.0)
    axes.set_ylim(max(declinations[0] - 8, -90), min(declinations[1] + 8, 90))
    axes.set_xlabel("right ascension (hours)")
    axes.set_ylabel("declination (degrees)")
    axes.grid(True, color="0.9")
    renderer = axes.figure.canvas.get_renderer()
    # The legend where it hides the least of the lines, held there, so that
    # the date marks drawn next neither move it nor run under it.
    legend_box = axes.legend(loc="best", fontsize=8).get_window_extent(renderer)
    corner = axes.transAxes.inverted().transform((legend_box.x0, legend_box.y0))
    legend_box = axes.legend(loc="lower left", bbox_to_anchor=tuple(corner), borderaxespad=0,
                             fontsize=8).get_window_extent(renderer).extents
    frame = axes.get_window_extent(renderer).extents

    # Each label goes on the record nearest its date, so it lies on the track
    # even where the table is thinned; none where the record's place is
    # undefined. It takes the first side of its point where it stays inside
    # the frame and clear of the legend and of the labels before it; a label
    # that fits on no side is left out.
    nearest = nearest_index(dates, marks)
    placed = [(x[k], dec[k], text) for k, text in zip(nearest, texts)
              if np.isfinite(x[k]) and np.isfinite(dec[k])]
    kept, points, boxes = [], [], [legend_box]
    for px, py, text in placed:
        for offset, across, up in LABEL_PLACES:
            label = axes.annotate(text, (px, py), xytext=offset, textcoords="offset points",
                                  ha=across, va=up, fontsize=7)
            box = tuple(label.get_window_extent(renderer).extents)
            if fits(box, frame, boxes):
                kept.append(label)
                points.append((px, py))
                boxes.append(box)
                break
            label.remove()
    axes.plot([p[0] for p in points], [p[1] for p in points], "o", color="black", markersize=3)
    return kept


def _draw_series(axes, table, marks, texts):
    records = table.records
    dates = records[:, DATE]
    elongation, distances, fraction = axes
    # A single record is a point, not a line.
    point = dict(marker="o", markersize=5) if len(records) == 1 else {}
    elongation.plot(dates, records[:, ELONGATION], color="tab:orange", **point)
    elongation.set_ylabel("elongation (°)")
    elongation.set_ylim(0, 180)
    elongation.set_yticks([0, 45, 90, 135, 180])
    distances.plot(dates, records[:, DISTANCE], color="tab:purple", label="from the observer",
                   **point)
    distances.plot(dates, records[:, SUN_DISTANCE], color="0.5", linestyle="--",
                   label="from the Sun", **point)
    distances.set_ylabel("distance (AU)")
    distances.legend(loc="best", fontsize=8)
    fraction.plot(dates, records[:, FRACTION], color="tab:olive", **point)
    fraction.set_ylabel("illuminated fraction")
    # The panel fits the data, within the fraction's own range [0, 1].
    low, high = finite_range(records[:, FRACTION]) or (0.0, 1.0)
    margin = max((high - low) * 0.08, 0.005)
    fraction.set_ylim(max(low - margin, -0.02), min(high + margin, 1.02))
    # One record gets a day on either side.
    low, high = (dates[0], dates[-1]) if dates[-1] > dates[0] else (dates[0] - 1, dates[0] + 1)
    for each in axes:
        each.grid(True, color="0.9")
        each.set_xlim(low, high)
        each.xaxis.set_major_locator(FixedLocator(marks))
        each.xaxis.set_major_formatter(FixedFormatter(texts))
        each.tick_params(axis="x", labelbottom=each is fraction)
    fraction.tick_params(axis="x", labelrotation=30, labelsize=8)


class Drawn:
    """Where the sky chart's parts ended up in a picture, as window extents in
    pixels, (x0, y0, x1, y1): the chart's frame, its legend, and its date
    labels with their texts."""

    def __init__(self, frame, legend, labels):
        self.frame = frame
        self.legend = legend
        self.labels = labels  # [(text, extents)], in date order


def draw(table, out, title):
    """Writes the picture of `table` to the PNG file `out`. Returns where the
    sky chart's frame, legend and date labels are in it (Drawn)."""
    first, last = table.records[0, DATE], table.records[-1, DATE]
    marks, texts = date_marks(first, last)
    figure = plt.figure(figsize=(9, 11))
    grid = figure.add_gridspec(4, 1, height_ratios=(3.2, 1, 1, 1), hspace=0.3, top=0.94,
                               bottom=0.07)
    series = [figure.add_subplot(grid[k]) for k in (1, 2, 3)]
    for below in series[1:]:
        below.sharex(series[0])
    _draw_series(series, table, marks, texts)
    sky = figure.add_subplot(grid[0])
    labels = _draw_sky(sky, table, marks, texts)
    figure.suptitle(title, fontsize=13, y=0.975)
    figure.savefig(out, dpi=100, bbox_inches="tight")
    # Measured as drawn.
    renderer = figure.canvas.get_renderer()
    drawn = Drawn(
        tuple(sky.get_window_extent(renderer).extents),
        tuple(sky.get_legend().get_window_extent(renderer).extents),
        [(label.get_text(), tuple(label.get_window_extent(renderer).extents)) for label in labels],
    )
    plt.close(figure)
    return drawn


def default_title(path, table):
    first, last = table.records[0, DATE], table.records[-1, DATE]
    when = f"{_date_label(first)} to {_date_label(last)}" if table.count > 1 else _date_label(first)
    records = "1 record" if table.count == 1 else f"{table.count} records"
    return f"{os.path.basename(path)}: {when}, {records}"


def main(argv=None):
    parser = argparse.ArgumentParser(
        description="Draws an ephemeris table (VESK.DAT) as a PNG picture.")
    parser.add_argument("table", nargs="?", default="VESK.DAT",
                        help="the table to draw (default: VESK.DAT)")
    parser.add_argument("--out",
                        help="the PNG file to write (default: the table's name with .png)")
    parser.add_argument("--title",
                        help="the picture's title (default: file name, dates and record count)")
    args = parser.parse_args(argv)
    name = parser.prog
    out = args.out or os.path.splitext(args.table)[0] + ".png"
    try:
        table = read_table(args.table)
    except (OSError, TableError) as failure:
        sys.exit(f"{name}: {args.table}: {failure}")
    if table.leftover:
        print(f"{name}: {args.table}: {table.leftover} values after the last"
              " whole record left out", file=sys.stderr)
    draw(table, out, args.title or default_title(args.table, table))


if __name__ == "__main__":
    main()
