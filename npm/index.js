// report(input): the Sondrax report on a WAVE file and its diagnosis, computed by the program
// itself in WebAssembly. This entry is node's, where a file is also named by its path; bundlers
// for browsers take browser.js. See index.d.ts and README.md.
import { resolve } from "node:path";

import { FileInput } from "./node-input.js";
import { reportOn } from "./report.js";

// The program names its file by the full path, as the command line does.
export const report = reportOn(async (path) => ({
  name: path === "" ? "" : resolve(path),
  source: new FileInput(),
}));
