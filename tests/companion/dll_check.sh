#!/bin/sh
# mirelka.dll exports exactly the five entry points and the optional sixth
# (nametoipfrom) under their plain names
# and needs no DLL beyond the system's: the MinGW runtime is linked in.
#   dll_check.sh OBJDUMP mirelka.dll
set -u
objdump=$1
dll=$2
exports=$("$objdump" -p "$dll" | sed -n 's/^[[:space:]]*\[ *[0-9]*\] \([A-Za-z_@0-9]*\)$/\1/p' | sort | tr '\n' ' ')
imports=$("$objdump" -p "$dll" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')
echo "exports: $exports"
echo "imports: $imports"
status=0
[ "$exports" = "connectpc init iptoname nametoip nametoipfrom pingresult " ] || { echo "FAIL: the exports are not the six plain names"; status=1; }
for dll in $imports; do
  case "$dll" in
    kernel32.dll | msvcrt.dll | ws2_32.dll | iphlpapi.dll | advapi32.dll | ntdll.dll) ;;
    *) echo "FAIL: depends on $dll, which a Windows system does not have"; status=1 ;;
  esac
done
exit $status
