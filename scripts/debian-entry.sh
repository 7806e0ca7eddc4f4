#!/usr/bin/env bash
# Sourced by the install scripts: finds the machine's own Debian entry, so
# that extra sources (trixie packages, trixie sources) reuse its URIs and
# keyring and no mirror is ever named in the repository.

# Prints "URIS<TAB>KEYRING" of the machine's main Debian entry (not security),
# read from deb822 .sources files or from one-line sources.list entries.
debian_entry_sources() {
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk -v RS= '
      /(^|\n)Suites:[^\n]*(bookworm|stable)([ \n]|$)/ && !/security/ {
        uris = ""; key = ""
        n = split($0, lines, "\n")
        for (i = 1; i <= n; i++) {
          if (lines[i] ~ /^URIs:/)      { sub(/^URIs:[ \t]*/, "", lines[i]); uris = lines[i] }
          if (lines[i] ~ /^Signed-By:/) { sub(/^Signed-By:[ \t]*/, "", lines[i]); key = lines[i] }
        }
        if (uris != "") { print uris "\t" key; exit }
      }' "$f" && return 0
  done | head -n 1
}

debian_entry_list() {
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    awk '$1 == "deb" && $0 !~ /security/ && ($0 ~ / bookworm / || $0 ~ / stable /) {
           key = ""; uri = ""
           for (i = 2; i <= NF; i++) {
             if ($i ~ /^\[/ || key == "open") {
               if ($i ~ /signed-by=/) { k = $i; sub(/.*signed-by=/, "", k); sub(/\].*/, "", k); key = k }
               if ($i ~ /\]$/) key = (key == "open" ? "" : key); else if (key == "") key = "open"
               continue
             }
             uri = $i; break
           }
           if (key == "open") key = ""
           print uri "\t" key; exit
         }' "$f"
  done | head -n 1
}

# Sets DEBIAN_URIS and DEBIAN_KEYRING from the machine's Debian entry;
# returns non-zero when there is none.
debian_entry() {
  local entry
  entry=$(debian_entry_sources)
  [ -n "$entry" ] || entry=$(debian_entry_list)
  [ -n "$entry" ] || return 1
  DEBIAN_URIS=${entry%%$'\t'*}
  DEBIAN_KEYRING=${entry#*$'\t'}
  [ -n "$DEBIAN_KEYRING" ] || DEBIAN_KEYRING=/usr/share/keyrings/debian-archive-keyring.gpg
}
