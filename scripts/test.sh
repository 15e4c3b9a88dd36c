#!/usr/bin/env bash
# Sets up and builds (scripts/setup.sh), starts the private PostgreSQL server
# for the tests that need one, runs every test with ctest and stops the
# server again if this script started it. Exits with ctest's status.
# Extra arguments go to ctest: scripts/test.sh -R Picture
set -euo pipefail
# The tests drop and create the database "dxc": they get a cluster of their
# own (.pgdata-test/, or DXC_TEST_PG_DIR), never the one the program keeps
# its clients in.
export DXC_PG_DIR="${DXC_TEST_PG_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd -P)/.pgdata-test}"
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

bash "$DXC_ROOT/scripts/setup.sh"

started_server=0
stop_server() {
    if ((started_server)); then
        bash "$DXC_ROOT/scripts/pg-stop.sh" || true
    fi
}
# ctest runs in its own process group so that an interrupted run ends its
# tests too, not only ctest.
ctest_pid=
interrupted() {
    [[ -z $ctest_pid ]] || kill -TERM -- "-$ctest_pid" 2>/dev/null || true
    exit "$1"
}
trap stop_server EXIT
trap 'interrupted 130' INT
trap 'interrupted 143' TERM

if ! dxc_pg_running; then
    started_server=1
fi
bash "$DXC_ROOT/scripts/pg-start.sh" >/dev/null
# PGHOST, PGPORT, PGUSER and PGPASSFILE reach every test through ctest.
set -a
source "$DXC_PG/env"
set +a

# Each test binary makes its scratch folder in here, and so do temporary
# files; a run starts clean.
export DXC_REQUIRE_PG=1
export DXC_TEST_TMP=$DXC_BUILD/testtmp
export TMPDIR=$DXC_TEST_TMP
# Settings the tests write (saved browse layouts) stay in the run too.
export XDG_CONFIG_HOME=$DXC_TEST_TMP/config
rm -rf "$DXC_TEST_TMP"
mkdir -p "$DXC_TEST_TMP"

setsid ctest --test-dir "$DXC_BUILD" --output-on-failure -j2 --timeout 600 "$@" &
ctest_pid=$!
status=0
wait "$ctest_pid" || status=$?
exit "$status"
