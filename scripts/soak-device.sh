#!/usr/bin/env bash
# Fault soak of the device tests under Wine (not part of CI): every row of the
# OstrelCom fault matrix (ostrel_device_tests, Device/FaultMatrix.*) and every
# cardiomodule serial test (device_stm_tests) run N times each (default 200)
# while one CPU-bound process per core loads the machine.  Prints per test:
# runs, expected results (the test passed), wrong results (it failed) and
# transfers that returned S_OK with data differing from the record pattern
# (must be 0), then the totals.
#
#   scripts/soak-device.sh [N] [--only ostrel|stm] [--no-load]
#
# Uses the win64 build (scripts/build.sh win64).  Output of the runs:
# build/win64/soak/*.log.
set -uo pipefail
cd "$(dirname "$0")/.."
n=200 only="" load=1
while [ $# -gt 0 ]; do
  case "$1" in
    --only) only=$2; shift 2 ;;
    --no-load) load=0; shift ;;
    *) n=$1; shift ;;
  esac
done
build=build/win64
[ -f "$build/CTestTestfile.cmake" ] || { echo "soak: $build is not built (scripts/build.sh win64)" >&2; exit 2; }
out=$build/soak
mkdir -p "$out"
root=$build/wine
tools/wine/winerun.sh "$root" --start || exit 1

hogs=()
stop_hogs() { [ ${#hogs[@]} -gt 0 ] && kill "${hogs[@]}" 2>/dev/null; hogs=(); }
trap 'stop_hogs; tools/wine/winerun.sh "$root" --stop' EXIT
if [ $load = 1 ]; then
  for _ in $(seq "$(nproc)"); do (while :; do :; done) & hogs+=($!); done
fi

# Runs one CTest test N times: its fixture set-up tests (the simulators)
# through CTest, then the test's own command line with GoogleTest's repeat
# count and filter in its environment (CTest's time-out of the test does not
# apply), then the fixture clean-up tests.
soak() {  # name filter
  local name=$1 filter=$2 plan=$out/$1.plan
  ctest --test-dir "$build" --show-only=json-v1 | python3 -c '
import json, shlex, sys
name, info = sys.argv[1], json.load(sys.stdin)
props = lambda t: {p["name"]: p["value"] for p in t.get("properties", [])}
test = next((t for t in info["tests"] if t["name"] == name), None)
if test is None:
    sys.exit("no test " + name)
p = props(test)
need = set(p.get("FIXTURES_REQUIRED", []))
def around(kind):
    return "|".join("^%s$" % t["name"] for t in info["tests"] if need & set(props(t).get(kind, [])))
print("setups=" + shlex.quote(around("FIXTURES_SETUP")))
print("cleanups=" + shlex.quote(around("FIXTURES_CLEANUP")))
print("dir=" + shlex.quote(p.get("WORKING_DIRECTORY", ".")))
print("env=(" + " ".join(shlex.quote(e) for e in p.get("ENVIRONMENT", [])) + ")")
print("cmd=(" + " ".join(shlex.quote(a) for a in test["command"]) + ")")' "$name" >"$plan" || return 1
  local setups cleanups dir env cmd
  . "$plan"
  [ -n "$setups" ] && ctest --test-dir "$build" -R "$setups" >/dev/null
  echo "== $name: $n runs of ${filter:-every test}" >&2
  (cd "$dir" && env "${env[@]}" GTEST_REPEAT="$n" GTEST_FILTER="${filter:-*}" "${cmd[@]}") >"$out/$name.log" 2>&1
  [ -n "$cleanups" ] && ctest --test-dir "$build" -R "$cleanups" >/dev/null
  return 0
}

tables=()
[ "$only" != stm ] && soak ostrel_device_tests 'Device/FaultMatrix.*' && tables+=("$out/ostrel_device_tests.log")
[ "$only" != ostrel ] && soak device_stm_tests '' && tables+=("$out/device_stm_tests.log")
stop_hogs

python3 - "$n" "$load" "${tables[@]}" <<'EOF'
import re, sys
n, load, logs = sys.argv[1], sys.argv[2], sys.argv[3:]
ok_re = re.compile(r"^\[       OK \] (\S+) \(\d+ ms\)$")
fail_re = re.compile(r"^\[  FAILED  \] (\S+), .* \(\d+ ms\)$|^\[  FAILED  \] (\S+) \(\d+ ms\)$")
run_re = re.compile(r"^\[ RUN      \] (\S+)$")
total = [0, 0, 0, 0]
print(f"soak: {n} runs per test, machine {'loaded (one busy process per core)' if load == '1' else 'not loaded'}")
for log in logs:
    rows, current = {}, None
    for line in open(log, errors="replace"):
        line = line.rstrip("\n")
        m = run_re.match(line)
        if m:
            current = m.group(1)
            rows.setdefault(current, [0, 0, 0, 0])[0] += 1
            continue
        m = ok_re.match(line)
        if m:
            rows.setdefault(m.group(1), [0, 0, 0, 0])[1] += 1
            continue
        m = fail_re.match(line)
        if m:
            rows.setdefault(m.group(1) or m.group(2), [0, 0, 0, 0])[2] += 1
            continue
        if "S_OK WITH WRONG DATA" in line and current:
            rows[current][3] += 1
    print(f"\n{log}\n")
    print("| test | runs | expected | wrong | S_OK with wrong data |")
    print("|---|---|---|---|---|")
    for name, r in rows.items():
        print(f"| {name} | {r[0]} | {r[1]} | {r[2]} | {r[3]} |")
        total = [a + b for a, b in zip(total, r)]
print(f"\ntotal: {total[0]} runs, {total[1]} expected, {total[2]} wrong, {total[3]} S_OK with wrong data")
sys.exit(0 if total[2] == 0 and total[3] == 0 and total[0] > 0 and total[0] == total[1] else 1)
EOF
