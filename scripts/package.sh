#!/usr/bin/env bash
# Builds the Debian packages of debian/ (library with MOF and registrations, -dev, tools,
# simulated server, and their -dbgsym packages) with dpkg-buildpackage; no tests.
#   scripts/package.sh [build-dir] [extra cmake options...]
# dpkg-buildpackage builds in a copy of the sources, build-dir/source (build-dir defaults to
# build-pkg), and writes the .deb, .buildinfo and .changes files into its parent directory,
# build-dir itself: the checkout and the directories beside it are left as they are.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-pkg}
shift || true
scripts/deps.sh package

mkdir -p "$build"
build=$(cd "$build" && pwd)
top=$(pwd)
case "$top/" in
  "$build"/*) echo "package.sh: $build holds the sources; name a directory for the build" >&2; exit 2 ;;
esac
rm -rf "$build/source"
rm -f "$build"/*.deb "$build"/*.changes "$build"/*.buildinfo "$build/dpkg-buildpackage.log"
mkdir "$build/source"

# Everything but version control and build trees: CMake trees wherever they are, the
# build* and .cache directories at the top (.gitignore), and build-dir when it lies inside.
excludes=(--exclude-vcs --exclude-tag-all=CMakeCache.txt --anchored --exclude=./build\* --exclude=./.cache)
case "$build/" in
  "$top"/*) excludes+=("--exclude=./${build#"$top"/}") ;;
esac
tar -C "$top" -cf - "${excludes[@]}" . | tar -C "$build/source" -xf -
[ -x "$build/source/debian/rules" ] ||
  { echo "package.sh: copying the sources to $build/source failed (a CMake build at the top?)" >&2; exit 1; }

# The cmake options reach debian/rules through the environment.
(cd "$build/source" && VKT_CMAKE_OPTIONS="$*" dpkg-buildpackage -us -uc -b) \
  >"$build/dpkg-buildpackage.log" 2>&1 || {
  tail -n 20 "$build/dpkg-buildpackage.log" >&2
  echo "package.sh: dpkg-buildpackage failed; its whole output is in $build/dpkg-buildpackage.log" >&2
  exit 1
}
ls -1 "$build"/*.deb
