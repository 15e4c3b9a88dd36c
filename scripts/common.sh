# shellcheck shell=bash disable=SC2034
# Helpers shared by the scripts in this folder. Sourced, never run.
#
# Settings read from the environment:
#   DXC_BUILD_DIR  build folder (default <repo>/build)
#   DXC_JOBS       parallel build jobs (default: nproc)
#   DXC_PG_DIR     private PostgreSQL folder (default <repo>/.pgdata)
#   DXC_PG_PORT    its port (default: the last one used, else the first free from 54329)
#   DXC_PG_BIN     PostgreSQL's bin folder (default: the highest /usr/lib/postgresql/*/bin)

DXC_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd -P)

dxc_abs() {
    case $1 in
        /*) printf '%s\n' "$1" ;;
        *) printf '%s/%s\n' "$PWD" "$1" ;;
    esac
}

# Relative settings are taken from where the caller stands, before any cd.
DXC_BUILD=$(dxc_abs "${DXC_BUILD_DIR:-$DXC_ROOT/build}")
DXC_PG=$(dxc_abs "${DXC_PG_DIR:-$DXC_ROOT/.pgdata}")
DXC_PG_FIRST_PORT=54329

dxc_note() { printf '== %s\n' "$*" >&2; }
dxc_die() { printf '%s: %s\n' "$(basename "$0")" "$*" >&2; exit 1; }

# Runs a command as root: directly when we are root, through sudo otherwise.
dxc_as_root() {
    if [[ $EUID -eq 0 ]]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        dxc_die "need root for: $* (run as root, or install sudo)"
    fi
}

# --- private PostgreSQL -------------------------------------------------------
#
# $DXC_PG holds what clients need: env (shell exports), .pgpass and password,
# all mode 600. The cluster itself (data/, sock/, server.log) lives in
# $DXC_PG_CLUSTER, which is $DXC_PG itself unless we are root and the postgres
# user cannot reach $DXC_PG (a checkout under /root, say): then it lives under
# postgres's home and $DXC_PG/cluster points to it.

dxc_pg_cluster_dir() {
    if [[ -L $DXC_PG/cluster ]]; then
        readlink "$DXC_PG/cluster"
    elif [[ -d $DXC_PG/data || $EUID -ne 0 ]]; then
        printf '%s\n' "$DXC_PG"
    elif runuser -u postgres -- test -x "$(dirname "$DXC_PG")" 2>/dev/null; then
        printf '%s\n' "$DXC_PG"
    else
        local home
        home=$(getent passwd postgres | cut -d: -f6)
        printf '%s/dxc-clusters/%s\n' "${home:-/var/lib/postgresql}" \
            "$(printf '%s' "$DXC_PG" | cksum | cut -d' ' -f1)"
    fi
}
DXC_PG_CLUSTER=$(dxc_pg_cluster_dir)
DXC_PG_DATA=$DXC_PG_CLUSTER/data

# The user the server runs as: whoever owns an existing cluster, else postgres
# when we are root (the server refuses root), else ourselves.
dxc_pg_owner() {
    if [[ -d $DXC_PG_DATA ]]; then
        stat -c %U "$DXC_PG_DATA"
    elif [[ $EUID -eq 0 ]]; then
        echo postgres
    else
        id -un
    fi
}

dxc_pg_bin() {
    if [[ -n ${DXC_PG_BIN:-} ]]; then
        printf '%s\n' "$DXC_PG_BIN"
        return
    fi
    # An existing cluster needs the server of its own major version.
    local v
    if [[ -r $DXC_PG_DATA/PG_VERSION ]]; then
        v=$(cat "$DXC_PG_DATA/PG_VERSION")
        if [[ -x /usr/lib/postgresql/$v/bin/pg_ctl ]]; then
            printf '%s\n' "/usr/lib/postgresql/$v/bin"
            return
        fi
    fi
    local bin
    bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
    [[ -n $bin && -x $bin/pg_ctl ]] ||
        dxc_die "no PostgreSQL server under /usr/lib/postgresql (run scripts/setup.sh)"
    printf '%s\n' "$bin"
}

# Runs a server command as the cluster's owner, from / so that the owner can
# always read its working folder.
dxc_pg_run() {
    local owner
    owner=$(dxc_pg_owner)
    if [[ $EUID -eq 0 ]]; then
        (cd / && runuser -u "$owner" -- "$@")
    else
        [[ $owner == "$(id -un)" ]] ||
            dxc_die "the cluster in $DXC_PG_CLUSTER belongs to $owner: run as root or as $owner"
        (cd / && "$@")
    fi
}

dxc_pg_running() {
    [[ -f $DXC_PG_DATA/PG_VERSION ]] || return 1
    dxc_pg_run "$(dxc_pg_bin)/pg_ctl" -D "$DXC_PG_DATA" status >/dev/null 2>&1
}

# True when something already listens on the TCP port.
dxc_port_busy() {
    local port=$1
    if command -v ss >/dev/null 2>&1 &&
        [[ -n $(ss -Hltn "( sport = :$port )" 2>/dev/null) ]]; then
        return 0
    fi
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null
}
