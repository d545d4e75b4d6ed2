#!/usr/bin/env bash
# The Windows zip as a user gets it: its name and file list; the licence; .exe files of the right kind that
# import only DLLs every Windows has (the build is static: no MinGW runtime, zlib or SDL DLL may be
# needed beside them); the screen savers, each its program's .exe byte for byte under a .scr name;
# a README.txt with Windows line ends whose options the recorder has, which says how to install a
# screen saver; and its recorder, alone in a folder under Wine, printing the native build's CRC
# lines.
#   tests/package/zip_check.sh PACKAGE.zip WINDOWS_BUILD_DIR NATIVE_BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
# shellcheck source=tests/package/common.sh
source "$here/common.sh"
zip=$1
windows=$(cd "$2" && pwd)
native=$(cd "$3" && pwd)

version=$(project_version "$windows")
top="sorvel-$version-win32"
[ "${zip##*/}" = "$top.zip" ] || fail "package name ${zip##*/}, wanted $top.zip"

unzip -Z1 "$zip" | grep -v '/$' | sort >"$work/files"
printf '%s\n' "$top/LICENSE.txt" "$top/README.txt" "$top/sorvel-record.exe" "$top/sorvel.exe" "$top/sorvel2.exe" \
  "$top/sorvel.scr" "$top/sorvel2.scr" |
  sort >"$work/files.wanted"
if diff -u "$work/files.wanted" "$work/files" >"$work/files.diff"; then
  ok "contents: $(paste -sd' ' "$work/files")"
else
  fail "contents differ from the expected list (- wanted, + in the zip):"
  tail -n +3 "$work/files.diff" >&2
fi
unzip -q "$zip" -d "$work/x"
x="$work/x/$top"

# DLLs that ship with every Windows from XP on (and with Wine).
system_dlls=" advapi32.dll comctl32.dll comdlg32.dll gdi32.dll imm32.dll kernel32.dll msvcrt.dll ole32.dll
  oleaut32.dll shell32.dll user32.dll version.dll winmm.dll ws2_32.dll "
objdump=i686-w64-mingw32-objdump
for exe in sorvel2.exe sorvel.exe sorvel-record.exe sorvel2.scr sorvel.scr; do
  [ -f "$x/$exe" ] || continue
  case $exe in sorvel-record.exe) kind=console subsystem=CUI ;; *) kind=GUI subsystem=GUI ;; esac
  # The PE header as objdump reads it: `file` words it differently from release to release.
  format=$("$objdump" -f "$x/$exe" 2>/dev/null | sed -n 's/.*file format //p') || format=""
  said=$("$objdump" -p "$x/$exe" 2>/dev/null | sed -n 's/^Subsystem[[:space:]]*[0-9a-fA-F]*[[:space:]]*//p') ||
    said=""
  [ "$format" = pei-i386 ] && [ "$said" = "(Windows $subsystem)" ] ||
    fail "$exe: ${format:-no PE format} ${said:-no subsystem}, wanted a 32-bit $kind program (pei-i386, Windows $subsystem)"
  "$objdump" -p "$x/$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u >"$work/dlls"
  grep -qx kernel32.dll "$work/dlls" || fail "$exe: no import table read (objdump found no KERNEL32.dll)"
  foreign=$(while read -r dll; do [[ "$system_dlls" == *" $dll "* ]] || echo "$dll"; done <"$work/dlls" | paste -sd" ")
  [ -z "$foreign" ] && ok "$exe ($kind) imports only system DLLs: $(paste -sd' ' "$work/dlls")" ||
    fail "$exe imports DLLs that Windows does not ship: $foreign"
done

# The screen savers are the programs themselves (the name makes them take /s, /p and /c).
for program in sorvel2 sorvel; do
  [ -f "$x/$program.scr" ] || continue
  if cmp -s "$x/$program.exe" "$x/$program.scr"; then
    ok "$program.scr is $program.exe byte for byte"
  else
    fail "$program.scr differs from $program.exe"
  fi
done

# README.txt: Windows line ends, the version, every key, and only options the programs or the
# recorder have.
readme="$x/README.txt"
if [ -f "$readme" ]; then
  [ "$(grep -c $'\r$' "$readme")" -eq "$(wc -l <"$readme")" ] && ok "README.txt has Windows line ends" ||
    fail "README.txt has lines without a carriage return"
  before=$failures
  grep -qF "$version" "$readme" || fail "README.txt does not name version $version"
  for key in Space Left Right Up Down Escape Alt+Enter F11 Pause; do
    grep -q "$key" "$readme" || fail "README.txt does not mention $key"
  done
  # The programs' options are the same on Linux and Windows: the native program's --help has them.
  { "$native/tools/sorvel-record" --help && "$native/apps/sorvel2" --help; } >"$work/help"
  for option in $(grep -o -- '--[a-z][a-z-]*' "$readme" | sort -u); do
    grep -q -- "$option\b" "$work/help" || fail "README.txt names $option, which neither the programs nor the recorder have"
  done
  for words in "right-click" "Install" 'C:\Windows\System32' 'C:\Windows\SysWOW64' "/s " "/p HWND" "/c "; do
    grep -qF -- "$words" "$readme" || fail "README.txt does not say \"$words\" of the screen savers"
  done
  [ "$failures" -eq "$before" ] && ok "README.txt names version $version, the keys, only the programs' and the recorder's options, and how to install and run a screen saver"
fi

# The shipped .exe files' icons, version information and manifests.
if bash "$root/tests/windows/resources_check.sh" "$version" "$x/sorvel2.exe" "$x/sorvel.exe" \
  "$x/sorvel-record.exe" >"$work/resources.log"; then
  ok "$(grep -c '^PASS' "$work/resources.log") checks of the .exe files' icons, version information and manifests"
else
  fail "the .exe files' resources:"
  grep -v '^PASS' "$work/resources.log" >&2
fi

# LICENSE.txt: the tree's LICENSE, with Windows line ends for Notepad.
if [ -f "$x/LICENSE.txt" ]; then
  tr -d '\r' <"$x/LICENSE.txt" >"$work/license"
  [ "$(grep -c $'\r$' "$x/LICENSE.txt")" -eq "$(wc -l <"$x/LICENSE.txt")" ] && cmp -s "$work/license" "$root/LICENSE" &&
    ok "LICENSE.txt is LICENSE with Windows line ends" || fail "LICENSE.txt is not LICENSE with Windows line ends"
fi

# The zip's recorder, with nothing beside it but the zip's files, against the native recorder.
if [ -f "$x/sorvel-record.exe" ] && source "$root/scripts/wine-env.sh" "$windows" && wine_env_ready; then
  for program in sorvel2 sorvel; do
    "$native/tools/sorvel-record" "$program" --frames "$crc_frames" --keys "$crc_keys" --crc >"$work/$program.linux"
    (cd "$x" && wine ./sorvel-record.exe "$program" --frames "$crc_frames" --keys "$crc_keys" --crc) |
      tr -d '\r' >"$work/$program.zip" || fail "the zip's recorder failed on $program under Wine"
    same_lines "$program: the zip's recorder under Wine prints the native $crc_frames CRC lines" \
      "$work/$program.linux" "$work/$program.zip"
  done
  wine_env_stop
else
  echo "SKIPPED: the zip's recorder under Wine (Wine cannot run here; see the SKIPPED line above)"
fi
finish "the Windows zip ${zip##*/}"
