#!/usr/bin/python3
"""Compares our import of a folder of DBF tables with pgdbf's, value by value.

Usage: compare_pgdbf.py DBF_DIR DATABASE [--ref-schema NAME] [--schema NAME]

The server comes from PGHOST, PGPORT, PGUSER and PGPASSFILE. Each *.DBF of
DBF_DIR is loaded by `pgdbf` into the schema NAME (default "pgdbf_ref",
dropped and created afresh), then compared with the table of the same name
that our import made in schema "public": every column both tables have,
record by record in DBF order (ours ordered by its "recno" column, pgdbf's
in load order; the rows pair up in that order).

pgdbf 0.6.2, as run here (-s CODEPAGE -q [-m MEMO]):
  - skips deleted records, as our import does;
  - writes a blank date as NULL, a blank logical (or "?") as false, blank
    numbers as NULL and "0.00" as 0.00, an empty memo as '';
  - drops leading and trailing blanks of character fields (memos keep the
    leading ones);
  - names a table after the file up to its first dot, in lower case, as our
    import does, and its columns after the fields in lower case;
  - refuses FoxPro headers that carry the 263-byte Visual FoxPro area.
Our import stores a field without value (blank character text, a blank
number, date or logical, a memo without block or text) as NULL and keeps
trailing blanks; a memo of blanks is a value, stored as it is. So
both sides are normalised: NULL and blank text are '', NULL and 0 are 0
(compared as exact decimals), NULL and false are false; text loses trailing
blanks, and leading ones too in character fields; dates compare as dates.
A live record none of whose fields holds a value (read from the DBF's
bytes) has no row of ours (the import sends no statement for it).

Prints "TABLE: R rows, V values agree" per table and every mismatch; a table
pgdbf cannot load is skipped with the reason, unless manifest.json of DBF_DIR
says pgdbf loads it. Exit status: 0 all agree, 1 a mismatch or a missing
table or row, 2 a wrong command line or no server.
"""
import argparse
import decimal
import json
import os
import re
import struct
import subprocess
import sys
import tempfile

# Language-driver byte -> iconv name for pgdbf -s (0 and unknown: the DOS default).
CODE_PAGES = {0x01: "CP437", 0x02: "CP850", 0x03: "CP1252", 0x64: "CP852", 0x65: "CP866", 0xC8: "CP1250",
              0xC9: "CP1251", 0x57: "CP1252"}
MEMO_TYPES = set("MGP")
NUMERIC = {"numeric", "integer", "bigint", "smallint", "double precision", "real"}
TEXTUAL = {"character", "character varying", "text"}


class Skip(Exception):
    """The table cannot be compared; the text says why."""


# ------------------------------------------------------------------ DBF files

class DbfFile:
    """The header facts the comparison needs, read independently of both importers."""

    def __init__(self, path):
        self.path = path
        size = os.path.getsize(path)
        with open(path, "rb") as f:
            head = f.read(32)
            if len(head) < 32:
                raise Skip("not a DBF: %d bytes, shorter than a header" % size)
            self.count, self.header_len, self.record_len = struct.unpack("<IHH", head[4:12])
            self.driver = head[29]
            if self.header_len < 33 or self.record_len < 1 or self.header_len > size:
                raise Skip("not a DBF: header length %d, record length %d, file %d bytes"
                           % (self.header_len, self.record_len, size))
            descriptors = f.read(self.header_len - 32)
        self.fields = []
        self.lengths = []
        for at in range(0, len(descriptors) - 31, 32):
            if descriptors[at] == 0x0D:
                break
            name = descriptors[at:at + 11].split(b"\0")[0].decode("ascii", "replace")
            self.fields.append((name, chr(descriptors[at + 11])))
            self.lengths.append(descriptors[at + 16])
        if not self.fields:
            raise Skip("not a DBF: no field descriptors")
        # A count that claims more than the file holds: only whole records exist.
        self.count = min(self.count, (size - self.header_len) // self.record_len)

    @property
    def encoding(self):
        return CODE_PAGES.get(self.driver, "CP850")

    def has_memo(self):
        return any(t in MEMO_TYPES for _, t in self.fields)

    # The bytes of a field that holds no value, by type (other types always hold one).
    NO_VALUE = {"C": b" \0\t\r\n", "N": b" \0", "F": b" \0", "D": b" 0\0", "L": b" ?\0", "M": b" 0\0",
                "T": b"\0"}

    def without_value(self, record):
        """Whether no field of a record (its bytes after the deleted flag) holds a value."""
        at = 1
        for (_, kind), length in zip(self.fields, self.lengths):
            blank = self.NO_VALUE.get(kind)
            value = record[at:at + length]
            if blank is None or (value.strip(blank) and not (kind == "M" and self.empty_memo(value))):
                return False
            at += length
        return True

    def empty_memo(self, pointer):
        """Whether the memo a pointer names holds no text (which the import stores as NULL; a
        memo of blanks holds them, so its record is imported although pgdbf's value is the same)."""
        memo = sibling(self.path, {".dbt", ".fpt"})
        try:
            block = int(pointer.strip(b" \0") or b"0") if len(pointer) == 10 else struct.unpack("<I", pointer)[0]
        except ValueError:
            return False
        if memo is None or block == 0:
            return False
        with open(memo, "rb") as f:
            if memo.lower().endswith(".fpt"):
                size = struct.unpack(">H", f.read(8)[6:8])[0]
                f.seek(block * size)
                length = struct.unpack(">I", f.read(8)[4:8])[0]
                text = f.read(length)
            else:
                f.seek(block * 512)
                text = f.read(65536).split(b"\x1a")[0]
        return not text

    def deleted_flags(self):
        """(recno, deleted, without value) for every record, read a block at a time."""
        per_block = max(1, (1 << 20) // self.record_len)
        recno = 0
        with open(self.path, "rb") as f:
            f.seek(self.header_len)
            while recno < self.count:
                n = min(per_block, self.count - recno)
                block = f.read(n * self.record_len)
                for i in range(0, len(block), self.record_len):
                    recno += 1
                    record = block[i:i + self.record_len]
                    yield recno, record[0] == 0x2A, self.without_value(record)


def sibling(path, extensions):
    folder, name = os.path.split(path)
    stem = name.rsplit(".", 1)[0].lower()
    for entry in sorted(os.listdir(folder or ".")):
        base, dot, ext = entry.rpartition(".")
        if dot and base.lower() == stem and "." + ext.lower() in extensions:
            return os.path.join(folder, entry)
    return None


# ------------------------------------------------------------------ server

def psql_command(database):
    return ["psql", "-X", "-q", "-v", "ON_ERROR_STOP=1", "-d", database]


def psql_env(**settings):
    env = dict(os.environ, PGCLIENTENCODING="UTF8")
    env["PGOPTIONS"] = " ".join("-c %s=%s" % kv for kv in settings.items())
    return env


def run_sql(database, sql):
    out = subprocess.run(psql_command(database) + ["-A", "-t", "-F", "\t", "-c", sql], capture_output=True,
                         text=True, env=psql_env())
    if out.returncode != 0:
        raise RuntimeError(out.stderr.strip())
    return [line.split("\t") for line in out.stdout.splitlines() if line]


def quote_ident(name):
    return '"' + name.replace('"', '""') + '"'


def quote_literal(text):
    return "'" + text.replace("'", "''") + "'"


def columns(database, schema, table):
    """[(name, data type)] in column order; [] when the table does not exist."""
    rows = run_sql(database, "SELECT column_name, data_type FROM information_schema.columns "
                             "WHERE table_schema = %s AND table_name = %s ORDER BY ordinal_position"
                   % (quote_literal(schema), quote_literal(table)))
    return [(r[0], r[1]) for r in rows]


def load_with_pgdbf(dbf, table_path, database, schema):
    memo = None
    if dbf.has_memo():
        memo = sibling(table_path, {".fpt", ".dbt"})
        if memo is None:
            raise Skip("memo fields and no .FPT or .DBT beside the table")
    command = ["pgdbf", "-s", dbf.encoding, "-q"] + (["-m", memo] if memo else []) + [table_path]
    with tempfile.TemporaryFile() as errors:
        converter = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=errors)
        loader = subprocess.run(psql_command(database), stdin=converter.stdout, capture_output=True, text=True,
                                env=psql_env(search_path=schema))
        converter.stdout.close()
        status = converter.wait()
        errors.seek(0)
        why = errors.read().decode("utf-8", "replace").strip()
    if status != 0:
        raise Skip("pgdbf failed: %s" % (why or "status %d" % status))
    if loader.returncode != 0:
        raise Skip("pgdbf's output did not load: %s" % loader.stderr.strip())


def unescape_copy(field):
    r"""A field of COPY's text format: \N is NULL, backslash escapes the rest."""
    if field == "\\N":
        return None
    if "\\" not in field:
        return field
    escapes = {"b": "\b", "f": "\f", "n": "\n", "r": "\r", "t": "\t", "v": "\v"}
    out, i = [], 0
    while i < len(field):
        c = field[i]
        if c == "\\" and i + 1 < len(field):
            nxt = field[i + 1]
            octal = re.match(r"[0-7]{1,3}", field[i + 1:])
            if nxt in escapes:
                out.append(escapes[nxt])
                i += 2
            elif octal:
                out.append(chr(int(octal.group(), 8)))
                i += 1 + len(octal.group())
            else:
                out.append(nxt)
                i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


def copy_rows(database, select):
    """The rows of a SELECT, streamed through COPY so that memory stays flat."""
    process = subprocess.Popen(psql_command(database) + ["-c", "COPY (%s) TO STDOUT" % select],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, encoding="utf-8",
                               env=psql_env(datestyle="ISO"))
    try:
        for line in process.stdout:
            yield [unescape_copy(f) for f in line.rstrip("\n").split("\t")]
        if process.wait() != 0:
            raise RuntimeError(process.stderr.read().strip())
    finally:
        if process.poll() is None:  # the reader stopped early
            process.kill()
            process.wait()


# ------------------------------------------------------------------ values

def kind(data_type):
    if data_type == "boolean":
        return "logical"
    if data_type in NUMERIC:
        return "number"
    if data_type == "date":
        return "date"
    return "text"


def normalise(value, data_type, strip_leading):
    k = kind(data_type)
    if k == "logical":
        return value in ("t", "true")
    if k == "number":
        try:
            return decimal.Decimal(value) if value is not None else decimal.Decimal(0)
        except decimal.InvalidOperation:
            return value
    if k == "date":
        return value
    text = (value or "").rstrip(" ")
    return text.lstrip(" ") if strip_leading else text


def shown_pair(ours, theirs):
    """Both values as the server gave them; long ones around their first difference."""
    if ours is None or theirs is None or max(len(ours), len(theirs)) <= 80:
        return tuple("NULL" if v is None else repr(v) for v in (ours, theirs))
    at = next((i for i, (a, b) in enumerate(zip(ours, theirs)) if a != b), min(len(ours), len(theirs)))
    start = max(0, at - 20)
    return tuple("%d characters, from %d: %r" % (len(v), start, v[start:at + 20]) for v in (ours, theirs))


class Comparison:
    def __init__(self, table):
        self.table = table
        self.rows = 0
        self.agree = 0
        self.mismatches = []
        self.empty_skipped = 0

    def mismatch(self, text):
        self.mismatches.append("%s: %s" % (self.table, text))


def compare_table(dbf, table, database, ours_schema, ref_schema):
    ref_columns = columns(database, ref_schema, table)
    our_columns = dict(columns(database, ours_schema, table))
    result = Comparison(table)
    if not our_columns:
        result.mismatch("no table %s.%s" % (ours_schema, table))
        return result
    if "recno" not in our_columns:
        result.mismatch("%s.%s has no recno column to put its rows in DBF order" % (ours_schema, table))
        return result
    common = [(name, ref_type, our_columns[name]) for name, ref_type in ref_columns if name in our_columns]
    if not common:
        result.mismatch("no column in common with pgdbf's %s" % [name for name, _ in ref_columns])
        return result
    listed = ", ".join("%s::text" % quote_ident(name) for name, _, _ in common)
    theirs = copy_rows(database, "SELECT %s FROM %s.%s ORDER BY ctid"
                       % (listed, quote_ident(ref_schema), quote_ident(table)))
    ours = copy_rows(database, "SELECT recno::text AS recno_text, %s FROM %s.%s ORDER BY recno"
                     % (listed, quote_ident(ours_schema), quote_ident(table)))
    # Neither side has deleted records, and ours has no row for a record
    # whose every field is empty; otherwise the rows pair up in DBF order
    # (ours numbered 1, 2, ... by recno in that order).
    ours_row = next(ours, None)
    for recno, deleted, without_value in dbf.deleted_flags():
        if deleted:
            continue
        ref_row = next(theirs, None)
        if ref_row is None:
            result.mismatch("record %d: pgdbf loaded no row for it" % recno)
            continue
        theirs_values = [normalise(v, t, t == "character varying") for v, (_, t, _) in zip(ref_row, common)]
        if without_value:
            result.empty_skipped += 1
            continue
        if ours_row is None:
            result.mismatch("record %d: no row of ours" % recno)
            continue
        result.rows += 1
        for (name, ref_type, our_type), raw_ours, raw_theirs, theirs_value in zip(common, ours_row[1:], ref_row,
                                                                                   theirs_values):
            ours_value = normalise(raw_ours, our_type, ref_type == "character varying")
            if ours_value == theirs_value:
                result.agree += 1
            else:
                result.mismatch("record %d, column %s: ours %s, pgdbf %s"
                                % ((recno, name) + shown_pair(raw_ours, raw_theirs)))
        ours_row = next(ours, None)
    if next(theirs, None) is not None:
        result.mismatch("pgdbf loaded more rows than the DBF has live records")
    while ours_row is not None:
        result.mismatch("row %s of ours is not a record of the DBF" % ours_row[0])
        ours_row = next(ours, None)
    return result


# ------------------------------------------------------------------ driver

def dbf_files(folder):
    return sorted(e for e in os.listdir(folder) if e.lower().endswith(".dbf")
                  and os.path.isfile(os.path.join(folder, e)))


def expected_loadable(folder):
    """Tables that manifest.json (when there is one) says pgdbf loads."""
    try:
        with open(os.path.join(folder, "manifest.json"), encoding="utf-8") as f:
            return {t["file"] for t in json.load(f)["tables"] if t.get("pgdbf")}
    except FileNotFoundError:
        return set()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("dbf_dir")
    parser.add_argument("database")
    parser.add_argument("--ref-schema", default="pgdbf_ref", help="schema for pgdbf's tables (made afresh)")
    parser.add_argument("--schema", default="public", help="schema of our import's tables")
    args = parser.parse_args()
    if args.ref_schema == args.schema:
        parser.error("--ref-schema must differ from --schema: it is dropped")
    if not os.path.isdir(args.dbf_dir):
        parser.error("%s is not a folder" % args.dbf_dir)
    try:
        run_sql(args.database, "DROP SCHEMA IF EXISTS %s CASCADE; CREATE SCHEMA %s"
                % (quote_ident(args.ref_schema), quote_ident(args.ref_schema)))
    except (RuntimeError, FileNotFoundError) as e:
        print("compare_pgdbf: cannot prepare schema %s: %s" % (args.ref_schema, e), file=sys.stderr)
        return 2

    must_load = expected_loadable(args.dbf_dir)
    failed = False
    for name in dbf_files(args.dbf_dir):
        table = name.split(".")[0].lower()
        path = os.path.join(args.dbf_dir, name)
        try:
            dbf = DbfFile(path)
            load_with_pgdbf(dbf, path, args.database, args.ref_schema)
        except Skip as why:
            print("%s: skipped, %s" % (table, why))
            if name in must_load:
                print("%s: the manifest says pgdbf loads %s" % (table, name))
                failed = True
            continue
        try:
            result = compare_table(dbf, table, args.database, args.schema, args.ref_schema)
        except RuntimeError as e:
            print("%s: the comparison failed: %s" % (table, e))
            failed = True
            continue
        print("%s: %d rows, %d values agree" % (table, result.rows, result.agree))
        notes = []
        if result.empty_skipped:
            notes.append("%d all-empty records not imported" % result.empty_skipped)
        if notes:
            print("  (%s)" % "; ".join(notes))
        for line in result.mismatches:
            print(line)
        failed = failed or bool(result.mismatches)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
