#!/usr/bin/env bash
# Download speed and memory of the socket client: native kvfetch (template slot) against curl,
# both fetching the same 64 MiB file from the same native server (kvservice, serving it as the
# new library) in the same run. Each run is measured with /usr/bin/time -v; prints the median
# time, throughput and peak memory ("Maximum resident set size") of 5 runs each, and the
# kvfetch/curl ratios. Figures only; asserts nothing.
set -u
top="$(cd "$(dirname "$0")/../.." && pwd)"
build="${KV_BUILD:-$top/build}"
out="${KV_OUT:-$top/out}"
pick() { local c; for c in "$@"; do [ -x "$c" ] && { echo "$c"; return; }; done; }
fetch="$(pick "$out/linux/kvfetch" "$build/linux/tools/kvfetch/kvfetch")"
service="$(pick "$out/linux/kvservice" "$build/linux/tools/kvservice/kvservice")"
[ -n "$fetch" ] || { echo "kvfetch not built"; exit 0; }
[ -n "$service" ] || { echo "kvservice not built"; exit 0; }
command -v curl >/dev/null || { echo "curl missing"; exit 0; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time missing (package time)"; exit 0; }

work="$(mktemp -d)"
pid=""
trap '[ -n "$pid" ] && { kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; }; rm -rf "$work"' EXIT
size=$((64 * 1024 * 1024))
head -c "$size" /dev/urandom >"$work/file.bin"
"$service" --port 0 --port-file "$work/port" --data "$top/tools/kvservice/data" --newlib "$work/file.bin" \
  >"$work/service.out" 2>&1 &
pid=$!
for _ in $(seq 1 100); do [ -s "$work/port" ] && break; sleep 0.05; done
[ -s "$work/port" ] || { echo "kvservice did not start:"; cat "$work/service.out"; exit 0; }
url="http://127.0.0.1:$(cat "$work/port")/k_app/update/file_x64/KestrovaSE_new.dll"

# measure NAME command...: appends "seconds kilobytes" of one run to $work/NAME (the wall time
# to the nanosecond around the run; the peak memory from /usr/bin/time -v)
measure() {
  local name="$1" t0 t1; shift
  t0=$(date +%s%N)
  /usr/bin/time -v -o "$work/$name.time" "$@" || echo "$name run failed"
  t1=$(date +%s%N)
  awk -F': ' -v ns=$((t1 - t0)) '/Maximum resident set size/ { kb = $2 } END { print ns / 1e9, kb }' \
    "$work/$name.time" >>"$work/$name"
}
for i in 1 2 3 4 5; do
  measure kvfetch sh -c '"$0" --slot template "$1" >"$2"' "$fetch" "$url" "$work/kv.bin"
  measure curl curl -s -o "$work/curl.bin" "$url"
done
cmp -s "$work/kv.bin" "$work/file.bin" || echo "kvfetch body differs from the file"
cmp -s "$work/curl.bin" "$work/file.bin" || echo "curl body differs from the file"
median() { sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
kv_s=$(cut -d' ' -f1 "$work/kvfetch" | median); kv_kb=$(cut -d' ' -f2 "$work/kvfetch" | median)
curl_s=$(cut -d' ' -f1 "$work/curl" | median); curl_kb=$(cut -d' ' -f2 "$work/curl" | median)
awk -v s="$size" -v k="$kv_s" -v c="$curl_s" -v km="$kv_kb" -v cm="$curl_kb" 'BEGIN {
  printf "64 MiB over loopback from kvservice, median of 5 (/usr/bin/time -v)\n"
  printf "kvfetch --slot template: %8.0f ms  %8.1f MB/s  peak RSS %8.1f MiB\n", k * 1000, s / k / 1e6, km / 1024
  printf "curl -s -o:              %8.0f ms  %8.1f MB/s  peak RSS %8.1f MiB\n", c * 1000, s / c / 1e6, cm / 1024
  printf "kvfetch / curl: throughput %.2f, peak memory %.2f\n", c / k, km / cm
}'
