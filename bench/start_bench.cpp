// Start-up: from process start to the first painted main window of the program on its demo database
// (the database choice taken at once, see app/StartupProbe.h), against a minimal Qt Widgets program
// that opens one window with one table of the same size (start_minimal.cpp); offscreen, then under an
// Xvfb server of the benchmark's own on a free display. The two start in turns; the median of the
// rounds' ratios counts, one ratio line for each platform.
#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kRounds = 9;
constexpr double kAim = 1.3;

[[noreturn]] void fail(const QString& what) {
    std::fprintf(stderr, "start_bench: CHECK FAILED: %s\n", qPrintable(what));
    std::exit(1);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

long long nowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Milliseconds from the start of the process to the first paint it reports.
double startToPaint(const QString& program, const QStringList& arguments, const QProcessEnvironment& env) {
    QProcess p;
    p.setProcessEnvironment(env);
    const long long start = nowUs();
    p.start(program, arguments);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        fail(program + QStringLiteral(" did not finish: ") +
             QString::fromLocal8Bit(p.readAllStandardError()));
    const QByteArray out = p.readAllStandardOutput();
    const qsizetype at = out.lastIndexOf("painted ");
    if (at < 0)
        fail(program + QStringLiteral(" reported no paint: ") + QString::fromLocal8Bit(out));
    return double(out.mid(at + 8).trimmed().toLongLong() - start) / 1000;
}

// An Xvfb server on a free display, stopped with the benchmark.
class TXvfb {
public:
    TXvfb() {
        m_server.start(QStringLiteral("Xvfb"),
                       {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                        QStringLiteral("0"), QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                        QStringLiteral("tcp")});
        if (!m_server.waitForStarted(10000))
            fail(QStringLiteral("Xvfb did not start (package xvfb)"));
        while (!m_server.canReadLine() && m_server.waitForReadyRead(10000)) {
        }
        m_display = QStringLiteral(":") + QString::fromLatin1(m_server.readLine().trimmed());
        if (m_display.size() < 2)
            fail(QStringLiteral("Xvfb named no display"));
    }
    ~TXvfb() {
        m_server.terminate();
        m_server.waitForFinished(5000);
    }
    const QString& display() const { return m_display; }

private:
    QProcess m_server;
    QString m_display;
};

void measure(const char* name, const QProcessEnvironment& env, const QString& dataDir) {
    const QString program = QStringLiteral(MORVEL_EXE);
    const QStringList arguments = {QStringLiteral("--data-dir"), dataDir};
    // Once each first: the first start makes the demo database; the system caches the libraries.
    startToPaint(program, arguments, env);
    startToPaint(QStringLiteral(MINIMAL_EXE), {}, env);
    std::vector<double> minimal, morvel, ratios;
    for (int round = 0; round < kRounds; ++round) {
        minimal.push_back(startToPaint(QStringLiteral(MINIMAL_EXE), {}, env));
        morvel.push_back(startToPaint(program, arguments, env));
        ratios.push_back(morvel.back() / minimal.back());
    }
    std::printf("  %-10s minimal window %7.1f ms, the program %7.1f ms, ratio %.2fx\n", name + 6,
                median(minimal), median(morvel), median(ratios));
    std::printf("ratio %s %.2f aim %g\n", name, median(ratios), kAim);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir data;
    std::printf("Start-up to the first painted window, medians of %d alternating rounds\n", kRounds);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("MORVEL_STARTUP_PROBE"), QStringLiteral("1"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    measure("start_offscreen", env, data.path());
    const TXvfb xvfb;
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("DISPLAY"), xvfb.display());
    measure("start_xvfb", env, data.path());
    return 0;
}
