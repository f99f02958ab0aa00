#!/usr/bin/env bash
# Builds the Windows add-in with mingw-w64 for both kinds of Excel, 64-bit
# (x86_64) and 32-bit (i686), and runs the test harness of each under Wine
# in one fresh, throw-away prefix (WoW64 runs the 32-bit one): registration
# through regsvr32, then the COM rules, the job runs over the fake
# application and the runs with real dialogs. The two DLLs must divide one
# grade into the same classes.
#
# LCZS_WIN_ARCHES="x86_64" (or "i686") runs one of them only; arguments
# select cases by name, as lczs_win_tests.exe takes them.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-win.sh
build=${LCZS_WIN_BUILD:-build-mingw}
jobs=${LCZS_WIN_JOBS:-2}
read -ra arches <<< "${LCZS_WIN_ARCHES:-x86_64 i686}"
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache); fi

build_dir() { if [ "$1" = i686 ]; then echo "$build"32; else echo "$build"; fi; }

for arch in "${arches[@]}"; do
  dir=$(build_dir "$arch")
  cmake --no-warn-unused-cli -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-w64-$arch.cmake" \
    -DLCZS_PORTABLE=ON -DLCZS_TESTS=OFF -DLCZS_WIN_TESTS=ON "${launcher[@]}" >/dev/null
  cmake --build "$dir" --target lczs lczs_win_tests -j"$jobs" >/dev/null
done

wineserver_bin=$(command -v wineserver || true)
for candidate in /usr/lib/wine/wineserver /usr/lib/wine/wineserver64; do
  [ -z "$wineserver_bin" ] && [ -x "$candidate" ] && wineserver_bin=$candidate
done

tmp=$(mktemp -d)
export WINEPREFIX="$tmp/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
# The add-in's strict test dialogs: no window is ever shown.
export LCZS_UI=scripted
unset DISPLAY WAYLAND_DISPLAY
cleanup() {
  [ -n "$wineserver_bin" ] && "$wineserver_bin" -k >/dev/null 2>&1 || true
  rm -rf "$tmp"
}
trap cleanup EXIT

start=$(date +%s)
wine wineboot --init >/dev/null 2>&1
# No display: Wine's null graphics driver creates windows nobody sees,
# so the dialog tests can build and drive them.
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
"$wineserver_bin" -w 2>/dev/null || true
echo "test-win: Wine prefix ready in $(( $(date +%s) - start )) s"

status=0
for arch in "${arches[@]}"; do
  dll_dir="$(build_dir "$arch")/win"
  # A 32-bit DLL is registered by the 32-bit regsvr32, into the registry
  # that 32-bit programs read.
  regsvr32=regsvr32
  [ "$arch" = i686 ] && regsvr32='C:\windows\syswow64\regsvr32.exe'
  arch_start=$(date +%s)
  if ! (cd "$dll_dir" && wine "$regsvr32" /s /n /i:machine lczs.dll >/dev/null 2>&1); then
    echo "test-win: $arch: regsvr32 /n /i:machine lczs.dll failed" >&2
    status=1
    continue
  fi
  echo "test-win: $arch"
  set +e
  (cd "$dll_dir" && LCZS_WIN_DUMP="$tmp/classes-$arch.txt" \
    timeout "${LCZS_WIN_TIMEOUT:-300}" wine lczs_win_tests.exe "$@" 2>&1 | tr -d '\r'
   exit "${PIPESTATUS[0]}")
  arch_status=$?
  set -e
  [ "$arch_status" = 0 ] || status=$arch_status
  echo "test-win: $arch finished in $(( $(date +%s) - arch_start )) s"
done

if [ -f "$tmp/classes-x86_64.txt" ] && [ -f "$tmp/classes-i686.txt" ]; then
  if cmp -s "$tmp/classes-x86_64.txt" "$tmp/classes-i686.txt"; then
    echo "test-win: the i686 and x86_64 DLLs divide the classes alike"
  else
    echo "test-win: the i686 and x86_64 DLLs divide the classes differently:" >&2
    diff "$tmp/classes-x86_64.txt" "$tmp/classes-i686.txt" | head -20 >&2 || true
    status=1
  fi
fi
echo "test-win: finished in $(( $(date +%s) - start )) s"
exit "$status"
