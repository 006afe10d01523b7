# Run in the lab box by tools/labbox/test.sh (as the box's script): each case
# of $LABBOX_DIR/cases ("NAME PATH SECONDS [VAR=VALUE...]" a line) with bash,
# as root, from the checkout, in mount, network and pid namespaces of its own
# with a fresh /tmp and /run (the run's directory unmounted there, the
# checkout kept where it lies below one), stopped at its time limit. Each case's output
# comes under a line naming it; its status and seconds go to
# $LABBOX_DIR/results. A case whose output shows a stand-in (a line
# "STAND-IN: ...") fails whatever its status.
cd "$LABBOX_ROOT" || exit 1
: > "$LABBOX_DIR/results"
while read -r name path limit vars; do
  echo "== lab: $name"
  start=$(date +%s)
  # shellcheck disable=SC2086
  env LABBOX_CASE="$name" $vars timeout -k 5 "$limit" \
    unshare --mount --net --pid --fork --mount-proc --propagation private \
    bash -c 'umount -l "$LABBOX_DIR" && mkdir -p /mnt/labbox-root && mount --bind "$LABBOX_ROOT" /mnt/labbox-root &&
             mount -t tmpfs -o mode=1777 tmp /tmp && mount -t tmpfs -o mode=0755 run /run &&
             mkdir -p "$LABBOX_ROOT" /run/lock /run/netns && mount --move /mnt/labbox-root "$LABBOX_ROOT" &&
             ip link set lo up && exec bash "$1"' case "$path" \
    < /dev/null > "$LABBOX_DIR/case.out" 2>&1
  rc=$?
  cat "$LABBOX_DIR/case.out"
  if [ $rc = 0 ] && grep -q '^STAND-IN: ' "$LABBOX_DIR/case.out"; then
    echo "FAIL: $name met a stand-in"
    rc=1
  fi
  [ $rc = 124 ] && echo "FAIL: $name still running after $limit s, stopped"
  echo "$name $rc $(( $(date +%s) - start ))" >> "$LABBOX_DIR/results"
done < "$LABBOX_DIR/cases"
