#!/usr/bin/python3
"""Reads a dBASE III table with an independent reader (dbfread) and prints it.

Usage: dbf_check.py TABLE.DBF

Output, one JSON value per line:
  {"version":3,"records":N,"fields":[["NAME","C",8,0],...]}
  then one array per record with the values as dbfread parses them
  (C: text without trailing blanks, N: int/float or null, D: "YYYY-MM-DD"
  or null, L: true/false/null).

Exits 1 with a message on stderr when the reader rejects the file, or when
the file is not a plain dBASE III table: version byte 3, header length of
32 + 32 per field + 1, record length of 1 + the field widths, every record
live, and as many records in the file as the header counts (an end mark
0x1A after the last record is allowed).  When shapelib's dbfdump is
installed it must list the same number of records.
"""
import datetime
import json
import os
import shutil
import struct
import subprocess
import sys

import dbfread


def fail(text):
    print("dbf_check: " + text, file=sys.stderr)
    sys.exit(1)


def value(v):
    if isinstance(v, (datetime.date, datetime.datetime)):
        return v.isoformat()
    return v


def main():
    if len(sys.argv) != 2:
        fail("usage: dbf_check.py TABLE.DBF")
    path = sys.argv[1]
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 32:
        fail("header shorter than 32 bytes")
    version = data[0]
    count, head_len, rec_len = struct.unpack_from("<IHH", data, 4)
    try:
        table = dbfread.DBF(path, encoding="ascii", char_decode_errors="strict")
        records = [[value(v) for v in rec.values()] for rec in table]
        deleted = len(list(table.deleted))
    except Exception as err:  # the reader refused the file
        fail("dbfread: %s: %s" % (type(err).__name__, err))

    fields = [[f.name, f.type, f.length, f.decimal_count] for f in table.fields]
    if version != 3:
        fail("version byte %d, not 3" % version)
    if head_len != 32 + 32 * len(fields) + 1:
        fail("header length %d for %d fields" % (head_len, len(fields)))
    if rec_len != 1 + sum(f[2] for f in fields):
        fail("record length %d disagrees with the fields" % rec_len)
    if deleted:
        fail("%d deleted records" % deleted)
    if len(records) != count:
        fail("header counts %d records, the file holds %d" % (count, len(records)))
    body = len(data) - head_len - count * rec_len
    if body not in (0, 1) or (body == 1 and data[-1] != 0x1A):
        fail("%d bytes after the last record" % body)

    dbfdump = shutil.which("dbfdump") or ("/usr/bin/dbfdump" if os.path.exists("/usr/bin/dbfdump") else None)
    if dbfdump:
        out = subprocess.run([dbfdump, "-r", path], capture_output=True, text=True)
        if out.returncode != 0:
            fail("dbfdump failed: " + out.stderr.strip())
        listed = len(out.stdout.splitlines()) - 1
        if listed != count:
            fail("dbfdump lists %d records, the header counts %d" % (listed, count))

    print(json.dumps({"version": version, "records": count, "fields": fields},
                     separators=(",", ":")))
    for rec in records:
        print(json.dumps(rec, separators=(",", ":")))


if __name__ == "__main__":
    main()
