// report(input): the Sondrax report on a WAVE file, computed by the program itself in
// WebAssembly, under node and in browsers. See index.d.ts and README.md.
import { diagnoseOnce, lastRecord, program, runOnce } from "./run.js";

// A file given as bytes: nothing to open or fetch.
class BytesInput {
  constructor(bytes) {
    this.bytes = bytes;
    this.length = bytes.length;
  }

  open() {
    return 1;
  }

  size() {
    return this.bytes.length;
  }

  read(start, count) {
    return this.bytes.subarray(start, start + count);
  }
}

/**
 * A Blob or File. A browser reads a Blob only asynchronously (outside a worker), while the
 * program reads synchronously; so a read of a slice not fetched yet ends the run, the slice is
 * fetched, and the run starts again, until a run finds every slice it asks for. Each run asks
 * the same as the one before up to where that one ended, so the runs cost the few slices the
 * report looks at, however long the file.
 */
class BlobInput {
  constructor(blob) {
    this.blob = blob;
    this.length = blob.size;
    this.slices = new Map(); // "start:count" -> bytes, or the error its reading gave
    this.wanted = null;
  }

  open() {
    return 1;
  }

  size() {
    return this.blob.size;
  }

  read(start, count) {
    const slice = this.slices.get(`${start}:${count}`);
    if (slice instanceof Uint8Array) return slice;
    if (slice) throw slice;
    this.wanted ??= [start, count];
    throw new Error("slice not fetched yet");
  }

  /** Fetches the slice the last run missed; false when it missed none. */
  async fetchWanted() {
    if (!this.wanted) return false;
    const [start, count] = this.wanted;
    this.wanted = null;
    let slice;
    try {
      slice = new Uint8Array(await this.blob.slice(start, start + count).arrayBuffer());
    } catch (error) {
      slice = error; // NotReadableError: the file changed or went away since it was chosen
    }
    this.slices.set(`${start}:${count}`, slice);
    return true;
  }
}

let nodeModules = null; // what a path needs, loaded only where there are paths: under node

async function inputOf(input) {
  if (typeof input === "string") {
    nodeModules ??= Promise.all([import("node:path"), import("./node-input.js")]);
    const [{ resolve }, { FileInput }] = await nodeModules;
    // The program names its file by the full path, as the command line does.
    return { name: input === "" ? "" : resolve(input), source: new FileInput() };
  }
  if (input instanceof Uint8Array) return { name: "bytes", source: new BytesInput(input) };
  if (typeof Blob !== "undefined" && input instanceof Blob) {
    return { name: input.name || "blob", source: new BlobInput(input) };
  }
  throw new TypeError("report() takes a file path, a Blob or File, or a Uint8Array");
}

function joined(pieces) {
  const all = new Uint8Array(pieces.reduce((sum, piece) => sum + piece.length, 0));
  let at = 0;
  for (const piece of pieces) {
    all.set(piece, at);
    at += piece.length;
  }
  return all;
}

// `run` again and again until it finds every slice it asks for (see BlobInput); its last result.
async function complete(source, run) {
  for (;;) {
    const result = run();
    if (!(await source.fetchWanted?.())) return result;
  }
}

// One report run: the exit code and both streams.
function reportRun(module, name, source, asShown) {
  const output = { 1: [], 2: [] };
  const exitCode = runOnce(module, name, asShown, {
    input: source,
    write: (stream, bytes) => output[stream].push(bytes),
  });
  return { exitCode, stdout: joined(output[1]), stderr: joined(output[2]) };
}

let queue = Promise.resolve();
const utf8 = new TextDecoder();

/**
 * The report on `input`: a file path (node), a Blob or File (browsers), or the file's bytes.
 * Reports run one after another in one instance of the program.
 */
export function report(input) {
  const result = queue.then(async () => {
    const [module, { name, source }] = await Promise.all([program(), inputOf(input)]);
    try {
      const exact = await complete(source, () => reportRun(module, name, source, false));
      const record = lastRecord(module);
      source.replay?.();
      const shown = await complete(source, () => reportRun(module, name, source, true));
      // After both report runs, so that the second is answered from the first's reads.
      const diagnosis = JSON.parse(
        await complete(source, () =>
          diagnoseOnce(module, name, { input: source, write: () => {} }),
        ),
      );
      return {
        bytes: exact.stdout,
        text: utf8.decode(shown.stdout),
        stderr: utf8.decode(shown.stderr),
        exitCode: exact.exitCode,
        verdict: diagnosis.verdict,
        reason: diagnosis.reason,
        diagnosis,
        chunks: record.chunks,
        length: record.length >= 0 ? record.length : null,
      };
    } finally {
      source.close?.();
    }
  });
  queue = result.catch(() => {});
  return result;
}
