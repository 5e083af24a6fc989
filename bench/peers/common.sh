# shellcheck shell=bash
# Shared by the peer scripts (they source it from the repository root): numpy for the frame
# makers, the vora-cli to time, and a work folder removed at exit unless KEEP=1.

# Stops unless python ($1) can import numpy.
peer_require_numpy() {
    "$1" -c 'import numpy' 2>/dev/null ||
        { echo "error: numpy missing for $1 (apt-get install python3-numpy)" >&2; exit 1; }
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
