#!/bin/sh
# /init of the guest that .ci/stage-qemu.sh boots: QEMU's BMC on a KCS interface at CA2h,
# Debian's kernel with its IPMI modules beside it, not loaded. Runs the library three ways
# in one boot, loading more of the kernel's IPMI driver each time:
#   1. no IPMI module: the library drives the KCS ports itself;
#   2. ipmi_si without ipmi_devintf: the library leaves the ports to the kernel's driver;
#   3. ipmi_si and ipmi_devintf: the library uses the device node, as ipmitool does.
# Everything it sees goes to the second serial port (the host's guest.log): the port list
# of each mode, each command's output, and one line per mode, "qemu: mode N (...): PASS"
# or "... FAIL: what differed". Then the machine powers off.
/bin/busybox --install -s /bin
export PATH=/bin:/usr/bin:/opt/vkt/bin LD_LIBRARY_PATH=/opt/vkt/lib
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mkdir -p /run /tmp
exec 3>/dev/ttyS1

say() { echo "$*" >&3; }

# run NAME COMMAND...: output in /tmp/NAME.out and /tmp/NAME.err, status in /tmp/NAME.rc;
# all three also go to the log. Standard input is no terminal, so a command that would ask
# for a confirmation refuses at once instead of waiting on the console.
run() {
  name=$1
  shift
  "$@" </dev/null >"/tmp/$name.out" 2>"/tmp/$name.err"
  echo $? >"/tmp/$name.rc"
  say "\$ $* (exit status $(cat "/tmp/$name.rc"))"
  sed 's/^/  | /' "/tmp/$name.out" >&3
  sed 's/^/  ! /' "/tmp/$name.err" >&3
}

problems=
differs() { problems="$problems; $*"; }
expect_status() { [ "$(cat "/tmp/$1.rc")" = "$2" ] || differs "$1 exited with $(cat "/tmp/$1.rc"), not $2"; }
expect_quiet() { [ ! -s "/tmp/$1.err" ] || differs "$1 wrote to standard error: $(head -n 1 "/tmp/$1.err")"; }
# The value after "NAME :" in a "name : value" listing (spaces around the colon dropped).
field() { sed -n "s/^$2 *: *//p" "/tmp/$1.out" | head -n 1 | sed 's/ *$//'; }
# The hexadecimal bytes of a raw answer, upper case, one space apart.
bytes() { tr 'a-f' 'A-F' <"/tmp/$1.out" | tr -s ' \n' '  ' | sed 's/^ //; s/ $//'; }
summary() {
  if [ -z "$problems" ]; then say "qemu: mode $1: PASS"; else say "qemu: mode $1: FAIL:${problems#;}"; fi
  problems=
}
ports() {
  say "== /proc/ioports, $1"
  sed 's/^/  > /' /proc/ioports >&3
}

# The library's view of the BMC: Get Device ID, the event log's summary, the sensors, once
# through the exported routines (vktool) and once through the providers (vkt-cim). A raw
# request may change anything, so vktool sends one only when confirmed.
library() {
  run "$1-devid" vktool --yes raw send 06 01
  run "$1-firmware" vktool bmc firmware
  run "$1-sel" vktool sel info
  run "$1-sensors" vktool sensor list
  run "$1-cim-sel" vkt-cim enumerate VKT_SELInfo
  run "$1-cim-sensors" vkt-cim enumerate VKT_Sensors
}

# ---- 1. no IPMI module -------------------------------------------------------------------
ports "no IPMI module loaded"
! grep -q ' : ipmi_si$' /proc/ioports || differs "ipmi_si holds ports before any module was loaded"
[ ! -e /dev/ipmi0 ] || differs "/dev/ipmi0 exists before any module was loaded"
library m1
# vktool says first, without a device node, that the library uses the KCS ports and which
# modules give the node; nothing else goes to standard error.
for c in devid firmware sel sensors; do
  expect_status "m1-$c" 0
  grep -q 'modprobe ipmi_si ipmi_devintf$' "/tmp/m1-$c.err" || differs "m1-$c gave no device-node hint"
  other=$(grep -v '^vktool: ' "/tmp/m1-$c.err" | head -n 1)
  [ -z "$other" ] || differs "m1-$c wrote to standard error: $other"
done
for c in cim-sel cim-sensors; do
  expect_status "m1-$c" 0
  expect_quiet "m1-$c"
done
[ "$(field m1-sel Entries)" = "0" ] || differs "SEL entries \"$(field m1-sel Entries)\", not 0"
[ "$(field m1-sel 'Free Space')" = "2048 bytes" ] || differs "SEL free space \"$(field m1-sel 'Free Space')\", not 2048 bytes"
grep -q '^    VKT_TotalEntries = "0"$' /tmp/m1-cim-sel.out || differs "VKT_SELInfo has no VKT_TotalEntries = \"0\""
grep -q '^    VKT_FreeSpace = "2048 bytes"$' /tmp/m1-cim-sel.out || differs "VKT_SELInfo has no VKT_FreeSpace = \"2048 bytes\""
n=$(grep -c '^varkolt/cimv2:VKT_Sensors\.' /tmp/m1-cim-sensors.out)
[ "$n" = 1 ] || differs "$n VKT_Sensors instances, not 1"
grep -q '^    VKT_SensorName = "Watchdog"$' /tmp/m1-cim-sensors.out || differs "the sensor is not the watchdog"
[ "$(bytes m1-devid | cut -c1-2)" = "20" ] || differs "Get Device ID answered \"$(bytes m1-devid)\""
# Processes driving the ports take turns through a lock in a directory of root's alone.
lockdir=$(stat -c '%a %u %F' /run/varkolt 2>&1)
[ "$lockdir" = "700 0 directory" ] || differs "/run/varkolt is \"$lockdir\", not root's directory of mode 700"
[ -f /run/varkolt/kcs.lock ] || differs "no KCS lock in /run/varkolt"
summary "1 (no IPMI module, the library drives the KCS ports)"

# ---- 2. ipmi_si without ipmi_devintf ------------------------------------------------------
insmod /modules/ipmi_msghandler.ko && insmod /modules/ipmi_si.ko || differs "insmod ipmi_si failed"
i=0
while ! grep -q ' : ipmi_si$' /proc/ioports && [ $i -lt 50 ]; do sleep 0.2; i=$((i + 1)); done
ports "ipmi_msghandler and ipmi_si loaded"
grep -q ' : ipmi_si$' /proc/ioports || differs "ipmi_si holds no ports"
[ ! -e /dev/ipmi0 ] || differs "/dev/ipmi0 exists without ipmi_devintf"
library m2
run m2-all vkt-cim enumerate --all
hint="The kernel's IPMI driver owns the KCS interface but there is no IPMI device node: load the ipmi_devintf module (modprobe ipmi_devintf) so that /dev/ipmi0 appears."
for c in devid firmware sel sensors cim-sel cim-sensors all; do
  n=$(grep -cxF "$hint" "/tmp/m2-$c.err")
  [ "$n" = 1 ] || differs "m2-$c gave the ipmi_devintf hint $n times"
  # (The Node Manager lookup words the step that failed like a completion code: 10h.)
  other=$(cat "/tmp/m2-$c.out" "/tmp/m2-$c.err" | grep -v '^Get SDR RepositoryInfo error, ' |
    grep -o 'Completion Code=[0-9A-F]*h' | grep -v '=FFh$' | head -n 1)
  [ -z "$other" ] || differs "m2-$c: a request ended with $other, not FFh"
done
# The commands failed, each program ran to its end.
for c in devid firmware sel sensors; do expect_status "m2-$c" 11; done
for c in cim-sel cim-sensors all; do expect_status "m2-$c" 0; done
grep -q 'Completion Code=FFh' /tmp/m2-devid.out /tmp/m2-devid.err || differs "Get Device ID did not fail with FFh"
summary "2 (ipmi_si without ipmi_devintf, every request fails with FFh)"

# ---- 3. ipmi_si and ipmi_devintf ---------------------------------------------------------
insmod /modules/ipmi_devintf.ko || differs "insmod ipmi_devintf failed"
i=0
while [ ! -e /dev/ipmi0 ] && [ ! -e /sys/class/ipmi/ipmi0/dev ] && [ $i -lt 50 ]; do sleep 0.2; i=$((i + 1)); done
if [ -e /dev/ipmi0 ]; then
  say "== /dev/ipmi0 made by devtmpfs"
elif [ -e /sys/class/ipmi/ipmi0/dev ]; then
  dev=$(cat /sys/class/ipmi/ipmi0/dev)
  mknod /dev/ipmi0 c "${dev%:*}" "${dev#*:}"
  say "== /dev/ipmi0 made with mknod c ${dev%:*} ${dev#*:}"
fi
[ -c /dev/ipmi0 ] || differs "no device node /dev/ipmi0"
ports "ipmi_msghandler, ipmi_si and ipmi_devintf loaded"
library m3
run m3-ipmitool-devid ipmitool -I open raw 0x06 0x01
run m3-ipmitool-mc ipmitool -I open mc info
run m3-ipmitool-sel ipmitool -I open sel info
run m3-ipmitool-sensors ipmitool -I open sensor
for c in devid firmware sel sensors cim-sel cim-sensors; do
  expect_status "m3-$c" 0
  expect_quiet "m3-$c"
  # The same answers through the device node as through the ports.
  cmp -s "/tmp/m1-$c.out" "/tmp/m3-$c.out" || differs "m3-$c differs from m1-$c"
done
for c in ipmitool-devid ipmitool-mc ipmitool-sel ipmitool-sensors; do expect_status "m3-$c" 0; done
[ "$(bytes m3-devid)" = "$(bytes m3-ipmitool-devid)" ] ||
  differs "Get Device ID: \"$(bytes m3-devid)\", ipmitool \"$(bytes m3-ipmitool-devid)\""
# mc info, field by field from the library's Get Device ID answer.
# shellcheck disable=SC2046 # one argument per byte
set -- $(bytes m3-devid)
if [ $# -ge 11 ]; then
  [ "$(field m3-ipmitool-mc 'Device ID')" = "$((0x$1))" ] || differs "mc info Device ID $(field m3-ipmitool-mc 'Device ID'), library $((0x$1))"
  [ "$(field m3-ipmitool-mc 'Device Revision')" = "$((0x$2 & 15))" ] ||
    differs "mc info Device Revision $(field m3-ipmitool-mc 'Device Revision'), library $((0x$2 & 15))"
  fw=$(printf %d.%02x $((0x$3 & 127)) $((0x$4)))
  [ "$(field m3-ipmitool-mc 'Firmware Revision')" = "$fw" ] ||
    differs "mc info Firmware Revision $(field m3-ipmitool-mc 'Firmware Revision'), library $fw"
  [ "$(sed -n 's/^Firmware Version: *//p' /tmp/m3-firmware.out)" = "$fw" ] ||
    differs "bmc firmware \"$(cat /tmp/m3-firmware.out)\", Get Device ID $fw"
  [ "$(field m3-ipmitool-mc 'IPMI Version')" = "$((0x$5 & 15)).$((0x$5 >> 4))" ] ||
    differs "mc info IPMI Version $(field m3-ipmitool-mc 'IPMI Version'), library $((0x$5 & 15)).$((0x$5 >> 4))"
  [ "$(field m3-ipmitool-mc 'Manufacturer ID')" = "$((0x$9$8$7 & 0xFFFFF))" ] ||
    differs "mc info Manufacturer ID $(field m3-ipmitool-mc 'Manufacturer ID'), library $((0x$9$8$7 & 0xFFFFF))"
  [ "$(field m3-ipmitool-mc 'Product ID' | cut -d' ' -f1)" = "$((0x${11}${10}))" ] ||
    differs "mc info Product ID $(field m3-ipmitool-mc 'Product ID'), library $((0x${11}${10}))"
else
  differs "Get Device ID answered $# bytes"
fi
for f in Entries 'Free Space'; do
  [ "$(field m3-sel "$f")" = "$(field m3-ipmitool-sel "$f")" ] ||
    differs "sel info $f: library \"$(field m3-sel "$f")\", ipmitool \"$(field m3-ipmitool-sel "$f")\""
done
# Sensor names: the library's table (after its two heading lines) against ipmitool's first column.
mine=$(sed '1,2d; s/ *|.*//' /tmp/m3-sensors.out)
theirs=$(sed 's/ *|.*//' /tmp/m3-ipmitool-sensors.out)
[ -n "$mine" ] && [ "$mine" = "$theirs" ] || differs "sensors: library \"$mine\", ipmitool \"$theirs\""
summary "3 (ipmi_si and ipmi_devintf, the device node, as ipmitool -I open)"

say "qemu: done"
exec 3>&-  # closing the port waits until the host has every byte
poweroff -f
