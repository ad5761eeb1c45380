#!/usr/bin/env bash
# Makes sure the Debian packages the build needs are present. As root, missing packages
# are installed; otherwise the missing ones are listed and the script fails.
#   scripts/deps.sh [build|test|ci]
#     build: compiler, CMake, Ninja
#     test:  + GoogleTest/GoogleMock
#     ci:    + 32-bit toolchain, OpenIPMI's simulator, ipmitool, FreeIPMI
set -euo pipefail

level=${1:-test}
packages=(g++ cmake ninja-build binutils)
case "$level" in
  build) ;;
  test) packages+=(libgtest-dev libgmock-dev googletest) ;;
  ci) packages+=(libgtest-dev libgmock-dev googletest g++-multilib openipmi ipmitool freeipmi-tools) ;;
  *) echo "usage: $0 [build|test|ci]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing Debian packages: ${missing[*]}" >&2
  echo "Install them with: sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
