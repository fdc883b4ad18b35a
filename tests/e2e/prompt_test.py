#!/usr/bin/env python3
"""The command-line PIN prompt on a pseudo-terminal and with no terminal at all.

Each case runs zebrik_pin_prompt_probe (one question, its outcome on stdout) through
pty_session.py, which also checks that nothing typed shows and that the terminal gets its
echo back, however the probe ends.
"""

import os
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True  # leave no byte-code cache in the source tree
import pty_session  # noqa: E402

PIN, PUK = "pin", "unblock"
# question, typed (PROMPT => ANSWER; ... or None: no terminal), stdout, exit status, and a
# text the terminal must show
CASES = [
    (PIN, "PIN-Code: => 1234", "bestätigt: PIN=1234\n", 0, ""),
    (PIN, "PIN-Code: => aB3$ x9Z", "bestätigt: PIN=aB3$ x9Z\n", 0, ""),
    (PIN, "PIN-Code: => 123456789; PIN-Code: => 4321", "bestätigt: PIN=4321\n", 0, "zu lang"),
    (PIN, "PIN-Code: =>", "abgebrochen\n", 0, ""),
    (PIN, "PIN-Code: => <EOF>", "abgebrochen\n", 0, ""),
    (PIN, "PIN-Code: => <INTR>", "", 128 + 2, ""),
    (PIN, None, "abgebrochen\n", 0, ""),
    (PUK, "PUK: => 12345678; Neue PIN: => 1111; PIN wiederholen: => 1111",
     "bestätigt: PUK=12345678 neue PIN=1111\n", 0, ""),
    (PUK, "PUK: => 12345678; Neue PIN: => 1111; PIN wiederholen: => 2222; "
     "Neue PIN: => 3333; PIN wiederholen: => 3333",
     "bestätigt: PUK=12345678 neue PIN=3333\n", 0, "verschieden"),
    (PUK, "PUK: => 12345678; Neue PIN: => abcd; PIN wiederholen: => ABCD; "
     "Neue PIN: => abcd; PIN wiederholen: => abcd",
     "bestätigt: PUK=12345678 neue PIN=abcd\n", 0, "verschieden"),
    (PUK, "PUK: => 123456789; PUK: => 87654321; Neue PIN: => 0000; PIN wiederholen: => 0000",
     "bestätigt: PUK=87654321 neue PIN=0000\n", 0, "zu lang"),
    (PUK, "PUK: => 12345678; Neue PIN: => 1111; PIN wiederholen: =>", "abgebrochen\n", 0, ""),
    (PUK, "PUK: => 12345678; Neue PIN: => <INTR>", "", 128 + 2, ""),
    (PUK, None, "abgebrochen\n", 0, ""),
]

failed = 0
with tempfile.TemporaryDirectory() as work:
    stdout = os.path.join(work, "stdout")
    for question, typed, want_out, want_status, shown in CASES:
        command = [sys.argv[1], question]
        if typed is None:
            done = subprocess.run(["setsid", "-w"] + command, stdin=subprocess.DEVNULL,
                                  capture_output=True, text=True, timeout=20)
            status, out, log = done.returncode, done.stdout, done.stderr
        else:
            answers = pty_session.parse(typed.split(";"))
            status, log, failures = pty_session.run(command, answers, stdout, 20)
            log += "\n" + "\n".join(failures)
            with open(stdout, encoding="utf-8") as f:
                out = f.read()
        ok = status == want_status and out == want_out and shown in log
        failed += not ok
        print(f"{'PASS' if ok else 'FAIL'} {question}: {typed or 'no terminal'}")
        if not ok:
            print(f"  status {status}, stdout {out!r}, terminal:\n{log}".replace("\n", "\n  "))
print(f"{len(CASES) - failed} passed, {failed} failed")
sys.exit(failed > 0)
