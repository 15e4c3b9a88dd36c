#!/usr/bin/env bash
# End-to-end check of dxc-browse under a virtual X server, driven with real
# key presses, mouse wheel turns and scroll-bar clicks (xdotool): a table of
# 1,000 records written by python3-dbf, then the 999,999 clients of the
# sample tool. The program reports its position on P and at exit, and each
# report is checked; a screenshot shows the zebra stripes. Header clicks sort
# the table both ways and a header border is dragged; the layout line (L)
# shows both.
#
#   browse_e2e.sh PATH/TO/dxc-browse WORKDIR [PATH/TO/dxc-dbf]
# Exit: 0 passed, 1 failed, 77 skipped (no Xvfb, xdotool, import or python3-dbf).
set -euo pipefail

BROWSE=${1:?usage: browse_e2e.sh DXC_BROWSE WORKDIR}
WORK=${2:?usage: browse_e2e.sh DXC_BROWSE WORKDIR}
DBFTOOL=${3:-}
PY=/usr/bin/python3

for tool in xvfb-run xdotool import convert; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool not installed"; exit 77; }
done
"$PY" -c 'import dbf' 2>/dev/null || { echo "SKIP: python3-dbf not installed"; exit 77; }

rm -rf "$WORK" && mkdir -p "$WORK"
# Saved layouts go to a settings folder of this run, not the user's: a
# layout kept from an earlier run would change what the checks see.
export XDG_CONFIG_HOME="$WORK/config"
TABLE="$WORK/CLIENTS.DBF"
"$PY" - "$TABLE" <<'EOF'
import sys, datetime, dbf
t = dbf.Table(sys.argv[1], 'CODE N(6,0); NAME C(24); PRICE N(9,2); BORN D; ACTIVE L', dbf_type='db3')
t.open(dbf.READ_WRITE)
for i in range(1, 1001):
    t.append((i, 'Client %d' % i, i * 1.25, datetime.date(2000, 1, 1) + datetime.timedelta(days=i), i % 2 == 0))
t.close()
EOF

# Cards: two text fields and a picture file named by a third, in the table's folder.
CARDS="$WORK/cards/CARDS.DBF"
mkdir -p "$WORK/cards"
convert -size 60x60 xc:red "$WORK/cards/RED.JPG"
"$PY" - "$CARDS" <<'EOF'
import sys, dbf
t = dbf.Table(sys.argv[1], 'NAME C(24); CITY C(20); PHOTO C(20)', dbf_type='db3')
t.open(dbf.READ_WRITE)
for i in range(1, 41):
    t.append(('Client %d' % i, 'City %d' % i, 'RED.JPG' if i % 2 else ''))
t.close()
EOF

if [ -n "$DBFTOOL" ]; then
    "$DBFTOOL" sample "$WORK/big" --clients 999999 > /dev/null
fi
BIG="$WORK/big/DXCAM01.DBF"

OUT="$WORK/out.txt"
OUTBIG="$WORK/outbig.txt"
OUTARRAY="$WORK/outarray.txt"
OUTSORT="$WORK/outsort.txt"
OUTCARDS="$WORK/outcards.txt"
SHOT="$WORK/shot.png"
SORTSHOT="$WORK/sorted.png"
CARDSHOT="$WORK/cards.png"
export OUT OUTBIG OUTARRAY OUTSORT OUTCARDS BROWSE TABLE BIG SHOT SORTSHOT CARDSHOT CARDS
# Runs inside the virtual display.
cat > "$WORK/drive.sh" <<'EOF'
set -euo pipefail
export QT_QPA_PLATFORM=xcb
# start OUT ARGS...: runs dxc-browse with ARGS, reports to OUT, focuses its window.
start() {
    CUR=$1
    shift
    "$BROWSE" "$@" > "$CUR" 2> "$CUR.err" &
    PID=$!
    WID=$(timeout 30 xdotool search --sync --onlyvisible --name "dxc-browse" | head -n 1)
    xdotool windowfocus --sync "$WID"
    sleep 0.5
    eval "$(xdotool getwindowgeometry --shell "$WID")"  # X Y WIDTH HEIGHT
    lines=0
}
# Waits for report line number $lines.
await() {
    for _ in $(seq 150); do
        [ "$(wc -l < "$CUR")" -ge "$lines" ] && return 0
        sleep 0.1
    done
    echo "no report after: $*" >&2
    return 1
}
# Sends keys, then P, and waits for the report line.
step() {
    xdotool key --delay 60 "$@" p
    lines=$((lines + 1))
    await "$@"
}
# Turns the wheel N notches down over the middle of the grid, then reports.
wheel() {
    xdotool mousemove --window "$WID" $((WIDTH / 2)) $((HEIGHT / 2))
    xdotool click --repeat "$1" --delay 80 5
    sleep 0.3
    step
}
# Clicks the vertical scroll bar's trough below the thumb (a page down), then reports.
trough() {
    xdotool mousemove --window "$WID" $((WIDTH - 18)) $((HEIGHT * 3 / 4))
    xdotool click 1
    sleep 0.3
    step
}
finish() {
    xdotool key Escape
    for _ in $(seq 100); do kill -0 "$PID" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$PID" 2>/dev/null; then
        echo "dxc-browse did not end on Escape" >&2
        kill "$PID"
        exit 1
    fi
    wait "$PID"
}

start "$OUT" "$TABLE"
step Next Next
step ctrl+Next
step Up
step ctrl+Prior
step Down Down Down
step Right Right End
import -window "$WID" "$SHOT"
wheel 2
trough
finish

if [ -f "$BIG" ]; then
    start "$OUTBIG" "$BIG"
    step ctrl+Next
    step ctrl+Prior
    step Next Next Next
    wheel 1
    trough
    step ctrl+Next Up
    finish
fi

# Sorting: a click on the NAME header (the second column), twice; then the
# border between CODE and NAME dragged 40 pixels right. L and P report.
layout() {
    xdotool key l p
    lines=$((lines + 2))
    await layout
}
start "$OUTSORT" "$TABLE"
layout
xdotool mousemove --window "$WID" 150 12 click 1
sleep 0.5
layout
xdotool mousemove --window "$WID" 150 12 click 1
sleep 0.5
layout
import -window "$WID" "$SORTSHOT"
xdotool mousemove --window "$WID" 71 12 mousedown 1 mousemove --window "$WID" 90 12 mousemove --window "$WID" 111 12 mouseup 1
sleep 0.5
layout
finish

start "$OUTCARDS" --cards "$CARDS"
import -window "$WID" "$CARDSHOT"
layout
finish

start "$OUTARRAY" --array 1000000
step ctrl+Next
step ctrl+Prior Down
wheel 1
finish
EOF
xvfb-run -a -s "-screen 0 1280x1024x24" bash "$WORK/drive.sh"

cat "$OUT"
fail=0
# expect LINE RECORD ROW: report number LINE of $CHECK shows record RECORD on
# screen row ROW ("" any row).
CHECK=$OUT
expect() {
    local got rec row
    got=$(sed -n "${1}p" "$CHECK")
    rec=$(sed -E 's/^record ([0-9]+) of [0-9]+, row ([0-9]+) of ([0-9]+)$/\1/' <<< "$got")
    row=$(sed -E 's/^record ([0-9]+) of [0-9]+, row ([0-9]+) of ([0-9]+)$/\2/' <<< "$got")
    if [ "$rec" != "$2" ] || { [ -n "$3" ] && [ "$row" != "$3" ]; }; then
        echo "FAIL: report $1 is '$got', expected record $2${3:+ on row $3}"
        fail=1
    fi
}
# more LINE: report LINE shows a later record than report LINE-1.
more() {
    local a b
    a=$(sed -n "$(($1 - 1))p" "$CHECK" | sed -E 's/^record ([0-9]+) .*/\1/')
    b=$(sed -n "${1}p" "$CHECK" | sed -E 's/^record ([0-9]+) .*/\1/')
    if ! [ "$b" -gt "$a" ] 2>/dev/null; then
        echo "FAIL: report $1 ('$b') is not past report $(($1 - 1)) ('$a')"
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
expect 7 10 10                   # two wheel notches: 3 rows each
more 8                           # a click in the scroll bar's trough pages down
# Zebra stripes: the second stripe's colour covers a good share of the grid.
stripes=$(convert "$SHOT" -format %c histogram:info:- | grep -i '#E4EEFA' | sed -E 's/^ *([0-9]+):.*/\1/' | head -n 1)
if ! [ "${stripes:-0}" -gt 5000 ]; then
    echo "FAIL: no zebra stripes in the screenshot (${stripes:-0} pixels of the second stripe)"
    fail=1
fi
checked=9
if [ -f "$BIG" ]; then
    cat "$OUTBIG"
    CHECK=$OUTBIG
    expect 1 999999 "$ROWS"      # Ctrl+PgDn over a million records
    expect 2 1 1
    expect 3 $((1 + 3 * ROWS)) 1
    expect 4 $((4 + 3 * ROWS)) 4
    more 5
    expect 6 999998 $((ROWS - 1))
    checked=$((checked + 6))
fi
cat "$OUTSORT"
# sorted LINE TEXT: report LINE of the sort run contains TEXT.
sorted() {
    if ! sed -n "${1}p" "$OUTSORT" | grep -qF -- "$2"; then
        echo "FAIL: sort report $1 is '$(sed -n "${1}p" "$OUTSORT")', expected '$2'"
        fail=1
    fi
}
sorted 1 "sorted: none"
sorted 3 "sorted: NAME asc"
sorted 4 "record 1 of 1000, row 1 of"  # 'Client 1' first
sorted 5 "sorted: NAME desc"
sorted 6 "record 1 of 1000, row $ROWS of $ROWS"  # descending: the same record, now at the bottom
sorted 1 "CODE:64,"
sorted 7 "CODE:104,"                   # the border dragged 40 pixels
checked=$((checked + 7))
cat "$OUTCARDS"
if ! sed -n 1p "$OUTCARDS" | grep -q '^columns: Cards:'; then
    echo "FAIL: the cards browse reported '$(sed -n 1p "$OUTCARDS")'"
    fail=1
fi
# Every other card shows its red picture (40 x 40).
reds=$(convert "$CARDSHOT" -fuzz 12% -fill black +opaque red -fill white -opaque red -format '%[fx:int(mean*w*h+0.5)]' info:)
if ! [ "${reds:-0}" -gt 3000 ]; then
    echo "FAIL: no pictures in the cards screenshot (${reds:-0} red pixels)"
    fail=1
fi
checked=$((checked + 2))
cat "$OUTARRAY"
CHECK=$OUTARRAY
ROWSA=$(sed -n '1p' "$OUTARRAY" | sed -E 's/.* of ([0-9]+)$/\1/')  # taller rows: three lines a cell
expect 1 1000000 "$ROWSA"        # an array of a million rows
expect 2 2 2
expect 3 5 5
expect 4 5 5                     # the report at exit
checked=$((checked + 4))
if [ "$fail" -ne 0 ]; then
    echo "browse_e2e failed"
    exit 1
fi
echo "browse_e2e: $checked checks passed with $ROWS rows on screen"
