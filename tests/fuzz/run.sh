#!/usr/bin/env bash
# Runs one fuzz harness over its seed corpus and on from there.
# usage: run.sh HARNESS CORPUS_DIR ARTIFACT_DIR [libFuzzer options...]
# New inputs go to a scratch directory that is removed afterwards, so the
# committed corpus never changes; a crashing input is kept in ARTIFACT_DIR.
set -euo pipefail
harness=$1 corpus=$2 artifacts=$3
shift 3
mkdir -p "$artifacts"
scratch=$(mktemp -d "${TMPDIR:-/tmp}/fuzz-corpus.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
name=$(basename "$harness")
exec_rc=0
"$harness" -timeout=10 -rss_limit_mb=1024 -print_final_stats=1 \
  -artifact_prefix="$artifacts/$name-" "$@" "$scratch" "$corpus" || exec_rc=$?
exit $exec_rc
