#!/usr/bin/env bash
# Whole-process camera RAW development against LibRaw's dcraw_emu and dcraw: one synthetic
# 24-megapixel DNG (6000 x 4000 RGGB mosaic, 14-bit values, black 512, white 16383, as-shot
# white balance; a sky gradient, stars and noise) is opened and written as a 16-bit-per-colour
# TIFF by
#   vora-cli convert x.dng out.tif   with the fast development (--set dark=0) and with the
#                                    decoder's interpolation at quality Q (--set dark=1,Q);
#   dcraw_emu -T -6 -w -c 0 -q Q     (LibRaw's own front end: the same library and settings);
#   dcraw -T -6 -w -q Q              (16-bit with the default gamma curve, as ours);
#   dcraw -T -4 -w -q Q              (linear 16-bit: no gamma curve, no automatic brightening).
# Q = 0..3: bilinear, VNG, PPG, AHD. Prints the wall times and the ratios vora/peer.
# Usage: bench/peers/raw.sh
# Environment: VORA_CLI (default build/release/vora-cli, built when it is the default),
#   DCRAW_EMU (default dcraw_emu), DCRAW (default dcraw), RUNS (default 3), KEEP=1 keeps the
#   work folder.
set -euo pipefail
cd "$(dirname "$0")/../.."

runs=${RUNS:-3}
dcraw_emu=${DCRAW_EMU:-dcraw_emu}
dcraw=${DCRAW:-dcraw}
python=/usr/bin/python3  # Debian's, which has numpy (python3-numpy)

have_emu=0 have_dcraw=0
command -v "$dcraw_emu" >/dev/null && have_emu=1
command -v "$dcraw" >/dev/null && have_dcraw=1
if [[ $have_emu -eq 0 && $have_dcraw -eq 0 ]]; then
    echo "skipped: neither $dcraw_emu nor $dcraw found. They are the peers this script times"
    echo "against; install them with"
    echo "  sudo apt-get install libraw-bin dcraw"
    exit 0
fi
[[ $have_emu -eq 1 ]] || echo "note: $dcraw_emu not found (apt-get install libraw-bin); its columns stay empty"
[[ $have_dcraw -eq 1 ]] || echo "note: $dcraw not found (apt-get install dcraw); its columns stay empty"
# shellcheck source=bench/peers/common.sh
source bench/peers/common.sh
peer_require_numpy "$python"
peer_vora_cli

peer_work_dir raw
# The commands run in the work folder, which has no vora.vrs: vora-cli starts from its defaults.
cd "$work"

echo "Making a 6000x4000 RGGB DNG in $work ..."
"$python" - "$work/sky.dng" <<'PY'
import struct
import sys

import numpy as np

path = sys.argv[1]
w, h = 6000, 4000
black, white = 512, 16383
neutral = (0.48, 1.0, 0.66)  # as-shot white balance 2.08, 1, 1.52
rng = np.random.default_rng(20261206)

# Filter colours of RGGB and the sky above black per colour: a gradient, green the strongest.
colour = np.empty((h, w), np.uint8)
colour[0::2, 0::2], colour[0::2, 1::2], colour[1::2, 0::2], colour[1::2, 1::2] = 0, 1, 1, 2
yy, xx = np.mgrid[0:h, 0:w].astype(np.float32)
t = (xx / w + yy / h) * 0.5
del xx, yy
base = np.array([700, 1400, 900], np.float32)[colour]
slope = np.array([500, 800, 300], np.float32)[colour]
level = base + slope * t
del t, base, slope

# Many faint stars, a few bright enough to clip; each slightly coloured.
for _ in range(4000):
    sx, sy = rng.uniform(0, w), rng.uniform(0, h)
    sigma = rng.uniform(0.8, 2.5)
    peak = 300 + rng.uniform() ** 4 * 30000
    tint = np.array([rng.uniform(0.8, 1.2), 1.0, rng.uniform(0.8, 1.2)], np.float32)
    reach = int(np.ceil(4 * sigma))
    x0, x1 = max(0, int(sx) - reach), min(w, int(sx) + reach + 1)
    y0, y1 = max(0, int(sy) - reach), min(h, int(sy) + reach + 1)
    py, px = np.mgrid[y0:y1, x0:x1]
    g = np.exp(-((px - sx) ** 2 + (py - sy) ** 2) / (2 * sigma * sigma)).astype(np.float32)
    level[y0:y1, x0:x1] += peak * tint[colour[y0:y1, x0:x1]] * g

level += black + rng.normal(0, 40, level.shape).astype(np.float32)
values = np.clip(level, 0, white).astype("<u2")
del level

# Little-endian TIFF/DNG with the tags of tests/io/dng_writer.cpp: IFD0, the Exif IFD, their
# out-of-line values, then one uncompressed 16-bit strip.
BYTE, ASCII, SHORT, LONG, RATIONAL, SRATIONAL = 1, 2, 3, 4, 5, 10
FORMAT = {BYTE: "B", SHORT: "H", LONG: "I", RATIONAL: "I", SRATIONAL: "i"}


def entry(tag, kind, vals):
    if kind == ASCII:
        data = vals.encode("ascii") + b"\0"
        return tag, kind, len(data), data
    count = len(vals) // 2 if kind in (RATIONAL, SRATIONAL) else len(vals)
    return tag, kind, count, struct.pack("<%d%s" % (len(vals), FORMAT[kind]), *vals)


def fixed(values_, signed):
    out = []
    for v in values_:
        out += [int(round(v * 10000)), 10000]
    return entry(0, SRATIONAL if signed else RATIONAL, out)[3]


date = "2026:12:06 12:00:00"
xyz_to_srgb = [3.2404542, -1.5371385, -0.4985314, -0.9692660, 1.8760108, 0.0415560,
               0.0556434, -0.2040259, 1.0572252]
strip_bytes = w * h * 2
exif = [entry(33434, RATIONAL, [1, 250]), entry(33437, RATIONAL, [56, 10]),
        entry(34855, SHORT, [800]), entry(36867, ASCII, date)]
ifd0 = [entry(254, LONG, [0]), entry(256, LONG, [w]), entry(257, LONG, [h]),
        entry(258, SHORT, [16]), entry(259, SHORT, [1]), entry(262, SHORT, [32803]),
        entry(271, ASCII, "Vora"), entry(272, ASCII, "Bench Sensor"),
        entry(273, LONG, [0]), entry(274, SHORT, [1]), entry(277, SHORT, [1]),
        entry(278, LONG, [h]), entry(279, LONG, [strip_bytes]), entry(284, SHORT, [1]),
        entry(306, ASCII, date), entry(33421, SHORT, [2, 2]), entry(33422, BYTE, [0, 1, 1, 2]),
        entry(34665, LONG, [0]), entry(50706, BYTE, [1, 4, 0, 0]),
        entry(50707, BYTE, [1, 1, 0, 0]), entry(50708, ASCII, "Vora Bench Sensor"),
        entry(50710, BYTE, [0, 1, 2]), entry(50711, SHORT, [1]),
        entry(50714, LONG, [black]), entry(50717, LONG, [white]),
        (50721, SRATIONAL, 9, fixed(xyz_to_srgb, True)),
        (50728, RATIONAL, 3, fixed(neutral, False)), entry(50778, SHORT, [21])]


def ifd_size(entries):
    return 2 + 12 * len(entries) + 4


def extra_size(entries):
    return sum(len(d) + len(d) % 2 for _, _, _, d in entries if len(d) > 4)


ifd0_at = 8
exif_at = ifd0_at + ifd_size(ifd0)
extra_at = exif_at + ifd_size(exif)
strip_at = extra_at + extra_size(ifd0) + extra_size(exif)
ifd0 = [entry(273, LONG, [strip_at]) if e[0] == 273 else
        entry(34665, LONG, [exif_at]) if e[0] == 34665 else e for e in ifd0]

extra = bytearray()


def put_ifd(entries):
    out = bytearray(struct.pack("<H", len(entries)))
    for tag, kind, count, data in entries:
        out += struct.pack("<HHI", tag, kind, count)
        if len(data) <= 4:
            out += data.ljust(4, b"\0")
        else:
            out += struct.pack("<I", extra_at + len(extra))
            extra.extend(data + b"\0" * (len(data) % 2))
    return out + struct.pack("<I", 0)


head = b"II*\0" + struct.pack("<I", ifd0_at) + put_ifd(ifd0) + put_ifd(exif)
assert len(head) == extra_at and len(head) + len(extra) == strip_at
with open(path, "wb") as f:
    f.write(head + extra)
    f.write(values.tobytes())
PY

q() { printf '%q' "$1"; }
dng=$(q "$work/sky.dng")
vora_cmd() { echo "$(q "$cli") convert --set dark=$1 $dng $(q "$work/vora.tif") >/dev/null"; }
emu_cmd() { echo "$(q "$dcraw_emu") -T -6 -w -c 0 -q $1 -Z $(q "$work/emu.tif") $dng"; }
dcraw_cmd() { echo "$(q "$dcraw") -c -T $1 -w -q $2 $dng >$(q "$work/dcraw.tif")"; }

declare -A t
t[fast]=$(peer_time_of "vora-cli fast" "$work/vora.tif" "$(vora_cmd 0)")
for qual in 0 1 2 3; do
    t[vora$qual]=$(peer_time_of "vora-cli q$qual" "$work/vora.tif" "$(vora_cmd "1,$qual")")
    t[emu$qual]=- t[d6$qual]=- t[d4$qual]=-
    if [[ $have_emu -eq 1 ]]; then
        t[emu$qual]=$(peer_time_of "dcraw_emu q$qual" "$work/emu.tif" "$(emu_cmd "$qual")")
    fi
    if [[ $have_dcraw -eq 1 ]]; then
        t[d6$qual]=$(peer_time_of "dcraw -6 q$qual" "$work/dcraw.tif" "$(dcraw_cmd -6 "$qual")")
        t[d4$qual]=$(peer_time_of "dcraw -4 q$qual" "$work/dcraw.tif" "$(dcraw_cmd -4 "$qual")")
    fi
done

echo
printf '6000x4000 RGGB DNG to a 16-bit-per-colour TIFF, wall seconds, mean of %d runs\n' "$runs"
printf '| %-10s | %7s | %9s | %8s | %8s | %9s | %9s |\n' "quality" "vora" "dcraw_emu" "dcraw -6" \
    "dcraw -4" "vora/emu" "vora/d-6"
printf '|%s|%s|%s|%s|%s|%s|%s|\n' ------------ --------- ----------- ---------- ---------- \
    ----------- -----------
names=(bilinear VNG PPG AHD)
for qual in 0 1 2 3; do
    printf '| %d %-8s | %7s | %9s | %8s | %8s | %9s | %9s |\n' "$qual" "${names[$qual]}" \
        "$(peer_secs "${t[vora$qual]}")" "$(peer_secs "${t[emu$qual]}")" \
        "$(peer_secs "${t[d6$qual]}")" \
        "$(peer_secs "${t[d4$qual]}")" "$(peer_ratio "${t[vora$qual]}" "${t[emu$qual]}")" \
        "$(peer_ratio "${t[vora$qual]}" "${t[d6$qual]}")"
done
echo
printf 'vora-cli fast development: %s s\n' "$(peer_secs "${t[fast]}")"
printf '  ratio fast / vora bilinear: %s\n' "$(peer_ratio "${t[fast]}" "${t[vora0]}")"
printf '  ratio fast / dcraw_emu -q 0: %s\n' "$(peer_ratio "${t[fast]}" "${t[emu0]}")"
printf '  ratio fast / dcraw -6 -q 0: %s\n' "$(peer_ratio "${t[fast]}" "${t[d60]}")"
printf '  ratio fast / dcraw -4 -q 0: %s\n' "$(peer_ratio "${t[fast]}" "${t[d40]}")"
# The quickest of everything timed.
best=fast
for k in "${!t[@]}"; do
    if [[ ${t[$k]} != - ]] && awk -v a="${t[$k]}" -v b="${t[$best]}" 'BEGIN {exit !(a < b)}'; then
        best=$k
    fi
done
echo "quickest: $best ($(peer_secs "${t[$best]}") s)"
