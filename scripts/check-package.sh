#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package in build-package (Release, no tests) and checks it
# the way Debian checks packages: lintian reports no errors, the package holds
# every installed file, its AppStream metainfo validates, and its dependencies
# come from dpkg-shlibdeps. Prints lintian's output and the package's size.
# scripts/test.sh runs it; alone it expects scripts/install-deps.sh to have run.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc 2>/dev/null || echo 2)
build=build-package
start=$(date +%s)
# Debian's hardening flags (fortified libc calls, stack protector, full
# RELRO and immediate binding), as a Debian build would pass them; without -g,
# the package is stripped anyway.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
flag() { dpkg-buildflags --get "$1" | sed -e 's/\(^\| \)-g\( \|$\)/ /' -e 's/-O2//'; }
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUILLON_SANITIZE=OFF -DQUILLON_TESTS=OFF \
  -DCMAKE_C_FLAGS="$(flag CPPFLAGS) $(flag CFLAGS)" -DCMAKE_CXX_FLAGS="$(flag CPPFLAGS) $(flag CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(flag LDFLAGS)" >/dev/null
cmake --build "$build" -j"$jobs" --target quillon quillon-cli
rm -f "$build"/quillon_*.deb
(cd "$build" && cpack -G DEB)
debs=("$build"/quillon_*.deb)
deb=${debs[0]}
fail() { echo "check-package: $*" >&2; exit 1; }

# Every file the package must carry.
contents=$(dpkg-deb --contents "$deb" | awk '{print $NF}')
for f in usr/bin/quillon usr/bin/quillon-cli \
         usr/share/applications/quillon.desktop \
         usr/share/icons/hicolor/scalable/apps/quillon.svg \
         usr/share/man/man1/quillon.1.gz usr/share/man/man1/quillon-cli.1.gz \
         usr/share/bash-completion/completions/quillon-cli \
         usr/lib/systemd/user/quillon-watch@.service \
         usr/share/metainfo/example.orrinet.quillon.metainfo.xml \
         usr/share/doc/quillon/copyright usr/share/doc/quillon/changelog.gz \
         usr/share/quillon/translations/quillon_de.qm; do
  grep -qx "\./$f" <<<"$contents" || fail "$deb lacks /$f"
done

# Dependencies found by dpkg-shlibdeps: the libraries the programs link.
depends=$(dpkg-deb --field "$deb" Depends)
names=$(sed 's/ ([^)]*)//g; s/, */\n/g' <<<"$depends")
for p in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libpng16-16 libsqlite3-0 qt6-qpa-plugins; do
  grep -qxF "$p" <<<"$names" || fail "Depends lacks $p: $depends"
done

# The metainfo as packaged, and the unit's program path as packaged.
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb --extract "$deb" "$unpacked"
appstreamcli validate --no-net --pedantic "$unpacked"/usr/share/metainfo/example.orrinet.quillon.metainfo.xml
grep -q '^ExecStart=/usr/bin/quillon-cli watch ' "$unpacked"/usr/lib/systemd/user/quillon-watch@.service ||
  fail "the unit does not start /usr/bin/quillon-cli"

# lintian: errors fail the check; warnings and infos are printed.
echo "lintian $deb:"
lintian --fail-on error --display-level ">=pedantic" "$deb" || fail "lintian reports errors"

echo "check-package: $deb: $(stat -c %s "$deb") bytes, installed size $(dpkg-deb --field "$deb" Installed-Size) KiB," \
     "built and checked in $(( $(date +%s) - start )) s"
