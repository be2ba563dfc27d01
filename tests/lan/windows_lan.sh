#!/usr/bin/env bash
# The Windows program on the test LAN under Wine, beside the Linux program
# on the same LAN: run-e2e.sh runs this in the client's namespace when
# MLK_LAN_WINDOWS names the cross-build's bin folder.
#   windows_lan.sh WINDOWS_BIN LINUX_PROGRAM
# `mirelka.com list` must find what the Linux program finds through
# WS-Discovery and DNS-SD (the program's own mDNS browse on Windows), with the
# same addresses; `resolve` must answer a NetBIOS, an LLMNR and an mDNS name
# as the Linux program does. What Wine cannot do is said and left out: the
# browse list, since Wine has no network provider. Prints the times.
set -uo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
bin=$(realpath "$1")
linux=$2
work=$(mktemp -d /tmp/mlk-lanwine.XXXXXX)
export WINEPREFIX=$work/prefix
trap '"$here/scripts/wine-run.sh" --stop; rm -rf "$work"' EXIT
ms() { echo $(( ($(date +%s%N) - $1) / 1000000 )); }

t=$(date +%s%N)
"$here/scripts/wine-run.sh" --start
echo "windows_lan: fresh Wine prefix $(ms "$t") ms"

# run NAME PROGRAM ARGS...: the JSON in $work/NAME.json, standard error in
# $work/NAME.err, the exit code in $work/NAME.code.
run() {
  local name=$1 t
  shift
  t=$(date +%s%N)
  "$@" >"$work/$name.json" 2>"$work/$name.err"
  echo $? >"$work/$name.code"
  echo "windows_lan: $name $(ms "$t") ms"
}
names=(MEMBER2 WSDHOST mdnshost.local)
# Through cmd, as typed at a prompt in the program's folder (the console twin).
export WINEDEBUG=-all WINELOADER=/usr/lib/wine/wine64 WINEDLLOVERRIDES='mscoree,mshtml=;winedbg.exe=d'
wincmd() { (cd "$bin" && "$WINELOADER" cmd /c "mirelka $*" </dev/null); }
run windows-list wincmd --json list TESTGROUP
# Whether Wine has a network provider: the browse list's one read, as the
# window makes it (mlk_enum.exe, built beside the program).
run windows-enum "$here/scripts/wine-run.sh" "$bin/mlk_enum.exe" TESTGROUP
run linux-list "$linux" --json list TESTGROUP
run windows-resolve wincmd --json resolve "${names[@]}"
run linux-resolve "$linux" --json resolve "${names[@]}"

python3 - "$work" <<'EOF'
import json, sys
work = sys.argv[1]
failed = []
def load(name):
    text = open(f"{work}/{name}.json", encoding="utf-8").read()
    code = int(open(f"{work}/{name}.code").read())
    err = open(f"{work}/{name}.err", encoding="utf-8", errors="replace").read()
    try:
        return json.loads(text), code, err
    except ValueError:
        failed.append(f"{name}: no JSON (exit {code}): {text[:200]!r} {err[:300]!r}")
        return {}, code, err
def check(ok, what):
    print(("ok:   " if ok else "FAIL: ") + what)
    if not ok:
        failed.append(what)

wl, wcode, _ = load("windows-list")
ll, lcode, _ = load("linux-list")
rows = lambda doc: {r["name"].upper(): r for r in doc.get("computers", [])}
win, lin = rows(wl), rows(ll)
check(lcode == 0 and {"WSDHOST", "MDNSHOST"} <= lin.keys(), f"Linux list finds WSDHOST and MDNSHOST (exit {lcode})")
check(wcode == 0, f"Windows list ends 0 (exit {wcode})")
# Every computer WS-Discovery or DNS-SD found for Linux, at the same address,
# found by the same of those two sources.
for name, row in sorted(lin.items()):
    live = sorted(set(row["sources"]) & {"ws-discovery", "dns-sd"})
    if not live:
        continue
    got = win.get(name)
    check(got is not None and got["address"] == row["address"] and
          set(live) <= set(got["sources"]),
          f"Windows list: {name} at {row['address']} by {','.join(live)}"
          f" (Windows: {got and got['address']} by {got and ','.join(got['sources'])})")
# The browse list's computers, unless Wine has no network provider.
only_browse = sorted(n for n, r in lin.items() if set(r["sources"]) == {"browse-list"})
enum_err = open(f"{work}/windows-enum.err", encoding="utf-8", errors="replace").read()
if int(open(f"{work}/windows-enum.code").read()) != 0 and "ERROR_NO_NETWORK" in enum_err:
    print(f"skipped under Wine: the browse list ({', '.join(only_browse)}): WNetOpenEnumW answers"
          " ERROR_NO_NETWORK (Wine has no network provider)")
else:
    check(len(only_browse) >= 4, f"Linux list has the browse list's computers ({', '.join(only_browse)})")
    for name in only_browse:
        check(name in win and win[name]["address"] == lin[name]["address"],
              f"Windows list: {name} from the browse list ({enum_err.strip()})")
extra = sorted(set(win) - set(lin) - {"HELLOPC"})
check(not extra, f"Windows list names no computer Linux does not ({', '.join(extra) or 'none'})")

wr, wrcode, _ = load("windows-resolve")
lr, lrcode, _ = load("linux-resolve")
check(wrcode == 0 and lrcode == 0, f"resolve answers every name (Windows exit {wrcode}, Linux {lrcode})")
for w, l in zip(wr.get("results", []), lr.get("results", [])):
    check(w.get("ok") and (w.get("address"), w.get("source")) == (l.get("address"), l.get("source")),
          f"resolve {l.get('query')}: {w.get('address')} by {w.get('source')}"
          f" (Linux: {l.get('address')} by {l.get('source')})")
check(len(wr.get("results", [])) == len(lr.get("results", [])) == 3, "resolve gives three results on both")
if failed:
    sys.exit(1)
EOF
