#!/usr/bin/env bash
# Whole-process comparison: vora-cli convert against ImageMagick's convert on a 6000 × 4000
# frame, BMP (24-bit) -> PPM (16-bit binary) and back. Uses hyperfine when installed,
# otherwise a timing loop. Input and output files live in a temporary folder under /tmp.
# Usage: bench/compare.sh   (after a Release build; scripts/bench runs it)
# Environment: VORA_CLI (default build/release/vora-cli), RUNS (default 5).
set -euo pipefail
cd "$(dirname "$0")/.."

cli=$(realpath "${VORA_CLI:-build/release/vora-cli}")
magick=/usr/bin/convert  # the real ImageMagick, whatever else is on PATH
runs=${RUNS:-5}
[[ -x $cli ]] || { echo "error: $cli not built (scripts/bench builds it)" >&2; exit 1; }
[[ -x $magick ]] || { echo "error: $magick missing (apt-get install imagemagick)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/vora-compare.XXXXXX")
trap 'rm -rf "$work"' EXIT

echo "Making the 6000x4000 inputs in $work ..."
"$magick" -size 6000x4000 gradient:red-blue -type TrueColor -depth 8 "BMP3:$work/big.bmp"
"$magick" "$work/big.bmp" -depth 16 "$work/big16.ppm"

# name|command, the commands run by bash -c; each writes into $work.
q() { printf '%q' "$1"; }
jobs=(
    "vora-cli BMP -> PPM16|$(q "$cli") convert --type 6 $(q "$work/big.bmp") $(q "$work/v.ppm") >/dev/null"
    "ImageMagick BMP -> PPM16|$(q "$magick") $(q "$work/big.bmp") -depth 16 $(q "$work/m.ppm")"
    "vora-cli PPM16 -> BMP|$(q "$cli") convert --type 1 $(q "$work/big16.ppm") $(q "$work/v.bmp") >/dev/null"
    "ImageMagick PPM16 -> BMP|$(q "$magick") $(q "$work/big16.ppm") -depth 8 -type TrueColor $(q "BMP3:$work/m.bmp")"
)

if command -v hyperfine >/dev/null; then
    args=(--warmup 1 --runs "$runs" --export-markdown "$work/table.md" --style basic)
    for job in "${jobs[@]}"; do args+=(-n "${job%%|*}" "${job#*|}"); done
    hyperfine "${args[@]}" >&2
    echo
    cat "$work/table.md"
else
    echo "(hyperfine not installed: $runs timed runs each after one warm-up, date +%s.%N)"
    echo
    printf '| %-26s | %9s | %9s | %9s |\n' "Conversion" "Mean [s]" "Min [s]" "Max [s]"
    printf '|%s|%s|%s|%s|\n' "----------------------------" "-----------" "-----------" "-----------"
    for job in "${jobs[@]}"; do
        bash -c "${job#*|}"  # warm-up
        times=()
        for ((i = 0; i < runs; i++)); do
            start=$(date +%s.%N)
            bash -c "${job#*|}"
            end=$(date +%s.%N)
            times+=("$(echo "$start $end" | awk '{printf "%.4f", $2 - $1}')")
        done
        printf '%s\n' "${times[@]}" | awk -v name="${job%%|*}" '
            { sum += $1; if (NR == 1 || $1 < min) min = $1; if (NR == 1 || $1 > max) max = $1 }
            END { printf "| %-26s | %9.3f | %9.3f | %9.3f |\n", name, sum / NR, min, max }'
    done
fi
