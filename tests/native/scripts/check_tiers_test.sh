#!/usr/bin/env bash
# The include rule of the add-in's tiers: the tree passes; each planted fault fails the check
# and is named.
set -u
script="$1"; root="$2"
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
fails=0
expect() {  # expect <want exit> <pattern> <label>
  local out rc
  out=$(python3 "$script" "$tmp/tree" 2>&1); rc=$?
  if [ "$rc" -ne "$1" ] || ! grep -q -- "$2" <<<"$out"; then
    echo "FAIL: $3: exit $rc, output:"; echo "$out"; fails=$((fails + 1))
  else
    echo "ok: $3"
  fi
}
fresh() { rm -rf "$tmp/tree"; mkdir -p "$tmp/tree"; cp -r "$root/addin" "$tmp/tree/"; }

fresh; expect 0 "all downward" "the tree as it is"
python3 "$script" "$root" >/dev/null || { echo "FAIL: the source tree itself"; fails=$((fails + 1)); }

# Each planted fault: a file to append to, the line, the pattern the report must hold.
while IFS='|' read -r file line pattern; do
  fresh
  printf '%s\n' "$line" >>"$tmp/tree/$file"
  expect 1 "$pattern" "planted in $file: $line"
done <<'EOF_CASES'
addin/base/shared/TextCut.h|#include "addin/composition/Connect.h"|addin/base/shared/TextCut.h:[0-9]*: includes addin/composition/Connect.h from a higher tier
addin/features/search/TemplateSearch.h|#include "addin/widgets/pane/PaneController.h"|from a higher tier
addin/features/service/Identity.h|#include "addin/features/update/Version.h"|folders include each other: addin/features/service -> addin/features/update -> addin/features/service
addin/features/webview/WebView.h|#include "addin/features/popup/PreviewPlan.h"|folders include each other: addin/features/popup -> addin/features/webview -> addin/features/popup
addin/widgets/pane/ListLayout.h|#include "addin/office/HostModel.h"|which is in no tier
addin/widgets/pane/ListLayout.h|#include "addin/base/shared/Missing.h"|which does not exist
EOF_CASES

fresh; mkdir -p "$tmp/tree/addin/office"; echo '// stray' >"$tmp/tree/addin/office/Stray.h"
expect 1 "addin/office/Stray.h: not in a tier" "a file outside the tiers"

[ "$fails" -eq 0 ] && echo "check_tiers: all cases pass"
exit "$fails"
