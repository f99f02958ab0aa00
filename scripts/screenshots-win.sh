#!/usr/bin/env bash
# Shows every form of the add-in once under Wine on a virtual display, as a
# Chinese Windows shows it (a zh-CN prefix with Chinese fonts), checks each
# window against the layout and saves the pictures as PNG files in
# build-mingw/screenshots/ (LCZS_SCREENSHOT_DIR elsewhere).
# LCZS_SCREENSHOT_DPI=144 draws them at 144 DPI instead of 96.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-win.sh
build=${LCZS_WIN_BUILD:-build-mingw}
out=$(realpath -m "${LCZS_SCREENSHOT_DIR:-$build/screenshots}")
dpi=${LCZS_SCREENSHOT_DPI:-96}
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache); fi
cmake --no-warn-unused-cli -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DLCZS_PORTABLE=ON -DLCZS_TESTS=OFF -DLCZS_WIN_TESTS=ON "${launcher[@]}" >/dev/null
cmake --build "$build" --target lczs lczs_win_tests -j"${LCZS_WIN_JOBS:-2}" >/dev/null

# Wine takes its language from the Unix locale, which must exist.
if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi

wineserver_bin=$(command -v wineserver || true)
for candidate in /usr/lib/wine/wineserver /usr/lib/wine/wineserver64; do
  [ -z "$wineserver_bin" ] && [ -x "$candidate" ] && wineserver_bin=$candidate
done
tmp=$(mktemp -d)
export WINEPREFIX="$tmp/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
export LC_ALL=zh_CN.UTF-8 LANG=zh_CN.UTF-8
unset WAYLAND_DISPLAY LCZS_UI
display=":$(( 90 + RANDOM % 100 ))"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display
cleanup() {
  [ -n "$wineserver_bin" ] && "$wineserver_bin" -k >/dev/null 2>&1 || true
  kill "$xvfb" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

wine wineboot --init >/dev/null 2>&1
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
# Wine's light theme, so tab pages are white as on a current Windows.
theme='HKCU\Software\Microsoft\Windows\CurrentVersion\ThemeManager'
wine reg add "$theme" /v ThemeActive /d 1 /f >/dev/null 2>&1
wine reg add "$theme" /v DllName /d 'C:\windows\resources\themes\light\light.msstyles' /f >/dev/null 2>&1
wine reg add "$theme" /v ColorName /d NormalColor /f >/dev/null 2>&1
wine reg add "$theme" /v SizeName /d NormalSize /f >/dev/null 2>&1
"$wineserver_bin" -w 2>/dev/null || true
rm -rf "$out" && mkdir -p "$out"
(cd "$build/win" && wine regsvr32 /s /n /i:machine lczs.dll >/dev/null 2>&1)
set +e
(cd "$build/win" && LCZS_SCREENSHOTS="$(winepath -w "$out")" \
  timeout 120 wine lczs_win_tests.exe win32_job_forms 2>&1 | tr -d '\r'; exit "${PIPESTATUS[0]}")
status=$?
set -e
for bmp in "$out"/*.bmp; do
  [ -e "$bmp" ] || continue
  convert "$bmp" "${bmp%.bmp}.png" && rm "$bmp"
done
echo "screenshots: $(ls "$out" | wc -l) pictures in $out"
exit "$status"
