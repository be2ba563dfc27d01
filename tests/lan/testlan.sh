#!/bin/bash
# A small test LAN made of network namespaces, with real Samba peers and the
# announcers of today's LANs (wsdd, llmnrd, avahi-daemon).
#
#   testlan.sh start              build the LAN and wait until browsing works
#   testlan.sh stop               stop every process of the LAN, delete it
#   testlan.sh start-late-smbd    start LATEHOST's smbd (its nmbd runs from the start)
#   testlan.sh freeze-smbd NAME   stop (SIGSTOP) every smbd process of NAME: it
#                                 accepts connections and answers nothing
#   testlan.sh stop-smbd NAME     end every smbd process of NAME and its RPC
#                                 daemons (SIGKILL)
#   testlan.sh start-smbd NAME    start NAME's smbd again and wait for its shares
#   testlan.sh cold-smbd NAME...  restart each NAME's smbd and wait only until it
#                                 listens: its RPC workers start on the first
#                                 listing, as on a server idle a while
#   testlan.sh exec-client CMD... run CMD in the client namespace
#   testlan.sh garbage-mode own|all
#                                 GARBLER answers the client's queries for
#                                 GARBLER (broken packets only) and GARBLEOK
#                                 (broken packets, then its address) and node
#                                 status (broken packets, then GARBLEOK), or
#                                 in "all" every query the client sends
#   testlan.sh hello-up|hello-down
#                                 start HELLOPC's wsdd (it says Hello) or stop
#                                 it (it says Bye)
#   testlan.sh rename-hello NAME  HELLOPC's wsdd ends without a Bye and starts
#                                 again as NAME under the same endpoint; then
#                                 a Hello from HELLOPC says metadata version 2
#   testlan.sh forge-hellos N     FORGER sends N forged Hellos (see below)
#   testlan.sh withdraw-dnssd|restore-dnssd
#                                 stop MDNSHOST's smbd (its DNS-SD service is
#                                 withdrawn) or start it again and wait until
#                                 the service is seen
#   testlan.sh restart-avahi     stop the client's avahi-daemon and start it
#                                 again (its bus stays)
#   testlan.sh spoof NAME         stop NAME's smbd and name responder, and let
#                                 SPOOFER answer the client's name queries
#                                 for NAME
#   testlan.sh status             print the hosts
#
# The hosts (10.231.0.0/24; the client is .100, MLKCLIENT in TESTGROUP):
#   WGMASTER .10   TESTGROUP master browser (nmbd/smbd, SMB1 on), share public
#   MEMBER1  .11   member (共有資料, data); also announced by wsdd, so one
#                  computer known by two sources; the client's hosts file
#                  names it
#   MEMBER2  .12   member (team docs, tools)
#   LATEHOST .13   member whose nmbd answers from the start but whose smbd
#                  (and any TCP) stays silent until start-late-smbd
#   BIGSHARE .14   member with 501 shares, one with an 80-character name
#   OTHERPC  .20   master browser of OTHERGRP (other)
#   GARBLER  .66   NetBIOS answers that are garbage (see nbgarbage.py)
#   WSDHOST  .30   SMB1 and NetBIOS off (smbd on 445 only, share wsdshare):
#                  announced only by wsdd (workgroup TESTGROUP), its name
#                  answered only by llmnrd (LLMNR A)
#   MDNSHOST .31   SMB1 and NetBIOS off (share mdnsshare): announced only by
#                  DNS-SD; smbd registers _smb._tcp as MDNSHOST with its own
#                  avahi-daemon, host name mdnshost.local (mDNS both ways);
#                  node status sent to it gets garbage, then a table holding
#                  only the group TESTGROUP (nbgarbage.py --status-only)
#   HELLOPC  .34   no SMB: only a wsdd (TESTGROUP) the tests start and stop
#   FORGER   .35   a metadata server on 5357 whose answers never end, and on
#                  "forge-hellos N" N Hellos, the first for WSDHOST's
#                  endpoint (see wsdforger.py)
#   FLOODER  .67   queries for FLOODME (NetBIOS, LLMNR, mDNS) get a second
#                  of the largest answers there are, costly to read and
#                  naming no address (see floodpeer.py)
#   LLMNRPC  .32   no SMB, no NetBIOS: LLMNR A for LLMNRPC and PTR for .32,
#                  each after garbage, a forged PTR answer from .33, and mDNS
#                  garbage for llmnrpc.local (see llmnrpeer.py); LLMNRBAD gets
#                  garbage only
#   VAULT    .18   refuses guests (one user, as LOCKED); its name is
#                  answered by spoofer.py with its own address (NetBIOS
#                  first), so it is in no browse list
#   FARM01..FARM16 .41-.56  cheap SMB2 members of FARMGRP (one smbd and one
#                  nmbd each, share farm), for the share tree's figures
#   TARPIT   .57   accepts TCP on 445 and 139 and never answers (tarpit.py);
#                  named in the client's hosts file, as are TARPIT2..TARPIT4
#                  at .58-.60 (more addresses of the same host and tarpit)
#   .90-.99        nobody: unused addresses on the subnet
# One computer for each way a share listing fails (each named in the
# client's hosts file, in no browse list, ready within the master browser's
# election):
#   OLDNAS   .36   SMB1 only (server min and max protocol NT1), share old:
#                  a client that offers SMB2 and later only is disconnected
#   NOSMBPC  .37   runs nothing: 445 and 139 are refused
#   NOLIST   .38   refuses guests; its user (as LOCKED's, password
#                  Nolist-Pass-7) logs on but may not connect to IPC$, so
#                  the share list is denied (NT_STATUS_ACCESS_DENIED on the
#                  tree connect); share nolist data
#   STALLER  .39   smbdrop.py --stall in front of its own smbd (guest, share
#                  stalled, on port 4450): negotiate, logon and the tree
#                  connect to IPC$ are answered, then nothing
#   GARBSMB  .40   answers on 445 and 139 with bytes that are no SMB, then
#                  closes (smbgarbage.py)
# (and for the others: TARPIT hangs, LOCKED refuses guests and wrong
# passwords, .90-.99 are silent)
#   SPOOFER  .68   answers no name of its own; after "spoof NAME" it answers
#                  the client's NetBIOS, LLMNR and mDNS questions for NAME
#                  with its own address (spoofer.py). Its smbd refuses guests
#                  and logs every logon offered (log/log.*, auth_audit)
# Every wsdd has its own -U uuid (hosts in namespaces share one host name).
# Each avahi-daemon (MDNSHOST's, and the client's own) runs with a private
# /run (tmpfs in a mount namespace of its own, for its fixed pid file) and a
# private system bus (a dbus-daemon listening under the host's directory).
# exec-client exports DBUS_SYSTEM_BUS_ADDRESS for the client's bus, so
# avahi-browse/avahi-resolve and the program's DNS-SD reach the client's
# avahi-daemon. No smbd but MDNSHOST's registers with mDNS.
#
# State lives in $MLK_LAN_DIR (default /tmp/mlk-lan). Nothing is created on
# the machine's own interfaces: the veth pairs are made inside the bridge
# namespace with their peer ends put straight into the host namespaces, and
# every address lives only inside those namespaces. Needs root, iproute2,
# nmbd/smbd/nmblookup/smbclient/smbtree, python3, wsdd, llmnrd, dbus-daemon,
# avahi-daemon and avahi-utils.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../samba_private.sh"
export PATH=$PATH:/usr/sbin:/sbin

RUN=${MLK_LAN_DIR:-/tmp/mlk-lan}
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
NET=10.231.0
CLIENT_ADDR=$NET.100
READY_SECONDS=${MLK_LAN_READY_SECONDS:-120}

# name address workgroup role
HOSTS="WGMASTER $NET.10 TESTGROUP master
MEMBER1 $NET.11 TESTGROUP member
MEMBER2 $NET.12 TESTGROUP member
LATEHOST $NET.13 TESTGROUP late
BIGSHARE $NET.14 TESTGROUP member
OTHERPC $NET.20 OTHERGRP otherlmb
GARBLER $NET.66 - garbage
WSDHOST $NET.30 TESTGROUP wsd
MDNSHOST $NET.31 - dnssd
LLMNRPC $NET.32 - llmnr
LOCKED $NET.15 TESTGROUP locked
ADDC $NET.16 MLK dc
DROPPER $NET.17 - dropper
FLOODER $NET.67 - flood
HELLOPC $NET.34 TESTGROUP hello
FORGER $NET.35 - forger
VAULT $NET.18 TESTGROUP vault
SPOOFER $NET.68 - spoofer
OLDNAS $NET.36 TESTGROUP smb1
NOSMBPC $NET.37 - nosmb
NOLIST $NET.38 TESTGROUP nolist
STALLER $NET.39 - staller
GARBSMB $NET.40 - garbsmb"
LLMNR_FORGER=$NET.33
FARM_COUNT=16
for i in $(seq -w 1 "$FARM_COUNT"); do HOSTS+=$'\n'"FARM$i $NET.$((40 + 10#$i)) FARMGRP farm"; done
HOSTS+=$'\n'"TARPIT $NET.57 - tarpit"
TARPIT_MORE="TARPIT2 $NET.58
TARPIT3 $NET.59
TARPIT4 $NET.60"

LONG_SHARE=share-with-a-name-of-exactly-eighty-characters-xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx

log() { printf 'testlan: %s\n' "$*" >&2; }
die() { log "$*"; exit 1; }

tag() { cat "$RUN/tag"; }
ns_of() { printf '%s-%s' "$(tag)" "$(printf '%s' "$1" | tr 'A-Z' 'a-z')"; }
hostdir() { printf '%s/h/%s' "$RUN" "$1"; }

host_field() {  # NAME FIELD(2..4)
  awk -v n="$1" -v f="$2" '$1 == n { print $f }' <<<"$HOSTS"
}

bus_of() { printf 'unix:path=%s/avahi/bus' "$(hostdir "$1")"; }

in_client() {
  ip netns exec "$(ns_of client)" env HOME="$RUN/client/home" MLK_LAN_DIR="$RUN" \
    DBUS_SYSTEM_BUS_ADDRESS="$(bus_of client)" "$@"
}

# --- namespaces and links ---------------------------------------------------

add_ns() {
  local ns=$1
  ip netns add "$ns"
  echo "$ns" >>"$RUN/netns"
  ip -n "$ns" link set lo up
  # IPv4 only keeps the peers' answers and the client's choices simple.
  ip netns exec "$ns" sysctl -qw net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1
  # Resolver files seen by processes of this namespace (ip netns exec binds
  # them over /etc): no DNS server is reachable, so DNS fails at once.
  mkdir -p "/etc/netns/$ns"
  printf 'nameserver 127.0.0.1\noptions timeout:1 attempts:1\n' >"/etc/netns/$ns/resolv.conf"
  printf '127.0.0.1 localhost\n' >"/etc/netns/$ns/hosts"
}

# The veth is created inside the bridge namespace; its peer goes straight into
# the host namespace, so no end ever exists outside the LAN.
plug() {  # NAME ADDRESS
  local ns br port
  ns=$(ns_of "$1")
  br=$(ns_of br)
  port="p-$(printf '%s' "$1" | tr 'A-Z' 'a-z' | cut -c1-13)"
  ip -n "$br" link add "$port" type veth peer name eth0 netns "$ns"
  ip -n "$br" link set "$port" master br0
  ip -n "$br" link set "$port" up
  ip -n "$ns" addr add "$2/24" brd + dev eth0
  ip -n "$ns" link set eth0 up
}

make_lan() {
  local br
  br=$(ns_of br)
  add_ns "$br"
  ip -n "$br" link add br0 type bridge forward_delay 0 stp_state 0
  ip -n "$br" link set br0 up
  add_ns "$(ns_of client)"
  plug client "$CLIENT_ADDR"
  local name addr wg role
  while read -r name addr wg role; do
    add_ns "$(ns_of "$name")"
    plug "$name" "$addr"
  done <<<"$HOSTS"
}

# --- configuration ----------------------------------------------------------

write_client_files() {
  local ns etc
  ns=$(ns_of client)
  etc=/etc/netns/$ns
  mkdir -p "$RUN"/client/{home,lock,state,cache,private,pid,ncalrpc,nmbd} "$etc/samba"
  # Reverse lookup through the hosts file works for MEMBER1 only.
  printf '127.0.0.1 localhost\n%s MEMBER1\n' "$(host_field MEMBER1 2)" >"$etc/hosts"
  # The client's own Samba configuration (bound over /etc/samba): its
  # workgroup, its one interface and private state and socket directories.
  cat >"$etc/samba/smb.conf" <<EOF
[global]
  workgroup = TESTGROUP
  netbios name = MLKCLIENT
  interfaces = $CLIENT_ADDR/24
  bind interfaces only = yes
  lock directory = $RUN/client/lock
  state directory = $RUN/client/state
  cache directory = $RUN/client/cache
  private dir = $RUN/client/private
  pid directory = $RUN/client/pid
  ncalrpc dir = $RUN/client/ncalrpc
  nmbd:socket dir = $RUN/client/nmbd
  log file = $RUN/client/log.%m
  load printers = no
EOF
  # Readiness checks and peer tools also need SMB1 for browse lists.
  cat >"$RUN/client/tools.conf" <<EOF
include = $etc/samba/smb.conf
[global]
  client min protocol = NT1
EOF
}

write_host_conf() {  # NAME ADDRESS WORKGROUP ROLE
  local name=$1 addr=$2 wg=$3 role=$4 d
  d=$(hostdir "$name")
  mkdir -p "$d"/{lock,state,cache,pid,private,ncalrpc,nmbd,log,share}
  chmod 0755 "$d" "$d/share"
  local browse protocols mdns="multicast dns register = no"
  if [ "$wg" = - ]; then wg=WORKGROUP; fi
  case $role in
    farm) protocols="server min protocol = SMB2_02" ;;
    smb1) protocols="server min protocol = NT1
  server max protocol = NT1" ;;
    staller) protocols="server min protocol = SMB2_02
  disable netbios = yes
  smb ports = $STALLER_PORT" ;;
    wsd | dnssd) protocols="server min protocol = SMB2_02
  disable netbios = yes
  smb ports = 445" ;;
    *) protocols="server min protocol = NT1" ;;
  esac
  # Only the DNS-SD host registers, and only with its own avahi-daemon: the
  # others must never reach a bus outside the LAN.
  if [ "$role" = dnssd ]; then mdns="multicast dns register = yes"; fi
  case $role in
    master) browse="local master = yes
  preferred master = yes
  os level = 65
  domain master = no" ;;
    otherlmb) browse="local master = yes
  preferred master = yes
  os level = 33
  domain master = no" ;;
    *) browse="local master = no
  preferred master = no
  os level = 0
  domain master = no" ;;
  esac
  {
    cat <<EOF
[global]
  workgroup = $wg
  netbios name = $name
  server string = $name test host
  interfaces = $addr/24
  bind interfaces only = yes
  $protocols
  client min protocol = NT1
  $mdns
  server role = standalone server
  map to guest = Bad User
  guest account = nobody
  load printers = no
  printing = bsd
  printcap name = /dev/null
  disable spoolss = yes
  usershare path =
  dns proxy = no
  wins support = no
  name resolve order = bcast host
  $browse
$(samba_private_dirs "$d")
  # the unexpected-packet socket is a path, shared across namespaces by default
  nmbd:socket dir = $d/nmbd
  log file = $d/log/log.%m
  max log size = 2000
EOF
  } >"$d/smb.conf"
  case $name in
    WGMASTER) add_share "$d" public ;;
    MEMBER1) add_share "$d" "共有資料"; add_share "$d" data ;;
    MEMBER2) add_share "$d" "team docs"; add_share "$d" tools ;;
    LATEHOST) add_share "$d" late ;;
    OTHERPC) add_share "$d" other ;;
    WSDHOST) add_share "$d" wsdshare ;;
    MDNSHOST) add_share "$d" mdnsshare ;;
    FARM*) add_share "$d" farm ;;
    OLDNAS) add_share "$d" old ;;
    STALLER) add_share "$d" stalled ;;
    BIGSHARE)
      local i
      for i in $(seq -w 1 500); do add_share "$d" "s$i"; done
      add_share "$d" "$LONG_SHARE" ;;
  esac
  # A hidden share that the listing must leave out.
  add_share "$d" 'hidden$'
}

add_share() {  # HOSTDIR SHARE
  mkdir -p "$1/share/data"
  chmod 0755 "$1/share/data"
  printf '[%s]\n  path = %s/share/data\n  guest ok = yes\n  read only = yes\n  browseable = yes\n' \
    "$2" "$1" >>"$1/smb.conf"
}

# A host that has not come up as a server yet: it answers NetBIOS (UDP) but
# sends nothing over TCP, not even a reset, so a connection check cannot tell
# it from a switched-off computer. A refused connection would count as an
# answer. Policy routing drops its TCP output until start-late-smbd.
silence_tcp() {  # NAME
  local ns
  ns=$(ns_of "$1")
  ip -n "$ns" route add blackhole default table 100
  ip -n "$ns" rule add ipproto tcp lookup 100 pref 100
}

# --- a host that refuses guests ---------------------------------------------
# LOCKED: SMB2/3 only, no guest, no anonymous listing, no NetBIOS (the client
# finds it in its hosts file). Its one user is the existing system account
# "daemon" with a password of LOCKED's own, in LOCKED's private passdb:
# nothing is added to the machine's user files. DROPPER relays to LOCKED
# and drops the connection at the second session setup, mid-logon.
LOCKED_USER=daemon
LOCKED_PASSWORD=Locked-Pass-7

# The [global] part of a host that refuses guests and anonymous listing (SMB2
# and later); the caller adds its shares.
write_refusing_conf() {  # NAME EXTRA_GLOBAL_LINES
  local d addr
  d=$(hostdir "$1")
  addr=$(host_field "$1" 2)
  mkdir -p "$d"/{lock,state,cache,pid,private,ncalrpc,nmbd,log,share/data}
  cat >"$d/smb.conf" <<EOF
[global]
  workgroup = TESTGROUP
  netbios name = $1
  interfaces = $addr/24
  bind interfaces only = yes
  server role = standalone server
  server min protocol = SMB2_02
  map to guest = never
  restrict anonymous = 2
  local master = no
  os level = 0
  load printers = no
  printing = bsd
  printcap name = /dev/null
  disable spoolss = yes
  usershare path =
  $2
$(samba_private_dirs "$d")
  nmbd:socket dir = $d/nmbd
  log file = $d/log/log.%m
EOF
}

write_locked_conf() {
  local d addr
  d=$(hostdir LOCKED)
  addr=$(host_field LOCKED 2)
  write_refusing_conf LOCKED "disable netbios = yes
  smb ports = 445"
  printf '[locked data]\n  path = %s/share/data\n  read only = yes\n[admin$]\n  path = %s/share/data\n' "$d" "$d" \
    >>"$d/smb.conf"
  printf '%s\n%s\n' "$LOCKED_PASSWORD" "$LOCKED_PASSWORD" |
    pdbedit -s "$d/smb.conf" -a -t -u "$LOCKED_USER" >/dev/null
  printf '%s LOCKED\n%s DROPPER\n' "$addr" "$(host_field DROPPER 2)" >>"/etc/netns/$(ns_of client)/hosts"
}

start_locked() {
  start_samba LOCKED smbd
  spawn DROPPER dropper python3 "$HERE/smbdrop.py" "$(host_field DROPPER 2)" "$(host_field LOCKED 2)"
}

wait_locked() {  # DEADLINE
  # a refused guest listing is the sign that LOCKED serves
  until grep -q 'NT_STATUS_LOGON_FAILURE\|NT_STATUS_ACCESS_DENIED' \
    <<<"$(client_output smbclient -g -L "//$(host_field LOCKED 2)" -U guest%)"; do
    if deadline_passed "$1"; then die "LOCKED does not serve in time"; fi
    sleep 0.3
  done
  until grep -q ':445 ' <<<"$(ip netns exec "$(ns_of DROPPER)" ss -Hltn 2>/dev/null || true)"; do
    if deadline_passed "$1"; then die "DROPPER does not listen in time"; fi
    sleep 0.2
  done
}

# --- a name spoofer -----------------------------------------------------------
# VAULT refuses guests and is known by the link's name protocols alone
# (spoofer.py answering for itself); SPOOFER takes over its name once VAULT
# is stopped. Both smbds refuse guests; SPOOFER's logs every
# logon offered to it.
VAULT_PASSWORD=Vault-Pass-7

start_spoof_pair() {
  local name
  write_refusing_conf VAULT "disable netbios = yes
  smb ports = 445"
  printf '[vault]\n  path = %s/share/data\n  read only = yes\n' "$(hostdir VAULT)" >>"$(hostdir VAULT)/smb.conf"
  printf '%s\n%s\n' "$VAULT_PASSWORD" "$VAULT_PASSWORD" |
    pdbedit -s "$(hostdir VAULT)/smb.conf" -a -t -u "$LOCKED_USER" >/dev/null
  write_refusing_conf SPOOFER "disable netbios = yes
  smb ports = 445
  log level = 1 auth_audit:3"
  echo VAULT >"$RUN/vault.names"
  : >"$RUN/spoofer.names"
  for name in VAULT SPOOFER; do
    start_samba "$name" smbd
    spawn "$name" names python3 "$HERE/spoofer.py" --bind "$(host_field "$name" 2)" --client "$CLIENT_ADDR" \
      --names-file "$RUN/$(printf '%s' "$name" | tr 'A-Z' 'a-z')".names
  done
}

wait_spoof_pair() {  # DEADLINE
  local name
  for name in VAULT SPOOFER; do
    wait_listening "$name" u 137 "$1"
    wait_listening "$name" t 445 "$1"
  done
}

cmd_spoof() {  # NAME (VAULT: its smbd and its name responder)
  local name=${1:?spoof NAME} what
  for what in smbd names; do stop_recorded "$name" "$what"; done
  printf '%s\n' "$name" >>"$RUN/spoofer.names"
}

# --- one computer for each way a share listing fails -----------------------
# See the hosts above. None takes part in browsing; each is named in the
# client's hosts file, so a row reaches its address whatever answers names.
NOLIST_PASSWORD=Nolist-Pass-7
STALLER_PORT=4450

start_failing_peers() {
  local d name
  start_samba OLDNAS smbd
  d=$(hostdir NOLIST)
  write_refusing_conf NOLIST "disable netbios = yes
  smb ports = 445"
  # The logon succeeds; the tree connect to IPC$, and so the share list, is
  # refused to that very user.
  printf '[IPC$]\n  invalid users = %s\n[nolist data]\n  path = %s/share/data\n  read only = yes\n' \
    "$LOCKED_USER" "$d" >>"$d/smb.conf"
  printf '%s\n%s\n' "$NOLIST_PASSWORD" "$NOLIST_PASSWORD" |
    pdbedit -s "$d/smb.conf" -a -t -u "$LOCKED_USER" >/dev/null
  start_samba NOLIST smbd
  start_samba STALLER smbd
  spawn STALLER staller python3 "$HERE/smbdrop.py" --stall --port "$STALLER_PORT" \
    "$(host_field STALLER 2)" "$(host_field STALLER 2)"
  spawn GARBSMB garbsmb python3 "$HERE/smbgarbage.py" "$(host_field GARBSMB 2)"
  for name in OLDNAS NOSMBPC NOLIST STALLER GARBSMB; do
    printf '%s %s\n' "$(host_field "$name" 2)" "$name" >>"/etc/netns/$(ns_of client)/hosts"
  done
}

wait_failing_peers() {  # DEADLINE
  wait_listening OLDNAS t 445 "$1"
  wait_listening NOLIST t 445 "$1"
  wait_listening STALLER t "$STALLER_PORT" "$1"
  wait_listening STALLER t 445 "$1"
  wait_listening GARBSMB t 445 "$1"
  wait_listening GARBSMB t 139 "$1"
}

# --- a domain controller ----------------------------------------------------
# ADDC: a Samba AD DC of the realm MLK.TEST, provisioned into its host folder
# while the browse master is elected (no DNS backend: the client finds it in
# its hosts file), with one user, alice. The client gets a Kerberos
# configuration of its own ($RUN/client/krb5.conf) and a ticket for alice
# ($RUN/client/krb5cc); a test points KRB5_CONFIG and KRB5CCNAME at them
# where it wants the ticket. A machine without the AD DC packages gets a LAN
# without ADDC, and $RUN/client/krb5cc is missing.
DC_REALM=MLK.TEST
DC_USER=alice
DC_PASSWORD=Alice-Pass-7

provision_dc() {
  local d addr
  d=$(hostdir ADDC)/dc
  addr=$(host_field ADDC 2)
  mkdir -p "$d"/{pid,log,ncalrpc}
  command -v samba >/dev/null || return 1
  ip netns exec "$(ns_of ADDC)" samba-tool domain provision --realm="$DC_REALM" --domain=MLK --host-name=ADDC \
    --server-role=dc --dns-backend=NONE --adminpass="Adm1n-$DC_PASSWORD" --targetdir="$d" \
    --option="interfaces=$addr/24" --option="bind interfaces only=yes" --option="pid directory=$d/pid" \
    --option="log file=$d/log/log.%m" --option="ncalrpc dir=$d/ncalrpc" --option="unix password sync=no" \
    --option="obey pam restrictions=no" --option="panic action=" --option="load printers=no" \
    --option="printing=bsd" --option="printcap name=/dev/null" --option="disable spoolss=yes" \
    --option="map to guest=never" --option="restrict anonymous=2" \
    --option="server services=-dns -dnsupdate -ntp_signd -kcc -drepl -wrepl -nbt" >"$d/provision.log" 2>&1 &&
    samba-tool user create "$DC_USER" "$DC_PASSWORD" -s "$d/etc/smb.conf" >>"$d/provision.log" 2>&1
}

start_dc() {  # DEADLINE
  local d addr
  d=$(hostdir ADDC)/dc
  addr=$(host_field ADDC 2)
  printf '%s addc.mlk.test ADDC\n' "$addr" >>"/etc/netns/$(ns_of client)/hosts"
  cat >"$RUN/client/krb5.conf" <<EOF
[libdefaults]
  default_realm = $DC_REALM
  dns_lookup_realm = false
  dns_lookup_kdc = false
  rdns = false
  dns_canonicalize_hostname = false
[realms]
  $DC_REALM = {
    kdc = $addr
  }
EOF
  # smbd finds winbindd only at its built-in socket path under /run/samba:
  # a /run of its own, in a mount namespace of its own.
  spawn ADDC samba unshare --mount sh -c 'mount -t tmpfs mlk-run /run && mkdir /run/samba &&
    exec /usr/sbin/samba --foreground --no-process-group -s "$0"' "$d/etc/smb.conf"
  until printf '%s\n' "$DC_PASSWORD" | in_client env KRB5_CONFIG="$RUN/client/krb5.conf" \
    KRB5CCNAME="FILE:$RUN/client/krb5cc" kinit "$DC_USER@$DC_REALM" >/dev/null 2>&1; do
    if deadline_passed "$1"; then die "no ticket from ADDC in time"; fi
    sleep 0.3
  done
  until in_client timeout 1 bash -c "exec 3<>/dev/tcp/$addr/445" 2>/dev/null; do
    if deadline_passed "$1"; then die "ADDC does not serve in time"; fi
    sleep 0.3
  done
}

# --- daemons ----------------------------------------------------------------

# Starts CMD in NAME's namespace under its own session and records its PID.
# ip netns exec and setsid both exec, so $! is the daemon itself.
spawn() {  # NAME WHAT CMD...
  local name=$1 what=$2
  shift 2
  local d
  d=$(hostdir "$name")
  mkdir -p "$d/log"
  ip netns exec "$(ns_of "$name")" setsid "$@" </dev/null >>"$d/log/$what.out" 2>&1 &
  echo "$! $name $what" >>"$RUN/pids"
}

start_samba() {  # NAME DAEMON
  local d
  d=$(hostdir "$1")
  spawn "$1" "$2" "/usr/sbin/$2" --foreground --no-process-group -s "$d/smb.conf" -l "$d/log"
}

farm_names() { awk '$4 == "farm" { print $1 }' <<<"$HOSTS"; }

# The farm's daemons start together; the tarpit beside them.
start_farm() {
  local name
  for name in $(farm_names); do
    start_samba "$name" nmbd
    start_samba "$name" smbd
  done
  local more=() addr
  while read -r name addr; do
    ip -n "$(ns_of TARPIT)" addr add "$addr/24" dev eth0
    more+=("$addr")
  done <<<"$TARPIT_MORE"
  spawn TARPIT tarpit python3 "$HERE/tarpit.py" "$(host_field TARPIT 2)" "${more[@]}"
  # It answers no name query: the client finds it in its hosts file, so a
  # row named TARPIT reaches its SMB ports.
  printf '%s TARPIT\n' "$(host_field TARPIT 2)" >>"/etc/netns/$(ns_of client)/hosts"
  while read -r name addr; do printf '%s %s\n' "$addr" "$name" >>"/etc/netns/$(ns_of client)/hosts"; done <<<"$TARPIT_MORE"
}

start_garbler() {
  echo own >"$RUN/garbler.mode"
  spawn GARBLER garbler python3 "$HERE/nbgarbage.py" --bind "$(host_field GARBLER 2)" \
    --client "$CLIENT_ADDR" --name GARBLER --ok-name GARBLEOK --mode-file "$RUN/garbler.mode"
}

# A uuid of its own for every wsdd, made from the host's name.
wsd_uuid() {  # NAME
  local h
  h=$(printf 'mlk-wsd-%s' "$1" | md5sum | cut -c1-32)
  printf '%s-%s-4%s-8%s-%s' "${h:0:8}" "${h:8:4}" "${h:13:3}" "${h:17:3}" "${h:20:12}"
}

start_wsdd() {  # NAME WORKGROUP
  spawn "$1" wsdd wsdd -4 -i eth0 -p -U "$(wsd_uuid "$1")" -n "$1" -w "$2"
}

# A private system bus, then avahi-daemon on it with a private /run (its pid
# file and socket paths are fixed) and an empty static service folder.
start_avahi() {  # NAME HOST_NAME
  local d
  d=$(hostdir "$1")/avahi
  mkdir -p "$d/services"
  cat >"$d/bus.conf" <<CONF
<busconfig>
  <type>system</type>
  <listen>unix:path=$d/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_type="method_call"/>
    <allow send_type="signal"/>
    <allow send_type="method_return"/>
    <allow send_type="error"/>
    <allow receive_type="method_call"/>
    <allow receive_type="signal"/>
    <allow receive_type="method_return"/>
    <allow receive_type="error"/>
  </policy>
</busconfig>
CONF
  cat >"$d/avahi-daemon.conf" <<CONF
[server]
host-name=$2
domain-name=local
use-ipv4=yes
use-ipv6=no
allow-interfaces=eth0
enable-dbus=yes
ratelimit-interval-usec=1000000
ratelimit-burst=1000
[wide-area]
enable-wide-area=no
[publish]
publish-addresses=yes
publish-hinfo=no
publish-workstation=no
[reflector]
enable-reflector=no
CONF
  spawn "$1" dbus dbus-daemon --nofork --nopidfile --config-file="$d/bus.conf"
  local until=$((SECONDS + 10))
  until [ -S "$d/bus" ]; do
    if deadline_passed "$until"; then die "no system bus for $1"; fi
    sleep 0.05
  done
  spawn_avahi "$1"
}

spawn_avahi() {  # NAME
  local d
  d=$(hostdir "$1")/avahi
  spawn "$1" avahi env DBUS_SYSTEM_BUS_ADDRESS="$(bus_of "$1")" \
    unshare --mount --propagation private sh -c \
    'mount -t tmpfs -o mode=0755 tmpfs /run && mount --bind "$0" /etc/avahi/services &&
     exec avahi-daemon --file="$1" --no-drop-root --no-chroot --no-rlimits' "$d/services" "$d/avahi-daemon.conf"
}

# The client's avahi-daemon stopped and started again on the same bus.
cmd_restart_avahi() {
  local out started
  out=$(hostdir client)/log/avahi.out
  started=$(grep -c 'Server startup complete' "$out" || true)
  stop_recorded client avahi
  spawn_avahi client
  local until=$((SECONDS + 20))
  until [ "$(grep -c 'Server startup complete' "$out" || true)" -gt "$started" ]; do
    if deadline_passed "$until"; then die "the client's avahi-daemon did not start again"; fi
    sleep 0.1
  done
}

start_llmnr_peer() {
  ip -n "$(ns_of LLMNRPC)" addr add "$LLMNR_FORGER/24" dev eth0
  spawn LLMNRPC llmnrpeer python3 "$HERE/llmnrpeer.py" --bind "$(host_field LLMNRPC 2)" \
    --client "$CLIENT_ADDR" --name LLMNRPC --bad-name LLMNRBAD --forged-from "$LLMNR_FORGER" --forged-name FORGED
}

start_flooder() {
  spawn FLOODER flooder python3 "$HERE/floodpeer.py" --bind "$(host_field FLOODER 2)" --client "$CLIENT_ADDR" \
    --name FLOODME
}

# The announcers of today's LANs: ready within seconds, well inside the
# master browser's election, so they add nothing to the start-up time.
start_modern() {
  start_avahi client mlkclient
  start_avahi MDNSHOST mdnshost
  # No nmbd there: a stand-in answers node status only, naming TESTGROUP.
  spawn MDNSHOST nbstatus python3 "$HERE/nbgarbage.py" --bind "$(host_field MDNSHOST 2)" \
    --client "$CLIENT_ADDR" --name MDNSHOST --ok-name MDNSHOST --mode-file /dev/null --status-only TESTGROUP
  start_samba WSDHOST smbd
  start_wsdd WSDHOST TESTGROUP
  start_wsdd MEMBER1 TESTGROUP
  spawn WSDHOST llmnrd llmnrd -i eth0 -H WSDHOST
  start_llmnr_peer
  start_flooder
  spawn FORGER wsdforger python3 "$HERE/wsdforger.py" serve --bind "$(host_field FORGER 2)"
}

start_mdns_smbd() {
  spawn MDNSHOST smbd env DBUS_SYSTEM_BUS_ADDRESS="$(bus_of MDNSHOST)" /usr/sbin/smbd --foreground \
    --no-process-group -s "$(hostdir MDNSHOST)/smb.conf" -l "$(hostdir MDNSHOST)/log"
}

# --- readiness --------------------------------------------------------------

deadline_passed() { [ "$SECONDS" -ge "$1" ]; }

# Output is read whole before it is searched: a grep -q that leaves early
# would break the writer's pipe and fail the pipeline under pipefail.
client_output() {
  in_client "$@" 2>/dev/null || true
}

wait_master() {  # WORKGROUP ADDRESS DEADLINE
  until grep -q "^$2 " <<<"$(client_output nmblookup -s "$RUN/client/tools.conf" -M -- "$1")"; do
    if deadline_passed "$3"; then die "no master browser for $1 in time"; fi
    sleep 0.5
  done
}

browse_list_has_all() {
  local out name
  # smbtree crashes on an empty user name, so browse as guest.
  out=$(client_output timeout 20 smbtree -s "$RUN/client/tools.conf" -U guest% -S |
    awk '/^[^\t]/ { wg = $1 } wg == "TESTGROUP" && /^\t/ { print $1 }')
  for name in WGMASTER MEMBER1 MEMBER2 LATEHOST BIGSHARE; do
    grep -qx "\\\\\\\\$name" <<<"$out" || return 1
  done
}

wait_browse_list() {  # DEADLINE
  until browse_list_has_all; do
    if deadline_passed "$1"; then die "browse list of TESTGROUP incomplete in time"; fi
    sleep 1
  done
}

wait_shares() {  # NAME DEADLINE
  local addr
  addr=$(host_field "$1" 2)
  until grep -q '^Disk|' <<<"$(client_output smbclient -N -g -L "//$addr")"; do
    if deadline_passed "$2"; then die "no share list from $1 in time"; fi
    sleep 0.3
  done
}

# Right after start-up a host now and then let a first name query or a first
# connection to port 445 go unanswered for a second (seen on this 2-core
# machine while the LAN's daemons settle). The LAN counts as ready once every
# host answers both within a second, three times running.
wait_prompt() {  # NAME DEADLINE
  local addr streak=0
  addr=$(host_field "$1" 2)
  while [ $streak -lt 3 ]; do
    if grep -q "^$addr " <<<"$(client_output timeout 1 nmblookup -s "$RUN/client/tools.conf" -- "$1")" &&
      in_client timeout 1 bash -c "exec 3<>/dev/tcp/$addr/445" 2>/dev/null; then
      streak=$((streak + 1))
    else
      streak=0
      if deadline_passed "$2"; then die "$1 does not answer promptly"; fi
      sleep 0.3
    fi
  done
}

listening() {  # NAME PROTO(u|t) PORT
  grep -q ":$3 " <<<"$(ip netns exec "$(ns_of "$1")" ss -Hl"$2"n 2>/dev/null || true)"
}

wait_listening() {  # NAME PROTO PORT DEADLINE
  until listening "$1" "$2" "$3"; do
    if deadline_passed "$4"; then die "nothing listens on $2 $3 on $1"; fi
    sleep 0.2
  done
}

wait_avahi() {  # NAME DEADLINE
  until grep -q 'Server startup complete' "$(hostdir "$1")/log/avahi.out" 2>/dev/null; do
    if deadline_passed "$2"; then die "avahi-daemon of $1 did not start"; fi
    sleep 0.1
  done
}

# The client's avahi-daemon sees MDNSHOST's SMB service with its address.
wait_dnssd() {  # DEADLINE
  until grep -q "^=;eth0;IPv4;MDNSHOST;_smb._tcp;local;mdnshost.local;$(host_field MDNSHOST 2);445;" \
    <<<"$(client_output timeout 10 avahi-browse -rtpk _smb._tcp)"; do
    if deadline_passed "$1"; then die "MDNSHOST not found by DNS-SD in time"; fi
    sleep 0.3
  done
}

wait_modern() {  # DEADLINE
  local name
  for name in WSDHOST MEMBER1; do
    wait_listening "$name" u 3702 "$1"
    wait_listening "$name" t 5357 "$1"
  done
  wait_listening WSDHOST u 5355 "$1"
  wait_listening WSDHOST t 445 "$1"
  wait_listening LLMNRPC u 5355 "$1"
  wait_listening LLMNRPC u 5353 "$1"
  wait_listening MDNSHOST u 137 "$1"
  wait_listening FLOODER u 5353 "$1"
  wait_listening FORGER t 5357 "$1"
  wait_avahi client "$1"
  wait_dnssd "$1"
}

wait_garbler() {  # DEADLINE
  until grep -q ':137 ' <<<"$(ip netns exec "$(ns_of GARBLER)" ss -Hlun 2>/dev/null || true)"; do
    if deadline_passed "$1"; then die "garbage responder did not start"; fi
    sleep 0.2
  done
}

# --- subcommands ------------------------------------------------------------

cmd_start() {
  [ "$(id -u)" = 0 ] || die "needs root"
  if [ -e "$RUN/pids" ]; then die "a LAN is already running under $RUN"; fi
  mkdir -p "$RUN"
  chmod 0755 "$RUN"
  : >"$RUN/netns"
  : >"$RUN/pids"
  echo "mlk$$" >"$RUN/tag"
  # Whatever fails from here on, nothing of the LAN is left behind.
  trap 'log "start failed; cleaning up"; cmd_stop' EXIT
  local t0=$SECONDS deadline=$((SECONDS + READY_SECONDS))
  make_lan
  write_client_files
  local name addr wg role
  while read -r name addr wg role; do
    case $role in
      garbage | llmnr | flood | hello | forger | vault | spoofer | tarpit | nosmb | nolist | garbsmb) ;;
      *) write_host_conf "$name" "$addr" "$wg" "$role" ;;
    esac
  done <<<"$HOSTS"

  start_samba WGMASTER nmbd
  start_samba WGMASTER smbd
  start_samba OTHERPC nmbd
  start_samba OTHERPC smbd
  start_garbler
  write_locked_conf
  start_locked
  provision_dc &
  local dc_job=$!
  start_modern
  start_spoof_pair
  start_failing_peers
  # MDNSHOST's smbd registers its service once its avahi-daemon is up.
  wait_avahi MDNSHOST "$deadline"
  start_mdns_smbd
  wait_master TESTGROUP "$(host_field WGMASTER 2)" "$deadline"
  log "master browser elected after $((SECONDS - t0)) s"
  # Members announce themselves fastest once the master has won.
  for name in MEMBER1 MEMBER2 BIGSHARE; do
    start_samba "$name" nmbd
    start_samba "$name" smbd
  done
  silence_tcp LATEHOST
  start_samba LATEHOST nmbd
  start_farm
  wait_garbler "$deadline"
  wait_master OTHERGRP "$(host_field OTHERPC 2)" "$deadline"
  for name in WGMASTER MEMBER1 MEMBER2 BIGSHARE OTHERPC $(farm_names); do wait_shares "$name" "$deadline"; done
  wait_listening TARPIT t 445 "$deadline"
  log "share lists served after $((SECONDS - t0)) s"
  wait_browse_list "$deadline"
  wait_locked "$deadline"
  if wait "$dc_job"; then start_dc "$deadline"; else log "no domain controller: $(tail -n 1 "$(hostdir ADDC)/dc/provision.log" 2>/dev/null)"; fi
  for name in WGMASTER MEMBER1 MEMBER2 BIGSHARE OTHERPC; do wait_prompt "$name" "$deadline"; done
  wait_spoof_pair "$deadline"
  wait_failing_peers "$deadline"
  log "browse list and NetBIOS peers ready after $((SECONDS - t0)) s"
  wait_modern "$deadline"
  trap - EXIT
  log "ready after $((SECONDS - t0)) s"
  cmd_status
}

cmd_status() {
  printf 'LAN %s (tag %s)\n' "$RUN" "$(tag)"
  printf '  %-10s %-12s %-10s %s\n' CLIENT "$CLIENT_ADDR" TESTGROUP "client ($(ns_of client))"
  local name addr wg role
  while read -r name addr wg role; do
    printf '  %-10s %-12s %-10s %s\n' "$name" "$addr" "$wg" "$role"
  done <<<"$HOSTS"
}

cmd_start_late_smbd() {
  if grep -q ' LATEHOST smbd$' "$RUN/pids"; then return 0; fi
  start_samba LATEHOST smbd
  ip -n "$(ns_of LATEHOST)" rule del pref 100
  wait_shares LATEHOST $((SECONDS + 30))
}

# Stops every process of the LAN by PID: the recorded daemons, the RPC helpers
# through their pid files, and whatever else still runs in a LAN namespace
# (daemon children). A recorded PID counts only while it still lives in one of
# the LAN's namespaces, so a reused PID is never signalled. Then deletes the
# namespaces and their /etc/netns files.
cmd_stop() {
  [ -d "$RUN" ] || return 0
  local pids=() ours=() pid ns f
  if [ -f "$RUN/netns" ]; then
    while read -r ns; do
      if [ -n "$ns" ]; then ours+=("$ns"); fi
    done <"$RUN/netns"
  fi
  if [ -f "$RUN/pids" ]; then
    while read -r pid _; do pids+=("$pid"); done <"$RUN/pids"
  fi
  for f in "$RUN"/h/*/pid/samba-dcerpcd.pid; do
    if [ -f "$f" ]; then pids+=("$(tr -dc 0-9 <"$f")"); fi
  done
  local mine=()
  for pid in "${pids[@]}"; do
    if [ -n "$pid" ] && in_lan_ns "$pid" "${ours[@]}"; then mine+=("$pid"); fi
  done
  stop_pids "${mine[@]}"
  for ns in "${ours[@]}"; do
    # daemon children, and anything started in the client namespace
    if [ -e "/run/netns/$ns" ]; then stop_pids $(ip netns pids "$ns" 2>/dev/null || true); fi
    ip netns del "$ns" 2>/dev/null || true
    rm -rf "/etc/netns/${ns:?}"
  done
  rmdir /etc/netns 2>/dev/null || true
  if [ -n "${MLK_LAN_KEEP:-}" ]; then
    rm -f "$RUN/pids"
    log "kept $RUN"
  else
    rm -rf "${RUN:?}"
  fi
}

in_lan_ns() {  # PID NAMESPACE...
  local pid=$1 where ns
  shift
  where=$(ip netns identify "$pid" 2>/dev/null) || return 1
  for ns in "$@"; do
    if [ "$where" = "$ns" ]; then return 0; fi
  done
  return 1
}

stop_pids() {
  local live=() pid i
  for pid in "$@"; do
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then live+=("$pid"); fi
  done
  [ ${#live[@]} -gt 0 ] || return 0
  kill -TERM "${live[@]}" 2>/dev/null || true
  for i in $(seq 50); do
    local left=()
    for pid in "${live[@]}"; do if kill -0 "$pid" 2>/dev/null; then left+=("$pid"); fi; done
    [ ${#left[@]} -gt 0 ] || return 0
    live=("${left[@]}")
    sleep 0.1
  done
  kill -KILL "${live[@]}" 2>/dev/null || true
}

# A daemon a test stops: the recorded PID, signalled and forgotten.
stop_recorded() {  # NAME WHAT
  local pid
  pid=$(awk -v n="$1" -v w="$2" '$2 == n && $3 == w { print $1 }' "$RUN/pids" | tail -n 1)
  if [ -n "$pid" ] && in_lan_ns "$pid" "$(ns_of "$1")"; then stop_pids "$pid"; fi
  sed -i "/ $1 $2\$/d" "$RUN/pids"
}

cmd_hello_up() {
  if grep -q ' HELLOPC wsdd$' "$RUN/pids"; then return 0; fi
  # verbose: its log shows every Probe, Resolve and metadata request it answers
  spawn HELLOPC wsdd wsdd -4 -v -i eth0 -p -U "$(wsd_uuid HELLOPC)" -n HELLOPC -w TESTGROUP
  wait_listening HELLOPC t 5357 $((SECONDS + 20))
}

cmd_rename_hello() {
  local pid
  pid=$(awk '$2 == "HELLOPC" && $3 == "wsdd" { print $1 }' "$RUN/pids" | tail -n 1)
  if [ -n "$pid" ] && in_lan_ns "$pid" "$(ns_of HELLOPC)"; then
    kill -KILL "$pid"  # no Bye
    while kill -0 "$pid" 2>/dev/null; do sleep 0.05; done
  fi
  sed -i '/ HELLOPC wsdd$/d' "$RUN/pids"
  spawn HELLOPC wsdd wsdd -4 -v -i eth0 -p -U "$(wsd_uuid HELLOPC)" -n "$1" -w TESTGROUP
  wait_listening HELLOPC t 5357 $((SECONDS + 20))
  sleep 1  # its own Hello (version 1) first
  ip netns exec "$(ns_of HELLOPC)" python3 "$HERE/wsdforger.py" hello --bind "$(host_field HELLOPC 2)" \
    --endpoint "urn:uuid:$(wsd_uuid HELLOPC)" --metadata-version 2
}

cmd_withdraw_dnssd() { stop_recorded MDNSHOST smbd; }

# Every process of a host's file service: smbd, its per-connection children
# and helpers, and the RPC daemons it starts on demand (samba-dcerpcd and its
# rpcd_* workers). nmbd stays.
smbd_pids() {  # NAME
  local pid
  for pid in $(ip netns pids "$(ns_of "$1")" 2>/dev/null); do
    case $(cat "/proc/$pid/comm" 2>/dev/null) in
      smbd | smbd-notifyd | cleanupd | samba-dcerpcd | rpcd_*) echo "$pid" ;;
    esac
  done
}

cmd_freeze_smbd() {  # NAME
  local pid
  for pid in $(smbd_pids "$1"); do kill -STOP "$pid" 2>/dev/null || true; done
}

cmd_stop_smbd() {  # NAME
  local pid
  for pid in $(smbd_pids "$1"); do kill -KILL "$pid" 2>/dev/null || true; done
  for pid in $(smbd_pids "$1"); do while kill -0 "$pid" 2>/dev/null; do sleep 0.05; done; done
  sed -i "/ $1 smbd\$/d" "$RUN/pids"
}

cmd_cold_smbd() {  # NAME...
  local name
  for name; do
    cmd_stop_smbd "$name"
    start_samba "$name" smbd
  done
  for name; do wait_listening "$name" t 445 $((SECONDS + 30)); done
}

cmd_start_smbd() {  # NAME
  if [ -n "$(smbd_pids "$1")" ]; then return 0; fi
  start_samba "$1" smbd
  wait_shares "$1" $((SECONDS + 30))
}

cmd_restore_dnssd() {
  if grep -q ' MDNSHOST smbd$' "$RUN/pids"; then return 0; fi
  start_mdns_smbd
  wait_dnssd $((SECONDS + 30))
}

cmd_garbage_mode() {
  case ${1:-} in own | all) echo "$1" >"$RUN/garbler.mode" ;; *) die "garbage-mode own|all" ;; esac
}

case ${1:-} in
  start) cmd_start ;;
  stop) cmd_stop ;;
  status) cmd_status ;;
  start-late-smbd) cmd_start_late_smbd ;;
  freeze-smbd) cmd_freeze_smbd "${2:?freeze-smbd NAME}" ;;
  stop-smbd) cmd_stop_smbd "${2:?stop-smbd NAME}" ;;
  start-smbd) cmd_start_smbd "${2:?start-smbd NAME}" ;;
  cold-smbd) shift; cmd_cold_smbd "$@" ;;
  garbage-mode) shift; cmd_garbage_mode "$@" ;;
  hello-up) cmd_hello_up ;;
  hello-down) stop_recorded HELLOPC wsdd ;;
  rename-hello) cmd_rename_hello "${2:?rename-hello NAME}" ;;
  forge-hellos)
    ip netns exec "$(ns_of FORGER)" python3 "$HERE/wsdforger.py" hello --bind "$(host_field FORGER 2)" \
      --endpoint "urn:uuid:$(wsd_uuid WSDHOST)" --count "${2:?forge-hellos N}" ;;
  withdraw-dnssd) cmd_withdraw_dnssd ;;
  restore-dnssd) cmd_restore_dnssd ;;
  restart-avahi) cmd_restart_avahi ;;
  spoof) shift; cmd_spoof "$@" ;;
  exec-client)
    shift
    [ $# -gt 0 ] || die "exec-client CMD..."
    in_client "$@" ;;
  client-ns) ns_of client; echo ;;
  *) die "usage: testlan.sh start|stop|status|start-late-smbd|freeze-smbd NAME|stop-smbd NAME|start-smbd NAME|cold-smbd NAME...|garbage-mode own|all|hello-up|hello-down|rename-hello NAME|forge-hellos N|withdraw-dnssd|restore-dnssd|restart-avahi|spoof NAME|exec-client CMD..." ;;
esac
