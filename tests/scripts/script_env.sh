# What the script tests share, sourced: a temporary folder ($work, removed
# on exit) holding the registry, the dock, the XDG folders and the stores;
# the locale and the time zone pinned; fail and expect.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HORALOG_REGISTRY="$work/registry.db"
export HORALOG_HANDHELD="$work/dock/handheld.hhd"
export XDG_STATE_HOME="$work/state" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config"
export LC_ALL=C.UTF-8 TZ=UTC
mkdir -p "$work/stores" "$work/dock"

fail() { echo "FAIL: $*" >&2; exit 1; }
expect() {  # expect WHAT ACTUAL EXPECTED
  [ "$2" = "$3" ] || fail "$1: got [$2], expected [$3]"
}
