// The page: files chosen, dropped or linked with ?file=URL go to the program in a worker one at
// a time, and each report is shown as a console shows it.
import { consoleLines, consoleText, isErrorLine } from "./report-text.js";

const reports = document.getElementById("reports");
const loading = document.getElementById("loading");
const drop = document.getElementById("drop");
const chooser = document.getElementById("files");

// ---- The worker -------------------------------------------------------------------------

const queue = []; // views waiting for their report, in order
let worker = null;
let running = null; // the view whose file the worker has
let unavailable = false; // the program could not be loaded

function startWorker() {
  worker = new Worker("worker.js");
  worker.onmessage = ({ data }) => {
    if (data.ready) {
      loading.hidden = true;
      return;
    }
    const view = running;
    running = null;
    if (data.failure !== undefined) {
      // The program stopped on this file; the next file gets a fresh worker.
      showFailure(view, `The program failed on this file: ${data.failure}`);
      worker.terminate();
      startWorker();
    } else {
      showReport(view, data);
    }
    next();
  };
  worker.onerror = (event) => {
    event.preventDefault();
    unavailable = true;
    loading.hidden = false;
    loading.textContent = "The program could not be loaded. Reload the page to try again.";
    loading.classList.add("failure");
    for (const view of [running, ...queue.splice(0)]) {
      if (view !== null) showFailure(view, "The program could not be loaded.");
    }
    running = null;
  };
}

function next() {
  if (running !== null || queue.length === 0) return;
  running = queue.shift();
  worker.postMessage({ file: running.file });
}

// ---- One view per file ------------------------------------------------------------------

function element(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined) node.textContent = text;
  return node;
}

function byteCount(count) {
  return `${count.toLocaleString("en-US")} byte${count === 1 ? "" : "s"}`;
}

function createView(name) {
  const view = { name, file: null };
  view.root = element("article", "report");
  view.root.dataset.state = "waiting";
  view.root.append(element("h2", "", name));
  view.facts = element("p", "facts", "Waiting…");
  view.root.append(view.facts);
  return view;
}

function addFile(view, file) {
  if (unavailable) {
    showFailure(view, "The program could not be loaded.");
    return;
  }
  view.file = file;
  view.facts.textContent = `${byteCount(file.size)} · reading…`;
  queue.push(view);
  next();
}

function showFailure(view, message) {
  view.root.dataset.state = "failed";
  view.facts.textContent = message;
  view.facts.classList.add("failure");
}

// The report text, one line after the other; the lines that name a fault of the file stand out.
function reportBlock(text) {
  const block = element("pre", "text");
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

function showReport(view, { exitCode, stdout, shownOut, shownErr, bytesRead, milliseconds }) {
  const root = view.root;
  root.dataset.exitCode = String(exitCode);
  root.dataset.bytesRead = String(bytesRead);
  view.facts.textContent =
    `${byteCount(view.file.size)} · ${byteCount(bytesRead)} read · ` +
    `${milliseconds.toFixed(1)} ms · exit code ${exitCode}`;

  const actions = element("div", "actions");
  const copy = element("button", "copy", "Copy text");
  const save = element("button", "save", "Save report");
  save.title = "The exact bytes of the report: code page 437 with CR LF line ends";
  const status = element("output");
  actions.append(copy, save, status);
  root.append(actions, reportBlock(shownOut));

  // Copying gives the text as shown, the fatal error text included, as a console shows both.
  let text = consoleText(shownOut);
  if (shownErr.length > 0) {
    root.append(element("pre", "fatal", consoleText(shownErr)));
    text += consoleText(shownErr);
  }

  copy.onclick = () => copyText(text, status);
  save.onclick = () => saveBytes(stdout, `${view.name}.txt`);
  root.dataset.state = "done";
}

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

// ---- Where files come from ----------------------------------------------------------------

function addFiles(files) {
  const batch = document.createDocumentFragment();
  const added = [];
  for (const file of files) {
    const view = createView(file.name);
    batch.append(view.root);
    added.push([view, file]);
  }
  // The newest files stand first, right under the place they were dropped.
  reports.prepend(batch);
  for (const [view, file] of added) addFile(view, file);
}

// ?file=URL (repeatable): files of this page's own site, for links and tests.
async function addLinkedFiles(links) {
  const batch = [];
  for (const link of links) {
    const url = new URL(link, location.href);
    const name = decodeURIComponent(url.pathname.split("/").pop() || url.pathname);
    const view = createView(name);
    reports.append(view.root);
    batch.push([view, url]);
  }
  for (const [view, url] of batch) {
    if (url.origin !== location.origin) {
      showFailure(view, "Only files from this page's own site are read.");
      continue;
    }
    try {
      const response = await fetch(url);
      if (!response.ok) throw new Error(`${response.status} ${response.statusText}`);
      addFile(view, new File([await response.blob()], view.name));
    } catch (error) {
      showFailure(view, `The file could not be fetched: ${error.message}`);
    }
  }
}

chooser.addEventListener("change", () => {
  addFiles(chooser.files);
  chooser.value = ""; // so that choosing the same file again reports it again
});

// A file dropped anywhere on the page is reported; the browser would otherwise open it.
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
  if (event.dataTransfer.files.length > 0) addFiles(event.dataTransfer.files);
});

startWorker();
addLinkedFiles(new URLSearchParams(location.search).getAll("file"));
