#!/usr/bin/env bash
# Stops the private PostgreSQL server started by scripts/pg-start.sh. The
# cluster stays; the next pg-start.sh reuses it.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

if ! dxc_pg_running; then
    dxc_note "PostgreSQL is not running ($DXC_PG_DATA)"
    exit 0
fi
dxc_pg_run "$(dxc_pg_bin)/pg_ctl" -D "$DXC_PG_DATA" -m fast -w -t 60 stop >/dev/null
dxc_note "PostgreSQL stopped ($DXC_PG_DATA)"
