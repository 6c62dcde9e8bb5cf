#!/usr/bin/env bash
# What a Windows program must be to run on a bare Windows 7 or later: an image for its machine
# (x64: PE32+ x86-64, x86: PE32 i386) that imports only DLLs every Windows has (the C, C++ and
# thread libraries are linked in) and no system call newer than Windows 7; and the programs carry
# the icon and this version's version information.
# Usage: CheckWindowsPrograms.sh OBJDUMP WINDRES x64|x86 VERSION FOLDER...
set -uo pipefail
objdump=$1 windres=$2 arch=$3 version=$4
shift 4
case $arch in
  x64) format=pei-x86-64 ;;
  x86) format=pei-i386 ;;
  *) echo "unknown machine $arch"; exit 2 ;;
esac
# Windows' own DLLs, and the universal C runtime that Windows 10 has and 7 gets by its updates.
system_dlls='^(kernel32|user32|gdi32|comctl32|comdlg32|advapi32|shell32|ole32|oleaut32|setupapi|cfgmgr32|ws2_32|msvcrt|ucrtbase|api-ms-win-crt-[a-z0-9-]+|shlwapi|uxtheme|version|winmm|imm32|dwmapi|bcrypt|crypt32|secur32|iphlpapi|userenv)\.dll$'
# Calls that Windows 8 or later added, which MinGW's libraries or our code could import directly;
# Windows 7 would refuse to start the program ("entry point not found").
newer_calls='GetSystemTimePreciseAsFileTime|CreateFile2|GetCurrentThreadStackLimits|SetThreadDescription|GetThreadDescription|WaitOnAddress|WakeByAddressSingle|WakeByAddressAll|PrefetchVirtualMemory|SetThreadInformation|GetProcessMitigationPolicy|SetProcessMitigationPolicy|CreateRemoteThreadEx2|VirtualAlloc2|MapViewOfFile3|GetOverlappedResultEx|SetDefaultDllDirectories'
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

count=0
programs=0
for folder in "$@"; do
  for exe in "$folder"/*.exe; do
    [[ -e $exe ]] || continue
    count=$((count + 1))
    "$objdump" -f "$exe" | grep -q "file format $format\$" ||
      fail "$exe is not a $format image: $("$objdump" -f "$exe" | grep 'file format')"
    headers=$("$objdump" -p "$exe")
    while read -r dll; do
      grep -Eqi "$system_dlls" <<<"$dll" || fail "$exe imports $dll, which Windows does not have"
    done < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers")
    newer=$(grep -Eow "$newer_calls" <<<"$headers" | sort -u | tr '\n' ' ')
    [[ -z $newer ]] || fail "$exe calls what Windows 7 lacks: $newer"
    case $(basename "$exe") in
      tarvel-flash.exe | tarvel.exe)
        programs=$((programs + 1))
        resources=$("$windres" -i "$exe" -O rc 2>&1)
        grep -q 'RT_GROUP_ICON' <<<"$resources" || fail "$exe has no icon"
        grep -q "VALUE \"FileVersion\", \"$version\"" <<<"$resources" ||
          fail "$exe does not say version $version in its version information"
        grep -Eq "^ *FILEVERSION ${version//./, ?}, ?0\$" <<<"$resources" ||
          fail "$exe's numeric FILEVERSION is not $version.0"
        ;;
    esac
  done
done
[[ $count -gt 0 ]] || fail "no .exe in $*"
[[ $programs -gt 0 ]] || fail "no tarvel program in $*"
[[ $failures -eq 0 ]] && echo "$count $format images: system DLLs only, nothing newer than Windows 7; $programs with icon and version $version"
exit $((failures > 0))
