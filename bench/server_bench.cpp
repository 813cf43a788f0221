// The server store against bare libpq on the same server, measured in the same run on a throwaway
// cluster of its own: the testee list refresh over 100,000 testees (RefreshMenList to the first paint)
// against the same query read with PQexecParams, and the write of 10,000 test records
// (Calc::InsertTestRecord) against bare inserts of the same values. Built twice: serverlist_bench and
// serverwrite_bench; each ends with its ratio line.
#include "app/MainFrm.h"
#include "data/DataMod.h"
#include "data/FileEngine.h"
#include "data/ServerEngine.h"
#include "data/Statements.h"
#include "data/Store.h"
#include "platform/ErrorDisplay.h"
#include "platform/Locale.h"
#include "platform/ProgramDir.h"
#include "scoring/Calc_Records.h"
#include "tests/scoring/RandomRuns.h"
#include "widgets/DBGrid.h"
#include "widgets/GridSort.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <libpq-fe.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <unistd.h>

namespace {

constexpr int kTestees = 100000;
constexpr int kRecords = 10000;
constexpr int kRounds = 5;
const QString kSheet = QStringLiteral("135724681538264713457812264815372467381567285634");

[[noreturn]] void fail(const QString& what) {
    std::fprintf(stderr, "%s: CHECK FAILED: %s\n", SERVER_BENCH_NAME, qPrintable(what));
    std::exit(1);
}

void check(bool condition, const QString& what) {
    if (!condition)
        fail(what);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The bench's own cluster, stopped and removed when the bench ends.
class TCluster {
public:
    TCluster() : m_dir(QStringLiteral("/tmp/morvel-pg-bench-%1").arg(::getpid())) {
        QString output;
        check(run(QStringLiteral("start"), &output), QStringLiteral("the server did not start: ") + output);
    }
    ~TCluster() { run(QStringLiteral("stop"), nullptr); }
    const QString& dir() const { return m_dir; }

private:
    bool run(const QString& action, QString* output) {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral("bash"), {QStringLiteral(MORVEL_PG_SCRIPT), action, m_dir});
        const bool ok = p.waitForFinished(120000) && p.exitCode() == 0;
        if (output)
            *output = QString::fromLocal8Bit(p.readAll());
        return ok;
    }
    QString m_dir;
};

// A libpq connection of its own (the baseline and the set-up).
PGconn* connect(const QString& dir, const char* database) {
    const QByteArray info = "host='" + dir.toUtf8() + "' dbname=" + database + " user=postgres";
    PGconn* conn = PQconnectdb(info.constData());
    check(PQstatus(conn) == CONNECTION_OK, QString::fromUtf8(PQerrorMessage(conn)));
    PQsetClientEncoding(conn, "UTF8");
    return conn;
}

void exec(PGconn* conn, const QByteArray& sql) {
    PGresult* res = PQexec(conn, sql.constData());
    const ExecStatusType status = PQresultStatus(res);
    check(status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK,
          QString::fromUtf8(sql) + QStringLiteral(": ") + QString::fromUtf8(PQresultErrorMessage(res)));
    PQclear(res);
}

// Bare libpq: the list's query as the server reads it, every value of every row read.
double bareList(PGconn* conn, const QByteArray& sql) {
    QElapsedTimer t;
    t.start();
    const char* values[] = {"1"};
    PGresult* res = PQexecParams(conn, sql.constData(), 1, nullptr, values, nullptr, nullptr, 0);
    check(PQresultStatus(res) == PGRES_TUPLES_OK, QString::fromUtf8(PQresultErrorMessage(res)));
    const int rows = PQntuples(res);
    const int columns = PQnfields(res);
    std::size_t bytes = 0;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c)
            bytes += static_cast<std::size_t>(PQgetlength(res, r, c)) + (PQgetvalue(res, r, c)[0] != 0);
    PQclear(res);
    const double ms = t.nsecsElapsed() / 1e6;
    check(rows == kTestees && bytes > 0, QStringLiteral("bare libpq read %1 rows").arg(rows));
    return ms;
}

// A title click on the server's list against the same click on a grid over a table file holding the
// same rows: both sort the rows in memory, so the store must not matter.
void resortBench(TMain_Form& form, TMain_DataModule& dm) {
    QTemporaryDir fileDir;
    const auto file = Data::TFileEngine::Open(fileDir.filePath(QStringLiteral("resort.db")));
    file->Run(
        "create table USER (Men_ID integer primary key, DB_ID integer, FIO text, Sex text, Age integer, "
        "Group_ID integer, IsDel text);"
        "create table \"GROUP\" (Group_ID integer primary key, Group_Name text)",
        QStringLiteral("the table file"));
    {
        Data::TTransaction transaction(*file);
        const Data::TQuery& men = *dm.Men_Query;
        QHash<int, QVariant> groups;
        for (int r = 0; r < men.RecordCount(); ++r) {
            QVariantMap row;
            for (const char* f : {"Men_ID", "FIO", "Sex", "Age", "Group_ID"})
                row.insert(QLatin1String(f), men.Value(r, men.FieldIndex(QLatin1String(f))));
            file->Exec(
                QStringLiteral("insert into USER values (:Men_ID, 1, :FIO, :Sex, :Age, :Group_ID, '')"), row);
            groups.insert(men.Value(r, men.FieldIndex(QStringLiteral("Group_ID"))).toInt(),
                          men.Value(r, men.FieldIndex(QStringLiteral("Group_Name"))));
        }
        for (auto it = groups.cbegin(); it != groups.cend(); ++it)
            file->Exec(QStringLiteral("insert into \"GROUP\" values (:id, :name)"),
                       {{QStringLiteral("id"), it.key()}, {QStringLiteral("name"), it.value()}});
        transaction.Commit();
    }
    const QStringList fields = {QStringLiteral("FIO"), QStringLiteral("Age"), QStringLiteral("Sex"),
                                QStringLiteral("Group_Name")};
    double ratio = 0;
    {
        Data::TQuery fileList(*file, nullptr);
        fileList.SetSQL(dm.MenQueryBaseSQL() + QStringLiteral(" ORDER BY Men_ID"));
        fileList.SetParam(QStringLiteral("DB_ID"), 1);
        fileList.Open();
        check(fileList.RecordCount() == kTestees,
              QStringLiteral("the file's list has %1 rows").arg(fileList.RecordCount()));
        QList<Widgets::TColumn> columns;
        for (const QString& f : fields)
            columns << Widgets::TColumn{f, f, 100, Qt::AlignLeft};
        Widgets::TDBGrid grid(&fileList, columns);
        grid.SetTitleSorting(true);
        grid.resize(form.Data_Grid->size());
        grid.show();
        QCoreApplication::processEvents();
        std::vector<double> server, onFile, ratios;
        for (int r = 0; r < kRounds; ++r) {
            const int column = r % 2 == 0 ? 0 : 3; // by name, then by group
            QElapsedTimer t;
            t.start();
            grid.Markers().click(column, false);
            Widgets::SortByMarkers(grid, fields, QStringLiteral("Men_ID"));
            grid.FitColumns();
            QCoreApplication::processEvents();
            const double f = t.nsecsElapsed() / 1e6;
            t.start();
            form.Data_GridTitleClick(column, false);
            QCoreApplication::processEvents();
            const double s = t.nsecsElapsed() / 1e6;
            check(dm.Men_Query->Value(0, 0) == fileList.Value(0, 0) &&
                      dm.Men_Query->Value(kTestees - 1, 0) == fileList.Value(kTestees - 1, 0),
                  QStringLiteral("the stores' lists differ after the re-sort"));
            server.push_back(s);
            onFile.push_back(f);
            ratios.push_back(s / f);
        }
        std::printf("  title click, sorted in memory (medians of %d alternating rounds)\n", kRounds);
        std::printf("  baseline: the table file's list %8.1f ms\n", median(onFile));
        std::printf("  the server's list:               %8.1f ms   ratio %.2fx\n", median(server),
                    median(ratios));
        ratio = median(ratios);
    }
    std::printf("ratio resort100k_server %.2f aim 1.2\n", ratio);
}

void listBench(const QString& dir, TMain_DataModule& dm, const QString& database) {
    PGconn* conn = connect(dir, database.toUtf8().constData());
    exec(conn, "insert into db (db_id, db_name) values (1, 'Большая')");
    exec(conn, "insert into \"group\" (group_name) values ('Первая'), ('Вторая'), ('Третья')");
    exec(conn,
         QStringLiteral(
             "insert into \"user\" (db_id, fio, sex, age, group_id, isdel) "
             "select 1, (array['Иванов','Петров','Сидоров','Ёлкин','Кузнецов','Смирнов'])[1 + (i::bigint * "
             "7919) % 6] "
             "|| ' ' || (array['Иван','Пётр','Анна','Мария'])[1 + (i::bigint * 104729) % 4] || ' ' || i, "
             "case when i % 2 = 0 then 'М' else 'Ж' end, 3 + (i * 37) % 118, (i * 13) % 4, '' "
             "from generate_series(1, %1) i")
             .arg(kTestees)
             .toUtf8());
    exec(conn, "analyze");
    dm.Current_DB_ID = 1;
    // The unsorted list as the program reads it: in Men_ID order.
    // Its one parameter, the database, is the first of libpq's.
    const QByteArray sql = QString(dm.MenQueryBaseSQL() + QStringLiteral(" ORDER BY Men_ID"))
                               .replace(QStringLiteral(":DB_ID"), QStringLiteral("$1"))
                               .toUtf8();
    std::printf("%s: %d testees on the server; the list's query as the server reads it:\n  %s\n",
                SERVER_BENCH_NAME, kTestees, sql.simplified().constData());

    TMain_Form form;
    form.show();
    QCoreApplication::processEvents();
    check(dm.Men_Query->RecordCount() == kTestees,
          QStringLiteral("the list has %1 rows").arg(dm.Men_Query->RecordCount()));
    // The runs alternate, so that a busy machine slows both alike; the ratio is taken per round.
    std::vector<double> bare, refresh, ratios;
    for (int r = 0; r < kRounds; ++r) {
        const double b = bareList(conn, sql);
        QElapsedTimer t;
        t.start();
        form.RefreshMenList();
        QCoreApplication::processEvents();
        const double f = t.nsecsElapsed() / 1e6;
        check(dm.Men_Query->RecordCount() == kTestees, QStringLiteral("refresh lost rows"));
        bare.push_back(b);
        refresh.push_back(f);
        ratios.push_back(f / b);
    }
    PQfinish(conn);
    std::printf("  RefreshMenList to the first paint (medians of %d alternating rounds)\n", kRounds);
    std::printf("  baseline: bare libpq     %8.1f ms\n", median(bare));
    std::printf("  refresh and paint:       %8.1f ms   ratio %.2fx\n", median(refresh), median(ratios));
    std::printf("ratio serverlist %.2f aim 2\n", median(ratios));
    resortBench(form, dm);
}

void writeBench(const QString& dir, const QString& database) {
    PGconn* conn = connect(dir, database.toUtf8().constData());
    exec(conn, "insert into db (db_id, db_name) values (1, 'Замер')");
    exec(conn, "insert into \"user\" (men_id, db_id, fio, sex, age, group_id, isdel) "
               "values (1, 1, 'Тестируемый', 'М', 30, 0, '')");
    const Calc::TTestRecord record = TestSupport::compose(kSheet);
    const QDate date(2026, 12, 1);
    const QTime time(10, 30, 0);
    const QString note = QStringLiteral("Замер скорости");
    const QByteArray insert = "insert into test (db_id, men_id, date_test, time_test, note, result_test, "
                              "result_profil, calc_profil, calc_profilnapr) "
                              "values ($1, $2, $3, $4, $5, $6, $7, $8, $9)";
    const QList<QByteArray> texts = {"1",
                                     "1",
                                     Platform::DateToIso(date).toUtf8(),
                                     Platform::TimeToIso(time).toUtf8(),
                                     note.toUtf8(),
                                     record.Result_Test.toUtf8(),
                                     record.Result_Profil.toUtf8(),
                                     record.Calc_Profil.toUtf8(),
                                     record.Calc_ProfilNapr.toUtf8()};
    std::vector<const char*> values;
    for (const QByteArray& v : texts)
        values.push_back(v.constData());

    // Rounds of a tenth of the records each, alternating; the totals are scaled to all of them.
    constexpr int kBatches = 10;
    std::vector<double> bare, program, ratios;
    for (int b = 0; b < kBatches; ++b) {
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < kRecords / kBatches; ++i) {
            PGresult* res =
                PQexecParams(conn, insert.constData(), 9, nullptr, values.data(), nullptr, nullptr, 0);
            check(PQresultStatus(res) == PGRES_COMMAND_OK, QString::fromUtf8(PQresultErrorMessage(res)));
            PQclear(res);
        }
        const double bareMs = t.nsecsElapsed() / 1e6;
        t.restart();
        for (int i = 0; i < kRecords / kBatches; ++i)
            TestSupport::insertTest(1, 1, date, time, note, record);
        const double programMs = t.nsecsElapsed() / 1e6;
        bare.push_back(bareMs);
        program.push_back(programMs);
        ratios.push_back(programMs / bareMs);
    }
    PGresult* res = PQexec(conn, "select count(*) from test");
    const int written = std::atoi(PQgetvalue(res, 0, 0));
    PQclear(res);
    PQfinish(conn);
    check(written == 2 * kRecords, QStringLiteral("%1 records written").arg(written));
    double bareSum = 0, programSum = 0;
    for (int b = 0; b < kBatches; ++b) {
        bareSum += bare[static_cast<size_t>(b)];
        programSum += program[static_cast<size_t>(b)];
    }
    std::printf("%s: %d test records written on the server, in %d alternating batches\n", SERVER_BENCH_NAME,
                kRecords, kBatches);
    std::printf("  baseline: bare inserts (PQexecParams)  %8.1f ms\n", bareSum);
    std::printf("  Calc::InsertTestRecord:                %8.1f ms   ratio %.2fx (median of the batches)\n",
                programSum, median(ratios));
    std::printf("ratio serverwrite %.2f aim 2\n", median(ratios));
}

} // namespace

int main(int argc, char** argv) {
    Platform::TApplication app(argc, argv);
    TCluster cluster;
    const QString database = QStringLiteral("morvel_bench");
    {
        PGconn* admin = connect(cluster.dir(), "postgres");
        exec(admin, "create database " + database.toUtf8());
        PQfinish(admin);
    }
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("DB"));
    Platform::SetProgramDir(dir.path());
    Data::TStoreSettings settings;
    settings.kind = Data::TStoreSettings::Kind::Server;
    settings.host = cluster.dir();
    settings.database = database;
    settings.user = QStringLiteral("postgres");
    std::unique_ptr<TMain_DataModule> dm;
    try {
        dm = TMain_DataModule::CreateServer(dir.path(), settings, QString());
    } catch (const std::exception& e) {
        fail(QString::fromUtf8(e.what()));
    }
    check(dm != nullptr, QStringLiteral("no data module"));
    if (qstrcmp(SERVER_BENCH_NAME, "serverlist") == 0)
        listBench(cluster.dir(), *dm, database);
    else
        writeBench(cluster.dir(), database);
    return 0;
}
