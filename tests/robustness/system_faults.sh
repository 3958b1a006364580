#!/usr/bin/env bash
# Failures of the system under the programs: read errors, full devices and
# disks, result names that are links, FIFOs, directories and memory limits.
# Every case checks the status line or exit status, that the input is
# unchanged (checksums) and that no partial result is left behind.
#
# system_faults.sh BIN_DIR DATA_FILE WORK_DIR [EIO_SHIM]
#   DATA_FILE  a genotype file of 60 SNPs
#   EIO_SHIM   shared library making reads of one file fail (see
#              eio_shim.c); the read-error cases are skipped without it.
# MARLO_SANITIZED set: the programs carry the sanitizers, whose address
# space exceeds any small limit (the memory-limit case is skipped).
set -u
export LC_ALL=C
bin=$1
data=$2
work=$3
shim=${4:-}

rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 2
failures=0
cases=0

fail() {
  echo "FAIL [$current]: $*"
  failures=$((failures + 1))
}
begin() {
  current=$1
  cases=$((cases + 1))
}
sum() { md5sum <"$1" | cut -d' ' -f1; }

# Runs a command; rc, out.txt and err.txt hold its outcome. A hang is a
# failure of its own.
# wrap, when set, goes between timeout and the command (an environment or a
# limit for the program alone).
wrap=()
run() {
  timeout 60 "${wrap[@]}" "$@" >out.txt 2>err.txt
  rc=$?
  [ $rc -eq 124 ] && fail "hung: $*"
}
# A marlo command that ran and reported its error status.
marlo_failed() {
  run "$bin/marlo" "$@" /PROGRESS
  [ $rc -eq 0 ] || fail "exit status $rc, expected 0"
  grep -q '^#error=' err.txt || fail "no error status line"
  ! grep -q '^#success=' err.txt || fail "success status line"
  ! grep -qx 'SUCCESS' err.txt || fail "SUCCESS line"
}
# A program that ended with an exit status (TAG1, snpxtab, hapxtab,
# qvalcalc).
exited_with() {
  local want=$1
  shift
  run "$@"
  [ $rc -eq "$want" ] || fail "exit status $rc, expected $want"
  [ "$want" -eq 0 ] || ! grep -q '^#success=' err.txt || fail "success status line"
}
says() { grep -qF -- "$1" out.txt err.txt || fail "no message '$1'"; }
absent() {
  for f in "$@"; do [ -e "$f" ] && fail "$f left behind"; done
  return 0
}
absent_or_empty() {
  for f in "$@"; do [ -s "$f" ] && fail "$f left behind with content"; done
  return 0
}
no_temporaries() {
  local left
  left=$(find . -name '*.tmp??????' | head -n 3)
  [ -z "$left" ] || fail "temporary files left: $left"
}
unchanged() { [ "$(sum "$1")" = "$2" ] || fail "$1 changed"; }

# --- inputs -----------------------------------------------------------------
cp "$data" c.geno
head -n 14 c.geno >w.geno # 12 SNPs: EM and PLEM in a moment
head -n 2 c.geno >h.geno  # header lines only
"$bin/marlo" PWLD w.geno >/dev/null 2>&1
"$bin/marlo" EM w.geno >/dev/null 2>&1
"$bin/snpxtab" c.geno 0 0.05 0 0 N c.crss >/dev/null 2>&1
cp w.geno.pwld p.pwld
cp w.geno.em.hblk b.hblk
rm -f w.geno.*
for f in c.geno w.geno p.pwld b.hblk c.crss; do
  [ -s "$f" ] || { echo "cannot prepare $f"; exit 2; }
done
C=$(sum c.geno)
W=$(sum w.geno)
P=$(sum p.pwld)
H=$(sum b.hblk)
Q=$(sum c.crss)
# Byte offset of the start of line n of a file.
offset_of_line() { head -n $(($2 - 1)) "$1" | wc -c; }

# --- read errors --------------------------------------------------------------
if [ -n "$shim" ]; then
  # Reads of the named file fail from the start of the given line on.
  eio() {
    local file=$1 line=$2
    shift 2
    # A sanitized program accepts a preloaded library ahead of its runtime.
    wrap=(env "MARLO_EIO_FILE=$file" "MARLO_EIO_AFTER=$(offset_of_line "$file" "$line")" "LD_PRELOAD=$shim"
          "ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0")
    "$@"
    wrap=()
  }
  for cmd in PREFLAG PREIMPU PWLD; do
    begin "read error: $cmd"
    opt=
    [ $cmd = PREFLAG ] && opt=/OUTFILE:o.geno
    eio c.geno 40 marlo_failed "$cmd" c.geno $opt
    says "c.geno"
    unchanged c.geno "$C"
    absent c.geno.flag o.geno c.geno.pos
    absent_or_empty c.geno.pwld c.geno.pwlds
    no_temporaries
    rm -f c.geno.pwld c.geno.pwlds
  done
  # Reading ahead on a second thread meets the error there.
  begin "read error: PREFLAG reading ahead"
  eio c.geno 40 marlo_failed PREFLAG c.geno /OUTFILE:o.geno /THREADS2
  says "c.geno: read error: Input/output error; no result was written"
  unchanged c.geno "$C"
  absent c.geno.flag o.geno
  no_temporaries
  for cmd in EM PLEM; do
    begin "read error: $cmd"
    eio w.geno 9 marlo_failed "$cmd" w.geno
    says "w.geno"
    unchanged w.geno "$W"
    absent_or_empty w.geno.*
    rm -f w.geno.*
  done
  # The block file's Location row reads the input once more per sample type;
  # pass 8 is that read for the last type (M) of EM, pass 4 the first of PLEM.
  for run in EM:8 PLEM:4; do
    cmd=${run%:*}
    begin "read error on the Location row: $cmd"
    export MARLO_EIO_PASS=${run#*:}
    eio w.geno 9 marlo_failed "$cmd" w.geno
    unset MARLO_EIO_PASS
    says "w.geno: read error while writing the Location row: Input/output error"
    unchanged w.geno "$W"
    rm -f w.geno.*
  done
  begin "read error: TAG1"
  eio p.pwld 30 exited_with 255 "$bin/marlo" TAG1 p.pwld /PROGRESS
  says "p.pwld: read error"
  unchanged p.pwld "$P"
  absent p.pwld.tag
  begin "read error: snpxtab counting"
  eio c.geno 40 exited_with 1 "$bin/snpxtab" c.geno 0 0.05 0 0 N r.crss
  says "#error=Cannot read input file."
  absent r.crss
  begin "read error: snpxtab reading"
  eio c.geno 40 exited_with 1 "$bin/snpxtab" c.geno 60 0.05 0 0 N r.crss
  says "c.geno: read error after line 39"
  absent r.crss
  begin "read error: hapxtab"
  eio b.hblk 12 exited_with 1 "$bin/hapxtab" b.hblk 0.05 0 Y r.hcrss
  says "b.hblk: read error"
  absent r.hcrss
  begin "read error: qvalcalc"
  eio c.crss 30 exited_with 1 "$bin/qvalcalc" 0 c.crss 0
  says "c.crss: read error after line 29"
  unchanged c.crss "$Q"
  absent c.crss.fdr
else
  echo "read-error cases skipped: no shim given"
fi

# --- a directory given as input -------------------------------------------------
mkdir d.geno d.crss
for cmd in PREFLAG PREIMPU EM PLEM PWLD; do
  begin "directory: $cmd"
  marlo_failed "$cmd" d.geno
  absent d.geno.flag d.geno.pos
  absent_or_empty d.geno.em.hblk d.geno.plem.hblk d.geno.pwld
  rm -f d.geno.*
done
begin "directory: TAG1"
exited_with 255 "$bin/marlo" TAG1 d.geno
absent d.geno.tag
begin "directory: snpxtab"
exited_with 1 "$bin/snpxtab" d.geno 5 0.05 0 0 N r.crss
absent r.crss
begin "directory: hapxtab"
exited_with 1 "$bin/hapxtab" d.geno 0.05 0 Y r.hcrss
absent r.hcrss
begin "directory: qvalcalc"
exited_with 1 "$bin/qvalcalc" 0 d.crss 0
says "#error=Cannot read input file."
absent d.crss.fdr

# --- results that lead to /dev/full ------------------------------------------------
begin "/dev/full: PREFLAG report"
ln -s /dev/full c.geno.flag
marlo_failed PREFLAG c.geno /OUTFILE:o.geno
says "c.geno.flag: cannot be opened for writing: not a regular file (a character device)"
[ "$(readlink c.geno.flag)" = /dev/full ] || fail "the link was replaced"
absent o.geno
no_temporaries
rm -f c.geno.flag
begin "/dev/full: PREFLAG filtered file"
ln -s /dev/full full.geno
marlo_failed PREFLAG c.geno /OUTFILE:full.geno
absent c.geno.flag
no_temporaries
begin "/dev/full: PREIMPU position file"
ln -s /dev/full c.geno.pos
marlo_failed PREIMPU c.geno
unchanged c.geno "$C"
rm -f c.geno.pos
for r in em.phap plem.hblk; do
  begin "/dev/full: ${r%%.*} $r"
  ln -s /dev/full w.geno.$r
  marlo_failed "$(echo "${r%%.*}" | tr a-z A-Z)" w.geno
  says "cannot write the result file w.geno.$r completely"
  unchanged w.geno "$W"
  rm -f w.geno.*
done
begin "/dev/full: TAG1"
ln -s /dev/full p.pwld.tag
exited_with 255 "$bin/marlo" TAG1 p.pwld /PROGRESS
rm -f p.pwld.tag
begin "/dev/full: snpxtab"
exited_with 1 "$bin/snpxtab" c.geno 0 0.05 0 0 N full.geno
begin "/dev/full: hapxtab"
exited_with 1 "$bin/hapxtab" b.hblk 0.05 0 Y full.geno
begin "/dev/full: qvalcalc"
ln -s /dev/full c.crss.fdr
exited_with 1 "$bin/qvalcalc" 0 c.crss 0
says "#error=Cannot write fdr file."
rm -f c.crss.fdr full.geno

# --- a full disk: a small tmpfs where one can be mounted, else a file size
# limit (writes past it fail with EFBIG, as past the end of a full disk) ---
mkdir small
if mount -t tmpfs -o size=60k tmpfs small 2>/dev/null; then
  disk=tmpfs
else
  disk="file size limit"
  wrap=(bash -c 'trap "" XFSZ; ulimit -f 4; exec "$@"' limit)
fi
echo "full disk: $disk"
cp c.geno small/c.geno
cd small
begin "full disk ($disk): PREFLAG"
marlo_failed PREFLAG c.geno /OUTFILE:o.geno
says "write error"
unchanged c.geno "$C"
absent c.geno.flag o.geno
no_temporaries
wrap=()
cd ..
[ "$disk" = tmpfs ] && umount small

# --- PREIMPU: the record of replaced offsets is complete before the input
# changes; a rewrite cut short leaves a superset in it, and /RESTORE undoes
# the change ---
begin "PREIMPU cut short, then /RESTORE"
cp c.geno i.geno
(trap '' XFSZ; ulimit -f 20; "$bin/marlo" PREIMPU i.geno /PROGRESS >out.txt 2>err.txt)
grep -q '^#error=' err.txt || fail "no error status"
says "write error at byte"
[ -s i.geno.pos ] || fail "no position file"
[ "$(wc -l <i.geno.pos)" -eq "$(grep -o 'N/N' c.geno | wc -l)" ] || fail "the position file lacks offsets"
changed=$(cmp -l c.geno i.geno | awk '{print $1 - 1}')
[ -n "$changed" ] || fail "nothing was replaced before the failure"
for b in $changed; do
  awk -v b="$b" '$1 <= b && b < $1 + 3 {found = 1} END {exit !found}' i.geno.pos || fail "byte $b changed, unlisted"
done
cmp -s c.geno i.geno && fail "the limit did not cut the run"
run "$bin/marlo" PREIMPU i.geno /RESTORE /PROGRESS
grep -q '^#success=Restoring success' err.txt || fail "restore failed"
unchanged i.geno "$C"
begin "PREIMPU /RESTORE refuses a position file of another file"
echo 12 >i.geno.pos
run "$bin/marlo" PREIMPU i.geno /RESTORE /PROGRESS
grep -q '^#error=Restoring (Unknown) error' err.txt || fail "no error status"
unchanged i.geno "$C"
rm -f i.geno i.geno.pos

# --- result names that are links to the input ----------------------------------------
link_case() {
  local kind=$1 result=$2 input=$3 sum=$4
  shift 4
  begin "$kind link $result -> $input"
  if [ "$kind" = symbolic ]; then ln -s "$input" "$result"; else ln "$input" "$result"; fi
  "$@"
  says "refused"
  unchanged "$input" "$sum"
  rm -f "$result"
}
link_case symbolic w.geno.em.hblk w.geno "$W" marlo_failed EM w.geno
link_case hard w.geno.em.ihap w.geno "$W" marlo_failed EM w.geno
link_case symbolic w.geno.plem.phap w.geno "$W" marlo_failed PLEM w.geno
link_case hard w.geno.pwld w.geno "$W" marlo_failed PWLD w.geno
link_case symbolic w.geno.ld.hblk w.geno "$W" marlo_failed PWLD w.geno /LDBLK2
link_case symbolic p.pwld.tag p.pwld "$P" exited_with 255 "$bin/marlo" TAG1 p.pwld /PROGRESS
link_case hard c.geno.flag c.geno "$C" marlo_failed PREFLAG c.geno
link_case hard c.geno.pos c.geno "$C" marlo_failed PREIMPU c.geno
rm -f w.geno.* p.pwld.* c.geno.*
no_temporaries

# --- FIFOs: commands that read their input twice or rewrite it refuse one;
# the others read it once ---
mkfifo f.geno
for cmd in PREFLAG PREIMPU EM PLEM PWLD; do
  begin "FIFO: $cmd"
  marlo_failed "$cmd" f.geno
  says "f.geno is not a regular file (a FIFO)"
  absent f.geno.flag f.geno.pos f.geno.em.hblk f.geno.plem.hblk f.geno.pwld
done
begin "FIFO: snpxtab counting its lines"
exited_with 1 "$bin/snpxtab" f.geno 0 0.05 0 0 N r.crss
says "not a regular file (a FIFO)"
begin "FIFO: snpxtab with a SNP count"
timeout 20 cat c.geno >f.geno &
exited_with 0 "$bin/snpxtab" f.geno 60 0.05 0 0 N f.crss
wait
"$bin/snpxtab" c.geno 60 0.05 0 0 N r.crss >/dev/null 2>&1
cmp -s f.crss r.crss || fail "the report differs from the one of the regular file"
rm -f f.crss r.crss
rm f.geno
mkfifo f.pwld
begin "FIFO: TAG1"
timeout 20 cat p.pwld >f.pwld &
exited_with 0 "$bin/marlo" TAG1 f.pwld
wait
"$bin/marlo" TAG1 p.pwld >/dev/null 2>&1
cmp -s f.pwld.tag p.pwld.tag || fail "the tags differ from those of the regular file"
rm -f f.pwld f.pwld.tag p.pwld.tag

# --- a genotype file without SNP lines -----------------------------------------------
for cmd in PREFLAG PREIMPU EM PLEM PWLD; do
  begin "no SNP lines: $cmd"
  marlo_failed "$cmd" h.geno
  says "holds no SNP lines"
  absent h.geno.flag h.geno.pos
  absent_or_empty h.geno.em.hblk h.geno.plem.hblk h.geno.pwld
  rm -f h.geno.*
done

# --- memory: EM under an address-space limit is refused, not killed ------------------
if [ -z "${MARLO_SANITIZED:-}" ]; then
  begin "EM under RLIMIT_AS"
  # 24 markers, one individual heterozygous at all of them: 2^23 candidate
  # pairs, about a gigabyte.
  {
    printf 'Marker\tChr\tPosition\tStrand\ts1\ts2\n'
    printf 'Type\t.\t.\t.\t0\t0\n'
    for k in $(seq 1 24); do printf 'rs%d\t1\t%d\t+\tA/G\tA/A\n' "$k" "$((k * 100))"; done
  } >m.geno
  wrap=(bash -c 'ulimit -v 400000; exec "$@"' limit)
  marlo_failed EM m.geno
  says "MB available"
  wrap=()
  rm -f m.geno*
fi

echo "$cases cases, $failures failures"
[ $failures -eq 0 ]
