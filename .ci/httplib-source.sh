#!/usr/bin/env bash
# Debian's source of cpp-httplib, for the Windows cross build's --serve.
#
# Debian's libcpp-httplib-dev is built for Linux: its httplib.h declares the
# library and its compiled part is a Linux shared library. The MinGW-w64
# build needs the library's single header, which Debian's source package of
# the same version carries (with Debian's patches applied). This fetches it
# with apt from Debian's own source list (kept in the folder, so the
# machine's apt configuration is left as it is) and unpacks it into
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
. /etc/os-release
cat > "$work/sources.list.d/debian-src.sources" <<SOURCES
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: ${VERSION_CODENAME} ${VERSION_CODENAME}-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: ${VERSION_CODENAME}-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
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
