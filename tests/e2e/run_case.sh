#!/usr/bin/env bash
# Runs one end-to-end case: run_case.sh BIN_DIR CASE_DIR WORK_DIR
set -u
export LC_ALL=C
bin=$1
case_dir=$2
work=$3

rm -rf "$work"
mkdir -p "$work"
for item in "$case_dir"/* "$case_dir"/.[!.]*; do
  [ -e "$item" ] || continue
  name=$(basename "$item")
  [ "$name" = expected ] && continue
  [ "$name" = cmd ] && continue
  cp -r "$item" "$work/"
done
cd "$work" || exit 2

export PATH="$bin:$PATH"
export MARLO_BIN_DIR="$bin"
bash "$case_dir/cmd" >stdout.actual 2>stderr.actual
echo $? >status.actual

# Volatile text: the start and end time lines, run times, the build date of
# the usage banner (which must still have the compiler's date form), and the
# source line numbers diagnostics print after their source unit.
mask() {
  sed -E \
    -e 's/^(start_time|end_time)\t.*$/\1\t<masked>/' \
    -e 's/^#runtime=[0-9]+$/#runtime=<masked>/' \
    -e 's/Total Running Time: [0-9.]+ sec/Total Running Time: <masked> sec/' \
    -e 's/^MARLO Native Engine\((Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 1-3][0-9] [0-9]{4}\)$/MARLO Native Engine(<date>)/' \
    -e 's#((engine|kestrel)/[A-Za-z0-9_/]+):[0-9]+#\1:<line>#g'
}

fail=0
if [ -d "$case_dir/expected" ]; then
  for f in "$case_dir"/expected/*; do
    [ -e "$f" ] || continue
    name=$(basename "$f")
    case $name in
      stdout) actual=stdout.actual ;;
      stderr) actual=stderr.actual ;;
      status) actual=status.actual ;;
      ABSENT)
        while read -r gone; do
          [ -z "$gone" ] && continue
          if [ -e "$gone" ]; then
            echo "should not exist: $gone"
            fail=1
          fi
        done <"$f"
        continue
        ;;
      *) actual=$name ;;
    esac
    if [ ! -e "$actual" ]; then
      echo "missing: $name"
      fail=1
      continue
    fi
    if ! diff <(mask <"$f") <(mask <"$actual") >"diff.$name"; then
      echo "differs: $name"
      head -n 40 "diff.$name"
      fail=1
    fi
  done
fi
if [ $fail -ne 0 ]; then
  echo "--- case: $case_dir (work: $work)"
  echo "--- stdout (head)"; head -n 20 stdout.actual
  echo "--- stderr (head)"; head -n 20 stderr.actual
fi
exit $fail
