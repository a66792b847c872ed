#!/usr/bin/env bash
# scripts/function-lengths: first on made-up sources, where it must name the
# functions of 101 lines (a free one, a member defined in its class, a
# lambda) and pass over one of exactly 100; then on every product folder of
# the tree, none of which may hold a function over 100 lines.
#   function_lengths.sh SOURCE_DIR
set -euo pipefail
source "$(dirname "$0")/script_env.sh"
check="$1/scripts/function-lengths"

# A function of N lines: its head, N-2 statements, its closing brace.
function_of() {  # function_of HEAD N
  echo "$1 {"
  for ((i = 0; i < $2 - 2; i++)); do echo "  ++n;"; done
  echo "}"
}
mkdir -p "$work/src/sub"
{
  echo "int n = 0;"
  function_of "int Long()" 101
  function_of "int Fits()" 100
  echo "void Outer() {"
  function_of "  auto step = [&]()" 101
  echo "}"
} >"$work/src/long.cpp"
{
  echo "struct Shape {"
  function_of "  void Member()" 101
  echo "};"
} >"$work/src/sub/shape.h"

set +e
out=$(cd "$work" && "$check" src); rc=$?
set -e
expect "exit status with long functions" "$rc" 1
expect "long functions, longest first" "$out" "$(printf '%s\n' \
  "Functions over 100 lines (split each into named steps):" \
  "  103  Outer  src/long.cpp:203-305" \
  "  101  Long  src/long.cpp:2-102" \
  "  101  Outer::(lambda)  src/long.cpp:204-304" \
  "  101  Shape::Member  src/sub/shape.h:2-102")"

set +e
out=$("$check" "$work/nowhere" 2>&1); rc=$?
set -e
expect "exit status for a missing folder" "$rc" 2
expect "missing folder" "$out" "function-lengths: no folder $work/nowhere"

# The product itself.
"$check" || fail "product functions over 100 lines (above)"
