/**
 * The diagnosis's verdict on a file, the worst severity among its findings: `ok` a sound WAVE
 * file (findings of severity "info" at most); `warning` its samples can be played, but something
 * about it is off (a size, the byte rate, a missing fact chunk, a malformed list after the
 * samples); `problem` samples are missing or cannot be found (cut off, never finalised, no
 * format or data chunk, an empty file); `not-wave` no WAVE file at all (an MP3, AIFF, ... file);
 * `unreadable` the file could not be opened or read.
 */
export type Verdict = "ok" | "warning" | "problem" | "not-wave" | "unreadable";

/** One thing the diagnosis found; the main README lists the codes and their numbers. */
export interface Finding {
  /** A stable code, as "cut-off", "never-finalised", "riff-size". */
  code: string;
  severity: "info" | "warning" | "problem" | "not-wave" | "unreadable";
  /** The byte the finding is about; null for the file as a whole. */
  offset: number | null;
  /** How often the walk met it; offset and text are the first's. */
  count: number;
  /** One sentence of plain English. */
  text: string;
  /** Its numbers, named by the code. */
  numbers: Record<string, number>;
}

/**
 * The diagnosis: a reading of the file made by the program beside the report and independent
 * of it, with the verdict and its findings. Version 1 of the schema in the main README
 * ("The diagnosis").
 */
export interface Diagnosis {
  version: 1;
  verdict: Verdict;
  /** The chief finding's sentence, or what a sound file holds. */
  reason: string;
  /** Worst first. */
  findings: Finding[];
  /** The file's length in bytes; null when it could not be opened. */
  length: number | null;
  form: "RIFF" | "RF64" | "BW64" | null;
  riffSize: number | null;
  format: {
    offset: number;
    tag: number;
    /** As "PCM 24-bit, extensible", "IEEE float 32", "MP3". */
    name: string;
    extensible: boolean;
    /** The extensible format's sub-format tag; null for other formats or an unknown GUID. */
    subTag: number | null;
    channels: number;
    rate: number;
    byteRate: number;
    blockAlign: number;
    bits: number;
    validBits: number | null;
    channelMask: number | null;
  } | null;
  data: {
    /** Where its header starts. */
    offset: number;
    declared: number;
    /** The sample bytes the file holds. */
    present: number;
    /** How the size field relates to the samples. */
    sizing: "sized" | "never-finalised" | "placeholder" | "wrapped";
  } | null;
  /** Seconds, as the sizes declare them and of the samples present; null when not known. */
  duration: { declared: number | null; present: number | null };
  factSamples: number | null;
  /** INFO items and bext fields, wherever they stand in the file. */
  tags: { chunk: "INFO" | "bext"; id: string; name: string; text: string; offset: number }[];
  tagsLeftOut: number;
  /** Every chunk in file order, the RIFF (or RF64) header first; at most 1000 are kept. */
  chunks: {
    id: string;
    offset: number;
    /** Declared, after an RF64 file's ds64 sizes. */
    size: number;
    /** The body bytes the file holds. */
    present: number;
    /** For an odd size, whether its pad byte is there; null for an even size. */
    pad: boolean | null;
  }[];
  chunksLeftOut: number;
}

/** A chunk header the report's walk read, in file order; the RIFF header first. */
export interface Chunk {
  /** The four id bytes as characters U+0000 to U+00FF ("fmt ", "data", "LIST" ...). */
  id: string;
  /** Where the header starts in the file. */
  offset: number;
  /** The body size the header declares, as the walk used it. */
  size: number;
  /** 1; more for a run of empty (zero) headers passed over in one step. */
  headers: number;
}

/** The report on one WAVE file, as the Sondrax command line makes it. */
export interface Report {
  /**
   * Exactly what `sondrax FILE > report.txt` writes: code page 437 text with CR LF line ends,
   * which no TextDecoder reads; save the bytes as they are, or show `text`.
   */
  bytes: Uint8Array;
  /** The report as a UTF-8 terminal shows it: √ ÷ ■ ═ as such, the file's control bytes tamed. */
  text: string;
  /** The fatal error text (three lines) as a UTF-8 terminal shows it; "" when there was none. */
  stderr: string;
  /**
   * 0 after a complete report, the syntax text or a stop on a bad file (a line starting
   * "*ERROR*: "); 1 when the file could not be opened or the run ended with the fatal error text.
   */
  exitCode: 0 | 1;
  /** The diagnosis's verdict, as `diagnosis.verdict`. */
  verdict: Verdict;
  /** The chief finding's sentence, or what a sound file holds, as `diagnosis.reason`. */
  reason: string;
  /** The whole diagnosis: findings, format, data, play time, tags, chunks. */
  diagnosis: Diagnosis;
  /** Every chunk header the walk read (at most 1000 are kept). */
  chunks: Chunk[];
  /** The file's length in bytes as the report last saw it; null when it could not be opened. */
  length: number | null;
}

/**
 * Reports on a WAVE file: a path (node only; resolved against the current directory), a Blob or
 * File, or the file's bytes (a Uint8Array, a Buffer, an ArrayBuffer). The file is read by the
 * slices the report looks at, never whole. Calls may overlap: they run one after another in one
 * instance of the program. Anything else rejects with a TypeError: "report() takes a file path
 * (under node), a Blob or File, a Uint8Array or Buffer, or an ArrayBuffer".
 */
export function report(input: string | Blob | Uint8Array | ArrayBuffer): Promise<Report>;
