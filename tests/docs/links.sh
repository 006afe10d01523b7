#!/usr/bin/env bash
# Every relative link of the README and the documents names a file that exists
# and, with a #fragment, a heading of that file.
# usage: links.sh PROJECT_DIR
set -uo pipefail
cd "$1" || exit 1
status=0
anchor() { # the fragment a Markdown heading gets
  sed -E 's/^#+ +//' <<< "$1" | tr 'A-Z' 'a-z' | sed -E 's/[^a-z0-9 _-]//g; s/ /-/g'
}
for doc in README.md docs/*.md; do
  dir=$(dirname "$doc")
  while IFS= read -r link; do
    case "$link" in http://*|https://*|mailto:*) continue ;; esac
    file=${link%%#*}
    frag=""
    [ "$file" != "$link" ] && frag=${link#*#}
    target=$doc
    [ -n "$file" ] && target=$dir/$file
    if [ ! -e "$target" ]; then
      echo "FAIL: $doc links to $link: no such file"; status=1; continue
    fi
    if [ -n "$frag" ]; then
      found=0
      while IFS= read -r heading; do
        [ "$(anchor "$heading")" = "$frag" ] && { found=1; break; }
      done < <(grep -E '^#+ ' "$target")
      [ $found = 1 ] || { echo "FAIL: $doc links to $link: no such heading"; status=1; }
    fi
  done < <(grep -oE '\]\([^)]+\)' "$doc" | sed -E 's/^\]\((.*)\)$/\1/')
done
[ $status = 0 ] && echo "ok: every link resolves"
exit $status
