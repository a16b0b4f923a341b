// The page: files chosen, dropped or linked with ?file=URL go to the program in a worker one at
// a time. Each gets an entry: the diagnosis's verdict and reason, the chunk map and the report as
// a console shows it; the batch table above lists them all. The shown reports are kept for the
// tab's life. What a file is and how it is judged comes from the program's diagnosis as it
// gives it: the page shows it and decides nothing of it.

import { chunkMap } from "./map.js";
import { count, readRecord, verdictTitles } from "./record.js";
import { consoleLines, consoleText, isErrorLine } from "./report-text.js";

const reports = document.getElementById("reports");
const loading = document.getElementById("loading");
const drop = document.getElementById("drop");
const chooser = document.getElementById("files");
const batch = document.getElementById("batch");
const summary = document.getElementById("summary");
const tableBody = document.querySelector("#table tbody");
const problemsOnly = document.getElementById("problems-only");
const batchStatus = document.getElementById("batch-status");

const entries = []; // every file shown, newest first: { id, name, root, row, result }
let nextId = 1;

// ---- The worker -------------------------------------------------------------------------

const queue = []; // entries waiting for their report, in order
let worker = null;
let running = null; // the entry whose file the worker has
let unavailable = false; // the program could not be loaded

function startWorker() {
  worker = new Worker("worker.js", { type: "module" });
  worker.onmessage = ({ data }) => {
    if (data.ready) {
      loading.hidden = true;
      return;
    }
    const entry = running;
    running = null;
    if (data.failure !== undefined) {
      // The program stopped on this file; the next file gets a fresh worker.
      showFailure(entry, `The program failed on this file: ${data.failure}`);
      worker.terminate();
      startWorker();
      next();
      return;
    }
    // The worker goes on with the next file while this one is shown.
    next();
    showReport(entry, { ...data, name: entry.name, size: entry.file.size });
    // A batch is kept once its last file is reported, not after each file.
    if (running === null) {
      fillRows();
      keep();
    }
  };
  worker.onerror = (event) => {
    event.preventDefault();
    unavailable = true;
    loading.hidden = false;
    loading.textContent = "The program could not be loaded. Reload the page to try again.";
    loading.classList.add("failure");
    for (const entry of [running, ...queue.splice(0)]) {
      if (entry !== null) showFailure(entry, "The program could not be loaded.");
    }
    running = null;
  };
}

function next() {
  if (running !== null || queue.length === 0) return;
  running = queue.shift();
  worker.postMessage({ file: running.file });
}

// ---- One entry per file -------------------------------------------------------------------

function element(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined) node.textContent = text;
  return node;
}

const byteCount = (n) => `${count(n)} byte${n === 1 ? "" : "s"}`;

function createEntry(name) {
  const entry = { id: `file-${nextId++}`, name, file: null, result: null };
  entry.root = element("article", "report");
  entry.root.id = entry.id;
  entry.root.dataset.state = "waiting";
  const heading = element("h2", "", name);
  heading.id = `${entry.id}-name`;
  entry.root.setAttribute("aria-labelledby", heading.id);
  entry.facts = element("p", "facts", "Waiting…");
  entry.root.append(heading, entry.facts);

  entry.row = element("tr");
  const link = element("a", "", name);
  link.href = `#${entry.id}`;
  const fileCell = element("th", "file");
  fileCell.scope = "row";
  fileCell.append(link);
  entry.row.append(fileCell);
  for (const label of ["Format", "Channels", "Rate", "Bits", "Play time"]) {
    const cell = element("td", "", "");
    cell.dataset.label = label;
    entry.row.append(cell);
  }
  entry.row.append(element("td", "verdict-cell", "waiting"));
  return entry;
}

// Entries come in as a batch, newest batch first, and are announced in the summary.
function addEntries(added) {
  const articles = document.createDocumentFragment();
  const rows = document.createDocumentFragment();
  for (const entry of added) {
    articles.append(entry.root);
    rows.append(entry.row);
  }
  reports.prepend(articles);
  tableBody.prepend(rows);
  entries.unshift(...added);
  batch.hidden = false;
  updateSummary();
}

function addFile(entry, file) {
  if (unavailable) {
    showFailure(entry, "The program could not be loaded.");
    return;
  }
  entry.file = file;
  entry.facts.textContent = `${byteCount(file.size)} · reading…`;
  queue.push(entry);
  next();
}

// The page could not give the file to the program, or the program failed on it: no verdict,
// but it counts among the files with problems.
function showFailure(entry, message) {
  entry.root.dataset.state = "failed";
  entry.root.dataset.verdict = "unreadable";
  entry.facts.textContent = message;
  entry.facts.classList.add("failure");
  entry.row.lastChild.textContent = "could not be read";
  entry.row.dataset.verdict = "unreadable";
  updateSummary();
}

// The report text, one line after the other; the lines that name a fault of the file stand out.
function reportBlock(text, name) {
  const block = element("pre", "text");
  // Its own scroll region: the report keeps its console layout, the page keeps its width.
  block.tabIndex = 0;
  block.setAttribute("role", "region");
  block.setAttribute("aria-label", `Report on ${name}`);
  const { lines, ended } = consoleLines(text);
  lines.forEach((line, i) => {
    const end = i < lines.length - 1 || ended ? "\n" : "";
    if (isErrorLine(line)) {
      block.append(element("span", "error", line), end);
    } else {
      block.append(line + end);
    }
  });
  return block;
}

// Seconds as minutes and seconds, "1:05.30".
function playTimeText(seconds) {
  if (seconds === null) return "";
  const minutes = Math.floor(seconds / 60);
  return `${minutes}:${(seconds - minutes * 60).toFixed(2).padStart(5, "0")}`;
}

// The table is filled a few times a second while a batch is reported, not once per file: a
// table of many rows costs as much to lay out again as all the reports together.
const rowsToFill = new Map();
let rowTimer = 0;

function fillRowSoon(entry, diagnosis) {
  rowsToFill.set(entry, diagnosis);
  if (rowTimer === 0) rowTimer = setTimeout(fillRows, 250);
}

function fillRows() {
  clearTimeout(rowTimer);
  rowTimer = 0;
  for (const [entry, diagnosis] of rowsToFill) fillRow(entry, diagnosis);
  rowsToFill.clear();
  // A screen reader hears the count when the batch is done, not at every step of it.
  summary.setAttribute("aria-busy", String(running !== null));
  updateSummary();
}

// The play time is that of the samples the file holds; the one its sizes declare, where it
// differs (a file cut off), is the cell's title.
function fillRow(entry, { format, duration, verdict, reason }) {
  const cells = entry.row.children;
  cells[1].textContent = format ? format.name : "";
  cells[2].textContent = format ? `${format.channels} ch` : "";
  cells[3].textContent = format ? `${count(format.rate)} Hz` : "";
  cells[4].textContent = format ? `${format.bits} bit` : "";
  cells[5].textContent = playTimeText(duration.present);
  cells[5].title =
    duration.declared !== null && duration.declared !== duration.present
      ? `declared ${playTimeText(duration.declared)}`
      : "";
  cells[6].textContent = verdictTitles[verdict];
  cells[6].title = reason;
  entry.row.dataset.verdict = verdict;
}

function verdictLine({ verdict, reason }) {
  const line = element("p", "verdict");
  line.dataset.verdict = verdict;
  line.append(element("strong", "", `${verdictTitles[verdict]}: `), `${reason}.`);
  return line;
}

function showReport(entry, result) {
  entry.result = result;
  const { exitCode, stdout, shownOut, shownErr, bytesRead, milliseconds } = result;
  const diagnosis = JSON.parse(result.diagnosis);
  const root = entry.root;
  root.dataset.exitCode = String(exitCode);
  root.dataset.bytesRead = String(bytesRead);
  root.dataset.verdict = diagnosis.verdict;
  entry.facts.textContent =
    `${byteCount(result.size)} · ${byteCount(bytesRead)} read · ` +
    `${milliseconds.toFixed(1)} ms · exit code ${exitCode}`;
  fillRowSoon(entry, diagnosis);

  const actions = element("div", "actions");
  const copy = element("button", "copy", "Copy text");
  const save = element("button", "save", "Save report");
  save.title = "The exact bytes of the report: code page 437 with CR LF line ends";
  const saveUtf8 = element("button", "save-utf8", "Save as UTF-8 text");
  saveUtf8.title = "The report as shown, for any text editor";
  const status = element("output");
  actions.append(copy, save, saveUtf8, status);

  // Everything but the verdict folds away; an OK report among others starts folded.
  const body = element("details", "body");
  body.open = diagnosis.verdict !== "ok" || entries.length < 2;
  body.append(element("summary", "", "Report and chunk map"));
  const map = chunkMap(readRecord(result.record), entry.name);
  if (map) body.append(map);
  body.append(reportBlock(shownOut, entry.name));
  root.append(verdictLine(diagnosis), actions, body);

  // Copying gives the text as shown, the fatal error text included, as a console shows both.
  let text = consoleText(shownOut);
  if (shownErr.length > 0) {
    const fatal = element("pre", "fatal", consoleText(shownErr));
    fatal.tabIndex = 0;
    fatal.setAttribute("role", "region");
    fatal.setAttribute("aria-label", `Error text for ${entry.name}`);
    body.append(fatal);
    text += consoleText(shownErr);
  }
  entry.text = text;

  copy.onclick = () => copyText(text, status);
  save.onclick = () => saveBytes(stdout, `${entry.name}.txt`);
  saveUtf8.onclick = () => saveBytes(utf8Text(text), `${entry.name}.utf8.txt`);
  root.dataset.state = "done";
  applyFilter(entry);
}

// Text with CR LF line ends as UTF-8 bytes, as a saved report has them.
const utf8Text = (text) => new TextEncoder().encode(text.replace(/\n/g, "\r\n"));

async function copyText(text, status) {
  try {
    await navigator.clipboard.writeText(text);
  } catch {
    // No clipboard access (a page not served from localhost or https): the old way.
    const area = element("textarea");
    area.value = text;
    document.body.append(area);
    area.select();
    document.execCommand("copy");
    area.remove();
  }
  status.value = "Copied.";
}

function saveBytes(bytes, name) {
  const url = URL.createObjectURL(new Blob([bytes], { type: "text/plain" }));
  const link = element("a");
  link.href = url;
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(url), 60_000);
}

// ---- The batch: summary, filter, Save all and Copy all -------------------------------------

function updateSummary() {
  const done = entries.filter((entry) => entry.root.dataset.verdict !== undefined);
  const problems = done.filter((entry) => entry.root.dataset.verdict !== "ok").length;
  const waiting = entries.length - done.length;
  let text =
    `${done.length} file${done.length === 1 ? "" : "s"} reported, ` + `${problems} with problems`;
  if (waiting > 0) text += `, ${waiting} waiting`;
  text += ".";
  if (summary.textContent !== text) summary.textContent = text;
}

function applyFilter(entry) {
  const hide = problemsOnly.checked && entry.root.dataset.verdict === "ok";
  entry.root.hidden = hide;
  entry.row.hidden = hide;
}

function allText() {
  return entries
    .filter((entry) => entry.text !== undefined && !entry.root.hidden)
    .map(
      (entry) =>
        `== ${entry.name}: ${entry.root.querySelector(".verdict").textContent}\n\n` +
        `${entry.text}\n`,
    )
    .join("\n");
}

problemsOnly.addEventListener("change", () => entries.forEach(applyFilter));
document.getElementById("copy-all").onclick = () => copyText(allText(), batchStatus);
document.getElementById("save-all").onclick = () =>
  saveBytes(utf8Text(allText()), "sondrax-reports.utf8.txt");
document.getElementById("clear").onclick = () => {
  for (const entry of entries.splice(0)) {
    entry.root.remove();
    entry.row.remove();
  }
  batch.hidden = true;
  sessionStorage.removeItem(KEPT);
  updateSummary();
};

// A link to a folded report opens it.
window.addEventListener("hashchange", () => {
  const target = document.getElementById(location.hash.slice(1));
  const body = target?.querySelector("details.body");
  if (body) body.open = true;
});

// ---- Kept across Reload and Back for the tab's life ---------------------------------------

const KEPT = "sondrax-reports";

function keep() {
  const kept = entries
    .filter((entry) => entry.result !== null)
    .reverse()
    .map((entry) => ({
      ...entry.result,
      stdout: Array.from(entry.result.stdout, (byte) => String.fromCharCode(byte)).join(""),
    }));
  try {
    sessionStorage.setItem(KEPT, JSON.stringify(kept));
  } catch {
    // Too many reports for the tab's storage: the oldest are not kept.
    sessionStorage.removeItem(KEPT);
  }
}

function restore() {
  let kept = [];
  try {
    kept = JSON.parse(sessionStorage.getItem(KEPT) ?? "[]");
  } catch {
    return;
  }
  // Reports kept by an earlier version of the page, without a diagnosis, are not shown again.
  for (const result of kept.filter((item) => typeof item.diagnosis === "string")) {
    const entry = createEntry(result.name);
    addEntries([entry]);
    const stdout = Uint8Array.from(result.stdout, (c) => c.charCodeAt(0));
    showReport(entry, { ...result, stdout });
  }
  fillRows();
}

// ---- Where files come from ----------------------------------------------------------------

function addFiles(files) {
  const added = [];
  for (const file of files) added.push([createEntry(file.name), file]);
  addEntries(added.map(([entry]) => entry));
  for (const [entry, file] of added) addFile(entry, file);
}

// A file that a link gives: fetched with its progress shown and a way to cancel; a web page
// (a directory listing, an error page) is no WAVE file and is refused unread.
async function fetchLinked(entry, url) {
  const abort = new AbortController();
  const cancel = element("button", "cancel", "Cancel");
  cancel.onclick = () => abort.abort();
  entry.facts.textContent = "Fetching…";
  entry.root.insertBefore(cancel, entry.facts.nextSibling);
  try {
    const response = await fetch(url, { signal: abort.signal });
    if (!response.ok) throw new Error(`${response.status} ${response.statusText}`);
    if ((response.headers.get("Content-Type") ?? "").startsWith("text/html")) {
      abort.abort();
      showFailure(entry, "Not a WAVE file: the link gives a web page (a folder's listing?).");
      return;
    }
    const total = Number(response.headers.get("Content-Length")) || 0;
    const pieces = [];
    let fetched = 0;
    for (const reader = response.body.getReader(); ; ) {
      const { done, value } = await reader.read();
      if (done) break;
      pieces.push(value);
      fetched += value.length;
      const ofTotal = total > 0 ? ` of ${byteCount(total)}` : "";
      entry.facts.textContent = `Fetching… ${byteCount(fetched)}${ofTotal}`;
    }
    addFile(entry, new File(pieces, entry.name));
  } catch (error) {
    showFailure(
      entry,
      abort.signal.aborted
        ? "Cancelled: the file was not fetched."
        : `The file could not be fetched: ${error.message}`,
    );
  } finally {
    cancel.remove();
  }
}

// ?file=URL (repeatable): files of this page's own site, for links and tests.
async function addLinkedFiles(links) {
  const added = [];
  for (const link of links) {
    const url = new URL(link, location.href);
    const name = decodeURIComponent(url.pathname.split("/").pop() || url.pathname);
    added.push([createEntry(name), url]);
  }
  addEntries(added.map(([entry]) => entry));
  for (const [entry, url] of added) {
    if (url.origin !== location.origin) {
      showFailure(entry, "Only files from this page's own site are read.");
      continue;
    }
    await fetchLinked(entry, url);
  }
}

chooser.addEventListener("change", () => {
  addFiles(chooser.files);
  chooser.value = ""; // so that choosing the same file again reports it again
});

document.getElementById("example").onclick = () => addLinkedFiles(["example.wav"]);

// A file dropped anywhere on the page is reported; the browser would otherwise open it. The
// batch table comes into view, where the new files stand first.
document.addEventListener("dragover", (event) => {
  event.preventDefault();
  drop.classList.add("over");
});
document.addEventListener("dragleave", (event) => {
  if (event.relatedTarget === null) drop.classList.remove("over");
});
document.addEventListener("drop", (event) => {
  event.preventDefault();
  drop.classList.remove("over");
  if (event.dataTransfer.files.length > 0) {
    addFiles(event.dataTransfer.files);
    batch.scrollIntoView({ block: "start" });
  }
});

if (location.protocol !== "file:") {
  restore();
  startWorker();
  // After a reload the linked files' reports are among those kept.
  if (entries.length === 0) addLinkedFiles(new URLSearchParams(location.search).getAll("file"));
  navigator.serviceWorker?.register("sw.js").catch(() => {});
}
