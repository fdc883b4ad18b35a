#!/usr/bin/env python3
"""The command-line PIN prompt on a pseudo-terminal and with no terminal at all.

Drives zebrik_pin_prompt_probe (one AskPin or AskPukAndNewPin, result on stdout) through
pty_session.py, which also checks that nothing typed is echoed and that the terminal has
its echo back at the end.
"""

import os
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True  # leave no byte-code cache in the source tree
import pty_session  # noqa: E402

# name, mode, answers typed (prompt => answer), expected stdout, expected exit status,
# text the terminal must show
CASES = [
    ("a typed PIN is confirmed", "pin",
     ["PIN-Code: => 1234"], "bestätigt: PIN=1234\n", 0, None),
    ("eight characters of any kind are taken as typed", "pin",
     ["PIN-Code: => aB3$ x9Z"], "bestätigt: PIN=aB3$ x9Z\n", 0, None),
    ("a ninth character is refused and the PIN asked again, never cut", "pin",
     ["PIN-Code: => 123456789", "PIN-Code: => 4321"], "bestätigt: PIN=4321\n", 0,
     "zu lang"),
    ("an empty entry cancels", "pin", ["PIN-Code: =>"], "abgebrochen\n", 0, None),
    ("end of input cancels", "pin", ["PIN-Code: => <EOF>"], "abgebrochen\n", 0, None),
    ("Ctrl-C ends the program and gives the terminal its echo back", "pin",
     ["PIN-Code: => <INTR>"], "", 128 + 2, None),
    ("PUK and a new PIN typed twice are confirmed", "unblock",
     ["PUK: => 12345678", "Neue PIN: => 1111", "PIN wiederholen: => 1111"],
     "bestätigt: PUK=12345678 neue PIN=1111\n", 0, None),
    ("a repetition that differs asks for the pair again", "unblock",
     ["PUK: => 12345678", "Neue PIN: => 1111", "PIN wiederholen: => 2222",
      "Neue PIN: => 3333", "PIN wiederholen: => 3333"],
     "bestätigt: PUK=12345678 neue PIN=3333\n", 0, "verschieden"),
    ("the repetition is compared with letter case", "unblock",
     ["PUK: => 12345678", "Neue PIN: => abcd", "PIN wiederholen: => ABCD",
      "Neue PIN: => abcd", "PIN wiederholen: => abcd"],
     "bestätigt: PUK=12345678 neue PIN=abcd\n", 0, "verschieden"),
    ("a too long PUK is asked again", "unblock",
     ["PUK: => 123456789", "PUK: => 87654321", "Neue PIN: => 0000",
      "PIN wiederholen: => 0000"],
     "bestätigt: PUK=87654321 neue PIN=0000\n", 0, "zu lang"),
    ("an empty repetition cancels the unblocking", "unblock",
     ["PUK: => 12345678", "Neue PIN: => 1111", "PIN wiederholen: =>"], "abgebrochen\n", 0,
     None),
    ("Ctrl-C at the new PIN ends the program with the echo back", "unblock",
     ["PUK: => 12345678", "Neue PIN: => <INTR>"], "", 128 + 2, None),
]


def run_on_terminal(probe, mode, answers, workdir):
    stdout_file = os.path.join(workdir, "stdout")
    pairs = [tuple(part.strip() for part in line.partition("=>")[::2]) for line in answers]
    status, transcript, failures = pty_session.run([probe, mode], pairs, stdout_file, 20)
    with open(stdout_file, encoding="utf-8") as f:
        return pty_session.exit_status(status, failures), f.read(), \
            "terminal:\n" + transcript + "\n" + "\n".join(failures)


def run_without_terminal(probe, mode):
    done = subprocess.run(["setsid", "-w", probe, mode], stdin=subprocess.DEVNULL,
                          capture_output=True, text=True, timeout=20)
    return done.returncode, done.stdout, done.stderr


def main():
    probe = sys.argv[1]
    passed = failed = 0
    with tempfile.TemporaryDirectory() as workdir:
        results = []
        for name, mode, answers, want_out, want_status, want_shown in CASES:
            status, out, log = run_on_terminal(probe, mode, answers, workdir)
            ok = status == want_status and out == want_out and \
                (want_shown is None or want_shown in log)
            results.append((name, ok, f"status {status}, stdout {out!r}\n{log}"))
        for mode in ("pin", "unblock"):
            status, out, log = run_without_terminal(probe, mode)
            ok = status == 0 and out == "abgebrochen\n"
            results.append((f"with no terminal the {mode} prompt cancels", ok,
                            f"status {status}, stdout {out!r}\n{log}"))
    for name, ok, detail in results:
        print(("PASS " if ok else "FAIL ") + name)
        if not ok:
            print("     " + detail.replace("\n", "\n     "))
        passed += ok
        failed += not ok
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
