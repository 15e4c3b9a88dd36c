# Shared by the program's end-to-end scripts (sourced): the tools and the
# test server they need, and a fresh work folder with a 25-client sample and
# no database "dxc". Skips (exit 77) without Xvfb, xdotool, psql or server
# settings; with DXC_REQUIRE_PG=1 a missing server fails instead.
#   e2e_prepare WORKDIR DXC_DBF
e2e_prepare() {
    local work=$1 dxc_dbf=$2 tool
    for tool in xvfb-run xdotool psql; do
        command -v "$tool" >/dev/null || { echo "SKIP: $tool not installed"; exit 77; }
    done
    if [[ -z ${PGHOST:-} || -z ${PGPORT:-} ]]; then
        [[ ${DXC_REQUIRE_PG:-} == 1 ]] && { echo "FAIL: no server settings"; exit 1; }
        echo "SKIP: no PostgreSQL server settings (run through scripts/test.sh)"
        exit 77
    fi
    rm -rf "$work" && mkdir -p "$work"
    # The window keeps its place for the next run in the user's settings:
    # each check starts as a first run, and leaves the user's alone.
    export XDG_CONFIG_HOME="$work/config"
    "$dxc_dbf" sample "$work/sample" --clients 25 >/dev/null
    psql -X -q -d postgres -c 'DROP DATABASE IF EXISTS dxc WITH (FORCE)'
}
