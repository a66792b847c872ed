#!/usr/bin/env bash
# scripts/install-synce on the SynCE that setup staged, into a temporary
# root, three times: the first installs, the second changes nothing, the
# third puts back a file that was damaged in between.
#   synce_install.sh STAGED_SYNCE SOURCE_DIR
set -euo pipefail
stage=$1
source "$(dirname "$0")/script_env.sh"
root="$work/root"
install_synce() { "$2/scripts/install-synce" --root "$root" --from "$stage"; }
listing() { (cd "$root" && find . -printf '%p %M %l\n' | sort && find . -type f -print0 | sort -z | xargs -0 sha256sum); }

out=$(install_synce "$stage" "$2")
[[ $out == *"dccm is /usr/local/libexec/dccm."* ]] || fail "first install: $out"
p="$root/usr/local"
for f in libexec/dccm libexec/synce-serial-chat lib/udev/synce-udev-rndis lib/udev/synce-udev-serial \
         share/synce-core/udev-synce-rndis share/synce-core/udev-synce-serial; do
  [ -x "$p/$f" ] || fail "not installed or not executable: $p/$f"
done
[ -d "$root/var/run" ] || fail "no run folder for dccm"
cmp "$stage/etc/dbus-1/system.d/org.synce.dccm.conf" "$root/etc/dbus-1/system.d/org.synce.dccm.conf" ||
  fail "the D-Bus policy is not SynCE's own"
expect "service" "$(grep ^Exec= "$root/usr/share/dbus-1/system-services/org.synce.dccm.service")" \
  "Exec=/usr/local/libexec/dccm --log-level=6"
# Every program the udev rules and their helpers start is installed.
started=$(grep -ho 'RUN+="[^"]*"' "$root/etc/udev/rules.d/85-synce.rules" | cut -d'"' -f2 | sort -u)
expect "udev rules start" "$started" "/usr/local/lib/udev/synce-udev-rndis
/usr/local/lib/udev/synce-udev-serial"
for helper in $started; do
  next=$(grep -o '^/[^ ]*' "$root$helper")
  [ -x "$root$next" ] || fail "$helper starts $next, which is not installed"
done
# Nothing installed leads back into the staging folder; dccm keeps its
# sockets in /var/run, finds its library in the prefix and runs.
if grep -rlF "$stage" "$root"; then fail "installed files name the staging folder"; fi
expect "dccm's library path" "$(readelf -d "$p/libexec/dccm" | grep -o 'runpath: \[.*\]')" "runpath: [/usr/local/lib]"
grep -qaP '\x00/var\x00\x00' "$p/libexec/dccm" || fail "dccm's run folder is not /var/run"
LD_LIBRARY_PATH="$p/lib" "$p/libexec/dccm" --help | grep -q "keep connection to Windows Mobile device" ||
  fail "the installed dccm does not run"

before=$(listing)
expect "second install" "$(install_synce "$stage" "$2")" "SynCE's connection manager is installed already; nothing changed."
expect "tree after the second install" "$(listing)" "$before"

: >"$root/etc/dbus-1/system.d/org.synce.dccm.conf"
chmod 0600 "$p/libexec/dccm"
out=$(install_synce "$stage" "$2")
expect "repair" "$(grep -c ^installed <<<"$out")" 2
expect "tree after the repair" "$(listing)" "$before"
echo "synce_install: all cases passed"
