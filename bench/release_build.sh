# Sourced by the whole-process benchmarks: a Release build of one target in
# a build folder of the benchmark's own. Warnings that only the optimiser
# raises in library headers stay warnings, so a newer compiler cannot stop
# a measurement.
#
#   release_build BUILD-DIR TARGET
release_build() {
  cmake -S . -B "$1" -DCMAKE_BUILD_TYPE=Release -DLCZS_BENCH=ON -DLCZS_TESTS=OFF \
    -DCMAKE_CXX_FLAGS="-Wno-error=maybe-uninitialized -Wno-error=restrict -Wno-error=array-bounds -Wno-error=stringop-overflow" >/dev/null
  cmake --build "$1" --target "$2" -j2 >"$1/$2.log" 2>&1 || { tail -40 "$1/$2.log"; exit 1; }
}
