// node embed-wasm.mjs GLUE.js MODULE.wasm OUTPUT.js
// The program as one ES module: emscripten's glue, which exports the module's factory, and the
// WebAssembly code gzipped and in base64 as `wasmGzip`, which npm/run.js hands the factory.
// One file, so that any bundler takes the whole program without a rule for .wasm files; gzip,
// so that it costs about a third of the code's size. Level 9 and no time stamp: the same
// sources give the same bytes.
import { readFileSync, writeFileSync } from "node:fs";
import { gzipSync } from "node:zlib";

const [glue, wasm, output] = process.argv.slice(2);
const packed = gzipSync(readFileSync(wasm), { level: 9 }).toString("base64");
writeFileSync(output, `${readFileSync(glue, "utf8")}\nexport const wasmGzip =\n  "${packed}";\n`);
