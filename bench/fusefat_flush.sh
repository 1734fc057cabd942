#!/usr/bin/env bash
# What of a run onto a FAT32 stick through fusefat, over a loop device,
# has reached the device when lisko ends, and what each way of flushing
# puts there after it: fusefat's own flush (syncfs on the mount), fsync of
# each copy, fsync of the device node, blockdev --flushbufs, sync.
# Needs root (it mounts) and (Debian) dosfstools fusefat.
#
#   bench/fusefat_flush.sh [lisko]      (build/release/lisko by default)
#
# Each way gets a fresh image and 4 songs of 8 MiB; the bytes the device
# took are its sectors written (/sys/block/loopN/stat), in MiB.
set -euo pipefail
lisko=$(realpath "${1:-build/release/lisko}")
flush() {
  case $1 in
    syncfs) sync -f "$2" ;;
    fsync-copies) for f in "$2"/*.mp3; do python3 -c "import os,sys; os.fsync(os.open(sys.argv[1], os.O_RDONLY))" "$f"; done ;;
    fsync-device) python3 -c "import os,sys; os.fsync(os.open(sys.argv[1], os.O_RDONLY))" "$3" ;;
    flushbufs) blockdev --flushbufs "$3" ;;
    sync) sync ;;
  esac
}
for way in syncfs fsync-copies fsync-device flushbufs sync; do
  work=$(mktemp -d)
  mkdir "$work/src" "$work/stick"
  for i in 1 2 3 4; do head -c 8388608 /dev/urandom >"$work/src/s$i.mp3"; done
  ls "$work"/src/*.mp3 >"$work/list.m3u"
  truncate -s 200M "$work/stick.img"
  mkfs.vfat -F 32 "$work/stick.img" >/dev/null
  device=$(losetup -f --show "$work/stick.img")
  fusefat -o rw+ "$device" "$work/stick" >/dev/null 2>&1
  written() { echo $(($(awk '{print $7}' "/sys/block/${device#/dev/}/stat") * 512 / 1048576)); }
  before=$(written)
  "$lisko" "$work/list.m3u" "$work/stick/" >/dev/null
  at_end=$(($(written) - before))
  flush "$way" "$work/stick" "$device"
  echo "$way: on the device when lisko ended $at_end MiB, after the flush $(($(written) - before)) MiB"
  umount "$work/stick"
  losetup -d "$device"
  rm -rf "$work"
done
