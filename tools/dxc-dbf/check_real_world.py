#!/usr/bin/python3
"""dxc-dbf over tables other programs write (tests/platform/dbf/fixtures/real_world.py):
output always UTF-8, binary values as base64, faults on standard error, a cut
table dumped whole-records-only with exit status 3, both counts in info.

Usage: check_real_world.py DXC_DBF SCRATCH_DIR
"""
import base64
import csv
import decimal
import io
import json
import os
import subprocess
import sys

from dbfread import DBF, FieldParser

from check_dbfread import parse_csv, same, json_value

HERE = os.path.dirname(os.path.abspath(__file__))
FIXTURES = os.path.join(HERE, "..", "..", "tests", "platform", "dbf", "fixtures", "real_world.py")

# The tables dbfread reads as we do, with the code page their header names
# (unknowncp: the 850 we assume). dbfread cannot read dbase7, dbt64, noterm,
# term00 and vfpvar, reads date10's text dates as null and refuses nothing
# of dbase2; the checks above cover those.
DBFREAD_TABLES = {"quotes": "cp1252", "cut": "cp1252", "numbers": "cp1252", "nulpad": "cp1250",
                  "dupnames": "cp1252", "big5": "big5", "gbk": "gbk", "term0a": "cp1252", "nofields": "cp1252",
                  "unknowncp": "cp850"}


class Lenient(FieldParser):
    """A value dbfread cannot parse (a date "20241345", a number of "*") is null, as in our dump."""

    def parse(self, field, data):
        try:
            return FieldParser.parse(self, field, data)
        except ValueError:
            return None


def write_escapes(folder):
    """Text that CSV must quote and JSON escape, in a C field read straight from the record."""
    sys.path.insert(0, os.path.dirname(FIXTURES))
    import real_world
    values = ["tab\there", "back\\slash", 'say "hi"', "a,b", "cr\rlf\n", "", "ctl\x01", "Ñandú, \"año\""]
    rows = [real_world.text(v, 16) + real_world.num(i, 3) for i, v in enumerate(values)]
    with open(os.path.join(folder, "escapes.dbf"), "wb") as f:
        f.write(real_world.table([(b"TEXT", "C", 16), (b"N", "N", 3)], rows, driver=0x02))


def agree_with_dbfread(tool, folder):
    """Every cell of the CSV and JSON dumps against dbfread's value, by position
    (dupnames repeats a name); the cut table's whole records only."""
    write_escapes(folder)
    for name, codepage in dict(DBFREAD_TABLES, escapes="cp850").items():
        path = os.path.join(folder, name + ".dbf")
        table = DBF(path, encoding=codepage, parserclass=Lenient, ignore_missing_memofile=True,
                    recfactory=lambda items: [v for _, v in items])
        status, out, err = run(tool, "dump", path, "--format", "csv")
        # A line without cells reads back as one empty cell (nofields).
        rows = [[] if row == [(False, "")] else row for row in parse_csv(out)]
        records = list(table)[:len(rows) - 1]
        check(status in (0, 3) and len(rows) - 1 == len(records) and len(rows[0]) == len(table.fields),
              "%s: %d rows, %d columns" % (name, len(rows) - 1, len(rows[0])))
        for n, (record, row) in enumerate(zip(records, rows[1:])):
            check(len(row) == len(record), "%s csv row %d: %r" % (name, n + 1, row))
            for f, value, (quoted, cell) in zip(table.fields, record, row):
                same(value, quoted, cell, "%s csv row %d %s" % (name, n + 1, f.name))
        status, out, err = run(tool, "dump", path, "--format", "json")
        objects = json.loads(out, parse_float=decimal.Decimal)
        check(len(objects) == len(records), "%s: %d JSON objects" % (name, len(objects)))
        for n, (record, obj) in enumerate(zip(records, objects)):
            for f, value, cell in zip(table.fields, record, obj.values()):
                quoted, text = json_value(cell)
                same(value, quoted, text, "%s json row %d %s" % (name, n + 1, f.name))


def run(tool, *args):
    p = subprocess.run([tool, *args], capture_output=True)
    return p.returncode, p.stdout.decode("utf-8"), p.stderr.decode("utf-8")  # strict: must be UTF-8


def check(cond, what):
    if not cond:
        print("FAILED: " + what)
        sys.exit(1)


def dump(tool, folder, name, fmt="json", *extra):
    status, out, err = run(tool, "dump", os.path.join(folder, name + ".dbf"), "--format", fmt, *extra)
    if fmt == "json":
        return status, json.loads(out), err
    return status, list(csv.reader(io.StringIO(out, newline=""))), err


def main():
    tool, folder = sys.argv[1], sys.argv[2]
    subprocess.run(["/usr/bin/python3", FIXTURES, folder], check=True)
    sys.path.insert(0, os.path.dirname(FIXTURES))
    import real_world
    csv.field_size_limit(1 << 30)  # a memo of 5 MB is one cell

    status, rows, err = dump(tool, folder, "big5")
    check(status == 0 and list(rows[0]) == ["名稱", "城市"] and rows[0]["名稱"] == "台北市", "Big5 names and text")

    status, rows, err = dump(tool, folder, "dbase7")
    check(base64.b64decode(rows[0]["PHOTO"]) == b"\x00\xff\xfe binary \x80", "dBASE 7 binary memo as base64")
    check(rows[0]["AMOUNT"] == -2.75 and rows[0]["STAMP"] == "2024-02-29 13:45:30.250", "dBASE 7 O and @")
    status, table, err = dump(tool, folder, "dbase7", "csv")
    check(table[1][4] == rows[0]["PHOTO"], "CSV carries the same base64")

    status, rows, err = dump(tool, folder, "vfpvar")
    check(rows[0]["NAME"] == "abc" and base64.b64decode(rows[0]["CODE"]) == b"\x00\xff\x10", "V and Q")
    check(rows[2]["NAME"] is None, "a null V is null")

    status, rows, err = dump(tool, folder, "quotes")
    check(status == 3 and rows[6]["DAY"] is None and rows[5]["DAY"] == "2024-01-09", "bad date is null, status 3")
    check('record 7, field DAY: Text "20241345" is not a date' in err, "bad date told: " + err)

    status, rows, err = dump(tool, folder, "memos")
    check(status == 0 and rows[0]["NOTE"] == "A Hilton Wedding" + " " * 134 and rows[1]["NOTE"] == " ",
          "memos keep their trailing blanks")
    big = real_world.BIG_MEMO.decode("cp1252")
    status, rows, err = dump(tool, folder, "bigmemo", "csv")
    check(status == 0 and rows[1] == [big, "1"], "a memo of 5 MB in CSV")
    status, rows, err = dump(tool, folder, "bigmemo", "json")
    check(status == 0 and rows[0]["NOTE"] == big, "a memo of 5 MB in JSON")
    status, out, err = run(tool, "dump", os.path.join(folder, "bigmemo.dbf"))
    check(out.split("\n")[1] == big.translate({9: 32, 10: 32, 13: 32}) + "   1", "a memo of 5 MB in a table")
    status, rows, err = dump(tool, folder, "blanks")
    check(rows[0]["AMOUNT"] is None and rows[1]["AMOUNT"] is None and err == "", "blank decimals are null, untold")
    check(rows[0]["WHEN"] == "1960-01-01" and rows[0]["RATIO"] == 3411810000, "date of 10, F with an exponent")
    status, rows, err = dump(tool, folder, "nomemo")
    check(status == 3 and rows[0]["NOTE"] is None and rows[0]["ID"] == 1 and "memo file is missing" in err,
          "missing memo file: memos null, status 3: " + err)
    status, out, err = run(tool, "info", os.path.join(folder, "nomemo.dbf"))
    check(status == 0 and "memo file:  missing" in out, "info of a missing memo file: " + out)
    status, out, err = run(tool, "info", os.path.join(folder, "cz1250.dbf"))
    check("code page:  1250, detected" in out, "detected code page: " + out)
    status, out, err = run(tool, "info", os.path.join(folder, "shortrec.dbf"))
    check("record:     6 bytes, the fields' sum (the header says 5)" in out, "record length mended: " + out)
    status, out, err = run(tool, "--codepage", "utf-8", "info", os.path.join(folder, "cz1250.dbf"))
    check("code page:  65001\n" in out, "--codepage utf-8: " + out)

    status, rows, err = dump(tool, folder, "nulpad")
    check(rows[0]["REGION"] == "Jihočeský kraj" and rows[0]["POP"] is None, "NUL padding and * numbers")
    check("record 1, field POP" in err and "record 2, field AREA" in err, "overflow told: " + err)

    status, rows, err = dump(tool, folder, "dupnames")
    check(list(rows[0]) == ["POINT_ID", "POINT_ID_2", "NAME"], "repeated names made unique")

    status, rows, err = dump(tool, folder, "numbers")
    check(rows[0]["MONEY"] == 1234567890123.4567 and str(rows[0]["THIRD"]) == "0.3333333333333333",
          "numbers with every digit")
    check('"BIG": 123456789012345.67' in run(tool, "dump", os.path.join(folder, "numbers.dbf"), "--format", "json")[1],
          "N(20,2) as stored")

    status, rows, err = dump(tool, folder, "cut")
    check(status == 3 and len(rows) == 6, "cut table: whole records, status 3")
    check("header counts 10 records, the file holds 6 whole" in err, "cut table told: " + err)

    status, out, err = run(tool, "info", os.path.join(folder, "cut.dbf"))
    check("records:    6 whole in the file, 10 in the header" in out, "info of a cut table: " + out)
    status, out, err = run(tool, "info", os.path.join(folder, "unknowncp.dbf"))
    check("code page:  850, assumed" in out, "assumed code page: " + out)
    status, out, err = run(tool, "--codepage", "437", "info", os.path.join(folder, "unknowncp.dbf"))
    check("code page:  437\n" in out, "--codepage: " + out)
    status, out, err = run(tool, "info", os.path.join(folder, "dbase7.dbf"))
    check("version:    dBASE 7 (0x8C)" in out and "code page:  1252\n" in out, "dBASE 7 info: " + out)
    status, out, err = run(tool, "info", os.path.join(folder, "dbase2.dbf"))
    check(status == 1 and "dBASE II tables (version byte 0x02) are not supported" in err, "dBASE II refused")
    status, out, err = run(tool, "--codepage", "77", "info", os.path.join(folder, "dbase2.dbf"))
    check(status == 2, "unknown --codepage is a usage error")
    status, out, err = run(tool, "--help")
    check("base64" in out, "--help names base64")
    agree_with_dbfread(tool, folder)
    print("real world: 32 tables read as their writers meant; %d agree with dbfread, cell by cell"
          % (len(DBFREAD_TABLES) + 1))


if __name__ == "__main__":
    main()
