// The standard streams under node as the program looks at them: what each one is, the
// environment that names the terminal's character set, and writes straight to the descriptor.
// node's errors go to the program as they are thrown: it makes its own error numbers of them.
import { fstatSync, writeSync } from "node:fs";
import { isatty } from "node:tty";

/** 0 a file or a pipe, 1 another character device, 2 a terminal (PlatformWeb.cc's streamKind). */
export function streamKind(fd) {
  const info = fstatSync(fd);
  if (!info.isCharacterDevice()) return 0;
  return isatty(fd) ? 2 : 1;
}

/** An environment variable's value, "" when unset: the program reads the locale's from it. */
export const environment = (name) => process.env[name] ?? "";

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
      if (error.code !== "EAGAIN") throw error;
      Atomics.wait(pause, 0, 0, 1);
    }
  }
}
