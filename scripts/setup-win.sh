#!/usr/bin/env bash
# Installs the cross compilers and Wine, 64- and 32-bit, that build and test
# the Windows add-in, and what the screenshots of its forms need. Idempotent:
# quiet and quick when everything is already there.
set -euo pipefail

# 32-bit Wine comes from Debian's i386 packages.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO dpkg --add-architecture i386
fi

packages=(
  g++-mingw-w64-x86-64   # the add-in DLL for 64-bit Excel and its test harness
  g++-mingw-w64-i686     # the same for 32-bit Excel
  mingw-w64-tools        # widl, for the type library
  wine wine64            # runs the 64-bit harness headless
  wine32:i386            # and the 32-bit one
  xvfb                   # a display for the screenshots of the forms
  fonts-wqy-microhei     # Chinese glyphs for them
  imagemagick            # the screenshots as PNG
)

bash "$(dirname "$0")/install-missing.sh" "${packages[@]}"
