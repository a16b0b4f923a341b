// The page in Chromium (Debian's /usr/bin/chromium, headless, driven by playwright-core),
// served from 127.0.0.1: the reports shown, copied and saved for chosen, dropped and linked
// files, against the native program's output; a 3 GiB file; no request outside the page.
import assert from "node:assert/strict";
import { execFileSync, spawnSync } from "node:child_process";
import {
  createReadStream,
  mkdirSync,
  mkdtempSync,
  readdirSync,
  readFileSync,
  statSync,
  writeFileSync,
} from "node:fs";
import { createServer } from "node:http";
import { createRequire } from "node:module";
import { tmpdir } from "node:os";
import { basename, dirname, extname, join } from "node:path";
import { after, before, test } from "node:test";

import { chromium } from "playwright-core";

import {
  asNamedInPage,
  dataDir,
  GiB,
  nativeExact,
  nativeProgram,
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

// Beyond testFiles, files of the diagnosis's states: real ones written by ffmpeg and sox, and a
// take never finalised (its RIFF and data sizes left 0 after the samples were written).
function diagnosisFiles() {
  const real = [
    "sox-pipe.wav",
    "ffmpeg-rf64.wav",
    "ffmpeg-rf64-pipe.wav",
    "ffmpeg-mp3.wav",
    "ffmpeg-bext.wav",
    "ffmpeg-s24-title.wav",
    "sox-float32.wav",
  ].map((name) => [name, readFileSync(join(dataDir, "real", name))]);
  const take = Buffer.from(readFileSync(join(dataDir, "pcm16-stereo.wav")));
  take.writeUInt32LE(0, 4);
  take.writeUInt32LE(0, 40);
  return [...real, ["never-finalised.wav", take]];
}

before(async () => {
  filesDir = writeFiles([...files, ...diagnosisFiles()]);
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

// What the entry and the table show of the diagnosis: the verdict and reason, the format by its
// name, the play time present against the declared one, the findings and the tags.
const diagnoses = [
  // name, verdict line, facts, findings and tags
  [
    "junk-998.wav",
    /^Problem: cut off: 0\.00 s of 1\.00 s present/,
    /PCM 16-bit .* 0\.00 s of 1\.00 s$/,
  ],
  ["never-finalised.wav", /^Problem: never finalised: 0\.10 s of samples/, /· 0\.10 s$/],
  ["sox-pipe.wav", /^Warning: streamed: sizes never filled in/, /PCM 16-bit/],
  ["ffmpeg-rf64.wav", /^OK: a sound RF64 file/, /PCM 16-bit/, /^Note: an RF64 file/],
  ["ffmpeg-mp3.wav", /^Warning: the byte rate is 0/, /· MP3 ·/, /software \(INFO ISFT\)Lavf/],
  ["mp3.wav", /^Not a WAVE file: .*MP3/, /^74 bytes$/],
  ["ffmpeg-s24-title.wav", /^OK/, /PCM 24-bit, extensible · 1 channel/, /title \(INFO INAM\)/],
  ["sox-float32.wav", /^OK/, /IEEE float 32/],
  ["ffmpeg-bext.wav", /^OK/, /PCM 16-bit/, /description \(bext Description\)Scene 4 take 2/],
];

test("each entry and row shows the diagnosis: verdict, reason, format, play time, findings, tags", async (t) => {
  const page = await openPage(t);
  // At a phone's width: the reason is the line under the name, beside the verdict.
  await page.setViewportSize({ width: 375, height: 800 });
  await page.setInputFiles(
    "#files",
    diagnoses.map(([name]) => join(filesDir, name)),
  );
  for (const [name, verdict, facts, more] of diagnoses) {
    await t.test(name, async () => {
      const article = page.locator("article.report", {
        has: page.locator("h2", { hasText: new RegExp(`^${name}$`) }),
      });
      await article.locator(":scope[data-state=done]").waitFor();
      const verdictText = await article.locator(".verdict").textContent();
      assert.match(verdictText, verdict);
      assert.match(await article.locator(".facts").textContent(), facts);
      assert.match(await article.locator("details.run").textContent(), /exit code \d/);
      if (more) {
        assert.match(
          await article.locator(".findings, .tags").allTextContents().then(String),
          more,
        );
      }
      const row = page.locator("#table tbody tr", {
        has: page.locator("th", { hasText: new RegExp(`^${name}$`) }),
      });
      await row.locator("td.reason:not(:empty)").waitFor();
      const [title, reason] = verdictText.split(/: (.*)\.$/);
      assert.equal(await row.locator("td.verdict-cell").textContent(), title);
      assert.equal(await row.locator("td.reason").textContent(), reason);
      const box = async (cell) => row.locator(cell).boundingBox();
      const [file, shownVerdict, shownReason] = [
        await box("th"),
        await box("td.verdict-cell"),
        await box("td.reason"),
      ];
      assert.ok(shownVerdict.y >= file.y + file.height && shownReason.y === shownVerdict.y);
    });
  }
  if (process.env.SONDRAX_SCREENSHOT) {
    // Laid out before it is in view, so that the picture has the whole entry.
    await page.evaluate(() => {
      for (const report of document.querySelectorAll(".report")) {
        report.style.contentVisibility = "visible";
      }
    });
    await page
      .locator("article.report", { has: page.locator("h2", { hasText: "ffmpeg-bext.wav" }) })
      .screenshot({ path: process.env.SONDRAX_SCREENSHOT.replace(/\.png$/, "-entry-375.png") });
  }
});

test("a file whose only fault is its sizes gets a repaired copy, judged OK before it is offered", async (t) => {
  const page = await openPage(t);
  // A folder picked: its WAVE files by their paths inside it.
  const folder = mkdtempSync(join(tmpdir(), "sondrax-picked-"));
  t.after(() => removeDir(folder));
  const names = ["never-finalised.wav", "ffmpeg-rf64-pipe.wav"];
  for (const name of names) writeFileSync(join(folder, name), readFileSync(join(filesDir, name)));
  writeFileSync(join(folder, "notes.txt"), "not a take");
  await page.setInputFiles("#folder", folder);
  const picked = await page.locator("article.report h2").allTextContents();
  assert.deepEqual(picked.sort(), names.map((name) => `${basename(folder)}/${name}`).sort());
  for (const name of names) {
    const article = page.locator("article.report", { hasText: name });
    await article.locator(".repair-note", { hasText: "judges OK" }).waitFor();
    const [saved] = await Promise.all([
      page.waitForEvent("download"),
      article.locator("button.save-repaired").click(),
    ]);
    const copy = join(folder, saved.suggestedFilename());
    await saved.saveAs(copy);
    const line = execFileSync(join(dirname(nativeProgram()), "sondrax-check"), ["--json", copy]);
    assert.equal(JSON.parse(line.toString()).verdict, "ok", name);
    assert.equal(statSync(copy).size, statSync(join(folder, name)).size);
  }
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
    /^"LIST" at byte 3,221,225,\d{3}: declares \d+ bytes$/,
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
  // No table before there are files.
  assert.equal(await page.locator("#batch").isHidden(), true);
  const names = [
    "control-bytes.wav",
    "cut-off.wav",
    "empty.wav",
    "info-after-data.wav",
    "mp3.wav",
    "cut-in-format.wav",
    "never-finalised.wav",
    "sox-pipe.wav",
    "ffmpeg-bext.wav",
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
  // The counts per verdict, and a repaired copy offered: every state an entry has.
  await page
    .locator("#summary", {
      hasText: "10 files: 4 OK, 1 warning, 4 problems, 1 not WAVE, 0 unreadable.",
    })
    .waitFor();
  await page.locator("button.save-repaired").first().waitFor();
  await page.locator("thead button", { hasText: "Verdict" }).click();
  // Every report, map and chunk list unfolded, for the check and the picture.
  await page.evaluate(() =>
    document.querySelectorAll("details").forEach((details) => {
      details.open = true;
    }),
  );
  await page.addScriptTag({ path: require.resolve("axe-core/axe.min.js") });
  // Every report laid out, not only those in view, so that the maps can be measured.
  await page.addStyleTag({ content: ".report { content-visibility: visible; }" });
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
        // The map's labels stand inside their own chunks, so none runs into another.
        const labels = await page.evaluate(() =>
          [...document.querySelectorAll(".map svg")].flatMap((svg) => {
            const rects = [...svg.querySelectorAll("rect.chunk")].map((r) =>
              r.getBoundingClientRect(),
            );
            return [...svg.querySelectorAll("text")].map((text) => {
              const box = text.getBoundingClientRect();
              const inside = rects.some((r) => box.left >= r.left && box.right <= r.right);
              const where = `${svg.querySelector("title").textContent} ${box.left}-${box.right}`;
              return `${text.textContent}${inside && box.width > 0 ? "" : ` outside: ${where}`}`;
            });
          }),
        );
        assert.ok(labels.length > 5, labels);
        assert.deepEqual(
          labels.filter((label) => label.includes(" outside")),
          [],
        );
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
  // "Hide OK files" leaves the four good files out of the table and the reports.
  await page.locator("#hide-ok").check();
  assert.equal(await page.locator("#table tbody tr:not([hidden])").count(), 6);
  assert.equal(await page.locator("article.report:not([hidden])").count(), 6);
});

// A minimal CSV reader: quoted fields with doubled quotes, CR LF between records.
function csvRecords(text) {
  const records = [];
  let record = [];
  let field = "";
  for (let i = 0, quoted = false; i < text.length; i++) {
    const c = text[i];
    if (quoted) {
      if (c === '"' && text[i + 1] === '"') field += text[i++];
      else if (c === '"') quoted = false;
      else field += c;
    } else if (c === '"') quoted = true;
    else if (c === ",") {
      record.push(field);
      field = "";
    } else if (c === "\r" && text[i + 1] === "\n") {
      records.push([...record, field]);
      record = [];
      field = "";
      i++;
    } else field += c;
  }
  return records;
}

async function download(page, button) {
  const [saved] = await Promise.all([page.waitForEvent("download"), button.click()]);
  return readFileSync(await saved.path(), "utf8");
}

test("a folder of 200 files dropped: 200 rows, sorted from the keyboard, saved as CSV and as sondrax-check's JSON Lines", async (t) => {
  const page = await openPage(t);
  await page.locator("#loading").waitFor({ state: "hidden" });
  // The folder as sondrax-check reads it: takes/ and takes/more/, every test file in turn, some
  // names in capitals, and a text file that is not taken.
  const root = mkdtempSync(join(tmpdir(), "sondrax-folder-"));
  t.after(() => removeDir(root));
  mkdirSync(join(root, "takes", "more"), { recursive: true });
  const taken = [];
  for (let i = 0; i < 200; i++) {
    const folder = i < 150 ? "takes" : "takes/more";
    const path = `${folder}/take-${String(i).padStart(3, "0")}.${i % 10 === 0 ? "WAV" : "wav"}`;
    writeFileSync(join(root, path), files[i % files.length][1]);
    taken.push([path, i % files.length]);
  }
  writeFileSync(join(root, "takes", "notes.txt"), "not a take");

  // No browser drops a real folder on a headless page: the drop gives the folder's entries as
  // Chromium does, a part of at most 100 at a time.
  const start = performance.now();
  await page.evaluate(
    ([contents, taken]) => {
      const blobs = contents.map(
        (base64) => new Blob([Uint8Array.from(atob(base64), (c) => c.charCodeAt(0))]),
      );
      const fileEntry = (path, blob) => ({
        isFile: true,
        isDirectory: false,
        fullPath: `/${path}`,
        file: (resolve) => resolve(new File([blob], path.split("/").pop())),
      });
      const folderEntry = (path, children) => ({
        isFile: false,
        isDirectory: true,
        fullPath: `/${path}`,
        createReader() {
          let given = 0;
          return {
            readEntries(resolve) {
              const part = children.slice(given, given + 100);
              given += part.length;
              setTimeout(() => resolve(part));
            },
          };
        },
      });
      const inFolder = (folder) =>
        taken
          .filter(([path]) => path.slice(0, path.lastIndexOf("/")) === folder)
          .map(([path, index]) => fileEntry(path, blobs[index]));
      const folder = folderEntry("takes", [
        ...inFolder("takes"),
        fileEntry("takes/notes.txt", new Blob(["not a take"])),
        folderEntry("takes/more", inFolder("takes/more")),
      ]);
      const event = new DragEvent("drop", { bubbles: true, cancelable: true });
      const item = { kind: "file", webkitGetAsEntry: () => folder, getAsFile: () => null };
      Object.defineProperty(event, "dataTransfer", { value: { items: [item] } });
      document.getElementById("drop").dispatchEvent(event);
    },
    [files.map(([, bytes]) => Buffer.from(bytes).toString("base64")), taken],
  );
  await page.waitForFunction(
    () => document.querySelectorAll("article.report[data-state=done]").length === 200,
    null,
    { timeout: 60_000 },
  );
  const perFile = (performance.now() - start) / 200;
  assert.equal(await page.locator("#table tbody tr").count(), 200);
  const run = await page.evaluate(
    () =>
      [...document.querySelectorAll("article.report")].reduce(
        (sum, article) => sum + Number(article.dataset.milliseconds),
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
    const filter = document.getElementById("hide-ok");
    const sort = document.querySelector("thead th:nth-child(3) button");
    return {
      filter: await timed(() => filter.click()),
      unfilter: await timed(() => filter.click()),
      sort: await timed(() => sort.click()),
      scroll: await timed(() => window.scrollTo(0, document.documentElement.scrollHeight)),
    };
  });
  t.diagnostic(
    `per file: ${perFile.toFixed(1)} ms in all, ${run.toFixed(2)} ms the program's ` +
      `runs; 200 rows: filter ${usable.filter.toFixed(0)} ms, unfilter ` +
      `${usable.unfilter.toFixed(0)} ms, sort ${usable.sort.toFixed(0)} ms, scroll to the ` +
      `end ${usable.scroll.toFixed(0)} ms`,
  );

  // By verdict, from the keyboard: Enter sorts ok first, Space again turns the order round.
  const order = ["ok", "warning", "problem", "not-wave", "unreadable"];
  const header = page.locator("thead th", { hasText: "Verdict" });
  await header.locator("button").focus();
  for (const [key, sort, sign] of [
    ["Enter", "ascending", 1],
    ["Space", "descending", -1],
  ]) {
    await page.keyboard.press(key);
    assert.equal(await header.getAttribute("aria-sort"), sort);
    const shown = await page
      .locator("#table tbody tr")
      .evaluateAll((rows) => rows.map((row) => row.dataset.verdict));
    const ranks = shown.map((verdict) => sign * order.indexOf(verdict));
    assert.deepEqual(
      ranks,
      [...ranks].sort((a, b) => a - b),
    );
    if (process.env.SONDRAX_SCREENSHOT && sign === 1) {
      await page.setViewportSize({ width: 1280, height: 900 });
      await page.screenshot({ path: process.env.SONDRAX_SCREENSHOT.replace(/\.png$/, "-200.png") });
    }
  }

  // The JSON Lines are the native sondrax-check's for the same folder, line for line.
  const lines = await download(page, page.locator("#save-jsonl"));
  // Its exit status tells of the problems found; its lines are what count here.
  const native = spawnSync(join(dirname(nativeProgram()), "sondrax-check"), ["--json", "takes"], {
    cwd: root,
    maxBuffer: 2 ** 28,
  }).stdout.toString("utf8");
  const sorted = (text) => text.split("\n").filter(Boolean).sort();
  assert.deepEqual(sorted(lines), sorted(native));
  assert.equal(sorted(lines).length, 200);
  // The CSV holds the same files with the same verdicts.
  const [head, ...records] = csvRecords(await download(page, page.locator("#save-csv")));
  assert.deepEqual(head.slice(0, 3), ["path", "verdict", "reason"]);
  const verdictOf = new Map(
    sorted(lines).map((line) => [JSON.parse(line).path, JSON.parse(line).verdict]),
  );
  assert.equal(records.length, 200);
  assert.deepEqual(records.map(([path, verdict]) => [path, verdict]).sort(), [...verdictOf].sort());
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
