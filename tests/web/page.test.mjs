// The page in Chromium (Debian's /usr/bin/chromium, headless, driven by playwright-core),
// served from 127.0.0.1: the reports shown, copied and saved for chosen, dropped and linked
// files, against the native program's output; a 3 GiB file; no request outside the page.
import assert from "node:assert/strict";
import { createReadStream, readFileSync, statSync } from "node:fs";
import { createServer } from "node:http";
import { extname, join } from "node:path";
import { after, before, test } from "node:test";

import { chromium } from "playwright-core";

import {
  GiB, asNamedInPage, nativeExact, nativeShown, removeDir, siteDir, testFiles, writeFiles,
  writeSparseWave,
} from "./support.mjs";

const files = testFiles();
const largeName = "three-gib.wav";
let filesDir;
let server;
let origin;
let browser;
const requests = []; // every URL the server was asked for
const foreign = []; // every URL a page asked for outside its origin

const types = {
  ".html": "text/html; charset=utf-8",
  ".js": "text/javascript",
  ".css": "text/css",
  ".wav": "audio/wav",
};

// The built page at /, the test files at /files/.
function serve(request, response) {
  requests.push(request.url);
  const path = decodeURIComponent(new URL(request.url, "http://x").pathname);
  const file = path.startsWith("/files/")
    ? join(filesDir, path.slice("/files/".length))
    : join(siteDir(), path === "/" ? "index.html" : path.slice(1));
  let size;
  try {
    size = statSync(file).isFile() ? statSync(file).size : -1;
  } catch {
    size = -1;
  }
  if (size < 0 || path.includes("..")) {
    response.writeHead(404).end();
    return;
  }
  response.writeHead(200, {
    "Content-Type": types[extname(file)] ?? "application/octet-stream",
    "Content-Length": size,
  });
  createReadStream(file).pipe(response);
}

before(async () => {
  filesDir = writeFiles(files);
  writeSparseWave(join(filesDir, largeName), 3 * GiB);
  server = createServer(serve);
  await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
  origin = `http://127.0.0.1:${server.address().port}`;
  browser = await chromium.launch({
    executablePath: "/usr/bin/chromium",
    headless: true,
    // playwright-core gives each launch a fresh profile directory of its own.
    args: [
      "--no-sandbox", // root may not use Chromium's sandbox
      "--disable-gpu",
      "--disable-quic",
      "--no-first-run",
      "--disable-background-networking",
      "--disable-component-update",
      "--disable-sync",
    ],
  });
});

after(async () => {
  await browser?.close();
  server?.close();
  removeDir(filesDir);
});

// A page of its own context; a request outside the page's origin is noted and refused, and
// errors of the page's scripts fail the test, but for those that `expected` matches.
async function openPage(t, query = "", expected = /^$/) {
  const context = await browser.newContext({ acceptDownloads: true });
  await context.grantPermissions(["clipboard-read", "clipboard-write"], { origin });
  await context.route("**/*", (route) => {
    const url = route.request().url();
    if (url.startsWith(`${origin}/`)) return route.continue();
    foreign.push(url);
    return route.abort();
  });
  const page = await context.newPage();
  const errors = [];
  page.on("pageerror", (error) => errors.push(String(error)));
  page.on("console", (message) => {
    if (message.type() === "error" && !expected.test(message.text())) {
      errors.push(message.text());
    }
  });
  t.after(async () => {
    await context.close();
    assert.deepEqual(errors, []);
  });
  await page.goto(`${origin}/${query}`);
  return page;
}

// What a console shows for a UTF-8 terminal's bytes: lines at CR LF, and each backspace takes
// back the character before it.
function shownText(bytes) {
  return bytes
    .toString("utf8")
    .split("\r\n")
    .map((line) => {
      while (/[^\x08]\x08/u.test(line)) line = line.replace(/[^\x08]\x08/u, "");
      return line;
    })
    .join("\n");
}

const errorLines = (text) => text.split("\n").filter((line) => line.includes("*ERROR*: "));

/** What the page shows for the report of the file at `path`, read from its article. */
async function shownReport(article) {
  await article.locator(":scope[data-state=done]").waitFor();
  const fatal = article.locator("pre.fatal");
  return {
    exitCode: Number(await article.getAttribute("data-exit-code")),
    stdout: await article.locator("pre.text").textContent(),
    stderr: (await fatal.count()) > 0 ? await fatal.textContent() : "",
    errors: await article.locator("pre.text .error").allTextContents(),
  };
}

/** The native program's report on `path` as the page must show it. */
function expectedReport(path, nameInPage = (bytes) => bytes) {
  const native = nativeShown(path);
  const stdout = shownText(nameInPage(native.stdout));
  return {
    exitCode: native.exitCode,
    stdout,
    stderr: shownText(native.stderr),
    errors: errorLines(stdout),
  };
}

test("each chosen file's report is shown, copied and saved as the native program gives it",
  async (t) => {
    const page = await openPage(t);
    await page.setInputFiles("#files", files.map(([name]) => join(filesDir, name)));
    const articles = page.locator("article.report");
    await page.waitForFunction((count) => document.querySelectorAll(
      "article.report[data-state=done]").length === count, files.length);
    assert.equal(await articles.count(), files.length);

    for (let i = 0; i < files.length; i++) {
      const [name] = files[i];
      const path = join(filesDir, name);
      await t.test(name, async () => {
        const article = articles.nth(i);
        assert.equal(await article.locator("h2").textContent(), name);
        const shown = await shownReport(article);
        const expected = expectedReport(path);
        assert.deepEqual(shown, expected);

        await article.locator("button.copy").click();
        await article.locator("output", { hasText: "Copied." }).waitFor();
        const copied = await page.evaluate(() => navigator.clipboard.readText());
        assert.equal(copied, expected.stdout + expected.stderr);

        const [download] = await Promise.all([
          page.waitForEvent("download"),
          article.locator("button.save").click(),
        ]);
        assert.equal(download.suggestedFilename(), `${name}.txt`);
        const saved = readFileSync(await download.path());
        assert.equal(saved.toString("latin1"), nativeExact(path).stdout.toString("latin1"));
      });
    }
  });

test("?file= reports files of the page's own site and nothing from elsewhere", async (t) => {
  const links = ["files/info-after-data.wav", "files/no-riff-id.wav",
    "http://example.invalid/elsewhere.wav", "files/missing.wav"];
  const query = `?${links.map((link) => `file=${encodeURIComponent(link)}`).join("&")}`;
  const page = await openPage(t, query, /404 \(Not Found\)/);
  const articles = page.locator("article.report");
  for (const [i, name] of [[0, "info-after-data.wav"], [1, "no-riff-id.wav"]]) {
    assert.deepEqual(await shownReport(articles.nth(i)), expectedReport(join(filesDir, name)));
  }
  const refused = articles.nth(2);
  await refused.locator(":scope[data-state=failed]").waitFor();
  assert.match(await refused.textContent(), /Only files from this page's own site/);
  const missing = articles.nth(3);
  await missing.locator(":scope[data-state=failed]").waitFor();
  assert.match(await missing.textContent(), /could not be fetched: 404/);
  assert.deepEqual(foreign, []);
});

test("a file dropped on the page is reported", async (t) => {
  const page = await openPage(t);
  const name = "ima-adpcm.wav";
  const bytes = [...readFileSync(join(filesDir, name))];
  await page.evaluate(([name, bytes]) => {
    const transfer = new DataTransfer();
    transfer.items.add(new File([new Uint8Array(bytes)], name));
    const target = document.getElementById("drop");
    target.dispatchEvent(new DragEvent("dragover", { dataTransfer: transfer, bubbles: true }));
    target.dispatchEvent(new DragEvent("drop", { dataTransfer: transfer, bubbles: true }));
  }, [name, bytes]);
  const article = page.locator("article.report").first();
  assert.equal(await article.locator("h2").textContent(), name);
  assert.deepEqual(await shownReport(article), expectedReport(join(filesDir, name)));
});

test("once loaded the page needs no network", async (t) => {
  const page = await openPage(t);
  await page.locator("#loading").waitFor({ state: "hidden" });
  await page.context().setOffline(true);
  const asked = requests.length;
  const name = "six-channels.wav";
  await page.setInputFiles("#files", join(filesDir, name));
  const article = page.locator("article.report").first();
  assert.deepEqual(await shownReport(article), expectedReport(join(filesDir, name)));
  assert.equal(requests.length, asked);
});

test("a 3 GiB file is reported in under 2 s, reading only what the report needs", async (t) => {
  const page = await openPage(t);
  await page.locator("#loading").waitFor({ state: "hidden" });
  const path = join(filesDir, largeName);
  const start = performance.now();
  await page.setInputFiles("#files", path);
  const article = page.locator("article.report").first();
  const shown = await shownReport(article);
  const seconds = (performance.now() - start) / 1000;
  t.diagnostic(`reported in ${seconds.toFixed(3)} s`);
  assert.ok(seconds < 2, `${seconds} s`);
  // The page names the file without a directory: a browser never tells where a file lies.
  assert.deepEqual(shown, expectedReport(path, (bytes) => asNamedInPage(bytes, path)));
  const read = Number(await article.getAttribute("data-bytes-read"));
  assert.ok(read <= 4 * 2 ** 20, `${read} bytes read`);
  if (process.env.SONDRAX_SCREENSHOT) {
    await page.setInputFiles("#files", join(filesDir, "info-after-data.wav"));
    await page.locator("article.report[data-state=done]").nth(1).waitFor();
    await page.screenshot({ path: process.env.SONDRAX_SCREENSHOT, fullPage: true });
  }
});

test("a page that cannot load the program says so for every file", async (t) => {
  const context = await browser.newContext();
  t.after(() => context.close());
  await context.route("**/sondrax.js", (route) => route.abort());
  const page = await context.newPage();
  await page.goto(`${origin}/?file=files/pcm16-stereo.wav`);
  await page.locator("#loading.failure").waitFor();
  const article = page.locator("article.report").first();
  await article.locator(":scope[data-state=failed]").waitFor();
  assert.match(await article.textContent(), /could not be loaded/);
});

test("a file the program fails on is marked, and the next file gets a fresh worker",
  async (t) => {
    // No service worker: its fetches of the program would count as loads.
    const context = await browser.newContext({ serviceWorkers: "block" });
    t.after(() => context.close());
    // The first worker's program stops on every file, as a WebAssembly trap would stop it.
    let loads = 0;
    await context.route("**/sondrax.js", (route) => {
      if (loads++ > 0) return route.continue();
      return route.fulfill({
        contentType: "text/javascript",
        body: "function SondraxModule() { return { ccall() { throw new Error('trapped'); } }; }",
      });
    });
    const page = await context.newPage();
    await page.goto(`${origin}/`);
    const names = ["pcm8-mono-odd.wav", "alaw.wav"];
    await page.setInputFiles("#files", names.map((name) => join(filesDir, name)));
    const articles = page.locator("article.report");
    await articles.nth(0).locator(":scope[data-state=failed]").waitFor();
    assert.match(await articles.nth(0).textContent(), /program failed on this file: Error: trapped/);
    assert.deepEqual(await shownReport(articles.nth(1)), expectedReport(join(filesDir, names[1])));
    assert.equal(loads, 2);
  });

test("no page asked for anything outside its origin", () => {
  assert.deepEqual(foreign, []);
});
