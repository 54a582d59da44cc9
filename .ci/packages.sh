#!/usr/bin/env bash
# Continuous integration of the Debian package: makes it with CPack from the
# Linux build, checks its control fields and files, converts the example
# pair with the program unpacked from it, and runs lintian, which must find
# no error. Installs dpkg-dev, file (for dpkg-shlibdeps) and lintian when
# they are missing.
#   QUADREL_BUILD_DIR   the Linux build, the README's (default: build);
#                       built here when it is not there yet
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
fail() {
  echo "packages.sh: $*" >&2
  exit 1
}

missing=()
command -v dpkg-shlibdeps >/dev/null || missing+=(dpkg-dev)
command -v file >/dev/null || missing+=(file)
command -v lintian >/dev/null || missing+=(lintian)
scripts/install-packages.sh ${missing[@]+"${missing[@]}"}

build=$(realpath -m "${QUADREL_BUILD_DIR:-build}")
QUADREL_BUILD_DIR="$build" scripts/build.sh
version=$("$build/quadrel" --version | tr -d '\r')
version=${version#quadrel }
arch=$(dpkg --print-architecture)
deb=$build/quadrel_${version}_$arch.deb
rm -f "$deb"
(cd "$build" && cpack -G DEB)
[ -f "$deb" ] || fail "cpack made no $deb"

# The texts that name the version by hand follow it.
grep -q "^## \[$version\] - " CHANGELOG.md || fail "CHANGELOG.md has no section for $version"
grep -q "sudo apt install ./$(basename "$deb")\$" README.md || fail "README.md does not install $(basename "$deb")"

echo "== dpkg-deb -I $(basename "$deb")"
dpkg-deb -I "$deb"
expect_field() {
  [ "$(dpkg-deb -f "$deb" "$1")" = "$2" ] || fail "field $1 is '$(dpkg-deb -f "$deb" "$1")', not '$2'"
}
expect_field Package quadrel
expect_field Version "$version"
expect_field Architecture "$arch"
expect_field Section sound
[[ "$(dpkg-deb -f "$deb" Depends)" == *libc6* ]] || fail "Depends does not come from dpkg-shlibdeps"
[[ "$(dpkg-deb -f "$deb" Maintainer)" == *@* ]] || fail "no Maintainer address"
[ "$(dpkg-deb -f "$deb" Description | wc -l)" -ge 3 ] || fail "no long description"

contents=$(dpkg-deb -c "$deb" | awk '{ print $6 }')
for path in ./usr/bin/quadrel ./usr/share/man/man1/quadrel.1.gz ./usr/share/doc/quadrel/copyright \
  ./usr/share/doc/quadrel/changelog.gz; do
  grep -qx "$path" <<<"$contents" || fail "the package lacks $path"
done

echo "== the example pair, program unpacked from the package"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work/root"
zcat "$work/root/usr/share/man/man1/quadrel.1.gz" | cmp - doc/quadrel.1
zcat "$work/root/usr/share/doc/quadrel/changelog.gz" | head -1 | grep -q "^quadrel ($version) " ||
  fail "the changelog does not begin with version $version"
for program in built unpacked; do
  mkdir "$work/$program"
  cp examples/wx.wav examples/yz.wav "$work/$program/"
  command=$build/quadrel
  [ "$program" = unpacked ] && command=$work/root/usr/bin/quadrel
  (cd "$work/$program" && "$command" wx.wav yz.wav wxyz.wav >stdout 2>stderr)
done
for file in stdout stderr wxyz.wav; do
  cmp "$work/built/$file" "$work/unpacked/$file"
done
echo "same bytes as the built program: console output, error output and wxyz.wav"

echo "== lintian"
lintian --display-info --fail-on error "$deb"

echo "== Debian package CI took $((SECONDS - started)) s"
