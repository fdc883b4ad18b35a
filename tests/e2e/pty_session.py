#!/usr/bin/env python3
"""Runs a command on a pseudo-terminal of its own and answers its prompts.

The command gets the pseudo-terminal as its controlling terminal (so /dev/tty is the
pseudo-terminal), while its standard output goes to a file and its standard input is
empty: exactly how a user at a terminal runs `zebrik-report > report.txt`.

Answers come from a file, one per line, as `PROMPT => ANSWER`: the driver waits until the
terminal shows PROMPT, then types ANSWER and Enter. `<EOF>` types Ctrl-D instead, `<INTR>`
Ctrl-C; an empty answer is Enter alone. Lines starting with '#' are comments.

Checks, each a failure with a message on stderr:
- every prompt came in the given order, and no prompt came after the last answer (such a
  prompt is answered with Ctrl-D);
- no answer of four or more characters appeared on the terminal (echo was off);
- the terminal has its echo back when the command has ended, whatever way it ended.

Exit status: the command's own, 128 + N when a signal N ended it, 3 when a check failed.
"""

import argparse
import os
import select
import signal
import subprocess
import sys
import termios
import time

CONTROL_KEYS = {"<EOF>": b"\x04", "<INTR>": b"\x03"}
KNOWN_PROMPTS = (b"PIN-Code:", b"PUK:", b"Neue PIN:", b"PIN wiederholen:")


def read_answers(path):
    answers = []
    with open(path, encoding="utf-8") as f:
        for raw in f:
            line = raw.rstrip("\n")
            if not line.strip() or line.startswith("#"):
                continue
            prompt, sep, answer = line.partition("=>")
            if not sep:
                raise SystemExit(f"{path}: line without '=>': {line!r}")
            answers.append((prompt.strip(), answer.strip()))
    return answers


def keys_for(answer):
    if answer in CONTROL_KEYS:
        return CONTROL_KEYS[answer]
    return answer.encode("utf-8") + b"\n"


def run(command, answers, stdout_path, timeout):
    """Returns the command's wait status, the terminal transcript and the failed checks."""
    master, slave = os.openpty()
    slave_name = os.ttyname(slave)

    def take_terminal():
        # start_new_session has made the child a session leader without a terminal; the
        # first terminal it opens becomes its controlling terminal.
        os.close(os.open(slave_name, os.O_RDWR))

    with open(stdout_path, "wb") as out:
        child = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=out,
                                 start_new_session=True, preexec_fn=take_terminal)
    transcript = b""
    seen_up_to = 0
    pending = list(answers)
    failures = []
    deadline = time.monotonic() + timeout
    while True:
        if time.monotonic() > deadline:
            failures.append(f"no end after {timeout} s; terminal so far: {transcript!r}")
            child.kill()
            break
        ready, _, _ = select.select([master], [], [], 0.05)
        if ready:
            try:
                chunk = os.read(master, 4096)
            except OSError:
                chunk = b""
            transcript += chunk
        if pending:
            prompt = pending[0][0].encode("utf-8")
            found = transcript.find(prompt, seen_up_to)
            if found >= 0:
                _, answer = pending.pop(0)
                seen_up_to = found + len(prompt)
                os.write(master, keys_for(answer))
        else:
            for prompt in KNOWN_PROMPTS:
                found = transcript.find(prompt, seen_up_to)
                if found >= 0:
                    failures.append(f"unexpected prompt {prompt.decode()!r}: cancelled it")
                    seen_up_to = found + len(prompt)
                    os.write(master, CONTROL_KEYS["<EOF>"])
        if child.poll() is not None and not ready:
            break
    status = child.wait()
    # Whatever is still buffered on the terminal belongs to the transcript.
    while select.select([master], [], [], 0.05)[0]:
        try:
            chunk = os.read(master, 4096)
        except OSError:
            break
        if not chunk:
            break
        transcript += chunk

    if pending:
        failures.append("prompts never shown: " + ", ".join(repr(p) for p, _ in pending))
    text = transcript.decode("utf-8", errors="replace")
    for _, answer in answers:
        if len(answer) >= 4 and answer not in CONTROL_KEYS and answer in text:
            failures.append(f"the typed text {answer!r} was shown on the terminal")
    if not termios.tcgetattr(slave)[3] & termios.ECHO:
        failures.append("the terminal was left with echo off")
    os.close(master)
    os.close(slave)

    return status, text, failures


def exit_status(status, failures):
    if failures:
        return 3
    return 128 - status if status < 0 else status


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--answers", required=True)
    parser.add_argument("--stdout", required=True)
    parser.add_argument("--timeout", type=float, default=60)
    parser.add_argument("command", nargs="+")
    args = parser.parse_args()
    signal.signal(signal.SIGPIPE, signal.SIG_DFL)
    status, text, failures = run(args.command, read_answers(args.answers), args.stdout,
                                 args.timeout)
    sys.stderr.write("terminal transcript:\n" + text.replace("\r\n", "\n") + "\n")
    for failure in failures:
        sys.stderr.write(f"pty_session: {failure}\n")
    return exit_status(status, failures)


if __name__ == "__main__":
    sys.exit(main())
