#!/usr/bin/env python3
"""Runs every program on damaged copies of small valid inputs and checks
that none of them crashes, hangs or trips a sanitizer: bad input must end
with a message and a failure status, never a signal.

usage: mutate_and_run.py BIN_DIR SEED_DIR WORK_DIR [ROUNDS]
"""
import os
import random
import shutil
import subprocess
import sys

BIN, SEEDS, WORK = sys.argv[1], sys.argv[2], sys.argv[3]
ROUNDS = int(sys.argv[4]) if len(sys.argv) > 4 else 12
ACCEPTED_STATUS = {0, 1, 2, 255}
SANITIZER_MARKS = (b"AddressSanitizer", b"runtime error:", b"LeakSanitizer", b"UndefinedBehaviorSanitizer")


def mutate(data: bytes, rng: random.Random) -> bytes:
    lines = data.split(b"\n")
    kind = rng.randrange(12)
    if kind == 0 and data:  # cut the file anywhere
        return data[: rng.randrange(len(data))]
    if kind == 1 and data:  # drop a run of bytes
        a = rng.randrange(len(data))
        return data[:a] + data[a + rng.randrange(1, 40):]
    if kind == 2 and data:  # overwrite bytes with noise typical of text files
        b = bytearray(data)
        for _ in range(rng.randrange(1, 20)):
            b[rng.randrange(len(b))] = rng.choice(b"\t\n\r/N- 0123456789ACGTxyz!:\x00\xff")
        return bytes(b)
    if kind == 3 and len(lines) > 1:  # remove a line
        del lines[rng.randrange(len(lines))]
        return b"\n".join(lines)
    if kind == 4 and lines:  # duplicate a line
        i = rng.randrange(len(lines))
        lines.insert(i, lines[i])
        return b"\n".join(lines)
    if kind == 5 and lines:  # cut one line short
        i = rng.randrange(len(lines))
        lines[i] = lines[i][: rng.randrange(len(lines[i]) + 1)]
        return b"\n".join(lines)
    if kind == 6:  # empty line in the middle
        lines.insert(rng.randrange(len(lines) + 1), b"")
        return b"\n".join(lines)
    if kind == 7:  # Windows line ends
        return data.replace(b"\n", b"\r\n")
    if kind == 8:  # only the first lines
        return b"\n".join(lines[: rng.randrange(4)])
    if kind == 9 and lines:  # extra fields
        i = rng.randrange(len(lines))
        lines[i] = lines[i] + b"\tA/G\textra"
        return b"\n".join(lines)
    if kind == 10 and lines:  # very long line
        i = rng.randrange(len(lines))
        lines[i] = lines[i] + b"\tC/T" * 5000
        return b"\n".join(lines)
    return b""  # empty file


def run(args, cwd):
    try:
        p = subprocess.run(args, cwd=cwd, capture_output=True, timeout=60)
    except subprocess.TimeoutExpired:
        return "timeout"
    if any(m in p.stderr or m in p.stdout for m in SANITIZER_MARKS):
        return "sanitizer report:\n" + p.stderr.decode(errors="replace")[-3000:]
    if p.returncode not in ACCEPTED_STATUS:
        return f"exit status {p.returncode}"
    return None


def main():
    rng = random.Random(20261207)
    marlo = os.path.join(BIN, "marlo")
    cases = [
        ("small.geno", lambda f: [marlo, "PREFLAG", f, "/OUTFILE:out.geno"]),
        ("small.geno", lambda f: [marlo, "PREIMPU", f]),
        ("small.geno", lambda f: [marlo, "EM", f, "/EPS0.001"]),
        ("small.geno", lambda f: [marlo, "PLEM", f, "/BL2", "/SEED1"]),
        ("small.geno", lambda f: [marlo, "PWLD", f, "/LDBLK2", "/CRSOVR", "/SEED1"]),
        ("small.geno", lambda f: [os.path.join(BIN, "snpxtab"), f, "0", "0.05", "0", "0", "Y"]),
        ("small.pwld", lambda f: [marlo, "TAG1", f, "/R=0.5"]),
        ("small.hblk", lambda f: [os.path.join(BIN, "hapxtab"), f, "0.05", "0", "Y"]),
        ("small.crss", lambda f: [os.path.join(BIN, "qvalcalc"), "0", f, "0"]),
        ("small.vcf", lambda f: [os.path.join(BIN, "genoconv"), "--vcf", f, "--split-chrom", "--out", "o"]),
        ("small.geno", lambda f: [os.path.join(BIN, "genoconv"), "--geno", f, "--to-vcf", "--out", "o"]),
        ("small.pwld", lambda f: [os.path.join(BIN, "marloplot"), "ld", f, "--type", "0",
                                  "--geno", os.path.join(SEEDS, "ld27.geno"), "--out", "out.png"]),
        ("small.crss", lambda f: [os.path.join(BIN, "marloplot"), "manhattan", f,
                                  "--geno", os.path.join(SEEDS, "small.geno"), "--out", "out.svg"]),
        ("small.crss", lambda f: [os.path.join(BIN, "marloplot"), "qq", f, "--out", "out.png"]),
    ]
    failures = []
    shutil.rmtree(WORK, ignore_errors=True)
    for number, (seed_name, make_args) in enumerate(cases):
        with open(os.path.join(SEEDS, seed_name), "rb") as fh:
            seed = fh.read()
        for r in range(ROUNDS):
            work = os.path.join(WORK, f"case{number}-{r}")
            os.makedirs(work)
            data = mutate(seed, rng)
            name = "in." + seed_name.split(".")[1]
            with open(os.path.join(work, name), "wb") as fh:
                fh.write(data)
            problem = run(make_args(name), work)
            if problem:
                failures.append(f"{' '.join(make_args(name))} in {work}: {problem}")
    for f in failures:
        print(f)
    print(f"{len(cases) * ROUNDS} runs, {len(failures)} failures")
    return 1 if failures else 0


sys.exit(main())
