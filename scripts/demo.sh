#!/usr/bin/env bash
# The demo: starts the bundled substitute service on a free loopback port and shows what the
# add-in's service client gets from it: the weekly picks, a free search and a member search,
# fetched with kvfetch natively and, under Wine, with the Windows build of the same client.
set -u
top="$(cd "$(dirname "$0")/.." && pwd)"
out="${KV_OUT:-$top/out}"
out="$(cd "$out" 2>/dev/null && pwd)" || { echo "demo: no output folder ${KV_OUT:-$top/out} (make build)" >&2; exit 1; }
svc="$out/linux/kvservice"
fetch="$out/linux/kvfetch"
data="${KV_SERVICE_DATA:-$top/tools/kvservice/data}"
for f in "$svc" "$fetch"; do [ -x "$f" ] || { echo "demo: $f missing (make build)" >&2; exit 1; }; done

work="$(mktemp -d /tmp/kvdemo.XXXXXX)"
log="$work/requests.jsonl"
# The service takes a free port itself (port 0) and writes the one it got to a file.
"$svc" --port 0 --port-file "$work/port" --data "$data" --log "$log" >"$work/service.out" 2>&1 &
spid=$!
trap 'kill $spid 2>/dev/null; wait $spid 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 1 100); do
  [ -s "$work/port" ] && break
  kill -0 "$spid" 2>/dev/null || break
  sleep 0.05
done
[ -s "$work/port" ] || { echo "demo: service did not start" >&2; cat "$work/service.out" >&2; exit 1; }
port="$(cat "$work/port")"
base="http://127.0.0.1:$port"

# Lists come back in code page 949, as the add-in reads them; shown here in UTF-8.
show() {
  local title="$1" slot="$2" url="$3"
  echo
  echo "== $title =="
  echo "   GET $(printf '%s' "$url" | iconv -f CP949 -t UTF-8)"
  "$fetch" --slot "$slot" "$url" | iconv -f CP949 -t UTF-8 | python3 "$top/scripts/show_list.py"
}
kw=$(printf '이력서' | iconv -f UTF-8 -t CP949)
show "주간 추천 서식 (weekly picks)" week "$base/k_app/search_weekform.asp"
show "무료 서식: 이력서 (free results)" free "$base/k_app/search_freeform.asp?ext=doc&keyword=$kw"
show "회원 서식: 이력서 (member results)" cert "$base/k_app/search_certform.asp?ext=doc&keyword=$kw"

if [ -x "$out/linux/kvsearch" ]; then
  echo
  echo "== kvsearch: one search as the task pane runs it (Excel host, keyword 견적서) =="
  echo "   slot  section   images   title  (file)"
  "$out/linux/kvsearch" --service "127.0.0.1:$port" --host excel --pid '{DEMO}' 견적서 | awk -F'\t' '
    NF >= 12 && $2 == 1 {
      sec = $1 < 3 ? "일간" : $1 < 6 ? "주간" : $1 < 9 ? "무료" : "유료";
      printf "   %4d  %s  %s/%s  enabled=%2d  %s  (%s)\n", $1, sec, $6, $7, $3, $9, $8 }
    /^selected=/ { print "   " $0 }'
fi

if [ -x "$out/win64/kvfetch.exe" ] && command -v wine >/dev/null; then
  echo
  echo "== the same member search from kvfetch.exe under Wine =="
  cat > "$work/wine.sh" <<EOS
#!/usr/bin/env bash
# Wine hands a UTF-8 argument to the program as code page 949 text, as a Korean Windows would.
wine "$out/win64/kvfetch.exe" --slot cert "$base/k_app/search_certform.asp?ext=doc&keyword=이력서" 2>/dev/null | iconv -f CP949 -t UTF-8 | python3 "$top/scripts/show_list.py"
EOS
  chmod +x "$work/wine.sh"
  "$top/scripts/wine-run.sh" --shell --timeout 120 -- "$work/wine.sh"
fi

echo
echo "== requests the service received =="
wc -l < "$log" | sed 's/^/   /;s/$/ requests logged/'
