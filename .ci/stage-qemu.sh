#!/usr/bin/env bash
# The library against the kernel's real IPMI driver: boots Debian's kernel in QEMU (TCG, no
# KVM) with QEMU's simulated BMC on a KCS interface at CA2h, from a busybox initramfs that
# holds the built library, vkt-cim, vktool and ipmitool, and runs .ci/qemu-guest.sh there:
# no IPMI module, then ipmi_si, then ipmi_si and ipmi_devintf. The guest's summary lines
# decide the stage; its whole log (with /proc/ioports of each mode) stays in BUILD/qemu/.
#   .ci/stage-qemu.sh [BUILD]     BUILD: the build directory (default build)
set -euo pipefail
cd "$(dirname "$0")/.."

# The guest's kernel: Debian 12's linux-image-$kernel_abi-amd64. When the archive no longer
# has it, `apt-cache depends linux-image-amd64` names the current one.
kernel_abi=6.1.0-50

echo "== the kernel's IPMI driver, in a QEMU guest =="
started=$(date +%s)
if [ "$(id -u)" -ne 0 ]; then
  echo "stage-qemu: skipped: it installs Debian packages and needs root"
  exit 0
fi
build=$(realpath "${1:-build}")
for f in bin/vkt-cim bin/vktool lib/libvarkoltprovider.so.1; do
  [ -e "$build/$f" ] || { echo "stage-qemu: $build/$f is missing: build first" >&2; exit 1; }
done
scripts/deps.sh qemu

work=$build/qemu
mkdir -p "$work"
# A point release retires the pinned kernel from the archive; the stage then takes the one
# linux-image-amd64 depends on, and says so, rather than fail a submission that changed nothing.
if ! apt-cache show "linux-image-$kernel_abi-amd64" >/dev/null 2>&1; then
  current=$(apt-cache depends linux-image-amd64 2>/dev/null \
    | sed -n 's/^ *Depends: linux-image-\(.*\)-amd64$/\1/p' | head -n 1)
  if [ -n "$current" ]; then
    echo "stage-qemu: linux-image-$kernel_abi-amd64 is no longer in the archive; using $current" \
      "(update kernel_abi in $0)"
    kernel_abi=$current
  fi
fi
kernel_pkg=linux-image-$kernel_abi-amd64
kernel=$work/kernel-$kernel_abi
if [ ! -e "$kernel/vmlinuz" ]; then
  rm -rf "$kernel" "$work"/linux-image-*.deb
  if ! (cd "$work" && apt-get download "$kernel_pkg") >"$work/download.log" 2>&1; then
    cat "$work/download.log" >&2
    echo "stage-qemu: cannot download $kernel_pkg; set kernel_abi in $0 to the one" \
      "\`apt-cache depends linux-image-amd64\` names" >&2
    exit 1
  fi
  mkdir -p "$kernel/unpacked"
  dpkg-deb -x "$work"/"$kernel_pkg"_*.deb "$kernel/unpacked"
  mv "$kernel/unpacked/boot/vmlinuz-$kernel_abi-amd64" "$kernel/vmlinuz"
  mv "$kernel/unpacked/lib/modules/$kernel_abi-amd64/kernel/drivers/char/ipmi" "$kernel/ipmi"
  rm -rf "$kernel/unpacked" "$work"/"$kernel_pkg"_*.deb
fi

# ---- the initramfs --------------------------------------------------------------------
root=$work/initramfs
rm -rf "$root"
mkdir -p "$root"/{bin,usr/bin,opt/vkt/bin,opt/vkt/lib,modules,proc,sys,dev,tmp}
cp /bin/busybox "$root/bin/busybox"
ln -s busybox "$root/bin/sh"
cp .ci/qemu-guest.sh "$root/init"
chmod 755 "$root/init"
cp "$build/bin/vkt-cim" "$build/bin/vktool" "$root/opt/vkt/bin/"
cp -L "$build/lib/libvarkoltprovider.so.1" "$root/opt/vkt/lib/"
cp "$(command -v ipmitool)" "$root/usr/bin/"
for m in ipmi_msghandler ipmi_si ipmi_devintf; do cp "$kernel/ipmi/$m.ko" "$root/modules/"; done
# The shared libraries the programs load, at the paths the host's loader found them.
for program in "$build/bin/vkt-cim" "$build/bin/vktool" "$build/lib/libvarkoltprovider.so.1" \
  "$(command -v ipmitool)"; do
  ldd "$program" | awk '$2 == "=>" && $3 ~ /^\// {print $3} $1 ~ /^\// {print $1}'
done | sort -u | grep -v '/libvarkoltprovider\.so' | while read -r lib; do
  mkdir -p "$root$(dirname "$lib")"
  cp -L "$lib" "$root$lib"
done
(cd "$root" && find . | busybox cpio -o -H newc 2>/dev/null) >"$work/initramfs.cpio"

# ---- one boot ---------------------------------------------------------------------------
log=$work/guest.log
rm -f "$log" "$work/console.log"
status=0
# The BMC gets an identity of its own (QEMU's is mostly zeros), so that comparing Get Device
# ID field by field with ipmitool shows something.
timeout 300 qemu-system-x86_64 -accel tcg -m 512 -smp 1 -nodefaults -display none -no-reboot \
  -kernel "$kernel/vmlinuz" -initrd "$work/initramfs.cpio" \
  -append "console=ttyS0 panic=-1 quiet" \
  -serial "file:$work/console.log" -serial "file:$log" \
  -device ipmi-bmc-sim,id=bmc0,device_rev=3,fwrev1=1,fwrev2=0x23,mfg_id=0x2a7c,product_id=0x1234 \
  -device isa-ipmi-kcs,bmc=bmc0,ioport=0xca2 || status=$?
touch "$log"
sed -i 's/\r$//' "$log"  # the guest's serial line ends its lines with CR LF

echo "== what the kernel shows in /proc/ioports around the KCS ports"
grep -E '^(== /proc/ioports|  > .*(0ca[0-9a-f]-|IPI0001|ipmi))' "$log" || true
grep -E '^qemu: mode' "$log" || true
passed=$(grep -cE '^qemu: mode [123] .*: PASS$' "$log" || true)
seconds=$(($(date +%s) - started))
if [ "$passed" -ne 3 ] || ! grep -qx 'qemu: done' "$log"; then
  [ "$status" -eq 124 ] && echo "stage-qemu: the guest did not power off within 300 s" >&2
  echo "stage-qemu: FAIL after $seconds s (guest log $log, console $work/console.log)" >&2
  tail -n 20 "$work/console.log" >&2
  exit 1
fi
echo "stage-qemu: PASS in $seconds s (guest log $log)"
