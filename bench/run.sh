#!/usr/bin/env bash
# Benchmarks lisko against cp and rsync on file systems of its own, and
# measures lisko's peak memory on a huge playlist.
# Needs (Debian): apt-get install hyperfine time rsync python3 xfsprogs
#
#   bench/run.sh [rounds] [file systems]      e.g. bench/run.sh 7 "ext4 xfs tmpfs"
#
# Each file system is made for the run: an ext4 and an XFS image, made
# without discard and loop-mounted, and a tmpfs. The images live in a
# tmpfs of their own, so that what is timed is the file system's work and
# not the noise of this machine's disk; the sources live in another tmpfs.
# Where it cannot mount (not root), it says so and uses a folder of the
# current file system instead.
#
# Per case it compares, in one interleaved run (each round times every
# command once, in turn, after a sync): lisko; cp -p followed by sync -f on
# the target (the same guarantee as lisko's: every copy on the medium);
# plain cp -p (what users compare against, without that guarantee); and
# rsync -t --ignore-times (which copies every file, as the others do)
# followed by sync -f. It prints lisko's median time and its
# ratio to each, the median of the rounds' ratios with their minimum and
# maximum. LISKO_COMPARE=/path/to/another/lisko adds that build as one
# more command ("other"), to weigh a change to lisko itself.
set -euo pipefail
rounds=${1:-7}
systems=${2:-"ext4 xfs tmpfs"}
root=$(cd "$(dirname "$0")/.." && pwd)
for tool in hyperfine /usr/bin/time python3 rsync; do
  command -v "$tool" >/dev/null || { echo "bench: needs $tool (apt-get install hyperfine time python3 rsync)"; exit 1; }
done
cmake --workflow --preset release >/dev/null
lisko=$root/build/release/lisko

work=$(mktemp -d "${TMPDIR:-/tmp}/lisko-bench-XXXXXX")
cleanup() {
  cd /
  for point in "$work"/mnt "$work"/images "$work"/src; do
    mountpoint -q "$point" && umount "$point"
  done
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work"/src "$work"/images "$work"/mnt
can_mount=yes
mount -t tmpfs -o size=6g tmpfs "$work"/src 2>/dev/null || can_mount=no
[ $can_mount = yes ] && mount -t tmpfs -o size=10g tmpfs "$work"/images
[ $can_mount = no ] && echo "bench: cannot mount here; timing in $work on the current file system"

# The cases: a name, a file count and a file size.
cases=("1 file of 1 GiB:1:1G" "200 files of 5 MiB:200:5M" "1,000 files of 1 MiB:1000:1M"
       "10,000 files of 4 KiB:10000:4K")

make_sources() {  # count size
  rm -rf "$work"/src/* && mkdir -p "$work"/src/d
  head -c "$(($1 * $(numfmt --from=iec "$2")))" /dev/urandom |
    split -b "$2" -a 5 -d - "$work"/src/d/f
  find "$work"/src/d -type f | sort > "$work"/list.txt
  cp "$work"/list.txt "$work"/list.m3u   # written on Linux: one path a line
}

mount_system() {  # type
  mountpoint -q "$work"/mnt && umount "$work"/mnt
  [ $can_mount = no ] && return
  rm -f "$work"/images/disk.img
  case $1 in
    ext4) truncate -s 8G "$work"/images/disk.img
          mkfs.ext4 -q -F -E nodiscard "$work"/images/disk.img
          mount -o loop "$work"/images/disk.img "$work"/mnt ;;
    xfs)  truncate -s 8G "$work"/images/disk.img
          mkfs.xfs -q -f -K "$work"/images/disk.img
          mount -o loop "$work"/images/disk.img "$work"/mnt ;;
    tmpfs) mount -t tmpfs -o size=6g tmpfs "$work"/mnt ;;
  esac
}

printf '\n%-6s %-22s %-8s %9s  %-19s %-19s %-19s\n' fs case into lisko_s \
  "/ (cp -p + sync)" "/ cp -p" "/ (rsync + sync)"
for system in $systems; do
  for entry in "${cases[@]}"; do
    IFS=: read -r label count size <<<"$entry"
    make_sources "$count" "$size"
    for mode in fresh replace; do
      mount_system "$system"
      cd "$work"/mnt
      if [ "$mode" = fresh ]; then prepare='rm -rf dst && mkdir dst && sync'; else prepare='sync'; fi
      rm -rf dst && mkdir dst && xargs -d '\n' cp -t dst < "$work"/list.txt && sync
      other=()
      [ -n "${LISKO_COMPARE:-}" ] && other=(-n other "$LISKO_COMPARE $work/list.m3u dst/ > /dev/null")
      for round in $(seq "$rounds"); do
        hyperfine --style none --runs 1 --prepare "$prepare" --export-json "$work/round-$round.json" \
          -n lisko "$lisko $work/list.m3u dst/ > /dev/null" "${other[@]}" \
          -n cp-sync "xargs -d '\n' cp --preserve=mode,timestamps -t dst < $work/list.txt && sync -f dst" \
          -n cp "xargs -d '\n' cp --preserve=mode,timestamps -t dst < $work/list.txt" \
          -n rsync-sync "rsync -t --ignore-times --no-relative --files-from=$work/list.txt / dst/ && sync -f dst" \
          > /dev/null 2>&1
      done
      cd "$work"
      python3 - "$system" "$label" "$mode" "$work"/round-*.json <<'PY'
import json, statistics, sys
rounds = [{r["command"]: r["times"][0] for r in json.load(open(name))["results"]}
          for name in sys.argv[4:]]
def ratio(other):
    values = [r["lisko"] / r[other] for r in rounds]
    return f"{statistics.median(values):5.2f} [{min(values):4.2f}-{max(values):4.2f}]"
lisko = statistics.median(r["lisko"] for r in rounds)
other = f"  / other {ratio('other')}" if "other" in rounds[0] else ""
print(f"{sys.argv[1]:<6} {sys.argv[2]:<22} {sys.argv[3]:<8} {lisko:9.3f}  "
      f"{ratio('cp-sync'):<19} {ratio('cp'):<19} {ratio('rsync-sync'):<19}{other}", flush=True)
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
