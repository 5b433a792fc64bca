#!/usr/bin/env python3
"""Plays the instrument behind a COM port of the Windows build under Wine.

    instrument.py --com N [--absent M ...] -- COMMAND...

Makes a pseudo-terminal, links it as $WINEPREFIX/dosdevices/comN and as $WINEPREFIX/comN-line
(where a port registered with Wine leads, as scripts/test-windows.sh registers COM 13), runs
COMMAND (the Windows test program under Wine) and answers on the line meanwhile. A command is
answered only when its line is exactly the command's bytes and CR LF; any other bytes are
reported and fail the run. "TICKS?" is answered by TICK_COUNT lines of their own, one every
TICK_INTERVAL seconds: "TICK n t", t being when the line was written, in milliseconds since 1970.
COM M (--absent) is made to have no device behind it. The links are put back as they were
afterwards. The exit status is the command's, or 1 when the line carried wrong bytes.
"""

import argparse
import fcntl
import os
import pty
import select
import subprocess
import sys
import termios
import time
import tty

REPLIES = {
    b"ID?": b"BAROVENTIS BV-SIM,0,1.0",
    b"TEMP?": b"TEMP_23.45",
    b"PRES?": b"PRESS  =1013.25",
}
TICK_COUNT = 50
TICK_INTERVAL = 0.1


class Ticks:
    """The lines the instrument sends of its own after "TICKS?"."""

    def __init__(self):
        self.sent = TICK_COUNT
        self.due = None

    def start(self):
        self.sent = 0
        self.due = time.monotonic() + TICK_INTERVAL

    def wait(self, longest):
        """How long select may wait before the next line is due."""
        if self.sent >= TICK_COUNT:
            return longest
        return max(0.0, min(longest, self.due - time.monotonic()))

    def send_due(self, master):
        if self.sent < TICK_COUNT and time.monotonic() >= self.due:
            self.sent += 1
            os.write(master, f"TICK {self.sent} {round(time.time() * 1000)}\r\n".encode())
            self.due += TICK_INTERVAL


def answer(master, pending, problems, ticks):
    """Answers every whole line in `pending`; returns what is left of it."""
    while b"\n" in pending:
        line, pending = pending.split(b"\n", 1)
        line += b"\n"
        command = line[:-2]
        print(f"instrument.py: received {line!r}", flush=True)
        if line == b"TICKS?\r\n":
            ticks.start()
        elif line.endswith(b"\r\n") and command in REPLIES:
            os.write(master, REPLIES[command] + b"\r\n")
        else:
            problems.append(f"unexpected bytes {line!r}")
            os.write(master, b"UNEXPECTED\r\n")
    return pending


def serve(master, program):
    problems = []
    pending = b""
    ticks = Ticks()
    while True:
        ready, _, _ = select.select([master], [], [], ticks.wait(0.05))
        ticks.send_due(master)
        if ready:
            pending = answer(master, pending + os.read(master, 4096), problems, ticks)
        elif program.poll() is not None:
            break
    if pending:
        problems.append(f"bytes without a line end {pending!r}")
    return problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--com", type=int, required=True)
    parser.add_argument("--absent", type=int, action="append", default=[])
    parser.add_argument("command", nargs="+")
    args = parser.parse_args()

    dosdevices = os.path.join(os.environ["WINEPREFIX"], "dosdevices")
    master, slave = pty.openpty()
    # Raw from the start, so that nothing is echoed before the terminal sets the line up; the
    # slave stays open here too, so that the terminal closing it does not hang the line up.
    tty.setraw(slave)
    # The line is this script's controlling terminal: Wine's server opens the device without
    # O_NOCTTY and would otherwise take it as its own, and print a dump of all its objects on
    # the hang-up when this end closes.
    try:
        os.setsid()
        fcntl.ioctl(slave, termios.TIOCSCTTY, 0)
    except OSError:
        pass
    line = os.path.join(os.environ["WINEPREFIX"], f"com{args.com}-line")
    links = [os.path.join(dosdevices, f"com{args.com}"), line]
    links += [os.path.join(dosdevices, f"com{number}") for number in args.absent]
    saved = {}
    for path in links:
        if os.path.islink(path):
            saved[path] = os.readlink(path)
            os.remove(path)
    for path in links[:2]:
        os.symlink(os.ttyname(slave), path)
    try:
        program = subprocess.Popen(args.command)
        problems = serve(master, program)
        status = program.wait()
    finally:
        for path in links[:2]:
            os.remove(path)
        for path, target in saved.items():
            os.symlink(target, path)
    for problem in problems:
        print(f"instrument.py: {problem}", file=sys.stderr)
    return status if status != 0 or not problems else 1


if __name__ == "__main__":
    sys.exit(main())
