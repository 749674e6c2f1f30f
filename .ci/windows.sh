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

# The ZIP as a Windows user gets it: packed, unpacked into a folder whose
# name has spaces, and run from there with the build tree out of its sight
# (no build description beside the tool, no variables). Its images must
# agree with the golden ones within the tool's own tolerance.
echo "== the ZIP, unpacked elsewhere, under Wine"
work=$(mktemp -d)
trap 'WINEPREFIX="$PWD/build/windows/wine" wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
(cd build/windows && cpack -B "$work/package" >/dev/null)
archive=$(ls "$work"/package/velvet-*.zip)
echo "packed $(basename "$archive")"
unpacked="$work/Velvet for Windows"
mkdir -p "$unpacked"
(cd "$unpacked" && cmake -E tar xf "$archive")
tool=$(ls "$unpacked"/velvet-*/bin/velvet-preview.exe)
test ! -e "$(dirname "$tool")/velvet-preview.build"
run_wine() {
  env -u MAYA_MODULE_PATH -u MAYA_PLUG_IN_PATH -u MI_LIBRARY_PATH -u MI_RAY_INCPATH \
    -u MI_CUSTOM_SHADER_PATH WINEPREFIX="$PWD/build/windows/wine" WINEARCH=win64 WINEDEBUG=-all \
    WINEDLLOVERRIDES="mscoree,mshtml=" wine "$@"
}
run_wine "$tool" --hosts | tr -d '\r' | tee "$work/hosts.txt"
grep -q "^maya: found through the installed tree (.*/Velvet for Windows/velvet-.*/modules)" "$work/hosts.txt"
grep -q "^mr: found through the installed tree (.*/Velvet for Windows/velvet-.*/mentalray)" "$work/hosts.txt"
grep -q "plug-in  .*/modules/velvet/plug-ins/velvet.mll$" "$work/hosts.txt"
grep -q "library  .*/mentalray/lib/krel_velvet.dll$" "$work/hosts.txt"
mkdir -p "$work/render out"
# A Windows path with a drive letter, backslashes and a space.
render_out="$work/render out"
run_wine "$tool" --size 64x32 --out "Z:${render_out//\//\\}"
python3 .ci/png-agree.py tests/tools/golden "$work/render out" maya.png mentalray.png preview.png
# Bad input: the Linux tool's message and exit code.
status=0
run_wine "$tool" --maya edginess=lots --out "$work/render out" 2> "$work/bad.txt" || status=$?
tr -d '\r' < "$work/bad.txt"
test "$status" -eq 2
grep -q "edginess" "$work/bad.txt"
echo "the ZIP, unpacked elsewhere: ok"
