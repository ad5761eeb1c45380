#!/bin/sh
# lan_config_program of the ipmi_sim scenario. ipmi_sim does not keep the BMC's own
# address settings; it runs this program as
#   lan_config.sh STATEFILE get PARM         print "PARM:VALUE"
#   lan_config.sh STATEFILE set PARM VALUE   remember VALUE
# STATEFILE holds one "PARM:VALUE" line per parameter.
state=$1
op=$2
parm=$3
[ -n "$state" ] && [ -n "$parm" ] || exit 1
case "$op" in
get)
    line=$(grep "^$parm:" "$state" 2>/dev/null | tail -n 1)
    [ -n "$line" ] || exit 1
    printf '%s\n' "$line"
    ;;
set)
    value=$4
    tmp="$state.tmp.$$"
    grep -v "^$parm:" "$state" > "$tmp" 2>/dev/null
    printf '%s:%s\n' "$parm" "$value" >> "$tmp"
    mv "$tmp" "$state"
    ;;
*)
    exit 1
    ;;
esac
exit 0
