// The program itself, in a worker: the report on each File the page posts, and the
// diagnosis of it.
//
// The program reads its file through a window of at most 1 MiB, so each read it asks for is
// one Blob.slice of just those bytes, read synchronously (FileReaderSync exists only in
// workers). A file of any length costs the bytes the report looks at, not its length.
importScripts("sondrax.js");

const reader = new FileReaderSync();
let input = null; // the File of the current run
let output = null; // the bytes written to standard output (1) and standard error (2)
let bytesRead = 0;

const sondrax = SondraxModule({
  // The program opens the file it was given by name; the name may have come back from UTF-8
  // changed (a lone surrogate), so it is not compared.
  openInput(name) {
    if (input === null) throw new DOMException(`no file ${name}`, "NotFoundError");
    return 1;
  },
  inputSize() {
    return input.size;
  },
  readInput(_id, start, count) {
    const bytes = new Uint8Array(reader.readAsArrayBuffer(input.slice(start, start + count)));
    bytesRead += bytes.length;
    return bytes;
  },
  closeInput() {},
  writeOutput(stream, bytes) {
    output[stream].push(bytes);
  },
});
postMessage({ ready: true });

function joined(pieces) {
  const all = new Uint8Array(pieces.reduce((sum, piece) => sum + piece.length, 0));
  let at = 0;
  for (const piece of pieces) {
    all.set(piece, at);
    at += piece.length;
  }
  return all;
}

// One run on `file`: its exit code and what it wrote to each stream.
function report(file, asShown) {
  input = file;
  output = { 1: [], 2: [] };
  try {
    const exitCode = sondrax.ccall(
      "SondraxReport",
      "number",
      ["string", "number"],
      [file.name, asShown ? 1 : 0],
    );
    return { exitCode, stdout: joined(output[1]), stderr: joined(output[2]) };
  } finally {
    input = null;
  }
}

// The diagnosis of `file`: its verdict and findings as the JSON text of SondraxDiagnosis. It
// reads the file by itself, independently of any report run.
function diagnose(file) {
  input = file;
  try {
    return sondrax.ccall("SondraxDiagnosis", "string", ["string"], [file.name]);
  } finally {
    input = null;
  }
}

// What the page saves and offers beside the report, for the file known to the page as `path`
// (a dropped folder's file by its path inside the folder): sondrax-check's JSON line for it, and
// the plan of a repaired copy (the JSON "null" where its sizes are not its only fault).
function checked(file, path) {
  input = file;
  try {
    return {
      checkLine: sondrax.ccall("SondraxCheckLine", "string", ["string"], [path]),
      repairPlan: sondrax.ccall("SondraxRepairPlan", "string", ["string"], [path]),
    };
  } finally {
    input = null;
  }
}

// Each file is reported twice: once for the exact bytes of the report (to save), once as a
// UTF-8 terminal receives it (to show). A report costs a few reads of the file, so the second
// run costs as little as the first.
self.onmessage = ({ data: { file, path, diagnosisOnly } }) => {
  try {
    // A repaired copy the page built is judged before it is offered; nothing else is asked.
    if (diagnosisOnly) {
      postMessage({ diagnosis: diagnose(file) });
      return;
    }
    bytesRead = 0;
    const start = performance.now();
    const exact = report(file, false);
    // The record of the exact run: the chunks the walk met (the page draws the diagnosis's).
    const record = sondrax.ccall("SondraxRecord", "string", [], []);
    const diagnosis = diagnose(file);
    const milliseconds = performance.now() - start;
    const read = bytesRead;
    const shown = report(file, true);
    const utf8 = new TextDecoder();
    postMessage(
      {
        exitCode: exact.exitCode,
        stdout: exact.stdout,
        shownOut: utf8.decode(shown.stdout),
        shownErr: utf8.decode(shown.stderr),
        bytesRead: read,
        milliseconds,
        record,
        diagnosis,
        ...checked(file, path ?? file.name),
      },
      [exact.stdout.buffer],
    );
  } catch (error) {
    // A fault of the program itself (the module has stopped): the page starts a new worker.
    postMessage({ failure: String(error) });
    close();
  }
};
