#!/usr/bin/env bash
# Debian's source of cpp-httplib, for the Windows cross build's --serve.
#
# Debian's libcpp-httplib-dev is built for Linux: its httplib.h declares the
# library and its compiled part is a Linux shared library. The MinGW-w64
# build needs the library's single header, which Debian's source package of
# the same version carries (with Debian's patches applied). This fetches it
# with apt from the machine's own Debian sources turned into source lists
# (kept in the folder, so the machine's apt configuration is left as it is)
# and unpacks it into
#   build/deps/cpp-httplib            (the windows preset's VELVET_HTTPLIB_SOURCE_DIR)
# Nothing is fetched when that folder already holds the installed version.
set -euo pipefail
cd "$(dirname "$0")/.."

version=$(dpkg-query -W -f='${Version}' libcpp-httplib-dev 2>/dev/null || true)
if [[ -z "$version" ]]; then
  echo "libcpp-httplib-dev is not installed: its version names the source to fetch" >&2
  exit 1
fi
dest=build/deps/cpp-httplib
if [[ -f "$dest/.debian-version" && "$(cat "$dest/.debian-version")" == "$version" ]]; then
  exit 0
fi

work=build/deps/.cpp-httplib-fetch
rm -rf "$work" "$dest"
mkdir -p "$work/lists/partial" "$work/src" "$work/sources.list.d"
# The machine's own Debian sources, as deb-src: the same mirrors and keys.
found=0
for f in /etc/apt/sources.list.d/*.sources; do
  [[ -f "$f" ]] || continue
  sed 's/^Types:.*$/Types: deb-src/' "$f" > "$work/sources.list.d/$(basename "$f")"
  found=1
done
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
  [[ -f "$f" ]] || continue
  sed -n 's/^deb \(.*\)$/deb-src \1/p' "$f" > "$work/sources.list.d/$(basename "$f")"
  found=1
done
if ((!found)); then
  echo "no apt sources on this machine to take cpp-httplib's source from" >&2
  exit 1
fi
apt_options=(-q -o "Dir::Etc::SourceList=/dev/null" -o "Dir::Etc::SourceParts=$PWD/$work/sources.list.d"
             -o "Dir::State::Lists=$PWD/$work/lists" -o "APT::Sandbox::User=root")
apt-get "${apt_options[@]}" update >/dev/null
(cd "$work/src" && apt-get "${apt_options[@]}" source --download-only "cpp-httplib=$version" >/dev/null)
# dpkg-source unpacks the upstream tarball and applies Debian's patches.
(cd "$work/src" && dpkg-source --no-check -x ./*.dsc unpacked >/dev/null)
mv "$work/src/unpacked" "$dest"
echo "$version" > "$dest/.debian-version"
rm -rf "$work"
echo "cpp-httplib $version (Debian source) in $dest"
