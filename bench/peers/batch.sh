#!/usr/bin/env bash
# Whole-process batch run against ImageMagick: 16 synthetic 4000 x 3000 RGB skies (16 bits per
# colour: a gradient, stars and noise), written as 48-bit TIFF by vora-cli, each go through
#   vora-cli batch RECIPE sky*.tif --yes   a recipe of open, background generation with
#                                           subtraction (shift 30), gamma (curve through
#                                           64 -> 128), sharpen (defaults), save as 48-bit TIFF;
#   convert IN ... OUT                      per file: background subtracted through a blurred
#                                           1/8-size copy plus the same shift, -gamma 2.0,
#                                           -unsharp 0x1, -depth 16 TIFF.
# The ImageMagick pipeline is the nearest equivalent, not the same algorithm: VORA's background
# is an order statistic on a half-size grid, box-filtered, its gamma a smooth tone curve and
# its sharpen a thresholded unsharp mask. Prints the total and per-file wall times and the
# ratio vora/ImageMagick; without ImageMagick only the vora row.
# Usage: bench/peers/batch.sh
# Environment: VORA_CLI (default build/release/vora-cli, built when it is the default),
#   CONVERT (default /usr/bin/convert), FILES (default 16), WIDTH x HEIGHT (default
#   4000 x 3000), RUNS (default 3), KEEP=1 keeps the work folder.
set -euo pipefail
cd "$(dirname "$0")/../.."

files=${FILES:-16}
width=${WIDTH:-4000}
height=${HEIGHT:-3000}
runs=${RUNS:-3}
python=/usr/bin/python3  # Debian's, which has numpy (python3-numpy)

[[ $files =~ ^[0-9]+$ && $files -ge 1 && $files -le 99 ]] ||
    { echo "error: FILES must be 1..99" >&2; exit 2; }
[[ $width =~ ^[0-9]+$ && $height =~ ^[0-9]+$ && $width -ge 64 && $height -ge 64 ]] ||
    { echo "error: WIDTH and HEIGHT must be at least 64" >&2; exit 2; }

# shellcheck source=bench/peers/common.sh
source bench/peers/common.sh
# Only ImageMagick is a peer here; without it the vora row still runs.
convert=${CONVERT:-/usr/bin/convert}
have_im=0
[[ -x $convert ]] && "$convert" -version 2>/dev/null | grep -q ImageMagick && have_im=1
[[ $have_im -eq 1 ]] ||
    echo "note: ImageMagick ($convert) not found (apt-get install imagemagick); its row stays empty"
peer_require_numpy "$python"
peer_vora_cli

peer_work_dir batch
# The commands run in the work folder, which has no vora.vrs: vora-cli starts from its defaults.
cd "$work"
mkdir out-vora out-im

echo "Making $files ${width}x${height} RGB skies in $work ..."
sizes=()
names=()
for ((i = 1; i <= files; i++)); do
    printf -v name 'sky%02d' "$i"
    sizes+=("$width" "$height" "$name")
    names+=("$name")
done
peer_make_sky "${sizes[@]}"
# The save step names each output after its file, with the extension .TIF.
last=${names[-1]}

# back3: detection 32, averaging 16, correction 2 (subtract), shift 30, one step.
# gamma: smooth curve (1) through (0,0), (64,128), (255,255) for all colours.
"$cli" batch --write recipe --steps 1,5,12,6,0,0,0,3 --save-dir "$work/out-vora" \
    --save-type 5 --set back3=32,16,2,30,0 --set gamma=1,0,0,64,128,255,255 >/dev/null

q() { printf '%q' "$1"; }
vora_cmd="$(q "$cli") batch recipe.vrb sky*.tif --yes >/dev/null 2>&1"
# 30 on the 8-bit scale is 30 × 257 = 7710 of 65535; Dst - Src + 0.1176 through compose args.
shift_frac=$(awk 'BEGIN { printf "%.6f", 7710 / 65535 }')
im_one="$(q "$convert") \"\$f\" \\( +clone -resize 12.5% -blur 0x8 -resize ${width}x${height}! \\) \
-compose mathematics -define compose:args=0,-1,1,$shift_frac -composite \
-gamma 2.0 -unsharp 0x1 -depth 16 \"out-im/\$f\""
im_cmd="for f in sky*.tif; do $im_one || exit 1; done"

echo "load before: $(uptime)"
t_vora=$(peer_time_of "vora-cli batch ($files files)" "out-vora/$last.TIF" "$vora_cmd")
t_im=-
if [[ $have_im -eq 1 ]]; then
    t_im=$(peer_time_of "convert per file ($files files)" "out-im/$last.tif" "$im_cmd")
fi
echo "load after:  $(uptime)"

per_file() { if [[ $1 == - ]]; then echo -; else echo "$1 $files" | awk '{printf "%.2f", $1 / $2}'; fi; }
echo
printf 'Wall seconds, mean of %d runs (%d files of %dx%d RGB, 48-bit TIFF in and out)\n' \
    "$runs" "$files" "$width" "$height"
printf '| %-38s | %7s | %8s |\n' "command" "total" "per file"
printf '|%s|%s|%s|\n' ---------------------------------------- --------- ----------
printf '| %-38s | %7s | %8s |\n' "vora-cli batch" "$(peer_secs "$t_vora")" "$(per_file "$t_vora")"
printf '| %-38s | %7s | %8s |\n' "convert per file (nearest equivalent)" \
    "$(peer_secs "$t_im")" "$(per_file "$t_im")"
echo
printf 'ratio vora/ImageMagick: %s\n' "$(peer_ratio "$t_vora" "$t_im")"
