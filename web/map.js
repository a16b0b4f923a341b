// The chunk map: the page's drawing of the diagnosis's chunks. A bar over the file's length
// with each chunk at its offset; what a size declares past the end of the file is hatched; the
// file's bytes that no chunk claims stay grey; the RIFF size is a thin bar set against the
// length. The numbers themselves (offsets, declared sizes, bytes present) are the diagnosis's,
// listed as text. Positions are percentages of the width, so the map fits any screen without
// scaling its text.

const SVG = "http://www.w3.org/2000/svg";

// One formatter for every number: toLocaleString makes a new one each time it is called.
const grouped = new Intl.NumberFormat("en-US");
/** A number with its thousands grouped, as "1,216". */
export const count = (n) => grouped.format(n);

/** An id as text a person can read: the bytes up to the first zero, others as \xNN. */
export function idText(id) {
  const cut = id.indexOf("\0");
  const shown = cut < 0 ? id : id.slice(0, cut);
  return shown.replace(
    /[^\x20-\x7e]/g,
    (c) => `\\x${c.charCodeAt(0).toString(16).padStart(2, "0")}`,
  );
}

function svgElement(tag, attributes, text) {
  const node = document.createElementNS(SVG, tag);
  for (const [name, value] of Object.entries(attributes)) node.setAttribute(name, String(value));
  if (text !== undefined) node.textContent = text;
  return node;
}

function htmlElement(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined) node.textContent = text;
  return node;
}

// The colour class of a chunk: the ones a reader of the file looks for, the rest alike.
function kind(chunk) {
  return (
    { "fmt ": "fmt", data: "data", LIST: "list", bext: "list", fact: "fact" }[chunk.id] ?? "other"
  );
}

// The narrowest the drawing gets (a 375 px screen less the page's margins) and what a label's
// characters take there: a chunk is labelled only where its label fits inside it at that width,
// so no label runs into the next chunk's at any width.
const NARROWEST = 300;
const labelFits = (text, fraction) => text.length * 7.5 + 8 <= fraction * NARROWEST;

/** One line of the text alternative for a chunk, in the diagnosis's numbers. */
export function chunkText(chunk) {
  let text = `"${idText(chunk.id)}" at byte ${count(chunk.offset)}: declares ${count(chunk.size)} bytes`;
  if (chunk.present !== chunk.size) text += `, ${count(chunk.present)} present`;
  if (chunk.pad === false) text += ", no pad byte";
  return text;
}

// What the colours and marks mean, beside the drawing.
const legendItems = [
  ["riff", "RIFF header; the thin bar is the RIFF size, red where it is not the file's"],
  ["fmt", "format"],
  ["data", "samples"],
  ["list", "tags (LIST, bext)"],
  ["fact", "fact"],
  ["other", "other chunks"],
  ["file", "grey: bytes of the file no chunk claims"],
  ["beyond", "hatched: declared past the end of the file"],
];

function legend() {
  const list = htmlElement("ul", "map-legend");
  for (const [key, text] of legendItems) {
    const item = htmlElement("li");
    const swatch = htmlElement("span", `swatch ${key}`);
    swatch.setAttribute("aria-hidden", "true");
    item.append(swatch, text);
    list.append(item);
  }
  return list;
}

/**
 * The map of the diagnosis `diagnosis` for the file `name`: a figure with the SVG drawing, its
 * legend and, as its text alternative, a list of every chunk with id, offset and sizes.
 */
export function chunkMap(diagnosis, name) {
  const { chunks, length } = diagnosis;
  // A file that is no RIFF file has no chunks to draw.
  if (chunks.length === 0 || length <= 0) return null;
  const figure = htmlElement("figure", "map");
  const [riff, ...walked] = chunks;
  const declaredEnd = (chunk) => chunk.offset + 8 + chunk.size;
  const riffEnd = declaredEnd(riff);
  // A size left as a streaming writer's placeholder declares gigabytes: the drawing shows up to
  // twice the file's length, the list the whole of it.
  const span = Math.min(Math.max(length, ...chunks.map(declaredEnd)), 2 * length);
  const fraction = (offset) => Math.min(1, Math.max(0, offset) / span);
  const at = (offset) => `${(fraction(offset) * 100).toFixed(3)}%`;
  // Every chunk and every overrun stays visible, however small against the whole.
  const width = (from, to) => `${Math.max(0.6, (fraction(to) - fraction(from)) * 100).toFixed(3)}%`;

  const svg = svgElement("svg", { width: "100%", height: 58, role: "img", class: "map-drawing" });
  svg.append(
    svgElement(
      "title",
      {},
      `Chunk map of ${name}: ${count(walked.length + diagnosis.chunksLeftOut)} chunks in ` +
        `${count(length)} bytes`,
    ),
  );
  const hatch = svgElement("pattern", {
    id: `hatch-${Math.random().toString(36).slice(2)}`,
    width: 6,
    height: 6,
    patternUnits: "userSpaceOnUse",
    patternTransform: "rotate(45)",
  });
  hatch.append(
    svgElement("rect", { width: 6, height: 6, class: "hatch-back" }),
    svgElement("line", { x1: 0, y1: 0, x2: 0, y2: 6, class: "hatch-line" }),
  );
  const defs = svgElement("defs", {});
  defs.append(hatch);
  svg.append(defs);

  // The file itself, grey where no chunk lies over it; the RIFF size against it below.
  svg.append(svgElement("rect", { x: 0, y: 8, width: at(length), height: 26, class: "file" }));
  svg.append(
    svgElement("rect", {
      x: 0,
      y: 42,
      width: at(riffEnd),
      height: 6,
      class: riffEnd === length ? "riff" : "riff off",
      "data-id": "RIFF",
    }),
  );
  const beyond = (from, to) =>
    svgElement("rect", {
      x: at(from),
      y: 10,
      width: width(from, to),
      height: 22,
      fill: `url(#${hatch.id})`,
      class: "beyond",
    });
  if (riffEnd > length) svg.append(beyond(length, riffEnd));

  // The RIFF header and form, before the first chunk.
  svg.append(
    svgElement("rect", { x: 0, y: 10, width: width(0, 12), height: 22, class: "chunk riff" }),
  );
  // Samples whose size was never written (never finalised, a streaming writer's placeholder)
  // are drawn as far as the diagnosis finds them, not as the size declares.
  const { data } = diagnosis;
  const unsized = (chunk) =>
    data !== null && data.sizing !== "sized" && chunk.offset === data.offset;
  for (const chunk of walked) {
    const end = unsized(chunk) ? chunk.offset + 8 + data.present : declaredEnd(chunk);
    const shownEnd = Math.min(end, length);
    svg.append(
      svgElement("rect", {
        x: at(chunk.offset),
        y: 10,
        width: width(chunk.offset, shownEnd),
        height: 22,
        class: `chunk ${kind(chunk)}`,
        "data-id": idText(chunk.id),
        "data-offset": chunk.offset,
      }),
    );
    if (end > length) svg.append(beyond(length, end));
    const label = idText(chunk.id).trimEnd();
    if (labelFits(label, fraction(shownEnd) - fraction(chunk.offset))) {
      svg.append(
        svgElement("text", { x: at(chunk.offset), dx: 4, y: 26, class: "label inside" }, label),
      );
    }
  }
  svg.append(svgElement("line", { x1: at(length), x2: at(length), y1: 4, y2: 52, class: "end" }));

  const caption = htmlElement("figcaption", "", `Chunk map: ${count(length)} bytes`);
  const list = htmlElement("details", "map-text");
  const ids = [...new Set(walked.map((chunk) => idText(chunk.id).trimEnd()))];
  list.append(
    htmlElement(
      "summary",
      "",
      `Chunks as text: RIFF${ids.length > 0 ? ", " : ""}${ids.slice(0, 8).join(", ")}` +
        `${ids.length > 8 ? " …" : ""}`,
    ),
  );
  const items = htmlElement("ol");
  for (const chunk of chunks) {
    const item = htmlElement("li", "", chunkText(chunk));
    item.dataset.kind = chunk === riff ? "riff" : kind(chunk);
    items.append(item);
  }
  if (diagnosis.chunksLeftOut > 0) {
    items.append(htmlElement("li", "", `and ${count(diagnosis.chunksLeftOut)} more, not listed`));
  }
  list.append(items);
  figure.append(caption, svg, legend(), list);
  return figure;
}
