#!/usr/bin/env bash
# The Maya plug-in against the stand-in devkit's second flavour, shaped like
# Maya 2025 (VELVET_MAYA_STANDIN_API=20250000: eight-digit API version,
# versioned namespace, schedulingType()): builds the plug-in, the Maya tests
# and the preview tool (which .ci/sdk-builds.sh renders with) and runs the
# Maya tests, warnings as errors. Only what those need is built: no mental
# ray, no benchmarks.
#
#   .ci/maya-2025.sh [BUILD_DIR]     (default build/maya2025)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/maya2025}

start=$SECONDS
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELVET_WARNINGS_AS_ERRORS=ON \
  -DVELVET_MAYA_STANDIN_API=20250000 -DVELVET_BUILD_MENTALRAY=OFF -DVELVET_BUILD_BENCHMARKS=OFF \
  -DVELVET_WITH_SERVE=OFF
grep -qx '#define MAYA_API_VERSION 20250000' "$build/hosts/maya/include/maya/MTypes.h"
cmake --build "$build" --target velvet velvet-preview maya_tests maya_concurrency_tests \
  maya_creator_tests maya_module_tests maya_soak_tests mayahost_tests mayahost_module_tests \
  viewport_tests
# The plug-in's tests (the viewport's among them) and the stand-in host's:
# the rest of the tree is the same in both flavours.
ctest --test-dir "$build/tests/maya" --output-on-failure -j2
ctest --test-dir "$build/tests/hosts/maya" --output-on-failure -j2
echo "Maya 2025-shaped stand-in: $((SECONDS - start)) s"
