#!/usr/bin/env bash
# Download speed of the socket client: native kvfetch (template slot) against curl, both
# fetching the same 64 MiB file from the same loopback server in the same run. Prints the
# median of 5 runs each, in MB/s, and their ratio. Figures only; asserts nothing.
set -u
top="$(cd "$(dirname "$0")/../.." && pwd)"
build="${KV_BUILD:-$top/build}"
out="${KV_OUT:-$top/out}"
fetch=""
for c in "$out/linux/kvfetch" "$build/linux/tools/kvfetch/kvfetch"; do
  [ -x "$c" ] && { fetch="$c"; break; }
done
[ -n "$fetch" ] || { echo "kvfetch not built"; exit 0; }
command -v curl >/dev/null || { echo "curl missing"; exit 0; }

work="$(mktemp -d)"
pid=""
trap '[ -n "$pid" ] && { kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; }; rm -rf "$work"' EXIT
size=$((64 * 1024 * 1024))
head -c "$size" /dev/urandom >"$work/file.bin"
python3 "$top/tests/wine/fetch/misbehave.py" --port-file "$work/port" --file "$work/file.bin" file &
pid=$!
for _ in $(seq 1 100); do [ -s "$work/port" ] && break; sleep 0.05; done
url="http://127.0.0.1:$(cat "$work/port")/k_app/files/big.bin"

now_ns() { date +%s%N; }
median() { sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
kv_times=(); curl_times=()
for i in 1 2 3 4 5; do
  t0=$(now_ns); "$fetch" --slot template "$url" >"$work/kv.bin" || echo "kvfetch run $i failed"; t1=$(now_ns)
  kv_times+=($((t1 - t0)))
  t0=$(now_ns); curl -s -o "$work/curl.bin" "$url" || echo "curl run $i failed"; t1=$(now_ns)
  curl_times+=($((t1 - t0)))
done
cmp -s "$work/kv.bin" "$work/file.bin" || echo "kvfetch body differs from the file"
kv_med=$(printf '%s\n' "${kv_times[@]}" | median)
curl_med=$(printf '%s\n' "${curl_times[@]}" | median)
awk -v s="$size" -v k="$kv_med" -v c="$curl_med" 'BEGIN {
  printf "64 MiB over loopback, median of 5\n"
  printf "kvfetch --slot template: %8.1f ms  %8.1f MB/s\n", k / 1e6, s / (k / 1e9) / 1e6
  printf "curl -s -o:              %8.1f ms  %8.1f MB/s\n", c / 1e6, s / (c / 1e9) / 1e6
  printf "kvfetch / curl throughput ratio: %.2f\n", c / k
}'
