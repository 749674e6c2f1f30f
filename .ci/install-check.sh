#!/usr/bin/env bash
# The main job, then its installed tree the way a user gets it: installed
# into a temporary prefix, packed by cpack, copied elsewhere, and run from
# the copy with the first prefix deleted and the build tree out of reach.
set -euo pipefail
cd "$(dirname "$0")/.."

echo "== main job"
cmake --workflow --preset release

work=$(mktemp -d)
away="build/release.out-of-reach"
restore() {
  if [[ -d "$away" ]]; then mv "$away" build/release; fi
  rm -rf "$work"
}
trap restore EXIT

echo "== install and package"
cmake --install build/release --prefix "$work/prefix"
(cd build/release && cpack -B "$work/package" >/dev/null)
archive=$(ls "$work"/package/velvet-*.tar.gz)
echo "packed $(basename "$archive")"
tar -tzf "$archive" > "$work/archive.txt"
grep -q '/modules/velvet/plug-ins/velvet.so$' "$work/archive.txt"
grep -q '/mentalray/include/krel_velvet.mi$' "$work/archive.txt"

echo "== relocated tree, build tree out of reach"
cp -a "$work/prefix" "$work/moved"
rm -rf "$work/prefix"
mv build/release "$away"
unset MAYA_MODULE_PATH MAYA_PLUG_IN_PATH MI_LIBRARY_PATH MI_RAY_INCPATH MI_CUSTOM_SHADER_PATH
unset LD_LIBRARY_PATH
"$work/moved/bin/velvet-preview" --hosts | tee "$work/hosts.txt"
grep -q "maya: found through the installed tree ($work/moved/modules)" "$work/hosts.txt"
grep -q "mr: found through the installed tree ($work/moved/mentalray)" "$work/hosts.txt"
"$work/moved/bin/velvet-preview" --out "$work/render"
test -s "$work/render/preview.png"

# The Maya host reads the module from the copy as Maya would.
MAYA_MODULE_PATH="$work/moved/modules" "$work/moved/bin/velvet-preview" --hosts maya --list \
  > /dev/null
echo "relocated tree: ok"
