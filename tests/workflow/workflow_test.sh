#!/usr/bin/env bash
# Runs the genome-wide workflow (workflow/Snakefile) and checks its results.
#   workflow_test.sh study   BIN_DIR WORK_DIR   whole study from the committed two-chromosome VCF
#   workflow_test.sh failure BIN_DIR WORK_DIR   one chromosome with a damaged genotype file
#   workflow_test.sh dryrun  BIN_DIR WORK_DIR   22 chromosomes, SLURM profile, dry run
#   workflow_test.sh inputs  BIN_DIR WORK_DIR   one VCF per chromosome and a PLINK fileset as inputs
set -u
export LC_ALL=C
mode=$1
bin=$(cd "$2" && pwd)
work=$3
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
data=$here/data
failures=0

check() {
  if eval "$2"; then
    echo "ok   - $1"
  else
    echo "FAIL - $1"
    failures=$((failures + 1))
  fi
}

rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1
work=$(pwd)
sm() { snakemake -s "$repo/workflow/Snakefile" --configfile study.yaml "$@"; }

# Lines of a report below its header: snpxtab writes 8 header lines, hapxtab 7.
rows() { tail -n +"$(($2 + 1))" "$1"; }

case $mode in
study)
  cat >study.yaml <<EOF
bin: $bin
input:
  vcf: $data/study.vcf.gz
  types: $data/study.types
association:
  models: [0, 3]
summary:
  top_hits: 5
EOF
  sm --cores 2 --profile "$repo/workflow/profiles/local" >run1.log 2>&1
  status=$?
  check "the workflow succeeds (status $status; see $work/run1.log)" "[ $status -eq 0 ]"
  [ $status -eq 0 ] || tail -n 40 run1.log

  expected=(results/summary.tsv results/summary.md results/top_hits.tsv)
  for c in 1 2; do
    d=results/per_chrom/$c
    expected+=("$d/$c.geno" "$d/$c.geno.flag" "$d/$c.flt.geno" "$d/$c.impu" "$d/$c.impu.pos"
      "$d/$c.impu.pwld" "$d/$c.impu.pwlds" "$d/$c.impu.ld.hblk" "$d/$c.impu.ld.rblk" "$d/$c.impu.pwld.tag"
      "$d/$c.snp.00.crss" "$d/$c.snp.03.crss" "$d/$c.hap.0.crss" "$d/$c.hap.3.crss" "results/plots/$c.ld.png")
    for step in convert preflag preimpu pwld tag1 snpxtab.00 snpxtab.03 hapxtab.0 hapxtab.3 plot_ld; do
      expected+=("results/logs/$c/$step.log")
    done
  done
  for t in snp.00 snp.03 hap.0 hap.3; do
    expected+=("results/genome/$t.crss" "results/genome/$t.crss.fdr" "results/genome/$t.loci.tsv")
  done
  for t in 00 03; do
    expected+=("results/plots/manhattan.snp.$t.png" "results/plots/qq.snp.$t.png")
  done
  missing=0
  for f in "${expected[@]}"; do
    [ -s "$f" ] || { echo "  missing or empty: $f"; missing=$((missing + 1)); }
  done
  check "all ${#expected[@]} expected result files exist and are not empty ($missing missing)" "[ $missing -eq 0 ]"

  # Every picture is a PNG.
  bad=0
  for f in results/plots/*.png; do
    [ "$(head -c 8 "$f" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || bad=$((bad + 1))
  done
  check "every picture is a PNG file" "[ $bad -eq 0 ]"

  # Each chromosome's chain started from its own part of the VCF: 200 SNPs each.
  for c in 1 2; do
    n=$(($(wc -l <results/per_chrom/$c/$c.geno) - 2))
    check "chromosome $c: the genotype file holds its 200 SNPs ($n)" "[ $n -eq 200 ]"
  done

  # The merged report is the first header and the rows of chromosome 1, then 2, unchanged.
  for t in snp.00:8 snp.03:8 hap.0:7 hap.3:7; do
    name=${t%:*} head=${t#*:}
    test=${name%%.*} model=${name#*.}
    { head -n "$head" results/per_chrom/1/1.$test.$model.crss
      rows results/per_chrom/1/1.$test.$model.crss "$head"
      rows results/per_chrom/2/2.$test.$model.crss "$head"; } >expected.merged
    check "genome-wide $name report = first header + rows of chromosome 1, then 2" \
      "cmp -s expected.merged results/genome/$name.crss"
  done

  # q-values over the whole study: qvalcalc run by hand on the merged report.
  mkdir -p byhand
  for t in snp.00:0 snp.03:0 hap.0:1 hap.3:1; do
    name=${t%:*} kind=${t#*:}
    cp results/genome/$name.crss byhand/$name.crss
    "$bin/qvalcalc" "$kind" byhand/$name.crss 0 >/dev/null 2>&1
    check "genome-wide q-values of $name = qvalcalc on the merged report" \
      "cmp -s byhand/$name.crss.fdr results/genome/$name.crss.fdr"
  done
  # ...and they differ from the per-chromosome q-values (the point of merging).
  cp results/per_chrom/1/1.snp.00.crss byhand/chr1.crss
  "$bin/qvalcalc" 0 byhand/chr1.crss 0 >/dev/null 2>&1
  top1=$(awk -F'\t' 'NR == 2 { print $1 }' byhand/chr1.crss.fdr)
  q_chr=$(awk -F'\t' -v f="$top1" '$1 == f { print $3 }' byhand/chr1.crss.fdr)
  q_gw=$(awk -F'\t' -v f="$top1" '$1 == f { print $3 }' results/genome/snp.00.crss.fdr)
  check "chromosome 1's best SNP gets another q-value genome-wide ($q_gw) than alone ($q_chr)" \
    "[ -n \"$q_gw\" ] && [ \"$q_gw\" != \"$q_chr\" ]"

  # The top hit is the smallest p-value (GFT_p) over the per-chromosome reports.
  best=$(for c in 1 2; do rows results/per_chrom/$c/$c.snp.00.crss 8; done |
    awk -F'\t' 'NR == 1 || $7 + 0 < min { min = $7 + 0; id = $1; p = $7 } END { print id "\t" p }')
  top=$(awk -F'\t' 'NR == 2 { print $1 "\t" $2 }' results/genome/snp.00.crss.fdr)
  check "genome-wide top hit ($top) = best p over the chromosomes ($best)" "[ \"$top\" = \"$best\" ]"
  sumtop=$(awk -F'\t' '$1 == "snp" && $2 == "Additive" && $3 == 1 { print $4 "\t" $7 }' results/top_hits.tsv)
  check "top_hits.tsv starts with that hit" "[ \"$sumtop\" = \"$best\" ]"
  allrow=$(awk -F'\t' '$1 == "all" { print $7 "\t" $10 }' results/summary.tsv)
  check "summary.tsv's genome-wide row names that hit" "[ \"$allrow\" = \"$best\" ]"
  # Its chromosome and position are those of its genotype line.
  read -r chrom pos < <(awk -F'\t' '$1 == "snp" && $2 == "Additive" && $3 == 1 { print $5, $6 }' results/top_hits.tsv)
  line=$(awk -F'\t' -v id="${best%%$'\t'*}" '$1 == id { print $2, $3 }' results/per_chrom/$chrom/$chrom.impu)
  check "top hit's chromosome and position ($chrom $pos) match its genotype line ($line)" "[ \"$line\" = \"$chrom $pos\" ]"

  # Per-chromosome counts of the summary, against the files they come from.
  for c in 1 2; do
    analysed=$(($(wc -l <results/per_chrom/$c/$c.flt.geno) - 2))
    flagged=$((200 - analysed))
    got=$(awk -F'\t' -v c=$c '$1 == c { print $2, $3, $4 }' results/summary.tsv)
    check "summary.tsv chromosome $c: 200 SNPs in, $flagged flagged, $analysed analysed ($got)" \
      "[ \"$got\" = \"200 $flagged $analysed\" ]"
  done

  sm --cores 2 -n >rerun.log 2>&1
  check "a second run has nothing to do" "grep -q 'Nothing to be done' rerun.log"
  ;;

failure)
  mkdir -p geno
  geno=$repo/tests/integration/data/chr10_60snps_200samples.geno
  cp "$geno" geno/chr1.geno
  # Chromosome 2: a SNP line cut short. PREFLAG stops there, prints its error
  # status and still exits with 0.
  awk 'NR == 20 { print "rs_damaged"; next } { print }' "$geno" >geno/chr2.geno
  cat >study.yaml <<EOF
bin: $bin
input:
  geno_per_chrom: geno/chr{chrom}.geno
plots:
  enabled: false
EOF
  sm --cores 2 --profile "$repo/workflow/profiles/local" >run1.log 2>&1
  status=$?
  check "the workflow reports the failure (status $status)" "[ $status -ne 0 ]"
  check "Snakemake names the failed job: rule preflag of chromosome 2" \
    "grep -A3 'Error in rule preflag' run1.log | grep -q 'per_chrom/2/2.geno'"
  check "the step's own error status is shown" "grep -q '#error=Flagging (Unknown) error' run1.log"
  check "the step's message names the file and line" \
    "grep -q 'results/per_chrom/2/2.geno line 20 has fewer than four tab-separated fields' run1.log"
  check "the step's log holds its output" \
    "grep -q '^verdict: failed: error status line' results/logs/2/preflag.log && grep -q 'Flagging failed' results/logs/2/preflag.log"
  check "chromosome 2 stopped: no filtered file, nothing after PREFLAG" \
    "[ ! -e results/per_chrom/2/2.flt.geno ] && [ ! -e results/per_chrom/2/2.impu ] && [ ! -e results/per_chrom/2/2.snp.00.crss ]"
  complete=1
  for f in 1.flt.geno 1.impu 1.impu.pwld 1.impu.ld.hblk 1.impu.pwld.tag 1.snp.00.crss 1.hap.0.crss; do
    [ -s results/per_chrom/1/$f ] || complete=0
  done
  check "chromosome 1's chain is complete" "[ $complete -eq 1 ]"
  check "no genome-wide result was made from one chromosome" "[ ! -e results/genome/snp.00.crss ] && [ ! -e results/summary.tsv ]"

  # After the fix only chromosome 2 and the genome-wide steps run.
  cp "$geno" geno/chr2.geno
  sm --cores 2 -n >plan.log 2>&1
  planned=$(sed -n '/^Job stats/,/^total/{p;/^total/q}' plan.log | awk '$1 == "total" { print $2 }')
  check "after the fix 13 jobs are planned: chromosome 2's 7 steps and 6 genome-wide ($planned)" "[ \"$planned\" = 13 ]"
  check "no job of chromosome 1 is planned" "! grep -q 'per_chrom/1/' <(grep '^    output:' plan.log)"
  sm --cores 2 --profile "$repo/workflow/profiles/local" >run2.log 2>&1
  status=$?
  check "the rerun succeeds (status $status)" "[ $status -eq 0 ] && [ -s results/summary.tsv ]"
  ;;

dryrun)
  {
    echo "bin: $bin"
    echo "input:"
    echo "  vcf: $data/study.vcf.gz"
    echo "chromosomes: [$(seq -s ', ' 1 22)]"
    echo "association:"
    echo "  models: [0, 4]"
  } >study.yaml
  sm --profile "$repo/workflow/profiles/slurm" -n -p >dry.log 2>&1
  status=$?
  check "the dry run with the SLURM profile succeeds (status $status)" "[ $status -eq 0 ]"
  stats=$(sed -n '/^Job stats/,/^total/{p;/^total/q}' dry.log | awk 'NR > 3 { print $1 "=" $2 }' | tr '\n' ' ')
  want="all=1 convert=22 hapxtab=44 merge_hap_reports=2 merge_snp_reports=2 plot_ld=22 plot_manhattan=2 plot_qq=2 preflag=22 preimpu=22 pwld=22 qvalcalc=4 snpxtab=44 summary=1 tag1=22 total=234 "
  check "22 chromosome chains, two models: the expected jobs ($stats)" "[ \"$stats\" = \"$want\" ]"
  for c in 1 9 22; do
    check "chromosome $c is converted from the study file" \
      "grep -q \"genoconv --vcf $data/study.vcf.gz --chrom $c \" dry.log"
  done
  check "PWLD jobs ask SLURM for their measured memory and time" \
    "[ \$(grep -A8 '^rule pwld:' dry.log | grep -c 'mem_mb=4000.*runtime=240') -gt 0 ]"

  # The configuration is checked before anything runs.
  printf 'pwld:\n  windw: 1000\n' >>study.yaml
  sm -n >typo.log 2>&1
  st=$?
  check "an unknown key is refused at start" "[ $st -ne 0 ] && grep -q \"'windw' was unexpected\" typo.log"
  printf 'bin: %s\ninput:\n  vcf: %s\n  bfile: x\n' "$bin" "$data/study.vcf.gz" >study.yaml
  sm -n >two.log 2>&1
  st=$?
  check "two inputs are refused at start" "[ $st -ne 0 ] && grep -q 'name exactly one input.*found vcf, bfile' two.log"
  printf 'bin: %s\ninput:\n  vcf: %s\nassociation:\n  models: [6]\n' "$bin" "$data/study.vcf.gz" >study.yaml
  sm -n >model.log 2>&1
  st=$?
  check "a model outside 0-5 is refused at start" "[ $st -ne 0 ] && grep -q '6 is greater than the maximum of 5' model.log"
  ;;
inputs)
  # The other input kinds reach the same genotype files: one VCF per
  # chromosome (cut with bcftools) and a PLINK 1 fileset (made by plink1.9).
  command -v bcftools >/dev/null && command -v plink1.9 >/dev/null || { echo "bcftools or plink1.9 missing"; exit 77; }
  for c in 1 2; do
    bcftools view -r $c -Oz -o chr$c.vcf.gz "$data/study.vcf.gz" && bcftools index chr$c.vcf.gz
    "$bin/genoconv" --vcf "$data/study.vcf.gz" --chrom $c --types "$data/study.types" --out byhand$c 2>/dev/null
  done
  plink1.9 --vcf "$data/study.vcf.gz" --make-bed --out fileset >/dev/null 2>&1
  targets=(results/per_chrom/1/1.geno results/per_chrom/2/2.geno)
  printf 'bin: %s\ninput:\n  vcf_per_chrom: %s\n  types: %s\n' "$bin" "$work/chr{chrom}.vcf.gz" "$data/study.types" >study.yaml
  sm --cores 2 --directory percv "${targets[@]}" >percv.log 2>&1
  for c in 1 2; do
    check "one VCF per chromosome: chromosome $c converted as from the whole VCF" \
      "cmp -s byhand$c.geno percv/results/per_chrom/$c/$c.geno"
  done
  # A damaged VCF of one chromosome: the converter's own message, the other converts.
  mkdir -p damaged
  cp chr1.vcf.gz damaged/chr1.vcf.gz
  head -c 5000 chr2.vcf.gz >damaged/chr2.vcf.gz
  printf 'bin: %s\ninput:\n  vcf_per_chrom: %s\n' "$bin" "$work/damaged/chr{chrom}.vcf.gz" >study.yaml
  sm --cores 2 --keep-going --directory dmg "${targets[@]}" >dmg.log 2>&1
  st=$?
  check "damaged VCF of chromosome 2: the run fails ($st) naming genoconv and the file" \
    "[ $st -ne 0 ] && grep -q \"step failed: genoconv\" dmg.log && grep -q \"$work/damaged/chr2.vcf.gz\" <(grep -A3 'step failed: genoconv' dmg.log)"
  check "damaged VCF of chromosome 2: chromosome 1 is converted, 2 is not" \
    "[ -s dmg/results/per_chrom/1/1.geno ] && [ ! -e dmg/results/per_chrom/2/2.geno ]"
  printf 'bin: %s\ninput:\n  bfile: %s\n  types: %s\n' "$bin" "$work/fileset" "$data/study.types" >study.yaml
  sm --cores 2 -n --directory bfile >bfile-plan.log 2>&1
  planned=$(sed -n '/^Job stats/,/^total/{p;/^total/q}' bfile-plan.log | awk '$1 == "convert" { print $2 }')
  check "PLINK fileset: chromosomes 1 and 2 found in the .bim ($planned conversions planned)" "[ \"$planned\" = 2 ]"
  sm --cores 2 --directory bfile "${targets[@]}" >bfile.log 2>&1
  for c in 1 2; do
    n=$(($(wc -l <bfile/results/per_chrom/$c/$c.geno) - 2))
    check "PLINK fileset: chromosome $c has its 200 SNPs ($n)" "[ $n -eq 200 ]"
  done
  ;;
*)
  echo "unknown mode $mode"
  exit 2
  ;;
esac

echo "$failures failure(s)"
[ $failures -eq 0 ]
