#!/usr/bin/env bash
# Builds everything (scripts/setup.sh) and runs every benchmark under
# build/bench/; each prints its own figures. The private PostgreSQL server
# runs meanwhile for the benchmarks that import into it.
set -euo pipefail
# The benchmarks drop and create the database "dxc": they get a cluster of their
# own (.pgdata-test/, or DXC_TEST_PG_DIR), never the one the program keeps
# its clients in.
export DXC_PG_DIR="${DXC_TEST_PG_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd -P)/.pgdata-test}"
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

bash "$DXC_ROOT/scripts/setup.sh"

mapfile -t benches < <(find "$DXC_BUILD/bench" -name CMakeFiles -prune -o \
    -type f -perm -u+x -print 2>/dev/null | sort)
((${#benches[@]})) || dxc_die "no benchmark under $DXC_BUILD/bench"

started_server=0
stop_server() {
    if ((started_server)); then
        bash "$DXC_ROOT/scripts/pg-stop.sh" || true
    fi
}
trap stop_server EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

dxc_pg_running || started_server=1
bash "$DXC_ROOT/scripts/pg-start.sh" >/dev/null
set -a
source "$DXC_PG/env"
set +a

status=0
for b in "${benches[@]}"; do
    dxc_note "${b#"$DXC_BUILD"/}"
    "$b" || status=$?
done
exit "$status"
