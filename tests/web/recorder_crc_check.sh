#!/usr/bin/env bash
# The web build computes the same pictures: its recorder, compiled to WebAssembly and run by
# Node.js, must print the same CRC line for every frame of both programs as the native recorder,
# with keys that switch warps and schemes and drive the decay to both of its bounds.
#   tests/web/recorder_crc_check.sh NATIVE_BUILD_DIR WASM_BUILD_DIR
set -euo pipefail
native=$1
wasm=$2
frames=400
keys=10:space,30:left,31:left,32:left,50:space,70:up,71:up,72:up,73:up,74:up,75:up,76:up
keys+=,100:space,101:space,130:down,131:down,132:down,133:down,134:down,135:down,136:down,137:down
keys+=,138:down,139:down,140:down,141:down,200:space,250:right,300:space,301:space,302:space

for recorder in "$native/tools/sorvel-record" "$wasm/tools/sorvel-record.js"; do
  [ -f "$recorder" ] || { echo "FAILED: $recorder is missing (build it first)"; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

status=0
for program in sorvel2 sorvel; do
  "$native/tools/sorvel-record" "$program" --frames "$frames" --keys "$keys" --crc >"$work/native"
  timeout 300 node "$wasm/tools/sorvel-record.js" "$program" --frames "$frames" --keys "$keys" --crc \
    >"$work/wasm"
  if [ "$(wc -l <"$work/native")" -ne "$frames" ]; then
    echo "FAILED: $program: the native recorder printed $(wc -l <"$work/native") CRC lines, not $frames"
    status=1
  elif cmp -s "$work/native" "$work/wasm"; then
    echo "ok: $program: $frames CRC lines identical natively and in WebAssembly under Node.js"
  else
    echo "FAILED: $program: the WebAssembly recorder's CRC lines differ from the native ones:"
    diff "$work/native" "$work/wasm" | head -5
    status=1
  fi
done
# --time prints one line in both builds; the figures are shown, not judged (speed belongs to the
# benchmarks), and the native one is taken at the SSE2 baseline that the web build translates.
for program in sorvel2 sorvel; do
  SORVEL_CPU=sse2 "$native/tools/sorvel-record" "$program" --frames 2000 --time >"$work/native"
  node "$wasm/tools/sorvel-record.js" "$program" --frames 2000 --time >"$work/wasm"
  pattern="^$program: [0-9]+\.[0-9]{2} us per frame over 2000 frames \((sse2|avx2|simd128)\)$"
  if grep -Eqx "$pattern" "$work/native" && grep -Eqx "$pattern" "$work/wasm"; then
    echo "ok: --time: native $(cut -d' ' -f2 "$work/native") us, WebAssembly $(cut -d' ' -f2 "$work/wasm") us per $program frame"
  else
    echo "FAILED: --time did not print one timing line: native '$(cat "$work/native")', WebAssembly '$(cat "$work/wasm")'"
    status=1
  fi
done
# A bad argument is refused there too, with the usage error's exit code.
code=0
node "$wasm/tools/sorvel-record.js" sorvel3 --frames 10 --crc >/dev/null 2>"$work/error" || code=$?
if [ $code -ne 2 ] || ! grep -q "unknown program 'sorvel3'" "$work/error"; then
  echo "FAILED: the WebAssembly recorder on an unknown program: exit code $code, $(cat "$work/error")"
  status=1
fi
exit $status
