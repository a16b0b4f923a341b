// The program itself, in a module worker on the npm package's host (run.js): the report on each
// File the page posts, and the diagnosis of it.
//
// A worker reads a File's slices at once (FileReaderSync, see inputs.js), each just the bytes
// the program asks for: a file of any length costs the bytes the report looks at, not its
// length.
import { BlobInput } from "./inputs.js";
import { joined, program, runReport, runText } from "./run.js";

// One run on `file`: its exit code, its record and what it wrote to each stream.
async function report(file, input, asShown) {
  const output = { 1: [], 2: [] };
  const { exitCode, record } = await runReport(file.name, asShown, {
    input,
    write: (stream, bytes) => output[stream].push(bytes),
  });
  return { exitCode, record, stdout: joined(output[1]), stderr: joined(output[2]) };
}

// Each file is reported twice: once for the exact bytes of the report (to save), once as a
// UTF-8 terminal receives it (to show). A report costs a few reads of the file, so the second
// run costs as little as the first. The diagnosis reads the file by itself, independently of
// any report run.
self.onmessage = async ({ data: { file } }) => {
  try {
    const input = new BlobInput(file);
    const start = performance.now();
    const exact = await report(file, input, false);
    const diagnosis = await runText("SondraxDiagnosis", file.name, { input, write() {} });
    const milliseconds = performance.now() - start;
    const read = input.bytesRead;
    const shown = await report(file, input, true);
    const utf8 = new TextDecoder();
    postMessage(
      {
        exitCode: exact.exitCode,
        stdout: exact.stdout,
        shownOut: utf8.decode(shown.stdout),
        shownErr: utf8.decode(shown.stderr),
        bytesRead: read,
        milliseconds,
        // The record of the exact run: the chunks the walk met (record.js).
        record: exact.record,
        diagnosis,
      },
      [exact.stdout.buffer],
    );
  } catch (error) {
    // A fault of the program itself (the module has stopped): the page starts a new worker.
    postMessage({ failure: String(error) });
    close();
  }
};

// Ready once the module is compiled. If it cannot be, the error is thrown out of the worker,
// where the page's onerror tells the user the program could not be loaded.
program().then(
  () => postMessage({ ready: true }),
  (error) =>
    setTimeout(() => {
      throw error;
    }),
);
