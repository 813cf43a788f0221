// Pictures drawn by the formula engine for comparing its drawing pixel by pixel with stored pictures: the
// results window's lines, the gallery's formula texts and operators, several sizes, a colour, a moved
// painter, and every printable character as a node of its own.
#pragma once

#include "formula/ExprNodes.h"
#include "formula/ExprParser.h"

#include <QImage>
#include <QPainter>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

namespace PixelScenes {

struct TScene {
    QString name;
    QImage image;
};

// The drive formula of three terms and the latency proportion as the results window writes them.
inline QString driveText() {
    return QStringLiteral("Pow(Ind(h,7), String(+!)) & Space(7) & Pow(Ind(k,6), String(0)) & Space(7) & "
                          "Pow(Ind(hy,6), String(±!!))");
}

inline QString latencyText() {
    return QStringLiteral("String(Sch k-)/3 & Space(10) & String(S h+)/2 & Space(10) & String(P e±)/1 & "
                          "Space(10) & String(C m0)/0");
}

// The formula texts of the gallery, one construct of the language after another.
inline QStringList galleryTexts() {
    return {
        QStringLiteral("Pow(Ind(h,7), String(+!)) & Space(7) & Pow(Ind(k,6), String(0))"),
        QStringLiteral("String(Sch k-)/3 & Space(10) & String(S h+)/2"),
        QStringLiteral("(a+b)/(c+d) & Space(10) & !(a+b)/c & Space(10) & a/b*c"),
        QStringLiteral("(a*b)*c & Space(10) & (a+b)*c & Space(10) & 2*x*3 & Space(10) & a*-b"),
        QStringLiteral("sin(x) & Space(10) & sin(x+y) & Space(10) & f(x) & Space(10) & sin!(x)"),
        QStringLiteral("x^2^3 & Space(10) & a^b_c & Space(10) & a_b^c & Space(10) & Ind(Pow(h,2),7)"),
        QStringLiteral(
            "x12 & Space(10) & f1(x) & Space(10) & alpha+Alpha+omega & Space(10) & n!^2 & Space(10) & f``"),
        QStringLiteral("sqrt(x+1) & Space(10) & root(3, a/b) & Space(10) & sqr(a+b) & Space(10) & log(2, x)"),
        QStringLiteral("lim(n->inf, (1+1/n)^n) & Space(10) & abs(x)<=1 & Space(10) & a+-b-+c"),
        QStringLiteral(
            "diffr(x, 2) & Space(10) & pdiffrf(f, x) & Space(10) & diff(x) & Space(10) & at(f, x=0)"),
        QStringLiteral("vect(a) & Space(5) & cap(x) & Space(5) & tilde(y) & Space(5) & line(z) & Space(5) & "
                       "points(t, 2) & Space(5) & strokes(f, 2)"),
        QStringLiteral("summa(a_i, i=1, n) & Space(10) & prod(x) & Space(10) & int(f(x)**diff(x), a, b) & "
                       "Space(10) & intm(0, f)"),
        QStringLiteral("system(x+y=1, x-y=0) & Space(10) & case(1, x>0, 0, x<=0) & Space(10) & "
                       "matrix(2, 2, a, b, c, d)"),
        QStringLiteral("brackets([), 0 & comma(2) & 1) & Space(10) & {a, b} & Space(10) & [x] & Space(10) & "
                       "num(0.000123) & Space(10) & #1.5E-20"),
        QStringLiteral("nabla & Space(5) & plambda & Space(5) & plank & Space(5) & asterix & Space(5) & "
                       "a<<b>>c & Space(5) & a<~b>~c=~d & Space(5) & a~~b==c<>d & Space(5) & x*.y*+z/+w//v"),
        QStringLiteral("String(Формула побуждений: ) & Space(5) & Ёж*жук & Space(5) & Parallel & Space(5) & "
                       "Perpendicular & Space(5) & Angle & Space(5) & a & ... & b"),
    };
}

// Draws the text as the results window does (a blank italic name, then the tree, in a row) at the font
// height in pixels with its top-left corner at (x, y); answers the height.
inline int drawLine(QPainter& painter, const QString& text, int x, int y, int pixels, quint32 colour = 0) {
    auto blank = std::make_unique<TExprVar>(QStringLiteral(" "));
    blank->AddNext(TExprBuilder().BuildExpr(text));
    TExprChain line(std::move(blank));
    if (colour)
        line.SetColor(colour);
    line.SetCanvas(&painter);
    line.SetFontHeight(pixels);
    line.Draw(x, y, 0, 0);
    return line.Height();
}

// The results window's picture: its size, background and clipping, the titles and the lines at 14 points.
inline QImage resultsPicture() {
    QImage picture(649, 257, QImage::Format_RGB32);
    picture.fill(QColor(255, 255, 225));
    QPainter painter(&picture);
    painter.setClipRect(picture.rect());
    int y = 5;
    y += drawLine(painter, QStringLiteral("String(Формула побуждений: )"), 5, y, 19) + 5;
    y += drawLine(painter, driveText(), 5, y, 19) + 10;
    y += drawLine(painter, QStringLiteral("String(Пропорция латентности: )"), 5, y, 19) + 3;
    drawLine(painter, latencyText(), 5, y, 19);
    return picture;
}

// The gallery texts one below the other, with a label font and a grey pen left on the painter before
// each formula, as the gallery leaves them.
inline QImage galleryPicture() {
    const QStringList texts = galleryTexts();
    QImage image(1400, 20 + 80 * int(texts.size()), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QFont label(QStringLiteral("Liberation Sans"));
    label.setPixelSize(12);
    int y = 10;
    for (const QString& text : texts) {
        painter.setFont(label);
        painter.setPen(QPen(Qt::darkGray, 3));
        y += drawLine(painter, text, 10, y, 19) + 14;
    }
    return image.copy(0, 0, image.width(), std::min(image.height(), y + 10));
}

// The gallery's large operators at the heights they are meant for, small and large symbols both.
inline QImage operatorsPicture() {
    const QStringList texts = {QStringLiteral("int(f)"),       QStringLiteral("intm(2, f)"),
                               QStringLiteral("intm(0, f)"),   QStringLiteral("circ(f)"),
                               QStringLiteral("int(f, a, b)"), QStringLiteral("circ(a/b)"),
                               QStringLiteral("summa(x, i)"),  QStringLiteral("prod(x, i, n)")};
    QImage image(1400, 760, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    int y = 8;
    for (int pixels : {10, 20, 40, 80}) {
        int x = 8;
        int rowHeight = 0;
        for (const QString& text : texts) {
            TExprChain chain(TExprBuilder().BuildExpr(text));
            chain.SetCanvas(&painter);
            chain.SetFontHeight(pixels);
            chain.Draw(x, y, 0, 0);
            x += chain.Width() + 20;
            rowHeight = std::max(rowHeight, chain.Height());
        }
        y += rowHeight + 12;
    }
    return image.copy(0, 0, image.width(), std::min(image.height(), y));
}

// The drive line at several font heights, in a colour, and on a painter moved by a translation.
inline QImage sizesPicture() {
    QImage image(900, 330, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    int y = 4;
    for (int pixels : {10, 13, 27, 40})
        y += drawLine(painter, driveText(), 4, y, pixels) + 6;
    y += drawLine(painter, driveText(), 4, y, 19, 0x1E6496) + 6;
    painter.translate(7, 3);
    drawLine(painter, driveText() + QStringLiteral(" & Space(7) & ") + latencyText(), 4, y, 19);
    return image;
}

// Every printable character of the first 256 codes and a set of others as nodes of their own, upright
// text, italic names and symbols, at two sizes.
inline QImage charactersPicture() {
    QString chars;
    for (char16_t c = 33; c < 127; ++c)
        chars += QChar(c);
    for (char16_t c = 0xA1; c <= 0xFF; ++c)
        chars += QChar(c);
    chars += QStringLiteral("ΑΒΓΔΩαβγδεθλπωЁЖЯабвжёя−…→∂∞≈≠≡≤≥ħ");
    QImage image(1400, 520, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    int y = 4;
    for (int pixels : {19, 13}) {
        for (int kind = 0; kind < 3; ++kind) {
            int x = 4;
            int rowHeight = 0;
            for (const QChar ch : chars) {
                TExprPtr node;
                if (kind == 0)
                    node = std::make_unique<TExprSimple>(QString(ch));
                else if (kind == 1)
                    node = std::make_unique<TExprVar>(QString(ch));
                else
                    node = std::make_unique<TExprExtSymbol>(ch.unicode());
                TExprChain chain(std::move(node));
                chain.SetCanvas(&painter);
                chain.SetFontHeight(pixels);
                if (x + chain.Width() > image.width() - 4) {
                    x = 4;
                    y += rowHeight + 2;
                    rowHeight = 0;
                }
                chain.Draw(x, y, 0, 0);
                x += chain.Width() + 3;
                rowHeight = std::max(rowHeight, chain.Height());
            }
            y += rowHeight + 6;
        }
    }
    return image.copy(0, 0, image.width(), std::min(image.height(), y));
}

inline std::vector<TScene> allScenes() {
    std::vector<TScene> scenes;
    scenes.push_back({QStringLiteral("results"), resultsPicture()});
    scenes.push_back({QStringLiteral("gallery"), galleryPicture()});
    scenes.push_back({QStringLiteral("operators"), operatorsPicture()});
    scenes.push_back({QStringLiteral("sizes"), sizesPicture()});
    scenes.push_back({QStringLiteral("characters"), charactersPicture()});
    return scenes;
}

} // namespace PixelScenes
