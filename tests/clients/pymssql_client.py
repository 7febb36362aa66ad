# The sandbox through FreeTDS's db-lib, as Python's pymssql drives it: the shared checks of
# checks.json, then what db-lib clients do of their own (parameters, several results, a
# transaction through the driver, a long value). Exit status 1 when a check fails.
#   pymssql_client.py PORT PASSWORD TDS_VERSION   (7.1 or 7.3, pymssql's newest)
import datetime
import decimal
import json
import os
import sys
import uuid

import pymssql

port, password, version = int(sys.argv[1]), sys.argv[2], sys.argv[3]
here = os.path.dirname(os.path.abspath(__file__))
table = "Py_" + version.replace(".", "_")
failures = 0


def check(what, ok, detail=None):
    global failures
    if not ok:
        failures += 1
        print(f"FAIL [pymssql {version}] {what}: {detail!r}")


def connect(pw=password, autocommit=True):
    return pymssql.connect(server="127.0.0.1", port=port, user="sa", password=pw,
                           database="master", tds_version=version, autocommit=autocommit,
                           login_timeout=10, timeout=20)


def kind(value):
    """What the client tells of a value's type: db-lib does not tell int from bigint."""
    if isinstance(value, bool):
        return "bit"
    if isinstance(value, int):
        return "int"
    if isinstance(value, datetime.datetime):
        return "datetime"
    if isinstance(value, uuid.UUID):
        return "guid"
    if isinstance(value, decimal.Decimal):
        return "decimal"
    if isinstance(value, float):
        return "float"
    return "text"


def same(got, want):
    if want is None or got is None:
        return got is None and want is None
    if isinstance(got, bool):
        return str(int(got)) == want
    if isinstance(got, (int, decimal.Decimal)):
        return decimal.Decimal(want) == got
    if isinstance(got, float):
        return float(want) == got
    if isinstance(got, (bytes, bytearray)):
        return "0x" + got.hex().upper() == want
    return str(got) == want


def run_batch(cursor, sql):
    """The last result's rows and description, or the error number."""
    cursor.execute(sql)
    rows, description = None, None
    while True:
        if cursor.description:
            rows, description = cursor.fetchall(), cursor.description
        if not cursor.nextset():
            return rows, description


def shared_checks(conn):
    with open(os.path.join(here, "checks.json"), encoding="utf-8") as f:
        checks = json.load(f)["checks"]
    cursor = conn.cursor()
    for c in checks:
        sql = c["sql"].replace("{t}", table).replace("{x4001}", "x" * 4001)
        try:
            rows, description = run_batch(cursor, sql)
            error = None
        except pymssql.Error as e:
            rows, description, error = None, None, e.args[0] if e.args else None
        if "error" in c:
            check(c["name"], error == c["error"], error)
            continue
        if error is not None:
            check(c["name"], False, error)
            continue
        if "rows" in c:
            ok = rows is not None and len(rows) == len(c["rows"]) and all(
                len(g) == len(w) and all(same(x, y) for x, y in zip(g, w))
                for g, w in zip(rows, c["rows"]))
            check(c["name"], ok, rows)
        if "columns" in c:
            names = [d[0] for d in description or []]
            check(c["name"] + " (names)", names == c["columns"], names)
        if "types" in c:
            kinds = [kind(v) for v in rows[0]] if rows else []
            want = ["int" if t == "bigint" else t for t in c["types"]]
            check(c["name"] + " (types)", kinds == want, kinds)


def expression_sample(conn):
    """The sample of the sandbox's table of expressions: each value, or its error."""
    path = os.path.join(here, "..", "sandbox", "expressions.json")
    with open(path, encoding="utf-8") as f:
        sample = [e for e in json.load(f)["expressions"] if e.get("sample")]
    cursor = conn.cursor()
    for e in sample:
        try:
            cursor.execute("SELECT " + e["sql"])
            got, error = cursor.fetchone()[0], None
        except pymssql.Error as err:
            got, error = None, err.args[0] if err.args else None
        if "error" in e:
            check(e["sql"], error == e["error"], error)
        else:
            check(e["sql"], error is None and same(got, e["value"]), error or got)


def own_checks(conn):
    cursor = conn.cursor()
    # Parameters: db-lib puts them into the text; the values and their types come back.
    cursor.execute("SELECT %s, %d, %s", ("it's 中文", 42, None))
    check("parameters", cursor.fetchall() == [("it's 中文", 42, None)])
    cursor.execute("SELECT LEN(%s)", ("y" * 10000,))
    check("a 10,000-character value", cursor.fetchone() == (10000,))
    # Several results in one batch, each read in turn.
    cursor.execute(f"SELECT 1 AS a; SELECT n FROM {table} WHERE k = 4; SELECT 3")
    results = [cursor.fetchall()]
    while cursor.nextset():
        results.append(cursor.fetchall())
    check("several results", results == [[(1,)], [("abc",)], [(3,)]], results)
    # A transaction through the driver: rolled back, then committed.
    manual = connect(autocommit=False)
    mc = manual.cursor()
    mc.execute(f"INSERT INTO {table} (k) VALUES (300)")
    manual.rollback()
    mc.execute(f"SELECT COUNT(*) FROM {table} WHERE k = 300")
    check("a rolled-back row is gone", mc.fetchone() == (0,))
    mc.execute(f"INSERT INTO {table} (k) VALUES (301)")
    manual.commit()
    manual.close()
    cursor.execute(f"SELECT COUNT(*) FROM {table} WHERE k = 301")
    check("a committed row stays", cursor.fetchone() == (1,))
    try:
        connect("not the password")
        check("a wrong password is refused", False)
    except pymssql.Error as e:
        check("a wrong password is refused", b"Login failed for user 'sa'" in str(e).encode(), e)


def main():
    conn = connect()
    shared_checks(conn)
    expression_sample(conn)
    own_checks(conn)
    conn.close()
    print(f"pymssql {version}: {'failures: ' + str(failures) if failures else 'all checks passed'}")
    sys.exit(1 if failures else 0)


main()
