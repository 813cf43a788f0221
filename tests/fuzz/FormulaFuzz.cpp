// One fuzzing step of the formula engine: build, then measure and draw on a QImage.
#include "FormulaFuzz.h"

#include "formula/ExprParser.h"
#include "platform/Cp1251.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QStringDecoder>

#include <memory>

namespace FormulaFuzz {

void init() {
    if (QGuiApplication::instance())
        return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "formula-fuzz";
    static char* argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
}

QString textOf(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return Cp1251::decode(bytes);
}

bool layOut(const QString& text) {
    TExprPtr tree;
    try {
        tree = TExprBuilder().BuildExpr(text);
    } catch (const EIncorrectExpr&) {
        return false;
    }
    QImage image(320, 160, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    auto first = std::make_unique<TExprVar>(QStringLiteral(" "));
    first->AddNext(std::move(tree));
    TExprChain line(std::move(first));
    line.SetCanvas(&painter);
    line.SetFontSize(14);
    line.Draw(5, 5, 0, 0);
    // Centred on the middle line as well, which reads every cached size once more.
    line.Draw(160, 80, 1, 1);
    line.SetCanvas(nullptr);
    return true;
}

} // namespace FormulaFuzz
