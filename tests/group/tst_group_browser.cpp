// Three real browsers (Debian's Chromium through chromedriver) take the test at once, by keys, by touch
// and mixed, with prescribed choices and steps back; one reloads in series 4. Each stored record equals
// the one the on-screen test stores for the same choices, field by field, at the time the run ended;
// the examiner's window showed every change of every run; wrong, used and post-session codes are
// refused. Screenshots of the page (phone, tablet) and of the window go to the build's
// tests/group-screenshots.
#include "GroupFixture.h"

#include "../testing/TestingFixture.h"
#include "group/GroupTest_Frm.h"
#include "platform/Dialogs.h"
#include "testing/Instr_Frm.h"
#include "testing/RunRecord.h"
#include "testing/Test_Frm.h"

#include <QJsonArray>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>

using namespace GroupSupport;

namespace {

constexpr int kBrowsers = 3;
constexpr int kReferenceTestee = 9; // not in the session: the on-screen runs of the same choices

QString statusOf(const Group::TRunSteps& steps) {
    Group::TRunInfo info;
    info.series = steps.Series();
    info.status = steps.View() == Group::TRunSteps::TView::Done          ? Group::TRunStatus::Finished
                  : steps.View() == Group::TRunSteps::TView::Instruction ? Group::TRunStatus::Instruction
                  : steps.Pass() == 1                                    ? Group::TRunStatus::FirstPass
                                                                         : Group::TRunStatus::SecondPass;
    return Group::StatusText(info);
}

// A run with random choices and a few steps back (none from the second instruction); the statuses the
// examiner's window must show, in order.
QJsonArray makePlan(quint32 seed, bool reload, QStringList* statuses) {
    QRandomGenerator rng(seed);
    Group::TRunSteps steps;
    QJsonArray plan;
    const auto note = [&] {
        if (statuses->isEmpty() || statuses->back() != statusOf(steps))
            statuses->append(statusOf(steps));
    };
    note();
    while (steps.View() != Group::TRunSteps::TView::Done) {
        if (steps.View() == Group::TRunSteps::TView::Instruction) {
            plan.append(QJsonArray{QStringLiteral("begin")});
            steps.Begin();
        } else {
            if (reload && steps.Series() == 4 && steps.Sign() == -1) {
                plan.append(QJsonArray{QStringLiteral("reload")});
                reload = false;
            }
            QString visible = steps.Visible();
            const QChar a = visible[rng.bounded(visible.size())];
            visible.remove(a);
            const QChar b = visible[rng.bounded(visible.size())];
            plan.append(QJsonArray{QStringLiteral("choose"), a.digitValue(), b.digitValue()});
            steps.Choose(QString(a) + b);
            note();
            if (steps.View() == Group::TRunSteps::TView::Screen && steps.CanGoBack() && rng.bounded(4) == 0) {
                plan.append(QJsonArray{QStringLiteral("back")});
                steps.Back();
            }
        }
        note();
    }
    return plan;
}

// The same choices on the test window, which stores its record for kReferenceTestee.
void runOnScreen(const QJsonArray& plan) {
    Platform::MessageRecorder endMessage;
    TTest_Form form;
    form.MenID = kReferenceTestee;
    form.DB_ID = kDbId;
    form.ShowSeries(1);
    form.show();
    for (const QJsonValue& v : plan) {
        const QJsonArray action = v.toArray();
        if (action[0] == QStringLiteral("choose")) {
            QTest::keyClick(&form, char('0' + action[1].toInt()));
            QTest::keyClick(&form, char('0' + action[2].toInt()));
            if (form.CurPass == 1 && form.CurSeries == 6 && form.CurSign == -1)
                TestingSupport::answerModal<TInstr_Form>("BeginTest_But");
            QTest::keyClick(&form, Qt::Key_Return);
        } else if (action[0] == QStringLiteral("back")) {
            QTest::keyClick(&form, Qt::Key_Backspace);
        }
    }
}

} // namespace

class TestGroupBrowser : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void threeBrowsersAtOnce() {
        TestSupport::pinRussianLocale();
        TestSupport::ProgramDirFixture dir;
        auto dm = dir.createDataModule();
        dm->Current_DB_ID = kDbId;
        layOutProgramFiles(dir.path());
        const auto testees = addTestees(dm->Main_Database(), kBrowsers + 1);
        TestSupport::ensureTestee(dm->Main_Database(), kDbId, kReferenceTestee);
        useFreePort();
        TGroupTest_Form form(kDbId, testees, {1, 2, 3, 4}, 1);
        form.show();
        QTest::mouseClick(form.Start_But, Qt::LeftButton);
        QVERIFY(form.Finish_But->isEnabled());

        QList<QStringList> shown(testees.size());
        connect(form.Runs(), &QAbstractItemModel::dataChanged, this,
                [&](const QModelIndex& from, const QModelIndex& to) {
                    if (from.column() > Group::TRunsModel::Status || to.column() < Group::TRunsModel::Status)
                        return;
                    for (int row = from.row(); row <= to.row(); ++row) {
                        const QString text =
                            form.Runs()->index(row, Group::TRunsModel::Status).data().toString();
                        if (shown[row].isEmpty() || shown[row].back() != text)
                            shown[row] << text;
                    }
                });

        QJsonArray browsers;
        QList<QStringList> expected(testees.size());
        const QStringList modes = {QStringLiteral("keys"), QStringLiteral("touch"), QStringLiteral("mixed")};
        for (int i = 0; i < kBrowsers; ++i) {
            const QJsonArray plan = makePlan(1000 + i, i == 0, &expected[i]);
            browsers.append(QJsonObject{{QStringLiteral("code"), form.Session()->Code(i)},
                                        {QStringLiteral("mode"), modes[i]},
                                        {QStringLiteral("plan"), plan}});
        }
        expected[kBrowsers] = QStringList{QStringLiteral("прервано")};
        const QString shots = QStringLiteral(MORVEL_SCREENSHOTS_DIR);
        QDir().mkpath(shots);
        const QJsonObject job{{QStringLiteral("url"), form.Address()},
                              {QStringLiteral("browsers"), browsers},
                              {QStringLiteral("unused"), form.Session()->Code(kBrowsers)},
                              {QStringLiteral("shots"), shots}};

        QProcess python;
        python.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QByteArray out;
        connect(&python, &QProcess::readyReadStandardOutput, this,
                [&] { out += python.readAllStandardOutput(); });
        python.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(MORVEL_BROWSER_SCRIPT)});
        QVERIFY2(python.waitForStarted(), qPrintable(python.errorString()));
        python.write(QJsonDocument(job).toJson(QJsonDocument::Compact) + '\n');
        QTRY_VERIFY_WITH_TIMEOUT(out.contains("RUNS DONE") || python.state() == QProcess::NotRunning, 150000);
        QVERIFY2(out.contains("RUNS DONE"), out.constData());
        const auto allStored = [] {
            for (int id = 1; id <= kBrowsers; ++id)
                if (Main_DataModule->Repo().testsOf(id).size() != 1)
                    return false;
            return true;
        };
        QTRY_VERIFY_WITH_TIMEOUT(allStored(), 30000);
        form.grab().save(shots + QStringLiteral("/examiner-running.png"));

        QTest::mouseClick(form.Finish_But, Qt::LeftButton);
        form.grab().save(shots + QStringLiteral("/examiner-finished.png"));
        python.write("FINISHED\n");
        QVERIFY(python.waitForFinished(60000));
        QVERIFY2(python.exitCode() == 0 && out.contains("AFTER FINISH REFUSED"), out.constData());
        QCOMPARE(shown, expected);

        for (int i = 0; i < kBrowsers; ++i)
            runOnScreen(browsers[i].toObject()[QStringLiteral("plan")].toArray());
        const QVector<Data::TestRecord> onScreen = Main_DataModule->Repo().testsOf(kReferenceTestee);
        QCOMPARE(onScreen.size(), kBrowsers);
        for (int i = 0; i < kBrowsers; ++i) {
            const QVector<Data::TestRecord> stored = Main_DataModule->Repo().testsOf(i + 1);
            QCOMPARE(stored.size(), 1);
            const Data::TestRecord& r = stored[0];
            const Data::TestRecord& s = onScreen[i];
            QCOMPARE(std::tie(r.dbId, r.note, r.resultTest, r.resultProfil, r.calcProfil, r.calcProfilNapr),
                     std::tie(s.dbId, s.note, s.resultTest, s.resultProfil, s.calcProfil, s.calcProfilNapr));
            const QDateTime end = form.Session()->Info(i).finished;
            const Data::TestRecord scored = Testing::ScoreRun(kDbId, i + 1, s.resultTest, end);
            QCOMPARE(std::tie(r.testeeId, r.date, r.time),
                     std::tie(scored.testeeId, scored.date, scored.time));
        }
        QVERIFY(Main_DataModule->Repo().testsOf(kBrowsers + 1).isEmpty());
    }
};

QTEST_MAIN(TestGroupBrowser)
#include "tst_group_browser.moc"
