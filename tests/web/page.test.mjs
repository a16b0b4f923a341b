// The page in Chromium (Debian's /usr/bin/chromium, headless, driven by playwright-core),
// served from 127.0.0.1: the reports shown, copied and saved for chosen, dropped and linked
// files, against the native program's output; a 3 GiB file; no request outside the page.
import assert from "node:assert/strict";
import { copyFileSync, createReadStream, readdirSync, readFileSync, statSync } from "node:fs";
import { createServer } from "node:http";
import { createRequire } from "node:module";
import { extname, join } from "node:path";
import { after, before, test } from "node:test";

import { chromium } from "playwright-core";

import {
  asNamedInPage,
  GiB,
  nativeExact,
  nativeShown,
  removeDir,
  siteDir,
  testFiles,
  writeFiles,
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
let serverDown = false; // the server drops every connection, as an unreachable one would

const types = {
  ".html": "text/html; charset=utf-8",
  ".js": "text/javascript",
  ".css": "text/css",
  ".wav": "audio/wav",
};

// The built page at /, the test files at /files/ (a folder's listing at /files/ itself), and
// at /slow.wav half a file whose rest never comes.
function serve(request, response) {
  if (serverDown) {
    request.socket.destroy();
    return;
  }
  requests.push(request.url);
  const path = decodeURIComponent(new URL(request.url, "http://x").pathname);
  if (path === "/files/") {
    response.writeHead(200, { "Content-Type": "text/html" });
    response.end(
      readdirSync(filesDir)
        .map((name) => `<a href="${name}">${name}</a>`)
        .join("\n"),
    );
    return;
  }
  if (path === "/slow.wav") {
    response.writeHead(200, { "Content-Type": "audio/wav", "Content-Length": 2000 });
    response.write(Buffer.alloc(1000));
    return;
  }
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
      // biome-ignore lint/suspicious/noControlCharactersInRegex: a backspace is the overstrike
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

// The verdict line of a few files: the diagnosis's verdict and reason.
const verdicts = {
  "pcm16-stereo.wav": [
    "ok",
    /^OK: a sound WAVE file: PCM 16-bit, 2 channels, 44,100 Hz, 0\.10 s\.$/,
  ],
  "cut-off.wav": ["problem", /^Problem: cut off: /],
  "empty.wav": ["problem", /^Problem: the file is empty\.$/],
  "mp3.wav": ["not-wave", /^Not a WAVE file: .* looks like an MP3 file/],
  "junk-998.wav": ["problem", /^Problem: cut off: 0\.00 s of 1\.00 s present \(1\.00 s missing\)/],
  "chunks-1200-cut.wav": ["problem", /^Problem: cut off: 0\.50 s of 1\.00 s present/],
};

test("each chosen file's report is shown, copied and saved as the native program gives it", async (t) => {
  const page = await openPage(t);
  await page.setInputFiles(
    "#files",
    files.map(([name]) => join(filesDir, name)),
  );
  const articles = page.locator("article.report");
  await page.waitForFunction(
    (count) => document.querySelectorAll("article.report[data-state=done]").length === count,
    files.length,
  );
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

      if (verdicts[name] === undefined) return;
      const [verdict, reason] = verdicts[name];
      assert.equal(await article.getAttribute("data-verdict"), verdict);
      assert.match(await article.locator(".verdict").textContent(), reason);
    });
  }
  // The table has a row per file, with its verdict.
  assert.equal(await page.locator("#table tbody tr[data-verdict]").count(), files.length);
  const good = articles.nth(files.findIndex(([name]) => name === "pcm16-stereo.wav"));
  const [utf8] = await Promise.all([
    page.waitForEvent("download"),
    good.locator("button.save-utf8").click(),
  ]);
  const text = new TextDecoder("utf-8", { fatal: true }).decode(readFileSync(await utf8.path()));
  assert.ok(text.includes("\u2550".repeat(7)) && text.includes("\r\n"), text);
});

test("?file= reports files of the page's own site and nothing from elsewhere", async (t) => {
  const links = [
    "files/info-after-data.wav",
    "files/no-riff-id.wav",
    "http://example.invalid/elsewhere.wav",
    "files/missing.wav",
    "files/",
    "slow.wav",
  ];
  const query = `?${links.map((link) => `file=${encodeURIComponent(link)}`).join("&")}`;
  const page = await openPage(t, query, /404 \(Not Found\)/);
  const articles = page.locator("article.report");
  for (const [i, name] of [
    [0, "info-after-data.wav"],
    [1, "no-riff-id.wav"],
  ]) {
    assert.deepEqual(await shownReport(articles.nth(i)), expectedReport(join(filesDir, name)));
  }
  const refused = articles.nth(2);
  await refused.locator(":scope[data-state=failed]").waitFor();
  assert.match(await refused.textContent(), /Only files from this page's own site/);
  const missing = articles.nth(3);
  await missing.locator(":scope[data-state=failed]").waitFor();
  assert.match(await missing.textContent(), /could not be fetched: 404/);
  const listing = articles.nth(4);
  await listing.locator(":scope[data-state=failed]").waitFor();
  assert.match(await listing.textContent(), /Not a WAVE file: the link gives a web page/);
  const slow = articles.nth(5);
  await slow.locator(".facts", { hasText: "Fetching… 1,000 bytes of 2,000 bytes" }).waitFor();
  await slow.locator("button.cancel").click();
  await slow.locator(":scope[data-state=failed]").waitFor();
  assert.match(await slow.textContent(), /Cancelled/);
  assert.deepEqual(foreign, []);
});

test("a file dropped on the page is reported", async (t) => {
  const page = await openPage(t);
  const name = "ima-adpcm.wav";
  const bytes = [...readFileSync(join(filesDir, name))];
  await page.evaluate(
    ([name, bytes]) => {
      const transfer = new DataTransfer();
      transfer.items.add(new File([new Uint8Array(bytes)], name));
      const target = document.getElementById("drop");
      target.dispatchEvent(new DragEvent("dragover", { dataTransfer: transfer, bubbles: true }));
      target.dispatchEvent(new DragEvent("drop", { dataTransfer: transfer, bubbles: true }));
    },
    [name, bytes],
  );
  const article = page.locator("article.report").first();
  assert.equal(await article.locator("h2").textContent(), name);
  assert.deepEqual(await shownReport(article), expectedReport(join(filesDir, name)));
});

test("once loaded the page needs no network, and a reload offline keeps its reports", async (t) => {
  const page = await openPage(t);
  await page.locator("#loading").waitFor({ state: "hidden" });
  await page.evaluate(() => navigator.serviceWorker.ready.then(() => true));
  await page.context().setOffline(true);
  const asked = requests.length;
  const name = "six-channels.wav";
  await page.setInputFiles("#files", join(filesDir, name));
  const article = page.locator("article.report").first();
  assert.deepEqual(await shownReport(article), expectedReport(join(filesDir, name)));
  assert.equal(requests.length, asked);

  serverDown = true;
  t.after(() => {
    serverDown = false;
  });
  await page.reload();
  assert.deepEqual(await shownReport(article), expectedReport(join(filesDir, name)));
  await page.locator("#loading").waitFor({ state: "hidden" });
  await page.setInputFiles("#files", join(filesDir, "alaw.wav"));
  assert.deepEqual(
    await shownReport(page.locator("article.report").first()),
    expectedReport(join(filesDir, "alaw.wav")),
  );
  assert.equal(await page.locator("article.report").count(), 2);
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
  assert.deepEqual(
    shown,
    expectedReport(path, (bytes) => asNamedInPage(bytes, path)),
  );
  const read = Number(await article.getAttribute("data-bytes-read"));
  assert.ok(read <= 4 * 2 ** 20, `${read} bytes read`);
  // The map shows the INFO list after the 3 GiB of samples, drawn and as text.
  const offset = async (id) =>
    Number(await article.locator(`svg rect[data-id="${id}"]`).getAttribute("data-offset"));
  assert.ok((await offset("LIST")) > (await offset("data")) + 3 * 10 ** 9);
  assert.match(
    await article.locator(".map-text li", { hasText: "LIST" }).textContent(),
    /^"LIST" at byte 3,221,225,\d{3}, declares \d+ bytes$/,
  );
});

const require = createRequire(import.meta.url);

test("at 375 and 1280 px, light and dark, the page fits its width and axe-core finds nothing", async (t) => {
  // The check is injected into the page, which its own policy would refuse.
  const context = await browser.newContext({
    bypassCSP: true,
    viewport: { width: 375, height: 800 },
  });
  t.after(() => context.close());
  const page = await context.newPage();
  await page.goto(`${origin}/`);
  const names = [
    "control-bytes.wav",
    "cut-off.wav",
    "empty.wav",
    "info-after-data.wav",
    "mp3.wav",
    largeName,
  ];
  await page.setInputFiles(
    "#files",
    names.map((name) => join(filesDir, name)),
  );
  await page.waitForFunction(
    (count) => document.querySelectorAll("article.report[data-state=done]").length === count,
    names.length,
  );
  await page.locator("#summary", { hasText: "6 files reported, 3 with problems." }).waitFor();
  // Every report, map and chunk list unfolded, for the check and the picture.
  await page.evaluate(() =>
    document.querySelectorAll("details").forEach((details) => {
      details.open = true;
    }),
  );
  await page.addScriptTag({ path: require.resolve("axe-core/axe.min.js") });
  for (const width of [375, 1280]) {
    for (const colorScheme of ["light", "dark"]) {
      await t.test(`${width} px, ${colorScheme}`, async () => {
        await page.setViewportSize({ width, height: 800 });
        await page.emulateMedia({ colorScheme });
        const widths = await page.evaluate(() => [
          document.documentElement.scrollWidth,
          window.innerWidth,
        ]);
        assert.equal(widths[0], widths[1]);
        const { violations } = await page.evaluate(() => window.axe.run());
        assert.deepEqual(
          violations.map(({ id, nodes }) => `${id}: ${nodes.map((node) => node.target).join(" ")}`),
          [],
        );
        const shot = process.env.SONDRAX_SCREENSHOT;
        if (shot && colorScheme === "light") {
          const path = width === 1280 ? shot : shot.replace(/\.png$/, `-${width}.png`);
          await page.screenshot({ path, fullPage: true });
        }
      });
    }
  }
  // "Problems only" leaves the three good files out of the table and the reports.
  await page.locator("#problems-only").check();
  assert.equal(await page.locator("#table tbody tr:not([hidden])").count(), 3);
  assert.equal(await page.locator("article.report:not([hidden])").count(), 3);
});

test("bench: what a report costs, and 200 reports on one page", async (t) => {
  const page = await openPage(t);
  await page.locator("#loading").waitFor({ state: "hidden" });
  const paths = [];
  for (let i = 0; i < 200; i++) {
    const path = join(filesDir, `batch-${String(i).padStart(3, "0")}.wav`);
    copyFileSync(join(filesDir, files[i % 8][0]), path);
    paths.push(path);
  }
  const start = performance.now();
  await page.setInputFiles("#files", paths);
  await page.waitForFunction(
    () => document.querySelectorAll("article.report[data-state=done]").length === 200,
    null,
    { timeout: 60_000 },
  );
  const perFile = (performance.now() - start) / 200;
  const run = await page.evaluate(
    () =>
      [...document.querySelectorAll(".facts")].reduce(
        (sum, facts) => sum + Number(/([\d.]+) ms/.exec(facts.textContent)[1]),
        0,
      ) / 200,
  );
  const usable = await page.evaluate(async () => {
    const frame = () => new Promise((resolve) => requestAnimationFrame(() => resolve()));
    const timed = async (step) => {
      const begin = performance.now();
      step();
      await frame();
      return performance.now() - begin;
    };
    const filter = document.getElementById("problems-only");
    return {
      filter: await timed(() => filter.click()),
      unfilter: await timed(() => filter.click()),
      scroll: await timed(() => window.scrollTo(0, document.documentElement.scrollHeight)),
    };
  });
  t.diagnostic(
    `per file: ${perFile.toFixed(1)} ms in all, ${run.toFixed(2)} ms the program's ` +
      `run with its record and diagnosis; 200 reports: filter ${usable.filter.toFixed(0)} ms, ` +
      `unfilter ${usable.unfilter.toFixed(0)} ms, scroll to the end ${usable.scroll.toFixed(0)} ms`,
  );
  assert.equal(await page.locator("#table tbody tr").count(), 200);
});

test("a page that cannot load the program says so for every file", async (t) => {
  const context = await browser.newContext();
  t.after(() => context.close());
  await context.route("**/sondrax-core.js", (route) => route.abort());
  const page = await context.newPage();
  await page.goto(`${origin}/?file=files/pcm16-stereo.wav`);
  await page.locator("#loading.failure").waitFor();
  const article = page.locator("article.report").first();
  await article.locator(":scope[data-state=failed]").waitFor();
  assert.match(await article.textContent(), /could not be loaded/);
  // Opened as a file, the page cannot start its module at all; it says so, not "Loading…".
  await page.goto(`file://${join(siteDir(), "index.html")}`);
  assert.match(await page.locator("#loading.failure").textContent(), /opened as a file/);
});

test("a file the program fails on is marked, and the next file gets a fresh worker", async (t) => {
  // No service worker: its fetches of the program would count as loads.
  const context = await browser.newContext({ serviceWorkers: "block" });
  t.after(() => context.close());
  // The first worker's program stops on every file, as a WebAssembly trap would stop it.
  let loads = 0;
  await context.route("**/sondrax-core.js", (route) => {
    if (loads++ > 0) return route.continue();
    return route.fulfill({
      contentType: "text/javascript",
      body: `export default async () => ({ ccall() { throw new Error("trapped"); } });
        export const wasmGzip = "H4sIAAAAAAACAwMAAAAAAAAAAAA=";`,
    });
  });
  const page = await context.newPage();
  await page.goto(`${origin}/`);
  const names = ["pcm8-mono-odd.wav", "alaw.wav"];
  await page.setInputFiles(
    "#files",
    names.map((name) => join(filesDir, name)),
  );
  const articles = page.locator("article.report");
  await articles.nth(0).locator(":scope[data-state=failed]").waitFor();
  assert.match(await articles.nth(0).textContent(), /program failed on this file: Error: trapped/);
  assert.deepEqual(await shownReport(articles.nth(1)), expectedReport(join(filesDir, names[1])));
  assert.equal(loads, 2);
});

test("no page asked for anything outside its origin", () => {
  assert.deepEqual(foreign, []);
});
