#!/usr/bin/env bash
# Checks a cross-built halvik.exe: it imports system DLLs only (a DLL of the compiler's, such
# as libwinpthread-1.dll, would have to ship beside it), and it carries its manifest with
# per-monitor DPI awareness and its version resource. Usage: check-exe.sh path/to/halvik.exe
set -euo pipefail
exe=$1
objdump=x86_64-w64-mingw32-objdump

# DLLs every Windows since 7 has in System32.
system_dlls="kernel32.dll user32.dll gdi32.dll msvcrt.dll advapi32.dll shell32.dll ole32.dll"

headers=$($objdump -p "$exe")
imports=$(awk '/DLL Name:/ {print tolower($3)}' <<<"$headers" | sort -u)
[ -n "$imports" ] || { echo "check-exe: $exe imports nothing; is it a PE file?"; exit 1; }
bad=0
for dll in $imports; do
  case " $system_dlls " in
    *" $dll "*) ;;
    *) echo "check-exe: $exe imports $dll, which is not a system DLL"; bad=1 ;;
  esac
done
[ $bad -eq 0 ] || exit 1

grep -q 'Subsystem.*(Windows GUI)' <<<"$headers" || { echo "check-exe: $exe is not a GUI program"; exit 1; }
# The manifest is stored as plain text, the version strings as UTF-16.
grep -q 'PerMonitorV2' "$exe" || { echo "check-exe: no per-monitor DPI manifest in $exe"; exit 1; }
grep -qx 'OriginalFilename' <<<"$(strings -el "$exe")" || { echo "check-exe: no version resource in $exe"; exit 1; }
echo "check-exe: $exe imports only system DLLs ($(echo $imports | tr '\n' ' ')) and has its manifest and version"
