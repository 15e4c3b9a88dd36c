#!/usr/bin/env bash
# Sets up and builds (scripts/setup.sh), writes the sample DBF folder when it
# is missing, starts the private PostgreSQL server and runs dxc in the sample
# folder with the connection dialog filled in for that server: press Connect
# (the password field stays empty: the password file answers for it).
#
#     bash scripts/run.sh                          the program, with its dialog
#     bash scripts/run.sh --connect --import-only  the import, console only
#
# Arguments go to dxc (dxc --help lists them). DXC_SAMPLE_DIR picks another
# folder; DXC_SAMPLE_CLIENTS the number of sample clients (default 250).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

bash "$DXC_ROOT/scripts/setup.sh"

DXC_DBF=$DXC_BUILD/tools/dxc-dbf/dxc-dbf
DXC=$DXC_BUILD/app/dxc
[[ -x $DXC && -x $DXC_DBF ]] || dxc_die "dxc or dxc-dbf was not built"

sample=$(dxc_abs "${DXC_SAMPLE_DIR:-$DXC_ROOT/sample}")
if ! ls "$sample"/*.[Dd][Bb][Ff] >/dev/null 2>&1; then
    dxc_note "writing the sample tables into $sample"
    "$DXC_DBF" sample "$sample" --clients "${DXC_SAMPLE_CLIENTS:-250}" >&2
fi

bash "$DXC_ROOT/scripts/pg-start.sh" >/dev/null
set -a
source "$DXC_PG/env"
set +a

dialog=1
for a in "$@"; do
    [[ $a != --connect ]] || dialog=0
done
if ((dialog)) && [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} ]]; then
    dxc_die "no display for the connection dialog: run it on a desktop, or use: bash scripts/run.sh --connect --import-only"
fi

dxc_note "running dxc in $sample against 127.0.0.1:$PGPORT"
cd "$sample"
exec "$DXC" "$@"
