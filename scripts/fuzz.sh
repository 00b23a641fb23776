#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a short while over
# its corpus kept in tests/fuzz (new inputs go to a scratch folder): the
# archive reader, format version 2, the component model's readers (GUIDs,
# type libraries, resources, bitmaps, CF_HDROP, registrar scripts, ELF
# sections), the settings hive, certificate import and a pinentry's replies.
#   scripts/fuzz.sh [SECONDS]   default 20
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
for target in fuzz_archive:corpus fuzz_modern:corpus-modern fuzz_com:corpus-com fuzz_hive:corpus-hive \
    fuzz_certs:corpus-certs fuzz_pinentry:corpus-pinentry; do
  name="${target%%:*}"
  corpus="tests/fuzz/${target#*:}"
  mkdir -p "$scratch/$name"
  ASAN_OPTIONS=fast_unwind_on_malloc=0 \
  LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0" \
    "build/fuzz/bin/$name" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=20 \
    -artifact_prefix="$scratch/" "$scratch/$name" "$corpus" 2>&1 | tail -n 3
  echo "==> $name: no crash in ${seconds} s"
done
