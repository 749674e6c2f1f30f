#!/usr/bin/env bash
# Builds the plug-ins against SDK-shaped trees, as against the real Maya
# devkit and mental ray's shader.h, and loads the results through the
# stand-in hosts of a main build.
#
#   .ci/sdk-builds.sh [MAIN_BUILD]     (default build/dev, already built)
#
# The trees are made from the stand-ins: include/maya/*.h (and the stand-in's
# include/mayahost) with
# lib/libOpenMaya.so and lib/libFoundation.so, and include/shader.h. The
# build against them must hold no stand-in target, and its velvet.so and
# krel_velvet.so must render the same bits as the main build's own.
set -euo pipefail
cd "$(dirname "$0")/.."
main=$(realpath "${1:-build/dev}")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

devkit=$tmp/devkit
mrsdk=$tmp/mentalray
mkdir -p "$devkit/include" "$devkit/lib" "$mrsdk/include"
# The stand-in's maya/*.h keep their inline data under mayahost/detail.
cp -r hosts/maya/include/. "$devkit/include/"
# maya/MTypes.h is configured for the main build's devkit flavour.
rm "$devkit/include/maya/MTypes.h.in"
cp "$main/hosts/maya/include/maya/MTypes.h" "$devkit/include/maya/"
cp "$main/hosts/maya/libOpenMaya.so" "$main/hosts/maya/libFoundation.so" "$devkit/lib/"
cp hosts/mentalray/include/shader.h "$mrsdk/include/"

configure() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELVET_WARNINGS_AS_ERRORS=ON \
    -DVELVET_BUILD_BENCHMARKS=OFF "$@"
}

echo "-- a devkit path without headers or libraries fails at configure, naming what is missing"
mkdir -p "$tmp/empty"
if configure "$tmp/bad-maya" -DVELVET_MAYA_DEVKIT="$tmp/empty" >"$tmp/bad.log" 2>&1; then
  echo "configure accepted an empty devkit" >&2
  exit 1
fi
grep -q "no maya/MFnPlugin.h under include/ or devkit/include/" "$tmp/bad.log"
grep -q "no OpenMaya library under lib/" "$tmp/bad.log"
if configure "$tmp/bad-mr" -DVELVET_MENTALRAY_SDK="$tmp/empty" >"$tmp/bad.log" 2>&1; then
  echo "configure accepted a mental ray folder without shader.h" >&2
  exit 1
fi
grep -q "no shader.h in include/ or in the folder itself" "$tmp/bad.log"

echo "-- build against the SDK-shaped trees"
sdk=$tmp/build
configure "$sdk" -DVELVET_MAYA_DEVKIT="$devkit" -DVELVET_MENTALRAY_SDK="$mrsdk" | tee "$tmp/sdk.log"
# The API version is read from the devkit's maya/MTypes.h.
grep -q 'Found Maya: .*(found version "2009")' "$tmp/sdk.log"
grep -q "API version 200900" "$tmp/sdk.log"
cmake --build "$sdk" --target help >"$tmp/targets.txt"
if grep -E "^(lib)?(OpenMaya|Foundation|mrhost_[a-z_]*)[.:]" "$tmp/targets.txt"; then
  echo "a stand-in target is part of the SDK build" >&2
  exit 1
fi
cmake --build "$sdk" --target velvet krel_velvet
# Where the build stages them, in the installed layout.
plugin=$sdk/modules/velvet/plug-ins/velvet.so
library=$sdk/mentalray/lib/krel_velvet.so

echo "-- the plug-in links the devkit's OpenMaya and Foundation"
needed=$(objdump -p "$plugin" | awk '/NEEDED/ {print $2}')
grep -qx "libOpenMaya.so" <<<"$needed"
grep -qx "libFoundation.so" <<<"$needed"
nm -D --defined-only "$plugin" | grep -q " MApiVersion$"

echo "-- both load through the main build's stand-in hosts and render the same bits"
preview=$main/tools/preview/velvet-preview
"$preview" --size 64x32 --out "$tmp/main"
"$preview" --size 64x32 --out "$tmp/sdk" --maya-plugin "$plugin" \
  --mr-library "$library"
for f in maya.png mentalray.png; do
  cmp "$tmp/main/$f" "$tmp/sdk/$f"
done
echo "SDK builds: OK"
