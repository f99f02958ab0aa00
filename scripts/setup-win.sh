#!/usr/bin/env bash
# Installs the cross compiler and Wine that build and test the Windows
# add-in. Idempotent: quiet and quick when everything is already there.
set -euo pipefail

packages=(
  g++-mingw-w64-x86-64   # the add-in DLL and the test harness
  g++-mingw-w64-i686     # the DLL for 32-bit Excel (built, not run: no wine32)
  mingw-w64-tools        # widl, for the type library
  wine wine64            # runs the harness headless
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup-win: installing ${missing[*]}" >&2
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
