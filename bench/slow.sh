#!/usr/bin/env bash
# Copies a playlist onto a slow medium and tells how long the run waits
# after its last "succeeded": the time a user, told that every copy
# succeeded, still waits before the stick may be pulled. Then it runs the
# same playlist again onto the same stick, as users do to be sure: its
# time stands beside the first run's.
# Needs root and (Debian): apt-get install python3-fusepy e2fsprogs
#
#   bench/slow.sh [rate in MB/s] [files of 5 MiB]      defaults: 20 40
#
# The medium is an ext4 image behind bench/slow_medium.py, a FUSE file
# system that takes writes at the given rate, loop-mounted: reads and the
# page cache stay fast, as with a stick. LISKO_COMPARE=/path/to/another/lisko
# runs that build too, on the same files.
set -euo pipefail
rate=${1:-20}
count=${2:-40}
root=$(cd "$(dirname "$0")/.." && pwd)
cmake --workflow --preset release >/dev/null
programs=("$root/build/release/lisko")
[ -n "${LISKO_COMPARE:-}" ] && programs+=("$LISKO_COMPARE")

work=$(mktemp -d "${TMPDIR:-/tmp}/lisko-slow-XXXXXX")
loop=""
fuse_pid=""
stop_medium() {
  cd /
  mountpoint -q "$work"/disk && umount "$work"/disk
  [ -n "$loop" ] && losetup -d "$loop" 2>/dev/null
  loop=""
  [ -n "$fuse_pid" ] && { umount "$work"/fuse 2>/dev/null || true; wait "$fuse_pid" 2>/dev/null || true; }
  fuse_pid=""
}
cleanup() {
  stop_medium
  mountpoint -q "$work"/mem && umount "$work"/mem
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work"/mem "$work"/fuse "$work"/disk
mount -t tmpfs -o size=2g tmpfs "$work"/mem
mkdir "$work"/mem/src
for i in $(seq -w "$count"); do head -c 5M /dev/urandom > "$work/mem/src/song$i.mp3"; done
find "$work"/mem/src -type f | sort > "$work"/mem/list.m3u

start_medium() {
  truncate -s 1G "$work"/mem/disk.img
  mkfs.ext4 -q -F -E nodiscard "$work"/mem/disk.img
  /usr/bin/python3 "$root"/bench/slow_medium.py "$work"/mem/disk.img "$work"/fuse \
    "$((rate * 1000000))" &
  fuse_pid=$!
  for _ in $(seq 100); do [ -e "$work"/fuse/disk.img ] && break; sleep 0.1; done
  loop=$(losetup -f --show "$work"/fuse/disk.img)
  mount "$loop" "$work"/disk
}

echo "$count files of 5 MiB onto a medium that writes $rate MB/s"
printf '%-40s %-6s %12s %12s %12s\n' program run to_last_s after_last_s whole_s
for program in "${programs[@]}"; do
  start_medium
  for run in first second; do
  /usr/bin/python3 - "$program" "$work"/mem/list.m3u "$work"/disk/ "$run" <<'PY'
import os, pty, sys, time
# On a terminal lisko writes each message out at once: time each line.
start = time.monotonic()
pid, terminal = pty.fork()
if pid == 0:
    os.execv(sys.argv[1], sys.argv[1:4])
last, out = start, b""
while True:
    try:
        data = os.read(terminal, 4096)
    except OSError:
        break
    if not data:
        break
    out += data
    if b"succeeded" in data:
        last = time.monotonic()
os.waitpid(pid, 0)
end = time.monotonic()
assert out.count(b"succeeded") == out.count(b"Copying"), out.decode(errors="replace")
print(f"{sys.argv[1][-40:]:<40} {sys.argv[4]:<6} {last - start:12.2f} {end - last:12.2f} "
      f"{end - start:12.2f}")
PY
  done
  stop_medium
done
