// The standard streams under node as the program looks at them: what each one is, the
// character set of the terminal, and writes straight to the descriptor.
import { fstatSync, writeSync } from "node:fs";
import { isatty } from "node:tty";

import { programError } from "./node-input.js";

/** 0 a file or a pipe, 1 another character device, 2 a terminal (PlatformWeb.cc's streamKind). */
export function streamKind(fd) {
  let info;
  try {
    info = fstatSync(fd);
  } catch (error) {
    throw programError(error);
  }
  if (!info.isCharacterDevice()) return 0;
  return isatty(fd) ? 2 : 1;
}

/** The first of LC_ALL, LC_CTYPE and LANG that is set and not empty decides, as in C. */
export function charset() {
  for (const name of ["LC_ALL", "LC_CTYPE", "LANG"]) {
    const value = process.env[name];
    if (value) return /utf-?8/i.test(value) ? "utf-8" : "other";
  }
  return "other";
}

const pause = new Int32Array(new SharedArrayBuffer(4));

/**
 * All of `bytes` to descriptor `fd`, as the program's own writes: node's process.stdout would
 * make a pipe non-blocking and buffer what it cannot take. A descriptor another program made
 * non-blocking is waited for a millisecond at a time while it is full.
 */
export function write(fd, bytes) {
  let done = 0;
  while (done < bytes.length) {
    try {
      done += writeSync(fd, bytes, done);
    } catch (error) {
      if (error.code !== "EAGAIN") throw programError(error);
      Atomics.wait(pause, 0, 0, 1);
    }
  }
}
