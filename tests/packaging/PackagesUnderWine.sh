#!/usr/bin/env bash
# The Windows packages under Wine. The portable zip: its programs run alone, in Italian from the
# catalogues stored inside them, and read a catalogue put in locale/ beside them. The installer:
# a silent install, per user to a chosen folder or for all users to the default one, installs the
# machine's build, whose programs run, with a Start-menu entry and an Add/Remove programs entry in
# the mode's place; its silent uninstall takes all of them away again.
# Usage: PackagesUnderWine.sh OBJDUMP x64|x86 VERSION ZIP [INSTALLER INSTALLER_AMD64 WITH_X86]
set -uo pipefail
objdump=$1 arch=$2 version=$3 zip=$4
installer=${5:-} installer_amd64=${6:-} with_x86=${7:-OFF}
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
wine32=/usr/lib/wine/wine # Debian's wine32: 32-bit programs, the NSIS installer among them
run=("$here/scripts/wine-run.sh")
if [[ $arch == x86 ]]; then
  run+=(--win32)
  [[ -x $wine32 ]] || { echo "no 32-bit Wine (wine32): the x86 programs cannot run here"; exit 77; }
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
format() { "$objdump" -f "$1" | sed -n 's/.*file format //p'; }
[[ $arch == x64 ]] && native_format=pei-x86-64 || native_format=pei-i386

printf 'S0030000FC\r\n' >"$work/image.s19"
italian="Lì non è collegato nulla"
german="Dort ist nichts angeschlossen"
cat >"$work/de.po" <<'PO'
msgid ""
msgstr "Content-Type: text/plain; charset=UTF-8\n"

msgid "Nothing is plugged in there; tarvel --list-ports lists what is present."
msgstr "Dort ist nichts angeschlossen."
PO
msgfmt -o "$work/de.mo" "$work/de.po" || fail "msgfmt"

# The zip: one folder named after the version, holding the programs and nothing else.
mkdir "$work/zip"
(cd "$work/zip" && cmake -E tar xf "$zip") || fail "cannot unpack $zip"
folder="$work/zip/Tarvel-$version-windows-$arch"
[[ -f $folder/tarvel-flash.exe ]] || fail "the zip has no Tarvel-$version-windows-$arch/tarvel-flash.exe"
others=$(cd "$work/zip" && find . -type f ! -name tarvel-flash.exe ! -name tarvel.exe)
[[ -z $others ]] || fail "the zip holds more than the programs: $others"
if [[ -f $folder/tarvel-flash.exe ]]; then
  [[ $(format "$folder/tarvel-flash.exe") == "$native_format" ]] || fail "the zip's program is not $native_format"
  out=$(LANG=it_IT.UTF-8 "${run[@]}" "$folder/tarvel-flash.exe" --port COM99 "$work/image.s19" 2>&1)
  grep -q "$italian" <<<"$out" || fail "the zip's program alone is not in Italian: $out"
  mkdir -p "$folder/locale/de/LC_MESSAGES"
  cp "$work/de.mo" "$folder/locale/de/LC_MESSAGES/default.mo"
  out=$(LANG=de_DE.UTF-8 "${run[@]}" "$folder/tarvel-flash.exe" --port COM99 "$work/image.s19" 2>&1)
  grep -q "$german" <<<"$out" || fail "the zip's program does not read locale/ beside it: $out"
fi

uninstall_key='Software\Microsoft\Windows\CurrentVersion\Uninstall\Tarvel'
# install_cycle SETUP EXPECTED_FORMAT CurrentUser|AllUsers RUNNER...: installs silently in that
# mode (per user: to a folder given with /D=; for all: to the default one), checks, uninstalls
# with the uninstaller alone, checks that nothing it installed is left.
install_cycle() {
  local setup=$1 expected=$2 mode=$3
  shift 3
  local runner=("$@")
  local prefix=${WINEPREFIX:-$here/build/windows/wine}
  [[ ${runner[*]} == *--win32* ]] && prefix=${WINEPREFIX_X86:?}
  local dir windir menu_root hive other arguments=(/S "/$mode")
  if [[ $mode == CurrentUser ]]; then
    # No space in it: Wine quotes an argument with one, and NSIS reads /D= only unquoted.
    dir="$prefix/drive_c/TarvelTest/Tarvel-$arch" windir="C:\\TarvelTest\\Tarvel-$arch"
    arguments+=("/D=$windir")
    menu_root="$prefix/drive_c/users/$(id -un)" hive=HKCU other=HKLM
  else
    dir="$prefix/drive_c/Program Files/Tarvel" windir="C:\\Program Files\\Tarvel"
    menu_root="$prefix/drive_c/ProgramData" hive=HKLM other=HKCU
  fi
  run_here() { WINEPREFIX=$prefix "${runner[@]}" "$@"; }
  menu_entries() { find "$menu_root" "$prefix/drive_c/users" "$prefix/drive_c/ProgramData" \
    -path '*/Start Menu/Programs/Tarvel*' 2>/dev/null; }
  run_here --start
  run_here "$setup" "${arguments[@]}" >"$work/out" 2>&1 ||
    fail "$mode: $(basename "$setup") exited $?: $(cat "$work/out")"
  [[ -f $dir/tarvel-flash.exe && -f $dir/Uninstall.exe ]] ||
    fail "$mode: not installed in $windir: $(ls "$dir" 2>&1)"
  [[ -f $dir/tarvel-flash.exe && $(format "$dir/tarvel-flash.exe") == "$expected" ]] ||
    fail "$mode: the installed program is not $expected"
  local out
  out=$(run_here "$dir/tarvel-flash.exe" --version 2>&1)
  grep -q "^tarvel-flash $version" <<<"$out" || fail "$mode: installed tarvel-flash --version: $out"
  if [[ -f $dir/tarvel.exe ]]; then
    out=$(run_here "$dir/tarvel.exe" --version 2>&1)
    grep -q "$version" <<<"$out" || fail "$mode: installed tarvel --version: $out"
  fi
  local menu
  menu=$(find "$menu_root" -path '*/Start Menu/Programs/Tarvel/*.lnk' 2>/dev/null)
  [[ -n $menu ]] || fail "$mode: no Start-menu entry in $menu_root"
  if [[ -f $dir/tarvel.exe ]]; then
    grep -q '/Tarvel/Tarvel.lnk$' <<<"$menu" || fail "$mode: no Start-menu entry for tarvel.exe: $menu"
  fi
  out=$(run_here reg query "$hive\\$uninstall_key" /v UninstallString 2>&1) ||
    fail "$mode: no uninstall entry under $hive: $out"
  grep -q "Uninstall.exe\" /$mode" <<<"$out" || fail "$mode: the uninstall entry: $out"
  run_here reg query "$other\\$uninstall_key" >/dev/null 2>&1 && fail "$mode: an uninstall entry under $other"

  # The uninstaller runs from a copy of itself and returns at once: wait for it, boundedly.
  run_here "$dir/Uninstall.exe" /S >"$work/out" 2>&1 || fail "$mode: Uninstall.exe exited $?: $(cat "$work/out")"
  local gone=0
  for _ in $(seq 120); do
    if [[ ! -e $dir && -z $(menu_entries) ]] && ! run_here reg query "$hive\\$uninstall_key" >/dev/null 2>&1; then
      gone=1
      break
    fi
    sleep 0.5
  done
  if [[ $gone -eq 0 ]]; then
    [[ -e $dir ]] && fail "$mode: the uninstall left $windir: $(ls -A "$dir")"
    [[ -n $(menu_entries) ]] && fail "$mode: the uninstall left $(menu_entries)"
    run_here reg query "$hive\\$uninstall_key" >/dev/null 2>&1 && fail "$mode: the uninstall left its $hive entry"
  fi
  [[ -d $prefix/drive_c/TarvelTest ]] && rmdir "$prefix/drive_c/TarvelTest"
  [[ $prefix == "${WINEPREFIX_X86:-}" ]] && run_here --stop
  return 0
}

# Wine's user is an administrator, as a machine-wide install needs.
both_modes() {
  install_cycle "$1" "$2" CurrentUser "${@:3}"
  install_cycle "$1" "$2" AllUsers "${@:3}"
}

if [[ -n $installer ]]; then
  if [[ -x $wine32 ]]; then
    both_modes "$installer" "$native_format" "${run[@]}"
    # The same installer on 32-bit Windows installs the 32-bit build.
    if [[ $with_x86 == ON ]]; then
      both_modes "$installer" pei-i386 "${run[@]}" --win32
    fi
  else
    echo "no 32-bit Wine (wine32): the 32-bit installer did not run; a 64-bit build of its script did"
    both_modes "$installer_amd64" "$native_format" "${run[@]}"
  fi
fi

[[ $failures -eq 0 ]] && echo "packages checked: zip alone and with locale/ beside${installer:+, install, Start menu, uninstall entry, uninstall}"
exit $((failures > 0))
