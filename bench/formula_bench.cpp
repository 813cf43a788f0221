// The formula engine's speed. The drive-formula line of the results window, parsed from its text, laid out
// and drawn, against drawing the same glyphs as plain text, both on a QImage in the same run; and a run of
// 16,000 factors joined by "*" and by "*." built, measured and drawn, with 8,000 for the growth.
#include "formula/ExprParser.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int kRounds = 2000;
constexpr int kFactors = 16000;

// The text the results window writes for a drive formula of three terms.
const QString kDriveText = QStringLiteral(
    "Pow(Ind(h,7), String(+!)) & Space(7) & Pow(Ind(k,6), String(0)) & Space(7) & Pow(Ind(hy,6), String(±!!))");

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

// Microseconds per round, the best of three batches (the machine is shared).
template <typename F> double timeRounds(F&& f) {
    QImage image(649, 257, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    for (int i = 0; i < 50; ++i) // warm the glyph caches
        f(painter);
    double best = 1e300;
    for (int batch = 0; batch < 3; ++batch) {
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < kRounds; ++i)
            f(painter);
        best = std::min(best, timer.nsecsElapsed() / 1e3 / kRounds);
    }
    return best;
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
    QElapsedTimer timer;
    timer.start();
    drawText(painter, text);
    return timer.nsecsElapsed() / 1e9;
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
    const double plain = timeRounds(drawPlainText);
    const double formula = timeRounds(drawFormulaLine);
    std::printf("plain text glyphs:            %8.1f us per line\n", plain);
    std::printf("formula parse+layout+draw:    %8.1f us per line\n", formula);
    std::printf("ratio formula_line %.2f aim 1.5\n", formula / plain);
    return 0;
}
