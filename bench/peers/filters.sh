#!/usr/bin/env bash
# Whole-process detail filters against ImageMagick and libvips: one synthetic 6000 x 4000 RGB
# sky (16 bits per colour: a gradient, stars and noise), written as a 48-bit TIFF by vora-cli,
# is read, filtered and written as a 16-bit-per-colour TIFF by
#   vora-cli apply IN OUT OP    sharpen, edge, wavelet, restore, noise and lines at the
#                               default settings, sharpen at radius 10 falloff 1.0, restore at
#                               spread 10.0 with 5 iterations, and wavelet enlargement with
#                               order 10 (on a 3000 x 2000 copy);
#   convert IN -unsharp 0xS OUT ImageMagick's unsharp mask (sigma 1 and 5) and -blur 0x3;
#   vips sharpen / gaussblur    libvips's sharpening and Gaussian blur (sigma 3).
# These are the nearest equivalents, not the same filters: VORA's sharpen/smooth is a
# thresholded unsharp mask, its restoration an iterated deconvolution. Prints wall times and
# the ratios vora/peer.
# Usage: bench/peers/filters.sh
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

peer_work_dir filters
# The commands run in the work folder, which has no vora.vrs: vora-cli starts from its defaults.
cd "$work"

echo "Making 6000x4000 and 3000x2000 RGB skies in $work ..."
peer_make_sky 6000 4000 sky 3000 2000 small

q() { printf '%q' "$1"; }
sky=$(q "$work/sky.tif")
out=$work/out.tif
vora_cmd() {  # OPERATION [--set ...] [IN]
    local op=$1 input=${3:-$sky}
    echo "$(q "$cli") apply $2 $input $(q "$out") $op >/dev/null"
}

declare -A t
row() {  # KEY NAME COMMAND
    t[$1]=$(peer_time_of "$2" "$out" "$3")
}
row sharpen "vora sharpen" "$(vora_cmd sharpen "")"
row sharpen10 "vora sharpen r10 f1.0" "$(vora_cmd sharpen "--set sharp=10,2560,10,10 --set sharp_flt=10")"
row edge "vora edge" "$(vora_cmd edge "")"
row noise "vora noise" "$(vora_cmd noise "")"
row lines "vora lines" "$(vora_cmd lines "")"
row wavelet "vora wavelet" "$(vora_cmd wavelet "")"
row enlarge "vora wavelet x2 order 10 (3000x2000)" \
    "$(vora_cmd wavelet "--set filter=10,1" "$(q "$work/small.tif")")"
row restore "vora restore" "$(vora_cmd restore "")"
row restore5 "vora restore 10.0 x5" "$(vora_cmd restore "--set restore=100,20,5,1")"
for k in im_unsharp1 im_unsharp5 im_blur vips_sharpen vips_blur; do t[$k]=-; done
if [[ $have_im -eq 1 ]]; then
    im() { echo "$(q "$convert") $sky $1 -depth 16 $(q "$out")"; }
    row im_unsharp1 "convert -unsharp 0x1" "$(im "-unsharp 0x1")"
    row im_unsharp5 "convert -unsharp 0x5" "$(im "-unsharp 0x5")"
    row im_blur "convert -blur 0x3" "$(im "-blur 0x3")"
fi
if [[ $have_vips -eq 1 ]]; then
    row vips_sharpen "vips sharpen" "$(q "$vips") sharpen $sky $(q "$out")"
    row vips_blur "vips gaussblur 3" "$(q "$vips") gaussblur $sky $(q "$out") 3"
fi

echo
printf 'Wall seconds, mean of %d runs (6000x4000 RGB, 48-bit TIFF in and out)\n' "$runs"
printf '| %-38s | %6s |\n' "command" "time"
printf '|%s|%s|\n' ---------------------------------------- --------
for k in sharpen sharpen10 edge noise lines wavelet enlarge restore restore5 \
    im_unsharp1 im_unsharp5 im_blur vips_sharpen vips_blur; do
    printf '| %-38s | %6s |\n' "$k" "$(peer_secs "${t[$k]}")"
done
echo
echo "ratios vora/peer:"
printf '  sharpen / convert -unsharp 0x1:      %s\n' "$(peer_ratio "${t[sharpen]}" "${t[im_unsharp1]}")"
printf '  sharpen / vips sharpen:              %s\n' "$(peer_ratio "${t[sharpen]}" "${t[vips_sharpen]}")"
printf '  sharpen r10 / convert -unsharp 0x5:  %s\n' "$(peer_ratio "${t[sharpen10]}" "${t[im_unsharp5]}")"
printf '  restore / convert -blur 0x3:         %s\n' "$(peer_ratio "${t[restore]}" "${t[im_blur]}")"
printf '  restore / vips gaussblur 3:          %s\n' "$(peer_ratio "${t[restore]}" "${t[vips_blur]}")"
printf '  restore x5 / convert -blur 0x3:      %s\n' "$(peer_ratio "${t[restore5]}" "${t[im_blur]}")"
