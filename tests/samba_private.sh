# Sourced by the Samba fixtures: every daemon of a test keeps its state under
# a directory of its own, never in the machine's Samba folders.
#   samba_private_dirs DIR   creates the folders and prints the [global] lines
samba_private_dirs() {
  local d=$1 sub
  for sub in lock state cache pid private ncalrpc; do mkdir -p "$d/$sub"; done
  printf '  %s = %s\n' "lock directory" "$d/lock" "state directory" "$d/state" "cache directory" "$d/cache" \
    "pid directory" "$d/pid" "private dir" "$d/private" "ncalrpc dir" "$d/ncalrpc"
}

# The [global] lines the test servers share: guests mapped to nobody, no
# user shares, registry shares or printer list from the system, the state
# folders (samba_private_dirs) and the log under DIR.
#   samba_test_globals DIR
samba_test_globals() {
  samba_private_dirs "$1"
  printf '  %s\n' "map to guest = bad user" "guest account = nobody" "usershare path =" "registry shares = no" \
    "load printers = no" "printing = bsd" "log file = $1/log.%m"
}

# A read-only share that guests may open.
#   samba_guest_share NAME PATH
samba_guest_share() {
  printf '[%s]\n  path = %s\n  guest ok = yes\n  read only = yes\n' "$1" "$2"
}

# Runs a command (the fixture's stop) once the test process named by
# $MLK_FIXTURE_OWNER is gone, however it ended: a test that aborts (a
# sanitizer's report, a crash) leaves no server behind. Nothing without it.
#   stop_when_owner_exits CMD...
stop_when_owner_exits() {
  [ -n "${MLK_FIXTURE_OWNER:-}" ] || return 0
  (
    while kill -0 "$MLK_FIXTURE_OWNER" 2>/dev/null; do sleep 1; done
    "$@"
  ) </dev/null >/dev/null 2>&1 &
}
