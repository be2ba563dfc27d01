#!/bin/bash
# Logged-on share listings on the test LAN, ours beside smbclient, from the
# LAN's client namespace: LOCKED (refuses guests; user "daemon"; named by
# the client's hosts file), VAULT (the same, named by NetBIOS, so the session's
# credentials pass the address binding check on every call) and ADDC (Samba
# AD DC; a Kerberos ticket for alice). Needs root, hyperfine, the Samba
# tools and mlk_enum (with libmirelka.so) built in BIN_DIR.
#
#   bench/login-side-by-side.sh [BIN_DIR] [RUNS]
#
# Whole-process rows: median wall time of RUNS runs after 3 warm-ups
# (hyperfine through a shell, whose own start hyperfine subtracts, because
# our tool reads the password from standard input). In-process rows: median
# of one call repeated RUNS times inside one mlk_enum process:
#   -U  the session's credentials: one password logon per listing;
#   -u  as from the login dialog, each call anew: guest refused, then the
#       password; the difference to -U is what the refused guest costs.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BIN=$(cd "${1:-$ROOT/build/bin}" && pwd)
RUNS=${2:-20}
. "$ROOT/bench/lan-bench.sh"
ENUM="$BIN/mlk_enum"
bench_needs mlk_enum hyperfine

start_bench_lan "$@"
C=$MLK_LAN_DIR/client
# The LAN's test passwords (testlan.sh), in a file the runs read from.
printf 'Locked-Pass-7\n' >"$OUT/pw"
printf 'Vault-Pass-7\n' >"$OUT/vault-pw"
KRB="KRB5_CONFIG=$C/krb5.conf KRB5CCNAME=FILE:$C/krb5cc"

median() {  # COMMAND (run by a shell in the client namespace); prints ms
  local json="$OUT/$RANDOM.json"
  "$LAN" exec-client hyperfine -i --warmup 3 --runs "$RUNS" --export-json "$json" "$1" >/dev/null 2>&1
  python3 -c 'import json, sys
print("%.1f" % (json.load(open(sys.argv[1]))["results"][0]["median"] * 1000))' "$json"
}

in_process() {  # ENV-ASSIGNMENTS ARGS... (stdin: the password file, $PW or LOCKED's)
  local env=$1
  shift
  # shellcheck disable=SC2086
  "$LAN" exec-client env $env "$ENUM" -r "$RUNS" "$@" <"${PW:-$OUT/pw}" 2>&1 >/dev/null |
    sed -n 's/^median \([0-9.]*\) ms.*/\1/p'
}

ratio() { python3 -c 'import sys; a, b = map(float, sys.argv[1:]); print("%.2f" % (a / b))' "$1" "$2"; }

peer_pw=$(median "smbclient -L //LOCKED -U daemon%Locked-Pass-7")
ours_pw=$(median "$ENUM -u daemon '\\\\LOCKED' <$OUT/pw")
session=$(in_process "" -U daemon '\\LOCKED')
dialog=$(in_process "" -u daemon '\\LOCKED')
guest=$(in_process "" '\\MEMBER1')
peer_vault=$(median "smbclient -L //VAULT -U daemon%Vault-Pass-7")
vault=$(PW=$OUT/vault-pw in_process "" -U daemon '\\VAULT')
peer_krb=$(median "env $KRB smbclient --use-kerberos=required -L //ADDC")
ours_krb=$(median "env $KRB $ENUM '\\\\ADDC'")
krb=$(in_process "$KRB" '\\ADDC')
krb_fqdn=$(in_process "$KRB" '\\addc.mlk.test')
krb_member=$(in_process "$KRB" '\\MEMBER1')

echo
echo "| ours | median ms | in-process ms | peer | median ms | ratio (in-process) |"
echo "|---|---:|---:|---|---:|---:|"
echo "| enum \\\\LOCKED as daemon (session) | $ours_pw | $session | smbclient -L //LOCKED -U daemon%… | $peer_pw | $(ratio "$session" "$peer_pw") |"
echo "| enum \\\\VAULT as daemon (session, bound by address) | - | $vault | smbclient -L //VAULT -U daemon%… | $peer_vault | $(ratio "$vault" "$peer_vault") |"
echo "| enum \\\\ADDC with a ticket | $ours_krb | $krb | smbclient --use-kerberos=required -L //ADDC | $peer_krb | $(ratio "$krb" "$peer_krb") |"
echo
echo "| in-process | median ms |"
echo "|---|---:|"
echo "| \\\\LOCKED, this session's credentials (one logon) | $session |"
echo "| \\\\LOCKED, guest refused, then the dialog's credentials | $dialog |"
echo "| refused guest attempt (difference) | $(python3 -c "print('%.1f' % ($dialog - $session))") |"
echo "| \\\\MEMBER1 as guest, no ticket | $guest |"
echo "| \\\\MEMBER1 as guest, with a ticket cache (Kerberos tried first) | $krb_member |"
echo "| \\\\ADDC by NetBIOS name with a ticket | $krb |"
echo "| \\\\addc.mlk.test by DNS name with a ticket | $krb_fqdn |"
