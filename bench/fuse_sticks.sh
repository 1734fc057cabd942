#!/usr/bin/env bash
# A FUSE stick's first and second run: lisko onto a FAT32 image through
# fusefat and an exFAT one through exfat-fuse, each image in a tmpfs, the
# sources in another. A second run rewrites every target there (the
# daemon's reads may come from its own cache, so nothing is kept), and
# should cost what a first copy costs.
# Needs root (it mounts) and (Debian) dosfstools fusefat exfatprogs exfat-fuse.
#
#   bench/fuse_sticks.sh [rounds] [sticks] [files] [KiB each]
#   e.g. bench/fuse_sticks.sh 7 "fusefat exfat" 304 3072
#
# Each round makes a fresh image, times a first run onto it and a second
# run onto the copies of the first. It prints the median of each and the
# median of the rounds' ratios, second over first, with their smallest and
# largest. LISKO_COMPARE=/path/to/another/lisko adds that build, on an
# image of its own in the same rounds, to weigh a change to lisko itself.
#
# Then "changed": the songs copied onto a fresh stick (cp -p, sync), then
# their changed files (other bytes, 4,321 more each, as after re-tagging)
# copied over them by lisko, cp -p + sync -f, rsync -t --ignore-times +
# sync -f and the same with --fsync, each on a stick of its own in every
# round, in turn: lisko's time over each, median [smallest-largest].
set -euo pipefail
rounds=${1:-7}
sticks=${2:-"fusefat exfat"}
files=${3:-304}
kib=${4:-1024}
root=$(cd "$(dirname "$0")/.." && pwd)
cmake --workflow --preset release >/dev/null
builds=("$root/build/release/lisko")
[ -n "${LISKO_COMPARE:-}" ] && builds+=("$LISKO_COMPARE")

work=$(mktemp -d "${TMPDIR:-/tmp}/lisko-fuse-XXXXXX")
cleanup() {
  cd /
  mountpoint -q "$work"/stick && umount "$work"/stick
  losetup -j "$work"/images/stick.img 2>/dev/null | cut -d: -f1 | xargs -r losetup -d
  for point in "$work"/images "$work"/src; do mountpoint -q "$point" && umount "$point"; done
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work"/src "$work"/images "$work"/stick
mount -t tmpfs -o size=$((files * kib * 3 + 65536))k tmpfs "$work"/src
mount -t tmpfs -o size=$((files * kib * 3 / 2 + 262144))k tmpfs "$work"/images
mkdir -p "$work"/src/changed
for i in $(seq "$files"); do
  head -c $((kib * 1024)) /dev/urandom > "$work/src/$(printf '%03d' "$i") Track.mp3"
  head -c $((kib * 1024 + 4321)) /dev/urandom > "$work/src/changed/$(printf '%03d' "$i") Track.mp3"
done
find "$work"/src -maxdepth 1 -type f | sort > "$work"/list.m3u
find "$work"/src/changed -type f | sort > "$work"/changed.m3u

mount_stick() {  # type
  local image=$work/images/stick.img
  rm -f "$image"
  if [ "$1" = fusefat ]; then
    mkfs.vfat -F 32 -C "$image" $((files * kib * 5 / 4 + 65536)) >/dev/null
    fusefat -o rw+ "$image" "$work"/stick >/dev/null 2>&1
  else
    truncate -s $((files * kib * 5 / 4 + 65536))k "$image" && mkfs.exfat "$image" >/dev/null
    mount.exfat-fuse "$(losetup -f --show "$image")" "$work"/stick >/dev/null 2>&1
  fi
}

unmount_stick() {
  umount "$work"/stick
  losetup -j "$work"/images/stick.img | cut -d: -f1 | xargs -r losetup -d
}

seconds() {  # command...: runs it, prints its seconds
  local start end
  start=$(date +%s.%N)
  "$@" > /dev/null 2>&1
  end=$(date +%s.%N)
  python3 -c "print($end - $start)"
}

printf '%-8s %-6s %s\n' stick build "first s, second s (medians), second / first: median [smallest-largest]"
for stick in $sticks; do
  results=()
  for round in $(seq "$rounds"); do
    for b in "${!builds[@]}"; do
      mount_stick "$stick"
      sync
      first=$(seconds "${builds[$b]}" "$work"/list.m3u "$work"/stick/)
      second=$(seconds "${builds[$b]}" "$work"/list.m3u "$work"/stick/)
      results+=("$b $first $second")
      unmount_stick
    done
  done
  printf '%s\n' "${results[@]}" | python3 -c '
import statistics, sys
stick, names = sys.argv[1], ["this", "other"]
rows = [line.split() for line in sys.stdin]
for build in sorted({row[0] for row in rows}):
    mine = [(float(r[1]), float(r[2])) for r in rows if r[0] == build]
    ratios = [second / first for first, second in mine]
    print(f"{stick:<8} {names[int(build)]:<6} {statistics.median(f for f, _ in mine):.3f} s, "
          f"{statistics.median(s for _, s in mine):.3f} s, {statistics.median(ratios):.2f} "
          f"[{min(ratios):.2f}-{max(ratios):.2f}]")' "$stick"
done

changed_commands=("lisko" "cp-sync" "rsync-sync" "rsync-fsync")
[ -n "${LISKO_COMPARE:-}" ] && changed_commands+=("other")
run_changed() {  # command
  case $1 in
    lisko) "${builds[0]}" "$work"/changed.m3u "$work"/stick/ ;;
    other) "${builds[1]}" "$work"/changed.m3u "$work"/stick/ ;;
    cp-sync) xargs -d '\n' cp --preserve=timestamps -t "$work"/stick < "$work"/changed.m3u
             sync -f "$work"/stick ;;
    rsync-sync) rsync -t --ignore-times --no-relative --files-from="$work"/changed.m3u / "$work"/stick/ &&
                sync -f "$work"/stick ;;
    rsync-fsync) rsync -t --ignore-times --fsync --no-relative --files-from="$work"/changed.m3u / \
                   "$work"/stick/ && sync -f "$work"/stick ;;
  esac
}
echo
printf '%-8s %s\n' stick "changed songs over the copies: lisko s (median), lisko / each: median [smallest-largest]"
for stick in $sticks; do
  results=()
  for round in $(seq "$rounds"); do
    line=""
    for command in "${changed_commands[@]}"; do
      mount_stick "$stick"
      xargs -d '\n' cp -t "$work"/stick < "$work"/list.m3u
      sync
      line+=" $command=$(seconds run_changed "$command")"
      unmount_stick
    done
    results+=("$line")
  done
  printf '%s\n' "${results[@]}" | python3 -c '
import statistics, sys
rows = [dict(item.split("=") for item in line.split()) for line in sys.stdin]
lisko = [float(r["lisko"]) for r in rows]
parts = []
for name in rows[0]:
    if name == "lisko":
        continue
    ratios = [float(r["lisko"]) / float(r[name]) for r in rows]
    parts.append(f"{name} {statistics.median(ratios):.2f} [{min(ratios):.2f}-{max(ratios):.2f}]")
print(f"{sys.argv[1]:<8} {statistics.median(lisko):.3f} s  " + "  ".join(parts))' "$stick"
done
