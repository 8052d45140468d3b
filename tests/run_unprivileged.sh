#!/bin/sh
# Runs a test program as an ordinary user when the tests run as root, so that file
# permissions are really enforced (root may write read-only files and directories). When
# the ordinary user cannot reach the program (a checkout under a private directory), it
# runs as it is, and the permission tests skip themselves.
if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null 2>&1; then
  cd /tmp || exit 1
  as_user="setpriv --reuid=65534 --regid=65534 --clear-groups"
  if $as_user test -x "$1"; then
    exec $as_user "$@"
  fi
  echo "run_unprivileged: $1 is out of an ordinary user's reach; running as root"
fi
exec "$@"
