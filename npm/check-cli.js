#!/usr/bin/env node
// `sondrax-check [OPTION]... FILE|FOLDER...` under node: the lines, counts and exit status of the
// native sondrax-check, made by the same program compiled to WebAssembly. It judges one file at
// a time: the module has no threads, and --jobs is taken but changes nothing.
import { folderHost } from "./node-folders.js";
import { environment, streamKind, write } from "./node-streams.js";
import { runCheck } from "./run.js";

process.exitCode = await runCheck(process.argv.slice(2), {
  ...folderHost(),
  writeOutput: write,
  streamKind,
  environment,
});
