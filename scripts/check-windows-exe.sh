#!/usr/bin/env bash
# Checks that a klarvenor.exe is what a Windows user can run as it is: a 64-bit program file
# under 3 MB that imports nothing but DLLs every Windows system has.
# Usage: scripts/check-windows-exe.sh path/to/klarvenor.exe
set -euo pipefail
exe=$1
system_dlls="ADVAPI32.dll COMCTL32.dll GDI32.dll KERNEL32.dll msvcrt.dll SHELL32.dll USER32.dll UxTheme.dll"

headers=$(x86_64-w64-mingw32-objdump -p "$exe")
grep -q "^Magic.*020b" <<<"$headers" || { echo "$exe: not a 64-bit (PE32+) program" >&2; exit 1; }
size=$(stat -c %s "$exe")
if [ "$size" -ge $((3 << 20)) ]; then
    echo "$exe: $size bytes, not under 3 MB" >&2
    exit 1
fi
imports=$(sed -n 's/^\s*DLL Name: //p' <<<"$headers" | sort -u)
for dll in $imports; do
    if ! grep -qiw "$dll" <<<"$system_dlls"; then
        echo "$exe imports $dll, which is not part of Windows" >&2
        exit 1
    fi
done
echo "$exe: 64-bit, $size bytes, imports only $(echo $imports)"
