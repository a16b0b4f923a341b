// The record of one run, as the program's SondraxRecord gives it, and its verdict in plain
// English. Shared by the page and any other JavaScript host of the module: it needs no DOM.

/** The stop messages of the report, by the record's name for each. */
export const stopMessages = {
  "no-riff-id": "*ERROR*: File has no RIFF ID.",
  "no-wave-id": "*ERROR*: RIFF file has no WAVE ID.",
  "no-format": "*ERROR*: Format chunk not found in WAVE file.",
  "no-data": "*ERROR*: Data chunk not found in WAVE file.",
  "broken-data": "*ERROR*: Possibly broken wave file.",
  "negative-chunk-size": "*ERROR*: Negative chunk size in WAVE file.",
  "negative-item-size": "*ERROR*: Negative INFO item size in WAVE file.",
};

/** A short title for each verdict. */
export const verdictTitles = {
  ok: "OK",
  warning: "Warning",
  problem: "Problem",
  "not-wave": "Not a WAVE file",
  stopped: "Stopped",
};

/**
 * The record from the JSON text of SondraxRecord: { verdict, end ("complete", "stopped",
 * "fatal", "open-failed"), stop (a key of stopMessages, or null), stopMessage, error (the error
 * number, 0 for none), errorClass, length, form, sizeExact, factMissing, chunks: [{ offset, id,
 * size, headers }], chunksLeftOut, format ({ tag, channels, rate, byteRate, bits, codec }, or
 * null before the format chunk was read), playTime (seconds as the report shows them, or null) }.
 * Ids are strings of four characters U+0000 to U+00FF, the file's bytes.
 */
export function readRecord(json) {
  const raw = JSON.parse(json);
  return {
    verdict: raw.verdict,
    end: raw.end,
    stop: raw.stop || null,
    stopMessage: stopMessages[raw.stop] ?? null,
    error: raw.error,
    errorClass: raw.errorClass || null,
    length: raw.length,
    form: raw.form,
    sizeExact: raw.sizeExact === 1,
    factMissing: raw.factMissing === 1,
    chunks: raw.chunks,
    chunksLeftOut: raw.chunksLeftOut,
    format: raw.format ?? null,
    playTime: raw.playTime ?? null,
  };
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
const bytes = (n) => `${count(n)} byte${n === 1 ? "" : "s"}`;

// What a file that starts so probably is.
function lookalike(id) {
  const starts = [
    ["ID3", "an MP3 file"],
    ["\xff\xfb", "an MP3 file"],
    ["\xff\xf3", "an MP3 file"],
    ["\xff\xf2", "an MP3 file"],
    ["\x89PNG", "a PNG image"],
    ["fLaC", "a FLAC file"],
    ["OggS", "an Ogg file"],
    ["FORM", "an AIFF file"],
    ["RIFX", "a big-endian RIFF file"],
    ["%PDF", "a PDF document"],
    ["PK\x03\x04", "a ZIP archive"],
    ["\xff\xd8\xff", "a JPEG image"],
  ];
  const found = starts.find(([start]) => id.startsWith(start));
  return found ? `; it looks like ${found[1]}` : "";
}

// The data chunk the report shows: the first after the format chunk (one before it is passed
// over by the format search, as any chunk is).
function dataChunk(record) {
  const format = record.chunks.findIndex((chunk, i) => i > 0 && chunk.id === "fmt ");
  return record.chunks.find((chunk, i) => i > format && format > 0 && chunk.id === "data");
}

// The data chunk's bytes beyond the end of the file, 0 when it fits.
function dataOverrun(record) {
  const data = dataChunk(record);
  return data ? Math.max(0, declaredEnd(data) - record.length) : 0;
}

function sizeDisagreement(record) {
  const riff = record.chunks[0];
  if (riff.size === 0) return "the RIFF size is 0: the writer never filled it in";
  const difference = riff.size + 8 - record.length;
  return difference > 0
    ? `the file is ${bytes(difference)} shorter than its RIFF header says (cut off?)`
    : `the file is ${bytes(-difference)} longer than its RIFF header says`;
}

// Why a read went past the end of the file.
function shortRead(record) {
  if (record.length === 0) return "the file is empty";
  if (record.length < 12)
    return `the file is only ${bytes(record.length)}, too short for a RIFF header`;
  const last = record.chunks[record.chunks.length - 1];
  const end = record.chunks.length > 1 ? declaredEnd(last) : 12;
  if (end > record.length) return `the file ends inside its "${idText(last.id)}" chunk`;
  if (end + (end % 2) >= record.length)
    return "the file ends where the next chunk header should be";
  return "the file ends inside a chunk header";
}

const errorReasons = {
  2: "the file is gone: choose it again",
  5: "the browser may not read this file",
  1117: "the file changed after you chose it: choose it again",
};

/** The verdict's reason in a few words of plain English. */
export function verdictReason(record) {
  switch (record.verdict) {
    case "ok":
      return "the sizes agree and the report is complete";
    case "warning": {
      const reasons = [];
      const overrun = dataOverrun(record);
      if (overrun > 0) reasons.push(`data chunk runs ${bytes(overrun)} past the end of the file`);
      if (!record.sizeExact && overrun === 0) reasons.push(sizeDisagreement(record));
      if (record.factMissing)
        reasons.push("no fact chunk, which a format other than PCM or float needs");
      return reasons.join("; ");
    }
    case "not-wave":
      return record.stop === "no-wave-id"
        ? `a RIFF file of the form "${idText(record.form)}", not WAVE`
        : `the file does not start with "RIFF"${lookalike(record.chunks[0]?.id ?? "")}`;
    case "problem":
      switch (record.stop) {
        case "no-format":
          return 'no format ("fmt ") chunk in the file';
        case "no-data":
          return "no data chunk in the file";
        case "broken-data": {
          const data = dataChunk(record);
          if (data.size === 0) return "the data chunk is empty";
          if (data.size < 0) return "the data chunk's size is negative";
          return `data chunk runs ${bytes(declaredEnd(data) - record.length)} past the end of the file`;
        }
        case "negative-chunk-size":
          return "a chunk declares 2 GiB or more, which a file this small cannot hold";
        case "negative-item-size":
          return "an INFO item declares a negative size";
        default:
          return "the report stopped";
      }
    default:
      if (record.errorClass === "EZeroDivide" || record.errorClass === "EInvalidOp") {
        return "the format chunk gives a byte rate of 0, so no play time can be computed";
      }
      if (record.end === "open-failed")
        return errorReasons[record.error] ?? "the file could not be opened";
      if (record.error === 100) return shortRead(record);
      return errorReasons[record.error] ?? `the program stopped with error ${record.error}`;
  }
}

const fatalMessages = {
  EZeroDivide: "Floating-point division by zero",
  EInvalidOp: "Invalid floating-point operation",
};
const ioMessages = {
  2: "File not found",
  5: "File access denied",
  100: "Read past the end of the file",
  1117: "Input/output error: the file changed or could not be read",
};

/** The fatal error text of a stopped run in English, or null when there is none. */
export function fatalGloss(record) {
  if (record.end !== "fatal") return null;
  return (
    fatalMessages[record.errorClass] ??
    ioMessages[record.error] ??
    `Input/output error ${record.error}`
  );
}
