// Group session under load: simulated testees take the whole test over HTTP (bench/group_load.py), first
// one at a time (three runs, the baseline is their mean), then 40 at once, against the examiner's window
// of the program. Every run must be stored once and the window must keep repainting meanwhile (its paint
// events are counted, the longest pause between two is reported). The ratio is the time of the 40 runs
// over that of one.
#include "GroupFixture.h"

#include "group/GroupTest_Frm.h"
#include "platform/Dialogs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHeaderView>
#include <QProcess>
#include <QPushButton>
#include <QTableView>

#include <cstdio>

namespace {

constexpr int kLoad = 40;
constexpr int kAlone = 3;
// A window that did not paint for this long stalled: its durations tick every second.
constexpr qint64 kStallMs = 3000;

// Counts the paint events of a widget and the longest pause between two.
class TPaintCounter : public QObject {
public:
    explicit TPaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    void Restart() {
        count = 0;
        longestPause = 0;
        m_clock.start();
        m_last = 0;
    }
    qint64 Close() {
        longestPause = std::max(longestPause, m_clock.elapsed() - m_last);
        return longestPause;
    }
    int count = 0;
    qint64 longestPause = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && m_clock.isValid()) {
            ++count;
            longestPause = std::max(longestPause, m_clock.elapsed() - m_last);
            m_last = m_clock.elapsed();
        }
        return false;
    }

private:
    QElapsedTimer m_clock;
    qint64 m_last = 0;
};

// Runs the simulated testees of `codes` at once; their wall time in seconds, or -1.
double load(const QString& url, const QStringList& codes) {
    QProcess python;
    python.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QEventLoop loop;
    QObject::connect(&python, &QProcess::finished, &loop, &QEventLoop::quit);
    python.start(QStringLiteral("/usr/bin/python3"),
                 QStringList{QStringLiteral(MORVEL_LOAD_SCRIPT), url} + codes);
    if (!python.waitForStarted())
        return -1;
    loop.exec();
    const QByteArray out = python.readAllStandardOutput();
    if (python.exitCode() != 0 || !out.startsWith("seconds "))
        return -1;
    return out.mid(8).trimmed().toDouble();
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TestSupport::ProgramDirFixture dir;
    auto dm = dir.createDataModule();
    dm->Current_DB_ID = GroupSupport::kDbId;
    GroupSupport::layOutProgramFiles(dir.path());
    const QVector<Data::Testee> testees = GroupSupport::addTestees(dm->Main_Database(), kAlone + kLoad);
    GroupSupport::useFreePort();
    QList<int> ids;
    for (const Data::Testee& t : testees)
        ids << t.id;
    TGroupTest_Form form(GroupSupport::kDbId, testees, ids, 1);
    form.show();
    form.Start_But->click();
    if (!form.Finish_But->isEnabled())
        return std::fputs("group bench: the session did not start\n", stderr), 1;
    TPaintCounter paints(form.Runs_Grid->viewport());

    double one = 0;
    for (int row = 0; row < kAlone; ++row) {
        const double seconds = load(form.Address(), {form.Session()->Code(row)});
        one = seconds < 0 || one < 0 ? -1 : one + seconds / kAlone;
    }
    QStringList codes;
    for (int row = kAlone; row < kAlone + kLoad; ++row)
        codes << form.Session()->Code(row);
    paints.Restart();
    const double all = load(form.Address(), codes);
    const qint64 pause = paints.Close();
    // The last records are stored as their signals arrive.
    QElapsedTimer wait;
    wait.start();
    const auto stored = [&] {
        for (const Data::Testee& t : testees)
            if (Main_DataModule->Repo().testsOf(t.id).size() != 1)
                return false;
        return true;
    };
    while (!stored() && wait.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
    Platform::MessageRecorder answers;
    form.Finish_But->click();

    std::printf("one run: %.2f s; %d runs at once: %.2f s\n", one, kLoad, all);
    std::printf("examiner's window: %d paint events, longest pause %lld ms\n", paints.count,
                static_cast<long long>(pause));
    if (one <= 0 || all <= 0)
        return std::fputs("group bench: a simulated testee failed\n", stderr), 1;
    if (!stored())
        return std::fputs("group bench: a run was not stored exactly once\n", stderr), 1;
    if (pause > kStallMs)
        return std::fputs("group bench: the examiner's window stalled\n", stderr), 1;
    std::printf("ratio group40 %.2f aim 3\n", all / one);
    return 0;
}
