#!/usr/bin/env bash
# Benchmarks lisko against cp copying the same files, and measures lisko's
# peak memory on a huge playlist. Needs (Debian): apt-get install hyperfine time
#
#   bench/run.sh [rounds]
#
# Builds the release preset, makes its own data in a temporary folder
# (about 3 GiB; set TMPDIR to put it elsewhere) and prints, per case, the
# median times and lisko's time divided by cp --preserve=mode,timestamps's.
# Runs are interleaved: each round runs every command a few times, and the
# medians are taken over all rounds. Every timed run starts after a sync, so
# that one run's writeback does not land on the next. Run it on an idle
# machine with enough memory to keep the data in the page cache.
set -euo pipefail
rounds=${1:-5}
root=$(cd "$(dirname "$0")/.." && pwd)
for tool in hyperfine /usr/bin/time python3; do
  command -v "$tool" >/dev/null || { echo "bench: needs $tool (apt-get install hyperfine time python3)"; exit 1; }
done
cmake --workflow --preset release >/dev/null
lisko=$root/build/release/lisko

work=$(mktemp -d "${TMPDIR:-/tmp}/lisko-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
echo "making data in $work"
mkdir -p data/big data/mid data/small
head -c 1G /dev/urandom > data/big/file.bin
head -c 1000M /dev/urandom | split -b 1M -a 4 -d - data/mid/f
head -c 40000K /dev/urandom | split -b 4K -a 5 -d - data/small/f
for set in big mid small; do
  find "data/$set" -type f | sort > "$set.txt"          # for cp: one path a line
  sed 's|/|\\|g; s|$|\r|' "$set.txt" > "$set.m3u"     # for lisko: as Windows writes it
done
cat data/*/* > /dev/null  # into the page cache

declare -A label=([big]="1 file of 1 GiB" [mid]="1,000 files of 1 MiB" [small]="10,000 files of 4 KiB")
printf '\n%-22s %-8s %10s %10s %10s %8s %8s\n' case into lisko_s cp-p_s cp_s lisko/cp-p lisko/cp
for set in big mid small; do
  for mode in fresh replace; do
    if [ "$mode" = fresh ]; then prepare='rm -rf dst && mkdir dst && sync'; else prepare='sync'; fi
    rm -rf dst && mkdir dst && xargs -d '\n' cp -t dst < "$set.txt"
    for round in $(seq "$rounds"); do
      hyperfine --style none --runs 3 --prepare "$prepare" --export-json "round-$round.json" \
        -n lisko "$lisko $set.m3u dst/ > /dev/null" \
        -n cp-p "xargs -d '\n' cp --preserve=mode,timestamps -t dst < $set.txt" \
        -n cp "xargs -d '\n' cp -t dst < $set.txt" > /dev/null 2>&1
    done
    python3 - "${label[$set]}" "$mode" round-*.json <<'EOF'
import json, statistics, sys
times = {}
for name in sys.argv[3:]:
    for result in json.load(open(name))["results"]:
        times.setdefault(result["command"], []).extend(result["times"])
m = {command: statistics.median(t) for command, t in times.items()}
print(f"{sys.argv[1]:<22} {sys.argv[2]:<8} {m['lisko']:10.4f} {m['cp-p']:10.4f} {m['cp']:10.4f}"
      f" {m['lisko'] / m['cp-p']:8.2f} {m['lisko'] / m['cp']:8.2f}")
EOF
    rm -f round-*.json
  done
done

python3 -c "import sys; sys.stdout.buffer.write(b'#EXTINF:213,Artist - Title\r\n' * 1000000)" > comments.m3u
peak=$(/usr/bin/time -f %M "$lisko" comments.m3u dst/ 2>&1 >/dev/null)
echo
echo "peak memory on a 1,000,000-line playlist of # lines: $peak KiB"
