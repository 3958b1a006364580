#!/usr/bin/env python3
"""Runs one step of the suite and decides whether it did its work.

  run_step.py --log FILE [--require-success] -- PROGRAM ARG...

Several commands of the suite end with exit status 0 after a failure and
report it only as an `#error=` status line on standard error, so the exit
status alone cannot be trusted. A step fails when

  - it exits with a non-zero status, or
  - standard error holds an `#error=` line, or
  - --require-success is given and standard error holds no `#success=` line
    (marlo commands print their status lines only with /PROGRESS).

The log file gets the command line, exit status, elapsed and CPU seconds,
peak memory, standard error and standard output of the step, also on failure.
On failure the step's own messages go to standard error (where Snakemake
shows them beside the failed job) and the exit status is 1.
"""
import os
import re
import resource
import subprocess
import sys
import tempfile
import time

# Progress and input-summary lines say nothing about a failure; leave them
# out of the short message printed when a step fails.
NOISE = ("#v=", "#m=", "#tasklist=", "#result=", "#runtime=", "start_time", "end_time")

TELLING = re.compile(r"error|fail|cannot|can't|malformed|invalid|refused|abort|fewer|\bmissing\b|not a |no such|too many",
                     re.IGNORECASE)


def usage():
    sys.stderr.write("usage: run_step.py --log FILE [--require-success] -- PROGRAM ARG...\n")
    sys.exit(2)


def main(argv):
    log = None
    require_success = False
    i = 0
    while i < len(argv):
        a = argv[i]
        if a == "--log" and i + 1 < len(argv):
            log = argv[i + 1]
            i += 2
        elif a == "--require-success":
            require_success = True
            i += 1
        elif a == "--":
            i += 1
            break
        else:
            usage()
    cmd = argv[i:]
    if log is None or not cmd:
        usage()

    folder = os.path.dirname(log) or "."
    os.makedirs(folder, exist_ok=True)
    name = os.path.basename(log)
    start = time.monotonic()
    with tempfile.TemporaryFile(dir=folder, prefix=name + ".") as out, \
            tempfile.TemporaryFile(dir=folder, prefix=name + ".") as err:
        try:
            status = subprocess.call(cmd, stdout=out, stderr=err, stdin=subprocess.DEVNULL)
        except OSError as e:
            err.write(f"cannot run {cmd[0]}: {e.strerror}\n".encode())
            status = 127
        elapsed = time.monotonic() - start
        usage = resource.getrusage(resource.RUSAGE_CHILDREN)
        peak_kb = usage.ru_maxrss
        cpu = usage.ru_utime + usage.ru_stime
        out.seek(0)
        stdout = out.read().decode("utf-8", "replace")
        err.seek(0)
        stderr = err.read().decode("utf-8", "replace")

    err_lines = stderr.splitlines()
    errors = [l.strip() for l in err_lines if l.lstrip().startswith("#error=")]
    succeeded = any(l.lstrip().startswith("#success=") for l in err_lines)
    reasons = []
    if status != 0:
        reasons.append(f"exit status {status if status >= 0 else 'signal ' + str(-status)}")
    if errors:
        reasons.append("error status line")
    if require_success and not succeeded:
        reasons.append("no success status line")

    verdict = "failed: " + ", ".join(reasons) if reasons else "ok"
    tmp = log + ".tmp"
    with open(tmp, "w") as f:
        f.write("command: " + " ".join(cmd) + "\n")
        f.write(f"exit status: {status}\n")
        f.write(f"elapsed seconds: {elapsed:.2f}\n")
        f.write(f"cpu seconds: {cpu:.2f}\n")
        f.write(f"peak memory MB: {peak_kb / 1024:.1f}\n")
        f.write(f"verdict: {verdict}\n")
        f.write("== standard error ==\n" + stderr)
        if stderr and not stderr.endswith("\n"):
            f.write("\n")
        f.write("== standard output ==\n" + stdout)
        if stdout and not stdout.endswith("\n"):
            f.write("\n")
    os.replace(tmp, log)

    if not reasons:
        return 0
    step = os.path.basename(cmd[0]) + (" " + cmd[1] if os.path.basename(cmd[0]) == "marlo" and len(cmd) > 1 else "")
    sys.stderr.write(f"step failed: {step} ({', '.join(reasons)}); log: {log}\n")
    # The status line only names the command; the reason (file, line) is
    # often a console message of the program, on either stream.
    plain = [l for l in err_lines + stdout.splitlines()
             if l.strip() and not l.lstrip().startswith(NOISE + ("#error=", "#success="))]
    reasons_said = [l for l in plain if TELLING.search(l)][-5:]
    shown = errors + reasons_said
    if not shown:
        shown = plain[-5:]
    for line in shown:
        sys.stderr.write("  " + line + "\n")
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
