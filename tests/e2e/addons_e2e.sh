#!/usr/bin/env bash
# End-to-end check of the browse add-ons under a virtual X server: the query
# panel of dxc-browse (F3, typed text, a click on "Find"), its --export read
# back by python3-dbfread value by value, and dxc-sql showing a result.
#
#   addons_e2e.sh PATH/TO/dxc-browse PATH/TO/dxc-sql WORKDIR
# Exit: 0 passed, 1 failed, 77 skipped (no Xvfb, xdotool or python3-dbf).
set -euo pipefail

BROWSE=${1:?usage: addons_e2e.sh DXC_BROWSE DXC_SQL WORKDIR}
SQL=${2:?usage: addons_e2e.sh DXC_BROWSE DXC_SQL WORKDIR}
WORK=${3:?usage: addons_e2e.sh DXC_BROWSE DXC_SQL WORKDIR}
PY=/usr/bin/python3

for tool in xvfb-run xdotool; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool not installed"; exit 77; }
done
"$PY" -c 'import dbf, dbfread' 2>/dev/null || { echo "SKIP: python3-dbf or python3-dbfread not installed"; exit 77; }

rm -rf "$WORK" && mkdir -p "$WORK"
# Saved layouts go to a settings folder of this run, not the user's: a
# layout kept from an earlier run would change what the checks see.
export XDG_CONFIG_HOME="$WORK/config"
TABLE="$WORK/PEOPLE.DBF"
# 301 people, the last of them not an "sm" one; the names that start with
# "sm" in any case are known.
"$PY" - "$TABLE" <<'EOF'
import sys, datetime, dbf
t = dbf.Table(sys.argv[1], 'NAME C(20); CODE N(6,0); PRICE N(9,2); BORN D', dbf_type='db3', codepage='cp850')
t.open(dbf.READ_WRITE)
names = ['Smith', 'SMALL', 'Asmith', 'Jones', 'smalley', 'Ángel', 'ñandú', 'Baker']
for i in range(1, 302):
    t.append(('%s %d' % (names[i % len(names)], i), i, i * 1.25, datetime.date(2000, 1, 1) + datetime.timedelta(days=i)))
t.close()
EOF
LAST_SM=$("$PY" - "$TABLE" <<'EOF'
import sys, dbfread
print(max(n for n, r in enumerate(dbfread.DBF(sys.argv[1]), 1) if r['NAME'].upper().startswith('SM')))
EOF
)

OUT="$WORK/out.txt"
GEOM="$WORK/geometry.txt"
SQLOUT="$WORK/sql.txt"
export OUT GEOM SQLOUT BROWSE SQL TABLE
cat > "$WORK/drive.sh" <<'EOF'
set -euo pipefail
export QT_QPA_PLATFORM=xcb
DXC_DIALOG_GEOMETRY="$GEOM" "$BROWSE" "$TABLE" > "$OUT" 2> "$OUT.err" &
PID=$!
WID=$(timeout 30 xdotool search --sync --onlyvisible --name "dxc-browse" | head -n 1)
xdotool windowfocus --sync "$WID"
sleep 0.5
# center ID: the middle of the element whose caption or id is ID, in screen pixels.
center() {
    awk -F'\t' -v id="$1" '$4 == id { split($5, g, " "); print int(g[1] + g[3] / 2), int(g[2] + g[4] / 2); exit }' "$GEOM"
}
xdotool key F3
sleep 0.5
xdotool type --delay 80 "sm"
sleep 0.3
read -r fx fy < <(center Find)
xdotool mousemove "$fx" "$fy" click 1
sleep 1
# Back to the grid (a click on its first row), to its last row, and report.
xdotool mousemove $((fx)) $((fy + 200)) click 1
sleep 0.3
xdotool key --delay 80 ctrl+Next p
sleep 0.5
xdotool key Escape
for _ in $(seq 100); do kill -0 "$PID" 2>/dev/null || break; sleep 0.1; done
kill "$PID" 2>/dev/null && { echo "dxc-browse did not end on Escape" >&2; exit 1; }
wait "$PID" || true
if [ -n "${PGHOST:-}" ]; then
    "$SQL" --once "SELECT g, 'name ' || g AS name FROM generate_series(1, 5000) g" > "$SQLOUT" 2>&1
fi
EOF
timeout 120 xvfb-run -a -s "-screen 0 1280x1024x24" bash "$WORK/drive.sh"

fail=0
cat "$OUT"
first=$(head -n 1 "$OUT")
if [[ $first != "record $LAST_SM of 301,"* ]]; then
    echo "FAIL: after Find on \"sm\" the last row is not record $LAST_SM: $first"
    fail=1
fi

# --export in NAME order (Spanish: letters without case and accents, Ñ
# after N), read back value by value against the table.
LANG=C "$BROWSE" "$TABLE" --export "$WORK/sorted.dbf" --order name 2>/dev/null
"$PY" - "$TABLE" "$WORK/sorted.dbf" <<'EOF' || fail=1
import sys, unicodedata, dbfread
def spanish(s):
    s = s.rstrip().casefold().replace('ñ', 'n~')
    return ''.join(c for c in unicodedata.normalize('NFD', s) if not unicodedata.combining(c))
src = sorted(dbfread.DBF(sys.argv[1]), key=lambda r: spanish(r['NAME']))
out = list(dbfread.DBF(sys.argv[2]))
assert len(out) == len(src) == 301, (len(out), len(src))
for a, b in zip(src, out):
    assert dict(a) == dict(b), (dict(a), dict(b))
print('export: 301 records read back in NAME order, every value equal')
EOF
if "$BROWSE" "$TABLE" --export "$WORK/sorted.dbf" 2>/dev/null; then
    echo "FAIL: an existing export was replaced without --force"
    fail=1
fi

if [ -f "$SQLOUT" ]; then
    cat "$SQLOUT"
    grep -Eq '^rows 5000, shown [1-9]' "$SQLOUT" || { echo "FAIL: dxc-sql showed no rows"; fail=1; }
fi
[ "$fail" -eq 0 ] || { echo "addons_e2e failed"; exit 1; }
echo "addons_e2e passed"
