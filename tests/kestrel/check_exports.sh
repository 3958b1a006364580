#!/usr/bin/env bash
# The shared library exports IndividualSampleType, CKestrel, fnKestrel and
# nKestrel and nothing else of its own (sanitizer builds add their own
# bookkeeping symbols, which are not counted).
set -euo pipefail
lib=$1
syms=$(nm -DC --defined-only "$lib" | awk '{ $1=""; $2=""; sub(/^  /, ""); print }' | sort -u)
echo "$syms"
unexpected=$(echo "$syms" | grep -v -E '^(__odr_asan\.|__asan_|__ubsan_)' | grep -v -E '^(IndividualSampleType::|CKestrel::|fnKestrel\(\)$|nKestrel$|typeinfo (name )?for IndividualSampleType$|vtable for IndividualSampleType$)' || true)
if [ -n "$unexpected" ]; then
  echo "unexpected exports:"
  echo "$unexpected"
  exit 1
fi
for want in 'IndividualSampleType::get(char const\*, int)' 'IndividualSampleType::search(char const\*, int) const' \
            'IndividualSampleType::~IndividualSampleType()' 'fnKestrel()' 'nKestrel' 'CKestrel::CKestrel()' \
            'CKestrel::operator=(CKestrel const&)'; do
  echo "$syms" | grep -q -x -- "$want" || { echo "missing export: $want"; exit 1; }
done
echo "exports ok"
