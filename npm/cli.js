#!/usr/bin/env node
// `sondrax FILE` under node: what the Linux program writes, byte for byte, to the same standard
// output and error, with its exit code. Each stream is looked at as the program looks at it:
// a file or a pipe gets the exact code page 437 bytes, a terminal what it should show in the
// character set the locale names.
import { fstatSync, writeSync } from "node:fs";
import { resolve } from "node:path";
import { isatty } from "node:tty";

import { FileInput } from "./node-input.js";
import { runReport } from "./run.js";

// Only the first argument counts; none, or an empty one, gives the syntax text.
const [argument = ""] = process.argv.slice(2);

function streamKind(fd) {
  const info = fstatSync(fd);
  if (!info.isCharacterDevice()) return 0;
  return isatty(fd) ? 2 : 1;
}

// Straight to the descriptor, as the program's own writes: node's process.stdout would make a
// pipe non-blocking and buffer what it cannot take.
function write(fd, bytes) {
  let done = 0;
  while (done < bytes.length) {
    try {
      done += writeSync(fd, bytes, done);
    } catch (error) {
      if (error.code !== "EAGAIN") throw error;
    }
  }
}

const name = argument === "" ? "" : resolve(argument);
const input = new FileInput({ keep: false });
try {
  ({ exitCode: process.exitCode } = await runReport(name, false, {
    input,
    write,
    streamKind,
    environment: (variable) => process.env[variable] ?? "",
  }));
} finally {
  input.close();
}
