#!/usr/bin/env bash
# Rows for apt_sources_scan: sample apt folders in both formats and what the
# scan must print for each.  Runs under the same strict shell options as
# setup.sh, so a scan that fails on "nothing found" ends this script too.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../lib/apt-sources.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0

# row NAME EXPECTED: scans $work/NAME (laid out by the caller) and compares
row() {
  local name=$1 expected=$2 got
  got=$(apt_sources_scan "$work/$name" bookworm | tr '\n' ' ')
  if [ "$got" = "$expected" ]; then
    passed=$((passed + 1)); echo "ok   $name"
  else
    failed=$((failed + 1)); echo "FAIL $name"; echo "     expected: $expected"; echo "     got:      $got"
  fi
}
dir() { mkdir -p "$work/$1/sources.list.d"; }
KEY=/usr/share/keyrings/debian-archive-keyring.gpg

# --- deb822 ---
dir deb822-security-first
cat > "$work/deb822-security-first/sources.list.d/debian.sources" <<EOF
Types: deb
# http://snapshot.debian.org/archive/debian-security/20250520T000000Z
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: $KEY

Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: $KEY
EOF
row deb822-security-first "format=deb822 uri=http://deb.debian.org/debian signed_by=$KEY deb_src=no "

dir deb822-with-src
cat > "$work/deb822-with-src/sources.list.d/debian.sources" <<EOF
Types: deb deb-src
URIs: http://ftp.example.org/debian/
Suites: bookworm
Components: main contrib
EOF
row deb822-with-src "format=deb822 uri=http://ftp.example.org/debian/ signed_by= deb_src=yes "

dir deb822-src-disabled
cat > "$work/deb822-src-disabled/sources.list.d/debian.sources" <<EOF
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main

Types: deb-src
Enabled: no
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
EOF
# a stanza for another suite's sources does not count either
cat > "$work/deb822-src-disabled/sources.list.d/security.sources" <<EOF
Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
EOF
row deb822-src-disabled "format=deb822 uri=http://deb.debian.org/debian signed_by= deb_src=no "

dir deb822-folded
cat > "$work/deb822-folded/sources.list.d/ours.sources" <<EOF
Types: deb
URIs: https://deb.nodesource.com/node_20.x
Suites: nodistro
Components: main
EOF
cat > "$work/deb822-folded/sources.list.d/zz.sources" <<EOF
types: deb
URIs:
 http://mirror.example.net/debian
 http://deb.debian.org/debian
Suites: bookworm-updates
 bookworm
Components: main
EOF
row deb822-folded "format=deb822 uri=http://mirror.example.net/debian signed_by= deb_src=no "

# --- one-line ---
dir list-debootstrap
echo "deb http://deb.debian.org/debian bookworm main" > "$work/list-debootstrap/sources.list"
row list-debootstrap "format=list uri=http://deb.debian.org/debian signed_by= deb_src=no "

dir list-installer
cat > "$work/list-installer/sources.list" <<EOF
#deb cdrom:[Debian GNU/Linux 12.5.0 _Bookworm_ - Official amd64 NETINST]/ bookworm main

deb http://security.debian.org/debian-security bookworm-security main non-free-firmware
deb-src http://security.debian.org/debian-security bookworm-security main non-free-firmware

deb [arch=amd64 signed-by=$KEY] http://ftp.ru.debian.org/debian/ bookworm main non-free-firmware
deb-src [signed-by=$KEY] http://ftp.ru.debian.org/debian/ bookworm main non-free-firmware
EOF
row list-installer "format=list uri=http://ftp.ru.debian.org/debian/ signed_by=$KEY deb_src=yes "

dir list-commented-src
cat > "$work/list-commented-src/sources.list" <<EOF
# deb-src http://deb.debian.org/debian bookworm main
#deb http://old.example.org/debian bookworm main
deb [ arch=amd64 signed-by=/etc/k.gpg ] http://deb.debian.org/debian bookworm main # main mirror
EOF
row list-commented-src "format=list uri=http://deb.debian.org/debian signed_by=/etc/k.gpg deb_src=no "

dir list-several-mirrors
cat > "$work/list-several-mirrors/sources.list" <<EOF
deb https://packages.example.com/apt bookworm main
EOF
cat > "$work/list-several-mirrors/sources.list.d/mirror.list" <<EOF
deb http://mirror.example.net/debian bookworm main
deb http://deb.debian.org/debian bookworm main
EOF
row list-several-mirrors "format=list uri=http://mirror.example.net/debian signed_by= deb_src=no "

# --- both, neither ---
dir both-formats
cat > "$work/both-formats/sources.list" <<EOF
# See /etc/apt/sources.list.d/debian.sources
EOF
cat > "$work/both-formats/sources.list.d/debian.sources" <<EOF
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: $KEY
EOF
cat > "$work/both-formats/sources.list.d/src.list" <<EOF
deb-src http://deb.debian.org/debian bookworm main
EOF
row both-formats "format=deb822 uri=http://deb.debian.org/debian signed_by=$KEY deb_src=yes "

dir empty-folders
row empty-folders "format=none uri= signed_by= deb_src=no "
row no-folder-at-all "format=none uri= signed_by= deb_src=no "

dir list-other-suite-only
echo "deb http://deb.debian.org/debian bullseye main" > "$work/list-other-suite-only/sources.list"
row list-other-suite-only "format=list uri= signed_by= deb_src=no "

# --- the entries setup.sh adds are found by the scan ---
for fmt in list deb822; do
  name=added-$fmt
  dir "$name"
  if [ $fmt = list ]; then
    echo "deb [signed-by=$KEY] http://deb.debian.org/debian bookworm main" > "$work/$name/sources.list"
    apt_sources_deb_src_entry list http://deb.debian.org/debian "$KEY" bookworm > "$work/$name/sources.list.d/ecg-deb-src.list"
  else
    printf 'Types: deb\nURIs: http://deb.debian.org/debian\nSuites: bookworm\nComponents: main\n' > "$work/$name/sources.list.d/debian.sources"
    apt_sources_deb_src_entry deb822 http://deb.debian.org/debian "" bookworm > "$work/$name/sources.list.d/ecg-deb-src.sources"
  fi
  key=""; [ $fmt = list ] && key=$KEY
  row "$name" "format=$fmt uri=http://deb.debian.org/debian signed_by=$key deb_src=yes "
done
expected_list="deb-src [signed-by=$KEY] http://deb.debian.org/debian bookworm main"
got_list=$(apt_sources_deb_src_entry list http://deb.debian.org/debian "$KEY" bookworm)
if [ "$got_list" = "$expected_list" ]; then passed=$((passed + 1)); echo "ok   entry-text-list"
else failed=$((failed + 1)); echo "FAIL entry-text-list: $got_list"; fi

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
