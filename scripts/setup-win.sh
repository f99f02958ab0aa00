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

bash "$(dirname "$0")/install-missing.sh" "${packages[@]}"
