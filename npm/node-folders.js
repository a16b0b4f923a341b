// The host of sondrax-check under node: the files it reads, one open at a time or more, and the
// folders, lists and new files of src/platform/FoldersWeb.cc. Each function does one thing of
// node's and throws node's own error; the program decides what an error means. A path comes as
// text, or as its bytes where it is not UTF-8, and node takes either; names in a folder go back
// as bytes, so that a file named in Latin-1 is found again by its name.
import {
  closeSync,
  fsyncSync,
  linkSync,
  mkdirSync,
  openSync,
  readdirSync,
  readSync,
  statSync,
  unlinkSync,
} from "node:fs";
import { resolve, sep } from "node:path";

import { FileInput } from "./node-input.js";
import { write } from "./node-streams.js";

// FoldersWeb.cc's kinds; a symbolic link in a folder is 6, and the program follows it.
function kindOf(info) {
  if (info.isFile()) return 0;
  if (info.isDirectory()) return 1;
  if (info.isFIFO()) return 2;
  if (info.isCharacterDevice() || info.isBlockDevice()) return 3;
  if (info.isSocket()) return 4;
  return 5;
}

// Bytes as one character each: the path's separators and dots are ASCII, so that resolve() works
// on any bytes and they come back unchanged.
const latin1 = (path) => Buffer.from(path).toString("latin1");

const pause = new Int32Array(new SharedArrayBuffer(4));
let scratch = new Uint8Array(1 << 16);

// A list's bytes; standard input, which another program may have made non-blocking, is waited
// for a millisecond at a time.
function readList(fd, count) {
  if (scratch.length < count) scratch = new Uint8Array(count);
  for (;;) {
    try {
      return scratch.subarray(0, readSync(fd, scratch, 0, count, null));
    } catch (error) {
      if (error.code !== "EAGAIN") throw error;
      Atomics.wait(pause, 0, 0, 1);
    }
  }
}

// The file is closed whatever its flush said, and the first failure is the one told.
function finishNew(fd) {
  try {
    fsyncSync(fd);
  } finally {
    closeSync(fd);
  }
}

/** The module's host functions for the files and folders of one run of sondrax-check. */
export function folderHost() {
  const inputs = new Map(); // the program's open files by their ids
  let lastId = 0;
  return {
    openInput: (name) => {
      const input = new FileInput({ keep: false });
      input.open(name);
      inputs.set(++lastId, input);
      return lastId;
    },
    inputSize: (id) => inputs.get(id).size(),
    readInput: (id, start, count) => inputs.get(id).read(start, count),
    closeInput: (id) => {
      inputs.get(id)?.close();
      inputs.delete(id);
    },
    fullPath: (name) => Buffer.from(resolve(latin1(process.cwd()), latin1(name)), "latin1"),
    kindOf: (path) => kindOf(statSync(path)),
    listFolder: (path) =>
      readdirSync(path, { withFileTypes: true, encoding: "buffer" }).map((entry) => ({
        name: entry.name,
        kind: entry.isSymbolicLink() ? 6 : kindOf(entry),
      })),
    openList: (path) => openSync(path, "r"),
    readList,
    closeList: (fd) => closeSync(fd),
    makeFolder: (path) => mkdirSync(path, { recursive: true }),
    createNew: (path) => openSync(path, "wx", 0o666),
    writeAll: write,
    finishNew,
    link: (from, to) => linkSync(from, to),
    remove: (path) => unlinkSync(path),
    pathSeparator: sep,
  };
}
