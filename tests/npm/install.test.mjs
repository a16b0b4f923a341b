// The npm package, from the source tree (npm/, after the WebAssembly build) or as a user has
// it, installed from its tarball into an empty folder (tools/npm-check.sh sets
// SONDRAX_INSTALLED): its command line and report() on the example, the sample files and the
// bad files of the page's tests, against the native program, byte for byte; report() in
// Chromium from a bundle esbuild makes with no options; its types against a typed program.
import assert from "node:assert/strict";
import { execFileSync, spawnSync } from "node:child_process";
import { cpSync, mkdirSync, readFileSync, statSync, symlinkSync, writeFileSync } from "node:fs";
import { createServer } from "node:http";
import { createRequire } from "node:module";
import { join } from "node:path";
import { after, before, test } from "node:test";
import { fileURLToPath, pathToFileURL } from "node:url";

import {
  GiB,
  nativeExact,
  nativeProgram,
  removeDir,
  testFiles,
  writeFiles,
  writeSparseWave,
} from "../web/support.mjs";

const installed = process.env.SONDRAX_INSTALLED; // the folder the tarball was installed into
const packageDir = installed
  ? join(installed, "node_modules", "sondrax")
  : fileURLToPath(new URL("../../npm", import.meta.url));
const home = installed ?? packageDir; // where the commands run
const terminal = fileURLToPath(new URL("../web/terminal.py", import.meta.url));
const example = fileURLToPath(new URL("../../examples/example.wav", import.meta.url));
const testTools = fileURLToPath(new URL("../web/node_modules/.bin", import.meta.url));

const files = testFiles();
let dir;
before(() => {
  dir = writeFiles(files);
});
after(() => removeDir(dir));

// Bytes as text, so that a difference shows where it is.
const latin1 = (bytes) => Buffer.from(bytes).toString("latin1");
const readable = ({ exitCode, stdout, stderr }) => ({
  exitCode,
  stdout: latin1(stdout),
  stderr: latin1(stderr),
});

// Installed, the command is npx's; in the source tree, node's on cli.js.
const command = installed
  ? ["npx", "--offline", "--no", "sondrax"]
  : [process.execPath, join(packageDir, "cli.js")];
// npm draws a spinner on a terminal's standard error while it looks for the package, and erases
// it before the program starts; it is npm's, not the program's, so it is switched off.
const npxEnv = {
  ...process.env,
  npm_config_update_notifier: "false",
  npm_config_progress: "false",
};
// What the command line decides for a terminal shows in these: the glyphs, the file's control
// bytes, the fatal error text's letters, and a path.
const onTerminal = new Set([
  "example.wav",
  "control-bytes.wav",
  "byte-rate-0.wav",
  "a missing file",
]);

/** The package's command with ARGS, both streams to pipes. */
function cliExact(args) {
  const run = spawnSync(command[0], [...command.slice(1), ...args], { cwd: home, env: npxEnv });
  if (run.error) throw run.error;
  return { exitCode: run.status, stdout: run.stdout, stderr: run.stderr };
}

/** PROGRAM ARGS with both streams on UTF-8 terminals (terminal.py), from the command's folder. */
function onTerminals(program, args) {
  const json = execFileSync("python3", [terminal, program, ...args], {
    cwd: home,
    env: npxEnv,
    maxBuffer: 1 << 24,
  });
  const { code, out, err } = JSON.parse(json);
  return { exitCode: code, stdout: Buffer.from(out, "base64"), stderr: Buffer.from(err, "base64") };
}
const commandPath = () =>
  installed ? execFileSync("sh", ["-c", "command -v npx"]).toString().trim() : command[0];

// The verdict and reason of each kind of file, as "verdict: reason".
const verdicts = {
  "example.wav": /^ok: a sound WAVE file/,
  "adpcm-without-fact.wav": /^warning: no fact chunk/,
  "no-data.wav": /^problem: no data chunk/,
  "negative-format-size.wav": /^problem: cut off inside/,
  "no-riff-id.wav": /^not-wave: /,
  "not-wave.wav": /^not-wave: /,
  "cut-in-format.wav": /^problem: cut off inside the "fmt " chunk/,
  "byte-rate-0.wav": /^warning: the byte rate is 0/,
  "junk-998.wav": /^problem: cut off: 0\.00 s of 1\.00 s present/,
  "chunks-1200-cut.wav": /^problem: cut off: 0\.50 s of 1\.00 s present/,
  "info-malformed.wav": /^warning: malformed INFO list at byte 20,044/,
  "a missing file": /^unreadable: the file could not be opened: no such file$/,
  "a folder": /^unreadable: the file could not be opened: access denied, or not a regular file/,
};

const { report } = await import(pathToFileURL(join(packageDir, "index.js")));

test("the command and report() give the native program's bytes", async (t) => {
  const cases = [
    ["example.wav", example],
    ...files.map(([name]) => [name, join(dir, name)]),
    ["a missing file", join(dir, "missing.wav")],
    ["a folder", dir],
  ];
  for (const [label, path] of cases) {
    await t.test(label, async () => {
      const native = nativeExact(path);
      assert.deepEqual(readable(cliExact([path])), readable(native), "to pipes");
      const nativeShown = onTerminals(nativeProgram(), [path]);
      if (onTerminal.has(label)) {
        assert.deepEqual(
          readable(onTerminals(commandPath(), [...command.slice(1), path])),
          readable(nativeShown),
          "on terminals",
        );
      }

      const got = await report(path);
      if (verdicts[label]) assert.match(`${got.verdict}: ${got.reason}`, verdicts[label]);
      const utf8 = (bytes) => Buffer.from(bytes).toString("utf8");
      assert.deepEqual(
        { exitCode: got.exitCode, bytes: latin1(got.bytes), text: got.text, stderr: got.stderr },
        {
          exitCode: native.exitCode,
          bytes: latin1(native.stdout),
          text: utf8(nativeShown.stdout),
          stderr: utf8(nativeShown.stderr),
        },
      );
      if (label !== "a missing file" && label !== "a folder") {
        // The same file as bytes, as an ArrayBuffer and as a Blob, read slice by slice.
        const bytes = readFileSync(path);
        assert.equal(got.length, bytes.length);
        const buffer = bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.length);
        for (const input of [bytes, buffer, new Blob([bytes])]) {
          const other = await report(input);
          assert.deepEqual(
            [latin1(other.bytes), other.text, other.length, other.diagnosis],
            [latin1(got.bytes), got.text, bytes.length, got.diagnosis],
          );
        }
      }
    });
  }
});

test("report() gives the walk's chunks", async () => {
  const { chunks, length } = await report(example);
  assert.deepEqual(
    chunks.map(({ id, offset, size }) => [id, offset, size]),
    [
      ["RIFF", 0, 1208],
      ["fmt ", 12, 16],
      ["data", 36, 1102],
      ["LIST", 1146, 62],
    ],
  );
  assert.equal(length, 1216);
});

test("the command without an argument writes the syntax text", () => {
  const run = spawnSync(nativeProgram(), []);
  assert.deepEqual(
    readable(cliExact([])),
    readable({ exitCode: run.status, stdout: run.stdout, stderr: run.stderr }),
  );
});

// A folder where `sondrax` resolves to the package, as in a user's project.
let projectFolder = null;
function project() {
  if (projectFolder) return projectFolder;
  projectFolder = join(dir, "project");
  mkdirSync(join(projectFolder, "node_modules"), { recursive: true });
  symlinkSync(packageDir, join(projectFolder, "node_modules", "sondrax"));
  writeFileSync(join(projectFolder, "package.json"), '{"private": true, "type": "module"}');
  return projectFolder;
}

const testTool = (name) => {
  try {
    statSync(join(testTools, name));
    return join(testTools, name);
  } catch {
    return null;
  }
};

// In Chromium (Debian's, driven by playwright-core from tests/web/): a page that imports the
// package, bundled by esbuild with no options (which takes the "browser" entry), and report()
// on files chosen in an <input type="file">, a 3 GiB one among them, read slice by slice.
test("report() in a browser, from a bundle made with no options", async (t) => {
  let chromium;
  try {
    ({ chromium } = createRequire(new URL("../web/", import.meta.url))("playwright-core"));
  } catch {
    t.skip("playwright-core is not installed in tests/web/ (tools/install-deps.sh)");
    return;
  }
  const esbuild = testTool("esbuild");
  if (!esbuild) {
    t.skip("esbuild is not installed in tests/web/ (tools/install-deps.sh)");
    return;
  }
  const folder = project();
  writeFileSync(
    join(folder, "page.js"),
    'import { report } from "sondrax";\nwindow.report = report;\n',
  );
  execFileSync(esbuild, ["page.js", "--bundle", "--outfile=bundle.js", "--log-level=warning"], {
    cwd: folder,
  });
  const bundle = readFileSync(join(folder, "bundle.js"));
  const large = join(dir, "large.wav");
  writeSparseWave(large, 3 * GiB);
  const chosen = ["control-bytes.wav", "byte-rate-0.wav", "info-after-data.wav"]
    .map((name) => join(dir, name))
    .concat(large);
  const server = createServer((request, response) => {
    if (request.url === "/bundle.js") {
      response.setHeader("content-type", "text/javascript");
      response.end(bundle);
      return;
    }
    response.setHeader("content-type", "text/html");
    response.end(
      '<!doctype html><title>t</title><input type="file" multiple><script src="/bundle.js"></script>',
    );
  });
  await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
  const browser = await chromium.launch({
    executablePath: "/usr/bin/chromium",
    headless: true,
    args: ["--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking"],
  });
  try {
    const page = await browser.newPage();
    await page.goto(`http://127.0.0.1:${server.address().port}/`);
    await page.setInputFiles("input", chosen);
    const reports = await page.evaluate(async () => {
      const results = [];
      for (const file of document.querySelector("input").files) {
        const start = performance.now();
        const { bytes, text, exitCode, length, verdict } = await window.report(file);
        results.push({
          bytes: String.fromCharCode(...bytes),
          text,
          exitCode,
          length,
          verdict,
          milliseconds: performance.now() - start,
        });
      }
      return results;
    });
    for (const [i, path] of chosen.entries()) {
      const { milliseconds, ...got } = reports[i];
      const inNode = await report(path); // the same as the native program's (the test above)
      assert.deepEqual(
        got,
        {
          bytes: latin1(nativeExact(path).stdout),
          text: inNode.text,
          exitCode: inNode.exitCode,
          length: statSync(path).size,
          verdict: inNode.verdict,
        },
        path,
      );
      assert.ok(milliseconds < 2000, `${path}: ${milliseconds} ms`);
    }
  } finally {
    await browser.close();
    server.close();
  }
});

test("what is not a file is refused with a TypeError; require() loads the package", async () => {
  for (const input of [42, null, { path: example }, [1, 2]]) {
    await assert.rejects(report(input), {
      name: "TypeError",
      message:
        "report() takes a file path (under node), a Blob or File, a Uint8Array or Buffer, or an ArrayBuffer",
    });
  }
  const required = execFileSync(
    process.execPath,
    ["-e", 'process.stdout.write(typeof require("sondrax").report)'],
    { cwd: project() },
  );
  assert.equal(required.toString(), "function");
});

test("the types accept a typed program (tsc --noEmit --strict)", (t) => {
  const tsc = testTool("tsc");
  if (!tsc) {
    t.skip("typescript is not installed in tests/web/ (tools/install-deps.sh)");
    return;
  }
  const folder = project();
  cpSync(fileURLToPath(new URL("typed.mts", import.meta.url)), join(folder, "typed.mts"));
  const options = ["--strict", "--module", "nodenext", "--target", "es2022", "--lib", "es2022,dom"];
  execFileSync(tsc, ["--noEmit", ...options, "typed.mts"], { cwd: folder });
  // And the types are checked against something: a misuse fails.
  writeFileSync(join(folder, "wrong.mts"), 'import { report } from "sondrax";\nreport(42);\n');
  assert.throws(() => execFileSync(tsc, ["--noEmit", ...options, "wrong.mts"], { cwd: folder }));
});
