// The chunk map: the page's own drawing of a run's record, apart from the report. A bar over
// the file's length with each chunk the walk met at its offset; a declared size that runs past
// the end of the file is hatched and labelled; the RIFF size is set against the real length.
// Positions are percentages of the width, so the map fits any screen without scaling its text.
import { count, declaredEnd, idText } from "./record.js";

const SVG = "http://www.w3.org/2000/svg";

function svgElement(tag, attributes, text) {
  const node = document.createElementNS(SVG, tag);
  for (const [name, value] of Object.entries(attributes)) node.setAttribute(name, String(value));
  if (text !== undefined) node.textContent = text;
  return node;
}

// The colour class of a chunk: the ones the report looks for, the rest alike.
function kind(chunk) {
  if (chunk.headers > 1) return "zeros";
  return { "fmt ": "fmt", data: "data", LIST: "list", fact: "fact" }[chunk.id] ?? "other";
}

/** One line of the text alternative for a chunk. */
export function chunkText(chunk, length) {
  const id =
    chunk.headers > 1
      ? `${count(chunk.headers)} empty headers (zero bytes)`
      : `"${idText(chunk.id)}"`;
  let text = `${id} at byte ${count(chunk.offset)}`;
  if (chunk.headers === 1) text += `, declares ${count(chunk.size)} bytes`;
  const beyond = declaredEnd(chunk) - length;
  if (beyond > 0 && chunk.offset > 0) text += `, ${count(beyond)} past the end of the file`;
  if (chunk.offset === 0) {
    const difference = chunk.size + 8 - length;
    text +=
      difference === 0
        ? " (the file's length exactly)"
        : `, the file is ${count(Math.abs(difference))} bytes ${difference > 0 ? "shorter" : "longer"}`;
  }
  return text;
}

/**
 * The map of `record` for the file `name`: a figure with the SVG drawing and, as its text
 * alternative, a list of every chunk with id, offset and size.
 */
export function chunkMap(record, name) {
  const { chunks, length } = record;
  // A file that is no RIFF file has no chunks to draw.
  if (chunks.length === 0 || length <= 0 || chunks[0].id !== "RIFF") return null;
  const figure = document.createElement("figure");
  figure.className = "map";

  const walked = chunks.slice(1);
  const riffEnd = chunks[0].size + 8;
  const span = Math.max(length, riffEnd, ...walked.map(declaredEnd));
  const at = (offset) => `${((Math.max(0, offset) / span) * 100).toFixed(3)}%`;
  // Every chunk and every overrun stays visible, however small against the whole.
  const width = (from, to) => `${(Math.max(0.6, ((to - from) / span) * 100)).toFixed(3)}%`;

  const svg = svgElement("svg", { width: "100%", height: 74, role: "img", class: "map-drawing" });
  const title = svgElement(
    "title",
    {},
    `Chunk map of ${name}: ${count(walked.length + record.chunksLeftOut)} chunks over ` +
      `${count(length)} bytes`,
  );
  svg.append(title);
  const defs = svgElement("defs", {});
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
  defs.append(hatch);
  svg.append(defs);

  // The file itself, and the RIFF size against it.
  svg.append(svgElement("rect", { x: 0, y: 14, width: at(length), height: 26, class: "file" }));
  svg.append(
    svgElement("rect", {
      x: 0,
      y: 46,
      width: at(riffEnd),
      height: 6,
      class: riffEnd === length ? "riff" : "riff off",
      "data-id": "RIFF",
    }),
  );
  svg.append(
    svgElement(
      "text",
      { x: 0, y: 66, class: "label" },
      `RIFF size ${riffEnd === length ? "= length" : riffEnd > length ? "> length" : "< length"}`,
    ),
  );

  for (const chunk of walked) {
    const end = declaredEnd(chunk);
    const rect = svgElement("rect", {
      x: at(chunk.offset),
      y: 16,
      width: width(chunk.offset, Math.min(end, length)),
      height: 22,
      class: `chunk ${kind(chunk)}`,
      "data-id": chunk.headers > 1 ? "" : idText(chunk.id),
      "data-offset": chunk.offset,
    });
    svg.append(rect);
    if (end > length) {
      svg.append(
        svgElement("rect", {
          x: at(length),
          y: 16,
          width: width(length, end),
          height: 22,
          fill: `url(#${hatch.id})`,
          class: "beyond",
        }),
      );
      svg.append(
        svgElement(
          "text",
          { x: "100%", y: 11, "text-anchor": "end", class: "label" },
          `${idText(chunk.id)}: ${count(end - length)} bytes past the end`,
        ),
      );
    }
    if ((end - chunk.offset) / span > 0.12 && chunk.headers === 1) {
      svg.append(
        svgElement(
          "text",
          {
            x: at(chunk.offset),
            dx: 4,
            y: 32,
            class: "label inside",
          },
          idText(chunk.id),
        ),
      );
    }
  }
  svg.append(svgElement("line", { x1: at(length), x2: at(length), y1: 12, y2: 56, class: "end" }));
  svg.append(
    svgElement(
      "text",
      {
        x: at(length),
        y: 66,
        "text-anchor": length / span < 0.5 ? "start" : "end",
        class: "label",
      },
      `end of file: ${count(length)} bytes`,
    ),
  );

  const caption = document.createElement("figcaption");
  caption.textContent = "Chunk map, drawn by this page from the walk (not part of the report)";
  const list = document.createElement("details");
  list.className = "map-text";
  const summary = document.createElement("summary");
  const ids = [
    ...new Set(walked.map((chunk) => (chunk.headers > 1 ? "(zeros)" : idText(chunk.id).trimEnd()))),
  ];
  summary.textContent =
    `Chunks as text: RIFF${ids.length > 0 ? ", " : ""}${ids.slice(0, 8).join(", ")}` +
    `${ids.length > 8 ? " …" : ""}`;
  const items = document.createElement("ol");
  for (const chunk of chunks) {
    const item = document.createElement("li");
    item.dataset.kind = chunk.offset === 0 ? "riff" : kind(chunk);
    item.textContent = chunkText(chunk, length);
    items.append(item);
  }
  if (record.chunksLeftOut > 0) {
    const item = document.createElement("li");
    item.textContent = `and ${count(record.chunksLeftOut)} more headers, not listed`;
    items.append(item);
  }
  list.append(summary, items);
  figure.append(caption, svg, list);
  return figure;
}
