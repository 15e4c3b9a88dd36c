// The import of a folder's DBF tables: console transcripts, the statements
// as the server received them, rejected records, interrupted imports, the
// COPY path, and the rows against what pgdbf loads from the same files.
#include "app_harness.h"

#include "common/cdx_bytes.h"
#include "common/hostile_tables.h"

#include "platform/runtime/text.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <thread>

using namespace apptest;

namespace {

using Lines = std::vector<std::string>;

using testpg::rows;

Lines connectionLines()
{
    return {
        "Conectando con " + rt::alltrim(paddedHost()) + " Ok",
        "Conectado a " + paddedHost(),
        "Verificando Base de Datos: dxc",
        "Creando Base de Datos: dxc .T. Ok",
    };
}

Lines importLines(const std::string& table, int fields, int records)
{
    return {
        "Verificando Tabla: " + table + " Ok",
        "Creando Tabla: " + table + " Ok",
        "Creando Campo de Foto en : " + table + " Ok",
        "Importeado Tabla: " + table + "  con  " + std::to_string(fields) + " Campos y  " + std::to_string(records) +
            " Registros Ok",
    };
}

// The lines of a table whose import failed, up to its " Error".
Lines failedLines(const std::string& table, int fields, int records)
{
    Lines lines = importLines(table, fields, records);
    lines.back().replace(lines.back().size() - 2, 2, "Error");
    return lines;
}

Lines operator+(Lines a, const Lines& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Creates the database "dxc" ahead of the program (so the test can prepare
// it), with the creation lines the program would then not print.
Conn prepareDxc()
{
    Conn admin(testpg::connectTo("postgres"));
    if (!admin)
        return nullptr;
    testpg::exec(admin.get(), "CREATE DATABASE dxc");
    return Conn(connectDxc());
}

Lines preparedLines()
{
    return {
        "Conectando con " + rt::alltrim(paddedHost()) + " Ok",
        "Conectado a " + paddedHost(),
        "Verificando Base de Datos: dxc Ok",
    };
}

// Installs, for every table the import creates, a row trigger running
// `body` (plpgsql, NEW is the row) before each insert.
void onEveryInsert(PGconn* c, const std::string& body)
{
    testpg::exec(c, "CREATE FUNCTION test_row() RETURNS trigger LANGUAGE plpgsql AS $f$ BEGIN " + body +
                        " RETURN NEW; END $f$");
    testpg::exec(c, R"(CREATE FUNCTION test_ddl() RETURNS event_trigger LANGUAGE plpgsql AS $f$
        DECLARE r record;
        BEGIN
          FOR r IN SELECT * FROM pg_event_trigger_ddl_commands() WHERE command_tag = 'CREATE TABLE' LOOP
            EXECUTE format('CREATE TRIGGER test_row BEFORE INSERT ON %s FOR EACH ROW EXECUTE FUNCTION test_row()',
                           r.object_identity);
          END LOOP;
        END $f$)");
    testpg::exec(c, "CREATE EVENT TRIGGER test_ddl ON ddl_command_end WHEN TAG IN ('CREATE TABLE') "
                    "EXECUTE FUNCTION test_ddl()");
}

app::Options importOptions(const std::string& dir, bool bulk = false)
{
    auto o = serverOptions(dir);
    o.connect = true;
    o.importOnly = true;
    o.bulk = bulk;
    return o;
}

class Import : public ::testing::Test {
protected:
    void SetUp() override
    {
        DXC_REQUIRE_DATABASE();
        dropDxc();
    }
};

TEST_F(Import, FirstRunImportsEveryTableAndASecondRunNothing)
{
    const std::string dir = sampleFolder(40);
    const Transcript first = runProgram(importOptions(dir));
    EXPECT_EQ(first.status, 0);
    const Lines expected = connectionLines() + importLines("dxcam01", 11, 40) + importLines("dxcam01e", 4, 40) +
                           Lines{"Cerrando Conexion"};
    EXPECT_EQ(first.lines, expected) << first.text();

    Conn c(connectDxc());
    ASSERT_TRUE(c);
    EXPECT_EQ(testpg::value(c.get(), "SELECT count(*) FROM dxcam01"), "40");
    // recno first, then the DBF's fields in lower case, then foto.
    EXPECT_EQ(rows(c.get(), "SELECT string_agg(column_name::text, ',' ORDER BY ordinal_position) FROM "
                            "information_schema.columns WHERE table_name = 'dxcam01e'"),
              Lines{"recno,codcli,telefono,email,limite,foto"});
    // Rows in DBF order, addressed by recno.
    EXPECT_EQ(rows(c.get(), "SELECT recno, codcli FROM dxcam01 ORDER BY recno LIMIT 2"),
              (Lines{"1|000001", "2|000002"}));

    const Transcript second = runProgram(importOptions(dir));
    const Lines expected2 = Lines{"Conectando con " + rt::alltrim(paddedHost()) + " Ok", "Conectado a " + paddedHost(),
                                  "Verificando Base de Datos: dxc Ok", "Verificando Tabla: dxcam01 Ok",
                                  "Verificando Tabla: dxcam01e Ok", "Cerrando Conexion"};
    EXPECT_EQ(second.lines, expected2) << second.text();
    EXPECT_EQ(testpg::value(c.get(), "SELECT count(*) FROM dxcam01"), "40");
}

// The statements reach the server exactly as the import builds them: fields
// without value left out, text quoted by StoQ with its trailing blanks,
// dates as quoted ISO literals, numbers bare (0 too), logicals as 't' and
// 'f'; a record none of whose fields holds a value sends nothing.
TEST_F(Import, StatementsAsTheServerReceivedThem)
{
    const std::string dir = scratch("statements");
    ASSERT_EQ(shell("/usr/bin/python3 - " + dir + R"( <<'EOF'
import sys, dbf, datetime
t = dbf.Table(sys.argv[1] + '/T1.DBF', 'CODE C(4); NAME C(10); AMOUNT N(8,2); BORN D; OK L; NOTE M',
              dbf_type='db3', codepage='cp850')
t.open(dbf.READ_WRITE)
t.append(('0001', "O'Brien", 12.5, datetime.date(2024, 1, 31), True, 'l\u00ednea\\1'))
t.append(('0002', '', 0, None, False, ''))
t.append(('', '', 0, None, False, ''))
t.append(('', '', None, None, None, ''))
t.close()
EOF)"),
              0);
    Conn c = prepareDxc();
    ASSERT_TRUE(c);
    testpg::exec(c.get(), "CREATE TABLE stmt_log (n serial, q text)");
    onEveryInsert(c.get(), "INSERT INTO public.stmt_log (q) VALUES (current_query());");
    testpg::exec(c.get(), R"(CREATE FUNCTION log_alter() RETURNS event_trigger LANGUAGE plpgsql AS $f$
        BEGIN INSERT INTO public.stmt_log (q) VALUES (current_query()); END $f$)");
    testpg::exec(c.get(), "CREATE EVENT TRIGGER log_alter ON ddl_command_end WHEN TAG IN ('ALTER TABLE') "
                          "EXECUTE FUNCTION log_alter()");

    const Transcript run = runProgram(importOptions(dir));
    EXPECT_EQ(run.lines, preparedLines() + importLines("t1", 6, 4) +
                             Lines{"1 registro de t1 no se importó: no tiene ningún valor"} + Lines{"Cerrando Conexion"})
        << run.text();
    const Lines expected = {
        "ALTER TABLE public.t1 ADD  foto  CHARACTER VARYING",
        "INSERT INTO public.t1 ( code,name,amount,born,ok,note ) VALUES ( '0001','O''Brien   ',12.50,"
        "'2024-01-31','t',E'l\u00ednea\\\\1' )",
        "INSERT INTO public.t1 ( code,amount,ok ) VALUES ( '0002',0.00,'f' )",
        "INSERT INTO public.t1 ( amount,ok ) VALUES ( 0.00,'f' )",
    };
    EXPECT_EQ(rows(c.get(), "SELECT q FROM stmt_log ORDER BY n"), expected);
}

TEST_F(Import, ARejectedRecordIsReportedAndTheRestOfTheTableLands)
{
    const std::string dir = sampleFolder(30);
    for (bool bulk : {false, true}) {
        SCOPED_TRACE(bulk ? "COPY" : "INSERT");
        dropDxc();
        Conn c = prepareDxc();
        ASSERT_TRUE(c);
        onEveryInsert(c.get(), "IF TG_TABLE_NAME = 'dxcam01' AND NEW.codcli IN ('000003', '000029') THEN "
                               "RAISE EXCEPTION 'cliente % bloqueado', NEW.codcli USING DETAIL = 'por la prueba', "
                               "ERRCODE = 'check_violation'; END IF;");
        const Transcript run = runProgram(importOptions(dir, bulk));
        const Lines expected = preparedLines() + importLines("dxcam01", 11, 30) +
                               Lines{"Registro 3 de dxcam01 rechazado: cliente 000003 bloqueado (por la prueba)",
                                     "Registro 29 de dxcam01 rechazado: cliente 000029 bloqueado (por la prueba)"} +
                               importLines("dxcam01e", 4, 30) + Lines{"Cerrando Conexion"};
        EXPECT_EQ(run.lines, expected) << run.text();
        EXPECT_EQ(testpg::value(c.get(), "SELECT count(*) FROM dxcam01"), "28");
        EXPECT_EQ(testpg::value(c.get(), "SELECT count(*) FROM dxcam01 WHERE codcli IN ('000003', '000029')"), "0");
        // Still in DBF order.
        EXPECT_EQ(testpg::value(c.get(), "SELECT string_agg(codcli, ',' ORDER BY recno) FROM dxcam01 "
                                         "WHERE codcli <= '000005'"),
                  "000001,000002,000004,000005");
        EXPECT_EQ(testpg::value(c.get(), "SELECT count(*) FROM dxcam01e"), "30");
    }
}

TEST_F(Import, AnImportCutShortLeavesNoHalfTableAndTheNextRunImportsItWhole)
{
    const std::string dir = sampleFolder(30);
    Conn c = prepareDxc();
    ASSERT_TRUE(c);
    // The server ends the import's session in the middle of the first table.
    onEveryInsert(c.get(), "IF NEW.codcli = '000012' THEN PERFORM pg_terminate_backend(pg_backend_pid()); END IF;");
    const Transcript cut = runProgram(importOptions(dir));
    ASSERT_GE(cut.lines.size(), 8u) << cut.text();
    EXPECT_EQ(cut.lines[6], "Importeado Tabla: dxcam01  con  11 Campos y  30 Registros Error") << cut.text();
    EXPECT_EQ(cut.lines[7].rfind("La tabla dxcam01 no se importó: ", 0), 0u) << cut.text();
    EXPECT_NE(cut.text().find("Conexión perdida con el servidor"), std::string::npos) << cut.text();
    EXPECT_EQ(cut.lines.back(), "Cerrando Conexion");
    EXPECT_EQ(testpg::value(c.get(), "SELECT count(*) FROM pg_tables WHERE tablename LIKE 'dxcam01%'"), "0");

    testpg::exec(c.get(), "DROP EVENT TRIGGER test_ddl");
    const Transcript again = runProgram(importOptions(dir));
    EXPECT_EQ(again.lines, preparedLines() + importLines("dxcam01", 11, 30) + importLines("dxcam01e", 4, 30) +
                               Lines{"Cerrando Conexion"})
        << again.text();
    EXPECT_EQ(testpg::value(c.get(), "SELECT count(*) FROM dxcam01"), "30");
}

TEST_F(Import, AFileThatIsNotADbfIsReportedAndTheImportGoesOn)
{
    const std::string dir = sampleFolder(5);
    {
        std::ofstream bad(dir + "/BROKEN.DBF", std::ios::binary);
        bad << "this is not a table";
    }
    const Transcript run = runProgram(importOptions(dir));
    ASSERT_EQ(run.lines.size(), 4u + 1 + 4 + 4 + 1) << run.text();
    EXPECT_EQ(run.lines[4].rfind("No se pudo abrir " + dir + "/BROKEN.DBF: ", 0), 0u) << run.lines[4];
    EXPECT_EQ(Lines(run.lines.begin() + 5, run.lines.end()),
              importLines("dxcam01", 11, 5) + importLines("dxcam01e", 4, 5) + Lines{"Cerrando Conexion"});
}

TEST_F(Import, DottedNamesDeletedRecordsAndHostileNames)
{
    const std::string dir = scratch("names");
    ASSERT_EQ(shell("/usr/bin/python3 - " + dir + R"( <<'EOF'
import sys, dbf
t = dbf.Table(sys.argv[1] + '/A.B.DBF', 'NAME C(8); ORDER N(3,0); USER C(4)', dbf_type='db3')
t.open(dbf.READ_WRITE)
for n in range(1, 6):
    t.append(('n%d' % n, n, 'u'))
dbf.delete(t[1])
t.close()
EOF)"),
              0);
    const Transcript run = runProgram(importOptions(dir));
    // The table is "a"; the deleted record is not imported, yet the count
    // line gives the file's record count.
    EXPECT_EQ(run.lines, connectionLines() + importLines("a", 3, 5) + Lines{"Cerrando Conexion"}) << run.text();
    Conn c(connectDxc());
    ASSERT_TRUE(c);
    EXPECT_EQ(rows(c.get(), "SELECT name, \"order\", \"user\" FROM a ORDER BY recno"),
              (Lines{"n1      |1|u   ", "n3      |3|u   ", "n4      |4|u   ", "n5      |5|u   "}));
}

// File names a user may well have: a letter beyond ASCII, a quote. Each
// table is named after its file and quoted where SQL needs it.
TEST_F(Import, FileNamesWithAccentsAndQuotesImport)
{
    const std::string dir = scratch("odd_names");
    ASSERT_EQ(shell("/usr/bin/python3 - " + dir + R"( <<'EOF'
import sys, dbf
for name in ('CAÑA', "O'BRIEN"):
    t = dbf.Table(sys.argv[1] + '/' + name + '.DBF', 'NAME C(8)', dbf_type='db3', codepage='cp850')
    t.open(dbf.READ_WRITE)
    t.append((name[:4],))
    t.close()
EOF)"),
              0);
    const Transcript run = runProgram(importOptions(dir));
    EXPECT_EQ(run.status, 0) << run.text();
    EXPECT_EQ(run.text().find("Invalid alias"), std::string::npos) << run.text();
    Conn c(connectDxc());
    ASSERT_TRUE(c);
    EXPECT_EQ(rows(c.get(), "SELECT name FROM \"o'brien\""), (Lines{"O'BR    "}));
    EXPECT_EQ(rows(c.get(), "SELECT count(*) FROM pg_tables WHERE tablename = 'caña'"), (Lines{"1"}));
}

// A folder holding the named tables of real_world.py (written byte by byte
// as other programs write them).
std::string realWorldFolder(const std::string& tables)
{
    std::string name = "real_world_" + tables;
    std::replace(name.begin(), name.end(), ' ', '_');
    const std::string dir = scratch(name);
    EXPECT_EQ(shell("/usr/bin/python3 " + std::string(std::getenv("DXC_SOURCE_DIR")) +
                    "/tests/platform/dbf/fixtures/real_world.py " + dir + " " + tables),
              0);
    return dir;
}

struct RealWorldCase {
    const char* table;
    Lines after;  // the lines after the table's "Importeado" line
    const char* query;
    Lines rows;
};

// Values the DBF cannot give are NULL and told; numbers keep every digit;
// NUL padding never reaches the server; repeated field names get columns
// of their own. Both the INSERT and the COPY path, same rows.
TEST_F(Import, TablesOtherProgramsWriteArriveWhole)
{
    const RealWorldCase cases[] = {
        {"quotes",
         {"Registro 7 de quotes, campo DAY: \"20241345\" no es una fecha, importado como NULL"},
         "SELECT recno || ' ' || coalesce(day::text, 'NULL') || ' ' || volume FROM quotes WHERE recno IN (1, 7) "
         "ORDER BY recno",
         {"1 2024-01-02 1000", "7 NULL 7000"}},
        {"nulpad",
         {"Registro 1 de nulpad, campo POP: \"**********\" número desbordado, importado como NULL",
          "Registro 2 de nulpad, campo AREA: \"**********\" número desbordado, importado como NULL"},
         "SELECT rtrim(region) || '|' || coalesce(pop::text, 'NULL') || '|' || coalesce(area::text, 'NULL') || '|' "
         "|| length(region) FROM nulpad ORDER BY recno",
         // Every character of the table's code page (1250) arrives, č too,
         // as python3-dbfread reads it.
         {"Jihočeský kraj|NULL|10056.79|14", "Praha|1300000|NULL|5"}},
        {"numbers",
         {},
         "SELECT concat_ws(' ', third, money, big, count, ratio, tiny) FROM numbers ORDER BY recno",
         {"0.3333333333333333 1234567890123.4567 123456789012345.67 -5 -0.125 1e-07",
          "2.5 -1.0000 -0.50 7 0.500 123456.789"}},
        {"dupnames", {}, "SELECT concat_ws(' ', point_id, point_id_2, rtrim(name)) FROM dupnames ORDER BY recno",
         {"1 2 one", "3 4 two"}},
    };
    for (const RealWorldCase& c : cases) {
        for (bool bulk : {false, true}) {
            SCOPED_TRACE(std::string(c.table) + (bulk ? " COPY" : " INSERT"));
            dropDxc();
            const std::string dir = realWorldFolder(c.table);
            const Transcript run = runProgram(importOptions(dir, bulk));
            const int fields = c.table == std::string("quotes") ? 5 : c.table == std::string("numbers") ? 6 : 3;
            const int records = c.table == std::string("quotes") ? 7 : 2;
            EXPECT_EQ(run.lines, connectionLines() + importLines(c.table, fields, records) + c.after +
                                     Lines{"Cerrando Conexion"})
                << run.text();
            Conn conn(connectDxc());
            ASSERT_TRUE(conn);
            EXPECT_EQ(rows(conn.get(), c.query), c.rows);
        }
    }
}

struct ReadingCase {
    const char* table;
    int fields, records;
    bool salvage;
    Lines lines;  // after the connection's
    const char* query;
    Lines rows;
};

// What the reading chose or left out is said after the table's line: a
// code page detected, NUL bytes removed, records without any value, memos
// of a missing memo file (with --salvage; without it the table is damaged,
// as DamageIsToldInSpanish shows). Memos keep their trailing blanks (one
// of a lone blank too), and one of 5 MB arrives whole; blank decimals are
// NULL without a word; F fields take the exponent form.
TEST_F(Import, WhatTheReadingLeftOutIsSaid)
{
    const ReadingCase cases[] = {
        {"cz1250", 1, 9, false, {"Tabla cz1250 leída en la página de códigos 1250, detectada de su texto"},
         "SELECT rtrim(kraj) FROM cz1250 WHERE recno = 1", {"Jihočeský kraj"}},
        {"memos", 2, 3, false,
         {"Registro 2 de memos, campo CODE: 1 byte NUL quitado del texto",
          "Registro 3 de memos, campo NOTE: 12 bytes NUL quitados del texto"},
         "SELECT length(note) || '|' || rtrim(code) FROM memos ORDER BY recno", {"150|plain", "1|reak", "13|jpeg"}},
        {"nofields", 0, 3, false, {"2 registros de nofields no se importaron: no tienen ningún valor"},
         "SELECT count(*) FROM nofields", {"0"}},
        {"blanks", 3, 2, false, {},
         "SELECT concat_ws('|', coalesce(amount::text, 'NULL'), coalesce(\"when\"::text, 'NULL'), ratio) FROM blanks "
         "ORDER BY recno",
         {"NULL|1960-01-01|3411810000.00000000000", "NULL|NULL|0.50000000000"}},
        {"nomemo", 2, 2, true, {"Falta 1 memo de nomemo: su archivo memo no está (importado como NULL)"},
         "SELECT id || '|' || coalesce(note, 'NULL') FROM nomemo ORDER BY recno", {"1|NULL", "2|NULL"}},
        {"bigmemo", 2, 1, false, {}, "SELECT length(note) || '|' || md5(note) FROM bigmemo",
         {"5242883|9ca103673a0f177a3231142b718409c9"}},
    };
    for (const ReadingCase& c : cases) {
        const std::string dir = realWorldFolder(c.table);
        for (bool bulk : {false, true}) {
            SCOPED_TRACE(std::string(c.table) + (bulk ? " COPY" : " INSERT") + (c.salvage ? " --salvage" : ""));
            dropDxc();
            auto opts = importOptions(dir, bulk);
            opts.salvage = c.salvage;
            const Transcript run = runProgram(opts);
            EXPECT_EQ(run.lines, connectionLines() + importLines(c.table, c.fields, c.records) + c.lines + Lines{"Cerrando Conexion"}) << run.text();
            Conn conn(connectDxc());
            ASSERT_TRUE(conn);
            EXPECT_EQ(rows(conn.get(), c.query), c.rows);
        }
    }
}

// The values of a table as python3-dbfread reads them, one line per record
// ("a|b|c", bytes in hex, NULL as ""), records whose values are all empty
// left out as the import leaves them out.
Lines readByDbfread(const std::string& file)
{
    const std::string json = file + ".json";
    EXPECT_EQ(shell("/usr/bin/python3 " + std::string(std::getenv("DXC_SOURCE_DIR")) +
                    "/tests/platform/dbf/fixtures/read_dbf.py " + file + " > " + json),
              0);
    std::ifstream in(json, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Lines out;
    for (const QJsonValue record : QJsonDocument::fromJson(QByteArray::fromStdString(text))["records"].toArray()) {
        std::string line;
        bool any = false;
        for (const QJsonValue v : record.toArray()) {
            const std::string value = v.toString().toStdString();
            any = any || !value.empty();
            line += value + "|";
        }
        line.pop_back();
        if (any)
            out.push_back(line);
    }
    return out;
}

// Bytes (G P W Q fields, binary memos, dBASE 7 blobs) go to bytea columns
// and arrive byte for byte, through INSERT and COPY; the same bytes that
// python3-dbfread reads. The third record of vfpvar is all empty (a NULL
// name, a zero-length code, no blob) and, as every such record, has no row.
TEST_F(Import, BinaryValuesArriveByteForByte)
{
    const std::string dir = realWorldFolder("vfpvar dbase7");
    const Lines vfpvar = readByDbfread(dir + "/vfpvar.dbf");
    ASSERT_EQ(vfpvar, (Lines{"abc|00ff10|89504e470d0a1a0a00", "0123456789|414243444546|"}));
    for (bool bulk : {false, true}) {
        SCOPED_TRACE(bulk ? "COPY" : "INSERT");
        dropDxc();
        const Transcript run = runProgram(importOptions(dir, bulk));
        EXPECT_EQ(run.lines, connectionLines() + importLines("dbase7", 5, 2) + importLines("vfpvar", 3, 3) +
                                 Lines{"1 registro de vfpvar no se importó: no tiene ningún valor"} +
                                 Lines{"Cerrando Conexion"})
            << run.text();
        Conn c(connectDxc());
        ASSERT_TRUE(c);
        EXPECT_EQ(rows(c.get(), "SELECT concat_ws('|', coalesce(name, ''), coalesce(encode(code, 'hex'), ''), "
                                "coalesce(encode(pic, 'hex'), '')) FROM vfpvar ORDER BY recno"),
                  vfpvar);
        // python3-dbfread reads no dBASE 7 table: the bytes as the fixture wrote them.
        EXPECT_EQ(rows(c.get(), "SELECT coalesce(encode(photo, 'hex'), 'NULL') FROM dbase7 ORDER BY recno"),
                  (Lines{"00fffe2062696e6172792080", "NULL"}));
        EXPECT_EQ(rows(c.get(), "SELECT string_agg(data_type, ',' ORDER BY column_name) FROM "
                                "information_schema.columns WHERE column_name IN ('code', 'pic', 'photo')"),
                  Lines{"bytea,bytea,bytea"});
    }
}

// Every rejected record gets its line, also when they follow one another
// in one batch: values that do not fit their column (a writer that ignored
// the field's decimals).
TEST_F(Import, EveryRejectedRecordIsListed)
{
    const std::string dir = realWorldFolder("overflow");
    const std::string why = " rechazado: numeric field overflow (A field with precision 5, scale 2 must round to an "
                            "absolute value less than 10^3.)";
    for (bool bulk : {false, true}) {
        SCOPED_TRACE(bulk ? "COPY" : "INSERT");
        dropDxc();
        const Transcript run = runProgram(importOptions(dir, bulk));
        const Lines rejected{"Registro 2 de overflow" + why, "Registro 3 de overflow" + why};
        EXPECT_EQ(run.lines, connectionLines() + importLines("overflow", 2, 5) + rejected + Lines{"Cerrando Conexion"})
            << run.text();
        Conn c(connectDxc());
        ASSERT_TRUE(c);
        EXPECT_EQ(rows(c.get(), "SELECT id || ' ' || amount FROM overflow ORDER BY recno"),
                  (Lines{"1 1.50", "4 2.25", "5 -9.50"}));
        if (bulk) {
            // COPY numbers the rows as it sends them; the identity goes on after the last one.
            EXPECT_EQ(testpg::value(c.get(), "SELECT string_agg(recno::text, ',' ORDER BY recno) FROM overflow"),
                      "1,4,5");
            EXPECT_EQ(testpg::value(c.get(), "INSERT INTO overflow (id) VALUES (6) RETURNING recno"), "6");
        }
    }
}

// A dBASE III table of `count` records: CODE N(6) numbered from 1 and
// NAME C(93), 100 bytes a record.
void writeNumbered(const std::string& path, std::uint32_t count)
{
    std::string h(32, '\0');
    h[0] = 0x03;
    h[1] = 124, h[2] = 12, h[3] = 7;
    for (int i = 0; i < 4; ++i)
        h[std::size_t(4 + i)] = char(count >> (8 * i));
    h[8] = 97, h[10] = 100;
    const auto descriptor = [](const char* name, char type, int len) {
        std::string d(32, '\0');
        d.replace(0, std::strlen(name), name);
        d[11] = type;
        d[16] = char(len);
        return d;
    };
    std::string body = h + descriptor("CODE", 'N', 6) + descriptor("NAME", 'C', 93) + "\x0d";
    char record[101];
    for (std::uint32_t i = 1; i <= count; ++i) {
        std::snprintf(record, sizeof record, " %6u%-93s", i, ("name " + std::to_string(i)).c_str());
        body.append(record, 100);
    }
    std::ofstream(path, std::ios::binary) << body << '\x1a';
    ::chmod(path.c_str(), 0666);  // the server's trigger cuts it below
}

// The file changes under the reader in the middle of a table (the server
// cuts it when it receives the first row, while the import still reads the
// first of 30,000 records): the table's transaction is rolled back, its line
// ends in " Error" with the reason, and the next tables are still handled,
// among them a dBASE II table, refused in the console's language.
TEST_F(Import, AReadFailureInTheMiddleOfATableRollsItBack)
{
    const std::string dir = realWorldFolder("dbase2");
    const std::string cutAt = std::to_string(97 + 20000 * 100 + 50);
    writeNumbered(dir + "/next.dbf", 3);
    for (bool bulk : {false, true}) {
        SCOPED_TRACE(bulk ? "COPY" : "INSERT");
        dropDxc();
        writeNumbered(dir + "/a_long.dbf", 30000);
        Conn c = prepareDxc();
        ASSERT_TRUE(c);
        // The file is cut when its table is created: after the import has
        // found it whole, before any record is read, however far ahead of
        // the server the reading runs. The program reads the server's row
        // first: one that ends before the server has written it breaks the pipe.
        testpg::exec(c.get(), "CREATE FUNCTION cut() RETURNS event_trigger LANGUAGE plpgsql AS $f$ DECLARE r record; "
                              "BEGIN FOR r IN SELECT * FROM pg_event_trigger_ddl_commands() WHERE object_identity "
                              "LIKE '%.a_long' LOOP EXECUTE format('COPY (SELECT 1) TO PROGRAM %L', 'cat > /dev/null; "
                              "truncate -s " +
                                  cutAt + " " + dir + "/a_long.dbf'); END LOOP; END $f$");
        testpg::exec(c.get(), "CREATE EVENT TRIGGER cut ON ddl_command_end WHEN TAG IN ('CREATE TABLE') "
                              "EXECUTE FUNCTION cut()");
        const Transcript run = runProgram(importOptions(dir, bulk));
        ASSERT_EQ(run.lines.size(), 3u + 4 + 1 + 1 + 4 + 1) << run.text();
        EXPECT_EQ(Lines(run.lines.begin() + 3, run.lines.begin() + 7), failedLines("a_long", 2, 30000)) << run.text();
        EXPECT_EQ(run.lines[7].rfind("La tabla a_long no se importó: ", 0), 0u) << run.text();
        // The reason is told in Spanish, not in the engine's words.
        const std::string reason = "La tabla a_long no se importó: el archivo " + dir + "/a_long.dbf termina antes del registro ";
        EXPECT_EQ(run.lines[7].rfind(reason, 0), 0u) << run.text();
        EXPECT_EQ(run.lines[7].size() - run.lines[7].rfind("): está cortado"), std::strlen("): está cortado"))
            << run.text();
        EXPECT_EQ(run.lines[7].find("past the end"), std::string::npos) << run.text();
        // The record named is one the cut reaches, and its byte is where it starts.
        const std::string tail = run.lines[7].substr(std::min(reason.size(), run.lines[7].size()));
        const long record = std::atol(tail.c_str());
        EXPECT_GT(record, 20000) << run.text();
        EXPECT_EQ(tail, std::to_string(record) + " (byte " + std::to_string(97 + (record - 1) * 100) +
                            "): está cortado");
        EXPECT_EQ(run.lines[8], "No se pudo abrir " + dir + "/dbase2.dbf: es una tabla dBASE II, una versión que no "
                                "se puede leer");
        EXPECT_EQ(Lines(run.lines.begin() + 9, run.lines.end()),
                  importLines("next", 2, 3) + Lines{"Cerrando Conexion"});
        EXPECT_EQ(testpg::value(c.get(), "SELECT count(*) FROM pg_tables WHERE tablename = 'a_long'"), "0");
        EXPECT_EQ(testpg::value(c.get(), "SELECT string_agg(code::text, ',' ORDER BY recno) FROM next"), "1,2,3");
    }
}

// A bulk load is shared by two sessions through a table filled in the load
// schema "dxc_carga" and moved into place at the end. Nothing of it may
// outlive the load: a table a dead run left there is replaced, and the
// schema is gone afterwards. Rejected records, found by either session, are
// listed in record order.
TEST_F(Import, ASharedBulkLoadLeavesNothingBehindAndListsRejectsInOrder)
{
    const std::string dir = scratch("shared");
    writeNumbered(dir + "/a_long.dbf", 5000);
    Conn c = prepareDxc();
    ASSERT_TRUE(c);
    testpg::exec(c.get(), "CREATE SCHEMA dxc_carga; CREATE TABLE dxc_carga.a_long (junk int); "
                          "INSERT INTO dxc_carga.a_long VALUES (1)");
    onEveryInsert(c.get(), "IF NEW.code % 700 = 0 THEN RAISE EXCEPTION 'no %', NEW.code USING ERRCODE = "
                           "'check_violation'; END IF;");
    const Transcript run = runProgram(importOptions(dir, true));
    Lines rejected;
    for (int code = 700; code <= 5000; code += 700)
        rejected.push_back("Registro " + std::to_string(code) + " de a_long rechazado: no " + std::to_string(code));
    EXPECT_EQ(run.lines, preparedLines() + importLines("a_long", 2, 5000) + rejected + Lines{"Cerrando Conexion"})
        << run.text();
    EXPECT_EQ(testpg::value(c.get(), "SELECT count(*) || ' ' || count(DISTINCT recno) || ' ' || max(recno) FROM a_long"),
              "4993 4993 5000");
    EXPECT_EQ(testpg::value(c.get(), "SELECT count(*) FROM a_long WHERE recno <> code"), "0");
    EXPECT_EQ(testpg::value(c.get(), "SELECT count(*) FROM pg_constraint WHERE conrelid = 'public.a_long'::regclass "
                                     "AND contype = 'p'"),
              "1");
    EXPECT_EQ(testpg::value(c.get(), "INSERT INTO a_long (code) VALUES (5001) RETURNING recno"), "5001");
    EXPECT_EQ(testpg::value(c.get(), "SELECT count(*) FROM pg_namespace WHERE nspname = 'dxc_carga'"), "0");
}

// The second session of a bulk load dies in the middle of the first table:
// that table is not imported, nothing of it is left, and the import goes on
// in one session. The next run imports the table whole.
TEST_F(Import, ABulkLoadWhoseSecondSessionDiesLeavesNothingAndGoesOnAlone)
{
    const std::string dir = sampleFolder(30);
    Conn c = prepareDxc();
    ASSERT_TRUE(c);
    // The session that creates the tables is the import's own; the other one is its helper.
    testpg::exec(c.get(), "CREATE TABLE creator (pid int); CREATE FUNCTION note_creator() RETURNS event_trigger "
                          "LANGUAGE plpgsql AS $f$ BEGIN INSERT INTO public.creator VALUES (pg_backend_pid()); END "
                          "$f$; CREATE EVENT TRIGGER note_creator ON ddl_command_end WHEN TAG IN ('CREATE TABLE') "
                          "EXECUTE FUNCTION note_creator()");
    onEveryInsert(c.get(), "IF NEW.codcli = '000012' THEN PERFORM pg_terminate_backend(a.pid) FROM pg_stat_activity a "
                           "WHERE a.datname = 'dxc' AND a.application_name = 'dxc' AND a.pid <> (SELECT min(pid) FROM "
                           "public.creator); END IF;");
    const Transcript cut = runProgram(importOptions(dir, true));
    ASSERT_EQ(cut.lines.size(), 3u + 4 + 1 + 4 + 1) << cut.text();
    EXPECT_EQ(Lines(cut.lines.begin() + 3, cut.lines.begin() + 7), failedLines("dxcam01", 11, 30)) << cut.text();
    EXPECT_EQ(cut.lines[7].rfind("La tabla dxcam01 no se importó: ", 0), 0u) << cut.text();
    EXPECT_EQ(Lines(cut.lines.begin() + 8, cut.lines.end()),
              importLines("dxcam01e", 4, 30) + Lines{"Cerrando Conexion"});
    EXPECT_EQ(testpg::value(c.get(), "SELECT count(*) FROM pg_tables WHERE tablename = 'dxcam01'"), "0");
    EXPECT_EQ(testpg::value(c.get(), "SELECT count(*) FROM pg_namespace WHERE nspname = 'dxc_carga'"), "0");

    testpg::exec(c.get(), "DROP EVENT TRIGGER test_ddl");
    const Transcript again = runProgram(importOptions(dir, true));
    const Lines expected =
        preparedLines() + importLines("dxcam01", 11, 30) + Lines{"Verificando Tabla: dxcam01e Ok", "Cerrando Conexion"};
    EXPECT_EQ(again.lines, expected) << again.text();
    EXPECT_EQ(testpg::value(c.get(), "SELECT count(*) || ' ' || max(recno) FROM dxcam01"), "30 30");
}

// Without the right to create tables in the load schema (no right to
// create the schema, or someone else's schema of that name), a bulk load
// runs in one session and the table arrives all the same.
TEST_F(Import, ABulkLoadWithoutTheRightToUseTheLoadSchemaRunsInOneSession)
{
    const std::string dir = sampleFolder(30);
    const std::string role = "dxc_clerk_" + std::to_string(::getpid());
    for (bool othersSchema : {false, true}) {
        SCOPED_TRACE(othersSchema ? "someone else's schema" : "no right to create schemas");
        dropDxc();
        Conn c = prepareDxc();
        ASSERT_TRUE(c);
        testpg::exec(c.get(), "DROP ROLE IF EXISTS " + role + "; CREATE ROLE " + role +
                                  " LOGIN PASSWORD 'clave'; GRANT CREATE ON SCHEMA public TO " + role);
        if (othersSchema)
            testpg::exec(c.get(), "CREATE SCHEMA dxc_carga; GRANT CREATE ON DATABASE dxc TO " + role);
        ::setenv("PGPASSWORD", "clave", 1);
        app::Options opts = importOptions(dir, true);
        opts.user = role;
        const Transcript run = runProgram(opts);
        ::unsetenv("PGPASSWORD");
        EXPECT_EQ(run.lines, preparedLines() + importLines("dxcam01", 11, 30) + importLines("dxcam01e", 4, 30) +
                                 Lines{"Cerrando Conexion"})
            << run.text();
        EXPECT_EQ(testpg::value(c.get(), "SELECT count(*) || ' ' || max(recno) FROM dxcam01"), "30 30");
        EXPECT_EQ(testpg::value(c.get(), "SELECT count(*) FROM pg_namespace WHERE nspname = 'dxc_carga'"),
                  othersSchema ? "1" : "0");
        c.reset();
        dropDxc();
        if (Conn admin{testpg::connectTo("postgres")})
            testpg::exec(admin.get(), "DROP ROLE " + role);
    }
}

// A table of one field and one record, written byte by byte.
std::string oneFieldTable(unsigned char version, char type, int len, const std::string& value)
{
    std::string h(32, '\0');
    h[0] = char(version);
    h[1] = 124, h[2] = 12, h[3] = 7;
    h[4] = 1;
    h[8] = 65, h[10] = char(1 + len);
    std::string d(32, '\0');
    d.replace(0, 5, "NOTES");
    d[11] = type;
    d[16] = char(len);
    return h + d + "\x0d" + " " + value + "\x1a";
}

// A table the engine cannot open, or a value it cannot read, is told in
// Spanish with the file, the byte or the record; never in the engine's words.
TEST_F(Import, DamageIsToldInSpanish)
{
    struct Case {
        const char* name;
        std::string dbf;
        std::string dbt;  // beside the table when not empty
        Lines after;      // the lines after the connection's, {dir} for the folder
    };
    std::string dbt3(512, '\0');
    dbt3[0] = 1;
    // Block 1 says it holds 100 bytes; the file ends 20 bytes into them.
    const std::string dbtCut = dbt3 + std::string("\xff\xff\x08\x00\x6c\x00\x00\x00", 8) + std::string(20, 'x');
    const std::vector<Case> cases{
        {"short", std::string("\x03\x7c\x0c\x07", 4) + std::string(16, '\0'), "",
         {"No se pudo abrir {dir}/short.dbf: el archivo {dir}/short.dbf está dañado (byte 0)"}},
        {"oddtype", oneFieldTable(0x03, 'Z', 4, "abcd"), "",
         {"No se pudo abrir {dir}/oddtype.dbf: el archivo {dir}/oddtype.dbf usa un tipo de campo o una página de "
          "códigos que no se puede leer"}},
        {"nomemo", oneFieldTable(0x83, 'M', 10, "        99"), "",
         {"Verificando Tabla: nomemo Error",
          "La tabla nomemo está dañada: falta su archivo memo; no se importó (--salvage la importa con los memos "
          "NULL)"}},
        // A memo block past the memo file's end spoils one value, not the
        // table; the line names the block, and the length it claims.
        {"memo", oneFieldTable(0x83, 'M', 10, "        99"), dbt3,
         importLines("memo", 1, 1) + Lines{"Registro 1 de memo, campo NOTES: \"        99\" memo ilegible (bloque 99, "
                                           "fuera del archivo memo), importado como NULL",
                                           "1 registro de memo no se importó: no tiene ningún valor"}},
        {"memolen", oneFieldTable(0x83, 'M', 10, "         1"), dbtCut,
         importLines("memolen", 1, 1) +
             Lines{"Registro 1 de memolen, campo NOTES: \"         1\" memo ilegible (bloque 1, de 100 bytes que "
                   "pasan del final del archivo memo), importado como NULL",
                   "1 registro de memolen no se importó: no tiene ningún valor"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dropDxc();
        const std::string dir = scratch(std::string("damage_") + c.name);
        std::ofstream(dir + "/" + c.name + ".dbf", std::ios::binary) << c.dbf;
        if (!c.dbt.empty())
            std::ofstream(dir + "/" + c.name + ".dbt", std::ios::binary) << c.dbt;
        Lines after;
        for (std::string line : c.after) {
            for (std::size_t at; (at = line.find("{dir}")) != std::string::npos;)
                line.replace(at, 5, dir);
            after.push_back(line);
        }
        const Transcript run = runProgram(importOptions(dir));
        EXPECT_EQ(run.lines, connectionLines() + after + Lines{"Cerrando Conexion"}) << run.text();
    }
}

// A DBF cut short is not imported as if it were whole: reported as damaged,
// or with --salvage its whole records and the count of the missing ones.
TEST_F(Import, ACutFileIsReportedAsDamagedUnlessSalvaged)
{
    const std::string dir = realWorldFolder("cut");
    const Transcript refused = runProgram(importOptions(dir));
    const Lines damaged{"Verificando Tabla: cut Error",
                        "La tabla cut está dañada: su encabezado cuenta 10 registros y el archivo tiene 6 enteros; "
                        "no se importó (--salvage importa los registros enteros)",
                        "Cerrando Conexion"};
    EXPECT_EQ(refused.lines, connectionLines() + damaged) << refused.text();
    Conn c(connectDxc());
    ASSERT_TRUE(c);
    EXPECT_EQ(testpg::value(c.get(), "SELECT count(*) FROM pg_tables WHERE tablename = 'cut'"), "0");

    auto salvage = importOptions(dir, true);
    salvage.salvage = true;
    const Transcript saved = runProgram(salvage);
    const Lines missing{"Faltan 4 registros de cut: el archivo está cortado (su encabezado cuenta 10)",
                        "Cerrando Conexion"};
    EXPECT_EQ(saved.lines, preparedLines() + importLines("cut", 2, 6) + missing) << saved.text();
    EXPECT_EQ(rows(c.get(), "SELECT code || ' ' || rtrim(name) FROM cut ORDER BY recno"),
              (Lines{"1 name 1", "2 name 2", "3 name 3", "4 name 4", "5 name 5", "6 name 6"}));
}

// --codepage reads a table whose header names no code page we know (850 is
// assumed) in the page asked for.
TEST_F(Import, CodePageOverrideReadsTheTextInIt)
{
    const std::string dir = realWorldFolder("unknowncp");
    for (const auto& [codePage, text] : {std::pair{0, "ñand"}, std::pair{1252, "¤and"}}) {
        SCOPED_TRACE(codePage);
        dropDxc();
        auto opts = importOptions(dir);
        opts.codePage = codePage;
        const Transcript run = runProgram(opts);
        EXPECT_EQ(run.lines, connectionLines() + importLines("unknowncp", 1, 1) + Lines{"Cerrando Conexion"})
            << run.text();
        Conn c(connectDxc());
        ASSERT_TRUE(c);
        EXPECT_EQ(testpg::value(c.get(), "SELECT t FROM unknowncp"), text);
    }
}

// The same folder through INSERT and through COPY gives the same rows and
// the same NULLs; both agree with what pgdbf loads from the same files.
TEST_F(Import, CopyAndInsertAgreeAndBothMatchPgdbf)
{
    const std::string dir = fixtureFolder();
    const Transcript inserted = runProgram(importOptions(dir));
    ASSERT_EQ(inserted.status, 0) << inserted.text();
    EXPECT_EQ(inserted.text().find("Error"), std::string::npos) << inserted.text();
    EXPECT_EQ(inserted.text().find("rechazado"), std::string::npos) << inserted.text();
    EXPECT_EQ(shell("/usr/bin/python3 " + std::string(std::getenv("DXC_SOURCE_DIR")) + "/tests/app/compare_pgdbf.py " +
                    dir + " dxc"),
              0);

    Conn c(connectDxc());
    ASSERT_TRUE(c);
    const Lines tables = rows(c.get(), "SELECT tablename FROM pg_tables WHERE schemaname = 'public' ORDER BY 1");
    ASSERT_FALSE(tables.empty());
    testpg::exec(c.get(), "CREATE SCHEMA ins");
    for (const std::string& t : tables)
        testpg::exec(c.get(), "ALTER TABLE public." + t + " SET SCHEMA ins");

    const Transcript copied = runProgram(importOptions(dir, true));
    // The database exists now: one line fewer ("Creando Base de Datos").
    EXPECT_EQ(copied.lines.size() + 1, inserted.lines.size()) << copied.text();
    for (const std::string& t : tables) {
        const std::string q = "SELECT to_jsonb(x) - 'recno' FROM %s." + t + " x ORDER BY recno";
        auto sql = [&](const char* schema) { return std::string(q).replace(q.find("%s"), 2, schema); };
        const Lines a = rows(c.get(), sql("ins")), b = rows(c.get(), sql("public"));
        EXPECT_FALSE(a.empty()) << t;
        EXPECT_EQ(a, b) << "table " << t;
    }
}

// Values as other writers leave them in the bytes: blanks that are tabs and
// line ends, NULs inside and as padding, signs, leading zeros, fewer
// decimals than the field's, negative zero; accents and control bytes in
// longer text; dates of 8 and of 10 bytes, blank, cut short of a year or
// not existing; every letter a logical field may hold; doubles that are no
// number (a FoxPro table's B field). COPY sends what the
// INSERT sends, NULL where it is empty or unreadable, tells the same
// faults and skips the same records.
TEST_F(Import, OddlyWrittenValuesArriveAlikeThroughCopyAndInsert)
{
    const std::string dir = scratch("odd_values");
    ASSERT_EQ(shell("/usr/bin/python3 - " + dir + R"( <<'EOF'
import struct, sys
fields = [(b'T', b'C', 6, 0), (b'AMOUNT', b'N', 7, 2), (b'COUNT', b'N', 4, 0), (b'DAY', b'D', 8, 0),
          (b'DAY10', b'D', 10, 0), (b'FLAG', b'L', 1, 0), (b'NAME', b'C', 12, 0)]
records = [
    b'\t\t    ' + b'  -0.00' + b'  +5' + b'20240229' + b'2024-02-29' + b'T' + b'Mu\xa4oz Garc\xa1a',
    b'a\0b   ' + b'    1.5' + b'0007' + b'NotAYear' + b'29/02/2024' + b'y' + b'abcdefgh\0ijk',
    b'ab\0\0\0\0' + b'    .50' + b'  -0' + b'00000000' + b'2023-02-29' + b'F' + b'plain ascii ',
    b'      ' + b'       ' + b'    ' + b'        ' + b'          ' + b' ' + b'            ',
    b' x    ' + b'1234.56' + b'  12' + b'20230229' + b'0000-00-00' + b'?' + b'ab' + b'\0' * 10,
    b'\r\n    ' + b'   0.00' + b'   0' + b'\0' * 8 + b'          ' + b'n' + b'\t\r\n' + b' ' * 9,
    b'  -0  ' + b'  -0.01' + b'-999' + b'09991231' + b'abcdefghij' + b't' + b'x\x7f\x01' + b' ' * 9,
]
size = 1 + sum(f[2] for f in fields)
head = struct.pack('<BBBBIHH20x', 3, 124, 12, 7, len(records), 32 + 32 * len(fields) + 1, size)
for name, kind, length, dec in fields:
    head += name.ljust(11, b'\0') + kind + b'\0' * 4 + bytes([length, dec]) + b'\0' * 14
with open(sys.argv[1] + '/ODD.DBF', 'wb') as f:
    f.write(head + b'\r' + b''.join(b' ' + r for r in records) + b'\x1a')
rates = [struct.pack('<d', x) for x in (float('nan'), float('inf'), float('-inf'), 2.5)]
head = struct.pack('<BBBBIHH20x', 0x30, 124, 12, 7, len(rates), 32 + 32 + 1 + 263, 9)
head += b'RATE'.ljust(11, b'\0') + b'B' + struct.pack('<I', 1) + bytes([8, 0]) + b'\0' * 14
with open(sys.argv[1] + '/RATES.DBF', 'wb') as f:
    f.write(head + b'\r' + b'\0' * 263 + b''.join(b' ' + r for r in rates) + b'\x1a')
EOF)"),
              0);
    const Transcript inserted = runProgram(importOptions(dir));
    ASSERT_EQ(inserted.status, 0) << inserted.text();
    Conn c(connectDxc());
    ASSERT_TRUE(c);
    testpg::exec(c.get(), "CREATE SCHEMA ins");
    testpg::exec(c.get(), "ALTER TABLE public.odd SET SCHEMA ins");
    testpg::exec(c.get(), "ALTER TABLE public.rates SET SCHEMA ins");
    const Transcript copied = runProgram(importOptions(dir, true));
    ASSERT_EQ(copied.status, 0) << copied.text();
    const auto values = [&](const std::string& table) {
        return rows(c.get(), "SELECT concat_ws('|', coalesce(encode(convert_to(t, 'UTF8'), 'hex'), 'NULL'), "
                             "coalesce(amount::text, 'NULL'), coalesce(count::text, 'NULL'), "
                             "coalesce(day::text, 'NULL'), coalesce(day10::text, 'NULL'), "
                             "coalesce(flag::text, 'NULL'), coalesce(encode(convert_to(name, 'UTF8'), 'hex'), 'NULL')) "
                             "FROM " +
                                 table + " ORDER BY recno");
    };
    EXPECT_EQ(values("ins.odd"), values("public.odd"));
    // A double that is no number reaches its column quoted, as COPY sends it.
    for (const char* table : {"ins.rates", "public.rates"})
        EXPECT_EQ(rows(c.get(), std::string("SELECT rate FROM ") + table + " ORDER BY recno"),
                  (Lines{"NaN", "Infinity", "-Infinity", "2.5"}));
    // The blank record has no row; a stored 0 and false arrive as such (the
    // record of zeros has its row), blanks and "?" as NULL; NULs never arrive.
    EXPECT_EQ(values("public.odd"),
              (Lines{"NULL|0.00|5|2024-02-29|2024-02-29|true|4d75c3b16f7a2047617263c3ad61",
                     "6162|1.50|7|NULL|2024-02-29|true|6162636465666768696a6b",
                     "6162|0.50|0|NULL|NULL|false|706c61696e206173636969", "2078|1234.56|12|NULL|NULL|NULL|6162",
                     "NULL|0.00|0|NULL|NULL|false|NULL", "20202d30|-0.01|-999|0999-12-31|NULL|true|787f01"}));
    // The four dates that do not exist are told by both.
    const auto dateFaults = [](const Transcript& t) {
        return std::count_if(t.lines.begin(), t.lines.end(),
                             [](const std::string& l) { return l.find("no es una fecha") != std::string::npos; });
    };
    EXPECT_EQ(dateFaults(inserted), 4) << inserted.text();
    EXPECT_EQ(dateFaults(copied), 4) << copied.text();
}

// Runs `sql` from a session of its own, once the server shows a session of
// the import's in the state `waiting` (a condition on pg_stat_activity a);
// gives up after 30 s.
class WhenSeen {
public:
    WhenSeen(std::string waiting, std::string sql)
        : thread_([waiting = std::move(waiting), sql = std::move(sql)] {
              Conn peer(connectDxc());
              for (int i = 0; peer && i < 3000; ++i) {
                  if (testpg::value(peer.get(), "SELECT count(*) FROM pg_stat_activity a WHERE a.datname = 'dxc' AND "
                                                "a.application_name = 'dxc' AND " + waiting) != "0") {
                      testpg::exec(peer.get(), sql);
                      return;
                  }
                  std::this_thread::sleep_for(std::chrono::milliseconds(10));
              }
          })
    {
    }
    ~WhenSeen() { thread_.join(); }

private:
    std::thread thread_;
};

// A cancel from another session in the middle of a table is no fault of a
// record: the table is rolled back and said failed, the next one lands, and
// the status tells it. Both paths.
TEST_F(Import, ACancelFailsTheTableNotItsRecords)
{
    const std::string dir = sampleFolder(30);
    for (bool bulk : {false, true}) {
        SCOPED_TRACE(bulk ? "COPY" : "INSERT");
        dropDxc();
        Conn c = prepareDxc();
        ASSERT_TRUE(c);
        onEveryInsert(c.get(), "IF TG_TABLE_NAME = 'dxcam01' AND NEW.codcli = '000012' THEN PERFORM pg_sleep(30); "
                               "END IF;");
        Transcript run;
        {
            const WhenSeen cancel("a.wait_event = 'PgSleep'", "SELECT pg_cancel_backend(pid) FROM pg_stat_activity "
                                                               "WHERE wait_event = 'PgSleep' AND datname = 'dxc'");
            run = runProgram(importOptions(dir, bulk));
        }
        EXPECT_EQ(run.status, 3);
        EXPECT_EQ(run.lines, preparedLines() + failedLines("dxcam01", 11, 30) +
                                 Lines{"La tabla dxcam01 no se importó: canceling statement due to user request"} +
                                 importLines("dxcam01e", 4, 30) + Lines{"Cerrando Conexion"})
            << run.text();
        EXPECT_EQ(testpg::value(c.get(), "SELECT count(*) FROM pg_tables WHERE tablename = 'dxcam01'"), "0");
    }
}

// Field names with blanks around them, or of blanks only, name their
// columns alike in CREATE, INSERT and COPY; two files that give one table
// name are said, and the status tells it.
TEST_F(Import, OddFieldNamesAndTwoFilesForOneTable)
{
    const std::string dir = scratch("odd_field_names");
    ASSERT_EQ(shell("/usr/bin/python3 - " + dir + R"( <<'EOF'
import struct, sys, dbf
fields = [(b' CODE', 4), (b'NAME ', 6), (b'   ', 3)]
head = struct.pack('<BBBBIHH20x', 3, 124, 12, 7, 2, 32 + 32 * len(fields) + 1, 1 + 13)
for name, length in fields:
    head += name.ljust(11, b'\0') + b'C' + b'\0' * 4 + bytes([length, 0]) + b'\0' * 14
with open(sys.argv[1] + '/BLANKS.DBF', 'wb') as f:
    f.write(head + b'\r' + b' 0001alpha abc' + b' 0002beta  xyz' + b'\x1a')
for name in ('A.B.DBF', 'A.DBF'):
    t = dbf.Table(sys.argv[1] + '/' + name, 'N N(3,0)', dbf_type='db3')
    t.open(dbf.READ_WRITE)
    t.append((len(name),))
    t.close()
EOF)"),
              0);
    for (bool bulk : {false, true}) {
        SCOPED_TRACE(bulk ? "COPY" : "INSERT");
        dropDxc();
        const Transcript run = runProgram(importOptions(dir, bulk));
        EXPECT_EQ(run.status, 3) << run.text();
        const auto clash = std::find_if(run.lines.begin(), run.lines.end(),
                                        [](const std::string& l) { return l.rfind("El archivo ", 0) == 0; });
        ASSERT_NE(clash, run.lines.end()) << run.text();
        EXPECT_TRUE(*clash == "El archivo A.DBF no se importó: su tabla a es la del archivo A.B.DBF" ||
                    *clash == "El archivo A.B.DBF no se importó: su tabla a es la del archivo A.DBF")
            << *clash;
        EXPECT_EQ(std::count(run.lines.begin(), run.lines.end(), "Verificando Tabla: a Ok"), 1) << run.text();
        Conn c(connectDxc());
        ASSERT_TRUE(c);
        EXPECT_EQ(rows(c.get(), "SELECT concat_ws('|', code, name, campo_3) FROM blanks ORDER BY recno"),
                  (Lines{"0001|alpha |abc", "0002|beta  |xyz"}));
        EXPECT_EQ(testpg::value(c.get(), "SELECT count(*) FROM a"), "1");
    }
}

// What another run left or still holds: tables a run that died left in the
// load schema are gone after the next run, whatever its path; a second
// import over the same database waits for the first one, says so, and then
// finds its tables made: no row twice.
TEST_F(Import, TheNextRunClearsWhatADeadRunLeftAndWaitsForALiveOne)
{
    struct Case {
        const char* name;
        const char* before;  // what the other run did
        bool live;           // it still imports: it makes dxcam01, then lets go
        const char* after;   // counts what must be gone or empty
        Lines lines;         // the run's console, when checked
    };
    const Case cases[] = {
        {"dead", "CREATE SCHEMA dxc_carga; CREATE TABLE dxc_carga.dxcam01 AS SELECT generate_series(1, 1000) n", false,
         "SELECT count(*) FROM pg_namespace WHERE nspname = 'dxc_carga'", {}},
        {"live", "SELECT pg_advisory_lock(hashtext('dxc import'))", true, "SELECT count(*) FROM dxcam01",
         preparedLines() +
             Lines{"Esperando a que termine otra importación en la base de datos", "Verificando Tabla: dxcam01 Ok"} +
             importLines("dxcam01e", 4, 5) + Lines{"Cerrando Conexion"}},
    };
    const std::string dir = sampleFolder(5);
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        dropDxc();
        Conn c = prepareDxc();
        ASSERT_TRUE(c);
        testpg::exec(c.get(), k.before);
        std::thread other;
        if (k.live)
            other = std::thread([&c] {
                // The holder imports (a table of the same name) while the second waits.
                for (int i = 0; i < 3000; ++i) {
                    if (testpg::value(c.get(), "SELECT count(*) FROM pg_locks WHERE locktype = 'advisory' AND NOT "
                                               "granted") != "0")
                        break;
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                }
                testpg::exec(c.get(), "CREATE TABLE dxcam01 (recno int)");
                testpg::exec(c.get(), "SELECT pg_advisory_unlock_all()");
            });
        const Transcript run = runProgram(importOptions(dir));
        if (other.joinable())
            other.join();
        EXPECT_EQ(run.status, 0) << run.text();
        if (!k.lines.empty()) {
            EXPECT_EQ(run.lines, k.lines) << run.text();
        }
        EXPECT_EQ(testpg::value(c.get(), k.after), "0");
    }
}

// The sample table ACENTOS.DBF of `count` records in `dir`, written anew
// (codes 1..count), with a modification time of its own.
void writeAccents(const std::string& dir, int count, const char* name = "n")
{
    ASSERT_EQ(shell("/usr/bin/python3 - " + dir + " " + std::to_string(count) + " " + name + R"( <<'EOF'
import os, sys, dbf
path = sys.argv[1] + '/ACENTOS.DBF'
if os.path.exists(path):
    os.remove(path)
t = dbf.Table(path, 'CODE N(4,0); NAME C(8)', dbf_type='db3', codepage='cp850')
t.open(dbf.READ_WRITE)
for i in range(1, int(sys.argv[2]) + 1):
    t.append((i, sys.argv[3] + str(i)))
t.close()
EOF)"),
              0);
}

// A table whose DBF changed since its import is said, and --refresh
// imports it again: appended to, edited or cut. Unchanged, nothing is said.
TEST_F(Import, AChangedDbfIsSaidAndRefreshedWhole)
{
    const std::string dir = scratch("refresh");
    const std::string changedLine = "La tabla acentos no se importa de nuevo: el archivo ACENTOS.DBF cambió desde su "
                                    "importación (%d registros, la tabla tiene 3); use --refresh";
    const struct {
        const char* name;
        int records;
        const char* text;
    } changes[] = {{"appended", 4, "n"}, {"edited", 3, "e"}, {"cut", 2, "n"}};
    for (const auto& change : changes) {
        SCOPED_TRACE(change.name);
        dropDxc();
        writeAccents(dir, 3);
        EXPECT_EQ(runProgram(importOptions(dir)).status, 0);
        const Transcript same = runProgram(importOptions(dir));
        const Lines unchanged = preparedLines() + Lines{"Verificando Tabla: acentos Ok", "Cerrando Conexion"};
        EXPECT_EQ(same.lines, unchanged);
        EXPECT_EQ(same.status, 0);

        writeAccents(dir, change.records, change.text);
        std::string line = changedLine;
        line.replace(line.find("%d"), 2, std::to_string(change.records));
        const Transcript told = runProgram(importOptions(dir));
        EXPECT_EQ(told.lines, (preparedLines() + Lines{"Verificando Tabla: acentos Ok", line, "Cerrando Conexion"}));
        EXPECT_EQ(told.status, 3);

        auto refresh = importOptions(dir, true);  // the COPY path here, INSERT below
        refresh.refresh = true;
        const Transcript refreshed = runProgram(refresh);
        line.replace(line.find(" no se importa"), 14, " se importa").erase(line.find("; use --refresh"));
        const Lines made = importLines("acentos", 2, change.records);
        const Lines again = preparedLines() + Lines{"Verificando Tabla: acentos Ok", line} +
                            Lines(made.begin() + 1, made.end()) + Lines{"Cerrando Conexion"};
        EXPECT_EQ(refreshed.lines, again) << refreshed.text();
        EXPECT_EQ(refreshed.status, 0);
        Conn c(connectDxc());
        ASSERT_TRUE(c);
        EXPECT_EQ(testpg::value(c.get(), "SELECT string_agg(code || rtrim(name), ',' ORDER BY recno) FROM acentos"),
                  testpg::value(c.get(), "SELECT string_agg(i || '" + std::string(change.text) + "' || i, ',') FROM "
                                         "generate_series(1, " + std::to_string(change.records) + ") i"));
        EXPECT_EQ(testpg::value(c.get(), "SELECT count(*) FROM pg_namespace WHERE nspname = 'dxc_carga'"), "0");
        EXPECT_EQ(runProgram(importOptions(dir)).lines, unchanged);
    }
}

// Rows changed in SQL since the import are never thrown away unasked:
// --refresh leaves the table and says how many; --force replaces it. A
// refresh that fails half-way leaves the old table whole.
TEST_F(Import, ARefreshKeepsRowsChangedInSqlUnlessForced)
{
    const std::string dir = scratch("refresh_sql");
    const struct {
        const char* name;
        const char* sql;
    } edits[] = {{"update", "UPDATE acentos SET name = 'sql' WHERE code = 2"},
                 {"insert", "INSERT INTO acentos (code, name) VALUES (9, 'sql')"},
                 {"delete", "DELETE FROM acentos WHERE code = 1"}};
    for (const auto& edit : edits) {
        SCOPED_TRACE(edit.name);
        dropDxc();
        writeAccents(dir, 3);
        EXPECT_EQ(runProgram(importOptions(dir)).status, 0);
        Conn c(connectDxc());
        ASSERT_TRUE(c);
        testpg::exec(c.get(), edit.sql);
        const std::string before = testpg::value(c.get(), "SELECT string_agg(code || name, ',' ORDER BY code) FROM acentos");
        writeAccents(dir, 4);
        auto opts = importOptions(dir);
        opts.refresh = true;
        const Transcript kept = runProgram(opts);
        EXPECT_EQ(kept.status, 3);
        EXPECT_EQ(kept.lines.at(kept.lines.size() - 2),
                  "La tabla acentos no se actualizó: 1 filas cambiaron en SQL desde su importación; use --refresh "
                  "--force para reemplazarla")
            << kept.text();
        EXPECT_EQ(testpg::value(c.get(), "SELECT string_agg(code || name, ',' ORDER BY code) FROM acentos"), before);

        // The session dies in the middle of the new table: the old one stays as it was.
        onEveryInsert(c.get(), "IF NEW.code = 3 THEN PERFORM pg_terminate_backend(pg_backend_pid()); END IF;");
        opts.force = true;
        const Transcript cut = runProgram(opts);
        EXPECT_EQ(cut.status, 1) << cut.text();
        EXPECT_EQ(testpg::value(c.get(), "SELECT string_agg(code || name, ',' ORDER BY code) FROM acentos"), before);
        testpg::exec(c.get(), "DROP EVENT TRIGGER test_ddl; DROP FUNCTION test_ddl(); DROP FUNCTION test_row()");

        const Transcript forced = runProgram(opts);
        EXPECT_EQ(forced.status, 0) << forced.text();
        EXPECT_EQ(testpg::value(c.get(), "SELECT string_agg(code || rtrim(name), ',' ORDER BY recno) FROM acentos"),
                  "1n1,2n2,3n3,4n4");
    }
}

// Logicals and numbers arrive as python3-dbfread reads them, through both
// paths: a stored false and 0 are values, "?" and blanks are none.
TEST_F(Import, FalseAndZeroArriveAsDbfreadReadsThem)
{
    const std::string dir = scratch("false_zero");
    ASSERT_EQ(shell("/usr/bin/python3 - " + dir + R"( <<'EOF'
import sys, dbf, dbfread
path = sys.argv[1] + '/LOGIC.DBF'
t = dbf.Table(path, 'FLAG L; AMOUNT N(6,2); COUNT N(3,0); NAME C(4)', dbf_type='db3')
t.open(dbf.READ_WRITE)
for row in ((True, 1.5, 3, 'a'), (False, 0, 0, 'b'), (None, None, None, 'c'), (False, 0, 0, '')):
    t.append(row)
t.close()
def shown(v, fmt):
    return 'NULL' if v is None or v == '' else fmt(v)
with open(path + '.txt', 'w') as out:
    for r in dbfread.DBF(path):
        out.write('|'.join([shown(r['FLAG'], lambda v: str(v).lower()), shown(r['AMOUNT'], lambda v: '%.2f' % v),
                            shown(r['COUNT'], lambda v: '%d' % v), shown(r['NAME'].rstrip(), str)]) + '\n')
EOF)"),
              0);
    std::ifstream in(dir + "/LOGIC.DBF.txt");
    Lines expected;
    for (std::string line; std::getline(in, line);)
        expected.push_back(line);
    ASSERT_EQ(expected, (Lines{"true|1.50|3|a", "false|0.00|0|b", "NULL|NULL|NULL|c", "false|0.00|0|NULL"}));
    for (bool bulk : {false, true}) {
        SCOPED_TRACE(bulk ? "COPY" : "INSERT");
        dropDxc();
        EXPECT_EQ(runProgram(importOptions(dir, bulk)).status, 0);
        Conn c(connectDxc());
        ASSERT_TRUE(c);
        EXPECT_EQ(rows(c.get(), "SELECT concat_ws('|', coalesce(flag::text, 'NULL'), coalesce(amount::text, 'NULL'), "
                                "coalesce(count::text, 'NULL'), coalesce(rtrim(name), 'NULL')) FROM logic ORDER BY recno"),
                  expected);
    }
}

}  // namespace

namespace {

// Every file of a folder with its bytes.
std::map<std::string, std::string> folderBytes(const std::string& dir)
{
    std::map<std::string, std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        std::ifstream in(e.path(), std::ios::binary);
        files[e.path().filename().string()] = {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    return files;
}

// A tool run in `dir`, offscreen; a window still open after windowMs is
// ended (status -2), as a user would close it. Its standard error goes to `err`.
int runTool(const char* program, const QStringList& args, const std::string& dir, int windowMs = 60000,
            std::string* err = nullptr)
{
    QProcess p;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(dir + "_config"));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(QString::fromStdString(dir));
    p.start(program, args);
    const bool ended = p.waitForFinished(windowMs);
    if (!ended) {
        p.kill();
        p.waitForFinished();
    }
    if (err)
        *err = p.readAllStandardError().toStdString();
    return !ended ? -2 : p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

}  // namespace

// A table's index file whose tag holds code: the key DBCREATE(...) or the
// FOR DBAPPEND(). Every program that opens the table reads the tags as
// data: no file of the folder changes (V.dbf is what DBCREATE would empty).
TEST_F(Import, IndexTagsOfCodeRunInNoProgram)
{
    const cdxbytes::TagSpec tags[] = {
        {"EVIL", hostile::kLevel7Name, ""},
        {"EVIL", "NAME", "DBAPPEND()"},
    };
    struct Program {
        const char* name;
        std::function<int(const std::string& dir)> run;
        int status;
    };
    const Program programs[] = {
        {"dxc-browse", [](const std::string& d) { return runTool(DXC_BROWSE_TOOL, {"T.DBF"}, d, 2500); }, -2},
        {"dxc-browse --edit", [](const std::string& d) { return runTool(DXC_BROWSE_TOOL, {"--edit", "T.DBF"}, d, 2500); }, -2},
        {"dxc-dbf dump",
         [](const std::string& d) {
             std::string err;
             const int status = runTool(DXC_DBF_TOOL, {"dump", "T.DBF"}, d, 60000, &err);
             EXPECT_NE(err.find("dxc-dbf: warning: T.DBF: index tag EVIL left out"), std::string::npos) << err;
             return status;
         },
         0},
        {"dxc-dbf dump --order", [](const std::string& d) { return runTool(DXC_DBF_TOOL, {"dump", "T.DBF", "--order", "EVIL"}, d); }, 1},
        {"the import",
         [](const std::string& d) {
             dropDxc();
             return runProgram(importOptions(d)).status;
         },
         0},
    };
    const std::string dir = scratch("index_code");
    for (const cdxbytes::TagSpec& tag : tags) {
        hostile::write(dir + "/T.DBF", {"NAME"}, {"abcd", "efgh"}, false);
        hostile::write(dir + "/V.dbf", {"X"}, {"abcd"}, false);
        std::ofstream(dir + "/T.CDX", std::ios::binary | std::ios::trunc) << cdxbytes::buildCdx({tag});
        const auto before = folderBytes(dir);
        for (const Program& p : programs) {
            SCOPED_TRACE(tag.key + " FOR " + tag.forExpr + ", " + p.name);
            EXPECT_EQ(p.run(dir), p.status);
            EXPECT_TRUE(folderBytes(dir) == before);
        }
    }
}
