#!/usr/bin/env bash
# Installs, builds and runs every test. The suite runs inside a network
# namespace of its own (loopback only), so no test can reach a real network;
# tests that need more build their own namespaces inside it.
#   scripts/test.sh [--sanitize | --tsan] [ctest arguments...]
# --sanitize builds into build-sanitize with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs the same suite there: any report of
# either fails the test that made it.
# --tsan builds what runs on several threads into build-tsan with
# ThreadSanitizer and runs its tests there: the share tree (engine, window,
# a real smbd, the test LAN's tree cases), the SMB helper pool, the
# companion library, the listing engine's browse reads, and the window's
# off-thread calls (追加's connection check, the watch's ticks, the
# conversion box, the listing), the avahi-daemon source's own thread, the
# logon sequence the share tree's workers run, and the subcommands (the
# program itself run by the command line's test: its workers, the prompt
# relay, the timeout).
set -euo pipefail
cd "$(dirname "$0")/.."
sanitize=""
if [ "${1:-}" = "--sanitize" ]; then
  sanitize=1
  shift
fi
if [ "${1:-}" = "--tsan" ]; then
  shift
  scripts/install-deps.sh
  build=${BUILD:-build-tsan}
  # Debian's Qt, glib, libdbus and Samba are not built with ThreadSanitizer:
  # what they do through its interceptors (allocation, copies, locks) is not
  # checked (ignore_noninstrumented_modules), while every access of this
  # project's code is, whoever calls it; tests/tsan.supp names the few
  # functions left, each with its reason.
  export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1:suppressions=$PWD/tests/tsan.supp"
  # Qt's own event dispatcher rather than glib's.
  export QT_NO_GLIB=1
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMIRELKA_TSAN=ON -DMIRELKA_BENCH=OFF
  cmake --build "$build" -j"$(nproc)" --target netinfo_test netinfo_pool_test companion_contract_test \
    gui_tree_test gui_share_tree_smb_test lan_e2e mirelka discovery_listing_test gui_watch_test gui_conv_test \
    gui_list_test gui_discovery_test cli_test
  tests='ShareTree|SmbPool|CompanionContract|CompanionResolve|CompanionCheck|LoopbackSmbd|SilentHost'
  tests+='|Listing\.|SearchSource\.|Watch\.|Conversion\.|ManualAdd\.'  # WorkgroupListing, MergedListing, EmptyListing too
  tests+='|AvahiDnsSd\.'
  # The logon sequence (smb_auth_test in netinfo_test; netlib's own Binding
  # cases are not built here).
  tests+='|Attempts\.|Binding\.|PasswordLogon\.|StoredCredentials\.'
  tests+='|CliTest\.'
  if [ "$(id -u)" = 0 ] && unshare --net true 2>/dev/null; then
    unshare --net -- sh -c "ip link set lo up && cd '$build' && ctest --output-on-failure --timeout 600 -R '$tests' $*"
    tests/lan/run-e2e.sh "$PWD/$build/bin/lan_e2e" --gtest_filter='*Tree*'
  else
    (cd "$build" && ctest --output-on-failure -L 'unit|gui' -R "$tests" "$@")
  fi
  exit
fi
scripts/install-deps.sh
if [ -n "$sanitize" ]; then
  export BUILD=${BUILD:-build-sanitize}
  # Set for the build too: it lists each test binary's cases by running it.
  # Full stacks for every allocation (slower): Samba's libraries keep no frame
  # pointers, and the one suppressed leak is known by a frame inside them.
  export ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:strict_init_order=1:fast_unwind_on_malloc=0
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
  # The Windows program on the test LAN ran in the plain run already.
  scripts/build.sh -DMIRELKA_SANITIZE=ON -DMIRELKA_BENCH=OFF -DMIRELKA_WINDOWS_BIN=
else
  scripts/build.sh
fi
build=${BUILD:-build}

# Windows: the cross-built DLL, libraries and tests under Wine, in a namespace
# of their own (says so and skips when MinGW-w64 or Wine is missing). Not
# again in the sanitizer run, which has no Windows build of its own.
windows=0
[ -n "$sanitize" ] || scripts/test-windows.sh || windows=$?

status=0
if [ "$(id -u)" = 0 ] && unshare --net true 2>/dev/null; then
  unshare --net -- sh -c "ip link set lo up && cd '$build' && ctest --output-on-failure --timeout 600 $*" || status=$?
else
  echo "Not root or no network namespaces here: running only the unit and window tests;"
  echo "the integration tests (real Samba servers, test LAN) are skipped."
  (cd "$build" && ctest --output-on-failure -L 'unit|gui' "$@") || status=$?
fi
[ "$windows" = 0 ] || echo "The Windows tests under Wine failed (see above)." >&2
[ "$status" = 0 ] && exit "$windows"
exit "$status"
