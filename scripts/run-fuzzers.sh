#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz": clang, address + undefined sanitizers) and runs
# each for its share of SECONDS (default 60) from the committed seed corpus. Any crash, sanitizer
# report or leak fails the script.
#   scripts/run-fuzzers.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."

total=${1:-60}
targets=(
  "tarvel_FuzzCatalogueLookup:tests/fuzz/i18n/corpus/catalogue"
  "tarvel_FuzzStoredCatalogueTable:tests/fuzz/i18n/corpus/table"
  "tarvel_FuzzDeviceDialogue:tests/fuzz/sim/corpus"
  "tarvel_FuzzReceiveBuffer:tests/fuzz/serial/corpus"
  "tarvel_FuzzBootLoaderSession:tests/fuzz/session/corpus"
  "tarvel_FuzzImageCheck:tests/fuzz/firmware/corpus"
  "tarvel_FuzzTerminalText:tests/fuzz/terminal/corpus"
)
share=$(( total / ${#targets[@]} ))
if [ "$share" -lt 1 ]; then share=1; fi

cmake --preset fuzz >/dev/null
names=()
for entry in "${targets[@]}"; do names+=("${entry%%:*}"); done
cmake --build --preset fuzz -j2 --target "${names[@]}"

work=build/fuzz/corpus
artifacts=build/fuzz/artifacts
mkdir -p "$artifacts"
status=0
for entry in "${targets[@]}"; do
  target=${entry%%:*}
  seeds=${entry#*:}
  corpus="$work/$target"
  mkdir -p "$corpus"
  echo "== $target: ${share}s =="
  # The committed seeds stay untouched; new inputs go to the working corpus in the build tree.
  if ! "build/fuzz/bin/$target" "$corpus" "$seeds" \
      -max_total_time="$share" -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="$artifacts/$target-" -print_final_stats=1; then
    echo "!! $target failed; reproducer in $artifacts" >&2
    status=1
  fi
done
exit $status
