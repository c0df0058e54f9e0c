#!/usr/bin/env bash
# Programs examples/blink.txt into a virtual MSP430F149 over its bootstrap loader, reads the chip
# back and shows that the read-back holds the programmed bytes; then programs the same chip again over
# its JTAG port on a virtual parallel-port cable and reads it back through the loader.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j2 --target quarzo quarzo-sim >/dev/null

export QUARZO_INI="$PWD/build/demo.ini"
out=build/demo-sim.out
cable="$PWD/build/demo-cable"
rm -f "$out" build/readback.txt build/readback-jtag.txt
build/bin/quarzo-sim --trace build/demo-trace.txt --lpt "$cable" >"$out" &
sim=$!
trap 'kill $sim 2>/dev/null || true' EXIT
for _ in $(seq 100); do
    [ -s "$out" ] && break
    sleep 0.05
done
pty=$(head -n1 "$out")
echo "Virtual MSP430F149 with its loader 1.61 on $pty, its JTAG cable on $cable"

echo
echo "\$ quarzo +ebpv examples/blink.txt -BSL=$pty"
build/bin/quarzo +ebpv examples/blink.txt "-BSL=$pty"

echo
# The programmed chip's loader opens only with its vectors: the firmware file supplies them.
echo "\$ quarzo +r examples/blink.txt -o build/readback.txt -BSL=$pty"
build/bin/quarzo +r examples/blink.txt -o build/readback.txt "-BSL=$pty"

# The read-back also holds erased cells beside the program; compare the program's two ranges.
compare() {
    if srec_cmp examples/blink.txt -ti-txt "$1" -ti-txt -crop 0x1100 0x111E 0xFFE0 0x10000 >/dev/null; then
        echo "The read-back ($1) holds the programmed bytes:"
        cat "$1"
    else
        echo "The read-back $1 differs from examples/blink.txt:" >&2
        srec_cmp examples/blink.txt -ti-txt "$1" -ti-txt -crop 0x1100 0x111E 0xFFE0 0x10000 -v >&2 || true
        exit 1
    fi
}
echo
compare build/readback.txt

echo
echo "\$ quarzo +ebpv examples/blink.txt -RAW=$cable"
build/bin/quarzo +ebpv examples/blink.txt "-RAW=$cable"

echo
echo "\$ quarzo +r examples/blink.txt -o build/readback-jtag.txt -BSL=$pty"
build/bin/quarzo +r examples/blink.txt -o build/readback-jtag.txt "-BSL=$pty"
echo
compare build/readback-jtag.txt

echo "Loader frames exchanged: $(grep -c '^[RT]X' build/demo-trace.txt) lines; JTAG shifts: \
$(grep -c '^[ID]R' build/demo-trace.txt) lines; all in build/demo-trace.txt"
