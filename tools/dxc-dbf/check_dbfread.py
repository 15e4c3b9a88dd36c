#!/usr/bin/python3
"""Checks `dxc-dbf info` and `dxc-dbf dump` against python3-dbfread.

Usage: check_dbfread.py DXC_DBF WORKDIR

Tables are written with python3-dbf (dBASE III, FoxPro and Visual FoxPro,
code pages 850 and 1252, awkward text, blanks, deleted records) and read
back with dbfread; every field description, the record count and every
value of the live records must agree with what dxc-dbf prints, in CSV and
in JSON. Prints one line per table and exits 1 on the first difference.
"""
import datetime
import decimal
import json
import os
import subprocess
import sys

import dbf
from dbfread import DBF

AWKWARD = ["plain", "", "Ñandú, año", 'say "hi"', "  lead", "a,b", "çüé âäà", "Zoë"]


def write(path, specs, rows, dbf_type, codepage, deleted=()):
    table = dbf.Table(path, specs, dbf_type=dbf_type, codepage=codepage)
    table.open(dbf.READ_WRITE)
    for row in rows:
        table.append(row)
    for i in deleted:
        dbf.delete(table[i])
    table.close()
    return path + ".dbf"


def fixtures(workdir):
    day = datetime.date
    rows = []
    for i, text in enumerate(AWKWARD):
        rows.append((text, (i - 3) * 1234.5 if i % 3 else None, i * 7 - 20,
                     day(1990 + i, 1 + i, 10 + i) if i % 4 else None,
                     [True, False, None][i % 3], ("memo %d\r\nline, \"two\"" % i) if i % 2 else ""))
    yield write(os.path.join(workdir, "db3"), "name C(14); amount N(10,2); qty N(5,0); born D; ok L; notes M",
                rows, "db3", "cp850", deleted=(2,))
    yield write(os.path.join(workdir, "fox"), "name C(14); amount F(12,3); qty N(5,0); born D; ok L; notes M",
                rows, "fp", "cp1252", deleted=(0, 5))
    vrows = [(t, i * 100 - 50, i / 8.0, datetime.datetime(2001, 2, 3, 4, 5, i)) for i, t in enumerate(AWKWARD)]
    yield write(os.path.join(workdir, "vfp"), "name C(14); count I; ratio B; stamp T", vrows, "vfp", "cp1252",
                deleted=(7,))


def run(dxc, *args):
    out = subprocess.run([dxc, *args], capture_output=True)
    if out.returncode != 0:
        sys.exit("dxc-dbf %s failed: %s" % (" ".join(args), out.stderr.decode()))
    return out.stdout.decode("utf-8")


def parse_csv(text):
    """RFC 4180 rows of (quoted, text) cells, so that "" and an empty cell differ."""
    rows, row, i = [], [], 0
    while i < len(text):
        if text[i] == '"':
            j, cell = i + 1, []
            while True:
                if text[j] == '"' and text[j + 1:j + 2] == '"':
                    cell.append('"')
                    j += 2
                elif text[j] == '"':
                    j += 1
                    break
                else:
                    cell.append(text[j])
                    j += 1
            row.append((True, "".join(cell)))
            i = j
        else:
            j = i
            while j < len(text) and text[j] not in ",\r":
                j += 1
            row.append((False, text[i:j]))
            i = j
        if text.startswith("\r\n", i):
            rows.append(row)
            row = []
            i += 2
        elif i < len(text) and text[i] == ",":
            i += 1  # a cell follows, empty when the line ends here
        else:
            sys.exit("malformed CSV at offset %d" % i)
    return rows


def same(expected, quoted, cell, where):
    """expected: dbfread's value; (quoted, cell): our CSV cell."""
    if expected is None:
        ok = not quoted and cell == ""
    elif isinstance(expected, bool):
        ok = cell == ("true" if expected else "false")
    elif isinstance(expected, (int, float, decimal.Decimal)):
        ok = decimal.Decimal(cell) == decimal.Decimal(str(expected)) if cell else False
    elif isinstance(expected, datetime.datetime):
        ok = cell == expected.strftime("%Y-%m-%d %H:%M:%S")
    elif isinstance(expected, datetime.date):
        ok = cell == expected.isoformat()
    else:
        ok = cell == expected and (quoted or cell != "")
    if not ok:
        sys.exit("%s: dbfread %r, dxc-dbf %r" % (where, expected, cell if quoted or cell else "<null>"))


def json_value(v):
    """Our JSON value in the form the CSV gives it."""
    if v is None:
        return False, ""
    if isinstance(v, bool):
        return False, "true" if v else "false"
    if isinstance(v, (int, float, decimal.Decimal)):
        return False, str(v)
    return True, v


def check(dxc, path):
    name = os.path.basename(path)
    codepage = {"db3": "cp850"}.get(name[:-4], "cp1252")
    table = DBF(path, encoding=codepage, char_decode_errors="strict", ignore_missing_memofile=True)
    records = list(table)

    info = run(dxc, "info", path).splitlines()
    fields = [line.split() for line in info if line.startswith("  ")]
    want = [[f.name, f.type, str(f.length), str(f.decimal_count)] for f in table.fields]
    if fields != want:
        sys.exit("%s: fields %r, dbfread %r" % (name, fields, want))
    count = int([line for line in info if line.startswith("records:")][0].split()[1])
    if count != len(records) + len(list(table.deleted)):
        sys.exit("%s: %d records, dbfread %d" % (name, count, len(records)))

    rows = parse_csv(run(dxc, "dump", path, "--format", "csv"))
    if [c for _, c in rows[0]] != [f.name for f in table.fields]:
        sys.exit("%s: header %r" % (name, rows[0]))
    if len(rows) - 1 != len(records):
        sys.exit("%s: %d rows, dbfread %d" % (name, len(rows) - 1, len(records)))
    for n, (record, row) in enumerate(zip(records, rows[1:])):
        for f, (quoted, cell) in zip(table.fields, row):
            same(record[f.name], quoted, cell, "%s csv row %d %s" % (name, n + 1, f.name))

    objects = json.loads(run(dxc, "dump", path, "--format", "json"), parse_float=decimal.Decimal)
    for n, (record, obj) in enumerate(zip(records, objects)):
        for f in table.fields:
            quoted, cell = json_value(obj[f.name])
            same(record[f.name], quoted, cell, "%s json row %d %s" % (name, n + 1, f.name))

    every = parse_csv(run(dxc, "dump", path, "--format", "csv", "--deleted"))
    if len(every) - 1 != count:
        sys.exit("%s: --deleted gave %d rows of %d" % (name, len(every) - 1, count))
    if name == "db3.dbf":
        check_selection(dxc, path, records)
    print("%s: %d fields, %d live records agree" % (name, len(want), len(records)))


def check_selection(dxc, path, records):
    """--fields, --for and --order against the same selection made in Python."""
    want = sorted((r for r in records if r["QTY"] > 0), key=lambda r: -r["QTY"])
    rows = parse_csv(run(dxc, "dump", path, "--format", "csv", "--fields", "QTY, Upper(NAME), STR(QTY,5)",
                         "--for", "QTY > 0 .and. !Deleted()", "--order", "-QTY"))
    if [c for _, c in rows[0]] != ["QTY", "Upper(NAME)", "STR(QTY,5)"]:
        sys.exit("selection header %r" % rows[0])
    got = [(int(r[0][1]), r[1][1], r[2][1]) for r in rows[1:]]
    expected = [(r["QTY"], r["NAME"].upper(), "%5d" % r["QTY"]) for r in want]
    if got != expected:
        sys.exit("selection %r, expected %r" % (got, expected))


def main():
    dxc, workdir = sys.argv[1], sys.argv[2]
    os.makedirs(workdir, exist_ok=True)
    for path in fixtures(workdir):
        check(dxc, path)


if __name__ == "__main__":
    main()
