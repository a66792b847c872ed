#!/usr/bin/env bash
# Where scripts/setup gets SynCE when neither the system nor a source folder
# has it: a local repository stands in for SynCE's public one, its core/ a
# tiny SynCE look-alike whose configure and make record what they were given,
# so the whole path runs in a second without the network.
#   synce_fetch.sh SOURCE_DIR
set -euo pipefail
source "$(dirname "$0")/script_env.sh"
source "$1/scripts/setup"
export GIT_CONFIG_GLOBAL=/dev/null GIT_CONFIG_NOSYSTEM=1
export GIT_AUTHOR_NAME=t GIT_AUTHOR_EMAIL=t@example.org GIT_COMMITTER_NAME=t GIT_COMMITTER_EMAIL=t@example.org
# No SynCE on the system, and no source folder.
mkdir -p "$work/no-pkgconfig"
export PKG_CONFIG_LIBDIR="$work/no-pkgconfig" PKG_CONFIG_PATH=""
unset HORALOG_SYNCE_SOURCE HORALOG_SYNCE_URL HORALOG_SYNCE_COMMIT

up="$work/upstream"
mkdir -p "$up/core"
cd "$up/core"
printf '#!/bin/sh\necho pinned > built-from\n' >bootstrap
printf '#!/bin/sh\necho "$@" > configure.args\necho "prefix = ${1#--prefix=}" > config.mk\n' >configure
chmod +x bootstrap configure
printf '%s\n' 'include config.mk' 'all:' 'install:' \
  '	mkdir -p $(prefix)/lib/pkgconfig $(prefix)/libexec $(dbusservicedir) $(dbusservicestartdir) $(udevrulesdir)' \
  '	touch $(prefix)/lib/pkgconfig/libsynce.pc $(dbusservicedir)/org.synce.dccm.conf' \
  '	printf "#!/bin/sh\n" > $(prefix)/libexec/dccm && chmod +x $(prefix)/libexec/dccm' \
  '	echo $(dbusservicestartdir) $(udevrulesdir) $(udevstartersdir) > $(prefix)/install-dirs' >Makefile
git -C "$up" init -q
git -C "$up" add -A && git -C "$up" commit -qm pinned
pinned=$(git -C "$up" rev-parse HEAD)
sed -i 's/pinned/later/' bootstrap
git -C "$up" commit -qam later
cd "$work"

# The pinned commit, not the branch's tip; kept and reused without the network.
horalog_fetch_synce "$work/f" "$up" "$pinned" >/dev/null
expect "fetched commit" "$(git -C "$work/f" rev-parse HEAD)" "$pinned"
grep -q pinned "$work/f/core/bootstrap" || fail "the tip was checked out, not the pinned commit"
out=$(horalog_fetch_synce "$work/f" "$work/nowhere" "$pinned" 2>&1) || fail "a kept checkout was fetched again: $out"
expect "kept checkout" "$out" ""

# A commit upstream does not have, and a name that is no full hash: clear
# messages, nothing left behind.
wrong=0123456789abcdef0123456789abcdef01234567
set +e
out=$(horalog_fetch_synce "$work/w" "$up" "$wrong" 2>&1); rc=$?
set -e
[ "$rc" -ne 0 ] || fail "a wrong commit was fetched"
[[ $out == *"could not fetch commit $wrong from $up"* ]] || fail "wrong commit, message: $out"
[ ! -e "$work/w" ] || fail "a failed fetch left $work/w"
set +e
out=$(horalog_fetch_synce "$work/w" "$up" master 2>&1); rc=$?
set -e
[ "$rc" -ne 0 ] && [[ $out == *"full 40-digit hash, not 'master'"* ]] || fail "a branch name was taken: $out"

# setup's whole path: fetched, built into the staging prefix with every
# system folder inside it.
mkdir "$work/clone" && cd "$work/clone"
HORALOG_SYNCE_URL=$up HORALOG_SYNCE_COMMIT=$pinned horalog_build_synce >/dev/null
prefix="$work/clone/build/synce"
expect "note after a build" "$HORALOG_SYNCE_NOTE" ""
horalog_synce_staged "$prefix" || fail "setup staged no SynCE in $prefix"
expect "configure" "$(cat build/synce-src/configure.args)" \
  "--prefix=$prefix --localstatedir=$prefix/var --enable-dccm-file-support --disable-python-bindings"
expect "install folders" "$(cat "$prefix/install-dirs")" \
  "$prefix/share/dbus-1/system-services $prefix/lib/udev/rules.d $prefix/lib/udev"

# The order: an installed SynCE is used as it is, and a source folder comes
# before the repository (whose wrong URL would otherwise fail).
mkdir "$work/pc" "$work/clone3" && cd "$work/clone3"
printf 'Name: libsynce\nDescription: d\nVersion: 0.17\n' >"$work/pc/libsynce.pc"
PKG_CONFIG_LIBDIR="$work/pc" HORALOG_SYNCE_URL=$work/nowhere horalog_build_synce >/dev/null
[ ! -e build ] || fail "setup built SynCE although the system has it"
HORALOG_SYNCE_SOURCE="$work/f/core" HORALOG_SYNCE_URL=$work/nowhere horalog_build_synce >/dev/null
horalog_synce_staged build/synce && [ ! -e build/synce-git ] || fail "HORALOG_SYNCE_SOURCE was not used"

# A wrong pinned commit: the build goes on without SynCE and the summary
# says so in one line; a build with SynCE gets none.
mkdir "$work/clone2" && cd "$work/clone2"
HORALOG_SYNCE_URL=$up HORALOG_SYNCE_COMMIT=$wrong horalog_build_synce >"$work/log" 2>&1 ||
  fail "setup stopped at a wrong commit"
grep -q "could not fetch commit $wrong from $up" "$work/log" || fail "wrong commit, message: $(cat "$work/log")"
[ ! -e build/synce ] || fail "a failed fetch left a staging prefix"
mkdir -p build && echo 'HORALOG_WITH_RAPI:STRING=AUTO' >build/CMakeCache.txt
expect "summary without RAPI" "$(horalog_rapi_summary build)" \
  "NOTE: this build has no real-handheld (RAPI) backend: SynCE's commit $wrong could not be fetched from $up. Emulated handhelds work; a real one needs SynCE (README, \"A real handheld\")."
echo 'SYNCE_FOUND:INTERNAL=1' >>build/CMakeCache.txt
expect "summary with RAPI" "$(horalog_rapi_summary build)" ""
echo "synce_fetch: all cases passed"
