#!/usr/bin/env bash
# End-to-end check of the client window under a virtual X server: dxc runs on
# a sample folder, the connection dialog is typed with real keys, and once the
# window "Test SQLRecordSet" is up a client is added, edited (a double click
# on Cancel never reaching Exit, Tab leading field to field to Save, a
# wrong date refused on the way), searched and deleted (No first, then Sí) with real
# clicks and keys, a client found by its name typed in lower case with
# accents, the window is made larger and a client renamed through its grown
# browse and field and its moved buttons, and Escape over typed changes is
# answered No, then Sí; every step is checked in the database with psql.
# Buttons and fields are found through the dialog library's
# geometry dump (DXC_DIALOG_GEOMETRY).
#
#   client_e2e.sh PATH/TO/dxc PATH/TO/dxc-dbf WORKDIR
# Needs the test server's settings (PGHOST, PGPORT, PGUSER, PGPASSFILE), as
# scripts/test.sh exports them. Drops the database "dxc".
# CLIENT_E2E_PAUSE: seconds to wait after each click or typing (0.6).
# Exit: 0 passed, 1 failed, 77 skipped (no Xvfb, xdotool or server).
set -euo pipefail

DXC=${1:?usage: client_e2e.sh DXC DXC_DBF WORKDIR}
DXC_DBF=${2:?usage: client_e2e.sh DXC DXC_DBF WORKDIR}
WORK=${3:?usage: client_e2e.sh DXC DXC_DBF WORKDIR}

source "$(dirname "${BASH_SOURCE[0]}")/e2e_common.sh"
e2e_prepare "$WORK" "$DXC_DBF"

OUT="$WORK/out.txt"
GEOMETRY="$WORK/geometry.txt"
export OUT DXC WORK GEOMETRY
cat > "$WORK/drive.sh" <<'EOF2'
set -euo pipefail
export QT_QPA_PLATFORM=xcb DXC_DIALOG_GEOMETRY=$GEOMETRY
TITLE="Test SQLRecordSet"
# Seconds after each click or typing (more for a slow machine or valgrind).
PAUSE=${CLIENT_E2E_PAUSE:-0.6}
cd "$WORK"
"$DXC" --dir "$WORK/sample" > "$OUT" 2> "$OUT.err" &
PID=$!

fail() {
    echo "FAIL: $*" >&2
    import -window root "$WORK/failed.png" 2>/dev/null || true
    kill "$PID" 2>/dev/null || true
    exit 1
}
sql() { psql -X -q -A -t -d dxc -c "$1" 2>/dev/null || true; }
# Waits up to 15 s for a query to give the expected answer.
expect_sql() {
    local what=$1 query=$2 want=$3 got=
    for _ in $(seq 150); do
        got=$(sql "$query")
        [[ $got == "$want" ]] && { echo "ok: $what"; return 0; }
        kill -0 "$PID" 2>/dev/null || fail "$what: dxc ended"
        sleep 0.1
    done
    fail "$what: '$query' gave '$got', expected '$want'"
}
# A point of the window's element whose caption or id (or, with a number,
# type) matches, from the geometry the dialog library wrote as the window
# opened: FX, FY of its width and height across and down (the centre:
# 0.5 0.5), moved by DX, DY pixels.
point() {
    awk -F'\t' -v t="$TITLE" -v k="$1" -v fx="$2" -v fy="$3" -v dx="$4" -v dy="$5" '
        $1 == t && (toupper($4) == toupper(k) || $3 == k) {
            split($5, g, " "); x = g[1] + int(g[3] * fx) + dx; y = g[2] + int(g[4] * fy) + dy
        }
        END { if (x == "") exit 1; print x, y }' "$GEOMETRY"
}
# click NAME [FX FY DX DY]: a click at the element's centre, or at that point.
click() {
    local xy
    xy=$(point "$1" "${2:-0.5}" "${3:-0.5}" "${4:-0}" "${5:-0}") || fail "no element '$1' in the geometry dump"
    # shellcheck disable=SC2086
    xdotool mousemove --sync $xy click 1
    sleep "$PAUSE"
}
keys() { xdotool key --delay 80 "$@"; sleep "$PAUSE"; }
# Answers the message or question box whose title matches $1 with the keys
# that follow (Return: the default, No for a question; Tab space: Sí), then
# gives the window the focus back.
answer() {
    local title=$1 box=
    shift
    for _ in $(seq 100); do
        box=$(xdotool search --onlyvisible --name "$title" 2>/dev/null | grep -vx "$wid" | tail -n 1 || true)
        [[ -n $box ]] && break
        kill -0 "$PID" 2>/dev/null || fail "dxc ended before the box '$title'"
        sleep 0.1
    done
    [[ -n $box ]] || fail "no box '$title' to answer"
    xdotool windowfocus --sync "$box"
    sleep 0.3
    keys "$@"
    kill -0 "$PID" 2>/dev/null && xdotool windowfocus --sync "$wid" 2>/dev/null || true
    sleep 0.3
}
alive() { sleep 1; kill -0 "$PID" 2>/dev/null || fail "$1: dxc ended"; echo "ok: $1"; }
text() { xdotool type --delay 60 "$1"; sleep "$PAUSE"; }

# The connection dialog: host, port kept, user, no password (the password
# file answers), Enter (presses Connect, the default button).
wid=$(timeout 20 xdotool search --sync --onlyvisible --name "Connection Server" | head -n 1) ||
    fail "no connection dialog"
xdotool windowfocus --sync "$wid"
sleep 0.3
xdotool type --delay 40 "$PGHOST"
xdotool key --delay 60 Tab Tab
xdotool type --delay 40 "$PGUSER"
xdotool key --delay 60 Return

# The client window, after the import.
wid=$(timeout 60 xdotool search --sync --onlyvisible --name "$TITLE" | head -n 1) || fail "no window '$TITLE'"
for _ in $(seq 100); do
    grep -q "^$TITLE	" "$GEOMETRY" 2>/dev/null && break
    sleep 0.1
done
grep -q "^$TITLE	" "$GEOMETRY" || fail "the window wrote no geometry"
xdotool windowfocus --sync "$wid"
sleep 0.5
expect_sql "the import" "SELECT count(*) FROM dxcam01" 25

# Add: New, a code, names and surnames, Save.
click New
click GET_CODCLI
text "E2E01"
keys Tab
click GET_NOMBRE
text "AAA E2E NUEVO"
keys Tab
click GET_APELL
text "PRUEBA O'NEILL"
keys Tab
click Save
expect_sql "the new client" \
    "SELECT trim(nombre) || '|' || trim(apell) || '|' || trim(id_usuario) || '|' || (id_fecha = current_date)
       || '|' || (id_hora ~* '^ ?[0-9]{1,2}:[0-9]{2}:[0-9]{2} ?[ap]m$') FROM dxcam01 WHERE trim(codcli) = 'E2E01'" \
    "AAA E2E NUEVO|PRUEBA O'NEILL|DXC|true|true"
expect_sql "one row more" "SELECT count(*) FROM dxcam01" 26

# Edit: select it in the browse (first by name: Ctrl+Home, Enter), Edit,
# new names, Save.
click 28
keys ctrl+End Return ctrl+Home Return
click Edit
click GET_NOMBRE
keys Home shift+End
text "AAB E2E EDITADO"
keys Tab
click Save
expect_sql "the edited client" \
    "SELECT trim(nombre) || '|' || trim(apell) FROM dxcam01 WHERE trim(codcli) = 'E2E01'" \
    "AAB E2E EDITADO|PRUEBA O'NEILL"

# A double click on Cancel: the second click lands where Exit appears and
# is ignored. Then Tab goes from the names field to field up to Save, which
# a space presses.
click Edit
xy=$(point Cancel 0.5 0.5 0 0) || fail "no Cancel in the geometry dump"
# shellcheck disable=SC2086
xdotool mousemove --sync $xy click --repeat 2 --delay 120 1
alive "a double click on Cancel"
click Edit
click GET_NOMBRE
keys Home shift+End
text "AAB E2E TAB"
keys Tab Tab Tab Tab Tab Tab space
expect_sql "Tab led from the names to Save" "SELECT trim(nombre) FROM dxcam01 WHERE trim(codcli) = 'E2E01'" \
    "AAB E2E TAB"

# A date that is not a date is refused where it is typed (a message, the
# focus stays); the right one is then saved.
click Edit
click GET_FECHING
keys Home
text "31022024"
keys Tab
answer "Fecha" Return
keys Home
text "29022024"
keys Tab
click Save
expect_sql "the corrected date" "SELECT feching FROM dxcam01 WHERE trim(codcli) = 'E2E01'" "2024-02-29"

# Away from it: the last client by name selected in the browse and saved
# unchanged (its audit user shows the form held it), so the search below
# must find the new client again.
# The browse orders names under the server's ICU collation when it has one.
coll=$(sql "SELECT ' COLLATE \"' || collname || '\"' FROM pg_collation WHERE collname IN ('es-x-icu', 'und-x-icu')
            ORDER BY collname = 'es-x-icu' DESC LIMIT 1")
last=$(sql "SELECT trim(codcli) FROM dxcam01 ORDER BY nombre$coll DESC, recno DESC LIMIT 1")
[[ -n $last && $last != E2E01 ]] || fail "no other client at the end of the browse"
click 28
keys ctrl+End Return
click Edit
keys Tab
click Save
expect_sql "the last client selected and saved" \
    "SELECT trim(id_usuario) FROM dxcam01 WHERE trim(codcli) = '$last'" "DXC"

# Search: seek-as-you-type in the search field, then Like; the form then
# holds the new client, which Delete removes (and nothing else).
click GET_CBUSCAR
text "AAB"
click Like
click Delete
answer "$TITLE" Return
alive "Delete answered No"
expect_sql "the client kept after No" "SELECT count(*) FROM dxcam01 WHERE trim(codcli) = 'E2E01'" 1
click Delete
answer "$TITLE" Tab space
expect_sql "the client deleted" "SELECT count(*) FROM dxcam01 WHERE trim(codcli) = 'E2E01'" 0
expect_sql "the other clients kept" "SELECT count(*) FROM dxcam01" 25
expect_sql "the last client kept" "SELECT count(*) FROM dxcam01 WHERE trim(codcli) = '$last'" 1

# A search typed in lower case with accents finds a client whose name the
# sample holds in capitals: Like, then Edit and Save mark the client found.
name=$(sql "SELECT trim(nombre) FROM dxcam01 WHERE nombre ~ '[ÁÉÍÓÚÑ]' AND trim(codcli) <> '$last'
            AND id_usuario <> 'DXC' ORDER BY recno LIMIT 1")
[[ -n $name ]] || fail "no accented name in the sample"
typed=$(/usr/bin/python3 -c 'import sys; print(sys.argv[1].lower())' "$name")
click GET_CBUSCAR
keys ctrl+a BackSpace
text "$typed"
click Like
click Edit
click Save
expect_sql "a client named $name found by \"$typed\"" \
    "SELECT count(*) FROM dxcam01 WHERE trim(nombre) = '$name' AND trim(id_usuario) = 'DXC'" 1

# A larger window: the browse, the groups and the long entries grow, the
# command buttons keep to the bottom. (The dialog alone would move every
# element down with the bottom edge and grow nothing.) The first client of
# the browse is saved unchanged to mark it; then, in the larger window, the
# second row is chosen where only the grown browse reaches (near its top,
# right of where it used to end), Edit where the button is now, and the
# surnames typed at the grown field's far end: they go to that client.
sql "UPDATE dxcam01 SET id_usuario = 'E2E'" >/dev/null
click 28
keys ctrl+Home Return
click Edit
click Save
expect_sql "the first client marked" "SELECT count(*) FROM dxcam01 WHERE trim(id_usuario) = 'DXC'" 1
first=$(sql "SELECT trim(codcli) FROM dxcam01 WHERE trim(id_usuario) = 'DXC'")
DX=240 DY=160
size=$(xdotool getwindowgeometry "$wid" | awk '/Geometry:/ { sub("x", " ", $2); print $2 }')
read -r width height <<< "$size"
[[ -n ${height:-} ]] || fail "no size of the window"
xdotool windowsize --sync "$wid" $((width + DX)) $((height + DY)) || fail "the window was not resized"
sleep 1
click 28 1.0 0.0 $((DX - 40)) 60
keys Return
click Edit 0.5 0.5 0 "$DY"
click GET_APELL 1.0 0.5 $((DX - 12)) 0
keys Home shift+End
text "REDIMENSIONADO"
keys Tab
click Save 0.5 0.5 0 "$DY"
expect_sql "the second client renamed through the grown browse and field" \
    "SELECT count(*) FROM dxcam01 WHERE trim(apell) = 'REDIMENSIONADO' AND trim(codcli) <> '$first'" 1

# Escape over typed changes asks: No keeps the window and the typing, Sí
# ends the program without saving. The first of the browse is chosen first
# (the window is still the larger one).
click 28
keys ctrl+Home Return
click Edit 0.5 0.5 0 "$DY"
click GET_NOMBRE
keys Home shift+End
text "CAMBIO SIN GUARDAR"
keys Escape
answer "$TITLE" Return
alive "Escape with changes answered No"
click GET_NOMBRE
keys Escape
answer "$TITLE" Tab space
for _ in $(seq 100); do kill -0 "$PID" 2>/dev/null || break; sleep 0.1; done
kill -0 "$PID" 2>/dev/null && fail "dxc did not end after Escape answered Sí"
status=0
wait "$PID" || status=$?
((status == 0)) || { echo "FAIL: dxc ended with status $status" >&2; exit 1; }
echo "ok: Escape answered Sí ended dxc with status 0"
[[ $(sql "SELECT count(*) FROM dxcam01 WHERE nombre LIKE 'CAMBIO%'") == 0 ]] || fail "the discarded name was saved"
echo "ok: nothing saved"
EOF2
status=0
xvfb-run -a -s "-screen 0 1280x1024x24" bash "$WORK/drive.sh" || status=$?
[[ -s $OUT.err ]] && sed 's/^/stderr: /' "$OUT.err"
if ((status != 0)); then
    echo "console:"
    sed 's/^/  /' "$OUT"
    echo "FAIL: the drive ended with status $status (screenshot: $WORK/failed.png)"
    exit 1
fi
grep -q "^Cargando Test$" "$OUT" || { echo "FAIL: no 'Cargando Test' on the console"; exit 1; }
echo "PASS"
