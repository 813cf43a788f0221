// Testee list: RefreshMenList (query, dataset and grid model) over 100,000 testees against SQLite alone
// stepping the same statement to its end on the same connection; and the resident memory of the
// main window holding that list.
#include "app/MainFrm.h"
#include "data/DataMod.h"
#include "platform/ErrorDisplay.h"
#include "platform/ProgramDir.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>

namespace {

constexpr int kTestees = 100000;
constexpr int kRounds = 5;

long residentKb() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

void fill(TMain_DataModule& dm) {
    const char* surnames[] = {"Иванов",   "Петров", "Сидоров", "Ёлкин",  "Кузнецов", "Смирнов",
                              "Васильев", "Жуков",  "Яковлев", "Егоров", "Соколов",  "Попов"};
    const char* names[] = {"Иван", "Пётр", "Анна", "Мария", "Олег", "Ольга", "Дмитрий", "Елена"};
    QSqlDatabase db = dm.Connection();
    db.transaction();
    QSqlQuery q(db);
    q.exec(QStringLiteral("insert into DB (DB_Name) values ('Большая')"));
    q.exec(QStringLiteral("insert into \"GROUP\" (Group_Name) values ('Первая'), ('Вторая'), ('Третья')"));
    q.prepare(QStringLiteral(
        "insert into USER (DB_ID, FIO, Sex, Age, Group_ID, IsDel) values (1, ?, ?, ?, ?, '')"));
    QRandomGenerator rng(7);
    for (int i = 0; i < kTestees; ++i) {
        const QString fio = QString::fromUtf8(surnames[rng.bounded(12)]) + QLatin1Char(' ') +
                            QString::fromUtf8(names[rng.bounded(8)]) + QStringLiteral(" %1").arg(i);
        q.addBindValue(fio);
        q.addBindValue(rng.bounded(2) ? QStringLiteral("М") : QStringLiteral("Ж"));
        q.addBindValue(static_cast<int>(rng.bounded(3, 121)));
        q.addBindValue(static_cast<int>(rng.bounded(0, 5)));
        q.exec();
    }
    db.commit();
}

double sqliteAlone(TMain_DataModule& dm, const QString& sql) {
    const QVariant v = dm.Connection().driver()->handle();
    sqlite3* h = *static_cast<sqlite3* const*>(v.data());
    QElapsedTimer t;
    t.start();
    sqlite3_stmt* stmt = nullptr;
    const QByteArray text = sql.toUtf8();
    sqlite3_prepare_v2(h, text.constData(), -1, &stmt, nullptr);
    sqlite3_bind_int(stmt, sqlite3_bind_parameter_index(stmt, ":DB_ID"), 1);
    long rows = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        for (int c = 0; c < 6; ++c)
            sqlite3_column_text(stmt, c);
        ++rows;
    }
    sqlite3_finalize(stmt);
    const double ms = t.nsecsElapsed() / 1e6;
    if (rows != kTestees)
        std::printf("unexpected row count %ld\n", rows);
    return ms;
}

} // namespace

int main(int argc, char** argv) {
    Platform::TApplication app(argc, argv);
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("DB"));
    Platform::SetProgramDir(dir.path());
    auto dm = TMain_DataModule::Create(dir.path());
    fill(*dm);
    dm->Current_DB_ID = 1;
    const long before = residentKb();

    TMain_Form form;
    form.resize(767, 516);
    form.show();
    QCoreApplication::processEvents();

    std::printf("RefreshMenList over %d testees (best of %d)\n", kTestees, kRounds);
    for (const QString& order :
         {QString(), QStringLiteral(" ORDER BY FIO"), QStringLiteral(" ORDER BY Group_Name , FIO DESC")}) {
        double best = 1e9;
        double baseline = 1e9;
        for (int r = 0; r < kRounds; ++r) {
            baseline = std::min(baseline, sqliteAlone(*dm, dm->MenQueryBaseSQL() + order));
            // The grid's markers decide the clause; set the SQL the same way RefreshMenList does.
            QElapsedTimer t;
            t.start();
            dm->Men_Query->Close();
            dm->Men_Query->SetSQL(dm->MenQueryBaseSQL() + order);
            dm->Men_Query->SetParam(QStringLiteral("DB_ID"), 1);
            dm->Men_Query->Open();
            QCoreApplication::processEvents();
            best = std::min(best, t.nsecsElapsed() / 1e6);
        }
        std::printf("  %-34s sqlite alone %8.1f ms   refresh %8.1f ms   ratio %.2fx\n",
                    order.isEmpty() ? "natural order" : qPrintable(order.trimmed()), baseline, best,
                    best / baseline);
    }
    {
        Data::TQuery bare(dm->Main_Database(), nullptr);
        bare.SetSQL(dm->MenQueryBaseSQL());
        bare.SetParam(QStringLiteral("DB_ID"), 1);
        double bestBare = 1e9;
        for (int r = 0; r < kRounds; ++r) {
            QElapsedTimer t;
            t.start();
            bare.Close();
            bare.Open();
            bestBare = std::min(bestBare, t.nsecsElapsed() / 1e6);
        }
        std::printf("  dataset alone, natural order             %8.1f ms\n", bestBare);
    }
    double best = 1e9;
    for (int r = 0; r < kRounds; ++r) {
        QElapsedTimer t;
        t.start();
        form.RefreshMenList();
        QCoreApplication::processEvents();
        best = std::min(best, t.nsecsElapsed() / 1e6);
    }
    std::printf("  RefreshMenList() with Tests_Query       %8.1f ms\n", best);
    std::printf("resident memory: %ld MB before the window, %ld MB with the window and the list\n",
                before / 1024, residentKb() / 1024);
    return 0;
}
