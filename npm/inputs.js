// Files the program reads that are not paths: bytes in memory and Blobs (a browser's File).
// Each is the `input` of a run's host (see run.js).

/** A file given as bytes: nothing to open or fetch. */
export class BytesInput {
  constructor(bytes) {
    this.bytes = bytes;
  }

  open() {
    return 1;
  }

  size() {
    return this.bytes.length;
  }

  read(start, count) {
    return this.bytes.subarray(start, start + count);
  }
}

/**
 * A Blob or File, read by the slices the program asks for and no more, however long the file.
 * A worker reads a slice at once (FileReaderSync); elsewhere the read answers with a promise
 * and the run waits for it. `bytesRead` counts what was delivered.
 */
export class BlobInput {
  constructor(blob) {
    this.blob = blob;
    this.bytesRead = 0;
    this.reader = typeof FileReaderSync === "function" ? new FileReaderSync() : null;
  }

  open() {
    return 1;
  }

  size() {
    return this.blob.size;
  }

  read(start, count) {
    const slice = this.blob.slice(start, start + count);
    if (this.reader) return this.counted(new Uint8Array(this.reader.readAsArrayBuffer(slice)));
    // A NotReadableError rejects: the file changed or went away since it was chosen.
    return slice.arrayBuffer().then((buffer) => this.counted(new Uint8Array(buffer)));
  }

  counted(bytes) {
    this.bytesRead += bytes.length;
    return bytes;
  }
}

/** What report() says of an input it cannot read; README.md shows it. */
export const notAnInput =
  "report() takes a file path (under node), a Blob or File, a Uint8Array or Buffer, or an ArrayBuffer";

/** `input` as a name and a source to read, or null when it is none of these. */
export function bytesOrBlob(input) {
  if (input instanceof Uint8Array) return { name: "bytes", source: new BytesInput(input) };
  if (input instanceof ArrayBuffer) {
    return { name: "bytes", source: new BytesInput(new Uint8Array(input)) };
  }
  if (typeof Blob !== "undefined" && input instanceof Blob) {
    return { name: input.name || "blob", source: new BlobInput(input) };
  }
  return null;
}
