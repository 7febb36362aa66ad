// A second TDS client, written by others (tedious), against the sandbox at one TDS version: the
// shared checks of checks.json, then what tedious does of its own: logins accepted and refused, a
// batch of several statements, a round trip of every type it sends, parameters' types and output
// parameters, a bulk load, the errors 208, 207 and 2714, transactions, prepared statements, a
// cancel.
//   node second_client.js PORT PASSWORD DATABASE TDS_VERSION   (7_1 or 7_4)
'use strict';
const { Connection, Request, TYPES, ISOLATION_LEVEL } = require('tedious');

const [port, password, database, version] = [+process.argv[2], process.argv[3], process.argv[4], process.argv[5]];
const modern = version >= '7_3_A';
let failures = 0, passed = 0;

function check(what, ok, detail) {
  if (ok) { passed++; return; }
  failures++;
  console.log(`FAIL [${version}] ${what}${detail === undefined ? '' : ': ' + JSON.stringify(detail)}`);
}

function connect(pw) {
  return new Promise(resolve => {
    const c = new Connection({
      server: '127.0.0.1',
      authentication: { type: 'default', options: { userName: 'sa', password: pw } },
      options: { port, database, encrypt: false, tdsVersion: version, connectTimeout: 10000,
                 requestTimeout: 20000, trustServerCertificate: true },
    });
    c.on('error', () => {});
    c.connect(err => resolve({ c, err }));
  });
}

// Runs sql as a batch (params undefined) or through sp_executesql; resolves with rows, counts
// and the error, never rejects.
function run(c, sql, params) {
  return new Promise(resolve => {
    const rows = [], counts = [];
    const r = new Request(sql, (err, rowCount) => resolve({ err, rows, counts, rowCount }));
    r.on('row', cols => rows.push(cols.map(x => x.value)));
    r.on('doneInProc', n => { if (n !== undefined) counts.push(n); });
    r.on('done', n => { if (n !== undefined) counts.push(n); });
    for (const [name, type, value, opts] of params || []) r.addParameter(name, type, value, opts);
    if (params) c.execSql(r); else c.execSqlBatch(r);
  });
}

const table = `Second_${version}`;

// The kind of a result column as tedious describes it, in the words of checks.json.
function kind(meta) {
  const name = meta.type.name;
  if (name === 'IntN' || name === 'Int') return meta.dataLength === 8 ? 'bigint' : 'int';
  if (name === 'BigInt') return 'bigint';
  if (name === 'BitN' || name === 'Bit') return 'bit';
  if (name === 'DateTimeN' || name === 'DateTime') return 'datetime';
  if (name === 'UniqueIdentifier') return 'guid';
  if (name === 'DecimalN' || name === 'NumericN' || name === 'Decimal' || name === 'Numeric') return 'decimal';
  if (name === 'FloatN' || name === 'Float' || name === 'Real') return 'float';
  return 'text';
}

function same(got, want) {
  if (got === null || want === null) return got === null && want === null;
  if (Buffer.isBuffer(got)) return '0x' + got.toString('hex').toUpperCase() === want;
  if (typeof got === 'boolean') return String(Number(got)) === want;
  if (typeof got === 'number') return Number(want) === got;
  return String(got) === want;
}

// The batches of checks.json, each on its own: the last result's rows, names and kinds, or the
// error number.
async function sharedChecks(c) {
  const { checks } = JSON.parse(require('fs').readFileSync(require('path').join(__dirname, 'checks.json'), 'utf8'));
  for (const check_ of checks) {
    const sql = check_.sql.replaceAll('{t}', `Shared_${version}`).replaceAll('{x4001}', 'x'.repeat(4001));
    const r = await new Promise(resolve => {
      let last = null;
      const q = new Request(sql, err => resolve({ err, last }));
      q.on('columnMetadata', cols => { last = { columns: cols, rows: [] }; });
      q.on('row', cols => last.rows.push(cols.map(x => x.value)));
      c.execSqlBatch(q);
    });
    if ('error' in check_) {
      check(check_.name, r.err && r.err.number === check_.error, r.err ? r.err.number : 'no error');
      continue;
    }
    if (r.err) { check(check_.name, false, r.err.message); continue; }
    const last = r.last || { columns: [], rows: [] };
    if (check_.rows)
      check(check_.name, last.rows.length === check_.rows.length &&
            last.rows.every((row, i) => row.length === check_.rows[i].length && row.every((v, j) => same(v, check_.rows[i][j]))),
            last.rows);
    if (check_.columns) {
      const names = last.columns.map(m => m.colName);
      check(`${check_.name} (names)`, JSON.stringify(names) === JSON.stringify(check_.columns), names);
    }
    if (check_.types) {
      const kinds = last.columns.map(kind);
      check(`${check_.name} (types)`, JSON.stringify(kinds) === JSON.stringify(check_.types), kinds);
    }
  }
}

// The sample of the sandbox's table of expressions: each value, or its error.
async function expressionSample(c) {
  const file = require('path').join(__dirname, '..', 'sandbox', 'expressions.json');
  const sample = JSON.parse(require('fs').readFileSync(file, 'utf8')).expressions.filter(e => e.sample);
  for (const e of sample) {
    const r = await run(c, 'SELECT ' + e.sql);
    if ('error' in e) check(e.sql, r.err && r.err.number === e.error, r.err ? r.err.number : 'no error');
    else check(e.sql, !r.err && r.rows.length === 1 && same(r.rows[0][0], e.value), r.err ? r.err.message : r.rows);
  }
}

async function main() {
  const refused = await connect('not the password');
  check('a wrong password is refused', refused.err && /Login failed for user 'sa'/.test(refused.err.message),
        refused.err && refused.err.message);

  const { c, err } = await connect(password);
  check('the login is accepted', !err, err && err.message);
  if (err) return;
  await sharedChecks(c);
  await expressionSample(c);

  // Several statements in one batch: one count each, then the rows.
  let r = await run(c, `IF OBJECT_ID('${table}') IS NOT NULL DROP TABLE ${table};
    IF OBJECT_ID('${table}_n') IS NOT NULL DROP TABLE ${table}_n;
    CREATE TABLE ${table} (k int, i bigint, s smallint, t tinyint, b bit, f float, re real,
      d decimal(38, 4), n nvarchar(40), v varchar(40), nm nvarchar(max), dt datetime,
      sd smalldatetime, g uniqueidentifier, vb varbinary(16), m money ${modern ? ', da date, ti time(3), d2 datetime2(7)' : ''});
    INSERT INTO ${table} (k, n) VALUES (1, N'one'), (2, N'two');
    INSERT INTO ${table} (k, n) VALUES (3, N'three');
    SELECT k, n FROM ${table} ORDER BY k`);
  check('a batch of several statements', !r.err && r.rows.length === 3 && r.rows[2][1] === 'three',
        r.err ? r.err.message : r.rows);
  check('each insert reports its count', JSON.stringify(r.counts.slice(0, 2)) === '[2,1]', r.counts);

  // Every type as a parameter of sp_executesql, stored and read back.
  const when = new Date(Date.UTC(2024, 1, 29, 13, 5, 7, 120));
  const guid = '6F9619FF-8B86-D011-B42D-00C04FC964FF';
  const long = 'x'.repeat(5000) + 'é';
  const params = [
    ['k', TYPES.Int, 10], ['i', TYPES.BigInt, '9007199254740993'], ['s', TYPES.SmallInt, -32768],
    ['t', TYPES.TinyInt, 255], ['b', TYPES.Bit, true], ['f', TYPES.Float, 1.0000000000000002],
    ['re', TYPES.Real, 0.5], ['d', TYPES.Decimal, 1234567.8901, { precision: 38, scale: 4 }],
    ['n', TYPES.NVarChar, "it's 中文 😀"], ['v', TYPES.VarChar, 'café'], ['nm', TYPES.NVarChar, long],
    ['dt', TYPES.DateTime, when], ['sd', TYPES.SmallDateTime, new Date(Date.UTC(2024, 1, 29, 13, 5, 40))],
    ['g', TYPES.UniqueIdentifier, guid], ['vb', TYPES.VarBinary, Buffer.from([0, 1, 0xfe, 0xff])],
    ['m', TYPES.Money, -12345.6789],
  ];
  if (modern)
    params.push(['da', TYPES.Date, new Date(Date.UTC(2024, 1, 29))], ['ti', TYPES.Time, when, { scale: 3 }],
                ['d2', TYPES.DateTime2, when, { scale: 7 }]);
  const names = params.map(p => p[0]);
  r = await run(c, `INSERT INTO ${table} (${names.join(', ')}) VALUES (${names.map(n => '@' + n).join(', ')})`, params);
  check('an insert through sp_executesql', !r.err && r.rowCount === 1, r.err ? r.err.message : r.rowCount);
  r = await run(c, `SELECT ${names.join(', ')} FROM ${table} WHERE k = @k`, [['k', TYPES.Int, 10]]);
  check('one row read back', !r.err && r.rows.length === 1, r.err ? r.err.message : r.rows);
  if (r.rows.length === 1) {
    const got = Object.fromEntries(names.map((n, i) => [n, r.rows[0][i]]));
    const same = (n, want) => check(`${n} round trip`, String(want) === String(got[n]), [got[n], want]);
    same('k', 10); same('i', '9007199254740993'); same('s', -32768); same('t', 255); same('b', true);
    same('f', 1.0000000000000002); same('re', 0.5); same('d', 1234567.8901);
    same('n', "it's 中文 😀"); same('v', 'café'); same('nm', long);
    check('dt round trip', got.dt instanceof Date && got.dt.getTime() === Date.UTC(2024, 1, 29, 13, 5, 7, 120), got.dt);
    check('sd round trip', got.sd instanceof Date && got.sd.getTime() === Date.UTC(2024, 1, 29, 13, 5, 0), got.sd);
    check('g round trip', String(got.g).toUpperCase() === guid, got.g);
    check('vb round trip', Buffer.isBuffer(got.vb) && got.vb.equals(Buffer.from([0, 1, 0xfe, 0xff])), got.vb);
    same('m', -12345.6789);
    if (modern) {
      check('da round trip', got.da instanceof Date && got.da.toISOString().startsWith('2024-02-29'), got.da);
      check('d2 round trip', got.d2 instanceof Date && got.d2.getTime() === when.getTime(), got.d2);
    }
  }
  r = await run(c, `SELECT k FROM ${table} WHERE n = @n AND d = @d`,
                [['n', TYPES.NVarChar, "IT'S 中文 😀"], ['d', TYPES.Decimal, 1234567.89010, { precision: 12, scale: 5 }]]);
  check('parameters compare under the default collation', !r.err && r.rows.length === 1, r.err ? r.err.message : r.rows);
  r = await run(c, `INSERT INTO ${table} (k, sd) VALUES (11, '2024-02-29 13:05:40');
                    SELECT sd FROM ${table} WHERE k = 11`);
  check('smalldatetime rounds to the minute', !r.err && r.rows[0][0].getTime() === Date.UTC(2024, 1, 29, 13, 6, 0),
        r.err ? r.err.message : r.rows);
  if (!modern) {
    // No date, time or datetime2 before 7.3: they come as text, as the server sends them.
    r = await run(c, `CREATE TABLE ${table}_d (da date, ti time(3), d2 datetime2(7));
      INSERT INTO ${table}_d VALUES ('2024-02-29', '13:05:07.12', '2024-02-29 13:05:07.12');
      SELECT da, ti, d2 FROM ${table}_d; DROP TABLE ${table}_d`);
    check('dates as text before 7.3', !r.err &&
          JSON.stringify(r.rows[0]) === JSON.stringify(['2024-02-29', '13:05:07.120', '2024-02-29 13:05:07.1200000']),
          r.err ? r.err.message : r.rows);
  }
  // tedious sends a binary(n) value shorter than n with the length n and only its own bytes: the
  // call is refused as a server refuses it (8016), and the connection goes on.
  r = await run(c, 'SELECT @b AS b', [['b', TYPES.Binary, Buffer.from([1, 2, 3]), { length: 8 }]]);
  check('a short binary(n) parameter is refused', r.err && /Parameter 3 \("@b"\).*0xAD/.test(r.err.message),
        r.err ? r.err.message : r.rows);
  r = await run(c, 'SELECT @b AS b', [['b', TYPES.Binary, Buffer.from([1, 2, 3])]]);
  check('the connection goes on after it', !r.err && Buffer.from([1, 2, 3]).equals(r.rows[0][0]),
        r.err ? r.err.message : r.rows);
  // Money at its limits: the two halves of the 64-bit count go out in the protocol's order.
  r = await run(c, `INSERT INTO ${table} (k, m) VALUES (12, 922337203685477.5807), (13, -922337203685477.5808);
                    SELECT m FROM ${table} WHERE k IN (12, 13) ORDER BY k`);
  check('money at its limits', !r.err && Math.abs(r.rows[0][0] - 922337203685477.5807) < 1 &&
        Math.abs(r.rows[1][0] + 922337203685477.5808) < 1, r.err ? r.err.message : r.rows);
  // Parameters keep their types on the way back; a long one stays whole.
  r = await run(c, 'SELECT @i AS i, @s AS s, @b AS b, @dt AS dt, @g AS g, @t AS t, LEN(@t) AS n',
                [['i', TYPES.Int, 5], ['s', TYPES.SmallInt, 3], ['b', TYPES.Bit, true], ['dt', TYPES.DateTime, when],
                 ['g', TYPES.UniqueIdentifier, guid], ['t', TYPES.NVarChar, 'y'.repeat(10000)]]);
  check('parameters come back as their types', !r.err && r.rows.length === 1 && r.rows[0][0] === 5 &&
        r.rows[0][1] === 3 && r.rows[0][2] === true && r.rows[0][3] instanceof Date &&
        r.rows[0][3].getTime() === when.getTime() && String(r.rows[0][4]).toUpperCase() === guid &&
        r.rows[0][5].length === 10000 && r.rows[0][6] === 10000, r.err ? r.err.message : r.rows);
  // Output parameters of sp_executesql.
  const outs = await new Promise(resolve => {
    const got = {};
    const q = new Request(`SET @o = @in * 2; SELECT @c = COUNT(*), @s = MAX(n) FROM ${table} WHERE k <= 3;
                           SET @dec = 2.345`,
                          err => resolve({ err, got }));
    q.addParameter('in', TYPES.Int, 21);
    q.addOutputParameter('o', TYPES.Int);
    q.addOutputParameter('c', TYPES.BigInt);
    q.addOutputParameter('s', TYPES.NVarChar, null, { length: 40 });
    q.addOutputParameter('dec', TYPES.Decimal, null, { precision: 10, scale: 2 });
    q.on('returnValue', (name, value) => { got[name] = value; });
    c.execSql(q);
  });
  check('output parameters', !outs.err && outs.got.o === 42 && Number(outs.got.c) === 3 && outs.got.s === 'two' &&
        outs.got.dec === 2.35,
        outs.err ? outs.err.message : outs.got);
  // A bulk load: INSERT BULK, then the rows; the table numbers them itself.
  await run(c, `IF OBJECT_ID('${table}_b') IS NOT NULL DROP TABLE ${table}_b;
                CREATE TABLE ${table}_b (id int IDENTITY(1,1), n nvarchar(20) NOT NULL, d decimal(9,2), m nvarchar(max))`);
  const bulked = await new Promise(resolve => {
    const bulk = c.newBulkLoad(`${table}_b`, {}, (err, rowCount) => resolve({ err, rowCount }));
    bulk.addColumn('n', TYPES.NVarChar, { length: 20, nullable: false });
    bulk.addColumn('d', TYPES.Decimal, { precision: 9, scale: 2, nullable: true });
    bulk.addColumn('m', TYPES.NVarChar, { length: Infinity, nullable: true });
    c.execBulkLoad(bulk, [{ n: 'Äpfel', d: 1.25, m: 'z'.repeat(9000) }, { n: "it's", d: null, m: null }]);
  });
  check('a bulk load', !bulked.err && bulked.rowCount === 2, bulked.err ? bulked.err.message : bulked.rowCount);
  r = await run(c, `SELECT id, n, d, LEN(m) FROM ${table}_b ORDER BY id`);
  check('the bulk-loaded rows', !r.err && JSON.stringify(r.rows) === JSON.stringify([[1, 'Äpfel', 1.25, 9000], [2, "it's", null, null]]),
        r.err ? r.err.message : r.rows);
  const refusedBulk = await new Promise(resolve => {
    const bulk = c.newBulkLoad(`${table}_b`, {}, (err, rowCount) => resolve({ err, rowCount }));
    bulk.addColumn('n', TYPES.NVarChar, { length: 20, nullable: true });
    c.execBulkLoad(bulk, [{ n: 'kept?' }, { n: null }]);
  });
  r = await run(c, `SELECT COUNT(*) FROM ${table}_b`);
  check('a bulk load with a NULL in a NOT NULL column loads nothing',
        refusedBulk.err && refusedBulk.err.number === 515 && !r.err && r.rows[0][0] === 2,
        [refusedBulk.err && refusedBulk.err.message, r.rows]);
  r = await run(c, 'SELECT NULL AS nothing, @p AS p', [['p', TYPES.NVarChar, null]]);
  check('NULL parameters and values', !r.err && r.rows[0][0] === null && r.rows[0][1] === null, r.err ? r.err.message : r.rows);

  // The errors a client meets most.
  r = await run(c, 'SELECT * FROM NoSuchTable');
  check('error 208', r.err && r.err.number === 208, r.err && [r.err.number, r.err.message]);
  r = await run(c, `SELECT nosuchcolumn FROM ${table}`);
  check('error 207', r.err && r.err.number === 207, r.err && [r.err.number, r.err.message]);
  r = await run(c, `CREATE TABLE ${table} (x int)`);
  check('error 2714', r.err && r.err.number === 2714, r.err && [r.err.number, r.err.message]);
  r = await run(c, 'SELECT 1 AS one');
  check('the connection goes on after errors', !r.err && Number(r.rows[0][0]) === 1, r.err ? r.err.message : r.rows);

  // A transaction rolled back, then one committed.
  const tx = (fn) => new Promise(resolve => fn(e => resolve(e)));
  let e = await tx(cb => c.beginTransaction(cb, 'a', ISOLATION_LEVEL.READ_COMMITTED));
  check('begin transaction', !e, e && e.message);
  await run(c, `INSERT INTO ${table} (k) VALUES (100)`);
  e = await tx(cb => c.rollbackTransaction(cb));
  check('roll back', !e, e && e.message);
  r = await run(c, `SELECT count(*) FROM ${table} WHERE k = 100`);
  check('a rolled-back row is gone', !r.err && Number(r.rows[0][0]) === 0, r.err ? r.err.message : r.rows);
  e = await tx(cb => c.beginTransaction(cb));
  await run(c, `INSERT INTO ${table} (k) VALUES (101)`);
  e = e || await tx(cb => c.commitTransaction(cb));
  check('commit', !e, e && e.message);
  r = await run(c, `SELECT count(*) FROM ${table} WHERE k = 101`);
  check('a committed row stays', !r.err && Number(r.rows[0][0]) === 1, r.err ? r.err.message : r.rows);
  // A prepared statement (sp_prepare, sp_execute twice, sp_unprepare): the handle comes back as a
  // return value.
  const prepared = await new Promise(resolve => {
    const results = [], rows = [];
    const q = new Request(`SELECT k FROM ${table} WHERE k = @k`, err => {
      results.push({ err, rows: rows.splice(0) });
      if (results.length === 1) c.execute(q, { k: 101 });
      else if (results.length === 2) c.unprepare(q);
      else resolve({ results, handle: q.handle });
    });
    q.addParameter('k', TYPES.Int);
    q.on('prepared', () => c.execute(q, { k: 10 }));
    q.on('row', cols => rows.push(cols.map(x => x.value)));
    setTimeout(() => resolve({ results, handle: q.handle, late: true }), 10000);
    c.prepare(q);
  });
  const [first, second, unprep] = prepared.results;
  check('prepare gives a handle', Number.isInteger(prepared.handle) && !prepared.late, prepared);
  check('execute a prepared statement', first && !first.err && JSON.stringify(first.rows) === '[[10]]', first);
  check('execute it again with another value', second && !second.err && JSON.stringify(second.rows) === '[[101]]', second);
  check('unprepare', unprep && !unprep.err, unprep && unprep.err && unprep.err.message);
  // Named: the name travels with its length in bytes.
  e = await tx(cb => c.beginTransaction(cb, 'named'));
  await run(c, `INSERT INTO ${table} (k) VALUES (102)`);
  e = e || await tx(cb => c.commitTransaction(cb, 'named'));
  check('a named commit', !e, e && e.message);
  r = await run(c, `SELECT count(*) FROM ${table} WHERE k = 102`);
  check('the connection goes on after a named commit', !r.err && Number(r.rows[0][0]) === 1, r.err ? r.err.message : r.rows);

  // A cancel in the middle of a long result.
  r = await run(c, `CREATE TABLE ${table}_n (x int); INSERT INTO ${table}_n VALUES (1);
    INSERT INTO ${table}_n SELECT x + 1 FROM ${table}_n; INSERT INTO ${table}_n SELECT x + 2 FROM ${table}_n;
    INSERT INTO ${table}_n SELECT x + 4 FROM ${table}_n; INSERT INTO ${table}_n SELECT x + 8 FROM ${table}_n;
    INSERT INTO ${table}_n SELECT x + 16 FROM ${table}_n; INSERT INTO ${table}_n SELECT x + 32 FROM ${table}_n;
    INSERT INTO ${table}_n SELECT x + 64 FROM ${table}_n; INSERT INTO ${table}_n SELECT x + 128 FROM ${table}_n;
    INSERT INTO ${table}_n SELECT x + 256 FROM ${table}_n; INSERT INTO ${table}_n SELECT x + 512 FROM ${table}_n`);
  check('1024 rows to cancel in', !r.err, r.err && r.err.message);
  const cancelled = await new Promise(resolve => {
    let rows = 0;
    const q = new Request(`SELECT a.x, b.x FROM ${table}_n a CROSS JOIN ${table}_n b`, err => resolve({ err, rows }));
    q.on('row', () => { if (++rows === 1000) c.cancel(); });
    c.execSqlBatch(q);
  });
  check('a cancel ends the request', cancelled.err && cancelled.err.code === 'ECANCEL' && cancelled.rows < 1024 * 1024,
        [cancelled.err && cancelled.err.code, cancelled.rows]);
  r = await run(c, 'SELECT 2 AS two');
  check('the connection goes on after a cancel', !r.err && Number(r.rows[0][0]) === 2, r.err ? r.err.message : r.rows);

  await run(c, `DROP TABLE ${table}; DROP TABLE ${table}_n; DROP TABLE ${table}_b; DROP TABLE Shared_${version}`);
  c.close();
}

main().catch(e => { failures++; console.log(`FAIL [${version}] ${e.stack}`); }).finally(() => {
  console.log(`tedious at TDS ${version}: ${passed} passed, ${failures} failed`);
  process.exit(failures ? 1 : 0);
});
