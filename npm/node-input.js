// A file on disk as the program's input under node. node's errors go to the program as they
// are thrown: it makes its own error numbers of them (see run.js).
import { closeSync, constants, fstatSync, openSync, readSync } from "node:fs";

import { joined } from "./run.js";

let scratch = new Uint8Array(1 << 16);

// One array of the parts, or the part itself when there is one.
const joinedParts = (parts) => (parts.length === 1 ? parts[0] : joined(parts));

/**
 * The file at `path`, opened when the program opens it and read by the slices it asks for.
 * What the first run asked and got is noted, and a second run on the same file (the report as
 * a terminal shows it) is answered from the notes while it asks the same: it costs no reads
 * and sees the same bytes, even of a file that is still being written.
 */
export class FileInput {
  /** `keep`: note the calls for a second run (a single run need not). */
  constructor({ keep = true } = {}) {
    this.keep = keep;
    this.fd = -1;
    this.failure = null;
    this.length = null;
    this.known = null; // the length last looked at, until the next read
    this.calls = []; // [what, start, count, answer] of the first run
    this.replayed = -1; // in a second run, the calls answered from the notes so far
  }

  open(path) {
    if (this.fd >= 0) return 1;
    if (this.failure) throw this.failure;
    try {
      // O_NONBLOCK: a FIFO does not wait for a writer; only a regular file is reported on.
      const fd = openSync(path, constants.O_RDONLY | constants.O_NONBLOCK | constants.O_NOCTTY);
      const info = fstatSync(fd);
      if (!info.isFile()) {
        closeSync(fd);
        throw Object.assign(new Error(`${path} is not a regular file`), { code: "EACCES" });
      }
      this.fd = fd;
      this.known = info.size;
      return 1;
    } catch (error) {
      this.failure = error;
      throw error;
    }
  }

  /** Starts the second run: the first run's calls answer it while it asks the same. */
  replay() {
    this.replayed = 0;
  }

  noted(what, start, count, ask) {
    if (this.replayed >= 0) {
      const call = this.calls[this.replayed];
      if (call && call[0] === what && call[1] === start && call[2] === count) {
        this.replayed += 1;
        return call[3];
      }
      this.replayed = -1;
    }
    const answer = ask();
    if (this.keep && this.replayed < 0) this.calls.push([what, start, count, answer]);
    return answer;
  }

  // Asked again whenever the walk reaches the end it knows: a file still being written grows.
  // Until a read has been made since the length was last looked at, that length stands: the
  // walk asks twice in a row at places, and a system call a question is most of a small
  // file's cost.
  size() {
    this.length = this.noted("size", 0, 0, () => {
      this.known ??= fstatSync(this.fd).size;
      return this.known;
    });
    return this.length;
  }

  // Into one buffer for all reads, which the module copies from at once; a noted read keeps a
  // copy of just the bytes it got. A read of bytes the noted reads hold already (the diagnosis
  // reads the file again from its start) is put together from them: the same bytes the
  // report saw, without a system call.
  read(start, count) {
    return this.noted("read", start, count, () => {
      const held = this.fromNotes(start, count);
      if (held) return held;
      this.known = null;
      if (scratch.length < count) scratch = new Uint8Array(count);
      const bytes = scratch.subarray(0, readSync(this.fd, scratch, 0, count, start));
      return this.keep ? bytes.slice() : bytes;
    });
  }

  // The bytes from `start` on, `count` of them or up to where a noted read found the end of
  // the file, when the noted reads hold all of them; else null.
  fromNotes(start, count) {
    const reads = this.calls.filter(([what]) => what === "read");
    const parts = [];
    let at = start;
    while (at < start + count) {
      const held = reads.find(([, from, , bytes]) => from <= at && at < from + bytes.length);
      if (!held) {
        const atEnd = reads.some(
          ([, from, asked, bytes]) => bytes.length < asked && from + bytes.length === at,
        );
        return atEnd && at > start ? joinedParts(parts) : null;
      }
      const [, from, , bytes] = held;
      const piece = bytes.subarray(at - from, Math.min(bytes.length, start + count - from));
      parts.push(piece);
      at += piece.length;
    }
    return joinedParts(parts);
  }

  close() {
    if (this.fd >= 0) closeSync(this.fd);
    this.fd = -1;
  }
}
