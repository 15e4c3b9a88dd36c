#!/usr/bin/env bash
# Starts the private PostgreSQL server of this checkout, creating its cluster
# on first use, and prints its settings as shell exports (also written to
# <DXC_PG_DIR>/env):
#     source .pgdata/env        or        eval "$(bash scripts/pg-start.sh)"
# The superuser "postgres" has a generated password, kept only in
# <DXC_PG_DIR>/password and <DXC_PG_DIR>/.pgpass (mode 600); it is never
# printed. The server listens on 127.0.0.1 and on a socket in sock/.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

PG_BIN=$(dxc_pg_bin)

# Writes a file readable only by its owner without the content ever reaching
# a command line (printf is a shell builtin).
write_private() {
    local file=$1 text=$2
    (umask 077 && printf '%s\n' "$text" >"$file")
    chmod 600 "$file"
}

# "It's" -> 'It''s', for postgresql.conf.
conf_quote() {
    printf "'%s'" "${1//\'/\'\'}"
}

prepare_folders() {
    mkdir -p "$DXC_PG"
    chmod 700 "$DXC_PG"
    if [[ $DXC_PG_CLUSTER != "$DXC_PG" ]]; then
        mkdir -p "$DXC_PG_CLUSTER"
        ln -sfn "$DXC_PG_CLUSTER" "$DXC_PG/cluster"
    fi
    mkdir -p "$DXC_PG_CLUSTER/sock"
    if [[ $EUID -eq 0 ]]; then
        local owner
        owner=$(dxc_pg_owner)
        chown "$owner:" "$DXC_PG_CLUSTER" "$DXC_PG_CLUSTER/sock"
        [[ $DXC_PG_CLUSTER == "$DXC_PG" ]] || chown "$owner:" "$(dirname "$DXC_PG_CLUSTER")"
    fi
    chmod 700 "$DXC_PG_CLUSTER" "$DXC_PG_CLUSTER/sock"
}

# First use: a new cluster whose superuser password exists only in our files.
create_cluster() {
    local password
    password=$(head -c 32 /dev/urandom | od -An -tx1 | tr -d ' \n')
    # Saved before initdb: a cluster whose password was lost is useless.
    write_private "$DXC_PG/password" "$password"
    write_private "$DXC_PG/.pgpass" "*:*:*:postgres:$password"

    # initdb runs as the owner and needs its own copy to read.
    local pwfile=$DXC_PG_CLUSTER/initdb.pw
    write_private "$pwfile" "$password"
    [[ $EUID -ne 0 ]] || chown "$(dxc_pg_owner):" "$pwfile"
    dxc_note "creating a PostgreSQL cluster in $DXC_PG_DATA"
    if ! dxc_pg_run "$PG_BIN/initdb" -D "$DXC_PG_DATA" -U postgres --pwfile="$pwfile" \
        --auth-local=trust --auth-host=scram-sha-256 -E UTF8 --locale=C.UTF-8 \
        >"$DXC_PG_CLUSTER/initdb.log" 2>&1; then
        rm -f "$pwfile"
        cat "$DXC_PG_CLUSTER/initdb.log" >&2
        dxc_die "initdb failed"
    fi
    rm -f "$pwfile"
    printf "\n# This checkout's own settings, rewritten at every start.\ninclude_if_exists = 'dxc.conf'\n" |
        dxc_pg_run tee -a "$DXC_PG_DATA/postgresql.conf" >/dev/null
}

choose_port() {
    if [[ -n ${DXC_PG_PORT:-} ]]; then
        [[ $DXC_PG_PORT =~ ^[0-9]+$ ]] || dxc_die "DXC_PG_PORT is not a port number: $DXC_PG_PORT"
        ! dxc_port_busy "$DXC_PG_PORT" || dxc_die "port $DXC_PG_PORT is already in use"
        echo "$DXC_PG_PORT"
        return
    fi
    local last port
    last=$(cat "$DXC_PG_CLUSTER/port" 2>/dev/null || true)
    if [[ $last =~ ^[0-9]+$ ]] && ! dxc_port_busy "$last"; then
        echo "$last"
        return
    fi
    for ((port = DXC_PG_FIRST_PORT; port < DXC_PG_FIRST_PORT + 200; port++)); do
        if ! dxc_port_busy "$port"; then
            echo "$port"
            return
        fi
    done
    dxc_die "no free port from $DXC_PG_FIRST_PORT on"
}

write_server_conf() {
    local port=$1 sockdir=$DXC_PG_CLUSTER/sock
    # A socket path longer than the kernel's limit stops the server: then TCP only.
    if ((${#sockdir} + 20 > 107)); then
        dxc_note "socket folder path too long, listening on TCP only"
        sockdir=
    fi
    printf '%s\n' "listen_addresses = '127.0.0.1'" "port = $port" \
        "unix_socket_directories = $(conf_quote "$sockdir")" |
        dxc_pg_run tee "$DXC_PG_DATA/dxc.conf" >/dev/null
    echo "$port" >"$DXC_PG_CLUSTER/port.new" && mv "$DXC_PG_CLUSTER/port.new" "$DXC_PG_CLUSTER/port"
}

running_port() {
    sed -n 4p "$DXC_PG_DATA/postmaster.pid"
}

write_env() {
    local port=$1
    local text
    text=$(
        printf 'export PGHOST=127.0.0.1\n'
        printf 'export PGPORT=%s\n' "$port"
        printf 'export PGUSER=postgres\n'
        printf 'export PGPASSFILE=%q\n' "$DXC_PG/.pgpass"
        printf 'unset PGPASSWORD\n'
    )
    write_private "$DXC_PG/env" "$text"
    printf '%s\n' "$text"
}

main() {
    if [[ -f $DXC_PG_DATA/PG_VERSION ]]; then
        local where=$DXC_PG
        [[ $DXC_PG_CLUSTER == "$DXC_PG" ]] || where="$DXC_PG and $DXC_PG_CLUSTER"
        [[ -f $DXC_PG/.pgpass ]] ||
            dxc_die "$DXC_PG/.pgpass is missing, so is the password: remove $where to start afresh"
    fi
    if dxc_pg_running; then
        local port
        port=$(running_port)
        if [[ -n ${DXC_PG_PORT:-} && $DXC_PG_PORT != "$port" ]]; then
            dxc_die "already running on port $port; run scripts/pg-stop.sh to change the port"
        fi
        dxc_note "PostgreSQL already running on 127.0.0.1:$port ($DXC_PG_DATA)"
        write_env "$port"
        return
    fi

    local port
    port=$(choose_port)
    prepare_folders
    [[ -f $DXC_PG_DATA/PG_VERSION ]] || create_cluster
    write_server_conf "$port"
    if ! dxc_pg_run "$PG_BIN/pg_ctl" -D "$DXC_PG_DATA" -l "$DXC_PG_CLUSTER/server.log" \
        -w -t 60 start >/dev/null; then
        tail -n 20 "$DXC_PG_CLUSTER/server.log" >&2 || true
        dxc_die "the server did not start (log: $DXC_PG_CLUSTER/server.log)"
    fi
    dxc_note "PostgreSQL started on 127.0.0.1:$port ($DXC_PG_DATA)"
    write_env "$port"
}

main "$@"
