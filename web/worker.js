// The program itself, in a module worker on the npm package's host (run.js): the report on each
// File the page posts, and the diagnosis of it.
//
// A worker reads a File's slices at once (FileReaderSync, see inputs.js), each just the bytes
// the program asks for: a file of any length costs the bytes the report looks at, not its
// length.
import { BlobInput } from "./inputs.js";
import { program, reportRun, runText } from "./run.js";

// The text of one of the module's exports for `file`, known to the program as `name`.
const text = (exportName, file, name, input = new BlobInput(file)) =>
  runText(exportName, name, { input, write() {} });

// Each file is reported twice: once for the exact bytes of the report (to save), once as a
// UTF-8 terminal receives it (to show). A report costs a few reads of the file, so the second
// run costs as little as the first. The diagnosis reads the file by itself, independently of
// any report run. Beside them, for the file known to the page as `path` (a dropped folder's
// file by its path inside the folder): sondrax-check's JSON line for it, and the plan of a
// repaired copy (the JSON "null" where its sizes are not its only fault).
self.onmessage = async ({ data: { file, path, diagnosisOnly } }) => {
  try {
    // A repaired copy the page built is judged before it is offered; nothing else is asked.
    if (diagnosisOnly) {
      postMessage({ diagnosis: await text("SondraxDiagnosis", file, file.name) });
      return;
    }
    const input = new BlobInput(file);
    const start = performance.now();
    const exact = await reportRun(file.name, false, input);
    const diagnosis = await text("SondraxDiagnosis", file, file.name, input);
    const milliseconds = performance.now() - start;
    const read = input.bytesRead;
    const shown = await reportRun(file.name, true, input);
    const utf8 = new TextDecoder();
    postMessage(
      {
        exitCode: exact.exitCode,
        stdout: exact.stdout,
        shownOut: utf8.decode(shown.stdout),
        shownErr: utf8.decode(shown.stderr),
        bytesRead: read,
        milliseconds,
        diagnosis,
        checkLine: await text("SondraxCheckLine", file, path ?? file.name),
        repairPlan: await text("SondraxRepairPlan", file, path ?? file.name),
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
