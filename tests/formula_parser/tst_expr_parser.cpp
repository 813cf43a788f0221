// The formula builder: the trees it makes for every construct and function of the language, its error
// messages with their positions, the nesting limit, and a tree laid out on an image.
#include "formula/ExprParser.h"

#include "TreeText.h"

#include <QImage>
#include <QPainter>
#include <QTest>

#include <cmath>

class TestExprParser : public QObject {
    Q_OBJECT

private slots:
    void trees_data();
    void trees();
    void functionTable_data();
    void functionTable();
    void options();
    void errors_data();
    void errors();
    void nestingLimit_data();
    void nestingLimit();
    void foldOperators_data();
    void foldOperators();
    void errorIsStdException();
    void subscriptWithoutPostfix_data();
    void subscriptWithoutPostfix();
    void fractionKeepsShownBrackets_data();
    void fractionKeepsShownBrackets();
    void tooLargeRefused_data();
    void tooLargeRefused();
    void longProductsBuilt_data();
    void longProductsBuilt();
    void layoutOnImage();
};

namespace {

QString build(const QString& text, TExprBuilder&& builder = TExprBuilder()) {
    TExprPtr tree = builder.BuildExpr(text);
    return TreeText::chain(tree.get());
}

void addRows(const QList<std::pair<const char*, const char*>>& rows) {
    for (const auto& [text, tree] : rows)
        QTest::newRow(text) << QString::fromUtf8(text) << QString::fromUtf8(tree);
}

} // namespace

void TestExprParser::trees_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("tree");
    addRows({
        // The texts the results window writes.
        {"String(Формула побуждений: )", "Simple(Формула побуждений: )"},
        {"Pow(Ind(h,7), String(+!)) & Space(7) & Pow(Ind(k,6), String(0))",
         "Chain[Index(Var(h);Number(7);Simple(+!)) Space(7) Index(Var(k);Number(6);Simple(0))]"},
        {"String(Sch k-)/3 & Space(10) & String(S h+)/2",
         "Chain[Ratio(Simple(Sch k-);Number(3)) Space(10) Ratio(Simple(S h+);Number(2))]"},
        {"Pow(Ind(hy,3), String(±!!))", "Index(Var(hy);Number(3);Simple(±!!))"},
        {"h & s & e & hy & k & p & d & m", "Chain[Var(h) Var(s) Var(e) Var(hy) Var(k) Var(p) Var(d) Var(m)]"},
        // Scripts.
        {"Ind(Pow(h,2),7)", "Index(Bracketed(1,1)[Index(Var(h);-;Number(2))];Number(7);-)"},
        {"x^2^3", "Index(Var(x);-;Index(Number(2);-;Number(3)))"},
        {"a^b_c", "Index(Var(a);-;Index(Var(b);Var(c);-))"},
        {"a_b^c", "Index(Var(a);Var(b);Var(c))"},
        {"x^(a+b)", "Index(Var(x);-;Arg(0,0)[Var(a) Sign(43) Var(b)])"},
        {"(a+b)^2", "Index(Bracketed(1,1)[Var(a) Sign(43) Var(b)];-;Number(2))"},
        {"(a*b)^2", "Index(Bracketed(1,1)[Var(a) Var(b)];-;Number(2))"},
        {"x^-1", "Index(Var(x);-;Chain[Sign(8722) Number(1)])"},
        {"sin(x)^2", "Func(Index(FuncName(sin);-;Number(2));Arg[Var(x)])"},
        {"f``", "Index(Var(f);-;Strokes(2))"},
        {"f`_1", "Index(Var(f);Number(1);Strokes(1))"},
        {"x_1_2", "Index(Index(Var(x);Number(1);-);Number(2);-)"},
        {"n!", "Chain[Var(n) Simple(!)]"},
        {"(a+b)!", "Chain[Bracketed(1,1)[Var(a) Sign(43) Var(b)] Simple(!)]"},
        {"n!^2", "Index(Bracketed(1,1)[Var(n) Simple(!)];-;Number(2))"},
        // Fractions.
        {"(a+b)/(c+d)", "Ratio(Arg(0,0)[Var(a) Sign(43) Var(b)];Arg(0,0)[Var(c) Sign(43) Var(d)])"},
        {"!(a+b)/c", "Ratio(Round[Var(a) Sign(43) Var(b)];Var(c))"},
        {"a/b*c", "Ratio(Chain[Var(a) Var(c)];Var(b))"},
        {"a/b/c", "Ratio(Var(a);Chain[Var(b) Var(c)])"},
        {"a+b/2", "Chain[Var(a) Sign(43) Ratio(Var(b);Number(2))]"},
        // Products.
        {"(a*b)*c", "Chain[Arg[Var(a) Var(b)] Var(c)]"},
        {"(a+b)*c", "Chain[Arg[Var(a) Sign(43) Var(b)] Var(c)]"},
        {"2*x*3", "Chain[Number(6) Var(x)]"},
        {"x*2", "Chain[Number(2) Var(x)]"},
        {"x*y", "Chain[Var(x) Var(y)]"},
        {"2*3", "Number(6)"},
        {"x*(a+b)", "Chain[Var(x) Arg[Var(a) Sign(43) Var(b)]]"},
        {"a*-b", "Chain[Sign(8722) Var(b) Var(a)]"},
        {"-a*b", "Chain[Sign(8722) Var(a) Var(b)]"},
        {"2*-3", "Chain[Sign(8722) Number(6)]"},
        {"a*2*-b", "Chain[Number(2) Var(a) Sign(183) Sign(8722) Var(b)]"},
        {"x*f(y)", "Chain[Var(x) Func(Var(f);Arg[Var(y)])]"},
        {"a/+b", "Chain[Var(a) Sign(247) Var(b)]"},
        {"a*+b", "Chain[Var(a) Sign(215) Var(b)]"},
        {"a//b", "Chain[Var(a) Sign(47) Var(b)]"},
        {"a*.b", "Chain[Var(a) Sign(183) Var(b)]"},
        {"2**3", "Chain[Number(2) Number(3)]"},
        // Function application.
        {"sin(x)", "Func(FuncName(sin);Arg[Var(x)])"},
        {"sin(x+y)", "Func(FuncName(sin);Arg[Var(x) Sign(43) Var(y)])"},
        {"f(x)", "Func(Var(f);Arg[Var(x)])"},
        {"sin!(x)", "Func(FuncName(sin);Arg![Var(x)])"},
        {"f(x, y)", "Func(Var(f);Arg[Var(x) Comma Space(7) Var(y)])"},
        {"f1(x)", "Func(Index(Var(f);Number(1);-);Arg[Var(x)])"},
        {"log2(x)", "Func(Index(FuncName(log);Number(2);-);Arg[Var(x)])"},
        {"alpha(x)", "CommonFunc(ExtSymbol(945);Arg[Var(x)])"},
        {"Phi2(x)", "CommonFunc(Index(ExtSymbol(934);Number(2);-);Arg[Var(x)])"},
        {"plambda(x)", "CommonFunc(Lambda;Arg[Var(x)])"},
        {"nabla(x)", "CommonFunc(Nabla;Arg[Var(x)])"},
        {"ф(x)", "Func(Var(ф);Arg[Var(x)])"},
        // Names.
        {"x12", "Index(Var(x);Number(12);-)"},
        {"alpha", "ExtSymbol(945)"},
        {"Alpha", "ExtSymbol(913)"},
        {"ALPHA", "ExtSymbol(913)"},
        {"rho", "ExtSymbol(961)"},
        {"Sigma", "ExtSymbol(931)"},
        {"omega", "ExtSymbol(969)"},
        {"aLPHA", "ExtSymbol(945)"},
        {"PLAMBDA", "Lambda"},
        {"Nabla", "Nabla"},
        {"inf", "ExtSymbol(8734)"},
        {"Plank", "Plank"},
        {"nil", "Nil"},
        {"comma", "Comma"},
        {"Const", "Chain[Simple(Const) Space(3)]"},
        {"asterix", "Asterix"},
        {"minus", "ExtSymbol(8722)"},
        {"parallel", "Sign(10)"},
        {"perpendicular", "Sign(11)"},
        {"angle", "Sign(12)"},
        {"empty", "Empty"},
        {"hy", "Var(hy)"},
        {"Дом", "Simple(Дом)"},
        {"ёж2", "Index(Simple(ёж);Number(2);-)"},
        {"Ёлка", "Simple(Ёлка)"},
        {"xЯ", "Var(xЯ)"},
        // Numbers.
        {"3.14", "Number(3.14)"},
        {"2e5", "Number(200000)"},
        {"2.5E-3", "Number(0.0025)"},
        {"#1.5E-20", "Number(1.5e-20,exp)"},
        {"#7", "Number(7,exp)"},
        {"1.x", "Number(1)"},
        {"2e", "Number(2)"},
        {"1e-999", "Number(0)"},
        // Signs, relations, groups.
        {"-a", "Chain[Sign(8722) Var(a)]"},
        {"+-a", "Chain[Sign(5) Var(a)]"},
        {"a+b", "Chain[Var(a) Sign(43) Var(b)]"},
        {"a-b", "Chain[Var(a) Sign(8722) Var(b)]"},
        {"a+-b", "Chain[Var(a) Sign(5) Var(b)]"},
        {"a-+b", "Chain[Var(a) Sign(6) Var(b)]"},
        {"a--b", "Chain[Var(a) Sign(8722) Sign(8722) Var(b)]"},
        {"a<>b", "Chain[Var(a) Sign(8800) Var(b)]"},
        {"a>=b", "Chain[Var(a) Sign(8805) Var(b)]"},
        {"a<=b", "Chain[Var(a) Sign(8804) Var(b)]"},
        {"a>>b", "Chain[Var(a) Sign(2) Var(b)]"},
        {"a<<b", "Chain[Var(a) Sign(1) Var(b)]"},
        {"a->b", "Chain[Var(a) Sign(8594) Var(b)]"},
        {"a~~b", "Chain[Var(a) Sign(8776) Var(b)]"},
        {"a==b", "Chain[Var(a) Sign(8801) Var(b)]"},
        {"a>~b", "Chain[Var(a) Sign(4) Var(b)]"},
        {"a<~b", "Chain[Var(a) Sign(3) Var(b)]"},
        {"a=~b", "Chain[Var(a) Sign(7) Var(b)]"},
        {"a<b", "Chain[Var(a) Sign(60) Var(b)]"},
        {"a=b", "Chain[Var(a) Sign(61) Var(b)]"},
        {"a>b", "Chain[Var(a) Sign(62) Var(b)]"},
        {"a~b", "Chain[Var(a) Sign(126) Var(b)]"},
        {"a...b", "Var(a)"},
        {"...", "ExtSymbol(8230)"},
        {"(a)", "Var(a)"},
        {"!(a)", "Round[Var(a)]"},
        {"!(a, b)", "Round[Var(a) Comma Space(7) Var(b)]"},
        {"[a]", "Bracketed(2,2)[Var(a)]"},
        {"{a,b}", "Bracketed(3,3)[Var(a) Comma Space(7) Var(b)]"},
        {"|a|", "Bracketed(4,4)[Var(a)]"},
        {"_a", "Cap(1,0;Var(a))"},
        {"_-a", "Cap(1,0;Chain[Sign(8722) Var(a)])"},
        {"a, b", "Chain[Var(a) Comma Space(7) Var(b)]"},
        {"a,b & c", "Chain[Var(a) Comma Space(7) Var(b) Var(c)]"},
        // The end of the top-level list.
        {"a b", "Var(a)"},
        {"a)b", "Var(a)"},
        {"2x", "Number(2)"},
        // Texts.
        {"String(a, b)", "Simple(a, b)"},
        {"String()", "Simple()"},
        {"String(\"a)b\"\"c\")", "Simple(a)b\"c)"},
        {"String(\"\")", "Simple()"},
        {"String(a<=b & c)", "Simple(a<=b & c)"},
        {"Space(7)", "Space(7)"},
        {"Space()", "Space(0)"},
        {"Space(-3)", "Space(-3)"},
        {"Space(+2)", "Space(2)"},
        {"Space(99999999999999999999)", "Space(1000)"},
    });
    QTest::newRow("many primes") << QStringLiteral("f") + QString(1500, u'`')
                                 << QStringLiteral("Index(Var(f);-;Strokes(1000))");
}

void TestExprParser::trees() {
    QFETCH(QString, text);
    QFETCH(QString, tree);
    QCOMPARE(build(text), tree);
}

void TestExprParser::functionTable_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("tree");
    addRows({
        {"sqrt(x)", "Root(Var(x);-)"},
        {"sqrt(a+b)", "Root(Chain[Var(a) Sign(43) Var(b)];-)"},
        {"sqr(x)", "Index(Var(x);-;Number(2))"},
        {"sqr(a+b)", "Index(Base[Var(a) Sign(43) Var(b)];-;Number(2))"},
        {"sqr(a/b)", "Index(Bracketed(1,1)[Ratio(Var(a);Var(b))];-;Number(2))"},
        {"log(2, x)", "CommonFunc(Index(FuncName(log);Number(2);-);Var(x))"},
        {"log(2, x+1)", "CommonFunc(Index(FuncName(log);Number(2);-);Arg[Var(x) Sign(43) Number(1)])"},
        {"log!(2, x)", "CommonFunc(Index(FuncName(log);Number(2);-);Round[Var(x)])"},
        {"abs(x)", "Bracketed(4,4)[Var(x)]"},
        {"pow(x, y)", "Index(Var(x);-;Var(y))"},
        {"pow(f(x), 2)", "Func(Index(Var(f);-;Number(2));Arg[Var(x)])"},
        {"root(3, x)", "Root(Var(x);Number(3))"},
        {"ind(x, i)", "Index(Var(x);Var(i);-)"},
        {"lim(n->inf, a)", "CommonFunc(Lim(Chain[Var(n) Sign(8594) ExtSymbol(8734)]);Var(a))"},
        {"lim!(n, a)", "CommonFunc(Lim(Round[Var(n)]);Var(a))"},
        {"func(f, x, y)", "CommonFunc(Var(f);Arg[Var(x) Comma Var(y)])"},
        {"func!(F, x)", "CommonFunc(Var(F);Arg![Var(x)])"},
        {"space(4)", "Space(4)"},
        {"diff(x)", "Chain[Space(4) Var(d) Var(x)]"},
        {"diff(x, 2)", "Chain[Space(4) Var(d) Index(Var(x);-;Number(2))]"},
        {"pdiff(x)", "Chain[Space(4) ExtSymbol(8706) Var(x)]"},
        {"diffn(x, 2)", "Chain[Space(4) Index(Var(d);-;Number(2)) Var(x)]"},
        {"pdiffn(x)", "Chain[Space(4) ExtSymbol(8706) Var(x)]"},
        {"diffr(x, 2)", "Ratio(Index(Var(d);-;Number(2));Chain[Var(d) Index(Var(x);-;Number(2))])"},
        {"pdiffr(x)", "Ratio(ExtSymbol(8706);Chain[ExtSymbol(8706) Var(x)])"},
        {"diffrf(f, x, n)",
         "Ratio(Chain[Index(Var(d);-;Var(n)) Var(f)];Chain[Var(d) Index(Var(x);-;Var(n))])"},
        {"pdiffrf(f, x)", "Ratio(Chain[ExtSymbol(8706) Var(f)];Chain[ExtSymbol(8706) Var(x)])"},
        {"string(x)", "Simple(x)"},
        {"strokes(f)", "Index(Var(f);-;Strokes(1))"},
        {"strokes(f, 3)", "Index(Var(f);-;Strokes(3))"},
        {"fact(n)", "Chain[Var(n) Simple(!)]"},
        {"at(f, x=0)", "AtValue(Var(f);Chain[Var(x) Sign(61) Number(0)])"},
        {"line(x)", "Cap(4,0;Var(x))"},
        {"vect(x)", "Cap(1,0;Var(x))"},
        {"vect(f(x))", "Func(Cap(1,0;Var(f));Arg[Var(x)])"},
        {"vect(x_1)", "Index(Cap(1,0;Var(x));Number(1);-)"},
        {"vect(x^2)", "Cap(1,0;Index(Var(x);-;Number(2)))"},
        {"cap(x)", "Cap(2,0;Var(x))"},
        {"tilde(x)", "Cap(3,0;Var(x))"},
        {"points(x)", "Cap(0,1;Var(x))"},
        {"points(x, 3)", "Cap(0,3;Var(x))"},
        {"standl(a, b)", "Stand(0)[Var(a) Var(b)]"},
        {"standc(a)", "Stand(1)[Var(a)]"},
        {"standr(a, b+c)", "Stand(2)[Var(a) Chain[Var(b) Sign(43) Var(c)]]"},
        {"matrix(2, 2, a, b, c, d)", "Matrix(2,2)[Var(a) Var(b) Var(c) Var(d)]"},
        {"summa(x)", "Summa(Var(x);-;-)"},
        {"summa(x, i=1, n)", "Summa(Var(x);Chain[Var(i) Sign(61) Number(1)];Var(n))"},
        {"summa!(x)", "Summa(Round[Var(x)];-;-)"},
        {"prod(x, i)", "Prod(Var(x);Var(i);-)"},
        {"circ(x, L)", "Circ(Var(x);Var(L);-)"},
        {"int(f, a, b)", "Integral(1;Var(f);Var(a);Var(b))"},
        {"int!(a+b)", "Integral(1;Arg![Var(a) Sign(43) Var(b)];-;-)"},
        {"intm(2, f)", "Integral(2;Var(f);-;-)"},
        {"intm(0, f, S)", "Integral(0;Var(f);Var(S);-)"},
        {"case(1, x>0, 0)", "Case[Number(1) Chain[Var(x) Sign(62) Number(0)] Number(0)]"},
        {"comma(3)", "Chain[Comma Space(3)]"},
        {"brackets([),x)", "Bracketed(2,1)[Var(x)]"},
        {"brackets(0|, x)", "Bracketed(0,4)[Var(x)]"},
        {"brackets({}, x)", "Bracketed(3,3)[Var(x)]"},
        {"brackets(|0, x)", "Bracketed(4,0)[Var(x)]"},
        {"system(a, b)", "Bracketed(3,0)[Stand(0)[Var(a) Var(b)]]"},
        {"num(1.5)", "ExpNumber(1.5;4;4;2)"},
        {"num(-2.5e3, 3, 2, 5)", "ExpNumber(-2500;3;2;5)"},
        {"num(+7, 6)", "ExpNumber(7;6;4;2)"},
        {"symbol(8364)", "ExtSymbol(8364)"},
        {"symbol(65601)", "ExtSymbol(65)"},
        {"angle(ABC)", "Chain[Sign(12) Simple(ABC)]"},
        {"angle(\"A)\")", "Chain[Sign(12) Simple(A))]"},
    });
}

void TestExprParser::functionTable() {
    QFETCH(QString, text);
    QFETCH(QString, tree);
    QCOMPARE(build(text), tree);
}

void TestExprParser::options() {
    TExprBuilder plainNames;
    plainNames.VarDigitsAsIndex = false;
    QCOMPARE(build(QStringLiteral("x12"), std::move(plainNames)), QStringLiteral("Var(x12)"));
    TExprBuilder plainCalls;
    plainCalls.FuncDigitsAsIndex = false;
    QCOMPARE(build(QStringLiteral("f1(x) & y2"), std::move(plainCalls)),
             QStringLiteral("Chain[Func(FuncName(f1);Arg[Var(x)]) Index(Var(y);Number(2);-)]"));
}

void TestExprParser::errors_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    addRows({
        {"a+ b", "Недопустимый символ в позиции 3"},
        {"", "Недопустимый символ в позиции 1"},
        {" a", "Недопустимый символ в позиции 1"},
        {"a, ", "Недопустимый символ в позиции 4"},
        {"a<=b+ c", "Недопустимый символ в позиции 5"},
        {"f()", "Недопустимый символ в позиции 3"},
        {"a+@", "Недопустимый символ в позиции 3"},
        {"a<<=b", "Недопустимый символ в позиции 3"},
        {"#x", "Ожидается цифра в позиции 2"},
        {"#", "Ожидается цифра в позиции 2"},
        {"(a", "Ожидается \")\" в позиции 3"},
        {"!(a b)", "Ожидается \")\" в позиции 3"},
        {"f(x", "Ожидается \")\" в позиции 4"},
        {"Pow(h, 2", "Ожидается \")\" в позиции 9"},
        {"String(\"a\"b)", "Ожидается \")\" в позиции 11"},
        {"[a", "Ожидается \"]\" в позиции 3"},
        {"{a", "Ожидается \"}\" в позиции 3"},
        {"|a", "Ожидается \"|\" в позиции 3"},
        {"Pow(h 2)", "Ожидается \",\" в позиции 6"},
        {"Matrix(2 2, a)", "Ожидается \",\" в позиции 9"},
        {"String(abc", "Незавершённая строка"},
        {"String(\"abc)", "Незавершённая строка"},
        {"String(\"a\"\")", "Незавершённая строка"},
        {"Angle(abc", "Незавершённая строка"},
        {"Brackets(", "Незавершённая строка"},
        {"Brackets([", "Незавершённая строка"},
        {"Brackets(x), a)", "Ожидается знак открывающей скобки в позиции 10"},
        {"Brackets((x, a)", "Ожидается знак закрывающей скобки в позиции 11"},
        {"Num(x)", "Ожидается число в позиции 5"},
        {"Num(-)", "Ожидается число в позиции 5"},
        {"Symbol()", "Ожидается число в позиции 8"},
        {"1e999", "Ожидается число в позиции 1"},
        {"a+#2e400", "Ожидается число в позиции 4"},
    });
}

void TestExprParser::errors() {
    QFETCH(QString, text);
    QFETCH(QString, message);
    TExprBuilder builder;
    try {
        builder.BuildExpr(text);
        QFAIL("no error raised");
    } catch (const EIncorrectExpr& e) {
        QCOMPARE(e.message(), message);
    }
}

void TestExprParser::nestingLimit_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("errorPosition"); // 0: no error
    const auto nested = [](int depth) -> QString {
        return QString(depth, u'(') + u'a' + QString(depth, u')');
    };
    QTest::newRow("200 brackets") << nested(200) << 0;
    QTest::newRow("201 brackets") << nested(201) << 202;
    QString powers = QStringLiteral("x");
    for (int i = 0; i < 200; ++i)
        powers += QStringLiteral("^x");
    QTest::newRow("200 powers") << powers << 0;
    QTest::newRow("201 powers") << powers + QStringLiteral("^y") << 402;
    QString subscripts = QStringLiteral("x");
    for (int i = 0; i < 200; ++i)
        subscripts += QStringLiteral("_i");
    QTest::newRow("200 subscripts") << subscripts << 0;
    QTest::newRow("201 subscripts") << subscripts + QStringLiteral("_j") << 402;
    QTest::newRow("201 signs") << QString(201, u'-') + u'a' << 202;
    QTest::newRow("201 functions") << QStringLiteral("sqrt(").repeated(201) + u'a' + QString(201, u')')
                                   << 1006;
    QTest::newRow("nested derivative orders")
        << QStringLiteral("diffr(x,").repeated(9) + u'n' + QString(9, u')') << 73;
}

void TestExprParser::nestingLimit() {
    QFETCH(QString, text);
    QFETCH(int, errorPosition);
    TExprBuilder builder;
    try {
        TExprPtr tree = builder.BuildExpr(text);
        QCOMPARE(errorPosition, 0);
        QVERIFY(tree);
    } catch (const EIncorrectExpr& e) {
        QCOMPARE(e.message(),
                 QStringLiteral("Слишком глубокая вложенность в позиции ") + QString::number(errorPosition));
    }
}

void TestExprParser::foldOperators_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("folded");
    const auto c = [](int code) { return QString(QChar(code)); };
    QTest::newRow("join") << "a & b"
                          << "a&b";
    QTest::newRow("lone space and ampersand") << "a &b& c"
                                              << "a &b& c";
    QTest::newRow("forced bracket") << "f!(x)"
                                    << "f" + c(17) + "x)";
    QTest::newRow("products") << "a**b*+c*.d"
                              << "a" + c(19) + "b" + c(12) + "c" + c(18) + "d";
    QTest::newRow("signs") << "+--+->" << c(8) + c(9) + c(6);
    QTest::newRow("ellipsis") << "....." << c(13) + "..";
    QTest::newRow("division") << "/+///" << c(11) + c(16) + "/";
    QTest::newRow("less") << "<<<=<><~" << c(5) + c(3) + c(1) + c(15);
    QTest::newRow("equal") << "===~" << c(10) + c(20);
    QTest::newRow("equal tilde") << "=~" << c(20);
    QTest::newRow("greater") << ">=>>>~~~" << c(2) + c(4) + c(14) + c(7);
    QTest::newRow("last character") << "a<"
                                    << "a<";
}

void TestExprParser::foldOperators() {
    QFETCH(QString, text);
    QFETCH(QString, folded);
    QCOMPARE(TExprBuilder::FoldOperators(text), folded);
}

void TestExprParser::errorIsStdException() {
    // The default error display knows only std::exception: the message must come through what().
    try {
        TExprBuilder().BuildExpr(QStringLiteral("Pow(h 2)"));
        QFAIL("no error raised");
    } catch (const std::exception& e) {
        QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("Ожидается \",\" в позиции 6"));
    }
}

void TestExprParser::subscriptWithoutPostfix_data() {
    // The factor after "_" is read without postfix operators, and so is all of it: a power, a factorial or
    // a prime inside a bracketed subscript ends the group too early. Ind() takes such a subscript.
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("result");
    addRows({
        {"a_(b^2)", "Ожидается \")\" в позиции 5"},
        {"a_f(x^2)", "Ожидается \")\" в позиции 6"},
        {"a_(n!)", "Ожидается \")\" в позиции 5"},
        {"a_[b^2]", "Ожидается \"]\" в позиции 5"},
        {"a_(b)^2", "Index(Var(a);Var(b);Number(2))"},
        {"Ind(a, b^2)", "Index(Var(a);Index(Var(b);-;Number(2));-)"},
    });
}

void TestExprParser::subscriptWithoutPostfix() {
    QFETCH(QString, text);
    QFETCH(QString, result);
    try {
        QCOMPARE(build(text), result);
    } catch (const EIncorrectExpr& e) {
        QCOMPARE(e.message(), result);
    }
}

void TestExprParser::fractionKeepsShownBrackets_data() {
    // Only removable round brackets go from the parts of a fraction: square, bar, curly and forced round
    // brackets stay, and so do the brackets of a factorial's base (a row with "!" after them).
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("tree");
    addRows({
        {"(a+b)/(c+d)", "Ratio(Arg(0,0)[Var(a) Sign(43) Var(b)];Arg(0,0)[Var(c) Sign(43) Var(d)])"},
        {"[a+b]/c", "Ratio(Bracketed(2,2)[Var(a) Sign(43) Var(b)];Var(c))"},
        {"a/[b]", "Ratio(Var(a);Bracketed(2,2)[Var(b)])"},
        {"|a-b|/c", "Ratio(Bracketed(4,4)[Var(a) Sign(8722) Var(b)];Var(c))"},
        {"{a}/b", "Ratio(Bracketed(3,3)[Var(a)];Var(b))"},
        {"!(a+b)/c", "Ratio(Round[Var(a) Sign(43) Var(b)];Var(c))"},
        {"(a+b)!/c", "Ratio(Chain[Bracketed(1,1)[Var(a) Sign(43) Var(b)] Simple(!)];Var(c))"},
        {"c/(a+b)!", "Ratio(Var(c);Chain[Bracketed(1,1)[Var(a) Sign(43) Var(b)] Simple(!)])"},
    });
}

void TestExprParser::fractionKeepsShownBrackets() {
    QFETCH(QString, text);
    QFETCH(QString, tree);
    QCOMPARE(build(text), tree);
}

void TestExprParser::tooLargeRefused_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("refused");
    const auto matrices = [](int levels) -> QString {
        return QStringLiteral("matrix(1000,1000,").repeated(levels) + u'x' + QString(levels, u')');
    };
    QTest::newRow("one matrix of a million cells' room") << matrices(1) << false;
    QTest::newRow("two nested matrices") << matrices(2) << true;
    QTest::newRow("three nested matrices") << matrices(3) << true;
    QTest::newRow("stacked matrices")
        << QString(QStringLiteral("standl(") + QStringLiteral("matrix(1000,1000,x),").repeated(99) +
                   QStringLiteral("matrix(1000,1000,x))"))
        << true;
    // Nested operators share one height, so three thousand signs stay a long but real formula.
    QTest::newRow("nested multiple integrals")
        << QString(QStringLiteral("intm(1000,").repeated(3) + u'x' + QString(3, u')')) << false;
    QTest::newRow("wide spaces") << QString(QStringLiteral("space(1000)&").repeated(1999) + u'x') << false;
    QTest::newRow("wider spaces") << QString(QStringLiteral("space(1000)&").repeated(2001) + u'x') << true;
}

void TestExprParser::tooLargeRefused() {
    QFETCH(QString, text);
    QFETCH(bool, refused);
    try {
        TExprPtr tree = TExprBuilder().BuildExpr(text);
        QVERIFY(!refused);
        // What is accepted lays out with sizes that mean something.
        QImage image(100, 100, QImage::Format_RGB32);
        QPainter painter(&image);
        TExprChain line(std::move(tree));
        line.SetCanvas(&painter);
        line.SetFontSize(14);
        QVERIFY(line.Width() > 0 && line.Width() < TExprClass::MaxSize);
        QVERIFY(line.Height() > 0 && line.Height() < TExprClass::MaxSize);
        line.Draw(5, 5, 0, 0);
    } catch (const EIncorrectExpr& e) {
        QVERIFY(refused);
        QCOMPARE(e.message(), QStringLiteral("Слишком большая формула"));
    }
}

void TestExprParser::longProductsBuilt_data() {
    QTest::addColumn<QString>("op");
    QTest::addColumn<QString>("between");
    QTest::newRow("juxtaposed") << QStringLiteral("*") << QString();
    QTest::newRow("middle dot") << QStringLiteral("*.") << QStringLiteral("Sign(183) ");
    QTest::newRow("cross") << QStringLiteral("*+") << QStringLiteral("Sign(215) ");
    QTest::newRow("numbers first") << QStringLiteral("*2*") << QString();
}

void TestExprParser::longProductsBuilt() {
    // A long product keeps its order and every factor (its last node is tracked, not searched).
    QFETCH(QString, op);
    QFETCH(QString, between);
    const int factors = 3000;
    QString text = QStringLiteral("x");
    for (int i = 1; i < factors; ++i)
        text += op + (i % 2 ? QStringLiteral("y") : QStringLiteral("x"));
    QString tree;
    if (op == QLatin1String("*2*")) {
        // Every "2" moves to the front and the numbers multiply: 2^1499 stays finite.
        TExprPtr built = TExprBuilder().BuildExpr(text);
        auto* chain = dynamic_cast<TExprChain*>(built.get());
        QVERIFY(chain);
        auto* number = dynamic_cast<TExprNumber*>(chain->Son());
        QVERIFY(number);
        QCOMPARE(number->Value(), std::pow(2.0, factors - 1));
        int count = 0;
        for (TExprClass* n = chain->Son()->Next(); n; n = n->Next())
            ++count;
        QCOMPARE(count, factors);
        return;
    }
    for (int i = 0; i < factors; ++i)
        tree += (i ? QStringLiteral(" ") + between : QString()) +
                (i % 2 ? QStringLiteral("Var(y)") : QStringLiteral("Var(x)"));
    QCOMPARE(build(text), QStringLiteral("Chain[") + tree + u']');
}

void TestExprParser::layoutOnImage() {
    // The way the results window draws a line: a blank italic variable, then the built tree, in a row.
    QImage image(600, 200, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    const auto layout = [&painter](const QString& text) {
        auto first = std::make_unique<TExprVar>(QStringLiteral(" "));
        TExprClass* tree = nullptr;
        {
            TExprPtr built = TExprBuilder().BuildExpr(text);
            tree = built.get();
            first->AddNext(std::move(built));
        }
        auto line = std::make_unique<TExprChain>(std::move(first));
        line->SetCanvas(&painter);
        line->SetFontSize(14);
        line->Draw(5, 5, 0, 0);
        return std::make_tuple(std::move(line), tree);
    };
    {
        auto [line, tree] = layout(QStringLiteral("Space(7)"));
        QCOMPARE(tree->Width(), 7 * tree->LineX());
    }
    {
        auto [line, tree] = layout(QStringLiteral("Space()"));
        QCOMPARE(tree->Width(), 0);
    }
    {
        auto [line, tree] =
            layout(QStringLiteral("Pow(Ind(h,7), String(+!)) & Space(7) & Pow(Ind(k,6), String(0))"));
        QVERIFY(line->Height() > 0);
        QVERIFY(tree->Width() > 7 * tree->LineX());
    }
}

QTEST_MAIN(TestExprParser)
#include "tst_expr_parser.moc"
