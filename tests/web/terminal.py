#!/usr/bin/env python3
"""Runs a program with standard output and standard error each on a terminal of its own.

Usage: terminal.py PROGRAM [ARG...]

The terminals are in raw mode (no line-end translation) and the locale says UTF-8, so what
arrives is exactly what the program writes for a person at a UTF-8 terminal. Prints one JSON
object: {"code": exit code, "out": base64 of standard output, "err": base64 of standard error}.
"""
import base64
import json
import os
import select
import sys
import tty


def main():
    out_master, out_slave = os.openpty()
    err_master, err_slave = os.openpty()
    for slave in (out_slave, err_slave):
        tty.setraw(slave)
    env = {k: v for k, v in os.environ.items() if not k.startswith("LC_") and k != "LANG"}
    env["LC_ALL"] = "C.UTF-8"
    pid = os.fork()
    if pid == 0:
        os.dup2(out_slave, 1)
        os.dup2(err_slave, 2)
        os.execve(sys.argv[1], sys.argv[1:], env)
    os.close(out_slave)
    os.close(err_slave)
    received = {out_master: b"", err_master: b""}
    open_masters = [out_master, err_master]
    while open_masters:
        ready, _, _ = select.select(open_masters, [], [])
        for master in ready:
            try:
                data = os.read(master, 65536)
            except OSError:  # EIO: the program has closed its end
                data = b""
            if data:
                received[master] += data
            else:
                open_masters.remove(master)
    _, status = os.waitpid(pid, 0)
    json.dump(
        {
            "code": os.waitstatus_to_exitcode(status),
            "out": base64.b64encode(received[out_master]).decode(),
            "err": base64.b64encode(received[err_master]).decode(),
        },
        sys.stdout,
    )


main()
