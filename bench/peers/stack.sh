#!/usr/bin/env bash
# Whole-process stacking against Siril: N synthetic RGB star-field frames (16-bit FITS, each
# the same sky moved by a few pixels, with its own noise) are aligned by translation and
# averaged with outlier rejection, once by `vora-cli stack` (48-bit TIFF out) and once by
# Siril's command line (link, register, stack with sigma rejection and normalisation, 16-bit
# FITS out). Prints both wall times and the ratio vora/siril.
# Usage: bench/peers/stack.sh [N]        (N frames, default 8; vora-cli takes at most 16)
# Environment: VORA_CLI (default build/release/vora-cli, built when it is the default),
#   SIRIL (default siril-cli), WIDTH × HEIGHT (default 4000 × 3000), RUNS (default 3),
#   KEEP=1 keeps the work folder.
set -euo pipefail
cd "$(dirname "$0")/../.."

frames=${1:-${FRAMES:-8}}
width=${WIDTH:-4000}
height=${HEIGHT:-3000}
runs=${RUNS:-3}
siril=${SIRIL:-siril-cli}
python=/usr/bin/python3  # Debian's, which has numpy (python3-numpy)

if ! command -v "$siril" >/dev/null; then
    echo "skipped: $siril not found. Siril is the peer this script times against; install it with"
    echo "  sudo apt-get install siril"
    exit 0
fi
[[ $frames =~ ^[0-9]+$ && $frames -ge 2 && $frames -le 16 ]] ||
    { echo "error: N must be 2..16 (vora-cli stack takes at most 16 files)" >&2; exit 2; }
# shellcheck source=bench/peers/common.sh
source bench/peers/common.sh
peer_require_numpy "$python"
peer_vora_cli
"$cli" stack --help >/dev/null 2>&1 ||
    { echo "error: $cli has no stack subcommand" >&2; exit 1; }

peer_work_dir stack
mkdir "$work/frames"

echo "Making $frames frames of ${width}x${height} RGB 16-bit FITS in $work/frames ..."
"$python" - "$work/frames" "$frames" "$width" "$height" <<'PY'
import sys
import numpy as np

out, count, w, h = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
margin = 16
rng = np.random.default_rng(20261206)

# One sky larger than a frame: a gradient per colour plus a few thousand Gaussian stars.
sw, sh = w + 2 * margin, h + 2 * margin
yy, xx = np.mgrid[0:sh, 0:sw].astype(np.float32)
sky = np.empty((3, sh, sw), np.float32)
for c, (base, gx, gy) in enumerate([(3200, 2400, 1000), (3600, 1800, 1300), (4200, 1200, 1600)]):
    sky[c] = base + gx * xx / sw + gy * yy / sh
del xx, yy
stars = max(50, w * h // 4000)
for _ in range(stars):
    x, y = rng.uniform(0, sw), rng.uniform(0, sh)
    sigma = rng.uniform(1.0, 2.5)
    peak = 1500 + rng.uniform() ** 3 * 50000
    reach = int(np.ceil(4 * sigma))
    x0, x1 = max(0, int(x) - reach), min(sw, int(x) + reach + 1)
    y0, y1 = max(0, int(y) - reach), min(sh, int(y) + reach + 1)
    py, px = np.mgrid[y0:y1, x0:x1]
    g = np.exp(-((px - x) ** 2 + (py - y) ** 2) / (2 * sigma * sigma)).astype(np.float32)
    for c in range(3):
        sky[c, y0:y1, x0:x1] += peak * rng.uniform(0.85, 1.15) * g


def card(text):
    return text.ljust(80).encode("ascii")


for i in range(count):
    dx, dy = (0, 0) if i == 0 else tuple(int(v) for v in rng.integers(-8, 9, 2))
    frame = sky[:, margin + dy:margin + dy + h, margin + dx:margin + dx + w]
    frame = frame + rng.normal(0, 220, frame.shape).astype(np.float32)
    data = (np.clip(frame, 0, 65535).astype(np.int32) - 32768).astype(">i2")
    header = b"".join(card(t) for t in [
        "SIMPLE  =                    T", "BITPIX  =                   16",
        "NAXIS   =                    3", f"NAXIS1  = {w:20d}", f"NAXIS2  = {h:20d}",
        "NAXIS3  =                    3", "BZERO   =                32768",
        "BSCALE  =                    1", "END"])
    header += b" " * (-len(header) % 2880)
    body = data.tobytes()
    with open(f"{out}/frame_{i + 1:02d}.fits", "wb") as f:
        f.write(header + body + b"\0" * (-len(body) % 2880))
    print(f"  frame {i + 1}: shifted by ({dx}, {dy})")
PY

# Siril: link the FITS frames as the sequence frame_, register it (star matching, translation
# only: the shifts go into the sequence file, no images are written), stack it (mean with
# sigma clipping 3/3, additive normalisation with scale), all in 16-bit. Everything it
# writes goes into siril/, emptied before every run. Written for Siril 1.0 (Debian 12);
# later versions renamed some options.
version=$("$siril" --version 2>/dev/null | awk '/siril/ {print $2}' | tail -1)
[[ $version == 1.0.* ]] || echo "warning: Siril $version; this script was written for 1.0" >&2
cat >"$work/stack.ssf" <<'SSF'
requires 1.0.0
set16bits
setext fits
cd frames
link frame -out=../siril
cd ../siril
register frame_ -norot
stack frame_ rej 3 3 -norm=addscale -out=result
close
SSF

q() { printf '%q' "$1"; }
vora_cmd="$(q "$cli") stack $(q "$work")/frames/*.fits -o $(q "$work/vora.tif") >/dev/null"
siril_cmd="$(q "$siril") -d $(q "$work") -s $(q "$work/stack.ssf") >$(q "$work/siril.log") 2>&1"
siril_prep="rm -rf $(q "$work/siril") && mkdir $(q "$work/siril")"

# One checked run each first, so that a failure shows its reason instead of a timing.
bash -c "$siril_prep"
bash -c "$vora_cmd" || { echo "error: vora-cli stack failed" >&2; exit 1; }
if ! bash -c "$siril_cmd" || [[ ! -f $work/siril/result.fits ]]; then
    echo "error: Siril failed; its log:" >&2
    tail -20 "$work/siril.log" >&2
    exit 1
fi

# The checked runs above filled the page cache; vora-cli gets one more warm-up (a run of
# Siril takes a minute or more).
vora_s=$(peer_mean_time "vora-cli stack" "$vora_cmd" true 1)
siril_s=$(peer_mean_time "siril-cli register+stack" "$siril_cmd" "$siril_prep" 0)
echo
printf '%d frames of %dx%d RGB 16-bit, mean of %d runs\n' "$frames" "$width" "$height" "$runs"
printf '| %-28s | %9s |\n' "Program" "Wall [s]" "----------------------------" "---------"
printf '| %-28s | %9.2f |\n' "vora-cli stack" "$vora_s" "siril-cli register + stack" "$siril_s"
echo "$vora_s $siril_s" | awk '{printf "ratio vora/siril: %.2f\n", $1 / $2}'
# Where Siril's time went in its last run, from its own log.
awk '/Running command: (register|stack)$/ { cmd = $4 }
     /Execution time/ && cmd { printf "  siril %s: %s %s\n", cmd, $4, $5; cmd = "" }' "$work/siril.log"
