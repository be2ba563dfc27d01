# Sourced by the Samba fixtures: every daemon of a test keeps its state under
# a directory of its own, never in the machine's Samba folders.
#   samba_private_dirs DIR   creates the folders and prints the [global] lines
samba_private_dirs() {
  local d=$1 sub
  for sub in lock state cache pid private ncalrpc; do mkdir -p "$d/$sub"; done
  printf '  %s = %s\n' "lock directory" "$d/lock" "state directory" "$d/state" "cache directory" "$d/cache" \
    "pid directory" "$d/pid" "private dir" "$d/private" "ncalrpc dir" "$d/ncalrpc"
}
