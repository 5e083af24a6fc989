#!/usr/bin/env bash
# Whole-process geometry and colour operations against ImageMagick and libvips: a synthetic
# 6000 x 4000 RGB sky (16 bits per colour: a gradient, stars and noise) and a 3000 x 2000 one,
# written as 48-bit TIFF by vora-cli, are read, transformed and written as 16-bit-per-colour
# TIFF by
#   vora-cli apply IN OUT OP    resize to 50 % and, from the 3000 x 2000 sky (vora-cli refuses
#                               sides above 10000), to 200 % (nearest, bilinear, Lanczos, and
#                               lanczos-up when enlarging), rotate by 45 degrees and a right
#                               quarter turn, distortion (default and 40 pixels), gray, a hue
#                               turn of +90 degrees and recolor-rgb;
#   convert IN ... OUT          ImageMagick's -resize with -filter Point, Triangle and Lanczos,
#                               -rotate 45 and 90, -colorspace Gray, -modulate 100,100,150;
#   vips ...                    libvips's resize (nearest, linear, lanczos3), rot d90,
#                               similarity by 45 degrees and colourspace grey16 (and b-w,
#                               which writes 8 bits).
# The peers are the nearest equivalents, not the same resamplers. Prints wall times and the
# ratios vora/peer.
# Usage: bench/peers/geometry.sh
# Environment: VORA_CLI (default build/release/vora-cli, built when it is the default),
#   CONVERT (default /usr/bin/convert), VIPS (default vips), RUNS (default 3), KEEP=1 keeps
#   the work folder.
set -euo pipefail
cd "$(dirname "$0")/../.."

runs=${RUNS:-3}
python=/usr/bin/python3  # Debian's, which has numpy (python3-numpy)

# shellcheck source=bench/peers/common.sh
source bench/peers/common.sh
peer_find_im_vips
peer_require_numpy "$python"
peer_vora_cli

peer_work_dir geometry
# The commands run in the work folder, which has no vora.vrs: vora-cli starts from its defaults.
cd "$work"

echo "Making 6000x4000 and 3000x2000 RGB skies in $work ..."
peer_make_sky 6000 4000 sky 3000 2000 small

q() { printf '%q' "$1"; }
sky=$(q "$work/sky.tif")
small=$(q "$work/small.tif")
out=$work/out.tif
# The 50 % rows start from the large sky, the 200 % rows from the small one.
declare -A input=([50]=$sky [200]=$small)
vora_cmd() {  # OPERATION OPTIONS [IN]
    echo "$(q "$cli") apply $2 ${3:-$sky} $(q "$out") $1 >/dev/null"
}

declare -A t label
keys=()
row() {  # KEY NAME COMMAND
    keys+=("$1")
    label[$1]=$2
    t[$1]=$(peer_time_of "$2" "$out" "$3")
}
skip() {  # KEY NAME: a peer row that stays empty
    keys+=("$1")
    label[$1]=$2
    t[$1]=-
}

for s in 50 200; do
    for m in nearest bilinear lanczos; do
        row "vora_${s}_$m" "vora resize $s% $m" \
            "$(vora_cmd resize "--scale $s --method $m" "${input[$s]}")"
    done
done
row vora_200_lanczos-up "vora resize 200% lanczos-up" \
    "$(vora_cmd resize "--scale 200 --method lanczos-up" "$small")"
row vora_rot45 "vora rotate 45" "$(vora_cmd rotate "--angle 45")"
row vora_rot90 "vora rotate right 90 (mode 1)" "$(vora_cmd rotate "--mode 1")"
row vora_distortion "vora distortion (default, 0 px)" "$(vora_cmd distortion "")"
row vora_distortion40 "vora distortion 40 px" "$(vora_cmd distortion "--set waikyoku=40")"
row vora_gray "vora gray (luminance)" "$(vora_cmd gray "")"
row vora_hue "vora color hue +90" "$(vora_cmd color "--set color=100,270")"
row vora_recolor "vora recolor-rgb" \
    "$(vora_cmd recolor-rgb "--from 20,22,18 --to 160,0,0 --tolerance 20")"

# Peer key suffixes name the matching vora row: 50_nearest, rot45, gray, ...
declare -A im_filter=([nearest]=Point [bilinear]=Triangle [lanczos]=Lanczos)
declare -A vips_kernel=([nearest]=nearest [bilinear]=linear [lanczos]=lanczos3)
declare -A vips_factor=([50]=0.5 [200]=2)
im() { echo "$(q "$convert") ${2:-$sky} $1 -depth 16 $(q "$out")"; }  # OPTIONS [IN]
vp() { echo "$(q "$vips") $1 ${3:-$sky} $(q "$out") $2"; }             # OPERATION ARGS [IN]
for s in 50 200; do
    for m in nearest bilinear lanczos; do
        name="convert -filter ${im_filter[$m]} -resize $s%"
        if [[ $have_im -eq 1 ]]; then
            row "im_${s}_$m" "$name" "$(im "-filter ${im_filter[$m]} -resize $s%" "${input[$s]}")"
        else skip "im_${s}_$m" "$name"; fi
    done
done
if [[ $have_im -eq 1 ]]; then
    row im_rot45 "convert -rotate 45 +repage" "$(im "-rotate 45 +repage")"
    row im_rot90 "convert -rotate 90" "$(im "-rotate 90")"
    row im_gray "convert -colorspace Gray" "$(im "-colorspace Gray")"
    row im_hue "convert -modulate 100,100,150" "$(im "-modulate 100,100,150")"
else
    skip im_rot45 "convert -rotate 45 +repage"
    skip im_rot90 "convert -rotate 90"
    skip im_gray "convert -colorspace Gray"
    skip im_hue "convert -modulate 100,100,150"
fi
for s in 50 200; do
    for m in nearest bilinear lanczos; do
        name="vips resize ${vips_factor[$s]} ${vips_kernel[$m]}"
        if [[ $have_vips -eq 1 ]]; then
            row "vips_${s}_$m" "$name" \
                "$(vp resize "${vips_factor[$s]} --kernel ${vips_kernel[$m]}" "${input[$s]}")"
        else skip "vips_${s}_$m" "$name"; fi
    done
done
if [[ $have_vips -eq 1 ]]; then
    row vips_rot45 "vips similarity --angle 45" "$(vp similarity "--angle 45")"
    row vips_rot90 "vips rot d90" "$(vp rot d90)"
    row vips_gray "vips colourspace grey16" "$(vp colourspace grey16)"
    row vips_bw "vips colourspace b-w (8-bit out)" "$(vp colourspace b-w)"
else
    skip vips_rot45 "vips similarity --angle 45"
    skip vips_rot90 "vips rot d90"
    skip vips_gray "vips colourspace grey16"
    skip vips_bw "vips colourspace b-w (8-bit out)"
fi

echo
printf 'Wall seconds, mean of %d runs (6000x4000 RGB, 200 %% rows from 3000x2000;' "$runs"
printf ' 48-bit TIFF in, 16-bit TIFF out)\n'
printf '| %-38s | %6s |\n' "command" "time"
printf '|%s|%s|\n' ---------------------------------------- --------
for k in "${keys[@]}"; do
    printf '| %-38s | %6s |\n' "${label[$k]}" "$(peer_secs "${t[$k]}")"
done
echo
echo "ratios vora/peer (ImageMagick, libvips):"
ratios() {  # NAME VORA_KEY PEER_SUFFIX
    printf '  %-30s %6s %6s\n' "$1" "$(peer_ratio "${t[$2]}" "${t[im_$3]:--}")" \
        "$(peer_ratio "${t[$2]}" "${t[vips_$3]:--}")"
}
for s in 50 200; do
    for m in nearest bilinear lanczos; do ratios "resize $s% $m" "vora_${s}_$m" "${s}_$m"; done
done
ratios "resize 200% lanczos-up" vora_200_lanczos-up 200_lanczos
ratios "rotate 45" vora_rot45 rot45
ratios "rotate 90" vora_rot90 rot90
ratios "gray" vora_gray gray
ratios "hue +90" vora_hue hue
