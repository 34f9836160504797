#!/usr/bin/env bash
# The launcher run from a folder where someone planted look-alikes of the
# system DLLs it uses (a Downloads folder) loads none of them and still
# installs. Wine prefers such a planted DLL only when told to prefer native
# DLLs, as Windows does for every DLL that is not a "known DLL"; a control
# program that imports the same DLLs the ordinary way proves that the planted
# ones are seen. The launcher's import table may name known DLLs only.
# Usage: launcher_planted_dlls.sh BUILD_DIR SRC_DIR
set -euo pipefail
. "$2/tests/integration/lib/launcher.bash" "$1" "$2" launcher_planted_dlls
start_private_prefix
publish_test_release '' 2

# Known DLLs of Windows 10/11, loaded from System32 whatever lies beside the
# program; the others would be looked up in the program's folder first.
declare -A dll_kind=(
  [kernel32]=known [user32]=known [gdi32]=known [advapi32]=known [ole32]=known
  [shell32]=known [msvcrt]=known [gdiplus]=known [oleaut32]=known
  [winhttp]=planted [bcrypt]=planted [dwmapi]=planted [crypt32]=planted [oleacc]=planted
)
planted=()
for dll in "${!dll_kind[@]}"; do [ "${dll_kind[$dll]}" = planted ] && planted+=("$dll"); done

imports=$(x86_64-w64-mingw32-objdump -p "$launcher_exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr A-Z a-z)
for dll in $imports; do
  check "the launcher imports $dll, a known DLL" [ "${dll_kind[${dll%.dll}]:-}" = known ]
done

downloads="$work/Downloads"
mkdir -p "$downloads"
cp "$launcher_exe" "$build/fixtures/planted_control.exe" "$downloads/"
for dll in "${planted[@]}"; do cp "$build/fixtures/planted_dll.dll" "$downloads/$dll.dll"; done
prefer_planted() { VANDRO_EXTRA_DLL_OVERRIDES="$(IFS=,; echo "$*")=n,b"; export VANDRO_EXTRA_DLL_OVERRIDES; }
# The marker is named as the loader spelt the DLL (an import may say WINHTTP.dll).
planted_loaded() { [ -n "$(find "$downloads" -maxdepth 1 -iname "$1.dll.planted")" ]; }
not_loaded() { ! planted_loaded "$1"; }

prefer_planted "${planted[@]}"
win "$downloads/planted_control.exe" >/dev/null 2>&1 || true
for dll in "${planted[@]}"; do
  check "control: the planted $dll.dll is loaded (planting is visible)" planted_loaded "$dll"
done
rm -f "$downloads"/*.planted

launcher_exe="$downloads/vandroglade-launcher.exe"
open_launcher "start-up: "
sleep 1
for dll in "${planted[@]}"; do
  check "start-up: the planted $dll.dll is not loaded" not_loaded "$dll"
done
close_by_glyph

# A whole install beside the DLLs the launcher loads itself. Wine's own
# TLS code loads bcrypt and crypt32 on the launcher's behalf by a route that
# ignores the process's DLL directories (Windows' loader keeps to them), so
# those two are not preferred here.
install_planted=(winhttp dwmapi oleacc)
prefer_planted "${install_planted[@]}"
open_launcher "install: "
press_install
check_installed_screen
close_by_glyph
for dll in "${install_planted[@]}"; do
  check "install: the planted $dll.dll is not loaded" not_loaded "$dll"
done
finish
