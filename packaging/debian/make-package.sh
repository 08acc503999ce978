#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Makes the Debian package BUILD/vela_VERSION-1_ARCH.deb from what `cmake --install` puts below
# /usr, and checks it with lintian: the build fails on any error or warning lintian does not
# find explained in lintian-overrides. Depends is what dpkg-shlibdeps finds the binaries need.
#
# packaging/debian/make-package.sh BUILD VERSION
set -euo pipefail
build=$(realpath "$1")
here=$(dirname "$(realpath "$0")")
version=$2-1
changelog_version=$(dpkg-parsechangelog -l "$here/changelog" -S Version)
if [ "$changelog_version" != "$version" ]; then
    echo "packaging/debian/changelog's latest entry is $changelog_version, the project's version $version: add an entry" >&2
    exit 1
fi
architecture=$(dpkg --print-architecture)
package=$build/vela_${version}_$architecture.deb
rm -f "$build"/vela_*.deb
# The tree is staged where dpkg-shlibdeps looks for a package's files, beside the debian/control
# it reads the package's name from.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/debian"
printf 'Source: vela\n\nPackage: vela\nArchitecture: any\n' >"$scratch/debian/control"
stage=$scratch/debian/vela
umask 022

DESTDIR=$stage cmake --install "$build" --prefix /usr >/dev/null
# Stripped as Debian's own packages are: the modules keep their dynamic symbols only, the tool
# loses its symbol table; neither keeps the compiler's notes. Modules are loaded, not run.
modules=$(find "$stage/usr/lib" -name '*.so')
# shellcheck disable=SC2086 # one word per module
strip --remove-section=.comment --remove-section=.note --strip-unneeded $modules
strip --remove-section=.comment --remove-section=.note "$stage/usr/bin/vela-host"
# shellcheck disable=SC2086
chmod 0644 $modules
gzip -9n "$stage/usr/share/man/man1/vela-host.1"
doc=$stage/usr/share/doc/vela
mkdir -p "$doc" "$stage/usr/share/lintian/overrides"
{ cat "$here/copyright.in" && sed -n '/^Permission/,$p' "$here/../../LICENSE" | sed 's/^$/./; s/^/ /'; } >"$doc/copyright"
gzip -9n <"$here/changelog" >"$doc/changelog.Debian.gz"
cp "$here/lintian-overrides" "$stage/usr/share/lintian/overrides/vela"

# dpkg-shlibdeps knows the package's folder by its DEBIAN.
mkdir "$stage/DEBIAN"
# shellcheck disable=SC2086
depends=$(cd "$scratch" && dpkg-shlibdeps -O debian/vela/usr/bin/vela-host ${modules//$scratch\//} | sed -n 's/^shlibs:Depends=//p')

(cd "$stage" && find usr -type f -print0 | sort -z | xargs -0 md5sum) >"$stage/DEBIAN/md5sums"
sed -e "s/@VERSION@/$version/" -e "s/@ARCHITECTURE@/$architecture/" -e "s/@DEPENDS@/$depends/" \
    -e "s/@INSTALLED_SIZE@/$(du -sk --exclude=DEBIAN "$stage" | cut -f1)/" "$here/control.in" >"$stage/DEBIAN/control"
dpkg-deb --root-owner-group -Zxz --build "$stage" "$package"
lintian --fail-on error,warning --info "$package"
echo "$package: lintian found no error or warning"
