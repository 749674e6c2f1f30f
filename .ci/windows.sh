#!/usr/bin/env bash
# CI's Windows step: cross-builds everything for 64-bit Windows with MinGW-w64
# and runs every test under Wine (cmake --workflow --preset windows), from a
# fresh build tree and Wine prefix. Called by .ci/run after the Linux steps.
set -euo pipefail
cd "$(dirname "$0")/.."

# libstb-dev: PNG files (no MinGW-w64 libpng); nlohmann-json3-dev and
# libcpp-httplib-dev (whose version names the source fetched below) and
# dpkg-dev (which unpacks it): --serve.
packages=(g++-mingw-w64-x86-64-posix wine wine64 googletest libstb-dev nlohmann-json3-dev
          libcpp-httplib-dev dpkg-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

rm -rf build/windows
# The Wine server the tests leave running (it waits a while for more
# programs) is stopped however the run ends.
trap 'WINEPREFIX="$PWD/build/windows/wine" wineserver -k 2>/dev/null || true' EXIT

start=$SECONDS
bash .ci/httplib-source.sh
cmake --workflow --preset windows
echo "Windows step: $((SECONDS - start)) s"
