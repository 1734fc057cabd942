#!/usr/bin/env bash
# Crash trials: lisko replaces 40 songs on an ext4 and an XFS image, and
# the file system is shut down without flushing its log (as a power cut
# leaves it) at a random moment of the run, or right after lisko has
# ended; it is then mounted again and every song checked. A song that is
# neither the old one nor the new one, or missing, breaks lisko's promise;
# after lisko has ended, every song must be the new one.
#
#   bench/crash_trials.sh [trials] [file systems] [lisko ...]
#   e.g. bench/crash_trials.sh 20 "ext4 xfs" build/release/lisko /tmp/old/lisko
#
# Each lisko given runs the same trials, side by side. The images live in
# a tmpfs ("ext4", "xfs") or on the machine's disk ("ext4-disk",
# "xfs-disk"). Needs root, xfsprogs (xfs_io shuts either file system down)
# and python3.
set -euo pipefail
trials=${1:-10}
systems=${2:-"ext4 xfs"}
shift $(($# < 2 ? $# : 2))
programs=("$@")
root=$(cd "$(dirname "$0")/.." && pwd)
if ((${#programs[@]} == 0)); then
  cmake --workflow --preset release >/dev/null
  programs=("$root/build/release/lisko")
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/lisko-crash-XXXXXX")
disk_images=$(mktemp -d /var/tmp/lisko-crash-XXXXXX)
cleanup() {
  cd /
  mountpoint -q "$work/mnt" && umount -l "$work/mnt"
  mountpoint -q "$work/tmp" && umount -l "$work/tmp"
  rm -rf "$work" "$disk_images"
}
trap cleanup EXIT
mkdir -p "$work/tmp" "$work/mnt"
mount -t tmpfs -o size=3g tmpfs "$work/tmp"

# 40 old songs and 40 new ones of other sizes, as after re-tagging.
python3 - "$work/tmp" <<'PY'
import os, random, sys
random.seed(7)
for set_name in ("old", "new"):
    os.makedirs(f"{sys.argv[1]}/{set_name}")
    for i in range(40):
        size = random.randint(1_000_000, 8_000_000)
        with open(f"{sys.argv[1]}/{set_name}/s{i:02}.mp3", "wb") as f:
            f.write(os.urandom(size))
with open(f"{sys.argv[1]}/list.m3u", "w") as f:
    f.writelines(f"{sys.argv[1]}/new/s{i:02}.mp3\n" for i in range(40))
PY

make_image() {  # system
  local image=$work/tmp/disk.img
  case $1 in *-disk) image=$disk_images/disk.img ;; esac
  rm -f "$work/tmp/disk.img" "$disk_images/disk.img"
  truncate -s 1G "$image"
  case $1 in
    ext4*) mkfs.ext4 -q -F -E nodiscard "$image" ;;
    xfs*) mkfs.xfs -q -f -K "$image" ;;
  esac
  echo "$image"
}

# Counts, for the songs on the medium: old, new, neither (torn), missing.
check() {
  python3 - "$work/tmp" "$work/mnt" <<'PY'
import sys
base, medium = sys.argv[1], sys.argv[2]
counts = {"old": 0, "new": 0, "torn": 0, "missing": 0}
for i in range(40):
    name = f"s{i:02}.mp3"
    try:
        got = open(f"{medium}/{name}", "rb").read()
    except FileNotFoundError:
        counts["missing"] += 1
        continue
    if got == open(f"{base}/new/{name}", "rb").read():
        counts["new"] += 1
    elif got == open(f"{base}/old/{name}", "rb").read():
        counts["old"] += 1
    else:
        counts["torn"] += 1
print(counts["old"], counts["new"], counts["torn"], counts["missing"])
PY
}

printf '%-10s %-6s %-36s %7s %7s %8s %9s %6s %8s\n' fs when lisko "run s" trials checked old/new torn missing
for system in $systems; do
  for when in during after; do
    for program in "${programs[@]}"; do
      # How long a run takes here: the moments are drawn within it.
      image=$(make_image "$system")
      mount -o loop "$image" "$work/mnt"
      cp "$work"/tmp/old/* "$work/mnt/" && sync
      start=$(date +%s.%N)
      "$program" "$work/tmp/list.m3u" "$work/mnt/" >/dev/null 2>&1 || true
      took=$(python3 -c "print($(date +%s.%N) - $start)")
      umount "$work/mnt"
      total_torn=0 total_missing=0 total_old=0 total_new=0 checked=0
      for trial in $(seq "$trials"); do
        image=$(make_image "$system")
        mount -o loop "$image" "$work/mnt"
        cp "$work"/tmp/old/* "$work/mnt/" && sync
        moment=$(python3 -c "import random; print(random.uniform(0, $took))")
        "$program" "$work/tmp/list.m3u" "$work/mnt/" >/dev/null 2>&1 &
        child=$!
        if [ $when = during ]; then
          sleep "$moment"
        else
          wait $child || true
        fi
        xfs_io -x -c shutdown "$work/mnt" 2>/dev/null || true
        wait $child 2>/dev/null || true
        umount "$work/mnt" && mount -o loop "$image" "$work/mnt"
        read -r old new torn missing < <(check)
        umount "$work/mnt"
        total_old=$((total_old + old)) total_new=$((total_new + new))
        total_torn=$((total_torn + torn)) total_missing=$((total_missing + missing))
        checked=$((checked + 40))
        [ $when = after ] && total_missing=$((total_missing + old))  # after the end, an old one is lost too
      done
      printf '%-10s %-6s %-36s %7.2f %7s %8s %9s %6s %8s\n' "$system" "$when" "$program" "$took" \
        "$trials" "$checked" "$total_old/$total_new" "$total_torn" "$total_missing"
    done
  done
done
