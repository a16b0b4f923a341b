// The WebAssembly module under node, with hosts of its own: the same reports as the native
// program, reads of just the bytes a report needs, and the host's failures as the program's
// error texts.
import assert from "node:assert/strict";
import { join } from "node:path";
import { after, before, test } from "node:test";

import {
  fileHost,
  GiB,
  loadModule,
  nativeExact,
  nativeFull,
  nativeShown,
  removeDir,
  testFiles,
  writeFiles,
  writeSparseWave,
} from "./support.mjs";

const files = testFiles();
let dir;
before(() => {
  dir = writeFiles(files);
});
after(() => removeDir(dir));

// Bytes as text, so that a difference shows where it is.
const readable = ({ exitCode, stdout, stderr }) => ({
  exitCode,
  stdout: stdout.toString("latin1"),
  stderr: stderr.toString("latin1"),
});

test("every file gives the native program's bytes, to a pipe and to a terminal", async (t) => {
  // One module for all the files, as in the page: a run must not leak into the next.
  const sondrax = loadModule(fileHost());
  for (const [name] of files) {
    await t.test(name, async () => {
      const path = join(dir, name);
      assert.deepEqual(readable(await sondrax.report(path)), readable(nativeExact(path)));
      assert.deepEqual(readable(await sondrax.report(path, true)), readable(nativeShown(path)));
    });
  }
});

test("a large file costs the windows the report reads, not its length", async (t) => {
  // The last one is as long as a data chunk can make a file: its INFO list lies beyond 2^32.
  for (const length of [1.5 * GiB, 3 * GiB, 4 * GiB + 64]) {
    await t.test(`${length} bytes`, async () => {
      const path = join(dir, `sparse-${length}.wav`);
      writeSparseWave(path, length);
      const host = fileHost();
      assert.deepEqual(readable(await loadModule(host).report(path)), readable(nativeExact(path)));
      const delivered = host.reads.reduce((sum, [, , got]) => sum + got, 0);
      assert.ok(delivered <= 4 * 2 ** 20, `${delivered} bytes read`);
      for (const [start, count] of host.reads) {
        assert.ok(Number.isInteger(start) && start >= 0 && start < length, `read at ${start}`);
        assert.ok(count <= 2 ** 20, `read of ${count} bytes`);
      }
    });
  }
});

// A host holding files in memory, by name, every file with the id 1 as in the page's worker.
// With `later`, every read answers with a promise, as a Blob's do in a browser.
function memoryHost(named, { failRead, refuseWrite, maxRead, later } = {}) {
  let current = null;
  let readCount = 0;
  const answer = (read) => {
    if (!later) return read();
    return new Promise((resolve) => setTimeout(resolve, 0)).then(read);
  };
  return {
    reads: () => readCount,
    openInput(name) {
      if (!named.has(name)) throw new DOMException(name, "NotFoundError");
      current = named.get(name);
      return 1;
    },
    inputSize: () => current.length,
    readInput(_id, start, count) {
      const at = readCount++;
      return answer(() => {
        if (failRead?.at === at) throw new DOMException("refused", failRead.name);
        return current.subarray(start, start + Math.min(count, maxRead ?? count));
      });
    },
    closeInput() {},
    refuseWrite,
  };
}

const sampleBytes = (name) => files.find(([file]) => file === name)[1];

test("the host's failures end the run with the program's error texts", async (t) => {
  const pcm = new Map([["pcm.wav", sampleBytes("pcm16-stereo.wav")]]);

  await t.test("a file the host does not have cannot be opened", async () => {
    const run = readable(await loadModule(memoryHost(pcm)).report("gone.wav"));
    assert.equal(run.exitCode, 1);
    assert.match(run.stdout, /\r\n\*ERROR\*: Could not open "gone\.wav"\r\n$/);
    assert.equal(run.stderr, "");
  });

  // The first read is the RIFF header's, where an empty file fails too: the same statement,
  // so the same error text but for the message.
  const emptyFailure = readable(nativeExact(join(dir, "empty.wav")));
  const messages = {
    NotReadableError: "E/A-Fehler 1117.",
    SecurityError: "Dateizugriff verweigert.",
    NotFoundError: "Datei nicht gefunden.",
  };
  for (const [name, message] of Object.entries(messages)) {
    await t.test(`a read failing with ${name}`, async () => {
      const host = memoryHost(pcm, {
        failRead: { at: 0, name },
        later: name === "NotReadableError",
      });
      const run = readable(await loadModule(host).report("pcm.wav"));
      assert.deepEqual(run, {
        ...emptyFailure,
        stderr: emptyFailure.stderr.replace("Versuch hinter dem Dateiende zu lesen.", message),
      });
    });
  }

  // Bytes go out at the end of every statement both to a terminal and to /dev/full, so the
  // native program meets a full disk (112) at the statement where the host refuses them.
  await t.test("standard output refused", async () => {
    const host = memoryHost(pcm, { refuseWrite: (stream) => stream === 1 });
    const full = readable(nativeFull(join(dir, "pcm16-stereo.wav")));
    assert.deepEqual(readable(await loadModule(host).report("pcm.wav", true)), {
      ...full,
      stderr: full.stderr.replace("E/A-Fehler 112.", "E/A-Fehler 1117."),
    });
  });
});

test("reads that deliver less than asked are continued where they ended", async () => {
  const named = new Map(files);
  const sondrax = loadModule(memoryHost(named, { maxRead: 100 }));
  for (const name of ["info-after-data.wav", "ima-adpcm.wav", "control-bytes.wav"]) {
    assert.deepEqual(readable(await sondrax.report(name)), readable(nativeExact(join(dir, name))));
  }
});

test("a run after one that stopped midway reads its file from the start", async () => {
  const named = new Map(files);
  const sondrax = loadModule(memoryHost(named));
  const expected = readable(nativeExact(join(dir, "pcm16-stereo.wav")));
  for (const stopped of ["cut-in-format.wav", "no-riff-id.wav", "byte-rate-0.wav"]) {
    await sondrax.report(stopped);
    assert.deepEqual(
      readable(await sondrax.report("pcm16-stereo.wav")),
      expected,
      `after ${stopped}`,
    );
  }
});

test("reads answered later, as a Blob's, give the same runs and ask for each slice once", async () => {
  const named = new Map(files);
  for (const name of ["info-malformed.wav", "chunks-1200-cut.wav", "cut-in-format.wav"]) {
    const now = memoryHost(named);
    const later = memoryHost(named, { later: true });
    const expected = readable(nativeExact(join(dir, name)));
    assert.deepEqual(readable(await loadModule(now).report(name)), expected);
    assert.deepEqual(readable(await loadModule(later).report(name)), expected);
    assert.equal(later.reads(), now.reads(), name);
  }
});
