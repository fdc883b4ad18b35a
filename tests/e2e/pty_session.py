#!/usr/bin/env python3
"""Runs a command on a pseudo-terminal of its own and answers its prompts.

The pty is its /dev/tty, stdout a file, stdin empty. Answers: lines `PROMPT => ANSWER` ('#':
comment; `<EOF>`: Ctrl-D, `<INTR>`: Ctrl-C). Exit status 3 when a prompt never came or came
unasked, a typed answer showed or echo was left off; else the command's (128 + N: signal N).
--cases FILE asks zebrik_pin_prompt_probe each question of FILE ("-": with no terminal)."""

import argparse
import os
import select
import subprocess
import sys
import tempfile
import termios
import time

KEYS = {"<EOF>": b"\x04", "<INTR>": b"\x03"}
PROMPTS = (b"PIN-Code:", b"PUK:", b"Neue PIN:", b"PIN wiederholen:")


def parse(lines):
    return [tuple(part.strip() for part in line.split("=>", 1))
            for line in lines if line.strip() and not line.startswith("#")]


def read_terminal(master, wait):
    try:
        return os.read(master, 4096) if select.select([master], [], [], wait)[0] else None
    except OSError:
        return b""


def run(command, answers, stdout_path, timeout=60):
    """Returns the exit status (as above), the terminal's transcript and the failed checks."""
    master, slave = os.openpty()
    terminal = os.ttyname(slave)
    # A new session has no terminal: the first one it opens becomes its controlling one.
    attach = None if answers is None else lambda: os.close(os.open(terminal, os.O_RDWR))
    answers = answers or []
    with open(stdout_path, "wb") as out:
        child = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=out,
                                 start_new_session=True, preexec_fn=attach)
    transcript, seen, pending, failures = b"", 0, list(answers), []
    deadline = time.monotonic() + timeout
    while True:
        chunk = read_terminal(master, 0.05)
        transcript += chunk or b""
        for prompt in [pending[0][0].encode()] if pending else PROMPTS:
            found = transcript.find(prompt, seen)
            if found >= 0:
                seen = found + len(prompt)
                if not pending:
                    failures.append(f"unexpected prompt {prompt.decode()!r}: cancelled it")
                answer = pending.pop(0)[1] if pending else "<EOF>"
                os.write(master, KEYS.get(answer, answer.encode() + b"\n"))
                break
        if child.poll() is not None and chunk is None:
            break
        if time.monotonic() > deadline:
            failures.append(f"no end after {timeout} s")
            child.kill()
            break
    status = child.wait()
    while chunk := read_terminal(master, 0.05):  # what is still on its way
        transcript += chunk
    text = transcript.decode("utf-8", errors="replace")
    failures += [f"prompt never shown: {prompt!r}" for prompt, _ in pending]
    failures += [f"the typed text {answer!r} was shown on the terminal" for _, answer in answers
                 if len(answer) >= 4 and answer not in KEYS and answer in text]
    if not termios.tcgetattr(slave)[3] & termios.ECHO:
        failures.append("the terminal was left with echo off")
    for fd in (master, slave):
        os.close(fd)
    return 3 if failures else 128 - status if status < 0 else status, text, failures


def run_cases(path, probe):
    """Every question of the cases file to the probe; returns the number of failures."""
    failed = 0
    with open(path, encoding="utf-8") as f:
        cases = [[field.strip() for field in line.split("|")] for line in f if line[0] != "#"]
    with tempfile.TemporaryDirectory() as work:
        stdout = os.path.join(work, "stdout")
        for question, typed, want_out, want_status, shown in cases:
            answers = None if typed == "-" else parse(typed.split(";"))
            status, log, failures = run([probe, question], answers, stdout, 20)
            log += "\n" + "\n".join(failures)
            with open(stdout, encoding="utf-8") as f:
                out = f.read()
            ok = status == int(want_status) and shown in log and out == (
                "" if want_out == "-" else want_out + "\n")
            failed += not ok
            print(f"{'PASS' if ok else 'FAIL'} {question}: {typed}")
            if not ok:
                print(f"  status {status}, stdout {out!r}, terminal:\n{log}".replace("\n", "\n  "))
    print(f"{len(cases) - failed} passed, {failed} failed")
    return failed


if __name__ == "__main__":
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--answers")
    parser.add_argument("--stdout")
    parser.add_argument("--timeout", type=float, default=60)
    parser.add_argument("--cases")
    parser.add_argument("command", nargs="+")
    args = parser.parse_args()
    if args.cases:
        sys.exit(run_cases(args.cases, args.command[0]) > 0)
    with open(args.answers, encoding="utf-8") as f:
        status, text, failures = run(args.command, parse(f), args.stdout, args.timeout)
    sys.stderr.write("terminal transcript:\n" + text.replace("\r\n", "\n") + "\n")
    sys.stderr.writelines(f"pty_session: {failure}\n" for failure in failures)
    sys.exit(status)
