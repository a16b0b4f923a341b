// The page: files chosen, dropped (folders too) or linked with ?file=URL go to the program in a
// worker one at a time. Each gets an entry: the diagnosis's verdict, reason and findings, the
// format, play time and tags, the chunk map, and the report as a console shows it; the batch
// table above lists them all, sortable, and saves as CSV or as sondrax-check's JSON Lines. The
// shown reports are kept for the tab's life. What a file is and how it is judged comes from the
// program's diagnosis as it gives it: the page shows it and decides nothing of it.

import { chunkMap, count } from "./map.js";
import { consoleLines, consoleText, isErrorLine } from "./report-text.js";

const reports = document.getElementById("reports");
const loading = document.getElementById("loading");
const drop = document.getElementById("drop");
const chooser = document.getElementById("files");
const folderChooser = document.getElementById("folder");
const batch = document.getElementById("batch");
const summary = document.getElementById("summary");
const table = document.getElementById("table");
const tableBody = table.querySelector("tbody");
const hideOk = document.getElementById("hide-ok");
const batchStatus = document.getElementById("batch-status");
const noneTaken = document.getElementById("none-taken");

const entries = []; // every file shown, newest first: { id, name, root, row, result, diagnosis }
let nextId = 1;

/** A short title for each verdict of the diagnosis, in the order sondrax-check counts them. */
const verdictTitles = {
  ok: "OK",
  warning: "Warning",
  problem: "Problem",
  "not-wave": "Not a WAVE file",
  unreadable: "Unreadable",
};
const verdictOrder = Object.keys(verdictTitles);

// ---- The worker -------------------------------------------------------------------------

// Jobs waiting for the worker, in order: { file, path, diagnosisOnly, done(data), failed(text) }.
const queue = [];
let worker = null;
let running = null; // the job the worker has
let unavailable = false; // the program could not be loaded

function startWorker() {
  worker = new Worker("worker.js", { type: "module" });
  worker.onmessage = ({ data }) => {
    if (data.ready) {
      loading.hidden = true;
      return;
    }
    const job = running;
    running = null;
    if (data.failure !== undefined) {
      // The program stopped on this file; the next file gets a fresh worker.
      job.failed(`The program failed on this file: ${data.failure}`);
      worker.terminate();
      startWorker();
      next();
      return;
    }
    // The worker goes on with the next file while this one is shown.
    next();
    job.done(data);
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
    for (const job of [running, ...queue.splice(0)]) {
      if (job !== null) job.failed("The program could not be loaded.");
    }
    running = null;
  };
}

function next() {
  if (running !== null || queue.length === 0) return;
  running = queue.shift();
  const { file, path, diagnosisOnly } = running;
  worker.postMessage({ file, path, diagnosisOnly });
}

function submit(job) {
  if (unavailable) {
    job.failed("The program could not be loaded.");
    return;
  }
  queue.push(job);
  next();
}

// ---- One entry per file -------------------------------------------------------------------

function element(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined) node.textContent = text;
  return node;
}

const byteCount = (n) => `${count(n)} byte${n === 1 ? "" : "s"}`;
const plural = (n, one, many = `${one}s`) => `${count(n)} ${n === 1 ? one : many}`;
// A path's last part, for the names of saved files.
const baseName = (path) => path.slice(path.lastIndexOf("/") + 1);

// The columns of the table after the file's name, and what each sorts by.
const columns = [
  ["Verdict", "verdict-cell", (d) => verdictOrder.indexOf(d.verdict)],
  ["Reason", "reason", (d) => d.reason],
  ["Format", "", (d) => d.format?.name ?? null],
  ["Channels", "", (d) => d.format?.channels ?? null],
  ["Rate", "", (d) => d.format?.rate ?? null],
  ["Bits", "", (d) => d.format?.bits ?? null],
  ["Play time", "", (d) => d.duration.present],
];

function createEntry(name) {
  const entry = { id: `file-${nextId++}`, name, file: null, result: null, diagnosis: null };
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
  for (const [label, className] of columns) {
    const cell = element("td", className, "");
    cell.dataset.label = label;
    entry.row.append(cell);
  }
  entry.row.children[1].textContent = "waiting";
  return entry;
}

// Entries come in as a batch, newest batch first, and are announced in the summary.
function addEntries(added) {
  if (added.length === 0) return;
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
  entry.file = file;
  entry.facts.textContent = `${byteCount(file.size)} · reading…`;
  submit({
    file,
    path: entry.name,
    done: (data) => showReport(entry, { ...data, name: entry.name, size: file.size }),
    failed: (message) => showFailure(entry, message),
  });
}

// The page could not give the file to the program, or the program failed on it: no
// diagnosis, and it counts among the unreadable files.
function showFailure(entry, message) {
  entry.root.dataset.state = "failed";
  entry.root.dataset.verdict = "unreadable";
  entry.facts.textContent = message;
  entry.facts.classList.add("failure");
  entry.row.children[1].textContent = verdictTitles.unreadable;
  entry.row.children[2].textContent = message;
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

const hundredths = new Intl.NumberFormat("en-US", {
  minimumFractionDigits: 2,
  maximumFractionDigits: 2,
});
const secondsText = (seconds) => `${hundredths.format(seconds)} s`;

// The play time of the samples the file holds and, where its sizes declare another, that one:
// "5.67 s of 10.00 s" for a file cut off.
function playTimeText({ present, declared }) {
  if (present === null) return "";
  if (declared === null || declared === present) return secondsText(present);
  if (declared > present) return `${secondsText(present)} of ${secondsText(declared)}`;
  return `${secondsText(present)} (its sizes declare ${secondsText(declared)})`;
}

// The table is filled a few times a second while a batch is reported, not once per file: a
// table of many rows costs as much to lay out again as all the reports together.
const rowsToFill = new Set();
let rowTimer = 0;

function fillRowSoon(entry) {
  rowsToFill.add(entry);
  if (rowTimer === 0) rowTimer = setTimeout(fillRows, 250);
}

function fillRows() {
  clearTimeout(rowTimer);
  rowTimer = 0;
  for (const entry of rowsToFill) fillRow(entry);
  rowsToFill.clear();
  sortRows();
  // A screen reader hears the counts when the batch is done, not at every step of it.
  summary.setAttribute("aria-busy", String(running !== null));
  updateSummary();
}

function fillRow(entry) {
  const diagnosis = entry.diagnosis;
  const { format, verdict, reason } = diagnosis;
  const cells = entry.row.children;
  cells[1].textContent = verdictTitles[verdict];
  cells[2].textContent = reason;
  cells[3].textContent = format ? format.name : "";
  cells[4].textContent = format ? `${format.channels} ch` : "";
  cells[5].textContent = format ? `${count(format.rate)} Hz` : "";
  cells[6].textContent = format ? `${format.bits} bit` : "";
  cells[7].textContent = playTimeText(diagnosis.duration);
  entry.row.dataset.verdict = verdict;
}

function verdictLine({ verdict, reason }) {
  const line = element("p", "verdict");
  line.dataset.verdict = verdict;
  line.append(element("strong", "", `${verdictTitles[verdict]}: `), `${reason}.`);
  return line;
}

// The findings under the verdict; a single one whose sentence is the reason is not repeated.
function findingsList({ findings, reason }) {
  if (findings.length === 0 || (findings.length === 1 && findings[0].text === reason)) {
    return null;
  }
  const list = element("ul", "findings");
  list.setAttribute("aria-label", "Findings");
  for (const finding of findings) {
    const item = element("li");
    item.dataset.severity = finding.severity;
    item.append(
      element("span", "severity", `${verdictTitles[finding.severity] ?? "Note"}: `),
      finding.text,
    );
    if (finding.count > 1) item.append(` (${plural(finding.count, "time")})`);
    list.append(item);
  }
  return list;
}

// The file's facts in one line: length, format, channels, rate and play time.
function factsText(diagnosis, size) {
  const { format } = diagnosis;
  const parts = [byteCount(size)];
  if (format) {
    parts.push(
      format.name,
      plural(format.channels, "channel"),
      `${count(format.rate)} Hz`,
      playTimeText(diagnosis.duration),
    );
  }
  return parts.filter((part) => part !== "").join(" · ");
}

// The INFO items and bext fields, wherever in the file they stand.
function tagList({ tags, tagsLeftOut }) {
  if (tags.length === 0) return null;
  const list = element("dl", "tags");
  list.setAttribute("aria-label", "Tags");
  for (const tag of tags) {
    const term = element("dt", "", tag.name);
    term.append(" ", element("span", "tag-id", `(${tag.chunk} ${tag.id})`));
    list.append(term, element("dd", "", tag.text));
  }
  if (tagsLeftOut > 0) {
    list.append(element("dt", "", "…"), element("dd", "", `${plural(tagsLeftOut, "more tag")}`));
  }
  return list;
}

function showReport(entry, result) {
  entry.result = result;
  const { exitCode, stdout, shownOut, shownErr, bytesRead, milliseconds } = result;
  const diagnosis = JSON.parse(result.diagnosis);
  entry.diagnosis = diagnosis;
  const root = entry.root;
  root.dataset.exitCode = String(exitCode);
  root.dataset.bytesRead = String(bytesRead);
  root.dataset.milliseconds = String(milliseconds);
  root.dataset.verdict = diagnosis.verdict;
  entry.facts.textContent = factsText(diagnosis, result.size);
  fillRowSoon(entry);

  const actions = element("div", "actions");
  const copy = element("button", "copy", "Copy text");
  const saveUtf8 = element("button", "save-utf8", "Save as UTF-8 text");
  saveUtf8.title = "The report as shown, for any text editor";
  const save = element("button", "save", "Save exact report (code page 437)");
  save.title = "The exact bytes of the report: code page 437 with CR LF line ends";
  const status = element("output");
  actions.append(copy, saveUtf8, save, status);

  // The chunk map and the report fold away; an OK report among others starts folded.
  const body = element("details", "body");
  body.open = diagnosis.verdict !== "ok" || entries.length < 2;
  body.append(element("summary", "", "Chunk map and report"));
  const map = chunkMap(diagnosis, entry.name);
  if (map) body.append(map);
  body.append(reportBlock(shownOut, entry.name));

  // What a developer of the page wants to know, out of the way of the verdict.
  const run = element("details", "run");
  run.append(
    element("summary", "", "Run details"),
    element(
      "p",
      "",
      `${byteCount(bytesRead)} read · ${milliseconds.toFixed(1)} ms · exit code ${exitCode}`,
    ),
  );
  root.insertBefore(verdictLine(diagnosis), entry.facts);
  root.append(
    ...[findingsList(diagnosis), tagList(diagnosis)].filter((node) => node !== null),
    actions,
    body,
    run,
  );

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

  const name = baseName(entry.name);
  copy.onclick = () => copyText(text, status);
  save.onclick = () => saveBytes(stdout, `${name}.txt`);
  saveUtf8.onclick = () => saveBytes(utf8Text(text), `${name}.utf8.txt`);
  const plan = JSON.parse(result.repairPlan ?? "null");
  if (plan !== null && entry.file !== null) offerRepair(entry, plan, actions, status);
  root.dataset.state = "done";
  applyFilter(entry);
}

// ---- A repaired copy ----------------------------------------------------------------------

const hexBytes = (hex) => Uint8Array.from(hex.match(/../g) ?? [], (pair) => parseInt(pair, 16));

/**
 * The copy the plan describes, as a File made of slices of `original` and the plan's bytes: the
 * original's first copyLength bytes with the patches over them, the inserted bytes after its
 * first insertAt bytes. Nothing of the original is read to make it, and nothing is written.
 */
function repairedCopy(original, plan, name) {
  const patches = plan.patches
    .map(({ offset, bytes }) => ({ offset, bytes: hexBytes(bytes) }))
    .sort((a, b) => a.offset - b.offset);
  const parts = [];
  let at = 0;
  const copyTo = (end) => {
    for (const patch of patches) {
      const patchEnd = patch.offset + patch.bytes.length;
      if (patchEnd <= at || patch.offset >= end) continue;
      if (patch.offset > at) parts.push(original.slice(at, patch.offset));
      const from = Math.max(at, patch.offset);
      const to = Math.min(end, patchEnd);
      parts.push(patch.bytes.slice(from - patch.offset, to - patch.offset));
      at = to;
    }
    if (at < end) parts.push(original.slice(at, end));
    at = end;
  };
  copyTo(Math.min(plan.insertAt, plan.copyLength));
  parts.push(hexBytes(plan.inserted));
  copyTo(plan.copyLength);
  return new File(parts, name, { type: "audio/wav" });
}

// The copy is judged by the program like any file before it is offered: only a copy that
// judges OK gets its button.
function offerRepair(entry, plan, actions, status) {
  const dot = entry.name.lastIndexOf(".");
  const name = baseName(
    dot > entry.name.lastIndexOf("/")
      ? `${entry.name.slice(0, dot)}.repaired${entry.name.slice(dot)}`
      : `${entry.name}.repaired.wav`,
  );
  const copy = repairedCopy(entry.file, plan, name);
  const note = element("p", "repair-note", "Checking a repaired copy…");
  entry.root.insertBefore(note, actions);
  submit({
    file: copy,
    diagnosisOnly: true,
    done: ({ diagnosis }) => {
      const judged = JSON.parse(diagnosis);
      if (judged.verdict !== "ok") {
        note.textContent =
          `No repaired copy: with its sizes rewritten the file would still be ` +
          `${verdictTitles[judged.verdict]}: ${judged.reason}.`;
        return;
      }
      note.textContent =
        "Only the sizes are wrong: a copy with them rewritten judges OK. " +
        "Your file is not changed.";
      const save = element("button", "save-repaired", "Save repaired copy");
      save.onclick = () => {
        saveBlob(copy, name);
        status.value = `Saved ${name}.`;
      };
      actions.insertBefore(save, status);
    },
    failed: (message) => {
      note.textContent = `No repaired copy: ${message}`;
    },
  });
}

// ---- Saving and copying -------------------------------------------------------------------

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

function saveBlob(blob, name) {
  const url = URL.createObjectURL(blob);
  const link = element("a");
  link.href = url;
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(url), 60_000);
}

const saveBytes = (bytes, name, type = "text/plain") => saveBlob(new Blob([bytes], { type }), name);

// ---- The batch: counts, sorting, filter and saves -----------------------------------------

function updateSummary() {
  const counts = Object.fromEntries(verdictOrder.map((verdict) => [verdict, 0]));
  for (const entry of entries) {
    const verdict = entry.root.dataset.verdict;
    if (verdict !== undefined) counts[verdict]++;
  }
  const done = verdictOrder.reduce((sum, verdict) => sum + counts[verdict], 0);
  const waiting = entries.length - done;
  let text =
    `${plural(entries.length, "file")}: ${counts.ok} OK, ` +
    `${plural(counts.warning, "warning")}, ${plural(counts.problem, "problem")}, ` +
    `${counts["not-wave"]} not WAVE, ${counts.unreadable} unreadable`;
  if (waiting > 0) text += `; ${waiting} waiting`;
  text += ".";
  if (summary.textContent !== text) summary.textContent = text;
}

// The sorted column (0 the file's name, then `columns`) and its direction; null: newest first.
let sorting = null;
const collator = new Intl.Collator("en", { numeric: true });

function sortKey(entry, column) {
  if (column === 0) return entry.name;
  if (entry.diagnosis === null) {
    return column === 1 && entry.root.dataset.verdict === "unreadable"
      ? verdictOrder.indexOf("unreadable")
      : null;
  }
  return columns[column - 1][2](entry.diagnosis);
}

function sortRows() {
  if (sorting === null) return;
  const { column, ascending } = sorting;
  const keyed = entries.map((entry) => [sortKey(entry, column), entry]);
  keyed.sort(([a], [b]) => {
    // Files not judged yet stay at the end either way.
    if (a === null || b === null) return (a === null) - (b === null);
    const order = typeof a === "string" ? collator.compare(a, b) : a - b;
    return ascending ? order : -order;
  });
  tableBody.append(...keyed.map(([, entry]) => entry.row));
}

for (const [column, header] of table.querySelectorAll("thead th").entries()) {
  header.querySelector("button").addEventListener("click", () => {
    const ascending = sorting?.column === column ? !sorting.ascending : true;
    sorting = { column, ascending };
    for (const other of table.querySelectorAll("thead th")) other.removeAttribute("aria-sort");
    header.setAttribute("aria-sort", ascending ? "ascending" : "descending");
    sortRows();
  });
}

function applyFilter(entry) {
  const hide = hideOk.checked && entry.root.dataset.verdict === "ok";
  entry.root.hidden = hide;
  entry.row.hidden = hide;
}

// The judged files the table shows, in its order.
function shownRows() {
  const byRow = new Map(entries.map((entry) => [entry.row, entry]));
  return [...tableBody.rows]
    .map((row) => byRow.get(row))
    .filter((entry) => entry.diagnosis !== null && !entry.row.hidden);
}

function csvField(value) {
  const text = value === null || value === undefined ? "" : String(value);
  return /[",\r\n]/.test(text) ? `"${text.replace(/"/g, '""')}"` : text;
}

const csvHeader = [
  "path",
  "verdict",
  "reason",
  "format",
  "channels",
  "rate",
  "bits",
  "seconds",
  "declared seconds",
  "bytes",
];

function tableCsv() {
  const lines = [csvHeader];
  for (const { name, diagnosis: d } of shownRows()) {
    lines.push([
      name,
      d.verdict,
      d.reason,
      d.format?.name,
      d.format?.channels,
      d.format?.rate,
      d.format?.bits,
      d.duration.present,
      d.duration.declared,
      d.length,
    ]);
  }
  return lines.map((fields) => `${fields.map(csvField).join(",")}\r\n`).join("");
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

hideOk.addEventListener("change", () => entries.forEach(applyFilter));
document.getElementById("save-csv").onclick = () =>
  saveBytes(tableCsv(), "sondrax-check.csv", "text/csv");
// Each line is sondrax-check --json's for the file, as the program wrote it.
document.getElementById("save-jsonl").onclick = () =>
  saveBytes(
    shownRows()
      .map((entry) => entry.result.checkLine)
      .join(""),
    "sondrax-check.jsonl",
    "application/jsonl",
  );
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

// The names sondrax-check takes from a folder by default.
const waveName = /\.(wav|wave|bwf|rf64)$/i;

/** Files as [path, File] pairs, each its own entry. */
function addFiles(named) {
  // A folder without WAVE files gives nothing to report: say so rather than nothing at all.
  noneTaken.textContent =
    named.length === 0 ? "No WAVE files there (.wav, .wave, .bwf or .rf64 names)." : "";
  const added = named.map(([path, file]) => [createEntry(path), file]);
  addEntries(added.map(([entry]) => entry));
  for (const [entry, file] of added) addFile(entry, file);
}

// The WAVE files of a folder, by their paths inside it, in the order of their paths.
const folderFiles = (named) =>
  named.filter(([path]) => waveName.test(path)).sort(([a], [b]) => (a < b ? -1 : a > b ? 1 : 0));

// The WAVE files of a dropped folder (a FileSystemEntry), its subfolders walked to the end. A
// file or folder the browser cannot give (removed since, no permission) is passed over.
async function entryFiles(fsEntry) {
  const path = fsEntry.fullPath.replace(/^\//, "");
  try {
    if (fsEntry.isFile) {
      if (!waveName.test(path)) return [];
      return [[path, await new Promise((resolve, reject) => fsEntry.file(resolve, reject))]];
    }
    const found = [];
    const reader = fsEntry.createReader();
    // A folder's entries come a part at a time, until an empty part.
    for (;;) {
      const part = await new Promise((resolve, reject) => reader.readEntries(resolve, reject));
      if (part.length === 0) return found;
      for (const child of part) found.push(...(await entryFiles(child)));
    }
  } catch {
    return [];
  }
}

async function addDropped(items) {
  // The entries must be taken while the drop lasts; the files may be read after it.
  const dropped = [...items]
    .filter((item) => item.kind === "file")
    .map((item) => [item.webkitGetAsEntry?.() ?? null, item.getAsFile()]);
  const named = [];
  for (const [fsEntry, file] of dropped) {
    if (fsEntry?.isDirectory) {
      named.push(...folderFiles(await entryFiles(fsEntry)));
    } else if (file !== null) {
      named.push([file.name, file]);
    }
  }
  addFiles(named);
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
  addFiles([...chooser.files].map((file) => [file.name, file]));
  chooser.value = ""; // so that choosing the same file again reports it again
});

folderChooser.addEventListener("change", () => {
  addFiles(folderFiles([...folderChooser.files].map((file) => [file.webkitRelativePath, file])));
  folderChooser.value = "";
});

document.getElementById("example").onclick = () => addLinkedFiles(["example.wav"]);

// A file or folder dropped anywhere on the page is reported; the browser would otherwise open
// it. The batch table comes into view, where the new files stand first.
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
  addDropped(event.dataTransfer.items).then(() => {
    if (!batch.hidden) batch.scrollIntoView({ block: "start" });
  });
});

if (location.protocol !== "file:") {
  restore();
  startWorker();
  // After a reload the linked files' reports are among those kept.
  if (entries.length === 0) addLinkedFiles(new URLSearchParams(location.search).getAll("file"));
  navigator.serviceWorker?.register("sw.js").catch(() => {});
}
