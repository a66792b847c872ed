#!/bin/sh
# Runs a test program in a network and mount namespace of its own, with
# loopback up: it may listen on the RAPI port 990 and make network links
# (tests/support/dccm_dock.sh) without touching the machine's or another
# test's. As root directly; else in a user namespace of its own too.
if [ "$(id -u)" = 0 ]; then
  exec unshare -nm sh -c 'ip link set lo up && exec "$@"' sh "$@"
fi
exec unshare -rnm sh -c 'ip link set lo up && exec "$@"' sh "$@"
