// The program's WebAssembly module, one instance for the whole process, and runs on it one at a
// time. A run's host says where its input comes from and where its output goes; the module asks
// it through the functions below (see PlatformWeb.cc), which pass each call to the run's host.
import { readRecord } from "./record.js";
import SondraxModule from "./sondrax-core.js";

let host = null; // the host of the run in progress
let loading = null;

/** The module, compiled on first use. */
export function program() {
  loading ??= SondraxModule({
    openInput: (name) => host.input.open(name),
    inputSize: () => host.input.size(),
    readInput: (_id, start, count) => host.input.read(start, count),
    closeInput: () => {},
    writeOutput: (stream, bytes) => host.write(stream, bytes),
    streamKind: (stream) => (host.streamKind ? host.streamKind(stream) : 0),
    terminalCharset: () => host.charset ?? "other",
  });
  return loading;
}

/**
 * One run of the program on `name` with `runHost` ({ input, write, streamKind?, charset? });
 * with `asShown` its output is what a UTF-8 terminal receives. Returns the exit code.
 */
export function runOnce(module, name, asShown, runHost) {
  host = runHost;
  try {
    return module.ccall("SondraxReport", "number", ["string", "number"], [name, asShown ? 1 : 0]);
  } finally {
    host = null;
  }
}

/**
 * The diagnosis of `name`, read through `runHost` as runOnce reads it: the JSON text of
 * SondraxDiagnosis (see index.d.ts).
 */
export function diagnoseOnce(module, name, runHost) {
  host = runHost;
  try {
    return module.ccall("SondraxDiagnosis", "string", ["string"], [name]);
  } finally {
    host = null;
  }
}

/** The record of the module's last run (see record.js): the chunks its walk read, the length. */
export const lastRecord = (module) => readRecord(module.ccall("SondraxRecord", "string", [], []));
