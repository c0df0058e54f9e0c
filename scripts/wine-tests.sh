#!/usr/bin/env bash
# Runs the Windows build's tests under Wine: the unit tests, then the window tests, which drive the
# real quarzo.exe under a virtual X server, with quarzo-sim's pseudo-terminal mapped to COM1 and COM12.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build-win64
bin=$build/bin
export WINEPREFIX="$PWD/$build/wineprefix"
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=-all
export WINEARCH=win64

# A fresh prefix each time, so no state from an earlier run can make a test pass.
wineserver -k >/dev/null 2>&1 || true
rm -rf "$WINEPREFIX"
wineboot -i >/dev/null 2>&1

status=0
for test in core_tests engine_tests bsl_tests jtag_tests ui_model_tests fet_dll_tests; do
    echo "== $test.exe (wine)"
    if ! wine "$bin/$test.exe" --gtest_brief=1 >"$build/$test.log" 2>&1; then status=1; fi
    tr -d '\r' <"$build/$test.log" | grep -v '^Running main()'
done

sim_out=$build/ui-sim.out
build/bin/quarzo-sim --trace "$build/ui-sim-trace.txt" >"$sim_out" &
sim=$!
trap 'kill $sim 2>/dev/null || true; wineserver -k >/dev/null 2>&1 || true' EXIT
for _ in $(seq 100); do [ -s "$sim_out" ] && break; sleep 0.05; done
pty=$(head -n1 "$sim_out")
for port in COM1 COM12; do
    wine reg add 'HKLM\Software\Wine\Ports' /v $port /d "$pty" /f >/dev/null 2>&1
done
wineserver -k >/dev/null 2>&1 || true
sleep 1

# The window tests at three display scales (Wine's system DPI): 100% keeps the screenshots' usual
# place, the others land beside them.
for dpi in 96 144 192; do
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d $dpi /f >/dev/null 2>&1
    wineserver -k >/dev/null 2>&1 || true
    sleep 1
    shots="$PWD/$build/screenshots"
    [ $dpi -ne 96 ] && shots="$shots/dpi$dpi"
    rm -rf "$shots" && mkdir -p "$shots"
    results="$PWD/$build/ui-results-$dpi.xml"
    rm -f "$results"
    echo "== ui_driver.exe (wine, Xvfb, $dpi DPI, COM1 and COM12 = $pty)"
    # The wine server started here inherits these streams; keep them quiet.
    shots_win=$(winepath -w "$shots" 2>/dev/null)
    results_win=$(winepath -w "$results" 2>/dev/null)
    QUARZO_UI_COM1=1 QUARZO_UI_DPI=$dpi QUARZO_SCREENSHOTS="$shots_win" \
        xvfb-run -a -s "-screen 0 1600x1200x24" \
        wine explorer /desktop=quarzo,1600x1200 "$bin/ui_driver.exe" "--gtest_output=xml:$results_win" \
        >"$build/ui-driver-$dpi.log" 2>&1 || true
    for bmp in "$shots"/*.bmp; do
        [ -e "$bmp" ] && convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
    done
    if [ ! -s "$results" ] || ! grep -q 'failures="0"' "$results" || ! grep -q 'errors="0"' "$results"; then
        echo "ui tests failed at $dpi DPI:" >&2
        tr -d '\r' <"$build/ui-driver-$dpi.log" >&2 || true
        grep -A3 '<failure' "$results" >&2 || true
        status=1
    else
        grep -o 'tests="[0-9]*" failures="0"' "$results" | head -n1
    fi
done
exit $status
