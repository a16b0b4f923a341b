// What the tests of the page share: the files to report on, the native program's output for
// them (the reference), and the WebAssembly module loaded under node.
import { execFileSync, spawnSync } from "node:child_process";
import {
  closeSync,
  fstatSync,
  ftruncateSync,
  mkdtempSync,
  openSync,
  readdirSync,
  readFileSync,
  readSync,
  rmSync,
  writeFileSync,
  writeSync,
} from "node:fs";
import { tmpdir } from "node:os";
import { basename, dirname, join } from "node:path";
import { fileURLToPath } from "node:url";

import { runReport } from "../../npm/run.js";

const here = dirname(fileURLToPath(import.meta.url));
export const dataDir = join(here, "..", "data");

function required(name) {
  const value = process.env[name];
  if (!value) throw new Error(`${name} is not set (run the tests through ctest in build-web/)`);
  return value;
}

/** The directory with the built page. */
export const siteDir = () => required("SONDRAX_SITE");
/** The native program, whose output is the reference. */
export const nativeProgram = () => required("SONDRAX_NATIVE");

// ---- Files ------------------------------------------------------------------------------

export const GiB = 2 ** 30;

const le32 = (value) => {
  const bytes = Buffer.alloc(4);
  bytes.writeUInt32LE(value >>> 0);
  return bytes;
};

/** A chunk: id, size (the body's length unless given) and body, padded to even length. */
export function chunk(id, body, size = body.length) {
  const pad = body.length % 2 === 1 ? Buffer.alloc(1) : Buffer.alloc(0);
  return Buffer.concat([Buffer.from(id, "latin1"), le32(size), body, pad]);
}

/** A RIFF/WAVE file of these chunks, its RIFF size right. */
export function wave(...chunks) {
  const body = Buffer.concat([Buffer.from("WAVE"), ...chunks]);
  return Buffer.concat([Buffer.from("RIFF"), le32(body.length), body]);
}

/** A 16-byte PCM format body. */
export function pcmFormat({ channels = 2, rate = 44100, bits = 16, byteRate } = {}) {
  const body = Buffer.alloc(16);
  const block = (channels * bits) / 8;
  body.writeUInt16LE(1, 0);
  body.writeUInt16LE(channels, 2);
  body.writeUInt32LE(rate, 4);
  body.writeUInt32LE(byteRate ?? rate * block, 8);
  body.writeUInt16LE(block, 12);
  body.writeUInt16LE(bits, 14);
  return body;
}

/** An INFO list: [id, text bytes] pairs. */
export function infoList(items) {
  return chunk(
    "LIST",
    Buffer.concat([
      Buffer.from("INFO"),
      ...items.map(([id, text]) => chunk(id, Buffer.from(text))),
    ]),
  );
}

const sample = (name) => readFileSync(join(dataDir, name));

/**
 * The files every test reports on: the sample files of tests/data and generated bad ones,
 * as [name, bytes].
 */
export function testFiles() {
  const files = readdirSync(dataDir)
    .filter((name) => name.endsWith(".wav"))
    .sort()
    .map((name) => [name, sample(name)]);
  const pcm = sample("pcm16-stereo.wav");
  const withByte = (bytes, offset, values) => {
    const copy = Buffer.from(bytes);
    Buffer.from(values).copy(copy, offset);
    return copy;
  };
  // Every byte value but 0 in INFO texts, and texts that try to act on the display: line ends
  // that would start a made-up line, backspaces that would go back over the size.
  const everyByte = Array.from({ length: 255 }, (_, i) => i + 1);
  const items = [];
  for (let i = 0; i < everyByte.length; i += 36) items.push(["ICMT", everyByte.slice(i, i + 36)]);
  items.push(["INAM", Buffer.from('x\r\n    \xF9 "IART" size   : 5 [Fake]', "latin1")]);
  items.push(["IART", Buffer.from(`${"\b".repeat(30)}999`, "latin1")]);
  // "fmt ", JUNK chunks of two bytes and a data chunk declaring a second of samples: more
  // chunks than the run record keeps.
  const manyChunks = (junk) =>
    wave(
      chunk("fmt ", pcmFormat()),
      ...Array.from({ length: junk }, () => chunk("JUNK", Buffer.from("jj"))),
      chunk("data", Buffer.alloc(176400)),
    );
  files.push(
    ["junk-998.wav", manyChunks(998).subarray(0, 10240)],
    ["chunks-1200-cut.wav", manyChunks(1198).subarray(0, 188424 - 88200)],
    // Intact samples, then an INFO list whose item runs past the list's end, and a title in a
    // second list beyond the slices the report reads.
    [
      "info-malformed.wav",
      wave(
        chunk("fmt ", pcmFormat()),
        chunk("data", Buffer.alloc(20000)),
        chunk("LIST", Buffer.from("INFOINAM\xff\xff\xff\xff", "latin1")),
        chunk("JUNK", Buffer.alloc(40000)),
        infoList([["INAM", "take"]]),
      ),
    ],
    ["empty.wav", Buffer.alloc(0)],
    ["cut-in-riff-header.wav", pcm.subarray(0, 7)],
    ["cut-in-chunk-header.wav", pcm.subarray(0, 16)],
    ["cut-in-format.wav", pcm.subarray(0, 30)],
    ["byte-rate-0.wav", withByte(pcm, 28, [0, 0, 0, 0])],
    [
      "byte-rate-0-no-samples.wav",
      wave(chunk("fmt ", pcmFormat({ byteRate: 0 })), chunk("data", Buffer.alloc(0))),
    ],
    ["no-riff-id.wav", withByte(pcm, 0, [...Buffer.from("RIFX")])],
    ["not-wave.wav", withByte(pcm, 8, [...Buffer.from("AVI ")])],
    ["negative-format-size.wav", withByte(pcm, 16, [0, 0, 0, 0x80])],
    ["no-data.wav", wave(chunk("fmt ", pcmFormat()))],
    [
      "adpcm-without-fact.wav",
      (() => {
        const adpcm = sample("ima-adpcm.wav");
        // The 12-byte fact chunk after the 20-byte format body goes; the RIFF size follows.
        const cut = Buffer.concat([adpcm.subarray(0, 40), adpcm.subarray(52)]);
        cut.writeUInt32LE(cut.length - 8, 4);
        return cut;
      })(),
    ],
    [
      "control-bytes.wav",
      wave(chunk("fmt ", pcmFormat()), chunk("data", Buffer.alloc(8)), infoList(items)),
    ],
    // A recording cut off 34 bytes before the end of its samples, and an MP3 file.
    ["cut-off.wav", pcm.subarray(0, pcm.length - 34)],
    [
      "mp3.wav",
      Buffer.concat([Buffer.from("ID3\x04\0\0\0\0\0\x0a", "latin1"), Buffer.alloc(64, 0xff)]),
    ],
  );
  return files;
}

/** A temporary directory with the files written into it; returns its path. */
export function writeFiles(files) {
  const dir = mkdtempSync(join(tmpdir(), "sondrax-web-"));
  for (const [name, bytes] of files) writeFileSync(join(dir, name), bytes);
  return dir;
}

export const removeDir = (dir) => rmSync(dir, { recursive: true, force: true });

/**
 * A sparse file of `length` bytes: a PCM header whose data chunk runs up to an INFO list at the
 * end of the file. Nothing but the header and the list takes room on the disk.
 */
export function writeSparseWave(path, length) {
  const list = infoList([
    ["INAM", "Long recording"],
    ["ICMT", "sparse"],
  ]);
  const header = wave(chunk("fmt ", pcmFormat()), chunk("data", Buffer.alloc(0)));
  const dataSize = length - header.length - list.length;
  if (dataSize < 0 || dataSize > 0xffffffff) throw new Error(`no data chunk fits ${length} bytes`);
  header.writeUInt32LE((length - 8) >>> 0, 4);
  header.writeUInt32LE(dataSize >>> 0, header.length - 4);
  const fd = openSync(path, "w");
  try {
    writeSync(fd, header, 0, header.length, 0);
    writeSync(fd, list, 0, list.length, length - list.length);
    ftruncateSync(fd, length);
  } finally {
    closeSync(fd);
  }
}

// ---- The native program -----------------------------------------------------------------

/** The native program on `path` with both streams to pipes: the exact bytes and exit code. */
export function nativeExact(path) {
  const run = spawnSync(nativeProgram(), [path], { maxBuffer: 1 << 24 });
  if (run.error) throw run.error;
  return { exitCode: run.status, stdout: run.stdout, stderr: run.stderr };
}

/** The native program on `path` writing its report to /dev/full: every write fails. */
export function nativeFull(path) {
  const full = openSync("/dev/full", "w");
  try {
    const run = spawnSync(nativeProgram(), [path], { stdio: ["ignore", full, "pipe"] });
    if (run.error) throw run.error;
    return { exitCode: run.status, stdout: Buffer.alloc(0), stderr: run.stderr };
  } finally {
    closeSync(full);
  }
}

/** The native program on `path` with both streams on UTF-8 terminals: what a person sees. */
export function nativeShown(path) {
  const json = execFileSync("python3", [join(here, "terminal.py"), nativeProgram(), path], {
    maxBuffer: 1 << 24,
  });
  const { code, out, err } = JSON.parse(json);
  return { exitCode: code, stdout: Buffer.from(out, "base64"), stderr: Buffer.from(err, "base64") };
}

// ---- The module under node ----------------------------------------------------------------

/**
 * The module on the package's host (npm/run.js) with `host` as its platform (openInput,
 * inputSize, readInput, closeInput, by the id openInput gave); what it writes is collected,
 * except on a stream for which host.refuseWrite says yes: the write fails. report(name,
 * asShown) runs one report.
 */
export function loadModule(host) {
  return {
    async report(name, asShown = false) {
      const output = { 1: [], 2: [] };
      let id = null;
      const { exitCode } = await runReport(name, asShown, {
        input: {
          open: (opened) => {
            id = host.openInput(opened);
            return 1;
          },
          size: () => host.inputSize(id),
          read: (start, count) => host.readInput(id, start, count),
          close: () => host.closeInput(id),
        },
        write(stream, bytes) {
          if (host.refuseWrite?.(stream)) throw new Error("no room");
          output[stream].push(Buffer.from(bytes));
        },
      });
      if (id !== null) host.closeInput(id);
      return { exitCode, stdout: Buffer.concat(output[1]), stderr: Buffer.concat(output[2]) };
    },
  };
}

/**
 * A host that reads real files with node's fs; `reads` lists every read as [start, count,
 * delivered].
 */
export function fileHost() {
  const reads = [];
  return {
    reads,
    openInput: (name) => openSync(name, "r"),
    inputSize: (fd) => Number(fstatSync(fd, { bigint: true }).size),
    readInput(fd, start, count) {
      const bytes = Buffer.alloc(count);
      const got = readSync(fd, bytes, 0, count, BigInt(start));
      reads.push([start, count, got]);
      return bytes.subarray(0, got);
    },
    closeInput: (fd) => closeSync(fd),
  };
}

/** `text` with the full path `path` replaced by its file name, as the page names files. */
export const asNamedInPage = (bytes, path) =>
  Buffer.from(bytes.toString("latin1").split(path).join(basename(path)), "latin1");
