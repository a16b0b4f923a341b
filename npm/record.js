// What the page shows of a file beside its report, as the program's module gives it: the run
// record's chunks (SondraxRecord), which the chunk map draws, and the titles of the
// diagnosis's verdicts (SondraxDiagnosis), which judges the file. Shared by the page and any
// other JavaScript host of the module: it needs no DOM.

/** A short title for each verdict of the diagnosis. */
export const verdictTitles = {
  ok: "OK",
  warning: "Warning",
  problem: "Problem",
  "not-wave": "Not a WAVE file",
  unreadable: "Unreadable",
};

/**
 * The chunks of the record from the JSON text of SondraxRecord: { length, chunks: [{ offset,
 * id, size, headers }], chunksLeftOut }. Ids are strings of four characters U+0000 to U+00FF,
 * the file's bytes. The record keeps the first 1,000 headers the report's walk read.
 */
export function readRecord(json) {
  const { length, chunks, chunksLeftOut } = JSON.parse(json);
  return { length, chunks, chunksLeftOut };
}

/** An id as text a person can read: the bytes up to the first zero, others as \xNN. */
export function idText(id) {
  const cut = id.indexOf("\0");
  const shown = cut < 0 ? id : id.slice(0, cut);
  return shown.replace(
    /[^\x20-\x7e]/g,
    (c) => `\\x${c.charCodeAt(0).toString(16).padStart(2, "0")}`,
  );
}

/** Where the chunk's body ends as its header declares it (a zero run: after its last header). */
export const declaredEnd = (chunk) =>
  chunk.headers > 1 ? chunk.offset + 8 * chunk.headers : chunk.offset + 8 + chunk.size;

// One formatter for every number: toLocaleString makes a new one each time it is called.
const grouped = new Intl.NumberFormat("en-US");
/** A number with its thousands grouped, as "1,216". */
export const count = (n) => grouped.format(n);
