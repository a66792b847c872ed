#!/usr/bin/env bash
# What a new user sees first after scripts/run: the demo handheld's first
# account and its first item (as the main window sorts them) have records
# in the current week, and a rate.
#   demo_first_window.sh BIN_DIR TEMPLATE_DIR SOURCE_DIR
set -euo pipefail
bin=$1
template=$2
source_dir=$3
source "$(dirname "$0")/script_env.sh"

"$bin/horalog-reg" set 'HKCU\SOFTWARE\Brackwell\Horalog\Setup' DataPath "$work/stores/"
"$bin/horalog-reg" set 'HKCU\SOFTWARE\Brackwell\Horalog\Setup' ExecPath "$template"
"$source_dir/scripts/demo-handheld" "$bin/horalog-handheld" "$work/demo.hhd" >/dev/null
"$source_dir/scripts/demo-settings" "$bin/horalog-reg"
"$bin/horalog-handheld" dock "$work/demo.hhd" >/dev/null
"$bin/horalog" sync >/dev/null

# Every account and item of the demo has records: Admin, the first item of
# Acme Corp, the first account, among them. (Names are stored with
# backquotes: an apostrophe would end the SQL string.)
for pair in "Acme Corp|Admin" "Acme Corp|Design" "Acme Corp|Support" \
            'O`Brien & Sons|Bookkeeping' 'O`Brien & Sons|Payroll' "Smith Co West|Website"; do
  rows=$("$bin/horalog" records Demo_PC "${pair%|*}" "${pair#*|}" | grep -c "^[X ]*	" || true)
  [ "$rows" -gt 0 ] || fail "no records for $pair"
done
admin=$("$bin/horalog" records Demo_PC "Acme Corp" Admin)
echo "$admin" | grep -q "	45.00	" || fail "Admin has no rate: $admin"
echo "$admin" | grep -q "	0.00	" && fail "Admin shows an amount of 0.00: $admin"
# The last week (the demo runs up to today) holds Admin records.
week_ago=$(date -d "-7 days" +%s)
recent=0
while read -r day; do
  [ "$(date -d "$day" +%s)" -ge "$week_ago" ] && recent=$((recent + 1))
done < <(echo "$admin" | awk -F'\t' 'NF > 3 { print $3 }' | grep -E '^[0-9]+/[0-9]+/[0-9]+$' || true)
[ "$recent" -gt 0 ] || fail "no Admin record in the last week: $admin"
echo "ok"
