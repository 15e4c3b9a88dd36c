#!/usr/bin/env bash
# Memory of one big memo: writes a FoxPro table (code page 1252) whose one
# record holds a memo of MB megabytes (default 100) of accented text, and a
# table alike with a memo of 1 byte, then prints the peak resident memory
# (/usr/bin/time -v) of `dxc-dbf dump` and of the import (`dxc`, COPY and
# INSERT) of each, and the big one's growth over the small one's as a
# multiple of the largest value (the memo's text as UTF-8, a little more
# than its bytes). The goal is 2x at most.
#
#   bench/bench_big_memo.sh [MB]
#
# Needs build/ built (scripts/setup.sh) and, for the import, the server
# settings in PGHOST, PGPORT, PGUSER, PGPASSFILE (scripts/bench.sh or
# scripts/pg-start.sh). Drops and creates the database "dxc".
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/common.sh"

mb=${1:-100}
work=$(mktemp -d "${TMPDIR:-/tmp}/bench_big_memo_XXXXXX")
trap 'rm -rf "$work"' EXIT

write_table() {  # FOLDER BYTES
    mkdir -p "$1"
    /usr/bin/python3 - "$1" "$2" <<'EOF'
import struct, sys
folder, size = sys.argv[1], int(sys.argv[2])
line = "Línea de texto con eñes, acentos y comillas 'así' número 1234567890\r\n".encode("cp1252")
text = (line * (size // len(line) + 1))[:size]
# .FPT: next free block, block size 64; the memo at block 8 (byte 512).
blocks = (8 + len(text) + 63) // 64
with open(folder + "/BIG.FPT", "wb") as f:
    f.write(struct.pack(">I2xH", 8 + blocks, 64).ljust(512, b"\0"))
    f.write(struct.pack(">II", 1, len(text)) + text)
    f.write(b"\0" * (-(8 + len(text)) % 64))
fields = [(b"ID", b"N", 3), (b"NOTE", b"M", 10)]
head = struct.pack("<B3BIHH", 0xF5, 124, 1, 1, 1, 32 + 32 * len(fields) + 1, 1 + 13)
head = head.ljust(29, b"\0") + b"\x03" + b"\0\0"
for name, kind, length in fields:
    head += name.ljust(11, b"\0") + kind + b"\0" * 4 + bytes([length, 0]) + b"\0" * 14
with open(folder + "/BIG.DBF", "wb") as f:
    f.write(head + b"\r" + b"   1" + b"%10d" % 8 + b"\x1a")
print(len(text.decode("cp1252").encode("utf-8")))
EOF
}

peak_kb() {  # COMMAND...: the peak RSS of the command in kB; its output is dropped
    local log=$work/time.log
    /usr/bin/time -v -o "$log" "$@" >/dev/null 2>"$work/stderr" || {
        cat "$work/stderr" >&2
        dxc_die "failed: $*"
    }
    awk -F': ' '/Maximum resident set size/ {print $2}' "$log"
}

import_peak() {  # FOLDER [--insert]
    psql -X -q -d postgres -c "DROP DATABASE IF EXISTS dxc WITH (FORCE)" >/dev/null
    QT_QPA_PLATFORM=offscreen peak_kb "$DXC_BUILD/app/dxc" --dir "$1" --connect --import-only "${@:2}"
}

value=$(write_table "$work/big" $((mb * 1024 * 1024)))
write_table "$work/small" 1 >/dev/null

report() {  # NAME SMALL_KB BIG_KB
    awk -v n="$1" -v s="$2" -v b="$3" -v v="$value" 'BEGIN {
        printf "%-22s peak %7.1f MB, %6.1f MB without the memo: %.2fx the value of %.1f MB\n",
               n, b / 1024, s / 1024, (b - s) * 1024 / v, v / 1048576 }'
}

report "dxc-dbf dump (table)" "$(peak_kb "$DXC_BUILD/tools/dxc-dbf/dxc-dbf" dump "$work/small/BIG.DBF")" \
    "$(peak_kb "$DXC_BUILD/tools/dxc-dbf/dxc-dbf" dump "$work/big/BIG.DBF")"
report "dxc-dbf dump (CSV)" \
    "$(peak_kb "$DXC_BUILD/tools/dxc-dbf/dxc-dbf" dump "$work/small/BIG.DBF" --format csv)" \
    "$(peak_kb "$DXC_BUILD/tools/dxc-dbf/dxc-dbf" dump "$work/big/BIG.DBF" --format csv)"
report "dxc-dbf dump (JSON)" \
    "$(peak_kb "$DXC_BUILD/tools/dxc-dbf/dxc-dbf" dump "$work/small/BIG.DBF" --format json)" \
    "$(peak_kb "$DXC_BUILD/tools/dxc-dbf/dxc-dbf" dump "$work/big/BIG.DBF" --format json)"
report "dxc import (COPY)" "$(import_peak "$work/small")" "$(import_peak "$work/big")"
report "dxc import (INSERT)" "$(import_peak "$work/small" --insert)" "$(import_peak "$work/big" --insert)"
