// Runs the program, compiled to WebAssembly, as a console runs it in an empty
// directory: every run is a fresh instance of the module over an in-memory
// file system that holds DATOS.DAT, main() is called with no argument or with
// --check, and the exit status, VESK.DAT, standard output and standard error
// come back. Defines globalThis.ephemeris (window.ephemeris in a page) from
// the module's factory, createEphemeris:
//
//   ephemeris.run(elements), ephemeris.check(elements): a promise of
//     {status, table, stdout, report}: the exit status, the text written to
//     VESK.DAT (null where none was written), the text on standard output and
//     the report on standard error ("" for none). `elements` is the text of
//     DATOS.DAT, or its bytes (a Uint8Array or an ArrayBuffer).
//   ephemeris.execute(elements, args): the same with the table's bytes as
//     tableBytes, and any arguments.
//
// The status of a run that ends with a report is 134, what a shell shows for
// the console program's abort; a check that finds a run would fail gives 2.
(function (global) {
  "use strict";

  const ELEMENT_FILE = "DATOS.DAT";
  const TABLE_FILE = "VESK.DAT";

  // The program writes ASCII only; anything else would show as U+FFFD.
  const decoder = new TextDecoder("utf-8");

  function bytesOf(elements) {
    if (typeof elements === "string") return new TextEncoder().encode(elements);
    if (elements instanceof ArrayBuffer) return new Uint8Array(elements);
    if (elements instanceof Uint8Array) return elements;
    throw new TypeError("the element file must be a string, a Uint8Array or an ArrayBuffer");
  }

  async function execute(elements, args) {
    const input = bytesOf(elements);
    const stdout = [];
    const stderr = [];
    let status = null;
    const instance = await global.createEphemeris({
      noInitialRun: true,
      // Standard output and error byte by byte, exactly as written; nothing
      // goes to the browser's console.
      preRun: [
        (module) =>
          module.FS.init(
            null,
            (byte) => byte !== null && stdout.push(byte),
            (byte) => byte !== null && stderr.push(byte),
          ),
      ],
      print() {},
      printErr() {},
      // exit() ends the instance by throwing, which callMain catches; the
      // status comes through onExit.
      quit(code, thrown) {
        throw thrown;
      },
      onExit(code) {
        status = code;
      },
    });
    instance.FS.writeFile(ELEMENT_FILE, input);
    const returned = instance.callMain(args);
    let tableBytes = null;
    if (instance.FS.analyzePath(TABLE_FILE).exists) tableBytes = instance.FS.readFile(TABLE_FILE);
    return {
      status: status === null ? returned : status,
      tableBytes,
      stdout: decoder.decode(new Uint8Array(stdout)),
      report: decoder.decode(new Uint8Array(stderr)),
    };
  }

  async function answer(elements, args) {
    const result = await execute(elements, args);
    return {
      status: result.status,
      table: result.tableBytes === null ? null : decoder.decode(result.tableBytes),
      stdout: result.stdout,
      report: result.report,
    };
  }

  global.ephemeris = {
    execute,
    run: (elements) => answer(elements, []),
    check: (elements) => answer(elements, ["--check"]),
  };
})(globalThis);
