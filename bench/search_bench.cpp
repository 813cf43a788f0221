// Time of one "&Искать" over 100,000 testees that finds the last row, against a plain loop that
// compares the same names held as QStrings in memory; both measured in the same run. A second line
// repeats the search with the testee grid bound to the list, as in the main window (for information:
// it adds the grid's move to the last row and its paint).
#include "app/Sour_Frm.h"
#include "data/DataMod.h"
#include "data/Engine.h"
#include "platform/ProgramDir.h"
#include "widgets/DBGrid.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kTestees = 100000;
constexpr int kRounds = 31;
// The search reads the names as stored (UTF-8); a loop over names already converted is its floor.
constexpr double kAim = 2;
const QString kLastName = QStringLiteral("Яблоков Последний Искомый");
const QString kSearchText = QStringLiteral("яблоков");

template <class Work> double micros(Work work) {
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed() / 1000.0;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void fill(TMain_DataModule& dm) {
    Data::TEngine& db = dm.Main_Database();
    qint64 id = 0;
    db.Exec(QStringLiteral("insert into DB (DB_Name) values ('Замер')"), {}, &id);
    dm.Current_DB_ID = static_cast<int>(id);
    Data::TTransaction transaction(db);
    const QString insert = QStringLiteral(
        "insert into USER (DB_ID, FIO, Sex, Age, Group_ID, IsDel) values (:db, :fio, 'М', :age, 0, '')");
    for (int i = 0; i < kTestees; ++i)
        db.Exec(insert, {{QStringLiteral("db"), dm.Current_DB_ID},
                         {QStringLiteral("fio"),
                          i + 1 == kTestees ? kLastName : QStringLiteral("Иванов Тестируемый %1").arg(i)},
                         {QStringLiteral("age"), 3 + i % 100}});
    transaction.Commit();
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("DB"));
    Platform::SetProgramDir(dir.path());
    auto dm = TMain_DataModule::Create(dir.path());
    if (!dm)
        return 1;
    fill(*dm);
    Data::TQuery* q = dm->Men_Query;
    q->SetSQL(dm->MenQueryBaseSQL());
    q->SetParam(QStringLiteral("DB_ID"), dm->Current_DB_ID);
    q->Open();

    QStringList names;
    const int fio = q->FieldIndex(QStringLiteral("FIO"));
    for (int r = 0; r < q->RecordCount(); ++r)
        names << q->Value(r, fio).toString();

    int plainFound = -1;
    auto plainLoop = [&] {
        plainFound = -1;
        for (int i = 0; i < names.size(); ++i)
            if (names[i].startsWith(kSearchText, Qt::CaseInsensitive)) {
                plainFound = i;
                break;
            }
    };
    bool found = false;
    auto search = [&] {
        q->First();
        found = SearchTester(*q, QStringLiteral("FIO"), kSearchText, false, false);
    };
    auto searchWithGrid = [&] {
        search();
        app.processEvents();
    };

    // The runs alternate, so that a busy machine slows all of them alike; ratios are taken per round.
    std::vector<double> plainTimes, searchTimes, gridTimes, searchRatios, gridRatios;
    for (int i = 0; i < kRounds; ++i) {
        const double p = micros(plainLoop);
        const double s = micros(search);
        double g = 0;
        {
            Widgets::TDBGrid grid(q,
                                  {Widgets::TColumn{QStringLiteral("FIO"), QStringLiteral("Ф.И.О."), 300}});
            grid.resize(600, 400);
            grid.show();
            app.processEvents();
            g = micros(searchWithGrid);
        }
        plainTimes.push_back(p);
        searchTimes.push_back(s);
        gridTimes.push_back(g);
        searchRatios.push_back(s / p);
        gridRatios.push_back(g / p);
        if (!found || q->CurrentRow() != kTestees - 1 || plainFound != kTestees - 1) {
            std::fprintf(stderr, "search did not find the last row\n");
            return 1;
        }
    }

    std::printf("search over %d testees, finds the last row (medians of %d alternating rounds)\n", kTestees,
                kRounds);
    std::printf("  plain loop over the names in memory: %10.0f us\n", median(plainTimes));
    std::printf("  \"&Искать\" (SearchTester):            %10.0f us   ratio %.2fx\n", median(searchTimes),
                median(searchRatios));
    std::printf("  \"&Искать\" with the grid bound:       %10.0f us   ratio %.2fx\n", median(gridTimes),
                median(gridRatios));
    std::printf("ratio search %.2f aim %g\n", median(searchRatios), kAim);
    return 0;
}
