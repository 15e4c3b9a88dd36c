#!/usr/bin/env bash
# End-to-end check of dxc-browse: a table of 1,000 records opened under a
# virtual X server and driven with real key presses (xdotool); the program
# reports its position on P and at exit, and each report is checked.
#
#   browse_e2e.sh PATH/TO/dxc-browse WORKDIR
# Exit: 0 passed, 1 failed, 77 skipped (no Xvfb, xdotool or python3-dbf).
set -euo pipefail

BROWSE=${1:?usage: browse_e2e.sh DXC_BROWSE WORKDIR}
WORK=${2:?usage: browse_e2e.sh DXC_BROWSE WORKDIR}
PY=/usr/bin/python3

for tool in xvfb-run xdotool; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool not installed"; exit 77; }
done
"$PY" -c 'import dbf' 2>/dev/null || { echo "SKIP: python3-dbf not installed"; exit 77; }

rm -rf "$WORK" && mkdir -p "$WORK"
TABLE="$WORK/CLIENTS.DBF"
"$PY" - "$TABLE" <<'EOF'
import sys, datetime, dbf
t = dbf.Table(sys.argv[1], 'CODE N(6,0); NAME C(24); PRICE N(9,2); BORN D; ACTIVE L', dbf_type='db3')
t.open(dbf.READ_WRITE)
for i in range(1, 1001):
    t.append((i, 'Client %d' % i, i * 1.25, datetime.date(2000, 1, 1) + datetime.timedelta(days=i), i % 2 == 0))
t.close()
EOF

OUT="$WORK/out.txt"
export OUT BROWSE TABLE
# Runs inside the virtual display.
cat > "$WORK/drive.sh" <<'EOF'
set -euo pipefail
export QT_QPA_PLATFORM=xcb
"$BROWSE" "$TABLE" > "$OUT" 2> "$OUT.err" &
PID=$!
WID=$(timeout 20 xdotool search --sync --onlyvisible --name "dxc-browse" | head -n 1)
xdotool windowfocus --sync "$WID"
sleep 0.5
lines=0
# Sends keys, then P, and waits for the report line.
step() {
    xdotool key --delay 60 "$@" p
    lines=$((lines + 1))
    for _ in $(seq 100); do
        [ "$(wc -l < "$OUT")" -ge "$lines" ] && return 0
        sleep 0.1
    done
    echo "no report after: $*" >&2
    return 1
}
step Next Next
step ctrl+Next
step Up
step ctrl+Prior
step Down Down Down
step Right Right End
xdotool key Escape
for _ in $(seq 100); do kill -0 "$PID" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$PID" 2>/dev/null; then
    echo "dxc-browse did not end on Escape" >&2
    kill "$PID"
    exit 1
fi
wait "$PID"
EOF
xvfb-run -a -s "-screen 0 1280x1024x24" bash "$WORK/drive.sh"

cat "$OUT"
fail=0
# expect LINE RECORD ROW: report number LINE shows record RECORD on screen row ROW ("" any row).
expect() {
    local got
    got=$(sed -n "${1}p" "$OUT")
    local rec row
    rec=$(sed -E 's/^record ([0-9]+) of 1000, row ([0-9]+) of ([0-9]+)$/\1/' <<< "$got")
    row=$(sed -E 's/^record ([0-9]+) of 1000, row ([0-9]+) of ([0-9]+)$/\2/' <<< "$got")
    if [ "$rec" != "$2" ] || { [ -n "$3" ] && [ "$row" != "$3" ]; }; then
        echo "FAIL: report $1 is '$got', expected record $2${3:+ on row $3}"
        fail=1
    fi
}
ROWS=$(sed -n '1p' "$OUT" | sed -E 's/.* of ([0-9]+)$/\1/')
[ -n "$ROWS" ] && [ "$ROWS" -gt 1 ] || { echo "FAIL: no row count in the first report"; exit 1; }
expect 1 $((1 + 2 * ROWS)) 1     # two pages down from the top
expect 2 1000 "$ROWS"            # Ctrl+PgDn: the last record on the last row
expect 3 999 $((ROWS - 1))
expect 4 1 1                     # Ctrl+PgUp
expect 5 4 4
expect 6 4 4                     # moving between columns keeps the record
expect 7 4 4                     # the report at exit
if [ "$fail" -ne 0 ]; then
    echo "1 failed"
    exit 1
fi
echo "browse_e2e: 7 reports checked with $ROWS rows on screen"
