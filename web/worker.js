// The program itself, in a worker: one report at a time on the File the page posts.
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
  openInput(name) {
    if (input === null || name !== input.name) {
      throw new DOMException(`no file ${name}`, "NotFoundError");
    }
    return 1;
  },
  inputSize() {
    return input.size;
  },
  readInput(id, start, count) {
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

onmessage = ({ data: { file } }) => {
  input = file;
  output = { 1: [], 2: [] };
  bytesRead = 0;
  const start = performance.now();
  let exitCode;
  try {
    exitCode = sondrax.ccall("SondraxReport", "number", ["string"], [file.name]);
  } catch (error) {
    // A fault of the program itself (the module has stopped): the page starts a new worker.
    postMessage({ failure: String(error) });
    close();
    return;
  } finally {
    input = null;
  }
  const stdout = joined(output[1]);
  const stderr = joined(output[2]);
  postMessage(
    { exitCode, stdout, stderr, bytesRead, milliseconds: performance.now() - start },
    [stdout.buffer, stderr.buffer],
  );
};
