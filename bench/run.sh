#!/usr/bin/env bash
# Copy benchmark: the copy engine's native build (bench/copy_bench.cpp)
# against cp, a plain loop of 32 KiB read/write calls, and its peer with
# the same guarantee: the loop into a temporary file created exclusively
# in the destination folder, fsynced and renamed over its name
# (copy_loop.cpp), side by side on the same generated files with a warm
# page cache:
#   big     one file of 1 GiB
#   small   5,000 files of 1-64 KiB
#   medium  200 files of 1-4 MiB
# Prints the median wall-clock time of RUNS runs per program, the ratios
# engine/peer, engine/loop and engine/cp, and engine/loop over CPU time
# (user + system), which a busy machine disturbs less than the wall clock.
#
#   bench/run.sh                 all sets, 3 runs
#   SETS="small" RUNS=5 bench/run.sh
#
# The files are generated under $TMPDIR (or /tmp) and removed at the end:
# the copies of the small and medium sets are kept until then (about
# 3 GiB per run of both), since on a file system without a journal ext4
# skips inodes deleted in the last minutes when it allocates new ones,
# which made a run five times slower after the one before was deleted.
# The big set needs about 3 GiB. Other programs' deletions still slow the
# runs there: for steadier figures point TMPDIR at a freshly made file
# system (a loop-mounted ext4 image, say). BUILD names the build folder
# (build/bench by default).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build/bench}
RUNS=${RUNS:-3}
SETS=${SETS:-big small medium}

cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release \
  -DORVIK_BUILD_BENCH=ON -DORVIK_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target copy_bench copy_loop -j2 >/dev/null
ENGINE=$BUILD/bench/copy_bench
LOOP=$BUILD/bench/copy_loop

WORK=$(mktemp -d "${TMPDIR:-/tmp}/orvik-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

# Writes a CD for one set into $1: the files under files/, the copy list
# install/eopylist.dat (with the five check-only positions filled by the
# list itself, so that every file is copied), and list.txt for copy_loop.
generate() {
  python3 - "$@" <<'PY'
import os, random, sys
cd, count, low, high = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
random.seed(8)
os.makedirs(f"{cd}/install")
block = os.urandom(1 << 20)
names = []
for i in range(count):
    folder = f"files/{i // 500:02d}"
    os.makedirs(f"{cd}/{folder}", exist_ok=True)
    name = f"{folder}/f{i:05d}.bin"
    size = random.randint(low, high)
    with open(f"{cd}/{name}", "wb") as out:
        while size > 0:
            piece = block[random.randrange(0, 1024):][:size]
            out.write(piece)
            size -= len(piece)
    names.append(name)
filler = "\\install\\eopylist.dat"
entries = [filler] * 4 + ["\\" + n.replace("/", "\\") for n in names]
entries.insert(6, filler)
with open(f"{cd}/install/eopylist.dat", "w", newline="") as out:
    out.write(f"{len(entries)} 0\r\n" + "".join(e + "\r\n" for e in entries))
with open(f"{cd}/list.txt", "w") as out:
    out.write("".join(n + "\n" for n in names))
PY
}

# Copies that are set aside, not deleted, until the end (see above).
set_aside() { mv "$1" "$(mktemp -d "$WORK/kept.XXXXXX")/"; }

# Prints the wall-clock and the CPU seconds (user + system) that "$@"
# takes, then sets the destination aside (a single file is removed) and
# flushes it to disk untimed.
time_one() {
  local dest=$1 times
  shift
  times=$( { TIMEFORMAT='%R %U %S'; time "$@" >/dev/null; } 2>&1 )
  if [[ $(find "$dest" -type f | head -2 | wc -l) -gt 1 ]]; then
    set_aside "$dest"
  else
    rm -rf "$dest"
  fi
  sync
  awk '{ printf "%s %.3f\n", $1, $2 + $3 }' <<<"$times"
}

# The median of column $1 of the lines on standard input.
median() { awk -v c="$1" '{ print $c }' | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

run_engine() { "$ENGINE" "$1" "$WORK" dest; }
run_cp() { mkdir "$WORK/dest" && (cd "$1" && xargs -d '\n' -a list.txt cp -t "$WORK/dest"); }
run_loop() { mkdir "$WORK/dest" && "$LOOP" "$1/list.txt" "$1" "$WORK/dest"; }
run_peer() { mkdir "$WORK/dest" && "$LOOP" --same-guarantee "$1/list.txt" "$1" "$WORK/dest"; }

bench_set() {
  local label=$1 cd=$WORK/$2
  shift 2
  generate "$cd" "$@"
  cat "$cd"/files/*/* >/dev/null  # warm the page cache
  sync  # no writeback of the generated files during the timings
  local engine="" cp="" loop="" peer="" run tool
  # The order rotates, so that no program always follows the same one.
  local orders=("engine cp loop peer" "cp loop peer engine" "loop peer engine cp"
                "peer engine cp loop")
  for run in $(seq "$RUNS"); do
    for tool in ${orders[$(( (run - 1) % 4 ))]}; do
      case $tool in
        engine) engine+="$(time_one "$WORK/dest" run_engine "$cd")"$'\n' ;;
        cp) cp+="$(time_one "$WORK/dest" run_cp "$cd")"$'\n' ;;
        loop) loop+="$(time_one "$WORK/dest" run_loop "$cd")"$'\n' ;;
        peer) peer+="$(time_one "$WORK/dest" run_peer "$cd")"$'\n' ;;
      esac
    done
  done
  awk -v n="$label" \
    -v e="$(median 1 <<<"${engine%$'\n'}")" -v p="$(median 1 <<<"${peer%$'\n'}")" \
    -v l="$(median 1 <<<"${loop%$'\n'}")" -v c="$(median 1 <<<"${cp%$'\n'}")" \
    -v ecpu="$(median 2 <<<"${engine%$'\n'}")" -v lcpu="$(median 2 <<<"${loop%$'\n'}")" \
    'BEGIN { printf "%-26s %9.3f %9.3f %9.3f %9.3f %12.2f %12.2f %10.2f %16.2f\n",
             n, e, p, l, c, e / p, e / l, e / c, ecpu / lcpu }'
  set_aside "$cd"
}

printf '%-26s %9s %9s %9s %9s %12s %12s %10s %16s\n' "set (median of $RUNS)" \
  "engine s" "peer s" "loop s" "cp s" "engine/peer" "engine/loop" "engine/cp" \
  "cpu engine/loop"
for set in $SETS; do
  case $set in
    big) bench_set "one 1 GiB file" big 1 $((1 << 30)) $((1 << 30)) ;;
    small) bench_set "5,000 files of 1-64 KiB" small 5000 1024 65536 ;;
    medium) bench_set "200 files of 1-4 MiB" medium 200 $((1 << 20)) $((4 << 20)) ;;
    *) echo "unknown set: $set" >&2; exit 2 ;;
  esac
done
