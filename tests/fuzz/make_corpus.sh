#!/bin/bash
# Seed corpus for fuzz_report_descriptor: every .hex descriptor under
# tests/data/descriptors (malformed ones included) written as a binary file.
#   make_corpus.sh OUTDIR [DESCRIPTOR_DIR]
set -euo pipefail

if [[ $# -lt 1 || $# -gt 2 ]]; then
    echo "usage: $0 OUTDIR [DESCRIPTOR_DIR]" >&2
    exit 2
fi

out=$1
src=${2:-$(dirname "$0")/../data/descriptors}
mkdir -p "$out"

count=0
while IFS= read -r -d '' hex; do
    # malformed/push_100.hex -> malformed_push_100.bin
    rel=${hex#"$src"/}
    name=${rel%.hex}
    xxd -r -p "$hex" >"$out/${name//\//_}.bin"
    count=$((count + 1))
done < <(find "$src" -name '*.hex' -print0 | sort -z)
echo "wrote $count descriptors to $out"
