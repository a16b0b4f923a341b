// The npm package's sondrax-check against the native one: the same lines, the same standard
// error and the same exit status, on one tree of files, from the source tree (npm/, after the
// WebAssembly build) or as installed from its tarball (SONDRAX_INSTALLED, tools/npm-check.sh).
import assert from "node:assert/strict";
import { execFileSync, spawnSync } from "node:child_process";
import { mkdirSync, readFileSync, rmSync, symlinkSync, writeFileSync } from "node:fs";
import { join } from "node:path";
import { after, before, test } from "node:test";
import { fileURLToPath } from "node:url";

import { chunk, pcmFormat, removeDir, wave, writeFiles } from "../web/support.mjs";

const native = process.env.SONDRAX_NATIVE_CHECK;
const packageDir = process.env.SONDRAX_INSTALLED
  ? join(process.env.SONDRAX_INSTALLED, "node_modules", "sondrax")
  : fileURLToPath(new URL("../../npm", import.meta.url));
if (!native) throw new Error("SONDRAX_NATIVE_CHECK is not set");
// Installed, the command is the bin npm linked (what npx runs); in the source tree, the script.
const npm = process.env.SONDRAX_INSTALLED
  ? [join(process.env.SONDRAX_INSTALLED, "node_modules", ".bin", "sondrax-check")]
  : [process.execPath, join(packageDir, "check-cli.js")];
const terminal = fileURLToPath(new URL("../web/terminal.py", import.meta.url));
const example = readFileSync(fileURLToPath(new URL("../../examples/example.wav", import.meta.url)));

// A take whose sizes were never written: its only fault, so a repaired copy is made.
const unfinished = wave(chunk("fmt ", pcmFormat()), chunk("data", Buffer.alloc(4000, 7), 0));
unfinished.writeUInt32LE(0, 4);

let dir;
before(() => {
  dir = writeFiles([
    ["good.wav", example],
    ["unfinished.wav", unfinished],
    ["byte-rate-0.WAV", wave(chunk("fmt ", pcmFormat({ byteRate: 0 })), chunk("data", example))],
    ["notes.txt", Buffer.from("not taken from a folder without --all")],
  ]);
  mkdirSync(join(dir, "sub", "deep"), { recursive: true });
  writeFileSync(join(dir, "sub", "cut.wav"), example.subarray(0, 600));
  writeFileSync(join(dir, "sub", "deep", "text.wave"), "RIFX, not a sound");
  symlinkSync(join(dir, "vanished.wav"), join(dir, "sub", "gone.wav"));
  // A name in Latin-1, not UTF-8: found and opened by its bytes.
  writeFileSync(
    Buffer.concat([Buffer.from(join(dir, "sub", "caf")), Buffer.from("e92e776176", "hex")]),
    example,
  );
  writeFileSync(join(dir, "list0"), "good.wav\0sub/cut.wav\0missing.wav\0");
});
after(() => removeDir(dir));

function run(command, args, input) {
  const result = spawnSync(command[0], [...command.slice(1), ...args], { cwd: dir, input });
  if (result.error) throw result.error;
  // Bytes as text one for one, so that a difference in any byte shows.
  const text = (bytes) => bytes.toString("latin1");
  return { status: result.status, stdout: text(result.stdout), stderr: text(result.stderr) };
}

// [label, arguments, standard input, exit status]
const cases = [
  ["a folder walked, a missing file, a dangling link", [".", "missing.wav"], "", 1],
  ["JSON Lines", ["--json", "."], "", 1],
  ["--fail-on warning", ["--fail-on", "warning", "byte-rate-0.WAV"], "", 1],
  ["--fail-on not-wave passes a problem", ["--fail-on=not-wave", "sub/cut.wav"], "", 0],
  ["--files-from - -0", ["--files-from", "-", "-0"], "good.wav\0sub/cut.wav\0", 1],
  ["--files-from a file -0, a name missing", ["-0", "--files-from", "list0"], "", 1],
  ["--files-from a folder", ["--files-from", "sub"], "", 1],
  ["--jobs taken", ["-j", "3", "good.wav", "sub"], "", 1],
  ["a usage error", ["--jobs", "0", "good.wav"], "", 2],
];

test("npm's sondrax-check gives the native lines, errors and exit status", async (t) => {
  for (const [label, args, input, status] of cases) {
    await t.test(label, () => {
      const expected = run([native], args, input);
      assert.equal(expected.status, status);
      assert.deepEqual(run(npm, args, input), expected);
    });
  }
});

test("npm's sondrax-check draws the native table on a terminal", () => {
  const onTerminal = (command) =>
    execFileSync("python3", [terminal, ...command, "."], { cwd: dir }).toString();
  assert.deepEqual(JSON.parse(onTerminal(npm)), JSON.parse(onTerminal([native])));
});

test("npm's sondrax-check repairs into a copy, never over a file or the original", () => {
  const args = ["--repair-to", "out", "unfinished.wav", "good.wav"];
  const runs = [];
  for (const command of [[native], npm]) {
    rmSync(join(dir, "out"), { recursive: true, force: true });
    const first = run(command, args);
    assert.match(first.stdout, /^problem\tunfinished\.wav\t.*repaired copy: out\/unfinished\.wav/);
    assert.equal(run(command, ["out"]).stdout.split("\t")[0], "ok");
    const again = run(command, args);
    assert.match(again.stdout, /out\/unfinished\.wav exists already and is kept/);
    assert.deepEqual(readFileSync(join(dir, "unfinished.wav")), unfinished);
    runs.push([first, again]);
  }
  assert.deepEqual(runs[1], runs[0]);
});
