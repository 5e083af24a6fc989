# shellcheck shell=bash
# Shared by the peer scripts (they source it from the repository root): numpy for the frame
# makers, the vora-cli to time, a work folder removed at exit unless KEEP=1, and timing.

# Stops unless python ($1) can import numpy.
peer_require_numpy() {
    "$1" -c 'import numpy' 2>/dev/null ||
        { echo "error: numpy missing for $1 (apt-get install python3-numpy)" >&2; exit 1; }
}

# Sets `convert` (default /usr/bin/convert: /usr/local/bin may hold a stand-in of that name)
# and `vips`, and have_im / have_vips to 1 for those present; ends the script when neither is.
peer_find_im_vips() {
    convert=${CONVERT:-/usr/bin/convert}
    vips=${VIPS:-vips}
    have_im=0 have_vips=0
    [[ -x $convert ]] && "$convert" -version 2>/dev/null | grep -q ImageMagick && have_im=1
    command -v "$vips" >/dev/null && have_vips=1
    if [[ $have_im -eq 0 && $have_vips -eq 0 ]]; then
        echo "skipped: neither ImageMagick ($convert) nor libvips ($vips) found. They are the peers"
        echo "this script times against; install them with"
        echo "  sudo apt-get install imagemagick libvips-tools"
        exit 0
    fi
    [[ $have_im -eq 1 ]] || echo "note: ImageMagick not found (apt-get install imagemagick); its rows stay empty"
    [[ $have_vips -eq 1 ]] || echo "note: vips not found (apt-get install libvips-tools); its rows stay empty"
}

# Sets `cli` to $VORA_CLI, or builds build/release/vora-cli and uses that.
peer_vora_cli() {
    if [[ -z ${VORA_CLI:-} ]]; then
        # shellcheck source=scripts/lib.sh
        source scripts/lib.sh
        vora_configure build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
        vora_build build/release vora-cli >/dev/null
    fi
    cli=$(realpath "${VORA_CLI:-build/release/vora-cli}")
    [[ -x $cli ]] || { echo "error: $cli not built" >&2; exit 1; }
}

# Sets `work` to a fresh folder named after $1.
peer_work_dir() {
    work=$(mktemp -d "${TMPDIR:-/tmp}/vora-peer-$1.XXXXXX")
    if [[ ${KEEP:-0} == 1 ]]; then echo "work folder: $work"; else trap 'rm -rf "$work"' EXIT; fi
}

# peer_make_sky W H NAME [W H NAME ...]: synthetic RGB skies (a gradient, stars and noise; 16
# bits per colour) made by $python and written by $cli as $work/NAME.tif, 48-bit. One random
# stream serves all, so each sky depends on those before it.
peer_make_sky() {
    "$python" - "$work" "$@" <<'PY'
import sys

import numpy as np

work, sizes = sys.argv[1], sys.argv[2:]
rng = np.random.default_rng(20261206)
for i in range(0, len(sizes), 3):
    w, h, name = int(sizes[i]), int(sizes[i + 1]), sizes[i + 2]
    yy, xx = np.mgrid[0:h, 0:w].astype(np.float32)
    base = 3000 + 2000 * (xx / w + yy / h)
    del xx, yy
    img = np.repeat(base[:, :, None], 3, axis=2) * np.array([1.0, 1.1, 0.9], np.float32)
    del base
    for _ in range(3000 * w // 6000):
        sx, sy = rng.uniform(0, w), rng.uniform(0, h)
        sigma = rng.uniform(0.8, 2.5)
        peak = 2000 + rng.uniform() ** 4 * 60000
        reach = int(np.ceil(4 * sigma))
        x0, x1 = max(0, int(sx) - reach), min(w, int(sx) + reach + 1)
        y0, y1 = max(0, int(sy) - reach), min(h, int(sy) + reach + 1)
        py, px = np.mgrid[y0:y1, x0:x1]
        g = np.exp(-((px - sx) ** 2 + (py - sy) ** 2) / (2 * sigma * sigma)).astype(np.float32)
        img[y0:y1, x0:x1, :] += peak * g[:, :, None]
    img += rng.normal(0, 300, img.shape).astype(np.float32)
    data = np.clip(img, 0, 65535).astype(">u2")
    with open(f"{work}/{name}.ppm", "wb") as f:
        f.write(b"P6\n%d %d\n65535\n" % (w, h))
        f.write(data.tobytes())
PY
    local i
    for ((i = 3; i <= $#; i += 3)); do
        "$cli" convert "$work/${!i}.ppm" "$work/${!i}.tif" >/dev/null
        rm -f "$work/${!i}.ppm"
    done
}

# One checked run of command "$2" first, so that a failure shows its reason instead of a
# timing; it also fills the page cache. "$1" names the output it must have written.
peer_check() {
    local out=$1 cmd=$2
    rm -f "$out"
    if ! bash -c "$cmd" 2>"$work/err.txt" || [[ ! -s $out ]]; then
        echo "error: failed: $cmd" >&2
        tail -5 "$work/err.txt" >&2
        exit 1
    fi
}

# Mean wall time of $runs runs of "$2" ("$1" names the run), each after "$3" (default: nothing),
# after $4 untimed warm-up runs (default 0); under hyperfine when present.
peer_mean_time() {
    local name=$1 cmd=$2 prep=${3:-true} warmup=${4:-0}
    if command -v hyperfine >/dev/null; then
        hyperfine --runs "$runs" --warmup "$warmup" --style basic --prepare "$prep" \
            --export-json "$work/times.json" -n "$name" "$cmd" >&2
        "$python" -c 'import json, sys; print(json.load(open(sys.argv[1]))["results"][0]["mean"])' \
            "$work/times.json"
        return
    fi
    local total=0 start end i
    for ((i = 0; i < warmup; i++)); do bash -c "$prep" && bash -c "$cmd"; done
    for ((i = 0; i < runs; i++)); do
        bash -c "$prep"
        start=$(date +%s.%N)
        bash -c "$cmd"
        end=$(date +%s.%N)
        total=$(echo "$total $start $end" | awk '{printf "%.4f", $1 + $3 - $2}')
    done
    echo "$total $runs" | awk '{printf "%.4f", $1 / $2}'
}

# peer_time_of NAME OUTPUT COMMAND: checked once, then timed.
peer_time_of() {
    peer_check "$2" "$3"
    peer_mean_time "$1" "$3"
}

# "a / b" with two decimals, or "-" when either is missing.
peer_ratio() {
    if [[ $1 == - || $2 == - ]]; then echo -; else echo "$1 $2" | awk '{printf "%.2f", $1 / $2}'; fi
}
peer_secs() { if [[ $1 == - ]]; then echo -; else printf '%.2f' "$1"; fi; }
