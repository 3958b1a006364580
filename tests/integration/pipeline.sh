#!/usr/bin/env bash
# Runs the whole analysis on a small slice and checks the contracts between
# the programs' files: TAG1 reads what PWLD wrote, hapxtab reads what EM and
# PLEM wrote, qvalcalc reads what snpxtab and hapxtab wrote, and a second
# run with the same /SEED gives byte-identical results.
#   pipeline.sh BIN_DIR GENO_FILE WORK_DIR
set -u
export LC_ALL=C
bin=$1
geno=$2
work=$3
failures=0

check() {
  if eval "$2"; then
    echo "ok   - $1"
  else
    echo "FAIL - $1"
    failures=$((failures + 1))
  fi
}

# Runs one marlo step; it must end with its success status.
marlo_ok() {
  local log=$1
  shift
  "$bin/marlo" "$@" /PROGRESS >"$log.out" 2>"$log.err" && grep -q '^#success=' "$log.err"
}

run_pipeline() {
  local dir=$1
  rm -rf "$dir"
  mkdir -p "$dir"
  cp "$geno" "$dir/slice.geno"
  chmod u+w "$dir/slice.geno"
  (
    cd "$dir" || exit 1
    marlo_ok preflag PREFLAG slice.geno /OUTFILE:slice.flagged.geno || exit 11
    cp slice.geno slice.impu
    marlo_ok preimpu PREIMPU slice.impu || exit 12
    head -n 10 slice.impu >window.impu
    marlo_ok em EM window.impu /EPS0.0001 /RANDOM /SEED11 || exit 13
    head -n 27 slice.impu >first25.impu
    marlo_ok plem PLEM first25.impu /SEED11 || exit 14
    marlo_ok pwld PWLD slice.impu /LDBLK2 /CRSOVR /ANNO500000 /SEED11 || exit 15
    marlo_ok tag1 TAG1 slice.impu.pwld /R=0.5 || exit 16
    "$bin/snpxtab" slice.impu 0 0.05 0 0 Y >snpxtab.out 2>snpxtab.err || exit 17
    "$bin/hapxtab" first25.impu.plem.hblk 0.05 0 Y >hapxtab_plem.out 2>hapxtab_plem.err || exit 18
    "$bin/hapxtab" window.impu.em.hblk 0.05 3 N >hapxtab_em.out 2>hapxtab_em.err || exit 19
    "$bin/qvalcalc" 0 slice.impu.snp.crss.00.tmp 0 >qsnp.out 2>qsnp.err || exit 20
    "$bin/qvalcalc" 1 first25.impu.hap.crss.0.tmp 1 >qhap.out 2>qhap.err || exit 21
  )
}

run_pipeline "$work/run1"
status=$?
check "first run: every step succeeds (status $status)" "[ $status -eq 0 ]"
run_pipeline "$work/run2"
status=$?
check "second run: every step succeeds (status $status)" "[ $status -eq 0 ]"

r=$work/run1
# Sections of a report: the values of its !Sample_Type lines, in order.
types_of() { grep '^!Sample_Type:' "$1" | cut -d: -f2 | tr '\n' ' '; }

check "PWLD wrote one section per sample type: 0 1 M" "[ \"$(types_of $r/slice.impu.pwld)\" = '0 1 M ' ]"
check "TAG1 wrote one section per .pwld section" \
  "[ \"$(types_of $r/slice.impu.pwld.tag)\" = \"$(types_of $r/slice.impu.pwld)\" ]"
# Every SNP TAG1 names is a SNP index of the .pwld pairs.
awk -F'\t' 'FNR == NR { if ($1 ~ /^[0-9]+$/) { seen[$2] = 1; seen[$3] = 1 } next }
            $1 ~ /^[0-9]+$/ { if (!($3 in seen)) bad = 1
                              if ($4 != "singleton") { n = split($4, c, ","); for (k = 1; k <= n; k++) if (!(c[k] in seen)) bad = 1 } }
            END { exit bad }' "$r/slice.impu.pwld" "$r/slice.impu.pwld.tag"
check "TAG1 names only SNPs of the .pwld pair lines" "[ $? -eq 0 ]"
snps_in_tag=$(awk -F'\t' '$1 ~ /^[0-9]+$/ && $4 != "singleton" { print $3; n = split($4, c, ","); for (k = 1; k <= n; k++) print c[k] }
                          $4 == "singleton" { print $3 }' "$r/slice.impu.pwld.tag" | sort -u | wc -l)
check "TAG1 covers SNPs (found $snps_in_tag distinct)" "[ $snps_in_tag -gt 0 ]"

# hapxtab tests every haplotype row of the "M" section of the block file.
m_haplotypes() { awk '/^!Sample_Type:/ { t = substr($0, 14) } t == "M" && /^!Haplotype_Count:/ { print substr($0, 18) + 0 }' "$1"; }
rows_of() { awk 'NR > 1 && !/^!/ && !/^Feature_ID/' "$1" | wc -l; }
check "hapxtab tested every PLEM haplotype of the M section ($(m_haplotypes $r/first25.impu.plem.hblk))" \
  "[ $(rows_of $r/first25.impu.hap.crss.0.tmp) -eq $(m_haplotypes $r/first25.impu.plem.hblk) ]"
check "hapxtab tested every EM haplotype of the M section ($(m_haplotypes $r/window.impu.em.hblk))" \
  "[ $(rows_of $r/window.impu.hap.crss.3.tmp) -eq $(m_haplotypes $r/window.impu.em.hblk) ]"
check "hapxtab saw 100 controls and 100 cases" \
  "grep -q '^#result=Control Sample Size=100$' $r/hapxtab_plem.err && grep -q '^#result=Case Sample Size=100$' $r/hapxtab_plem.err"

# qvalcalc reads every feature row of both reports.
check "qvalcalc read all 60 SNP rows of snpxtab" "grep -q '## Total P-value Count: 60$' $r/qsnp.out && [ \$(wc -l < $r/slice.impu.snp.crss.00.tmp.fdr) -eq 61 ]"
check "qvalcalc read every hapxtab row" \
  "grep -q \"## Total P-value Count: $(rows_of $r/first25.impu.hap.crss.0.tmp)\$\" $r/qhap.out"
# The q-values belong to the p-values of the report: each feature's p-value
# in the .fdr file is the GFT_p of its snpxtab row.
awk -F'\t' 'FNR == NR { if (FNR > 8) p[$1] = $7; next } FNR > 1 { if (!($1 in p) || p[$1] != $2) bad = 1 } END { exit bad }' \
  "$r/slice.impu.snp.crss.00.tmp" "$r/slice.impu.snp.crss.00.tmp.fdr"
check "qvalcalc p-values are the snpxtab GFT p-values of the same features" "[ $? -eq 0 ]"

# PREFLAG's filtered file keeps exactly the SNPs without Total_Flag 1 in M.
kept=$(awk -F'\t' '/^!Sample_Type:/ { t = substr($0, 14); next } t == "M" && NF >= 14 && $1 != "Marker_ID" && $14 == "0"' "$r/slice.geno.flag" | wc -l)
check "filtered genotype file holds the $kept unflagged SNPs" "[ \$((\$(wc -l < $r/slice.flagged.geno) - 2)) -eq $kept ]"

# Same /SEED, same bytes.
same=1
for f in $(cd "$r" && ls | grep -v -E '\.(out|err)$'); do
  if ! cmp -s "$r/$f" "$work/run2/$f"; then
    echo "  differs between runs: $f"
    same=0
  fi
done
check "a second run with the same /SEED gives byte-identical files" "[ $same -eq 1 ]"

echo "$failures failures"
[ $failures -eq 0 ]
