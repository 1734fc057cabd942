#!/usr/bin/env bash
# Benchmarks lisko against cp and rsync on file systems of its own, and
# measures lisko's peak memory on a huge playlist.
# Needs (Debian): apt-get install hyperfine time rsync python3 xfsprogs
#
#   bench/run.sh [rounds] [file systems] [cases]
#   e.g. bench/run.sh 7 "ext4 xfs tmpfs ext4-disk xfs-disk" "200x5M"
#
# Each file system is made for the run: an ext4 and an XFS image, made
# without discard and loop-mounted, and a tmpfs. "ext4" and "xfs" keep
# their image in a tmpfs, so that a flush costs almost nothing and what is
# timed is the file system's work; "ext4-disk" and "xfs-disk" keep it on
# the machine's disk (in /var/tmp), so that a flush costs what the device
# takes. The sources live in a tmpfs. Where it cannot mount (not root), it
# says so and uses a folder of the current file system instead.
#
# The ways into the target: "fresh", into an empty folder; "new",
# replacing every file with new bytes (the targets hold another source set
# of the same names and sizes); "changed", the same where each target has
# another size too (as after re-tagging); and, for 200 files of 5 MiB, "same", a second run
# onto the targets of the first (the same bytes, the same times),
# "same-cold", the same with the page cache dropped before each run, and
# "same-medium", the same with only the targets' pages dropped (the
# sources in the cache), where "read-targets" (cat of every target to
# /dev/null) times reading the targets once from the medium.
#
# Per case it compares, in one interleaved run (each round times every
# command once, in turn, after a sync): lisko; cp -p followed by sync -f on
# the target (the same guarantee as lisko's: every copy on the medium);
# plain cp -p (what users compare against, without that guarantee); rsync
# -t --ignore-times (which copies every file, as the others do) followed
# by sync -f; rsync --fsync with --ignore-times, followed by sync -f (each
# file on the medium before the next, as lisko puts each replaced one);
# and, where the bytes are the same, plain rsync -t + sync -f, whose quick
# check by size and time keeps every file, and rsync -rt --checksum +
# sync -f, which compares contents as lisko does. It prints lisko's median time
# and its ratio to each, the median of the rounds' ratios with their
# minimum and maximum, and where the bytes are the same, the blocks that
# lisko wrote (getrusage's output blocks; 0 is nothing written).
# LISKO_COMPARE=/path/to/another/lisko adds that build as one more command
# ("other"), to weigh a change to lisko itself; LISKO_PTY=1 adds lisko on a
# pseudo-terminal, with its progress note and without, to fresh copies.
set -euo pipefail
rounds=${1:-7}
systems=${2:-"ext4 xfs tmpfs ext4-disk xfs-disk"}
only_cases=${3:-}
root=$(cd "$(dirname "$0")/.." && pwd)
for tool in hyperfine /usr/bin/time python3 rsync; do
  command -v "$tool" >/dev/null || { echo "bench: needs $tool (apt-get install hyperfine time python3 rsync)"; exit 1; }
done
cmake --workflow --preset release >/dev/null
lisko=$root/build/release/lisko

work=$(mktemp -d "${TMPDIR:-/tmp}/lisko-bench-XXXXXX")
disk_images=$(mktemp -d /var/tmp/lisko-bench-images-XXXXXX)  # on the machine's disk
cleanup() {
  cd /
  for point in "$work"/mnt "$work"/images "$work"/src; do
    mountpoint -q "$point" && umount "$point"
  done
  rm -rf "$work" "$disk_images"
}
trap cleanup EXIT
mkdir -p "$work"/src "$work"/images "$work"/mnt
can_mount=yes
mount -t tmpfs -o size=9g tmpfs "$work"/src 2>/dev/null || can_mount=no
[ $can_mount = yes ] && mount -t tmpfs -o size=10g tmpfs "$work"/images
[ $can_mount = no ] && echo "bench: cannot mount here; timing in $work on the current file system"

# The cases: a name, a file count and a file size.
cases=("1 file of 1 GiB:1:1G" "200 files of 5 MiB:200:5M" "120 files of 2 MiB:120:2M"
       "1,000 files of 1 MiB:1000:1M" "3,000 files of 16 KiB:3000:16K" "10,000 files of 4 KiB:10000:4K")

# Two source sets of the same names and sizes, d and e, with other bytes;
# and c, of the same names with other bytes and 4,321 bytes more each, as
# the songs' files after their tags were changed.
make_sources() {  # count size
  rm -rf "$work"/src/*
  local bytes
  bytes=$(numfmt --from=iec "$2")
  for set in d e c; do
    mkdir -p "$work"/src/$set
    local each=$bytes
    [ $set = c ] && each=$((bytes + 4321))
    head -c "$(($1 * each))" /dev/urandom | split -b "$each" -a 5 -d - "$work"/src/$set/f
  done
  find "$work"/src/d -type f | sort > "$work"/list.txt
  cp "$work"/list.txt "$work"/list.m3u   # written on Linux: one path a line
}

mount_system() {  # type
  mountpoint -q "$work"/mnt && umount "$work"/mnt
  [ $can_mount = no ] && return
  local image=$work/images/disk.img
  case $1 in *-disk) image=$disk_images/disk.img ;; esac
  rm -f "$work"/images/disk.img "$disk_images"/disk.img
  case $1 in
    ext4*) truncate -s 8G "$image" && mkfs.ext4 -q -F -E nodiscard "$image"
           mount -o loop "$image" "$work"/mnt ;;
    xfs*)  truncate -s 8G "$image" && mkfs.xfs -q -f -K "$image"
           mount -o loop "$image" "$work"/mnt ;;
    tmpfs) mount -t tmpfs -o size=6g tmpfs "$work"/mnt ;;
  esac
}

# Drops the targets' cached pages only (each written out already).
drop_targets="python3 -c 'import os, sys
for name in sys.argv[1:]:
    fd = os.open(name, os.O_RDONLY); os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED); os.close(fd)' dst/*"

printf '\n%-9s %-22s %-9s %8s  %s\n' fs case into lisko_s \
  "lisko's time / each other's: median [smallest-largest] of the rounds"
for system in $systems; do
  for entry in "${cases[@]}"; do
    IFS=: read -r label count size <<<"$entry"
    [ -n "$only_cases" ] && [ "$only_cases" != "${count}x$size" ] && continue
    make_sources "$count" "$size"
    modes="fresh new changed"
    [ "$count" = 200 ] && modes="fresh new changed same same-cold same-medium"
    for mode in $modes; do
      mount_system "$system"
      cd "$work"/mnt
      case $mode in
        fresh) prepare='rm -rf dst && mkdir dst && sync' ;;
        new) prepare="rm -rf dst && cp -rp $work/src/e dst && sync" ;;
        changed) prepare="rm -rf dst && cp -rp $work/src/c dst && sync" ;;
        same) prepare="rm -rf dst && cp -rp $work/src/d dst && sync" ;;
        same-cold) prepare="rm -rf dst && cp -rp $work/src/d dst && sync && echo 3 > /proc/sys/vm/drop_caches" ;;
        same-medium) prepare="rm -rf dst && cp -rp $work/src/d dst && sync && $drop_targets" ;;
      esac
      peers=(-n cp-sync "xargs -d '\n' cp --preserve=mode,timestamps -t dst < $work/list.txt && sync -f dst"
             -n cp "xargs -d '\n' cp --preserve=mode,timestamps -t dst < $work/list.txt"
             -n rsync-sync "rsync -t --ignore-times --no-relative --files-from=$work/list.txt / dst/ && sync -f dst"
             -n rsync-fsync "rsync -t --ignore-times --fsync --no-relative --files-from=$work/list.txt / dst/ && sync -f dst")
      case $mode in same*) peers+=(-n rsync-quick "rsync -t --no-relative --files-from=$work/list.txt / dst/ && sync -f dst"
                                   -n rsync-checksum "rsync -rt --checksum --no-relative --files-from=$work/list.txt / dst/ && sync -f dst") ;; esac
      [ $mode = same-medium ] && peers+=(-n read-targets "cat dst/* > /dev/null")
      [ -n "${LISKO_COMPARE:-}" ] && peers+=(-n other "$LISKO_COMPARE $work/list.m3u dst/ > /dev/null")
      # LISKO_PTY=1: lisko with its output on a pseudo-terminal of 120
      # columns, with the progress note (TERM=xterm) and without (dumb).
      [ -n "${LISKO_PTY:-}" ] && [ $mode = fresh ] &&
        peers+=(-n pty "script -qec 'stty cols 120 rows 40; TERM=xterm $lisko $work/list.m3u dst/' /dev/null > /dev/null"
                -n pty-dumb "script -qec 'stty cols 120 rows 40; TERM=dumb $lisko $work/list.m3u dst/' /dev/null > /dev/null")
      for round in $(seq "$rounds"); do
        hyperfine --style none --runs 1 --prepare "$prepare" --export-json "$work/round-$round.json" \
          -n lisko "$lisko $work/list.m3u dst/ > /dev/null" "${peers[@]}" > /dev/null 2>&1
      done
      written=""
      case $mode in same*)
        eval "$prepare"
        written="  lisko wrote $(/usr/bin/time -f %O "$lisko" "$work"/list.m3u dst/ 2>&1 >/dev/null) blocks" ;;
      esac
      cd "$work"
      python3 - "$system" "$label" "$mode" "$written" "$work"/round-*.json <<'PY'
import json, statistics, sys
rounds = [{r["command"]: r["times"][0] for r in json.load(open(name))["results"]}
          for name in sys.argv[5:]]
def ratio(other):
    values = [r["lisko"] / r[other] for r in rounds]
    return f"{other} {statistics.median(values):.2f} [{min(values):.2f}-{max(values):.2f}]"
lisko = statistics.median(r["lisko"] for r in rounds)
peers = "  ".join(ratio(name) for name in rounds[0] if name != "lisko")
print(f"{sys.argv[1]:<9} {sys.argv[2]:<22} {sys.argv[3]:<9} {lisko:8.3f}  {peers}{sys.argv[4]}",
      flush=True)
PY
      rm -f "$work"/round-*.json
    done
  done
done
mountpoint -q "$work"/mnt && umount "$work"/mnt

python3 -c "import sys; sys.stdout.buffer.write(b'#EXTINF:213,Artist - Title\r\n' * 1000000)" > "$work"/comments.m3u
peak=$(/usr/bin/time -f %M "$lisko" "$work"/comments.m3u "$work"/ 2>&1 >/dev/null)
echo
echo "peak memory on a 1,000,000-line playlist of # lines: $peak KiB"
