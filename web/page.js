// The page around the program: DATOS.DAT in a text area (the example, or a
// file loaded from disk), a check and a run through window.ephemeris, and
// what they give: the exit status, the report, the --check text, the first
// records, the record count, a link that saves VESK.DAT as the program wrote
// it, and a picture of the table drawn as SVG from the table's text: the
// track on the sky (right ascension increasing to the left, continuous
// across 0 h where the track is short enough for a zoomed chart), and the
// elongation, the distances and the illuminated fraction against the date.
(function () {
  "use strict";

  const SHOWN_RECORDS = 10; // records shown as text
  const DRAWN_RECORDS = 5000; // a longer table is thinned to about this many for drawing
  const VALUES_PER_RECORD = 8;
  const [DATE, RA, DEC, SUN_DISTANCE, DISTANCE, ELONGATION, , FRACTION] = [0, 1, 2, 3, 4, 5, 6, 7];
  const OBLIQUITY_DEG = 23.439291;
  const FULL_SKY_HOURS = 18; // a track spanning this much right ascension gets the whole 0-24 h
  const MAX_MARKS = 12; // date marks along the track and the date axes
  const MONTHS = "Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec".split(" ");

  const $ = (id) => document.getElementById(id);
  const elements = $("elements");
  const buttons = [$("check"), $("run")];

  // A file loaded from disk: its bytes go to the program as they are (CR LF
  // line ends and bytes that are not UTF-8 included) until the text is edited.
  let loaded = null;
  let savedUrl = null;

  function elementInput() {
    return loaded !== null && elements.value === loaded.text ? loaded.bytes : elements.value;
  }

  $("load").addEventListener("change", async (event) => {
    const file = event.target.files[0];
    if (!file) return;
    const bytes = new Uint8Array(await file.arrayBuffer());
    elements.value = new TextDecoder("utf-8").decode(bytes);
    loaded = { bytes, text: elements.value };
  });

  // ---------------------------------------------------------------------------
  // Running and showing the result.

  const STATUS_TEXTS = {
    run: {
      0: "a normal run",
      134: "the run ended with the report below, as the console program aborts",
    },
    check: { 0: "a run would go ahead", 2: "a run would fail, with the report below" },
  };

  function show(id, text) {
    const element = $(id);
    element.textContent = text;
    element.hidden = text === "";
  }

  async function perform(kind) {
    for (const button of buttons) button.disabled = true;
    show("status", kind === "run" ? "Running…" : "Checking…");
    $("result").hidden = false;
    // Let the page show that before the program takes the thread.
    await new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve, 0)));
    try {
      const args = kind === "run" ? [] : ["--check"];
      const result = await window.ephemeris.execute(elementInput(), args);
      const meaning = STATUS_TEXTS[kind][result.status];
      show("status", `Exit status ${result.status}${meaning ? ": " + meaning : ""}.`);
      show("report", result.report);
      show("stdout", result.stdout);
      showTable(kind === "run" ? result.tableBytes : null);
    } catch (failure) {
      show("status", `The program could not run: ${failure}`);
      show("report", "");
      show("stdout", "");
      showTable(null);
    } finally {
      for (const button of buttons) button.disabled = false;
    }
    $("result-title").focus();
  }

  function showTable(bytes) {
    if (savedUrl !== null) URL.revokeObjectURL(savedUrl);
    savedUrl = null;
    const picture = $("picture");
    picture.textContent = "";
    $("table").hidden = bytes === null;
    if (bytes === null) return;
    const text = new TextDecoder("utf-8").decode(bytes);
    const table = readTable(text);
    const plural = table.count === 1 ? "record" : "records";
    $("count").textContent =
      `VESK.DAT holds ${table.count} ${plural} (${bytes.length} bytes)` +
      (table.count > SHOWN_RECORDS ? `; the first ${SHOWN_RECORDS}:` : table.count > 0 ? ":" : ".");
    show("records", text.slice(0, table.shownEnd));
    savedUrl = URL.createObjectURL(new Blob([bytes], { type: "application/octet-stream" }));
    const save = $("save");
    save.href = savedUrl;
    save.textContent = `Save VESK.DAT (${bytes.length} bytes)`;
    if (table.count > 0) picture.innerHTML = drawTable(table);
  }

  $("check").addEventListener("click", () => perform("check"));
  $("run").addEventListener("click", () => perform("run"));
  elements.addEventListener("keydown", (event) => {
    if (event.key === "Enter" && (event.ctrlKey || event.metaKey)) {
      event.preventDefault();
      if (!buttons[1].disabled) perform("run");
    }
  });

  // ---------------------------------------------------------------------------
  // Reading the table: eight values a record, whatever the line breaks;
  // "NAN", "-NAN." (undefined angles) and anything else that is no number
  // read as NaN.

  function isBlank(code) {
    return code === 32 || code === 10 || code === 13 || code === 9;
  }

  // Calls visit(start, end) for each item of `text`, in order.
  function forEachItem(text, visit) {
    let k = 0;
    const n = text.length;
    while (k < n) {
      while (k < n && isBlank(text.charCodeAt(k))) ++k;
      if (k === n) break;
      const start = k;
      while (k < n && !isBlank(text.charCodeAt(k))) ++k;
      if (visit(start, k) === false) break;
    }
  }

  // The record count, where the first SHOWN_RECORDS records' text ends, and
  // the records kept for drawing (every stride-th from the first, and the
  // last) as eight arrays of values.
  function readTable(text) {
    let items = 0;
    let shownEnd = 0;
    forEachItem(text, (start, end) => {
      ++items;
      if (items === SHOWN_RECORDS * VALUES_PER_RECORD) {
        const lineEnd = text.indexOf("\n", end);
        shownEnd = lineEnd < 0 ? text.length : lineEnd + 1;
      }
    });
    const count = Math.floor(items / VALUES_PER_RECORD);
    if (count < SHOWN_RECORDS) shownEnd = text.length;
    const stride = Math.max(1, Math.ceil(count / DRAWN_RECORDS));
    const lastKept = (count - 1) % stride === 0;
    const kept = count === 0 ? 0 : Math.floor((count - 1) / stride) + (lastKept ? 1 : 2);
    const columns = Array.from({ length: VALUES_PER_RECORD }, () => new Float64Array(kept));
    let item = 0;
    let row = 0;
    forEachItem(text, (start, end) => {
      const record = Math.floor(item / VALUES_PER_RECORD);
      if (record >= count) return false;
      if (record % stride === 0 || record === count - 1) {
        columns[item % VALUES_PER_RECORD][row] = Number(text.slice(start, end));
        if (item % VALUES_PER_RECORD === VALUES_PER_RECORD - 1) ++row;
      }
      ++item;
      return true;
    });
    return { count, shownEnd, stride, columns };
  }

  // ---------------------------------------------------------------------------
  // Calendar dates of Julian dates (Gregorian from 1582 October 15, Julian
  // before), for the date marks.

  function calendarDate(jd) {
    const z = Math.floor(jd + 0.5);
    const fraction = jd + 0.5 - z;
    let a = z;
    if (z >= 2299161) {
      const alpha = Math.floor((z - 1867216.25) / 36524.25);
      a = z + 1 + alpha - Math.floor(alpha / 4);
    }
    const b = a + 1524;
    const c = Math.floor((b - 122.1) / 365.25);
    const d = Math.floor(365.25 * c);
    const e = Math.floor((b - d) / 30.6001);
    const day = b - d - Math.floor(30.6001 * e) + fraction;
    const month = e < 14 ? e - 1 : e - 13;
    const year = month > 2 ? c - 4716 : c - 4715;
    return { year, month, day };
  }

  function julianDate(year, month, day) {
    const gregorian = year > 1582 || (year === 1582 && (month > 10 || (month === 10 && day >= 15)));
    if (month <= 2) {
      year -= 1;
      month += 12;
    }
    let b = 0;
    if (gregorian) {
      const a = Math.floor(year / 100);
      b = 2 - a + Math.floor(a / 4);
    }
    const days = Math.floor(365.25 * (year + 4716)) + Math.floor(30.6001 * (month + 1));
    return days + day + b - 1524.5;
  }

  function dateText(jd) {
    if (jd < 0) return `JD ${jd.toFixed(1)}`;
    const { year, month, day } = calendarDate(jd);
    return `${year}-${String(month).padStart(2, "0")}-${String(Math.floor(day)).padStart(2, "0")}`;
  }

  // At most MAX_MARKS dates within [first, last] at a sensible step (days,
  // months or years, at 0 h), with short labels; the year is added to the
  // first label and wherever it changes.
  function dateMarks(first, last) {
    const span = last - first;
    const marks = [];
    if (first < 0) {
      // Plain Julian dates at a step of 1, 2 or 5 times a power of ten.
      let step = 1;
      for (let k = 1; span / step > MAX_MARKS; ++k) {
        step = [1, 2, 5][k % 3] * 10 ** Math.floor(k / 3);
      }
      for (let m = Math.ceil(first / step) * step; m <= last; m += step) {
        marks.push({ jd: m, label: `JD ${m.toFixed(0)}` });
      }
      return marks;
    }
    const label = (jd, unit, shown) => {
      const { year, month, day } = calendarDate(jd);
      if (unit === "year") return [String(year), year];
      let text = MONTHS[month - 1] + (unit === "day" ? ` ${Math.floor(day)}` : "");
      if (year !== shown) text = `${year} ${text}`;
      return [text, year];
    };
    let shown = null;
    const days = [1, 2, 5, 10, 15].find((d) => span / d <= MAX_MARKS);
    if (days !== undefined) {
      for (let jd = Math.ceil(first - 0.5) + 0.5; jd <= last; jd += days) {
        let text;
        [text, shown] = label(jd, "day", shown);
        marks.push({ jd, label: text });
      }
      return marks;
    }
    const months = [1, 2, 3, 6, 12, 24, 60, 120, 240, 600, 1200, 2400, 6000, 12000, 1e9].find(
      (m) => span / (30.44 * m) <= MAX_MARKS,
    );
    let { year, month } = calendarDate(first);
    if (months >= 12) {
      const years = months / 12;
      year -= ((year % years) + years) % years;
      month = 1;
    } else {
      month -= (month - 1) % months;
    }
    for (;;) {
      const jd = julianDate(year, month, 1);
      if (jd > last) break;
      if (jd >= first) {
        let text;
        [text, shown] = label(jd, months >= 12 ? "year" : "month", shown);
        marks.push({ jd, label: text });
      }
      month += months;
      year += Math.floor((month - 1) / 12);
      month = ((month - 1) % 12) + 1;
    }
    return marks;
  }

  // ---------------------------------------------------------------------------
  // The sky chart's geometry.

  // The middle (hours, in [0, 24)) and length of the shortest arc of right
  // ascension that holds every finite value; null where there is none or
  // the arc is FULL_SKY_HOURS or longer.
  function raWindow(ra) {
    const values = Array.from(ra)
      .filter(Number.isFinite)
      .map((h) => ((h % 24) + 24) % 24)
      .sort((p, q) => p - q);
    if (values.length === 0) return null;
    let widest = values.length - 1;
    let widestGap = values[0] + 24 - values[values.length - 1];
    for (let k = 0; k + 1 < values.length; ++k) {
      const gap = values[k + 1] - values[k];
      if (gap > widestGap) [widest, widestGap] = [k, gap];
    }
    const length = 24 - widestGap;
    if (length >= FULL_SKY_HOURS) return null;
    const start = values[(widest + 1) % values.length];
    return { middle: (start + length / 2) % 24, length };
  }

  // A right ascension moved by whole turns into [middle - 12, middle + 12).
  function unwrapAbout(h, middle) {
    return middle + ((((h - middle + 12) % 24) + 24) % 24) - 12;
  }

  // The line through (x[k], y[k]) for the chart, broken where x jumps by
  // more than 12 h: on a zoomed chart a break (the line leaves the chart),
  // on the whole sky a run to the edge at the interpolated declination and
  // on from the opposite edge.
  function skyLine(x, y, toEdges) {
    const xs = [];
    const ys = [];
    for (let k = 0; k < x.length; ++k) {
      if (k > 0 && Math.abs(x[k] - x[k - 1]) > 12) {
        if (toEdges) {
          const forward = x[k] < x[k - 1]; // through 24 h onto 0 h
          const [leave, enter] = forward ? [24, 0] : [0, 24];
          const next = x[k] + (forward ? 24 : -24);
          const t = (leave - x[k - 1]) / (next - x[k - 1]);
          const edge = y[k - 1] + t * (y[k] - y[k - 1]);
          xs.push(leave, NaN, enter);
          ys.push(edge, NaN, edge);
        } else {
          xs.push(NaN);
          ys.push(NaN);
        }
      }
      xs.push(x[k]);
      ys.push(y[k]);
    }
    return [xs, ys];
  }

  function ecliptic() {
    const eps = (OBLIQUITY_DEG * Math.PI) / 180;
    const ra = [];
    const dec = [];
    for (let k = 0; k <= 720; ++k) {
      const longitude = (k * Math.PI) / 360;
      const y = Math.sin(longitude) * Math.cos(eps);
      const h = (Math.atan2(y, Math.cos(longitude)) * 12) / Math.PI;
      ra.push(((h % 24) + 24) % 24);
      dec.push((Math.asin(Math.sin(eps) * Math.sin(longitude)) * 180) / Math.PI);
    }
    return [ra, dec];
  }

  // A round step giving at most about `most` ticks over [low, high].
  function tickStep(low, high, most, steps) {
    return steps.find((s) => (high - low) / s <= most) || steps[steps.length - 1];
  }

  function ticks(low, high, step) {
    const out = [];
    for (let k = Math.ceil(low / step - 1e-9); k * step <= high + 1e-9; ++k) out.push(k * step);
    return out;
  }

  // ---------------------------------------------------------------------------
  // SVG drawing.

  function escape(text) {
    return String(text).replace(/&/g, "&amp;").replace(/</g, "&lt;").replace(/>/g, "&gt;");
  }

  function number(value) {
    return Number.isFinite(value) ? value.toFixed(1) : "0";
  }

  // A frame: a plot area of the given size at (left, top) in the picture,
  // mapping data x in [x0, x1] and y in [y0, y1] onto it (x0 may exceed x1:
  // right ascension grows to the left).
  function frame(left, top, width, height, x0, x1, y0, y1) {
    return {
      left,
      top,
      width,
      height,
      x: (x) => left + ((x - x0) / (x1 - x0)) * width,
      y: (y) => top + height - ((y - y0) / (y1 - y0)) * height,
    };
  }

  // An SVG path through the points, broken at non-finite values; or, with
  // `dots`, a dot at each point.
  function path(f, xs, ys, cls, extra = "", dots = false) {
    let d = "";
    let pen = false;
    for (let k = 0; k < xs.length; ++k) {
      if (!Number.isFinite(xs[k]) || !Number.isFinite(ys[k])) {
        pen = false;
        continue;
      }
      d += `${pen ? "L" : "M"}${number(f.x(xs[k]))} ${number(f.y(ys[k]))}${dots ? "h0" : ""}`;
      pen = !dots;
    }
    return `<path class="${cls}${dots ? " dots" : ""}" d="${d}"${extra}/>`;
  }

  const END = ' text-anchor="end"';

  // Text at (x, y), `size` pixels high, with any further attributes.
  function svgText(x, y, content, size, attributes = "") {
    const at = `x="${number(x)}" y="${number(y)}" font-size="${size}"`;
    return `<text ${at}${attributes}>${escape(content)}</text>`;
  }

  // The plot area's frame, and a clip path `id` to keep lines inside it.
  function box(f, id) {
    const area = `x="${f.left}" y="${f.top}" width="${f.width}" height="${f.height}"`;
    return `<clipPath id="${id}"><rect ${area}/></clipPath><rect class="axis" ${area}/>`;
  }

  function xTicks(f, values, labels, withLabels) {
    let out = "";
    values.forEach((v, k) => {
      const x = number(f.x(v));
      out += `<line class="grid" x1="${x}" x2="${x}" y1="${f.top}" y2="${f.top + f.height}"/>`;
      if (withLabels) {
        out += svgText(f.x(v), f.top + f.height + 14, labels[k], 11, ' text-anchor="middle"');
      }
    });
    return out;
  }

  function yTicks(f, values) {
    let out = "";
    for (const v of values) {
      const y = number(f.y(v));
      out += `<line class="grid" x1="${f.left}" x2="${f.left + f.width}" y1="${y}" y2="${y}"/>`;
      out += svgText(f.left - 5, f.y(v) + 4, +v.toFixed(6), 11, END);
    }
    return out;
  }

  function finiteRange(values) {
    let low = Infinity;
    let high = -Infinity;
    for (const v of values) {
      if (Number.isFinite(v)) {
        low = Math.min(low, v);
        high = Math.max(high, v);
      }
    }
    return low <= high ? [low, high] : null;
  }

  // The track on the sky, with the ecliptic, the date marks along it and
  // the first and last records marked.
  function drawSky(table, marks, top) {
    const c = table.columns;
    const ra = c[RA];
    const dec = c[DEC];
    const zoom = raWindow(ra);
    let x0, x1, x, tickValues, tickLabels, track, eclipticLine;
    const [eclipticRa, eclipticDec] = ecliptic();
    if (zoom === null) {
      // The whole sky, 24 h at the left, the track broken where it passes 0 h.
      [x0, x1] = [24, 0];
      x = Array.from(ra);
      tickValues = ticks(0, 24, 2);
      tickLabels = tickValues.map(String);
      track = skyLine(x, dec, true);
      eclipticLine = skyLine(eclipticRa, eclipticDec, true);
    } else {
      // A chart zoomed to the track, continuous across 0 h.
      const half = Math.max(zoom.length * 0.55, 0.25);
      [x0, x1] = [zoom.middle + half, zoom.middle - half];
      x = Array.from(ra, (h) => unwrapAbout(h, zoom.middle));
      const step = tickStep(x1, x0, 10, [0.05, 0.1, 0.25, 0.5, 1, 2, 3, 6]);
      tickValues = ticks(x1, x0, step);
      tickLabels = tickValues.map((t) => String(+((((t % 24) + 24) % 24).toFixed(2)) % 24));
      track = [x, Array.from(dec)];
      eclipticLine = skyLine(
        eclipticRa.map((h) => unwrapAbout(h, zoom.middle)),
        eclipticDec,
        false,
      );
    }
    const [low, high] = finiteRange(dec) || [0, 0];
    const y0 = Math.max(low - 8, -90);
    const y1 = Math.min(high + 8, 90);
    const f = frame(60, top, 620, 330, x0, x1, y0, y1);
    let out = box(f, "sky-area");
    out += xTicks(f, tickValues, tickLabels, true);
    out += yTicks(f, ticks(y0, y1, tickStep(y0, y1, 8, [1, 2, 5, 10, 15, 30])));
    out += `<g clip-path="url(#sky-area)">`;
    out += path(f, eclipticLine[0], eclipticLine[1], "ecliptic");
    // Daily records draw as a line; a thinned table, whose neighbours lie
    // days apart, as dots.
    out += path(f, track[0], track[1], "track", ` data-records="${table.count}"`, table.stride > 1);
    // Each mark on the kept record nearest its date; none that would touch
    // one before it.
    const dates = c[DATE];
    const placed = [];
    let labels = "";
    for (const mark of marks) {
      let k = 0;
      const distance = (j) => Math.abs(dates[j] - mark.jd);
      while (k + 1 < dates.length && distance(k + 1) <= distance(k)) ++k;
      if (!Number.isFinite(x[k]) || !Number.isFinite(dec[k])) continue;
      const px = f.x(x[k]);
      const py = f.y(dec[k]);
      // Right of the point and above it, or left of it near the chart's right edge.
      const width = 6 * mark.label.length;
      const leftward = px + 5 + width > f.left + f.width;
      const [x0, x1] = leftward ? [px - 5 - width, px - 4] : [px + 4, px + 5 + width];
      const [y0, y1] = [py - 16, py - 3];
      // Kept 3 pixels clear of every label before it.
      const apart = placed.every(
        ([a0, b0, a1, b1]) => x0 - 3 >= a1 || x1 + 3 <= a0 || y0 - 3 >= b1 || y1 + 3 <= b0,
      );
      if (!apart) continue;
      placed.push([x0, y0, x1, y1]);
      labels +=
        `<circle class="mark" cx="${number(px)}" cy="${number(py)}" r="2.5"/>` +
        svgText(leftward ? px - 5 : px + 5, py - 5, mark.label, 10, leftward ? END : "");
    }
    const last = dates.length - 1;
    out += `<circle class="start" cx="${number(f.x(x[0]))}" cy="${number(f.y(dec[0]))}" r="5"/>`;
    const [endX, endY] = [number(f.x(x[last]) - 4), number(f.y(dec[last]) - 4)];
    out += `<rect class="end" x="${endX}" y="${endY}" width="8" height="8"/>`;
    out += `</g>${labels}`;
    const middle = ' text-anchor="middle"';
    const title = "right ascension (hours)";
    out += svgText(f.left + f.width / 2, f.top + f.height + 32, title, 12, middle);
    out += `<g transform="translate(16 ${f.top + f.height / 2}) rotate(-90)">`;
    out += `${svgText(0, 0, "declination (degrees)", 12, middle)}</g>`;
    const key = `● start ${dateText(dates[0])}   ■ end ${dateText(dates[last])}   - - ecliptic`;
    out += svgText(f.left, f.top - 8, key, 12);
    return out;
  }

  // One panel of values against the date.
  function drawSeries(table, marks, top, series, range, title, withLabels) {
    const dates = table.columns[DATE];
    const first = dates[0];
    const last = dates[dates.length - 1];
    const f = frame(60, top, 620, 90, first, last === first ? first + 1 : last, range[0], range[1]);
    let out = box(f, `series-${top}`);
    out += xTicks(f, marks.map((m) => m.jd), marks.map((m) => m.label), withLabels);
    out += yTicks(f, ticks(range[0], range[1], range[2]));
    out += `<g clip-path="url(#series-${top})">`;
    for (const { column, color, dashed } of series) {
      const style = ` stroke="${color}"${dashed ? ' stroke-dasharray="5 4"' : ""}`;
      out += path(f, dates, table.columns[column], "series", style);
    }
    out += "</g>";
    out += `<text x="${f.left}" y="${f.top - 6}" font-size="12">${escape(title)}</text>`;
    return out;
  }

  function fittedRange(values, floor, ceiling) {
    const [low, high] = finiteRange(values) || [floor, ceiling];
    const margin = Math.max((high - low) * 0.08, 0.005);
    const a = Math.max(low - margin, floor);
    const b = Math.min(high + margin, ceiling);
    const steps = [0.001, 0.002, 0.005, 0.01, 0.02, 0.05, 0.1, 0.2, 0.25, 0.5];
    steps.push(1, 2, 5, 10, 20, 50, 100);
    return [a, b, tickStep(a, b, 4, steps)];
  }

  function drawTable(table) {
    const dates = table.columns[DATE];
    const marks = dateMarks(dates[0], dates[dates.length - 1]);
    const c = table.columns;
    const distances = fittedRange([...c[DISTANCE], ...c[SUN_DISTANCE]], 0, Infinity);
    let out = drawSky(table, marks, 30);
    const elongation = [{ column: ELONGATION, color: "#d35400" }];
    out += drawSeries(table, marks, 430, elongation, [0, 180, 45], "elongation (degrees)", false);
    out += drawSeries(
      table,
      marks,
      550,
      [
        { column: DISTANCE, color: "#7d3c98" },
        { column: SUN_DISTANCE, color: "#777", dashed: true },
      ],
      distances,
      "distance (AU): from the observer, and from the Sun (dashed)",
      false,
    );
    const fraction = [{ column: FRACTION, color: "#7d8c1e" }];
    const fractionRange = fittedRange(c[FRACTION], 0, 1);
    out += drawSeries(table, marks, 670, fraction, fractionRange, "illuminated fraction", true);
    const thinned = table.stride > 1 ? `, every ${table.stride}th record drawn` : "";
    const description =
      `The track of the target on the sky from ${dateText(dates[0])}` +
      ` to ${dateText(dates[dates.length - 1])} (${table.count} records${thinned}),` +
      " and its elongation, distances and illuminated fraction.";
    return (
      `<svg viewBox="0 0 700 790" role="img" aria-label="${escape(description)}">` +
      `<title>${escape(description)}</title>${out}</svg>` +
      `<figcaption>${escape(description)}</figcaption>`
    );
  }
})();
