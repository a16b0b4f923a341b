// report(input) on whatever inputs an entry knows: index.js (node) adds paths to what every
// host reads, browser.js does not. See index.d.ts and README.md.
import { bytesOrBlob, notAnInput } from "./inputs.js";
import { readRecord } from "./record.js";
import { reportRun, runText } from "./run.js";

const utf8 = new TextDecoder();

/**
 * report() for an entry whose `pathInput(path)` resolves to { name, source } for a path, or
 * null where there are no paths.
 */
export function reportOn(pathInput) {
  return async function report(input) {
    const resolved =
      typeof input === "string" && pathInput ? await pathInput(input) : bytesOrBlob(input);
    if (!resolved) throw new TypeError(notAnInput);
    const { name, source } = resolved;
    try {
      const exact = await reportRun(name, false, source, true);
      const record = readRecord(exact.record);
      source.replay?.();
      const shown = await reportRun(name, true, source);
      // After both report runs, so that the second is answered from the first's reads.
      const diagnosis = JSON.parse(
        await runText("SondraxDiagnosis", name, { input: source, write: () => {} }),
      );
      return {
        bytes: exact.stdout,
        text: utf8.decode(shown.stdout),
        stderr: utf8.decode(shown.stderr),
        exitCode: exact.exitCode,
        verdict: diagnosis.verdict,
        reason: diagnosis.reason,
        diagnosis,
        chunks: record.chunks,
        length: record.length >= 0 ? record.length : null,
      };
    } finally {
      source.close?.();
    }
  };
}
