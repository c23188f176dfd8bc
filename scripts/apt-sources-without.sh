#!/usr/bin/env bash
# Writes a copy of apt's sources without some suites, for a single apt command to read through
# -o Dir::Etc::sourcelist=OUT/sources.list -o Dir::Etc::sourceparts=OUT/parts.
#
#   apt-sources-without.sh FAILED OUT SOURCE-FILE...
#
# FAILED holds "URI SUITE" lines. In a deb822 .sources file the suite is taken out of the
# Suites of every stanza with that URI (a stanza left without suites is dropped); in the one-line
# form each "deb"/"deb-src" line of that URI and suite is dropped. Everything else is copied as
# it stands. Source files that do not exist are passed over.
set -eu
failed_suites="$1" dir="$2"
shift 2
mkdir -p "$dir/parts"
: >"$dir/sources.list"
for f in "$@"; do
  [ -f "$f" ] || continue
  base="$(basename "$f")"
  [ "$f" = /etc/apt/sources.list ] && base="main.list"
  case "$f" in
    *.sources) # deb822 stanzas: drop the failed suite from each stanza of its URI
      awk -v failed="$failed_suites" '
        BEGIN { while ((getline l < failed) > 0) { split(l, p, " "); sub(/\/$/, "", p[1]); bad[p[1] " " p[2]] = 1 }
                RS = ""; ORS = "\n\n" }
        {
          n = split($0, L, "\n"); uris = ""
          for (i = 1; i <= n; i++) if (L[i] ~ /^URIs:/) { uris = L[i]; sub(/^URIs:[ \t]*/, "", uris) }
          out = ""; keep = 1
          for (i = 1; i <= n; i++) {
            if (L[i] ~ /^Suites:/) {
              s = L[i]; sub(/^Suites:[ \t]*/, "", s); m = split(s, S, /[ \t]+/); kept = ""
              for (j = 1; j <= m; j++) {
                drop = 0; k = split(uris, U, /[ \t]+/)
                for (q = 1; q <= k; q++) { u = U[q]; sub(/\/$/, "", u); if ((u " " S[j]) in bad) drop = 1 }
                if (!drop) kept = kept (kept == "" ? "" : " ") S[j]
              }
              if (kept == "") keep = 0
              L[i] = "Suites: " kept
            }
            out = out L[i] "\n"
          }
          if (keep) printf "%s\n", out
        }' "$f" >"$dir/parts/$base" ;;
    *) # one-line form: "deb [options] URI SUITE COMPONENTS..."
      awk -v failed="$failed_suites" '
        BEGIN { while ((getline l < failed) > 0) { split(l, p, " "); sub(/\/$/, "", p[1]); bad[p[1] " " p[2]] = 1 } }
        /^[ \t]*deb(-src)?[ \t]/ {
          line = $0; sub(/\[[^]]*\]/, "", line); split(line, F, /[ \t]+/)
          i = (F[1] == "" ? 2 : 1); u = F[i + 1]; sub(/\/$/, "", u)
          if ((u " " F[i + 2]) in bad) next
        }
        { print }' "$f" >"$dir/parts/$base" ;;
  esac
done
