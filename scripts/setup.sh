#!/usr/bin/env bash
# Installs the Debian packages lczs needs to build, test and benchmark.
# Idempotent: quiet and quick when everything is already there.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  ccache                # rebuilds in other checkouts of the tree are cheap
  libgtest-dev libgmock-dev libbenchmark-dev
  libglpk-dev           # the elective plan's benchmark checks it against an integer program
  libicu-dev            # pinyin collation for sorting
  libzip-dev            # reading and writing .xlsx (zip container)
  libpugixml-dev        # reading .xlsx (XML parts)
  libexpat1-dev         # checking a saved .xlsx before it replaces anything
  zlib1g-dev            # the CRCs of that check
  libcsv-dev            # reading .csv
  libacl1-dev libattr1-dev  # a save keeps the book's ACL and extended attributes
  libcli11-dev          # the lczs command line
  python3-openpyxl      # independent .xlsx writer/reader in tests
  python3-pil           # the pictures in the carried-items test workbook
  clang-14 libclang-rt-14-dev  # fuzz targets (libFuzzer)
)

bash "$(dirname "$0")/install-missing.sh" "${packages[@]}"
