// The formula engine's speed. The drive-formula line of the results window, parsed from its text, laid out
// and drawn, against drawing the same glyphs as plain text, both on a QImage in the same run; and a run of
// 16,000 factors joined by "*" and by "*." built, measured and drawn, with 8,000 for the growth.
#include "formula/ExprParser.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

namespace {

constexpr int kRounds = 2000;
constexpr int kFactors = 16000;

// The text the results window writes for a drive formula of three terms.
const QString kDriveText = QStringLiteral("Pow(Ind(h,7), String(+!)) & Space(7) & Pow(Ind(k,6), String(0)) & "
                                          "Space(7) & Pow(Ind(hy,6), String(±!!))");

struct Term {
    const char* factor;
    int index;
    const char* reaction;
};
constexpr Term kTerms[] = {{"h", 7, "+!"}, {"k", 6, "0"}, {"hy", 6, "\u00b1!!"}};

// As the results window does it: the built tree after a blank italic name, in a row, at 14 points.
int drawText(QPainter& painter, const QString& text) {
    TExprPtr first = std::make_unique<TExprVar>(QStringLiteral(" "));
    first->AddNext(TExprBuilder().BuildExpr(text));
    TExprChain chain(std::move(first));
    chain.SetCanvas(&painter);
    chain.SetFontSize(14);
    chain.Draw(5, 30, 0, 0);
    return chain.Height();
}

void drawFormulaLine(QPainter& painter) { drawText(painter, kDriveText); }

// The same glyphs as plain text: each name, index and reaction drawn where a simple layout would put it.
void drawPlainText(QPainter& painter) {
    QFont font(QStringLiteral("Times New Roman"));
    font.setPixelSize(19);
    QFont italic = font;
    italic.setItalic(true);
    QFont small = font;
    small.setPixelSize(13);
    int x = 5;
    painter.setFont(italic);
    painter.drawText(QPoint(x, 50), QStringLiteral(" "));
    for (const Term& t : kTerms) {
        painter.setFont(italic);
        const QString name = QString::fromUtf8(t.factor);
        painter.drawText(QPoint(x, 50), name);
        x += QFontMetrics(italic, painter.device()).horizontalAdvance(name);
        painter.setFont(small);
        painter.drawText(QPoint(x, 56), QString::number(t.index));
        painter.drawText(QPoint(x, 40), QString::fromUtf8(t.reaction));
        x += 30;
    }
}

// CPU time of this thread: time the thread waits for a core on a busy machine does not count.
double threadSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + ts.tv_nsec / 1e9;
}

// Microseconds per round of each of the two, measured in alternating batches on one picture, the best
// batch of each counting (the machine is shared, and a burst of other work should hit neither alone).
template <typename F, typename G> std::pair<double, double> timeAlternating(F&& f, G&& g) {
    QImage image(649, 257, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    for (int i = 0; i < 50; ++i) { // warm the glyph caches
        f(painter);
        g(painter);
    }
    constexpr int kBatches = 20;
    const auto batch = [&painter](auto& work) {
        const double start = threadSeconds();
        for (int i = 0; i < kRounds / 10; ++i)
            work(painter);
        return (threadSeconds() - start) * 1e6 / (kRounds / 10);
    };
    double bestF = 1e300;
    double bestG = 1e300;
    for (int k = 0; k < kBatches; ++k) {
        bestF = std::min(bestF, batch(f));
        bestG = std::min(bestG, batch(g));
    }
    return {bestF, bestG};
}

QString product(int factors, const QString& op) {
    QString text = QStringLiteral("x");
    for (int i = 1; i < factors; ++i)
        text += op + QStringLiteral("x");
    return text;
}

// Seconds to build, measure and draw the text once.
double timeOnce(const QString& text) {
    QImage image(649, 257, QImage::Format_RGB32);
    QPainter painter(&image);
    const double start = threadSeconds();
    drawText(painter, text);
    return threadSeconds() - start;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    // "formula_bench line" times the formula line alone (for a profiler).
    const bool lineOnly = argc > 1 && qstrcmp(argv[1], "line") == 0;
    for (const char* op : {"*", "*.", "+"}) {
        if (lineOnly)
            break;
        const QString sign = QString::fromLatin1(op);
        const double half = timeOnce(product(kFactors / 2, sign));
        const double full = timeOnce(product(kFactors, sign));
        std::printf("%d factors joined by %-2s      %8.3f s  (%d: %.3f s, growth %.2f)\n", kFactors, op, full,
                    kFactors / 2, half, full / half);
    }
    const auto [plain, formula] = timeAlternating(drawPlainText, drawFormulaLine);
    std::printf("plain text glyphs:            %8.1f us per line\n", plain);
    std::printf("formula parse+layout+draw:    %8.1f us per line\n", formula);
    std::printf("ratio formula_line %.2f aim 1.5\n", formula / plain);
    return 0;
}
