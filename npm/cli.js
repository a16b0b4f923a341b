#!/usr/bin/env node
// `sondrax FILE` under node: what the Linux program writes, byte for byte, to the same standard
// output and error, with its exit code. Each stream is looked at as the program looks at it:
// a file or a pipe gets the exact code page 437 bytes, a terminal what it should show in the
// character set the locale names.
import { resolve } from "node:path";

import { FileInput } from "./node-input.js";
import { environment, streamKind, write } from "./node-streams.js";
import { runReport } from "./run.js";

// Only the first argument counts; none, or an empty one, gives the syntax text.
const [argument = ""] = process.argv.slice(2);

const name = argument === "" ? "" : resolve(argument);
const input = new FileInput({ keep: false });
try {
  ({ exitCode: process.exitCode } = await runReport(name, false, {
    input,
    write,
    streamKind,
    environment,
  }));
} finally {
  input.close();
}
