#!/bin/bash
# usage: with-test-user.sh WORK CMD...: runs CMD in a private mount namespace
# whose /etc is an overlay of the real /etc plus the user in WORK/etc/user.*
set -e
W=$1; shift
mkdir -p "$W/ovl/upper" "$W/ovl/work"
exec unshare --mount --propagation private bash -c '
  set -e
  W=$1; shift
  mount -t overlay overlay -o lowerdir=/etc,upperdir="$W/ovl/upper",workdir="$W/ovl/work" /etc
  cat "$W/etc/user.passwd" >> /etc/passwd
  cat "$W/etc/user.shadow" >> /etc/shadow
  cat "$W/etc/user.group"  >> /etc/group
  exec "$@"' _ "$W" "$@"
