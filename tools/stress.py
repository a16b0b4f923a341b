#!/usr/bin/env python3
"""Runs the real sondrax executable on many mutated WAVE files and checks every run.

Usage: tools/stress.py --binary build-asan/sondrax [--count 10000] [--seed 1] [--jobs 2]

The files start from the real files of tests/data and the composed seeds of
fuzz/make-seeds.py. Each mutant gets one to three mutations: a truncation, a size field
rewritten (negative, zero, odd, wrapping past 2^31, pointing back at its own header ...), an id
corrupted, chunks reordered, duplicated, dropped or nested, or bytes overwritten. Every run has
a time limit, and is checked for what any file must give:
  - no death by a signal, no sanitizer report, an exit code of 0 or 1, within the time limit;
  - the report starts with the banner; exit code 0 comes without any error text, exit code 1
    with the three-line fatal error text;
  - the input file's bytes and modification time are unchanged.
A mutant that breaks one of these is kept under --keep for reproduction. Prints the number of
runs, the exit codes seen, crashes, timeouts and other failures; exits 1 if any occurred.
"""
import argparse
import collections
import concurrent.futures
import importlib.util
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
BANNER = b" " * 23 + b"Sondrax\r\n" + b" " * 23 + b"\xcd" * 7 + b"\r\n\r\n"
IDS = [b"RIFF", b"WAVE", b"fmt ", b"fact", b"data", b"LIST", b"INFO", b"JUNK", b"INAM",
       b"ICMT", b"adtl", b"\0\0\0\0", b"fmt\0", b"DATA", b"\x1b[2J", b"\xff\xfe\xfd\xfc"]
SIZE_EDGES = [0, 1, 2, 3, 4, 7, 8, 16, 17, 18, 39, 40, 254, 255, 256, 274, 275,
              0xFFFFFFFF, 0xFFFFFFFC, 0xFFFFFFF8, 0xFFFFFFF4, 0xFFFFFFF0, 0x80000000,
              0x80000001, 0x7FFFFFFF, 0x7FFFFFF8, 0x7FFFFF00, 0x0000FFFF, 0x00010000]


def seeds():
    files = {p.name: p.read_bytes() for p in sorted((ROOT / "tests" / "data").glob("*.wav"))}
    # Loaded from its path, the seed module would leave a compiled copy in fuzz/__pycache__/.
    sys.dont_write_bytecode = True
    source = importlib.util.spec_from_file_location("make_seeds", ROOT / "fuzz" / "make-seeds.py")
    module = importlib.util.module_from_spec(source)
    source.loader.exec_module(module)
    files.update({name + ".wav": data for name, data in module.SEEDS.items()})
    return files


def chunks(data, start=12, end=None):
    """The chunks from `start` on as (offset, id, size) while whole headers follow, by the
    declared sizes; INFO items are walked too."""
    found = []
    end = len(data) if end is None else end
    pos = start
    while pos + 8 <= end and len(found) < 10000:
        cid = data[pos:pos + 4]
        size = struct.unpack_from("<I", data, pos + 4)[0]
        found.append((pos, cid, size))
        if cid == b"LIST" and data[pos + 8:pos + 12] == b"INFO":
            found += chunks(data, pos + 12, min(end, pos + 8 + size))
        pos += 8 + size + (size & 1)
    return found


def mutate(data, rng):
    data = bytearray(data)
    found = chunks(data)
    kind = rng.choice(["truncate", "size", "size", "size", "id", "reorder", "bytes"])
    if kind == "truncate":
        cut = rng.choice([rng.randrange(len(data) + 1)] +
                         [off + rng.randrange(13) for off, _, _ in found])
        return bytes(data[:cut]), kind
    if kind == "size" and found:
        off = rng.choice([4] + [off + 4 for off, _, _ in found])
        old = struct.unpack_from("<I", data, off)[0]
        value = rng.choice(SIZE_EDGES + [
            (old + rng.randint(-9, 9)) & 0xFFFFFFFF,       # slightly off, odd or even
            (-(off + 4)) & 0xFFFFFFFF,                     # back to the start of the file
            (len(data) - off - 4) & 0xFFFFFFFF,            # to the end of the file exactly
            rng.getrandbits(32)])
        struct.pack_into("<I", data, off, value)
        return bytes(data), kind
    if kind == "id" and found:
        off = rng.choice([0, 8] + [off for off, _, _ in found] +
                         [off + 8 for off, cid, _ in found if cid == b"LIST"])
        if rng.random() < 0.5:
            data[off:off + 4] = rng.choice(IDS)
        else:
            data[off + rng.randrange(4)] ^= 1 << rng.randrange(8)
        return bytes(data), kind
    if kind == "reorder":
        top = chunks(data, 12, len(data))
        top = [(o, c, s) for o, c, s in top if o >= 12]
        pieces, pos = [], 12
        for off, cid, size in top:
            if off < pos:
                continue  # an INFO item, inside the LIST piece
            stop = min(len(data), off + 8 + size + (size & 1))
            pieces.append(bytes(data[off:stop]))
            pos = stop
        tail = bytes(data[pos:])
        if len(pieces) >= 1:
            how = rng.choice(["shuffle", "duplicate", "drop", "nest", "swap"])
            if how == "shuffle":
                rng.shuffle(pieces)
            elif how == "duplicate":
                pieces.insert(rng.randrange(len(pieces) + 1), rng.choice(pieces))
            elif how == "drop":
                pieces.pop(rng.randrange(len(pieces)))
            elif how == "nest":
                inner = pieces.pop(rng.randrange(len(pieces)))
                kind_of_list = rng.choice([b"INFO", b"adtl", b"\x1b[1m"])
                pieces.insert(rng.randrange(len(pieces) + 1),
                              b"LIST" + struct.pack("<I", 4 + len(inner)) + kind_of_list + inner)
            elif len(pieces) >= 2:
                i, j = rng.sample(range(len(pieces)), 2)
                pieces[i], pieces[j] = pieces[j], pieces[i]
            return bytes(data[:12]) + b"".join(pieces) + tail, kind + "-" + how
    for _ in range(rng.randint(1, 8)):
        if data:
            data[rng.randrange(len(data))] = rng.getrandbits(8)
    return bytes(data), "bytes"


def check(binary, path, data, timeout):
    """Runs one report; returns (exit code or None, list of problems)."""
    before = os.stat(path)
    try:
        run = subprocess.run([binary, path], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, timeout=timeout)
    except subprocess.TimeoutExpired:
        return None, ["timeout"]
    problems = []
    code, out, err = run.returncode, run.stdout, run.stderr
    if code < 0 or code not in (0, 1):
        problems.append("crash: exit status %d" % code)
    if b"Sanitizer" in err or b"runtime error:" in err:
        problems.append("crash: sanitizer report")
    if not out.startswith(BANNER):
        problems.append("no banner")
    if code == 0 and err:
        problems.append("error text with exit code 0")
    if code == 1 and not (err.startswith(b"Exception ") and err.endswith(b".\r\n\r\n")):
        problems.append("exit code 1 without the fatal error text")
    after = os.stat(path)
    if Path(path).read_bytes() != data or after.st_mtime_ns != before.st_mtime_ns:
        problems.append("input file changed")
    return code, problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--binary", required=True)
    parser.add_argument("--count", type=int, default=10000)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--timeout", type=float, default=10.0, help="seconds per run")
    parser.add_argument("--keep", default=str(ROOT / "build-stress" / "findings"))
    args = parser.parse_args()

    binary = str(Path(args.binary).resolve())
    originals = list(seeds().items())
    rng = random.Random(args.seed)
    mutants = []
    for i in range(args.count):
        name, data = rng.choice(originals)
        how = []
        for _ in range(rng.choice([1, 1, 2, 3])):
            data, kind = mutate(data, rng)
            how.append(kind)
        mutants.append((i, name, "+".join(how), data))

    # A memory file system where there is one: ext4 flushes files written over in place.
    shm = Path("/dev/shm")
    work = Path(tempfile.mkdtemp(prefix="sondrax-stress-",
                                 dir=shm if shm.is_dir() and os.access(shm, os.W_OK) else None))
    codes = collections.Counter()
    kinds = collections.Counter()
    failures = []

    def one(mutant):
        i, name, how, data = mutant
        path = work / ("m%05d.wav" % i)
        path.write_bytes(data)
        code, problems = check(binary, str(path), data, args.timeout)
        path.unlink()
        return mutant, code, problems

    started = time.monotonic()
    try:
        with concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as pool:
            for mutant, code, problems in pool.map(one, mutants):
                codes["timeout" if code is None else code] += 1
                for kind in mutant[2].split("+"):
                    kinds[kind.split("-")[0]] += 1
                if problems:
                    failures.append((mutant, problems))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    elapsed = time.monotonic() - started

    crashes = sum(1 for _, p in failures if any(x.startswith("crash") for x in p))
    timeouts = sum(1 for _, p in failures if "timeout" in p)
    print("runs: %d in %.1f s (%.0f/s), %d jobs, seed %d, limit %.0f s per run" %
          (len(mutants), elapsed, len(mutants) / max(elapsed, 1e-9), args.jobs, args.seed,
           args.timeout))
    print("mutations: " + ", ".join("%s %d" % kv for kv in sorted(kinds.items())))
    print("exit codes: " + ", ".join("%s: %d" % (k, v) for k, v in
                                     sorted(codes.items(), key=lambda kv: str(kv[0]))))
    print("crashes: %d, timeouts: %d, other failures: %d" %
          (crashes, timeouts, len(failures) - crashes - timeouts))
    if failures:
        keep = Path(args.keep)
        keep.mkdir(parents=True, exist_ok=True)
        for (i, name, how, data), problems in failures[:50]:
            target = keep / ("stress-%d-%05d.wav" % (args.seed, i))
            target.write_bytes(data)
            print("  %s (from %s by %s): %s" % (target, name, how, "; ".join(problems)))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
