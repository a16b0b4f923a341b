// The npm package's figures (bench/npm.sh runs this in the folder the tarball was installed
// into): report() on small files in one process, on a 3 GiB sparse file, and the cost of one
// `npx sondrax` call against node's own start-up. Prints figures; asserts nothing.
import { execFileSync } from "node:child_process";
import {
  closeSync,
  ftruncateSync,
  mkdtempSync,
  openSync,
  readFileSync,
  rmSync,
  writeSync,
} from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { pathToFileURL } from "node:url";

const [installed, dataDir] = process.argv.slice(2);
const { report } = await import(pathToFileURL(join(installed, "node_modules/sondrax/index.js")));
const median = (values) => values.sort((a, b) => a - b)[Math.floor(values.length / 2)];

// Small files: the sample files of the tests, round after round, for about 3 s a round.
const small = ["alaw.wav", "pcm16-stereo.wav", "info-after-data.wav", "ima-adpcm.wav"].map((name) =>
  join(dataDir, name),
);
const rates = [];
for (let round = 0; round < 3; round += 1) {
  const start = performance.now();
  let count = 0;
  while (performance.now() - start < 3000) {
    await report(small[count % small.length]);
    count += 1;
  }
  rates.push(count / ((performance.now() - start) / 1000));
}
const bytes = small.map((path) => readFileSync(path));
const start = performance.now();
let count = 0;
while (performance.now() - start < 3000) {
  await report(bytes[count % bytes.length]);
  count += 1;
}
console.log(
  `report() on small files:  ${Math.round(median(rates))} per second from paths ` +
    `(rounds: ${rates.map(Math.round).join(", ")}), ` +
    `${Math.round(count / ((performance.now() - start) / 1000))} per second from bytes`,
);

// A 3 GiB sparse file: a PCM header, a data chunk up to an INFO list at the end.
const dir = mkdtempSync(join(tmpdir(), "sondrax-bench-"));
try {
  const path = join(dir, "long.wav");
  const length = 3 * 2 ** 30;
  const le32 = (value) => {
    const b = Buffer.alloc(4);
    b.writeUInt32LE(value >>> 0);
    return b;
  };
  const format = Buffer.from("0100020044ac000010b1020004001000", "hex");
  const list = Buffer.concat([
    Buffer.from("LIST"),
    le32(14),
    Buffer.from("INFOINAM"),
    le32(2),
    Buffer.from("x\0"),
  ]);
  const header = Buffer.concat([
    Buffer.from("RIFF"),
    le32(length - 8),
    Buffer.from("WAVEfmt "),
    le32(16),
    format,
    Buffer.from("data"),
    le32(length - 44 - list.length),
  ]);
  const fd = openSync(path, "w");
  writeSync(fd, header, 0, header.length, 0);
  writeSync(fd, list, 0, list.length, length - list.length);
  ftruncateSync(fd, length);
  closeSync(fd);
  const times = [];
  for (let i = 0; i < 20; i += 1) {
    const t = performance.now();
    await report(path);
    times.push(performance.now() - t);
  }
  console.log(`report() on a 3 GiB sparse file: ${median(times).toFixed(2)} ms (median of 20)`);
} finally {
  rmSync(dir, { recursive: true, force: true });
}

// One call of npx sondrax, of the installed program straight, and of node doing nothing.
function perCall(argv, runs = 10) {
  const times = [];
  for (let i = 0; i < runs; i += 1) {
    const t = performance.now();
    execFileSync(argv[0], argv.slice(1), { cwd: installed, stdio: "ignore" });
    times.push(performance.now() - t);
  }
  return median(times);
}
const file = small[0];
const bare = perCall([process.execPath, "-e", ""]);
const bin = perCall([join(installed, "node_modules/.bin/sondrax"), file]);
const npx = perCall(["npx", "--offline", "--no", "sondrax", file]);
console.log(
  `one call: node -e "" ${bare.toFixed(1)} ms, node_modules/.bin/sondrax ` +
    `${bin.toFixed(1)} ms, npx sondrax ${npx.toFixed(1)} ms (medians of 10)`,
);
