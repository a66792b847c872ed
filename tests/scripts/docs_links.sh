#!/usr/bin/env bash
# The README stays short enough for a newcomer to read and links to every
# document in docs/; every relative link of README.md and docs/*.md leads to
# a file that exists, and to a heading of it when the link names one; and
# the places where scripts/bench and scripts/reliability write their tables
# are there, the writing changing nothing else.
#   docs_links.sh SOURCE_DIR
set -euo pipefail
source "$(dirname "$0")/script_env.sh"
src=$(cd "$1" && pwd)
source "$src/scripts/setup"

lines=$(wc -l <"$src/README.md")
[ "$lines" -le 250 ] || fail "README.md has $lines lines, more than 250"

# The lines of a Markdown file outside its fenced code blocks.
prose() { awk '/^```/ { code = !code; next } !code' "$1"; }
# The anchors GitHub gives the headings of a Markdown file.
anchors() {
  prose "$1" | sed -n 's/^#\{1,6\} \{1,\}//p' | tr 'A-Z' 'a-z' |
    sed -e 's/[^a-z0-9 _-]//g' -e 's/ /-/g'
}
# The targets of the links and pictures of a Markdown file, outside code.
targets() {
  prose "$1" | sed 's/`[^`]*`//g' | { grep -oE '\]\([^)]*\)' || true; } |
    sed -E 's/^\]\(//; s/\)$//; s/ .*//'
}

broken=()
for doc in "$src/README.md" "$src"/docs/*.md; do
  name=${doc#"$src"/}
  while IFS= read -r target; do
    case "$target" in http://* | https://* | mailto:*) continue ;; esac
    path=${target%%#*}
    anchor=""
    [[ "$target" != *"#"* ]] || anchor=${target#*#}
    file=$doc
    [ -z "$path" ] || file="$(dirname "$doc")/$path"
    if [ -z "$path$anchor" ] || [ ! -e "$file" ]; then
      broken+=("$name: ($target) leads to no file")
    elif [ -n "$anchor" ] && [[ "$file" == *.md ]] && ! anchors "$file" | grep -qxF -- "$anchor"; then
      broken+=("$name: ($target) names no heading of ${file#"$src"/}")
    fi
  done < <(targets "$doc")
done
[ ${#broken[@]} -eq 0 ] || fail "broken links:$(printf '\n  %s' "${broken[@]}")"

for doc in "$src"/docs/*.md; do
  targets "$src/README.md" | grep -qxE "docs/$(basename "$doc")(#.*)?" ||
    fail "README.md does not link to docs/$(basename "$doc")"
done

# Each table's place: a run's table goes between its two markers, and every
# other line of the document stays as it was.
outside() { awk -v b="<!-- begin table: $2 -->" -v e="<!-- end table: $2 -->" \
  '$0 == e { in_ = 0 } !in_ { print } $0 == b { in_ = 1 }' "$1"; }
inside() { awk -v b="<!-- begin table: $2 -->" -v e="<!-- end table: $2 -->" \
  '$0 == e { in_ = 0 } in_ { print } $0 == b { in_ = 1 }' "$1"; }
for place in performance.md:bench reliability.md:reliability reliability.md:reliability-long; do
  doc=${place%%:*} table=${place#*:}
  cp "$src/docs/$doc" "$work/$doc"
  printf '| a | run |\n|---|---|\n' | horalog_write_table "$work/$doc" "$table" ||
    fail "docs/$doc has no place for the $table table"
  expect "docs/$doc, the $table table written" "$(inside "$work/$doc" "$table")" $'| a | run |\n|---|---|'
  expect "docs/$doc around the $table table" "$(outside "$work/$doc" "$table")" \
    "$(outside "$src/docs/$doc" "$table")"
done
# A document without the place is refused and left as it was.
printf '<!-- end table: bench -->\n<!-- begin table: bench -->\n' >"$work/swapped.md"
cp "$work/swapped.md" "$work/kept.md"
if echo x | horalog_write_table "$work/swapped.md" bench 2>/dev/null; then
  fail "a table was written into a document whose markers are out of order"
fi
cmp -s "$work/swapped.md" "$work/kept.md" || fail "a refused document was changed"
echo "README.md: $lines lines; the links of README.md and docs/*.md resolve"
