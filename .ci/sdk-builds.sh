#!/usr/bin/env bash
# Builds the plug-ins against SDK-shaped trees, as against the real Maya
# devkit and mental ray's shader.h, and loads the results through the
# stand-in hosts of a main build.
#
#   .ci/sdk-builds.sh [MAIN_BUILD [MAYA2025_BUILD]]
#       (default build/dev and build/maya2025, already built; the second by
#       .ci/maya-2025.sh, and skipped with a note when it is missing)
#
# The trees are made from the stand-ins: include/maya/*.h (and the stand-in's
# include/mayahost) with
# lib/libOpenMaya.so and lib/libFoundation.so, and include/shader.h. The
# build against them must hold no stand-in target, and its velvet.so and
# krel_velvet.so must render the same bits as the main build's own. A second
# devkit is shaped like the Maya 2025 archive (devkitBase/include/maya,
# devkitBase/lib) from the 2025-shaped stand-in: the build against it names
# its release in the module file and renders the same bits through that
# stand-in.
set -euo pipefail
cd "$(dirname "$0")/.."
main=$(realpath "${1:-build/dev}")
maya2025=${2:-build/maya2025}
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
grep -q "no maya/MFnPlugin.h under include/, devkit/include/ or devkitBase/include/" "$tmp/bad.log"
grep -q "no OpenMaya library under lib/ or devkitBase/lib/" "$tmp/bad.log"
echo "-- a devkit whose MTypes.h has no API version fails at configure, saying so"
cp -r "$devkit" "$tmp/noversion"
sed -i '/#define MAYA_API_VERSION/d' "$tmp/noversion/include/maya/MTypes.h"
if configure "$tmp/bad-version" -DVELVET_MAYA_DEVKIT="$tmp/noversion" >"$tmp/bad.log" 2>&1; then
  echo "configure accepted an MTypes.h without MAYA_API_VERSION" >&2
  exit 1
fi
grep -q "no MAYA_API_VERSION defined in $tmp/noversion/include/maya/MTypes.h" "$tmp/bad.log"
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
# Where the build stages them, in the installed layout: the plug-in in its
# release's folder, named by the module's sections.
plugin=$sdk/modules/velvet/plug-ins/2009/velvet.so
library=$sdk/mentalray/lib/krel_velvet.so
grep -qx "+ MAYAVERSION:2009 PLATFORM:linux velvet .* velvet" "$sdk/modules/velvet.mod"
grep -qx "plug-ins: plug-ins/2009" "$sdk/modules/velvet.mod"

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

if [[ ! -x $maya2025/tools/preview/velvet-preview ]]; then
  echo "-- no 2025-shaped stand-in build in $maya2025 (.ci/maya-2025.sh): the 2025 devkit is not tried"
  echo "SDK builds: OK (without the 2025-shaped devkit)"
  exit 0
fi
maya2025=$(realpath "$maya2025")
echo "-- build against a 2025-shaped devkit archive (devkitBase/), given as MAYA_LOCATION"
base=$tmp/devkit2025/devkitBase
mkdir -p "$base/include" "$base/lib"
cp -r hosts/maya/include/. "$base/include/"
rm "$base/include/maya/MTypes.h.in"
cp "$maya2025/hosts/maya/include/maya/MTypes.h" "$base/include/maya/"
cp "$maya2025/hosts/maya/libOpenMaya.so" "$maya2025/hosts/maya/libFoundation.so" "$base/lib/"
sdk2025=$tmp/build2025
MAYA_LOCATION=$tmp/devkit2025 DEVKIT_LOCATION= configure "$sdk2025" -DVELVET_BUILD_MENTALRAY=OFF \
  -DVELVET_BUILD_TOOLS=OFF -DVELVET_BUILD_TESTS=OFF | tee "$tmp/sdk2025.log"
grep -q 'Found Maya: .*(found version "2025")' "$tmp/sdk2025.log"
grep -q "API version 20250000" "$tmp/sdk2025.log"
cmake --build "$sdk2025" --target velvet
plugin2025=$sdk2025/modules/velvet/plug-ins/2025/velvet.so
grep -qx "+ MAYAVERSION:2025 PLATFORM:linux velvet .* velvet" "$sdk2025/modules/velvet.mod"
grep -qx "plug-ins: plug-ins/2025" "$sdk2025/modules/velvet.mod"
# The devkit's versioned namespace, in the names the plug-in imports.
nm -DC "$plugin2025" >"$tmp/nm2025.txt"
grep -q "Autodesk::Maya::OpenMaya20250000::MFnPlugin" "$tmp/nm2025.txt"

echo "-- an update's API version (20250300) is release 2025; one of seven digits stops the configure"
cp -r "$tmp/devkit2025" "$tmp/update3"
sed -i 's/#define MAYA_API_VERSION 20250000/#define MAYA_API_VERSION 20250300/' \
  "$tmp/update3/devkitBase/include/maya/MTypes.h"
configure "$tmp/update3-build" -DVELVET_MAYA_DEVKIT="$tmp/update3/devkitBase" \
  -DVELVET_BUILD_MENTALRAY=OFF -DVELVET_BUILD_TOOLS=OFF -DVELVET_BUILD_TESTS=OFF >"$tmp/update3.log"
grep -q 'Found Maya: .*(found version "2025")' "$tmp/update3.log"
grep -q "API version 20250300, Maya 2025" "$tmp/update3.log"
sed -i 's/#define MAYA_API_VERSION 20250300/#define MAYA_API_VERSION 2025030/' \
  "$tmp/update3/devkitBase/include/maya/MTypes.h"
if configure "$tmp/bad-digits" -DVELVET_MAYA_DEVKIT="$tmp/update3" >"$tmp/bad.log" 2>&1; then
  echo "configure accepted a seven-digit MAYA_API_VERSION" >&2
  exit 1
fi
grep -q "MAYA_API_VERSION 2025030 in .* is not a release's six or eight digits" "$tmp/bad.log"

echo "-- it loads through the 2025-shaped stand-in host, by its module, and renders the same bits"
MAYA_MODULE_PATH=$sdk2025/modules "$maya2025/tools/preview/velvet-preview" --hosts \
  | tee "$tmp/hosts2025.txt"
grep -q "plug-in  $plugin2025" "$tmp/hosts2025.txt"
grep -q "module  $sdk2025/modules/velvet.mod:1 (MAYAVERSION:2025 PLATFORM:linux)" "$tmp/hosts2025.txt"
MAYA_MODULE_PATH=$sdk2025/modules "$maya2025/tools/preview/velvet-preview" --size 64x32 \
  --out "$tmp/sdk2025"
cmp "$tmp/main/maya.png" "$tmp/sdk2025/maya.png"

echo "-- two releases in one prefix: each stand-in host loads its own plug-in"
prefix=$tmp/prefix
cmake --install "$main" --prefix "$prefix" >/dev/null
cmake --install "$sdk2025" --prefix "$prefix" >/dev/null
cmake --install "$sdk2025" --prefix "$prefix" >/dev/null # the same release again: replaced
test "$(grep -c '^+ MAYAVERSION:2025 ' "$prefix/modules/velvet.mod")" = 3
MAYA_MODULE_PATH=$prefix/modules "$maya2025/tools/preview/velvet-preview" --hosts \
  | tee "$tmp/hosts.txt"
grep -q "plug-in  $prefix/modules/velvet/plug-ins/2025/velvet.so" "$tmp/hosts.txt"
MAYA_MODULE_PATH=$prefix/modules "$main/tools/preview/velvet-preview" --hosts | tee "$tmp/hosts.txt"
grep -q "plug-in  $prefix/modules/velvet/plug-ins/velvet.so" "$tmp/hosts.txt"
grep -q "skipped  $prefix/modules/velvet.mod:1 (MAYAVERSION:2025, this host is Maya 2009)" \
  "$tmp/hosts.txt"
for preview in "$main/tools/preview/velvet-preview" "$maya2025/tools/preview/velvet-preview"; do
  rm -rf "$tmp/out"
  MAYA_MODULE_PATH=$prefix/modules "$preview" --size 64x32 --out "$tmp/out" >/dev/null
  cmp "$tmp/main/maya.png" "$tmp/out/maya.png"
done
echo "SDK builds: OK"
