#!/usr/bin/env bash
# End-to-end check of dxc under a virtual X server: the connection dialog is
# driven with real key presses (xdotool): a wrong password first, then the
# right one (empty: the password file answers), and the console lines of the
# connection and of the sample folder's import are checked one by one.
#
#   app_e2e.sh PATH/TO/dxc PATH/TO/dxc-dbf WORKDIR
# Needs the test server's settings (PGHOST, PGPORT, PGUSER, PGPASSFILE), as
# scripts/test.sh exports them. Drops the database "dxc".
# Exit: 0 passed, 1 failed, 77 skipped (no Xvfb, xdotool or server).
set -euo pipefail

DXC=${1:?usage: app_e2e.sh DXC DXC_DBF WORKDIR}
DXC_DBF=${2:?usage: app_e2e.sh DXC DXC_DBF WORKDIR}
WORK=${3:?usage: app_e2e.sh DXC DXC_DBF WORKDIR}

source "$(dirname "${BASH_SOURCE[0]}")/e2e_common.sh"
e2e_prepare "$WORK" "$DXC_DBF"

OUT="$WORK/out.txt"
export OUT DXC WORK
cat > "$WORK/drive.sh" <<'EOF2'
set -euo pipefail
export QT_QPA_PLATFORM=xcb
"$DXC" --dir "$WORK/sample" --import-only > "$OUT" 2> "$OUT.err" &
PID=$!
dialog() {
    local wid
    wid=$(timeout 20 xdotool search --sync --onlyvisible --name "Connection Server" | head -n 1)
    xdotool windowfocus --sync "$wid"
    sleep 0.3
}
wait_for() {
    for _ in $(seq 150); do
        grep -q "$1" "$OUT" 2>/dev/null && return 0
        sleep 0.1
    done
    echo "no '$1' on the console" >&2
    return 1
}
# Pass 1: retype the host (the first key replaces the field), keep the port,
# retype the user, a wrong password, Enter (presses Connect, the default).
dialog
xdotool type --delay 40 "$PGHOST"
xdotool key --delay 60 Tab Tab
xdotool type --delay 40 "$PGUSER"
xdotool key --delay 60 Tab
xdotool type --delay 40 "wrong-password"
xdotool key --delay 60 Return
wait_for " Error"
# The message box that says why (the console line stays as it is): Return.
dialog
xdotool key --delay 60 Return
sleep 0.5
# Pass 2: a fresh dialog with the settings kept and the password empty:
# Enter in the first field connects.
dialog
xdotool key --delay 60 Return
for _ in $(seq 300); do kill -0 "$PID" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$PID" 2>/dev/null; then
    echo "dxc did not end" >&2
    kill "$PID"
    exit 1
fi
wait "$PID"
EOF2
status=0
xvfb-run -a -s "-screen 0 1280x1024x24" bash "$WORK/drive.sh" || status=$?
cat "$OUT"
[[ -s $OUT.err ]] && sed 's/^/stderr: /' "$OUT.err"
((status == 0)) || { echo "FAIL: the drive ended with status $status"; exit 1; }

host_padded=$(printf '%-19s' "$PGHOST")
expected=(
    "Conectando con $PGHOST Error"
    "Conectando con $PGHOST Ok"
    "Conectado a $host_padded"
    "Verificando Base de Datos: dxc"
    "Creando Base de Datos: dxc .T. Ok"
    "Verificando Tabla: dxcam01 Ok"
    "Creando Tabla: dxcam01 Ok"
    "Creando Campo de Foto en : dxcam01 Ok"
    "Importeado Tabla: dxcam01  con  11 Campos y  25 Registros Ok"
    "Verificando Tabla: dxcam01e Ok"
    "Creando Tabla: dxcam01e Ok"
    "Creando Campo de Foto en : dxcam01e Ok"
    "Importeado Tabla: dxcam01e  con  4 Campos y  25 Registros Ok"
    "Cerrando Conexion"
)
fail=0
mapfile -t got < "$OUT"
for i in "${!expected[@]}"; do
    if [[ ${got[$i]:-<none>} != "${expected[$i]}" ]]; then
        echo "FAIL: line $((i + 1)) is '${got[$i]:-<none>}', expected '${expected[$i]}'"
        fail=1
    fi
done
((${#got[@]} == ${#expected[@]})) || { echo "FAIL: ${#got[@]} lines, expected ${#expected[@]}"; fail=1; }
rows=$(psql -X -q -A -t -d dxc -c 'SELECT count(*) FROM dxcam01')
[[ $rows == 25 ]] || { echo "FAIL: dxcam01 has $rows rows"; fail=1; }
((fail == 0)) && echo "PASS"
exit "$fail"
