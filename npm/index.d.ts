/** The report on one WAVE file, as the Sondrax command line makes it. */
export interface Report {
  /**
   * Exactly what `sondrax FILE > report.txt` writes: code page 437 text with CR LF line ends
   * (`new TextDecoder("ibm437")` is not in every runtime; save the bytes as they are).
   */
  bytes: Uint8Array;
  /** The report as a UTF-8 terminal shows it: √ ÷ ■ ═ as such, the file's control bytes made harmless. */
  text: string;
  /** The fatal error text (three lines) as a UTF-8 terminal shows it; "" when there was none. */
  stderr: string;
  /**
   * 0 after a complete report, the syntax text or a stop on a bad file (a line starting
   * "*ERROR*: "); 1 when the file could not be opened or the run ended with the fatal error text.
   */
  exitCode: 0 | 1;
  /** The file's length in bytes as the report last saw it; null when it could not be opened. */
  length: number | null;
}

/**
 * Reports on a WAVE file: a path (node; resolved against the current directory), a Blob or File
 * (browsers), or the file's bytes. The file is read by the slices the report looks at, never
 * whole. Calls may overlap: they run one after another in one instance of the program.
 */
export function report(input: string | Blob | Uint8Array): Promise<Report>;
