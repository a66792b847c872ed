#!/bin/sh
# Docks a served handheld image the way a Windows CE handheld on USB is
# docked: through SynCE's connection manager dccm on a private system bus,
# over a network link of its own, with no connection file anywhere.
#
#   dccm_dock.sh start DIR IMAGE [serve options...]
#       A system bus (DIR/bus) including SynCE's unmodified dccm policy;
#       dccm -f; a veth pair from this network namespace (the desktop,
#       169.254.2.2) to one of the handheld's (169.254.2.1); the device
#       announced with DeviceConnected as udev does; then
#       `horalog-handheld serve IMAGE --address 169.254.2.1 --dccm 169.254.2.2
#       [serve options...]` in the handheld's namespace. Returns once dccm
#       publishes the device, having written DIR/env (printed too):
#         DBUS_SYSTEM_BUS_ADDRESS  the private bus, for every program
#         SYNCE_CONF_DIR           an empty folder: no connection file
#         DCCM_DOCK_DEVICE         the device's object path at dccm
#         DCCM_DOCK_SERVE_PID, DCCM_DOCK_DCCM_PID, DCCM_DOCK_BUS_PID,
#         DCCM_DOCK_HOLDER_PID     the processes (holder: the handheld's
#                                  network namespace)
#         DCCM_DOCK_RUN_MOUNT      dccm's run folder when the dock mounted one
#                                  of its own there (SynCE's is not writable)
#       Logs: DIR/serve.log, DIR/dccm.log, DIR/bus.log. Exits 1 with a
#       message when something is missing or does not come up in time,
#       having ended what it started.
#   dccm_dock.sh stop DIR        ends every process of the dock, removes the link
#   dccm_dock.sh link-down DIR   deletes the veth pair: the cable pulled out
#   dccm_dock.sh freeze DIR      stops the handheld (SIGSTOP): it answers nothing
#   dccm_dock.sh thaw DIR        lets it run again
#   dccm_dock.sh devices DIR     prints the object paths dccm publishes, one a line
#   dccm_dock.sh password DIR TEXT   gives dccm the password of a locked
#                                handheld; prints true or false (dccm's answer)
#
# It must run in a network namespace of its own, where it may make links
# (tests/support/in_network_namespace.sh gives the tests one). SynCE is the
# one in $HORALOG_SYNCE_PREFIX, else pkg-config's libsynce; horalog-handheld
# the one in $HORALOG_BIN_DIR, else this tree's build folder. DIR holds no
# white space.
set -eu

DESKTOP=169.254.2.2
HANDHELD=169.254.2.1
LINK=hldccm0
PEER=hldccm1
DEVICE_PATH=/devices/virtual/tty/ipaq0
here=$(cd "$(dirname "$0")" && pwd)

fail() {
  echo "dccm_dock: $*" >&2
  exit 1
}

# Waits up to $1 tenths of a second for the command after it to succeed.
wait_for() {
  tries=$1
  shift
  while ! "$@" >/dev/null 2>&1; do
    tries=$((tries - 1))
    [ "$tries" -gt 0 ] || return 1
    sleep 0.1
  done
}

load() {
  [ -f "$1/env" ] || fail "$1 holds no dock (no $1/env)"
  while IFS='=' read -r key value; do
    eval "$key=\$value"
  done <"$1/env"
  export DBUS_SYSTEM_BUS_ADDRESS SYNCE_CONF_DIR
}

bus_call() {
  gdbus call --system --timeout 5 --dest "$@"
}

devices() {
  bus_call org.synce.dccm --object-path /org/synce/dccm/DeviceManager \
    --method org.synce.dccm.DeviceManager.GetConnectedDevices |
    grep -o "'/[^']*'" | tr -d "'" || true
}

has_owner() {
  bus_call org.freedesktop.DBus --object-path /org/freedesktop/DBus \
    --method org.freedesktop.DBus.NameHasOwner "$1" | grep -q true
}

own_namespace() {
  [ "$(readlink "/proc/$1/ns/net")" != "$(readlink /proc/self/ns/net)" ]
}

published() {
  [ -n "$(devices)" ]
}

start() {
  [ $# -ge 2 ] || fail "start takes DIR IMAGE [serve options...]"
  dir=$1
  image=$2
  shift 2
  case $dir in *[[:space:]]*) fail "DIR must hold no white space: $dir" ;; esac
  [ -f "$image" ] || fail "no image $image"
  if [ "$(readlink /proc/self/ns/net)" = "$(readlink /proc/1/ns/net)" ]; then
    fail "run me in a network namespace of my own (tests/support/in_network_namespace.sh)"
  fi
  for need in dbus-daemon:dbus-daemon gdbus:libglib2.0-bin ip:iproute2 nsenter:util-linux \
    unshare:util-linux; do
    command -v "${need%%:*}" >/dev/null || fail "no ${need%%:*} (Debian package ${need#*:})"
  done
  prefix=${HORALOG_SYNCE_PREFIX:-$(pkg-config --variable=prefix libsynce 2>/dev/null || true)}
  dccm=$prefix/libexec/dccm
  [ -n "$prefix" ] && [ -x "$dccm" ] || fail "no SynCE dccm (HORALOG_SYNCE_PREFIX or pkg-config libsynce)"
  policy=$prefix/etc/dbus-1/system.d/org.synce.dccm.conf
  [ -f "$policy" ] || policy=/etc/dbus-1/system.d/org.synce.dccm.conf
  [ -f "$policy" ] || fail "no org.synce.dccm.conf in $prefix/etc/dbus-1/system.d or /etc/dbus-1/system.d"
  handheld=${HORALOG_BIN_DIR:-$here/../../build}/horalog-handheld
  [ -x "$handheld" ] || fail "no horalog-handheld at $handheld"
  # dccm keeps its hand-over sockets in its LOCALSTATEDIR/run. Another
  # user's folder is replaced by one of the dock's, in this mount namespace.
  mkdir -p "$dir/synce" "$dir/run"
  mkdir -p "$prefix/var/run" 2>/dev/null || true
  dir=$(cd "$dir" && pwd)
  if [ ! -w "$prefix/var/run" ]; then
    [ "$(readlink /proc/self/ns/mnt)" != "$(readlink /proc/1/ns/mnt)" ] ||
      fail "$prefix/var/run is not writable (run me in a mount namespace of my own)"
    [ -d "$prefix/var/run" ] || fail "$prefix/var/run is missing and cannot be made"
    mount --bind "$dir/run" "$prefix/var/run"
    mounted=$prefix/var/run
  fi
  image=$(cd "$(dirname "$image")" && pwd)/$(basename "$image")
  rm -f "$dir/env" "$dir/bus"
  # A start that fails ends what it started.
  trap 'stop "$dir"' EXIT

  cat >"$dir/bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$dir/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <deny own="*"/>
    <deny send_type="method_call"/>
    <allow send_type="signal"/>
    <allow send_requested_reply="true" send_type="method_return"/>
    <allow send_requested_reply="true" send_type="error"/>
    <allow receive_type="method_call"/>
    <allow receive_type="method_return"/>
    <allow receive_type="error"/>
    <allow receive_type="signal"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus"/>
    <allow send_destination="org.freedesktop.DBus"
           send_interface="org.freedesktop.DBus.Introspectable"/>
    <allow send_destination="org.freedesktop.DBus"
           send_interface="org.freedesktop.DBus.Properties"/>
    <deny send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus"
          send_member="UpdateActivationEnvironment"/>
  </policy>
  <include>$policy</include>
</busconfig>
EOF
  DBUS_SYSTEM_BUS_ADDRESS=unix:path=$dir/bus
  SYNCE_CONF_DIR=$dir/synce
  export DBUS_SYSTEM_BUS_ADDRESS SYNCE_CONF_DIR
  # Written as each process starts, so that stop ends what did start.
  {
    echo "DBUS_SYSTEM_BUS_ADDRESS=$DBUS_SYSTEM_BUS_ADDRESS"
    echo "SYNCE_CONF_DIR=$SYNCE_CONF_DIR"
    echo "DCCM_DOCK_RUN_MOUNT=${mounted:-}"
  } >"$dir/env.part"
  dbus-daemon --config-file="$dir/bus.conf" --nofork >"$dir/bus.log" 2>&1 &
  echo "DCCM_DOCK_BUS_PID=$!" >>"$dir/env.part"
  wait_for 100 test -S "$dir/bus" || fail "the system bus did not start: $(cat "$dir/bus.log")"

  G_MESSAGES_DEBUG=all "$dccm" -f >"$dir/dccm.log" 2>&1 &
  echo "DCCM_DOCK_DCCM_PID=$!" >>"$dir/env.part"

  # The handheld's side of the link, in a network namespace kept by a
  # process that waits for the end of the dock.
  unshare -n sleep 1000000 >/dev/null 2>&1 &
  holder=$!
  echo "DCCM_DOCK_HOLDER_PID=$holder" >>"$dir/env.part"
  wait_for 100 own_namespace "$holder" || fail "no network namespace for the handheld"
  ip link del "$LINK" 2>/dev/null || true
  ip link set lo up
  ip link add "$LINK" type veth peer name "$PEER" netns "$holder"
  ip addr add "$DESKTOP/16" dev "$LINK"
  ip link set "$LINK" up
  nsenter -t "$holder" -n sh -c "ip link set lo up && ip addr add $HANDHELD/16 dev $PEER &&
    ip link set $PEER up"

  wait_for 100 has_owner org.synce.dccm || fail "dccm did not start: $(cat "$dir/dccm.log")"
  bus_call org.synce.dccm --object-path /org/synce/dccm/DeviceManagerControl \
    --method org.synce.dccm.DeviceManager.Control.DeviceConnected \
    "$DEVICE_PATH" "$HANDHELD" "$DESKTOP" false >/dev/null

  nsenter -t "$holder" -n "$handheld" serve "$image" --address "$HANDHELD" --dccm "$DESKTOP" \
    "$@" >"$dir/serve.log" 2>&1 &
  echo "DCCM_DOCK_SERVE_PID=$!" >>"$dir/env.part"
  wait_for 100 published || fail "dccm did not publish the handheld: $(cat "$dir/serve.log")"
  echo "DCCM_DOCK_DEVICE=$(devices | head -n 1)" >>"$dir/env.part"
  mv "$dir/env.part" "$dir/env"
  trap - EXIT
  cat "$dir/env"
}

stop() {
  dir=$1
  [ -f "$dir/env" ] || [ ! -f "$dir/env.part" ] || mv "$dir/env.part" "$dir/env"
  [ -f "$dir/env" ] || return 0
  load "$dir"
  ip link del "$LINK" 2>/dev/null || true
  for pid in ${DCCM_DOCK_SERVE_PID:-} ${DCCM_DOCK_DCCM_PID:-} ${DCCM_DOCK_HOLDER_PID:-} \
    ${DCCM_DOCK_BUS_PID:-}; do
    kill -CONT "$pid" 2>/dev/null || true
    kill -TERM "$pid" 2>/dev/null || true
    # Gone, or a zombie no one reaps (its parent, the start, has ended).
    wait_for 50 sh -c "! kill -0 $pid || grep -q '^State:.*Z' /proc/$pid/status" ||
      kill -KILL "$pid" 2>/dev/null || true
  done
  [ -z "${DCCM_DOCK_RUN_MOUNT:-}" ] || umount "$DCCM_DOCK_RUN_MOUNT" || true
  rm -f "$dir/env" "$dir/bus"
}

[ $# -ge 2 ] || fail "usage: dccm_dock.sh start|stop|link-down|freeze|thaw|devices|password DIR ..."
command=$1
shift
case $command in
  start) start "$@" ;;
  stop) stop "$1" ;;
  link-down) load "$1" && ip link del "$LINK" ;;
  freeze) load "$1" && kill -STOP "$DCCM_DOCK_SERVE_PID" ;;
  thaw) load "$1" && kill -CONT "$DCCM_DOCK_SERVE_PID" ;;
  devices) load "$1" && devices ;;
  password)
    [ $# -eq 2 ] || fail "password takes DIR TEXT"
    load "$1"
    bus_call org.synce.dccm --object-path "$DCCM_DOCK_DEVICE" \
      --method org.synce.dccm.Device.ProvidePassword "$2" | tr -d '(),'
    ;;
  *) fail "unknown command $command" ;;
esac
