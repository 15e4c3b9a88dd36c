#!/usr/bin/env bash
# End-to-end check of dxc-browse's tagging, copying, editing and layout
# under a virtual X server, driven with real keys (xdotool): rows tagged and
# copied (the clipboard read with xclip), a cell edited with --edit and read
# back by python3-dbfread, a column moved and found moved after a restart,
# and --reset-layout bringing the designed order back.
#
#   browse_features_e2e.sh PATH/TO/dxc-browse WORKDIR
# Exit: 0 passed, 1 failed, 77 skipped (no Xvfb, xdotool, xclip or python3-dbf).
set -euo pipefail

BROWSE=${1:?usage: browse_features_e2e.sh DXC_BROWSE WORKDIR}
WORK=${2:?usage: browse_features_e2e.sh DXC_BROWSE WORKDIR}
PY=/usr/bin/python3

for tool in xvfb-run xdotool xclip import; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool not installed"; exit 77; }
done
"$PY" -c 'import dbf, dbfread' 2>/dev/null || { echo "SKIP: python3-dbf or python3-dbfread not installed"; exit 77; }

rm -rf "$WORK" && mkdir -p "$WORK/config"
TABLE="$WORK/PEOPLE.DBF"
"$PY" - "$TABLE" <<'PYEOF'
import sys, dbf
t = dbf.Table(sys.argv[1], 'CODE N(6,0); NAME C(20)', dbf_type='db3')
t.open(dbf.READ_WRITE)
for i in range(1, 21):
    t.append((i, 'Person %d' % i))
t.close()
PYEOF

# Layouts go to a settings folder of this run, not the user's.
export XDG_CONFIG_HOME="$WORK/config"
export BROWSE TABLE WORK
cat > "$WORK/drive.sh" <<'DRIVE'
set -euo pipefail
export QT_QPA_PLATFORM=xcb
start() {
    "$BROWSE" "$@" > "$WORK/out.txt" 2> "$WORK/err.txt" &
    PID=$!
    WID=$(timeout 30 xdotool search --sync --onlyvisible --name "dxc-browse" | head -n 1)
    xdotool windowfocus --sync "$WID"
    sleep 0.5
}
keys() {
    xdotool key --delay 80 "$@"
    sleep 0.4
}
# The clipboard after Ctrl+C, into a file.
copy() {
    keys ctrl+c
    xclip -o -selection clipboard > "$WORK/$1"
}
finish() {
    keys Escape
    for _ in $(seq 100); do kill -0 "$PID" 2>/dev/null || break; sleep 0.1; done
    wait "$PID"
}

# Tag rows 1 and 3, copy; edit row 3's name; move NAME before CODE.
start --reset-layout --edit "$TABLE"
keys shift+Down Down space
copy tagged.txt
keys Home Right Return
xdotool type --delay 60 "Edited name"
keys Return
import -window "$WID" "$WORK/shot.png"
keys Up ctrl+shift+Left
copy moved.txt
finish

# The moved column is still first; the table was opened read-only.
start "$TABLE"
copy restarted.txt
finish

start --reset-layout "$TABLE"
copy reset.txt
finish

# At the last record: Insert, Esc, then Delete and "Sí" to the question.
start --edit "$TABLE"
keys ctrl+Next Insert Escape Delete
keys shift+Tab space
finish
DRIVE
xvfb-run -a -s "-screen 0 1280x1024x24" bash "$WORK/drive.sh"

fail=0
check() {  # check FILE EXPECTED-TEXT
    local got
    got=$(cat "$WORK/$1")
    if [ "$got" != "$2" ]; then
        printf 'FAIL %s:\n--- got\n%s\n--- expected\n%s\n' "$1" "$got" "$2"
        fail=1
    else
        echo "ok $1"
    fi
}
TAB=$'\t'
check tagged.txt "CODE${TAB}NAME
1${TAB}Person 1
3${TAB}Person 3"
check moved.txt "NAME${TAB}CODE
Person 1${TAB}1
Edited name${TAB}3"
check restarted.txt "NAME${TAB}CODE
Person 1${TAB}1"
check reset.txt "CODE${TAB}NAME
1${TAB}Person 1"
got=$("$PY" -c "import dbfread,sys; print([r['NAME'] for r in dbfread.DBF(sys.argv[1])][2])" "$TABLE")
if [ "$got" != "Edited name" ]; then
    echo "FAIL: python3-dbfread reads record 3 as '$got'"
    fail=1
else
    echo "ok the edit read back by python3-dbfread"
fi
# The abandoned row left no record; the export holds what dump lists.
"$BROWSE" "$TABLE" --export "$WORK/out.csv" 2>/dev/null
"$BROWSE" "$TABLE" --export "$WORK/out.dbf" 2>/dev/null
got=$("$PY" - "$TABLE" "$WORK/out.dbf" "$WORK/out.csv" <<'PYEOF'
import sys, dbfread
t, o = dbfread.DBF(sys.argv[1]), dbfread.DBF(sys.argv[2])
rows = open(sys.argv[3], encoding='utf-8').read().splitlines()[1:]
print(t.header.numrecords, len(list(t)), len(list(o)), o.header.numrecords, len(rows), rows[0], rows[-1])
PYEOF
)
if [ "$got" != "20 19 19 19 19 1,Person 1 19,Person 19" ]; then
    echo "FAIL: records in the table, live, exported (DBF, its count, CSV), first CSV row: $got"
    fail=1
else
    echo "ok Insert and Esc left no record; the exports hold the 19 live ones"
fi
exit $fail
