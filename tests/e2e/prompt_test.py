#!/usr/bin/env python3
"""The command-line PIN prompt, through zebrik_pin_prompt_probe (one question, its outcome on
stdout), for every case of prompt_cases.txt: on a pseudo-terminal (pty_session.py, which also
checks the echo) or with no terminal at all."""

import os
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True  # leave no byte-code cache in the source tree
import pty_session  # noqa: E402

failed = 0
with open(os.path.join(os.path.dirname(__file__), "prompt_cases.txt"), encoding="utf-8") as f:
    cases = [[field.strip() for field in line.split("|")] for line in f if line[0] != "#"]
with tempfile.TemporaryDirectory() as work:
    stdout = os.path.join(work, "stdout")
    for question, typed, want_out, want_status, shown in cases:
        command = [sys.argv[1], question]
        if typed == "-":
            done = subprocess.run(["setsid", "-w"] + command, stdin=subprocess.DEVNULL,
                                  capture_output=True, text=True, timeout=20)
            status, out, log = done.returncode, done.stdout, done.stderr
        else:
            answers = pty_session.parse(typed.split(";"))
            status, log, failures = pty_session.run(command, answers, stdout, 20)
            log += "\n" + "\n".join(failures)
            with open(stdout, encoding="utf-8") as f:
                out = f.read()
        ok = status == int(want_status) and out == ("" if want_out == "-" else want_out + "\n")
        ok = ok and shown in log
        failed += not ok
        print(f"{'PASS' if ok else 'FAIL'} {question}: {typed}")
        if not ok:
            print(f"  status {status}, stdout {out!r}, terminal:\n{log}".replace("\n", "\n  "))
print(f"{len(cases) - failed} passed, {failed} failed")
sys.exit(failed > 0)
