#!/usr/bin/env bash
# A bare machine runs the README's two commands. A minimal Debian 12 root (debootstrap
# --variant=minbase, plus git) from the mirror apt already uses gets this checkout's HEAD
# as a clone at /root/NAME (NAME: the checkout's directory name), the file systems a
# running machine has (/proc, /sys, /dev with /dev/pts, a tmpfs /run), and then, as root
# inside it, `scripts/demo.sh` and `scripts/test.sh`, exactly as the README writes them.
# Both must pass. Everything is unmounted on any exit; the root stays, with the build the
# two commands made, for a look or for later stages (its path is printed at the end).
#   .ci/stage-bare.sh [ROOT]      ROOT defaults to /tmp/vkt-bare-root (replaced)
set -euo pipefail
cd "$(dirname "$0")/.."
src=$(pwd)
name=$(basename "$src")
root=${1:-/tmp/vkt-bare-root}
suite=bookworm

fail() { echo "stage-bare: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || fail "needs root (debootstrap, chroot, mount)"
command -v debootstrap >/dev/null || fail "debootstrap is not installed (scripts/deps.sh ci)"
case "$root" in /tmp/?*|"$src"/build?*) ;; *) fail "ROOT must lie under /tmp or $src/build*: $root" ;; esac

# The Debian mirror apt uses here: the first URI of a deb source for the suite itself (not
# its -updates or -security), in deb822 or one-line form.
mirror() {
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk -v suite="$suite" '
      BEGIN { RS = ""; FS = "\n" }
      {
        deb = 0; uri = ""; ok = 0
        for (i = 1; i <= NF; i++) {
          if ($i ~ /^Types:/ && $i ~ /[[:space:]]deb([[:space:]]|$)/) deb = 1
          if ($i ~ /^URIs:/) { split($i, w, /[[:space:]]+/); uri = w[2] }
          if ($i ~ /^Suites:/) { n = split($i, w, /[[:space:]]+/); for (j = 2; j <= n; j++) if (w[j] == suite) ok = 1 }
        }
        if (deb && ok && uri != "") { print uri; exit }
      }' "$f"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    awk -v suite="$suite" '$1 == "deb" { u = ($2 ~ /^\[/) ? 3 : 2; for (k = u; k <= NF; k++) if ($k ~ /:\/\//) break;
                           if ($(k + 1) == suite) { print $k; exit } }' "$f"
  done
}
url=$(mirror | head -n1)
[ -n "$url" ] || fail "no Debian mirror for $suite in /etc/apt/sources.list or /etc/apt/sources.list.d"

mounted() { awk -v r="$root" '$2 == r || index($2, r "/") == 1 { print $2 }' /proc/self/mounts; }
unmount_all() {
  local m
  # Deepest first; a file system still busy is detached lazily so none is left behind.
  for m in $(mounted | sort -r); do umount "$m" 2>/dev/null || umount -l "$m" || true; done
}
trap unmount_all EXIT

[ -z "$(mounted)" ] || unmount_all
[ -z "$(mounted)" ] || fail "file systems are still mounted below $root"
rm -rf "$root"
mkdir -p "$root"

seconds() { date +%s; }
took() { echo "-- $1: $(( $(seconds) - $2 )) s"; }
stage_start=$(seconds)

t=$(seconds)
log=$root.debootstrap.log
echo "debootstrap $suite from $url into $root"
debootstrap --variant=minbase --include=git "$suite" "$root" "$url" >"$log" 2>&1 ||
  { tail -n 40 "$log" >&2; fail "debootstrap failed (log: $log)"; }
took debootstrap "$t"

# The submitted HEAD, as the branch main of a fresh clone.
dest=$root/root/$name
git init -q "$dest"
git -C "$dest" fetch -q "$src" HEAD
git -C "$dest" checkout -q -b main FETCH_HEAD
echo "cloned $(git -C "$dest" rev-parse --short HEAD) to /root/$name"

cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc"
mount -t sysfs sysfs "$root/sys"
mount --rbind /dev "$root/dev"
mount --make-rslave "$root/dev"
[ -e "$root/dev/pts/ptmx" ] || mount -t devpts devpts "$root/dev/pts"
mount -t tmpfs -o mode=0755,nosuid,nodev tmpfs "$root/run"
mkdir -m 1777 "$root/run/lock"

inside() {
  chroot "$root" /usr/bin/env -i HOME=/root TERM=dumb LANG=C.UTF-8 \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    /bin/bash -c "cd /root/$name && $1"
}
# Each line of output with the second it appeared, to tell the phases apart afterwards.
stamp() { while IFS= read -r line; do printf '%(%s)T %s\n' -1 "$line"; done; }
# The second of the first line of log $1 that matches $2.
second_of() { awk -v re="$2" '{ t = $1; sub(/^[0-9]+ /, "") } $0 ~ re { print t; exit }' "$1"; }
run_command() {
  local log=$root.$1.log
  echo "== bare machine: scripts/$1.sh =="
  start=$(seconds)
  if ! inside "scripts/$1.sh" 2>&1 | stamp >"$log"; then
    tail -n 80 "$log" >&2
    fail "scripts/$1.sh failed (log: $log)"
  fi
  end=$(seconds)
}

run_command demo
build_start=$(second_of "$root.demo.log" '^\[1/')
echo "instances enumerated: $(grep -cE '^[0-9]+ varkolt/cimv2:' "$root.demo.log")"
echo "-- dependencies (scripts/deps.sh test on the bare root): $(( ${build_start:-$end} - start )) s"
echo "-- library, simulator and demo tool built, every class enumerated: $(( end - ${build_start:-$end} )) s"

run_command test
tests_start=$(second_of "$root.test.log" '^Test project')
grep -E 'tests passed|tests failed' "$root.test.log" | sed 's/^[0-9]* //'
echo "-- the rest of the build: $(( ${tests_start:-$end} - start )) s"
echo "-- the whole suite: $(( end - ${tests_start:-$end} )) s"

echo "bare machine's build directory: $dest/build (/root/$name/build inside the root)"
took "bare machine stage" "$stage_start"
