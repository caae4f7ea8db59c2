// The page's program under Node: the module and its runner, taken from the
// built page itself, run on the example and on the end-to-end tests' success
// and failure element files, each also with --check, against the console
// program built from the same sources. Statuses, standard output and reports
// must be the same bytes; tables the same but for rare last digits (the C
// libraries' mathematical functions differ in the last bit on some
// arguments): at most one value in ten thousand may differ, each by at most
// one unit of its ninth significant digit, and a table whose values all
// agree must agree byte for byte.
//
// Usage: node web_module_test.js PAGE NATIVE_PROGRAM SOURCE_DIR
"use strict";

const childProcess = require("child_process");
const fs = require("fs");
const os = require("os");
const path = require("path");
const vm = require("vm");

const [page, nativeProgram, sourceDir] = process.argv.slice(2).map((p) => path.resolve(p));
const LARGEST_PAGE = 2 * 1024 * 1024;
const ABORT_STATUS = 134; // what a shell shows for SIGABRT, and the page's status after a report
const LONG_RUN_DAYS = 100000;

const failures = [];
function expect(condition, message) {
  if (!condition) failures.push(message);
  return condition;
}

// ---------------------------------------------------------------------------
// The page: one file under 2 MB that names no http: or https: address (the
// browser test sees what it loads), holding the module and the runner, which
// are evaluated here as the page evaluates them.

const html = fs.readFileSync(page, "utf8");
const pageSize = fs.statSync(page).size;
expect(pageSize < LARGEST_PAGE, `the page is ${pageSize} bytes, not under ${LARGEST_PAGE}`);
for (const match of html.matchAll(/https?:[^\s"'<>)]*/gi)) {
  failures.push(`the page names ${match[0]}`);
}
function script(id) {
  const match = html.match(new RegExp(`<script id="${id}">([\\s\\S]*?)</script>`));
  if (!match) throw new Error(`the page has no script ${id}`);
  return match[1];
}
vm.runInThisContext(script("ephemeris-module"), { filename: "ephemeris-module" });
vm.runInThisContext(script("ephemeris-runner"), { filename: "ephemeris-runner" });

// ---------------------------------------------------------------------------
// The console program in a fresh temporary directory.

function runNative(elements, args) {
  const directory = fs.mkdtempSync(path.join(os.tmpdir(), "ephemeris-web-"));
  try {
    fs.writeFileSync(path.join(directory, "DATOS.DAT"), elements);
    const result = childProcess.spawnSync(nativeProgram, args, {
      cwd: directory,
      maxBuffer: 1 << 30,
    });
    if (result.error) throw result.error;
    const tablePath = path.join(directory, "VESK.DAT");
    return {
      status: result.signal === "SIGABRT" ? ABORT_STATUS : result.signal ? result.signal : result.status,
      stdout: result.stdout.toString("latin1"),
      report: result.stderr.toString("latin1"),
      table: fs.existsSync(tablePath) ? fs.readFileSync(tablePath) : null,
    };
  } finally {
    fs.rmSync(directory, { recursive: true, force: true });
  }
}

// ---------------------------------------------------------------------------
// Tables, value by value.

// An item as sign * digits * 10^exponent, exactly; null for NAN, INF and the like.
function decimal(item) {
  const match = /^([+-]?)(\d*)\.?(\d*)(?:E([+-]?\d+))?$/i.exec(item);
  if (!match || match[2] + match[3] === "") return null;
  const digits = BigInt(match[2] + match[3]) * (match[1] === "-" ? -1n : 1n);
  return { digits, exponent: Number(match[4] || 0) - match[3].length };
}

// |item - reference| in units of the reference's ninth significant digit.
function ninthDigitUnits(item, reference) {
  const a = decimal(item);
  const b = decimal(reference);
  if (a === null || b === null) return Infinity;
  const magnitude = b.digits < 0n ? -b.digits : b.digits;
  const adjusted = magnitude === 0n ? 0 : magnitude.toString().length - 1 + b.exponent;
  const unit = adjusted - 8;
  const low = Math.min(a.exponent, b.exponent, unit);
  const scaled = (x) => x.digits * 10n ** BigInt(x.exponent - low);
  const difference = scaled(a) - scaled(b);
  return Number(difference < 0n ? -difference : difference) / Number(10n ** BigInt(unit - low));
}

const COLUMNS = ["date", "right ascension", "declination", "solar distance", "observer distance",
  "elongation", "phase angle", "illuminated fraction"];

// Compares the page's table with the console program's; returns the count
// of items and of those that differ.
function compareTables(name, webBytes, nativeBytes) {
  const web = Buffer.from(webBytes).toString("latin1");
  const native = nativeBytes.toString("latin1");
  const webItems = web.split(/\s+/).filter(Boolean);
  const nativeItems = native.split(/\s+/).filter(Boolean);
  if (!expect(webItems.length === nativeItems.length,
    `${name}: ${webItems.length} items instead of ${nativeItems.length}`)) {
    return { items: nativeItems.length, differing: 0 };
  }
  let differing = 0;
  for (let k = 0; k < nativeItems.length; ++k) {
    if (webItems[k] === nativeItems[k]) continue;
    ++differing;
    const units = ninthDigitUnits(webItems[k], nativeItems[k]);
    const where = `record ${Math.floor(k / 8) + 1}, ${COLUMNS[k % 8]}`;
    console.log(`  ${name}: ${where}: ${webItems[k]} instead of ${nativeItems[k]} (${units} units)`);
    expect(units <= 1, `${name}: ${where} differs by ${units} units of the ninth digit`);
  }
  if (differing === 0) expect(web === native, `${name}: the same items, but not the same bytes`);
  return { items: nativeItems.length, differing };
}

// ---------------------------------------------------------------------------
// The element files.

const read = (...parts) => fs.readFileSync(path.join(sourceDir, ...parts), "latin1");
const example = read("examples", "DATOS.DAT");
const mars = read("tests", "data", "mars_from_earth.dat");
const lines = mars.split("\n");
const target = lines[0] + "\n";
const observer = lines[1] + "\n";
const withRun = (start, count) => target + observer + `${start}\n${count}\n`;
const afterTarget = mars.slice(target.length);
const threeLines = mars.slice(0, mars.lastIndexOf("40\n"));
const twoLines = threeLines.slice(0, threeLines.lastIndexOf("2461081.5\n"));
const exampleLines = example.split("\n");
const exampleWithCount = (count) =>
  [exampleLines[0], exampleLines[1], exampleLines[2], String(count), ""].join("\n");

const SUCCESSES = {
  "the example": example,
  "Mars from the Earth": mars,
  "an inferior conjunction at date 0": read("tests", "data", "inferior_conjunction.dat"),
  "a fractional start": withRun("2461081.25", 400),
  "one day": withRun("2461081.5", 1),
  "no day": withRun("2461081.5", 0),
  "a negative day count": withRun("2461081.5", -5),
  "repeat counts": "1.5 +2*0.09 49.6 286.5 19.4 2451545 3.2E-7\n" + observer + "2461081.5\n3\n",
  "CR LF line ends, tabs and commas": withRun("2461081.5", 3).replace(/ /g, "\t").replace(/\n/g, "\r\n").replace("\t", " , "),
  "a calendar date and decimal commas (legal, noted by --check)":
    target.replace("3.2271E-7", "3,2271E-7") + observer + "2026-01-01\n365  days\n",
  [`the example for ${LONG_RUN_DAYS} days`]: exampleWithCount(LONG_RUN_DAYS),
};

const FAILURES = {
  "an empty file": "",
  "three lines": threeLines,
  "three lines, the last unended": threeLines.slice(0, -1),
  "a syntax error": "1.5Q0 " + mars,
  "a missing value": ",1 2 3 4 5 6 7 8\n" + afterTarget,
  "an eccentricity out of range": "1 1.5 0 0 0 0 0 0\n" + afterTarget,
  "a day count beyond 32 bits": withRun("2461081.5", "2147483648"),
  "an empty start at the very end": twoLines + "2*",
  "empty day counts": withRun("2461081.5", "3*"),
  "a byte-order mark": "\xef\xbb\xbf" + mars,
  "a mean anomaly in degrees and minutes": target.replace("19.39019754", "19\xc2\xb023'24\"") + afterTarget,
  "a tiny axis": "1E-300 0.1 0 0 0 0 2451545 0\n" + afterTarget,
  "a huge axis": "1E160 0.1 0 0 0 0 2451545 0\n" + afterTarget,
  "a huge angle": "1 0.1 1E308 0 0 0 2451545 0\n" + afterTarget,
  "an infinite mean motion": "1e-137 0.1 0 0 0 0 2451545 1E300\n" + afterTarget,
  "a far epoch": "0.01 0.1 0 0 0 0 1E308 0\n" + afterTarget,
  "the same orbit twice": target + target + "2461081.5\n40\n",
  "mean anomalies a turn apart": "1 0.5 10 20 30 90 2451545 0\n1 0.5 10 20 30 450 2451545 0\n2461081.5\n40\n",
  "a star without a count": "*1.5 " + mars,
  "a star after a real": "1.5*2 " + mars,
  "a negative repeat count": "-2*1 " + mars,
  "a sign alone before a star": "+*1 " + mars,
  "a star after a star": "2** " + mars,
  "a decimal day count": withRun("2461081.5", "10.0"),
  "an exponent in the day count": withRun("2461081.5", "1E1"),
  "a sign as the day count": withRun("2461081.5", "+"),
  "a letter as the day count": withRun("2461081.5", "x"),
  "a zero repeat count as the day count": withRun("2461081.5", "0*1"),
};

// ---------------------------------------------------------------------------

async function compare(name, elements, args) {
  const bytes = Buffer.from(elements, "latin1");
  const native = runNative(bytes, args);
  const web = await globalThis.ephemeris.execute(new Uint8Array(bytes), args);
  const label = `${name}${args.length ? " " + args.join(" ") : ""}`;
  expect(web.status === native.status, `${label}: status ${web.status} instead of ${native.status}`);
  expect(web.stdout === native.stdout, `${label}: standard output\n${web.stdout}\ninstead of\n${native.stdout}`);
  expect(web.report === native.report, `${label}: report\n${web.report}\ninstead of\n${native.report}`);
  if ((web.tableBytes === null) !== (native.table === null)) {
    failures.push(`${label}: ${web.tableBytes === null ? "no" : "a"} table where the console program wrote ${native.table === null ? "none" : "one"}`);
    return { items: 0, differing: 0, status: web.status };
  }
  const counts = web.tableBytes === null ? { items: 0, differing: 0 } : compareTables(label, web.tableBytes, native.table);
  return { ...counts, status: web.status };
}

async function main() {
  let items = 0;
  let differing = 0;
  for (const [name, elements] of Object.entries(SUCCESSES)) {
    const run = await compare(name, elements, []);
    expect(run.status === 0, `${name}: status ${run.status}`);
    await compare(name, elements, ["--check"]);
    console.log(`${name}: ${run.items} values, ${run.differing} differ from the console program's`);
    items += run.items;
    differing += run.differing;
  }
  for (const [name, elements] of Object.entries(FAILURES)) {
    const run = await compare(name, elements, []);
    expect(run.status === ABORT_STATUS, `${name}: status ${run.status} instead of a report's`);
    const check = await compare(name, elements, ["--check"]);
    expect(check.status === 2, `${name} --check: status ${check.status}`);
  }
  console.log(`page: ${pageSize} bytes`);
  console.log(`${items} values in all, ${differing} differ from the console program's`);
  expect(differing * 10000 <= items, `${differing} of ${items} values differ: more than one in ten thousand`);
  if (failures.length > 0) {
    for (const failure of failures) console.error(`FAILED: ${failure}`);
    process.exit(1);
  }
  console.log(`${Object.keys(SUCCESSES).length} runs and ${Object.keys(FAILURES).length} failures, each also checked, as the console program gives them`);
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
