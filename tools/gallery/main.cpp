// Draws one sample of every formula node class, at a text size and a display size, and the two formula
// lines of the results window, into a PNG for looking at the typography.
#include "formula/ExprNodes.h"
#include "formula/ExprParser.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QLocale>
#include <QPainter>

#include <functional>
#include <iostream>
#include <vector>

namespace {

template <typename T, typename... A> TExprPtr make(A&&... args) {
    return std::make_unique<T>(std::forward<A>(args)...);
}

// A chain of the given nodes, one after another.
TExprPtr row(std::vector<TExprPtr> nodes) {
    TExprPtr first;
    for (auto& n : nodes) {
        if (!first)
            first = std::move(n);
        else
            first->AddNext(std::move(n));
    }
    return first;
}

TExprPtr var(const QString& s) { return make<TExprVar>(s); }
TExprPtr num(double v) { return make<TExprNumber>(v, false); }
TExprPtr sign(int code) { return make<TExprSign>(quint16(code)); }
TExprPtr text(const QString& s) { return make<TExprSimple>(s); }

TExprPtr sum(const QString& a, const QString& b) {
    return make<TExprChain>(row([&] {
        std::vector<TExprPtr> v;
        v.push_back(var(a));
        v.push_back(sign(43));
        v.push_back(var(b));
        return v;
    }()));
}

// The items of a + b as the builder puts them into a bracketed row (no chain of their own).
TExprPtr items(const QString& a, const QString& b) {
    std::vector<TExprPtr> v;
    v.push_back(var(a));
    v.push_back(sign(43));
    v.push_back(var(b));
    return row(std::move(v));
}

// "h" with index 7 and superscript "+!": one term of the drive formula.
TExprPtr driveTerm(const QString& factor, int index, const QString& reaction) {
    return make<TExprIndex>(var(factor), num(index), text(reaction));
}

TExprPtr latencyTerm(const QString& label, int value) { return make<TExprRatio>(text(label), num(value)); }

struct Sample {
    QString label;
    std::function<TExprPtr()> build;
};

std::vector<Sample> samples() {
    std::vector<Sample> s;
    auto add = [&](const QString& label, std::function<TExprPtr()> f) { s.push_back({label, std::move(f)}); };
    add(QStringLiteral("TExprSimple, TExprVar"), [] {
        return row([] {
            std::vector<TExprPtr> v;
            v.push_back(text(QStringLiteral("Формула: ")));
            v.push_back(var(QStringLiteral("f")));
            v.push_back(make<TExprSpace>(4));
            v.push_back(var(QStringLiteral("xyz")));
            v.push_back(make<TExprSpace>(4));
            v.push_back(var(QStringLiteral("A")));
            v.push_back(var(QStringLiteral("W")));
            return v;
        }());
    });
    add(QStringLiteral("TExprNumber, TExprExpNumber"), [] {
        return row([] {
            std::vector<TExprPtr> v;
            v.push_back(num(0));
            v.push_back(make<TExprSpace>(7));
            v.push_back(num(1.5));
            v.push_back(make<TExprSpace>(7));
            v.push_back(make<TExprNumber>(1.5e-20, true));
            v.push_back(make<TExprSpace>(7));
            v.push_back(make<TExprNumber>(1e5, true));
            v.push_back(make<TExprSpace>(7));
            v.push_back(make<TExprExpNumber>(0.000123456, 4, 4, 2));
            v.push_back(make<TExprSpace>(7));
            v.push_back(make<TExprExpNumber>(3.14159265, 4, 4, 2));
            return v;
        }());
    });
    add(QStringLiteral("TExprIndex"), [] {
        return row([] {
            std::vector<TExprPtr> v;
            v.push_back(make<TExprIndex>(var(QStringLiteral("x")), var(QStringLiteral("i")), num(2)));
            v.push_back(make<TExprSpace>(7));
            v.push_back(make<TExprIndex>(var(QStringLiteral("a")), make<TExprNumber>(12, false), nullptr));
            v.push_back(make<TExprSpace>(7));
            v.push_back(make<TExprIndex>(var(QStringLiteral("e")), nullptr, var(QStringLiteral("x"))));
            v.push_back(make<TExprSpace>(7));
            v.push_back(make<TExprIndex>(var(QStringLiteral("f")), nullptr, make<TExprStrokes>(2)));
            v.push_back(make<TExprSpace>(7));
            v.push_back(make<TExprIndex>(var(QStringLiteral("W")), var(QStringLiteral("k")),
                                         var(QStringLiteral("n"))));
            return v;
        }());
    });
    add(QStringLiteral("TExprRatio, TExprSpace, TExprEmpty"), [] {
        return row([] {
            std::vector<TExprPtr> v;
            v.push_back(make<TExprRatio>(sum("a", "b"), var(QStringLiteral("c"))));
            v.push_back(sign(61));
            v.push_back(make<TExprRatio>(num(1), make<TExprRatio>(var(QStringLiteral("x")), num(2))));
            v.push_back(make<TExprEmpty>());
            v.push_back(make<TExprSpace>(7));
            v.push_back(var(QStringLiteral("y")));
            return v;
        }());
    });
    add(QStringLiteral("TExprBracketed: ( [ { |"), [] {
        return row([] {
            std::vector<TExprPtr> v;
            for (quint8 k : {1, 2, 3, 4}) {
                v.push_back(make<TExprBracketed>(make<TExprRatio>(var(QStringLiteral("x")), num(k)), k, k));
                v.push_back(make<TExprSpace>(4));
            }
            v.push_back(make<TExprBracketed>(sum("a", "b"), 1, 1));
            v.push_back(make<TExprSpace>(4));
            v.push_back(make<TExprBracketed>(sum("a", "b"), 2, 2));
            v.push_back(make<TExprSpace>(4));
            v.push_back(make<TExprBracketed>(sum("a", "b"), 3, 3));
            v.push_back(make<TExprSpace>(4));
            v.push_back(make<TExprBracketed>(var(QStringLiteral("z")), 4, 4));
            return v;
        }());
    });
    add(QStringLiteral("TExprRound, TExprBase, TExprArgument"), [] {
        return row([] {
            std::vector<TExprPtr> v;
            v.push_back(make<TExprRound>(var(QStringLiteral("x"))));
            v.push_back(make<TExprSpace>(7));
            v.push_back(make<TExprIndex>(make<TExprBase>(items("a", "b")), nullptr, num(2)));
            v.push_back(make<TExprSpace>(7));
            v.push_back(
                make<TExprFunc>(QStringLiteral("sin"), make<TExprArgument>(var(QStringLiteral("x")))));
            v.push_back(make<TExprSpace>(7));
            v.push_back(make<TExprFunc>(QStringLiteral("sin"), make<TExprArgument>(items("x", "y"))));
            v.push_back(make<TExprSpace>(7));
            v.push_back(make<TExprFunc>(QStringLiteral("f"), make<TExprArgument>(var(QStringLiteral("x")))));
            return v;
        }());
    });
    add(QStringLiteral("ExtSymbol, Comma, Plank, Lambda, Nabla, *"), [] {
        return row([] {
            std::vector<TExprPtr> v;
            for (int c : {945, 946, 915, 952, 8734, 8706, 8230}) {
                v.push_back(make<TExprExtSymbol>(quint16(c)));
            }
            v.push_back(make<TExprComma>());
            v.push_back(make<TExprSpace>(3));
            v.push_back(make<TExprPlank>());
            v.push_back(make<TExprSpace>(3));
            v.push_back(make<TExprLambda>());
            v.push_back(make<TExprSpace>(3));
            v.push_back(make<TExprNabla>());
            v.push_back(make<TExprSpace>(3));
            v.push_back(var(QStringLiteral("a")));
            v.push_back(make<TExprAsterix>());
            return v;
        }());
    });
    add(QStringLiteral("TExprSign 1-7, 10-12, +, −, =, ·"), [] {
        return row([] {
            std::vector<TExprPtr> v;
            v.push_back(var(QStringLiteral("a")));
            for (int c : {1, 2, 3, 4, 5, 6, 7, 10, 11, 12, 43, 8722, 61, 183, 215}) {
                v.push_back(sign(c));
                v.push_back(var(QStringLiteral("b")));
            }
            return v;
        }());
    });
    add(QStringLiteral("TExprCommonFunc, TExprFunc, TExprLim"), [] {
        return row([] {
            std::vector<TExprPtr> v;
            v.push_back(make<TExprCommonFunc>(
                make<TExprIndex>(make<TExprFuncName>(QStringLiteral("log")), num(2), nullptr),
                make<TExprArgument>(var(QStringLiteral("x")))));
            v.push_back(make<TExprSpace>(7));
            v.push_back(make<TExprCommonFunc>(
                make<TExprLim>(make<TExprChain>(row([] {
                    std::vector<TExprPtr> w;
                    w.push_back(var(QStringLiteral("x")));
                    w.push_back(sign(8594));
                    w.push_back(num(0));
                    return w;
                }()))),
                make<TExprArgument>(make<TExprRatio>(
                    make<TExprFunc>(QStringLiteral("sin"), make<TExprArgument>(var(QStringLiteral("x")))),
                    var(QStringLiteral("x"))))));
            return v;
        }());
    });
    add(QStringLiteral("TExprCap: dots, arrow, hat, tilde, bar"), [] {
        return row([] {
            std::vector<TExprPtr> v;
            v.push_back(make<TExprCap>(var(QStringLiteral("x")), 0, 1));
            v.push_back(make<TExprSpace>(5));
            v.push_back(make<TExprCap>(var(QStringLiteral("y")), 0, 3));
            v.push_back(make<TExprSpace>(5));
            v.push_back(make<TExprCap>(var(QStringLiteral("F")), 1, 0));
            v.push_back(make<TExprSpace>(5));
            v.push_back(make<TExprCap>(var(QStringLiteral("f")), 1, 0));
            v.push_back(make<TExprSpace>(5));
            v.push_back(make<TExprCap>(var(QStringLiteral("a")), 2, 0));
            v.push_back(make<TExprSpace>(5));
            v.push_back(make<TExprCap>(var(QStringLiteral("A")), 2, 0));
            v.push_back(make<TExprSpace>(5));
            v.push_back(make<TExprCap>(var(QStringLiteral("n")), 3, 0));
            v.push_back(make<TExprSpace>(5));
            v.push_back(make<TExprCap>(var(QStringLiteral("x")), 4, 0));
            v.push_back(make<TExprSpace>(5));
            v.push_back(make<TExprCap>(var(QStringLiteral("AB")), 4, 0));
            return v;
        }());
    });
    add(QStringLiteral("TExprStrokes, TExprAtValue"), [] {
        return row([] {
            std::vector<TExprPtr> v;
            v.push_back(make<TExprIndex>(var(QStringLiteral("y")), nullptr, make<TExprStrokes>(1)));
            v.push_back(make<TExprSpace>(7));
            v.push_back(make<TExprIndex>(var(QStringLiteral("y")), nullptr, make<TExprStrokes>(3)));
            v.push_back(make<TExprSpace>(7));
            v.push_back(
                make<TExprAtValue>(make<TExprRatio>(var(QStringLiteral("d")), var(QStringLiteral("x"))),
                                   make<TExprChain>(row([] {
                                       std::vector<TExprPtr> w;
                                       w.push_back(var(QStringLiteral("x")));
                                       w.push_back(sign(61));
                                       w.push_back(num(0));
                                       return w;
                                   }()))));
            return v;
        }());
    });
    add(QStringLiteral("TExprStand L/C/R, TExprMatrix"), [] {
        return row([] {
            std::vector<TExprPtr> v;
            for (quint8 a : {0, 1, 2}) {
                v.push_back(make<TExprStand>(row([] {
                                                 std::vector<TExprPtr> w;
                                                 w.push_back(var(QStringLiteral("a")));
                                                 w.push_back(sum("b", "c"));
                                                 w.push_back(num(1));
                                                 return w;
                                             }()),
                                             a));
                v.push_back(make<TExprSpace>(7));
            }
            v.push_back(make<TExprBracketed>(
                make<TExprMatrix>(row([] {
                                      std::vector<TExprPtr> w;
                                      for (int i = 1; i <= 5; ++i)
                                          w.push_back(
                                              make<TExprIndex>(var(QStringLiteral("a")), num(i), nullptr));
                                      return w;
                                  }()),
                                  3, 2),
                1, 1));
            return v;
        }());
    });
    add(QStringLiteral("TExprCase, SYSTEM"), [] {
        return row([] {
            std::vector<TExprPtr> v;
            v.push_back(var(QStringLiteral("y")));
            v.push_back(sign(61));
            v.push_back(make<TExprCase>(row([] {
                std::vector<TExprPtr> w;
                w.push_back(num(1));
                w.push_back(make<TExprChain>(row([] {
                    std::vector<TExprPtr> c;
                    c.push_back(var(QStringLiteral("x")));
                    c.push_back(sign(62));
                    c.push_back(num(0));
                    return c;
                }())));
                w.push_back(make<TExprRatio>(var(QStringLiteral("x")), num(2)));
                w.push_back(text(QStringLiteral("иначе")));
                w.push_back(var(QStringLiteral("q")));
                return w;
            }())));
            v.push_back(make<TExprSpace>(10));
            v.push_back(make<TExprBracketed>(make<TExprStand>(row([] {
                                                                  std::vector<TExprPtr> w;
                                                                  w.push_back(sum("x", "y"));
                                                                  w.push_back(sum("x", "z"));
                                                                  return w;
                                                              }()),
                                                              0),
                                             3, 0));
            return v;
        }());
    });
    add(QStringLiteral("TExprRoot"), [] {
        return row([] {
            std::vector<TExprPtr> v;
            v.push_back(make<TExprRoot>(var(QStringLiteral("x")), nullptr));
            v.push_back(make<TExprSpace>(7));
            v.push_back(make<TExprRoot>(sum("a", "b"), num(3)));
            v.push_back(make<TExprSpace>(7));
            v.push_back(make<TExprRoot>(make<TExprRatio>(num(1), var(QStringLiteral("x"))),
                                        var(QStringLiteral("n"))));
            return v;
        }());
    });
    add(QStringLiteral("TExprSumma, TExprProd, TExprCirc"), [] {
        return row([] {
            std::vector<TExprPtr> v;
            v.push_back(make<TExprSumma>(
                make<TExprIndex>(var(QStringLiteral("a")), var(QStringLiteral("i")), nullptr),
                make<TExprChain>(row([] {
                    std::vector<TExprPtr> w;
                    w.push_back(var(QStringLiteral("i")));
                    w.push_back(sign(61));
                    w.push_back(num(1));
                    return w;
                }())),
                var(QStringLiteral("n"))));
            v.push_back(make<TExprSpace>(7));
            v.push_back(make<TExprProd>(var(QStringLiteral("x")), var(QStringLiteral("k")), nullptr));
            v.push_back(make<TExprSpace>(7));
            v.push_back(make<TExprCirc>(var(QStringLiteral("E")), var(QStringLiteral("L")), nullptr));
            v.push_back(make<TExprSpace>(7));
            v.push_back(make<TExprSumma>(make<TExprSumma>(make<TExprRatio>(num(1), var(QStringLiteral("ij"))),
                                                          var(QStringLiteral("j")), nullptr),
                                         var(QStringLiteral("i")), nullptr));
            return v;
        }());
    });
    add(QStringLiteral("Large operators over fractions"), [] {
        std::vector<TExprPtr> v;
        v.push_back(make<TExprSumma>(
            make<TExprRatio>(sum(QStringLiteral("a"), QStringLiteral("b")), var(QStringLiteral("k"))),
            var(QStringLiteral("k")), var(QStringLiteral("n"))));
        v.push_back(make<TExprSpace>(7));
        v.push_back(make<TExprProd>(make<TExprRatio>(num(1), sum(QStringLiteral("x"), QStringLiteral("k"))),
                                    var(QStringLiteral("k")), nullptr));
        v.push_back(make<TExprSpace>(7));
        v.push_back(make<TExprCirc>(make<TExprRatio>(var(QStringLiteral("dz")), var(QStringLiteral("z"))),
                                    var(QStringLiteral("C")), nullptr));
        v.push_back(make<TExprSpace>(7));
        v.push_back(make<TExprIntegral>(make<TExprRatio>(var(QStringLiteral("dx")), var(QStringLiteral("x"))),
                                        1, num(1), var(QStringLiteral("e"))));
        return row(std::move(v));
    });
    add(QStringLiteral("TExprIntegral 1, 2, 0"), [] {
        return row([] {
            std::vector<TExprPtr> v;
            v.push_back(make<TExprIntegral>(var(QStringLiteral("f")), 1, num(0), num(1)));
            v.push_back(make<TExprSpace>(7));
            v.push_back(make<TExprIntegral>(var(QStringLiteral("g")), 2, var(QStringLiteral("D")), nullptr));
            v.push_back(make<TExprSpace>(7));
            v.push_back(
                make<TExprIntegral>(make<TExprRatio>(var(QStringLiteral("u")), var(QStringLiteral("v"))), 0,
                                    var(QStringLiteral("V")), nullptr));
            return v;
        }());
    });
    return s;
}

// The two formula lines of the results window as they are built there: a blank italic name, then the terms.
TExprPtr driveLine() {
    std::vector<TExprPtr> v;
    v.push_back(var(QStringLiteral(" ")));
    v.push_back(driveTerm(QStringLiteral("h"), 7, "+!"));
    v.push_back(make<TExprSpace>(7));
    v.push_back(driveTerm(QStringLiteral("k"), 6, "0"));
    v.push_back(make<TExprSpace>(7));
    v.push_back(driveTerm(QStringLiteral("hy"), 6, QStringLiteral("±!!")));
    return make<TExprChain>(row(std::move(v)));
}

TExprPtr latencyLine() {
    std::vector<TExprPtr> v;
    v.push_back(var(QStringLiteral(" ")));
    v.push_back(latencyTerm(QStringLiteral("Sch k-"), 3));
    v.push_back(make<TExprSpace>(10));
    v.push_back(latencyTerm(QStringLiteral("S h+"), 2));
    v.push_back(make<TExprSpace>(10));
    v.push_back(latencyTerm(QStringLiteral("P e±"), 1));
    v.push_back(make<TExprSpace>(10));
    v.push_back(latencyTerm(QStringLiteral("C m0"), 0));
    return make<TExprChain>(row(std::move(v)));
}

int drawFormula(QPainter& painter, TExprPtr tree, int x, int y, int points) {
    TExprChain chain(std::move(tree));
    chain.SetCanvas(&painter);
    chain.SetFontSize(points);
    chain.Draw(x, y, 0, 0);
    return chain.Height();
}

// Formula texts drawn through the builder, one per line at 14 pt, with the text beside it.
void drawTexts(const QString& out, const QFont& labelFont) {
    const QStringList texts = {
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
                       "num(0.000123) & "
                       "Space(10) & #1.5E-20"),
    };
    QImage image(1500, 60 + 90 * int(texts.size()), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    int y = 10;
    for (const QString& text : texts) {
        painter.setFont(labelFont);
        painter.setPen(Qt::darkGray);
        painter.drawText(QPoint(8, y + 14), text);
        y += 22;
        try {
            y += drawFormula(painter, TExprBuilder().BuildExpr(text), 30, y, 14) + 14;
        } catch (const EIncorrectExpr& e) {
            painter.drawText(QPoint(30, y + 14), e.message());
            y += 30;
        }
    }
    painter.end();
    QString textsOut = out;
    textsOut.replace(QStringLiteral(".png"), QStringLiteral("-texts.png"));
    image.copy(0, 0, image.width(), std::min(image.height(), y + 10)).save(textsOut);
}

// The integral signs at the sizes the engine is meant for, 10 to 80 pixels, each with its operator height
// and the form drawn (small below half a height of 28 pixels, large from there on); written enlarged
// three times too, pixel by pixel, to judge the small sizes.
void drawOperators(const QString& out, const QFont& labelFont) {
    const QStringList texts = {QStringLiteral("int(f)"),       QStringLiteral("intm(2, f)"),
                               QStringLiteral("intm(0, f)"),   QStringLiteral("circ(f)"),
                               QStringLiteral("int(f, a, b)"), QStringLiteral("circ(a/b)")};
    QImage image(1500, 700, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    int y = 8;
    for (int pixels : {10, 20, 40, 80}) {
        int x = 60;
        int rowHeight = 0;
        painter.setFont(labelFont);
        painter.setPen(Qt::darkGray);
        painter.drawText(QPoint(8, y + 14), QStringLiteral("%1 px").arg(pixels));
        for (const QString& text : texts) {
            TExprChain chain(TExprBuilder().BuildExpr(text));
            chain.SetCanvas(&painter);
            chain.SetFontHeight(pixels);
            chain.Draw(x, y + 18, 0, 0);
            auto* op = dynamic_cast<TExprGroupOp*>(chain.Son());
            const int h = op ? op->OperatorHeight() : 0;
            painter.setFont(labelFont);
            painter.setPen(Qt::darkGray);
            painter.drawText(QPoint(x, y + 12),
                             QStringLiteral("h %1 %2").arg(h).arg(h / 2 >= 28 ? QStringLiteral("large")
                                                                              : QStringLiteral("small")));
            x += std::max(chain.Width(), 90) + 30;
            rowHeight = std::max(rowHeight, chain.Height() + 18);
        }
        y += rowHeight + 12;
    }
    painter.end();
    const QImage used = image.copy(0, 0, image.width(), y);
    QString opsOut = out;
    opsOut.replace(QStringLiteral(".png"), QStringLiteral("-operators.png"));
    used.save(opsOut);
    QString zoomOut = out;
    zoomOut.replace(QStringLiteral(".png"), QStringLiteral("-operators-zoom.png"));
    const QImage part = used.copy(0, 0, 900, std::min(used.height(), 240));
    part.scaled(part.width() * 3, part.height() * 3).save(zoomOut);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("formula-gallery.png");

    QImage image(1500, 2600, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    QFont labelFont(QStringLiteral("Liberation Sans"));
    labelFont.setPixelSize(12);

    int y = 10;
    for (const Sample& s : samples()) {
        painter.setFont(labelFont);
        painter.setPen(Qt::darkGray);
        painter.drawText(QPoint(8, y + 14), s.label);
        const int h1 = drawFormula(painter, s.build(), 300, y, 14);
        const int h2 = drawFormula(painter, s.build(), 780, y, 28);
        y += std::max(h1, h2) + 14;
        painter.setPen(QColor(230, 230, 230));
        painter.drawLine(0, y - 7, image.width(), y - 7);
    }
    // The results picture: 649 × 257, tooltip background, lines at x = 5.
    QImage picture(649, 257, QImage::Format_RGB32);
    picture.fill(QColor(255, 255, 225));
    {
        QPainter p(&picture);
        int py = 5;
        py += drawFormula(p, make<TExprSimple>(QStringLiteral("Формула побуждений: ")), 5, py, 14);
        py += drawFormula(p, driveLine(), 5, py + 5, 14) + 5;
        py +=
            drawFormula(p, make<TExprSimple>(QStringLiteral("Пропорция латентности: ")), 5, py + 10, 14) + 10;
        drawFormula(p, latencyLine(), 5, py + 3, 14);
    }
    painter.setFont(labelFont);
    painter.setPen(Qt::darkGray);
    painter.drawText(QPoint(8, y + 14), QStringLiteral("Results window picture (649 × 257, 14 pt)"));
    painter.drawImage(300, y, picture);
    painter.end();
    // Text-size samples of brackets, signs and accents, four times enlarged pixel by pixel.
    {
        QImage zoom(420, 330, QImage::Format_RGB32);
        zoom.fill(Qt::white);
        QPainter z(&zoom);
        const auto all = samples();
        int zy = 4;
        for (int i : {4, 7, 9}) {
            zy += drawFormula(z, all[size_t(i)].build(), 4, zy, 14) + 6;
        }
        // The smallest size the engine is meant for: 10 pixels.
        for (int i : {4, 11, 12, 13, 14, 16}) {
            TExprChain chain(all[size_t(i)].build());
            chain.SetCanvas(&z);
            chain.SetFontHeight(10);
            chain.Draw(4, zy, 0, 0);
            zy += chain.Height() + 4;
        }
        z.end();
        QString zoomOut = out;
        zoomOut.replace(QStringLiteral(".png"), QStringLiteral("-zoom.png"));
        zoom.scaled(zoom.width() * 4, zoom.height() * 4).save(zoomOut);
    }
    QString pictureOut = out;
    pictureOut.replace(QStringLiteral(".png"), QStringLiteral("-results.png"));
    picture.save(pictureOut);
    drawTexts(out, labelFont);
    drawOperators(out, labelFont);
    image.copy(0, 0, image.width(), std::min(image.height(), y + 270)).save(out);
    std::cout << out.toStdString() << "\n";
    return 0;
}
