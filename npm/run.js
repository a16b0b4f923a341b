// The program's WebAssembly module, one instance for the whole process (or page worker), and
// runs on it one at a time. This is the one host of the module: the package under node and in
// browsers, its two commands, the page's worker and the tests all run it through here.
//
// Each run has a host of its own, and each function the module asks for (see PlatformWeb.cc
// and FoldersWeb.cc) is passed to the same function of the run's host. A report's host is
// simpler (runReport):
//   input.open(name) -> 1        input.size() -> the length in bytes
//   input.read(start, count) -> a Uint8Array of up to `count` bytes, or a promise of one
//   write(stream, bytes)         streamKind(stream) -> 0 file or pipe, 1 device, 2 terminal
//   environment(name)            the value of an environment variable (the locale's)
// A read that answers with a promise suspends the run until it settles, so a Blob is read by
// the slices the program asks for, as it asks for them. A failure is thrown (or a read's
// promise rejected) as node's error or a DOMException: the program makes its own error number
// of it, as its POSIX layer does of the same error.
import SondraxModule, { wasmGzip } from "./sondrax-core.js";

let host = null; // the host of the run in progress
let loading = null;
let queue = Promise.resolve();

// The module's code travels gzipped inside sondrax-core.js, a third of its size, so that
// one file of JavaScript holds the whole program for any bundler.
async function wasmBinary() {
  const packed = Uint8Array.from(atob(wasmGzip), (c) => c.charCodeAt(0));
  const stream = new Blob([packed]).stream().pipeThrough(new DecompressionStream("gzip"));
  return new Uint8Array(await new Response(stream).arrayBuffer());
}

// The module's questions, each passed on to the run's host; and what it is told where the host
// has no answer: both streams are files or pipes, there is no environment, and a file's name
// is all there is of its path.
const asked = [
  "openInput",
  "inputSize",
  "readInput",
  "closeInput",
  "writeOutput",
  "streamKind",
  "environment",
  "fullPath",
  "checkArguments",
  "kindOf",
  "listFolder",
  "openList",
  "readList",
  "closeList",
  "makeFolder",
  "createNew",
  "writeAll",
  "finishNew",
  "link",
  "remove",
];
const fallback = { streamKind: () => 0, environment: () => "", fullPath: (name) => name };

/** The module, compiled on first use. */
export function program() {
  loading ??= wasmBinary().then((binary) => {
    const calls = {};
    for (const name of asked) calls[name] = (...args) => (host[name] ?? fallback[name])(...args);
    return SondraxModule({
      ...calls,
      wasmBinary: binary,
      // Never asked to fetch anything, but without this the module looks for its code next to
      // itself by import.meta.url, which a bundle for a classic script has not.
      locateFile: (path) => path,
    });
  });
  return loading;
}

// `call` on the module with `runHost` as the host, after every run before it has ended: a run
// that waits for a read must not share the module with another.
function exclusive(runHost, call) {
  const result = queue.then(async () => {
    const module = await program();
    host = runHost;
    try {
      return await call(module);
    } finally {
      host = null;
    }
  });
  queue = result.catch(() => {});
  return result;
}

// A report's host as the module asks it: one file, opened by name.
const reportHost = ({ input, write, streamKind, environment }) => ({
  openInput: (name) => input.open(name),
  inputSize: () => input.size(),
  readInput: (_id, start, count) => input.read(start, count),
  closeInput: () => {},
  writeOutput: write,
  streamKind,
  environment,
});

/**
 * One report run on `name` with `runHost`; with `asShown` its output is what a UTF-8 terminal
 * receives. Resolves to the exit code and, with `withRecord`, the run's record, the JSON text of
 * SondraxRecord (see record.js).
 */
export const runReport = (name, asShown, runHost, withRecord = false) =>
  exclusive(reportHost(runHost), async (module) => {
    const exitCode = await module.ccall(
      "SondraxReport",
      "number",
      ["string", "number"],
      [name, asShown ? 1 : 0],
      { async: true },
    );
    const record = withRecord ? module.ccall("SondraxRecord", "string", [], []) : null;
    return { exitCode, record };
  });

/**
 * One report run on `name` read from `input`, both streams collected: the exit code, the bytes
 * of standard output and error, and with `withRecord` the run's record.
 */
export async function reportRun(name, asShown, input, withRecord = false) {
  const output = { 1: [], 2: [] };
  const write = (stream, bytes) => output[stream].push(bytes);
  const { exitCode, record } = await runReport(name, asShown, { input, write }, withRecord);
  return { exitCode, record, stdout: joined(output[1]), stderr: joined(output[2]) };
}

/**
 * One run of sondrax-check with `args` (the program's name not among them) and `checkHost`,
 * which answers every question of the module itself (node-folders.js); resolves to the exit
 * status.
 */
export const runCheck = (args, checkHost) =>
  exclusive({ ...checkHost, checkArguments: () => args }, (module) => {
    module.pathSeparator = checkHost.pathSeparator ?? "/";
    return module.ccall("SondraxCheck", "number", [], [], { async: true });
  });

/**
 * The text an export of the module gives for the file `name` read through `runHost`, as the
 * JSON of SondraxDiagnosis (see index.d.ts).
 */
export const runText = (exportName, name, runHost) =>
  exclusive(reportHost(runHost), (module) =>
    module.ccall(exportName, "string", ["string"], [name], { async: true }),
  );

/** All of `pieces` in one array. */
export function joined(pieces) {
  const all = new Uint8Array(pieces.reduce((sum, piece) => sum + piece.length, 0));
  let at = 0;
  for (const piece of pieces) {
    all.set(piece, at);
    at += piece.length;
  }
  return all;
}
