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
"$bin/horalog-handheld" item "$img" 11 1 "Review, final"
"$bin/horalog-handheld" record "$img" 101 2003-03-20 1 11 'second look'
"$bin/horalog-handheld" span "$img" 101 10:00 40

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
  "100|131269391|fixed the 'x' bug|0|0
101|131269396|second look|0|0"
expect "spans" "$(sqlite3 "$store" 'SELECT parent, starttime, duration FROM hltime ORDER BY starttime')" \
  "100|32400|30
101|36000|40
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

# For spreadsheets and accounting tools: the same list as CSV and as typed
# JSON, read back with python's own parsers, over weekly periods and a rate.
reg_accts='HKCU\SOFTWARE\Brackwell\Horalog\Accts\O`Brien'
"$bin/horalog-reg" set "$reg_accts" Period "One Week"
"$bin/horalog-reg" set "$reg_accts\All" Rate 4500 --dword
python3 - "$bin/horalog" <<'PY' || fail "records and ranges as CSV and JSON"
import csv, io, json, re, subprocess, sys

def run(*args):
    return subprocess.run([sys.argv[1], *args], check=True, stdout=subprocess.PIPE).stdout.decode()

def check(what, got, want):
    if got != want:
        sys.exit(f"{what}: {got!r}, expected {want!r}")

for command in (["records", "Pocket_PC", "O`Brien"], ["ranges", "Pocket_PC", "O`Brien"]):
    tsv = run(*command)
    check("tsv is the default", run(*command, "--format", "tsv"), tsv)
    text = run(*command, "--format", "csv")
    check("CRLF line ends", text.count("\r\n"), tsv.count("\n"))
    check("csv round trip", list(csv.reader(io.StringIO(text, newline=""))),
          [line.split("\t") for line in tsv.splitlines()])
    if command[0] == "records":
        check("a comma is quoted", '"Review, final"' in text, True)

records = json.loads(run("records", "Pocket_PC", "O`Brien", "--format", "json"))
check("names", (records["device"], records["account"], records["item"]),
      ("Pocket_PC", "O`Brien", "All"))
rows = {row["id"]: row for row in records["records"]}
check("record 100", rows[100], {"id": 100, "included": True, "invoiced": False, "item": "Design",
                                "date": "2003-03-15", "hours": 2.0, "rate": "45.00",
                                "extension": "90.00", "invoiceDate": None})
check("record 101", (rows[101]["item"], rows[101]["date"], rows[101]["hours"]),
      ("Review, final", "2003-03-20", 0.7))
check("totals", (records["rate"], records["totalHours"], records["invoiceTotal"]),
      ("45.00", 2.7, "121.50"))

ranges = json.loads(run("ranges", "Pocket_PC", "O`Brien", "--format", "json"))
check("labels", [entry["label"] for entry in ranges],
      run("ranges", "Pocket_PC", "O`Brien").splitlines())
check("All", ranges[0], {"label": "All", "first": None, "last": None})
for entry in ranges[1:]:
    iso = re.compile(r"\d{4}-\d\d-\d\d$")
    check(entry["label"], bool(iso.match(entry["first"]) and iso.match(entry["last"])), True)
    check(entry["label"] + " spans a week",
          (entry["first"] <= "2003-03-15" <= entry["last"]) or
          (entry["first"] <= "2003-03-20" <= entry["last"]), True)
PY
set +e
"$bin/horalog" records Pocket_PC 'O`Brien' --format xml 2>/dev/null
rc=$?
set -e
[ "$rc" -ne 0 ] || fail "an unknown format was taken"

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
