#!/usr/bin/env bash
# `cmake --install` of a build tree: exactly the files of the install layout, the
# simulated server only in its own component, and the installed tools and the installed
# header, library and pkg-config/CMake files usable from where they were installed.
#   check_install.sh BUILD-DIR LIBDIR    (CC and CFLAGS: the build's C compiler and flags)
set -euo pipefail
build=$1 libdir=$2
here=$(cd "$(dirname "$0")" && pwd)
root=$(mktemp -d /tmp/vkt-install.XXXXXX)
trap 'rm -rf "$root"' EXIT
prefix=$root/usr

fail() { echo "check_install: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
listing() { (cd "$prefix" && find . \( -type f -o -type l \) | sed 's|^\./||' | LC_ALL=C sort); }

# Programs of tools/ may be added beside vkt-cim; everything else is fixed.
expected=$(LC_ALL=C sort <<EOF2
include/varkolt/bmc.h
$libdir/cmake/varkolt/varkoltConfig.cmake
$libdir/cmake/varkolt/varkoltConfigVersion.cmake
$libdir/cmake/varkolt/varkoltTargets-CONFIG.cmake
$libdir/cmake/varkolt/varkoltTargets.cmake
$libdir/cmpi/libvarkoltprovider.so
$libdir/libvarkoltprovider.so
$libdir/libvarkoltprovider.so.1
$libdir/libvarkoltprovider.so.1.0.0
$libdir/pkgconfig/varkolt.pc
share/bash-completion/completions/vktool
share/man/man1/vkt-cim.1
share/man/man1/vktool.1
share/varkolt/README
share/varkolt/varkolt-actions-pegasus.mof
share/varkolt/varkolt-actions.mof
share/varkolt/varkolt-actions.reg
share/varkolt/varkolt-pegasus.mof
share/varkolt/varkolt-qualifiers.mof
share/varkolt/varkolt.mof
share/varkolt/varkolt.reg
EOF2
)
actual=$(listing | grep -v '^bin/' | sed "s|^\($libdir/cmake/varkolt/varkoltTargets-\).*\.cmake\$|\1CONFIG.cmake|" | LC_ALL=C sort)
[ "$actual" = "$expected" ] || fail "installed files differ (< expected, > installed):"$'\n'"$(diff <(echo "$expected") <(echo "$actual"))"
listing | grep -qx 'bin/vkt-cim' || fail "bin/vkt-cim not installed"
listing | grep -qx 'bin/vktool' || fail "bin/vktool not installed"
listing | grep -q libvktfakebmc && fail "the simulated server was installed by default"

# The man pages name where this build puts the simulated server.
simdir=$(sed -n 's/^CMAKE_INSTALL_LIBEXECDIR:PATH=//p' "$build/CMakeCache.txt")/varkolt
[ "${simdir:0:1}" = / ] || simdir=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")/$simdir
for page in vktool vkt-cim; do
  grep -qF "$simdir" "$prefix/share/man/man1/$page.1" || fail "$page.1 does not name $simdir"
  grep -nE '\$\{[a-z]+\}|@[A-Z_]+@' "$prefix/share/man/man1/$page.1" && fail "$page.1 holds a placeholder"
done

# The provider-directory link and the soname.
[ "$(readlink -f "$prefix/$libdir/cmpi/libvarkoltprovider.so")" = "$(readlink -f "$prefix/$libdir/libvarkoltprovider.so.1.0.0")" ] ||
  fail "$libdir/cmpi/libvarkoltprovider.so does not lead to the library"
readelf -d "$prefix/$libdir/libvarkoltprovider.so.1.0.0" | grep -q 'SONAME.*\[libvarkoltprovider\.so\.1\]' ||
  fail "wrong soname"

# Without the simulator, --simulate refuses instead of reaching a real BMC.
out=$(env -u VKT_FAKEBMC_LIB "$prefix/bin/vkt-cim" --simulate enumerate VKT_OPEN_LED 2>&1) && fail "--simulate ran without the simulator: $out"
grep -q 'varkolt-simulator' <<<"$out" || fail "unexpected refusal: $out"
out=$(env -u VKT_FAKEBMC_LIB "$prefix/bin/vktool" --simulate user delete 2 2>&1) && fail "vktool --simulate ran without the simulator: $out"
grep -q 'varkolt-simulator' <<<"$out" || fail "unexpected refusal of vktool: $out"

cmake --install "$build" --prefix "$prefix" --component simulator >/dev/null
simulator=$prefix/libexec/varkolt/libvktfakebmc.so
[ "$(listing | grep -c libvktfakebmc)" = 1 ] && [ -f "$simulator" ] || fail "simulator component: $(listing | grep libvktfakebmc)"
out=$(env -u VKT_PROVIDER_LIB -u VKT_FAKEBMC_LIB "$prefix/bin/vkt-cim" --simulate enumerate VKT_OPEN_LED 2>&1) ||
  fail "installed vkt-cim --simulate failed: $out"
[ "$out" = $'varkolt/cimv2:VKT_OPEN_LED\n    VKT_Result = "True"' ] || fail "installed vkt-cim printed: $out"
out=$(env -u VKT_PROVIDER_LIB -u VKT_FAKEBMC_LIB "$prefix/bin/vktool" --simulate user levels 2>&1) ||
  fail "installed vktool --simulate failed: $out"
grep -qx 'Administrator level : 4' <<<"$out" || fail "installed vktool printed: $out"

"$here/check_consumer.sh" "$prefix" "$libdir" "$simulator"
echo "install layout: OK"
