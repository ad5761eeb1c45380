#!/usr/bin/env bash
# The Debian packages of a build-pkg tree (scripts/package.sh): each holds exactly its files
# with its dependencies; unpacked together into a scratch root (dpkg -x), the installed
# vkt-cim enumerates every class against the simulated server, and a C program builds
# against the installed header and library (pkg-config, find_package) and runs.
#   check_packages.sh BUILD-DIR
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
root=$(mktemp -d /tmp/vkt-debs.XXXXXX)
trap 'rm -rf "$root"' EXIT

fail() { echo "check_packages: $*" >&2; exit 1; }
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build/CMakeCache.txt")
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")-1
[ -n "$libdir" ] && [ "$version" != -1 ] || fail "$build is not a configured build tree"

deb() {
  local found=("$build/$1"_*.deb)
  [ ${#found[@]} -eq 1 ] && [ -f "${found[0]}" ] || fail "expected one $1 package, found: ${found[*]}"
  echo "${found[0]}"
}
contents() { dpkg-deb -c "$1" | awk '$1 !~ /^d/ {print $6 ($7 == "->" ? " -> " $8 : "")}' | sed 's|^\./||' | LC_ALL=C sort; }
field() { dpkg-deb -f "$1" "$2"; }
expect_contents() {
  local actual
  actual=$(contents "$1")
  [ "$actual" = "$(LC_ALL=C sort <<<"$2")" ] ||
    fail "$(basename "$1"): contents differ (< expected, > packaged):"$'\n'"$(diff <(LC_ALL=C sort <<<"$2") <(echo "$actual"))"
}

runtime=$(deb libvarkoltprovider1)
dev=$(deb libvarkoltprovider-dev)
tools=$(deb varkolt-tools)
simulator=$(deb varkolt-simulator)
[ "$(find "$build" -maxdepth 1 -name '*.deb' | wc -l)" = 4 ] || fail "unexpected packages: $(ls "$build"/*.deb)"

expect_contents "$runtime" "usr/$libdir/cmpi/libvarkoltprovider.so -> ../libvarkoltprovider.so.1
usr/$libdir/libvarkoltprovider.so.1 -> libvarkoltprovider.so.1.0.0
usr/$libdir/libvarkoltprovider.so.1.0.0
usr/share/varkolt/README
usr/share/varkolt/varkolt-actions-pegasus.mof
usr/share/varkolt/varkolt-actions.mof
usr/share/varkolt/varkolt-actions.reg
usr/share/varkolt/varkolt-pegasus.mof
usr/share/varkolt/varkolt-qualifiers.mof
usr/share/varkolt/varkolt.mof
usr/share/varkolt/varkolt.reg"
expect_contents "$dev" "usr/include/varkolt/bmc.h
usr/$libdir/cmake/varkolt/varkoltConfig.cmake
usr/$libdir/cmake/varkolt/varkoltConfigVersion.cmake
usr/$libdir/cmake/varkolt/varkoltTargets-relwithdebinfo.cmake
usr/$libdir/cmake/varkolt/varkoltTargets.cmake
usr/$libdir/libvarkoltprovider.so -> libvarkoltprovider.so.1
usr/$libdir/pkgconfig/varkolt.pc"
expect_contents "$simulator" "usr/libexec/varkolt/libvktfakebmc.so"
# Programs may be added to the tools; they all go to usr/bin, their man pages to section 1.
for f in usr/bin/vkt-cim usr/bin/vktool usr/share/man/man1/vkt-cim.1 usr/share/man/man1/vktool.1; do
  contents "$tools" | grep -qx "$f" || fail "varkolt-tools lacks $f"
done
contents "$tools" | grep -v -e '^usr/bin/[^/]*$' -e '^usr/share/man/man1/[^/]*\.1$' &&
  fail "varkolt-tools holds files outside usr/bin and its man pages"

# Dependencies: the C and C++ runtimes from dpkg-shlibdeps; our own packages on exactly this
# library version; a short description each.
for pkg in "$runtime" "$tools" "$simulator"; do
  field "$pkg" Depends | grep -q 'libc6 (>=' || fail "$(basename "$pkg"): no libc6 dependency: $(field "$pkg" Depends)"
  field "$pkg" Depends | grep -q 'libstdc++6 (>=' || fail "$(basename "$pkg"): no libstdc++6 dependency"
done
for pkg in "$dev" "$tools"; do
  field "$pkg" Depends | grep -qF "libvarkoltprovider1 (= $version)" ||
    fail "$(basename "$pkg") does not depend on libvarkoltprovider1 (= $version): $(field "$pkg" Depends)"
done
for pkg in "$runtime" "$dev" "$tools" "$simulator"; do
  [ "$(field "$pkg" Description | head -1 | wc -w)" -ge 3 ] || fail "$(basename "$pkg"): no description"
done
dpkg-deb --ctrl-tarfile "$runtime" | tar -xO ./shlibs | grep -q '^libvarkoltprovider 1 libvarkoltprovider1 ' ||
  fail "libvarkoltprovider1 has no shlibs entry"
echo "package contents: OK"

# Unpacked together, as a server would get them.
for pkg in "$runtime" "$dev" "$tools" "$simulator"; do dpkg -x "$pkg" "$root"; done
out=$(env -u VKT_PROVIDER_LIB -u VKT_FAKEBMC_LIB "$root/usr/bin/vkt-cim" --simulate enumerate --all 2>/dev/null) ||
  fail "installed vkt-cim --simulate enumerate --all failed"
classes=$(grep -oE '^(varkolt/cimv2:|# )VKT_[A-Za-z0-9_]+' <<<"$out" | sed 's/^.*VKT_/VKT_/' | sort -u | wc -l)
[ "$classes" = 24 ] || fail "installed vkt-cim enumerated $classes classes"
grep -q '^varkolt/cimv2:VKT_LAN.deviceID="LAN"$' <<<"$out" || fail "no VKT_LAN instance from the simulated server"
echo "installed vkt-cim --simulate enumerate --all: OK ($classes classes)"
out=$(env -u VKT_PROVIDER_LIB -u VKT_FAKEBMC_LIB "$root/usr/bin/vktool" --simulate user list 2>/dev/null) ||
  fail "installed vktool --simulate user list failed"
grep -q '^      2 | ADMIN ' <<<"$out" || fail "installed vktool listed: $out"
echo "installed vktool --simulate user list: OK"
"$here/check_consumer.sh" "$root/usr" "$libdir" "$root/usr/libexec/varkolt/libvktfakebmc.so"
