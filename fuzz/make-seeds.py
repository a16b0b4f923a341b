#!/usr/bin/env python3
"""Writes the small composed WAVE files that start the fuzzer's corpus (next to the real files
of tests/data): one file per shape of chunk walk the report knows."""
import struct
import sys
from pathlib import Path


def chunk(cid, body, pad=True):
    data = cid + struct.pack("<I", len(body)) + body
    return data + (b"\0" if pad and len(body) % 2 else b"")


def riff(body, form=b"WAVE"):
    return b"RIFF" + struct.pack("<I", len(form) + len(body)) + form + body


def fmt(tag=1, channels=2, rate=44100, byte_rate=176400, align=4, bits=16, tail=b""):
    return chunk(b"fmt ", struct.pack("<HHIIHH", tag, channels, rate, byte_rate, align, bits) + tail)


def info(*items):
    body = b"INFO"
    for iid, text in items:
        body += chunk(iid, text)
    return chunk(b"LIST", body)


SEEDS = {
    "pcm-minimal": riff(fmt() + chunk(b"data", b"\0" * 8)),
    "pcm-info": riff(fmt() + chunk(b"data", b"\1\2\3\4") +
                     info((b"INAM", b"Title\0"), (b"IART", b"Odd\0\0"), (b"ICMT", b""),
                          (b"ICRD", b"x" * 40), (b"ISFT", b"y" * 255))),
    "junk-fact-lists": riff(chunk(b"JUNK", b"\0" * 6) + fmt(tag=2, channels=1, byte_rate=11100) +
                            chunk(b"fact", struct.pack("<I", 10)) + chunk(b"data", b"\x80" * 10) +
                            chunk(b"LIST", b"adtl" + chunk(b"labl", b"\1\0\0\0cue\0")) +
                            info((b"INAM", b"a"))),
    "adpcm-extra": riff(fmt(tag=0x11, channels=1, rate=22050, byte_rate=11100, align=512, bits=4,
                            tail=struct.pack("<HH", 2, 1017)) +
                        chunk(b"fact", struct.pack("<I", 2034)) + chunk(b"data", b"\0" * 16)),
    "extensible": riff(fmt(tag=0xFFFE, channels=6, rate=48000, byte_rate=576000, align=12,
                           tail=struct.pack("<HHI", 22, 16, 0x3F) + b"\1\0\0\0\0\0\x10\0\x80\0\0\xaa\0\x38\x9b\x71") +
                       chunk(b"data", b"\0" * 24)),
    "odd-data-pad-list": riff(fmt(channels=1, byte_rate=8000, align=1, bits=8) +
                              chunk(b"data", b"\x80" * 7) + info((b"INAM", b"odd"))),
    "nested-lists": riff(fmt() + chunk(b"data", b"\0" * 4) +
                         chunk(b"LIST", b"abcd" + info((b"IART", b"in")) + chunk(b"LIST", b"INFO"))),
    "fmt-after-data": riff(chunk(b"data", b"\0" * 4) + fmt(tag=3, bits=32, byte_rate=352800)),
    "zero-rate": riff(fmt(byte_rate=0) + chunk(b"data", b"\0" * 4)),
    "header-only": riff(b""),
    "fmt-large": riff(chunk(b"fmt ", struct.pack("<HHIIHHH", 1, 2, 8000, 32000, 4, 16, 300) +
                            bytes(range(256)) * 2) + chunk(b"data", b"\0\0")),
}


def main():
    out = Path(sys.argv[1] if len(sys.argv) > 1 else "seeds")
    out.mkdir(parents=True, exist_ok=True)
    for name, data in SEEDS.items():
        (out / (name + ".wav")).write_bytes(data)


if __name__ == "__main__":
    main()
