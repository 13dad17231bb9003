# Reading the machine's apt sources: which format they use, the Debian mirror
# of the main suite and whether source packages of that suite can be fetched.
# Sourced by setup.sh and by its test; defines functions only.
#
# apt_sources_scan [APT_DIR] [SUITE]
#   Reads APT_DIR/sources.list, APT_DIR/sources.list.d/*.list (one-line format)
#   and APT_DIR/sources.list.d/*.sources (deb822), skipping comments and
#   stanzas with "Enabled: no".  Prints four lines:
#     format=deb822|list|none   the format of the entry the mirror came from
#                               (deb822 first when both are in use)
#     uri=URI                   the first binary entry of SUITE (default
#                               bookworm) whose URI ends in /debian; else the
#                               first entry of SUITE; else empty
#     signed_by=KEY             that entry's keyring, or empty
#     deb_src=yes|no            whether a deb-src entry of SUITE exists
#   Never fails: missing files and folders count as "nothing found".
#
# apt_sources_deb_src_entry FORMAT URI KEY SUITE
#   Prints a deb-src entry of SUITE main in FORMAT (deb822 or list).

apt_sources_scan() {
  local dir=${1:-/etc/apt} suite=${2:-bookworm}
  local -a lists=() deb822=()
  local f
  [ -f "$dir/sources.list" ] && lists+=("$dir/sources.list")
  for f in "$dir"/sources.list.d/*.list; do [ -f "$f" ] && lists+=("$f"); done
  for f in "$dir"/sources.list.d/*.sources; do [ -f "$f" ] && deb822+=("$f"); done

  # Each reader prints records "KIND<TAB>URI<TAB>KEY" for entries of the suite,
  # KIND being deb or deb-src.
  local records822="" recordsl=""
  if [ ${#deb822[@]} -gt 0 ]; then
    records822=$(awk -v suite="$suite" '
      function flush(   n, i, t, u, s, hit, ts, us, ss) {
        if (enabled && types != "" && uris != "" && suites != "") {
          hit = 0; n = split(suites, ss, /[ \t]+/)
          for (i = 1; i <= n; i++) if (ss[i] == suite) hit = 1
          if (hit) {
            split(uris, us, /[ \t]+/)
            n = split(types, ts, /[ \t]+/)
            for (i = 1; i <= n; i++)
              if (ts[i] == "deb" || ts[i] == "deb-src") printf "%s\t%s\t%s\n", ts[i], us[1], key
          }
        }
        types = uris = suites = key = last = ""; enabled = 1
      }
      function trim(s) { sub(/^[ \t]+/, "", s); sub(/[ \t\r]+$/, "", s); return s }
      BEGIN { enabled = 1 }
      FNR == 1 && NR > 1 { flush() }
      /^#/ { next }
      /^[ \t]*\r?$/ { flush(); next }
      /^[ \t]/ { if (last == "types") types = trim(types " " trim($0))
                 else if (last == "uris") uris = trim(uris " " trim($0))
                 else if (last == "suites") suites = trim(suites " " trim($0))
                 next }
      {
        k = tolower(substr($0, 1, index($0, ":") - 1)); v = trim(substr($0, index($0, ":") + 1))
        last = ""
        if (index($0, ":") == 0) next
        if (k == "types") { types = v; last = k }
        else if (k == "uris") { uris = v; last = k }
        else if (k == "suites") { suites = v; last = k }
        else if (k == "signed-by") key = v
        else if (k == "enabled") enabled = (tolower(v) != "no")
      }
      END { flush() }' "${deb822[@]}" 2>/dev/null || true)
  fi
  if [ ${#lists[@]} -gt 0 ]; then
    recordsl=$(awk -v suite="$suite" '
      { sub(/#.*/, ""); sub(/\r$/, "") }
      $1 != "deb" && $1 != "deb-src" { next }
      {
        kind = $1; key = ""; i = 2
        if ($2 ~ /^\[/) {
          # options: [a=b c=d], possibly spread over several fields
          for (; i <= NF; i++) {
            opt = $i; gsub(/[\[\]]/, "", opt)
            if (opt ~ /^signed-by=/) key = substr(opt, 11)
            if ($i ~ /\]$/) { i++; break }
          }
        }
        uri = $i; s = $(i + 1)
        if (uri != "" && s == suite) printf "%s\t%s\t%s\n", kind, uri, key
      }' "${lists[@]}" 2>/dev/null || true)
  fi

  local format=none uri="" key="" deb_src=no
  local chosen
  chosen=$(_apt_sources_pick "$records822")
  if [ -n "$chosen" ]; then
    format=deb822
  else
    chosen=$(_apt_sources_pick "$recordsl")
    [ -n "$chosen" ] && format=list
  fi
  if [ -n "$chosen" ]; then
    uri=${chosen%%$'\t'*}
    key=${chosen#*$'\t'}
  elif [ ${#deb822[@]} -gt 0 ]; then
    format=deb822
  elif [ ${#lists[@]} -gt 0 ]; then
    format=list
  fi
  if printf '%s\n%s\n' "$records822" "$recordsl" | grep -q '^deb-src'; then
    deb_src=yes
  fi
  printf 'format=%s\nuri=%s\nsigned_by=%s\ndeb_src=%s\n' "$format" "$uri" "$key" "$deb_src"
}

# records -> "URI<TAB>KEY" of the preferred binary entry (the first whose URI
# ends in /debian, else the first), or nothing
_apt_sources_pick() {
  printf '%s\n' "$1" | awk -F'\t' '
    $1 == "deb" && first == "" { first = $2 "\t" $3 }
    $1 == "deb" && debian == "" && $2 ~ /\/debian\/?$/ { debian = $2 "\t" $3 }
    END { if (debian != "") print debian; else if (first != "") print first }'
}

apt_sources_deb_src_entry() {
  local format=$1 uri=$2 key=$3 suite=$4
  if [ "$format" = list ]; then
    if [ -n "$key" ]; then
      printf 'deb-src [signed-by=%s] %s %s main\n' "$key" "$uri" "$suite"
    else
      printf 'deb-src %s %s main\n' "$uri" "$suite"
    fi
  else
    printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: main\n' "$uri" "$suite"
    [ -z "$key" ] || printf 'Signed-By: %s\n' "$key"
  fi
}
