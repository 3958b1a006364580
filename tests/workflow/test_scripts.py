#!/usr/bin/env python3
"""Tests of the workflow's helper scripts.

  test_scripts.py BIN_DIR WORK_DIR

run_step.py must call a step failed on each of the three signs of failure
(even with exit status 0), hapxtab_blocks.py must give the same report in
groups as in one run, and merge_reports.py must refuse to pool rows of
different tests.
"""
import os
import shutil
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPTS = os.path.join(HERE, "..", "..", "workflow", "scripts")
GENO = os.path.join(HERE, "..", "integration", "data", "chr10_60snps_200samples.geno")
BIN, WORK = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])


def script(name, *args):
    return subprocess.run([sys.executable, os.path.join(SCRIPTS, name), *map(str, args)],
                          capture_output=True, text=True, cwd=WORK)


def sh(code):
    return ["sh", "-c", code]


class RunStep(unittest.TestCase):
    def verdict(self, cmd, *flags):
        log = os.path.join(WORK, "step.log")
        run = script("run_step.py", "--log", log, *flags, "--", *cmd)
        with open(log) as f:
            return run, f.read()

    def test_success(self):
        run, log = self.verdict(sh("echo out; echo '#success=done' >&2"), "--require-success")
        self.assertEqual(run.returncode, 0)
        self.assertIn("verdict: ok", log)
        self.assertIn("out\n", log)

    def test_error_status_with_exit_zero_fails(self):
        run, log = self.verdict(sh("echo; echo '#error=Imputation (Unknown) error' >&2; "
                                   "echo 'x.geno: cannot open' ; exit 0"))
        self.assertEqual(run.returncode, 1)
        self.assertIn("verdict: failed: error status line", log)
        self.assertIn("#error=Imputation (Unknown) error", run.stderr)
        self.assertIn("x.geno: cannot open", run.stderr)

    def test_missing_success_line_fails_only_when_required(self):
        run, _ = self.verdict(sh("echo quiet"), "--require-success")
        self.assertEqual(run.returncode, 1)
        self.assertIn("no success status line", run.stderr)
        run, _ = self.verdict(sh("echo quiet"))
        self.assertEqual(run.returncode, 0)

    def test_nonzero_exit_fails_despite_success_line(self):
        run, log = self.verdict(sh("echo '#success=x' >&2; exit 255"), "--require-success")
        self.assertEqual(run.returncode, 1)
        self.assertIn("exit status 255", log)

    def test_missing_program(self):
        run, _ = self.verdict([os.path.join(WORK, "no-such-program")])
        self.assertEqual(run.returncode, 1)
        self.assertIn("exit status 127", run.stderr)


class Pipeline(unittest.TestCase):
    """PWLD blocks and association reports of the 60-SNP slice, made once."""

    @classmethod
    def setUpClass(cls):
        cls.dir = os.path.join(WORK, "slice")
        os.makedirs(cls.dir, exist_ok=True)
        cls.impu = os.path.join(cls.dir, "s.impu")
        shutil.copy(GENO, cls.impu)
        os.chmod(cls.impu, 0o644)
        steps = [[os.path.join(BIN, "marlo"), "PREIMPU", cls.impu, "/PROGRESS"],
                 [os.path.join(BIN, "marlo"), "PWLD", cls.impu, "/LDBLK2", "/SEED3", "/PROGRESS"]]
        for step in steps:
            subprocess.run(step, capture_output=True, check=True)
        cls.hblk = cls.impu + ".ld.hblk"

    def m_rows(self):
        with open(self.hblk) as f:
            lines = f.read().splitlines()
        rows, stype = [], None
        for line in lines:
            if line.startswith("!Sample_Type:"):
                stype = line[13:]
            elif stype == "M" and line.startswith("!Haplotype_Count:"):
                rows.append(int(line[17:]))
        return rows

    def test_groups_give_the_report_of_one_run(self):
        rows = self.m_rows()
        self.assertGreater(len(rows), 3, "the slice needs several blocks")
        for model, correction in ((0, "N"), (3, "Y")):
            whole = os.path.join(self.dir, f"whole.{model}.crss")
            grouped = os.path.join(self.dir, f"grouped.{model}.crss")
            subprocess.run([os.path.join(BIN, "hapxtab"), self.hblk, "0.05", str(model), correction, whole],
                           capture_output=True, check=True)
            # A limit of the largest block forces one group per block or so.
            run = script("hapxtab_blocks.py", "--hapxtab", os.path.join(BIN, "hapxtab"),
                         "--log", os.path.join(self.dir, f"g{model}.log"), "--limit", max(rows),
                         self.hblk, 0.05, model, correction, grouped)
            self.assertEqual(run.returncode, 0, run.stderr)
            with open(os.path.join(self.dir, f"g{model}.log")) as f:
                self.assertIn(f"{len(rows)} blocks of sample type M tested in", f.read())
            with open(whole) as a, open(grouped) as b:
                self.assertEqual(a.read(), b.read())
            # Only the parts' logs stay.
            self.assertEqual([n for n in os.listdir(self.dir) if ".part" in n and ".log." not in n], [])

    def test_no_block_gives_an_empty_report(self):
        empty = os.path.join(self.dir, "noblocks.hblk")
        open(empty, "w").close()
        out = os.path.join(self.dir, "noblocks.crss")
        run = script("hapxtab_blocks.py", "--hapxtab", os.path.join(BIN, "hapxtab"),
                     "--log", os.path.join(self.dir, "nb.log"), empty, 0.05, 0, "N", out)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(os.path.getsize(out), 0)

    def test_merge_refuses_reports_of_different_models(self):
        reports = []
        for model in (0, 3):
            out = os.path.join(self.dir, f"s.snp.0{model}.crss")
            subprocess.run([os.path.join(BIN, "snpxtab"), self.impu, "0", "0.05", "0", str(model), "N", out],
                           capture_output=True, check=True)
            reports.append(out)
        merged = os.path.join(self.dir, "merged.crss")
        run = script("merge_reports.py", "--kind", "snp", "--out", merged, "--loci", merged + ".loci",
                     "--chrom", "1", "2", "--reports", *reports, "--sources", self.impu, self.impu)
        self.assertEqual(run.returncode, 1)
        self.assertIn("come from different tests", run.stderr)
        self.assertFalse(os.path.exists(merged))
        # The same report twice is fine: rows of both, loci naming both chromosomes.
        run = script("merge_reports.py", "--kind", "snp", "--out", merged, "--loci", merged + ".loci",
                     "--chrom", "1", "2", "--reports", reports[0], reports[0],
                     "--sources", self.impu, self.impu)
        self.assertEqual(run.returncode, 0, run.stderr)
        with open(reports[0]) as f:
            one = f.read().splitlines(True)
        with open(merged) as f:
            self.assertEqual(f.read(), "".join(one + one[8:]))
        with open(merged + ".loci") as f:
            loci = f.read().splitlines()
        with open(self.impu) as f:
            first = f.read().splitlines()[2].split("\t")
        self.assertEqual(len(loci), 1 + 2 * (len(one) - 8))
        self.assertEqual(loci[1], f"{first[0]}\t1\t{first[2]}")
        self.assertTrue(loci[-1].endswith("\t2\t" + loci[len(one) - 8].split("\t")[2]))


if __name__ == "__main__":
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    unittest.main(argv=sys.argv[:1], verbosity=2)
