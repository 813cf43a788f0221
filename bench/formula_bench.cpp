// Time to build, measure and draw the drive-formula line of the results window (three indexed terms with
// superscripts) against drawing the same glyphs as plain text, both on a QImage in the same run.
#include "formula/ExprNodes.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdio>
#include <memory>

namespace {

constexpr int kRounds = 2000;

struct Term {
    const char* factor;
    int index;
    const char* reaction;
};
constexpr Term kTerms[] = {{"h", 7, "+!"}, {"k", 6, "0"}, {"hy", 6, "\u00b1!!"}};

void drawFormulaLine(QPainter& painter) {
    // As the results window does it: a blank italic name, the terms after it, then a row over them.
    TExprPtr first = std::make_unique<TExprVar>(QStringLiteral(" "));
    bool spaced = false;
    for (const Term& t : kTerms) {
        if (spaced)
            first->AddNext(std::make_unique<TExprSpace>(7));
        spaced = true;
        first->AddNext(
            std::make_unique<TExprIndex>(std::make_unique<TExprVar>(QString::fromUtf8(t.factor)),
                                         std::make_unique<TExprNumber>(t.index, false),
                                         std::make_unique<TExprSimple>(QString::fromUtf8(t.reaction))));
    }
    auto chain = std::make_unique<TExprChain>(std::move(first));
    chain->SetCanvas(&painter);
    chain->SetFontSize(14);
    chain->Draw(5, 30, 0, 0);
    (void)chain->Height();
}

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

template <typename F> double timeRounds(F&& f) {
    QImage image(649, 257, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    for (int i = 0; i < 50; ++i) // warm the glyph caches
        f(painter);
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kRounds; ++i)
        f(painter);
    return timer.nsecsElapsed() / 1e3 / kRounds;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const double plain = timeRounds(drawPlainText);
    const double formula = timeRounds(drawFormulaLine);
    std::printf("plain text glyphs:            %8.1f us per line\n", plain);
    std::printf("formula build+measure+draw:   %8.1f us per line\n", formula);
    std::printf("ratio formula / plain:        %8.2f x\n", formula / plain);
    return 0;
}
