#!/usr/bin/env python3
"""Every thread count gives the same bytes.

thread_identity.py BIN_DIR WORK_DIR [FILES]

Random genotype files (several sample types, missing and half-missing
genotypes, third alleles, monomorphic SNPs) go through PWLD with Gabriel
blocks and crossover rates, EM and PLEM, each with /SEED at /THREADS1, 2, 3
and 8 (and PWLD also at /THREADS0), and through PREFLAG, which reads ahead
with more than one thread. Every result file, standard output and
standard error must equal those of /THREADS1 byte for byte, apart from the
time lines; exit status too.
"""
import os
import random
import re
import shutil
import subprocess
import sys

THREADS = ["1", "2", "3", "8", "0"]
TIME_LINES = [
    (re.compile(rb"^(start_time|end_time)\t.*$", re.M), rb"\1\t<masked>"),
    (re.compile(rb"^#runtime=[0-9]+$", re.M), rb"#runtime=<masked>"),
    (re.compile(rb"Total Running Time: [0-9.]+ sec"), rb"Total Running Time: <masked> sec"),
]


def masked(data):
    for pattern, repl in TIME_LINES:
        data = pattern.sub(repl, data)
    return data


def genotype_file(rng, snps, samples):
    types = [rng.choice("abc") for _ in range(samples)]
    types[0], types[1] = "a", "b"
    lines = ["\t".join(["Marker", "Chr", "Pos", "Strand"] + ["s%d" % k for k in range(samples)])]
    lines.append("\t".join(["Type", ".", ".", "."] + types))
    pos = 1000
    for m in range(snps):
        pos += rng.choice([10, 50, 200, 900, 4000])
        letters = rng.sample("ACGT", 3)
        kind = rng.random()
        if kind < 0.12:
            alleles = letters[:1]  # monomorphic
        elif kind < 0.3:
            alleles = letters  # a third allele
        else:
            alleles = letters[:2]
        weights = [rng.random() + 0.05 for _ in alleles]
        row = ["rs%d" % (m + 1), "7", str(pos), "+"]
        for _ in range(samples):
            r = rng.random()
            if r < 0.05:
                row.append("N/N")
                continue
            x, y = rng.choices(alleles, weights)[0], rng.choices(alleles, weights)[0]
            if r < 0.07:
                y = "N"  # half called
            row.append(x + "/" + y)
        lines.append("\t".join(row))
    return "\n".join(lines) + "\n"


def run(bin_dir, folder, input_text, args):
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    with open(os.path.join(folder, "in.geno"), "w") as f:
        f.write(input_text)
    proc = subprocess.run([os.path.join(bin_dir, "marlo")] + args, cwd=folder, capture_output=True, timeout=600)
    files = {"status": str(proc.returncode).encode(), "stdout": masked(proc.stdout), "stderr": masked(proc.stderr)}
    for name in sorted(os.listdir(folder)):
        if name != "in.geno":
            with open(os.path.join(folder, name), "rb") as f:
                files[name] = f.read()
    return files


def main():
    bin_dir, work = sys.argv[1], sys.argv[2]
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 4
    failures = 0
    runs = 0
    for case in range(count):
        rng = random.Random(1600 + case)
        commands = [
            (genotype_file(rng, rng.randint(30, 60), rng.randint(20, 60)),
             ["PWLD", "in.geno", "/LDBLK2", "/CRSOVR", "/ANNO20000", "/SEED%d" % (case + 1), "/PROGRESS"]),
            (genotype_file(rng, rng.randint(4, 9), rng.randint(20, 60)),
             ["EM", "in.geno", "/RANDOM", "/SEED%d" % (case + 2), "/PROGRESS"]),
            (genotype_file(rng, rng.randint(12, 30), rng.randint(20, 60)),
             ["PLEM", "in.geno", "/BL4", "/SEED%d" % (case + 3), "/PROGRESS"]),
        ]
        # One sample type: every worker goes to the block EMs of PLEM.
        lines = commands[2][0].split("\n")
        lines[1] = "\t".join(lines[1].split("\t")[:4] + ["a"] * (len(lines[1].split("\t")) - 4))
        commands.append(("\n".join(lines), ["PLEM", "in.geno", "/BL3", "/SEED%d" % (case + 4)]))
        commands.append((commands[0][0], ["PREFLAG", "in.geno", "/OUTFILE:out.geno", "/PROGRESS"]))
        if case == 0:
            # Over a megabyte: several blocks are read ahead.
            commands.append((genotype_file(rng, 400, 900), ["PREFLAG", "in.geno", "/OUTFILE:out.geno", "/PROGRESS"]))
            commands.append((commands[0][0], ["PWLD", "in.geno", "/LDBLK2", "/CRSOVR", "/SEED5", "/DEBUG2"]))
            # The closed-form estimates take no random start, but their
            # trace lines and the multi-allelic pairs' EMs still must keep order.
            commands.append((commands[0][0], ["PWLD", "in.geno", "/MLE", "/LDBLK2", "/CRSOVR", "/SEED6", "/DEBUG2"]))
            commands.append((commands[2][0], ["PLEM", "in.geno", "/BL3", "/SEED2", "/DEBUG2", "/PROGRESS"]))
            # More markers than EM takes: every type fails alike.
            commands.append((commands[2][0], ["EM", "in.geno", "/SEED2"]))
            # A malformed marker line: the first type cannot be loaded.
            broken = commands[1][0].split("\n")
            broken[4] = broken[4].rsplit("\t", 1)[0]
            commands.append(("\n".join(broken), ["EM", "in.geno", "/SEED2", "/PROGRESS"]))
        for index, (text, args) in enumerate(commands):
            reference = None
            for threads in THREADS:
                if threads == "0" and args[0] not in ("PWLD", "PREFLAG"):
                    continue
                folder = os.path.join(work, "c%d_%d_t%s" % (case, index, threads))
                got = run(bin_dir, folder, text, args + ["/THREADS" + threads])
                runs += 1
                if reference is None:
                    reference = got
                    if got["status"] != b"0" and (index < 4 or args[0] == "PREFLAG"):
                        print("%s: status %s" % (" ".join(args), got["status"].decode()))
                        failures += 1
                    continue
                if got != reference:
                    failures += 1
                    names = sorted(set(got) | set(reference))
                    bad = [n for n in names if got.get(n) != reference.get(n)]
                    print("%s /THREADS%s differs from /THREADS1 in: %s (%s)" % (" ".join(args), threads,
                                                                              ", ".join(bad), folder))
                else:
                    shutil.rmtree(folder)
    print("%d runs, %d failures" % (runs, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
