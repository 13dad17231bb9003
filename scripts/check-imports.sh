#!/usr/bin/env bash
# Every shipped Windows binary may import system DLLs only.
set -euo pipefail
dir=$1
allowed='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comctl32|comdlg32|shlwapi|version|msvcrt|ws2_32|uxtheme|rpcrt4|setupapi|winmm|crypt32|bcrypt|ntdll|imm32|riched20|msftedit|atl|urlmon|psapi|api-ms-win-[a-z0-9-]+)\.dll$'
status=0
count=0
while IFS= read -r -d '' f; do
  case "$f" in */CMakeFiles/*|*/_deps/*|*/wine/*|*/host-tools/*) continue ;; esac
  count=$((count + 1))
  while read -r dll; do
    lower=$(echo "$dll" | tr 'A-Z' 'a-z')
    if ! [[ $lower =~ $allowed ]]; then
      echo "check-imports: $f imports $dll" >&2
      status=1
    fi
  done < <(x86_64-w64-mingw32-objdump -p "$f" | awk '/DLL Name:/ {print $3}')
done < <(find "$dir" \( -name '*.exe' -o -name '*.dll' \) -print0)
echo "check-imports: $count binaries in $dir checked"
exit $status
