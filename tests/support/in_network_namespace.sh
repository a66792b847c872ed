#!/bin/sh
# Runs a test program where it may listen on the RAPI port 990: directly as
# root, else in a user and network namespace of its own with loopback up.
if [ "$(id -u)" = 0 ]; then
  exec "$@"
fi
exec unshare -rn sh -c 'ip link set lo up && exec "$@"' sh "$@"
