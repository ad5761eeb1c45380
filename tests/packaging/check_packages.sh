#!/usr/bin/env bash
# The Debian packages of a build-pkg tree (scripts/package.sh): lintian finds nothing to
# object to; each package holds exactly its files with its dependencies, its programs and
# libraries stripped, their debugging symbols in its -dbgsym package; unpacked together
# into a scratch root (dpkg -x), the installed vkt-cim enumerates every class against the
# simulated server, and a C program builds against the installed header and library
# (pkg-config, find_package) and runs.
#   check_packages.sh BUILD-DIR
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
root=$(mktemp -d /tmp/vkt-debs.XXXXXX)
trap 'rm -rf "$root"' EXIT

fail() { echo "check_packages: $*" >&2; exit 1; }

deb() {
  local found=("$build/$1"_*.deb)
  [ ${#found[@]} -eq 1 ] && [ -f "${found[0]}" ] || fail "expected one $1 package, found: ${found[*]}"
  echo "${found[0]}"
}
contents() { dpkg-deb -c "$1" | awk '$1 !~ /^d/ {print $6 ($7 == "->" ? " -> " $8 : "")}' | sed 's|^\./||' | LC_ALL=C sort; }
field() { dpkg-deb -f "$1" "$2"; }
expect_contents() {
  local actual expected
  actual=$(contents "$1" | sed "s|^\(usr/$libdir/cmake/varkolt/varkoltTargets-\).*\.cmake\$|\1CONFIG.cmake|")
  expected=$(LC_ALL=C sort <<<"$2
usr/share/doc/$(field "$1" Package)/changelog.Debian.gz
usr/share/doc/$(field "$1" Package)/copyright
usr/share/lintian/overrides/$(field "$1" Package)")
  [ "$actual" = "$expected" ] ||
    fail "$(basename "$1"): contents differ (< expected, > packaged):"$'\n'"$(diff <(echo "$expected") <(echo "$actual"))"
}

# lintian: no error or warning (overrides in debian/*.lintian-overrides say why), and none
# of the informational tags that mean unhardened or unstripped binaries, a library without
# a symbols file or documentation out of place; the other informational tags are shown.
changes=("$build"/*.changes)
[ ${#changes[@]} -eq 1 ] && [ -f "${changes[0]}" ] || fail "expected one .changes file in $build"
report=$(lintian --display-info --fail-on error,warning "${changes[0]}" 2>&1) ||
  fail "lintian:"$'\n'"$report"
report=$(grep -v '^running with root privileges' <<<"$report" || true)
grep -qE 'hardening-no-|binary-has-unneeded-section|no-symbols-control-file|documentation-outside-usr-share-doc' <<<"$report" &&
  fail "lintian:"$'\n'"$report"
[ -z "$report" ] || echo "$report"
echo "lintian: OK"

runtime=$(deb libvarkoltprovider1)
dev=$(deb libvarkoltprovider-dev)
tools=$(deb varkolt-tools)
simulator=$(deb varkolt-simulator)
version=$(field "$runtime" Version)
libdir=lib/$(dpkg-architecture -a"$(field "$runtime" Architecture)" -qDEB_HOST_MULTIARCH 2>/dev/null)
# The packages with programs or libraries have their debugging symbols beside them.
expected_debs=$(for p in libvarkoltprovider1 libvarkoltprovider-dev varkolt-tools varkolt-simulator \
                         libvarkoltprovider1-dbgsym varkolt-tools-dbgsym varkolt-simulator-dbgsym; do
                  echo "${p}_${version}_$(field "$runtime" Architecture).deb"; done | LC_ALL=C sort)
actual_debs=$(cd "$build" && ls -1 -- *.deb | LC_ALL=C sort)
[ "$actual_debs" = "$expected_debs" ] ||
  fail "packages differ (< expected, > built):"$'\n'"$(diff <(echo "$expected_debs") <(echo "$actual_debs"))"

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
usr/$libdir/cmake/varkolt/varkoltTargets-CONFIG.cmake
usr/$libdir/cmake/varkolt/varkoltTargets.cmake
usr/$libdir/libvarkoltprovider.so -> libvarkoltprovider.so.1
usr/$libdir/pkgconfig/varkolt.pc"
expect_contents "$simulator" "usr/libexec/varkolt/libvktfakebmc.so"
# Programs may be added to the tools; they all go to usr/bin, their man pages to section 1,
# and their bash completions to bash's directory.
for f in usr/bin/vkt-cim usr/bin/vktool usr/share/man/man1/vkt-cim.1.gz usr/share/man/man1/vktool.1.gz \
         usr/share/bash-completion/completions/vktool usr/share/doc/varkolt-tools/copyright; do
  contents "$tools" | grep -qx "$f" || fail "varkolt-tools lacks $f"
done
contents "$tools" | grep -v -e '^usr/bin/[^/]*$' -e '^usr/share/man/man1/[^/]*\.1\.gz$' \
  -e '^usr/share/bash-completion/completions/[^/]*$' -e '^usr/share/doc/varkolt-tools/[^/]*$' \
  -e '^usr/share/lintian/overrides/varkolt-tools$' &&
  fail "varkolt-tools holds files outside usr/bin, its man pages and bash completions"

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
# A server that installs the tools never gets the simulator's libc interposer.
for pkg in "$runtime" "$dev" "$tools"; do
  for f in Pre-Depends Depends Recommends; do
    field "$pkg" "$f" | grep -q varkolt-simulator && fail "$(basename "$pkg") pulls in varkolt-simulator ($f)"
  done
done
field "$tools" Suggests | grep -qF "varkolt-simulator (= $version)" || fail "varkolt-tools does not suggest varkolt-simulator"
dpkg-deb --ctrl-tarfile "$runtime" | tar -xO ./shlibs | grep -q '^libvarkoltprovider 1 libvarkoltprovider1 ' ||
  fail "libvarkoltprovider1 has no shlibs entry"
dpkg-deb --ctrl-tarfile "$runtime" | tar -xO ./triggers | grep -qx 'activate-noawait ldconfig' ||
  fail "libvarkoltprovider1 does not trigger ldconfig"
echo "package contents: OK"

# Unpacked together, as a server would get them; the debugging symbols apart.
for pkg in "$runtime" "$dev" "$tools" "$simulator"; do dpkg -x "$pkg" "$root"; done
for pkg in "$build"/*-dbgsym_*.deb; do dpkg -x "$pkg" "$root/dbgsym"; done
elves=$(find "$root/usr" -type f -exec sh -c 'head -c4 "$1" | grep -q "^.ELF"' _ {} \; -print)
[ "$(wc -l <<<"$elves")" = 4 ] || fail "expected the library, two programs and the simulator, found: $elves"
for f in $elves; do
  readelf -S "$f" | grep -qE '\.(debug_info|comment)' && fail "${f#"$root"/} is not stripped"
  id=$(readelf -n "$f" | awk '/Build ID/ {print $3}')
  [ -n "$id" ] && [ -f "$root/dbgsym/usr/lib/debug/.build-id/${id:0:2}/${id:2}.debug" ] ||
    fail "no debugging symbols for ${f#"$root"/} (build ID ${id:-none})"
done
echo "stripped, debugging symbols in the -dbgsym packages: OK"

# What the installed files say of themselves matches the packages.
[ "$(sed -n 's/^Version: //p' "$root/usr/$libdir/pkgconfig/varkolt.pc")" = "${version%-*}" ] ||
  fail "varkolt.pc gives version $(sed -n 's/^Version: //p' "$root/usr/$libdir/pkgconfig/varkolt.pc"), the packages $version"
for page in vktool vkt-cim; do
  text=$(zcat "$root/usr/share/man/man1/$page.1.gz")
  grep -q '/usr/libexec/varkolt' <<<"$text" || fail "$page.1 does not name /usr/libexec/varkolt"
  grep -nE '\$\{[a-z]+\}|@[A-Z_]+@' <<<"$text" && fail "$page.1 holds a placeholder"
done
echo "versions and man pages: OK"
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
