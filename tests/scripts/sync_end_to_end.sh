#!/usr/bin/env bash
# End to end: a handheld made and docked with horalog-handheld, synchronized
# with horalog sync, the store checked with the sqlite3 shell.
#   sync_end_to_end.sh BIN_DIR TEMPLATE_DIR
set -euo pipefail
bin=$1
template=$2
source "$(dirname "$0")/script_env.sh"

"$bin/horalog-reg" set 'HKCU\SOFTWARE\Brackwell\Horalog\Setup' DataPath "$work/stores/"
"$bin/horalog-reg" set 'HKCU\SOFTWARE\Brackwell\Horalog\Setup' ExecPath "$template"

img="$work/pocket.hhd"
"$bin/horalog-handheld" create "$img" --name "Pocket PC" --owner "Jane Doe"
"$bin/horalog-handheld" account "$img" 1 "O'Brien"
"$bin/horalog-handheld" item "$img" 10 1 Design
"$bin/horalog-handheld" record "$img" 100 2003-03-15 1 10 'fixed the "x" bug'
"$bin/horalog-handheld" span "$img" 100 09:00 30
"$bin/horalog-handheld" span "$img" 100 23:30 90

# Not docked yet: the connection fails and says so.
set +e
out=$("$bin/horalog" sync)
rc=$?
set -e
expect "exit status undocked" "$rc" 1
expect "status undocked" "$out" "Unable to connect to mobile device.  Verify device is turned on and docked and SynCE's connection manager (dccm) is running, then try connecting again."

"$bin/horalog-handheld" dock "$img"
expect "docked" "$("$bin/horalog-handheld" docked)" "$img"
out=$("$bin/horalog" sync)
expect "status lines" "$out" "Connected, Synchronizing
Invoiced items update completed
Synchronization completed"

store="$work/stores/Pocket_PC.mdb"
[ -f "$store" ] || fail "no store at $store"
expect "accounts" "$(sqlite3 "$store" 'SELECT id, name FROM accountName')" '1|O`Brien'
expect "records" "$(sqlite3 "$store" 'SELECT id, grpdate, notes, invoiced, deleted FROM hlgroup')" \
  "100|131269391|fixed the 'x' bug|0|0"
expect "spans" "$(sqlite3 "$store" 'SELECT parent, starttime, duration FROM hltime ORDER BY starttime')" \
  "100|32400|30
100|84600|90"

# The window's list, without the window.
expect "devices" "$("$bin/horalog" devices)" "Pocket_PC"
expect "ranges" "$("$bin/horalog" ranges Pocket_PC 'O`Brien')" "All"
expect "records" "$("$bin/horalog" records Pocket_PC 'O`Brien' Design)" "$(printf 'Inc\tItem\tDate\tTime\tRate\tExtension\tInv Date\nX\tDesign\t3/15/03\t2.0\t0.00\t0.00\t \nRate\t0.00\nTotal Time\t2.0\nInvoice Total\t0.00')"
set +e
"$bin/horalog" records Pocket_PC Nobody 2>/dev/null
rc=$?
set -e
expect "unknown account" "$rc" 1

# Invoiced in the store, then an update-only run removes it from the handheld.
sqlite3 "$store" "UPDATE hlgroup SET invoiced = 1, invoicedate = 37695 WHERE id = 100"
out=$("$bin/horalog" sync --update-only)
expect "update-only lines" "$out" "Connected, Synchronizing
Invoiced items update completed
Synchronization Completed"
expect "flagged" "$(sqlite3 "$store" 'SELECT deleted FROM hlgroup WHERE id = 100')" 1
"$bin/horalog-handheld" show "$img" | grep -q '^\[HLGroup\]$' || fail "show lists no HLGroup"
[ -z "$("$bin/horalog-handheld" show "$img" | sed -n '/^\[HLGroup\]$/,/^\[HLTime\]$/p' | grep '^100')" ] \
  || fail "record 100 still on the handheld"

"$bin/horalog-handheld" undock
set +e
"$bin/horalog-handheld" docked >/dev/null
rc=$?
set -e
expect "docked after undock" "$rc" 1
[ -f "$img" ] || fail "undock removed the image"
echo "sync end to end: ok"
