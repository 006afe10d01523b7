#!/usr/bin/env bash
# Every store key that the system tests saw a program read is in the table
# "Every key" of docs/configuration.md. The keys come from the store's trace
# (NVRAM_TRACE), one file per system test in TRACE_DIR.
# usage: configuration_keys.sh TRACE_DIR DOC
set -uo pipefail
traces=$1
doc=$2

shopt -s nullglob
files=("$traces"/*.keys)
if [ ${#files[@]} -eq 0 ]; then
  echo "FAIL: no key trace in $traces (the system tests write them)"
  exit 1
fi
read_keys=$(cat "${files[@]}" | sort -u | grep -v '^$')
if [ -z "$read_keys" ]; then
  echo "FAIL: the key traces in $traces are empty: the store library does not trace (NVRAM_TRACE)"
  exit 1
fi

# The first column of the table; "`A0` … `A10`" stands for A0 to A10.
documented=$(sed -n '/^## Every key$/,/^## /p' "$doc" | grep '^| `' | cut -d'|' -f2 |
  while read -r cell; do
    if [[ $cell =~ ^\`([A-Za-z_]+)([0-9]+)\`\ …\ \`([A-Za-z_]+)([0-9]+)\`$ ]]; then
      for ((i = BASH_REMATCH[2]; i <= BASH_REMATCH[4]; i++)); do echo "${BASH_REMATCH[1]}$i"; done
    else
      grep -o '`[^`]*`' <<< "$cell" | tr -d '`'
    fi
  done | sort -u)

missing=$(comm -23 <(echo "$read_keys") <(echo "$documented"))
if [ -n "$missing" ]; then
  echo "FAIL: keys read but not in the table of $doc:"
  echo "$missing"
  exit 1
fi
echo "ok: all $(wc -l <<< "$read_keys") keys read in ${#files[@]} system tests are documented"
