// The record of the last report run, as the module gives it (SondraxRecord): how the run
// ended, the file's length and the chunk headers the report's walk read, which report() returns
// beside the diagnosis.

/**
 * The chunks of the record from the JSON text of SondraxRecord: { length, chunks: [{ offset,
 * id, size, headers }], chunksLeftOut }. Ids are strings of four characters U+0000 to U+00FF,
 * the file's bytes. The record keeps the first 1,000 headers the report's walk read.
 */
export function readRecord(json) {
  const { length, chunks, chunksLeftOut } = JSON.parse(json);
  return { length, chunks, chunksLeftOut };
}
