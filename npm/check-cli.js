#!/usr/bin/env node
// `sondrax-check [OPTION]... FILE|FOLDER...` under node: the lines, counts and exit status of the
// native sondrax-check, made by the same program compiled to WebAssembly. It judges one file at
// a time: the module has no threads, and --jobs is taken but changes nothing.
import { folderHost } from "./node-folders.js";
import { charset, streamKind, write } from "./node-streams.js";
import SondraxModule from "./sondrax-core.js";

const terminalCharset = charset();
const module = await SondraxModule({
  ...folderHost(),
  checkArguments: () => process.argv.slice(2),
  writeOutput: write,
  streamKind,
  terminalCharset: () => terminalCharset,
});
process.exitCode = module.ccall("SondraxCheck", "number", [], []);
