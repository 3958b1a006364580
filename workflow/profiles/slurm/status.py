#!/usr/bin/env python3
"""Job status for Snakemake's --cluster-status: prints success, failed or running.

  status.py JOBID

Asks sacct for the job's state. A job SLURM killed (time limit, memory,
node failure, cancellation) counts as failed, so Snakemake reports it
instead of waiting for files that will never appear.
"""
import subprocess
import sys
import time

RUNNING = {"PENDING", "CONFIGURING", "COMPLETING", "RUNNING", "SUSPENDED", "REQUEUED", "RESIZING", "PREEMPTED"}

jobid = sys.argv[1].split(";")[0].strip()
state = ""
for attempt in range(5):
    try:
        run = subprocess.run(["sacct", "-j", jobid, "--format=State", "--noheader", "--parsable2", "-X"],
                             capture_output=True, text=True, timeout=30)
        state = run.stdout.strip().split("\n")[0].split()[0] if run.stdout.strip() else ""
    except (OSError, subprocess.TimeoutExpired, IndexError):
        state = ""
    if state:
        break
    # The accounting database can lag behind a job that was just submitted.
    time.sleep(2 ** attempt)

if not state or state in RUNNING:
    print("running")
elif state == "COMPLETED":
    print("success")
else:
    print("failed")
