/**
 * How the file fared: `ok` a complete report, the sizes agreeing; `warning` complete, but the
 * RIFF size disagrees with the length, the data chunk runs past the end, or a compressed format
 * lacks its fact chunk; `problem` the report stopped on a bad file (a line "*ERROR*: ");
 * `not-wave` no RIFF or no WAVE id; `stopped` the file could not be opened or read to the end.
 */
export type Verdict = "ok" | "warning" | "problem" | "not-wave" | "stopped";

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
  verdict: Verdict;
  /** The verdict's reason in a few words of plain English. */
  reason: string;
  /** Every chunk header the walk read (at most 1000 are kept). */
  chunks: Chunk[];
  /** The file's length in bytes as the report last saw it; null when it could not be opened. */
  length: number | null;
}

/**
 * Reports on a WAVE file: a path (node; resolved against the current directory), a Blob or File
 * (browsers), or the file's bytes. The file is read by the slices the report looks at, never
 * whole. Calls may overlap: they run one after another in one instance of the program.
 */
export function report(input: string | Blob | Uint8Array): Promise<Report>;
