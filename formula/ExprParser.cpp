// The formula builder: folds the multi-character operators, then parses the text by recursive descent
// (list, relation, sum, term, factor, identifier, function) into formula nodes. Every node under
// construction is held by a unique_ptr, so an error frees whatever was built before it.
#include "formula/ExprParser.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

using std::make_unique;

// One-character codes of the folded operators.
constexpr char16_t kNotEqual = 1;       // <>
constexpr char16_t kGreaterEqual = 2;   // >=
constexpr char16_t kLessEqual = 3;      // <=
constexpr char16_t kMuchGreater = 4;    // >>
constexpr char16_t kMuchLess = 5;       // <<
constexpr char16_t kArrow = 6;          // ->
constexpr char16_t kApprox = 7;         // ~~
constexpr char16_t kPlusMinus = 8;      // +-
constexpr char16_t kMinusPlus = 9;      // -+
constexpr char16_t kIdentical = 10;     // ==
constexpr char16_t kDivide = 11;        // /+
constexpr char16_t kCross = 12;         // *+
constexpr char16_t kEllipsis = 13;      // ...
constexpr char16_t kGreaterApprox = 14; // >~
constexpr char16_t kLessApprox = 15;    // <~
constexpr char16_t kSlashSign = 16;     // //
constexpr char16_t kForcedOpen = 17;    // !(
constexpr char16_t kMiddleDot = 18;     // *.
constexpr char16_t kJuxtapose = 19;     // **
constexpr char16_t kTildeOverBar = 20;  // =~

struct TFoldGroup {
    const char16_t* text;
    char16_t code;
};

constexpr TFoldGroup kFoldGroups[] = {
    {u" & ", u'&'},         {u"!(", kForcedOpen},   {u"**", kJuxtapose},   {u"*+", kCross},
    {u"*.", kMiddleDot},    {u"+-", kPlusMinus},    {u"-+", kMinusPlus},   {u"->", kArrow},
    {u"...", kEllipsis},    {u"/+", kDivide},       {u"//", kSlashSign},   {u"<<", kMuchLess},
    {u"<=", kLessEqual},    {u"<>", kNotEqual},     {u"<~", kLessApprox},  {u"==", kIdentical},
    {u"=~", kTildeOverBar}, {u">=", kGreaterEqual}, {u">>", kMuchGreater}, {u">~", kGreaterApprox},
    {u"~~", kApprox},
};

// Character codes and drawn-sign codes of the nodes the grammar creates.
constexpr quint16 kSignPlusMinus = 5;
constexpr quint16 kSignMinusPlus = 6;
constexpr quint16 kSignPlus = 43;
constexpr quint16 kSignMinus = 8722;
constexpr quint16 kSignMiddleDot = 183;
constexpr quint16 kSignParallel = 10;
constexpr quint16 kSignPerpendicular = 11;
constexpr quint16 kSignAngle = 12;
constexpr quint16 kCodeEllipsis = 8230;
constexpr quint16 kCodeInfinity = 8734;
constexpr quint16 kCodePartial = 8706;

// Stroke widths of the spaces the builder inserts.
constexpr int kSpaceAfterComma = 7;
constexpr int kSpaceAfterConst = 3;
constexpr int kSpaceBeforeDifferential = 4;

// Integer arguments (counts of strokes, dots, signs, cells, space widths) are kept within this magnitude:
// larger values only make the layout loop or overflow.
constexpr qint64 kMaxIntArgument = 1000;
// Nested derivative orders are parsed twice each; past this nesting the work would double too often.
constexpr int kMaxRepeatNesting = 8;
// Scripts piled on scripts by postfix operators may not make the tree deeper than this.
constexpr int kMaxTreeDepth = 4 * TExprBuilder::kMaxNesting;

const QString kBadCharacter = QStringLiteral("Недопустимый символ в позиции ");
const QString kDigitExpected = QStringLiteral("Ожидается цифра в позиции ");
const QString kRoundExpected = QStringLiteral("Ожидается \")\" в позиции ");
const QString kSquareExpected = QStringLiteral("Ожидается \"]\" в позиции ");
const QString kCurlyExpected = QStringLiteral("Ожидается \"}\" в позиции ");
const QString kBarExpected = QStringLiteral("Ожидается \"|\" в позиции ");
const QString kCommaExpected = QStringLiteral("Ожидается \",\" в позиции ");
const QString kUnterminated = QStringLiteral("Незавершённая строка");
const QString kOpeningExpected = QStringLiteral("Ожидается знак открывающей скобки в позиции ");
const QString kClosingExpected = QStringLiteral("Ожидается знак закрывающей скобки в позиции ");
const QString kNumberExpected = QStringLiteral("Ожидается число в позиции ");
const QString kTooDeep = QStringLiteral("Слишком глубокая вложенность в позиции ");

const char* const kGreekNames[] = {"ALPHA", "BETA",    "GAMMA",   "DELTA", "EPSILON", "ZETA",
                                   "ETA",   "THETA",   "IOTA",    "KAPPA", "LAMBDA",  "MU",
                                   "NU",    "XI",      "OMICRON", "PI",    "RHO",     "SIGMA",
                                   "TAU",   "UPSILON", "PHI",     "CHI",   "PSI",     "OMEGA"};
constexpr int kGreekCapitalAlpha = 913;
constexpr int kGreekCapitalSigma = 931;
constexpr int kGreekRhoIndex = 16;
constexpr int kGreekSmallOffset = 32;

bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }
bool isLatin(QChar c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }
// Latin letters, the Cyrillic А–я, Ё and ё.
bool isLetter(QChar c) {
    const char16_t u = c.unicode();
    return isLatin(c) || (u >= 0x410 && u <= 0x44F) || u == 0x401 || u == 0x451;
}

// Upper case for Latin letters only: the name tables are compared with this.
QString asciiUpper(const QString& name) {
    QString result = name;
    for (QChar& c : result)
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - (u'a' - u'A'));
    return result;
}

// Number of trailing digits of a name.
qsizetype trailingDigits(const QString& name) {
    qsizetype n = 0;
    while (n < name.size() && isDigit(name[name.size() - 1 - n]))
        ++n;
    return n;
}

// A chain of siblings under construction that remembers its last node, so appending stays cheap.
class TChain {
public:
    void append(TExprPtr node) {
        if (!node)
            return;
        TExprClass* newLast = node->Last();
        if (m_first)
            m_last->AddNext(std::move(node));
        else
            m_first = std::move(node);
        m_last = newLast;
    }
    TExprPtr take() {
        m_last = nullptr;
        return std::move(m_first);
    }

private:
    TExprPtr m_first;
    TExprClass* m_last = nullptr;
};

// Nodes whose slot holds one node (a script, a base, an accented node) get a row for a chain of several.
TExprPtr single(TExprPtr chain) {
    if (chain && chain->Next())
        return make_unique<TExprChain>(std::move(chain));
    return chain;
}

TExprPtr inRoundBrackets(TExprPtr row) {
    return make_unique<TExprBracketed>(std::move(row), TExprBracketed::bkRound, TExprBracketed::bkRound);
}

// "d" or ∂ of the derivative functions.
TExprPtr differential(bool partial) {
    if (partial)
        return make_unique<TExprExtSymbol>(kCodePartial);
    return make_unique<TExprVar>(QStringLiteral("d"));
}

TExprPtr chainOf(TExprPtr first, TExprPtr second) {
    first->AddNext(std::move(second));
    return first;
}

// Depth of the deepest node of a chain and its children; stops descending past limit.
int treeDepth(TExprClass* chain, int limit) {
    int depth = 0;
    for (TExprClass* node = chain; node && depth <= limit; node = node->Next()) {
        int below = 0;
        if (limit > 0) {
            if (auto* parent = dynamic_cast<TExprParent*>(node))
                below = std::max(below, treeDepth(parent->Son(), limit - 1));
            if (auto* big = dynamic_cast<TExprBigParent*>(node))
                below = std::max(below, treeDepth(big->Son2(), limit - 1));
            if (auto* twin = dynamic_cast<TExprTwinParent*>(node)) {
                below = std::max(below, treeDepth(twin->Sub(), limit - 1));
                below = std::max(below, treeDepth(twin->Sup(), limit - 1));
            }
        }
        depth = std::max(depth, 1 + below);
    }
    return depth;
}

// Counts the active parse steps of one kind and undoes the count on every way out.
class TDepthGuard {
public:
    explicit TDepthGuard(int& depth) : m_depth(depth) { ++m_depth; }
    ~TDepthGuard() { --m_depth; }
    TDepthGuard(const TDepthGuard&) = delete;
    TDepthGuard& operator=(const TDepthGuard&) = delete;

private:
    int& m_depth;
};

} // namespace

EIncorrectExpr::EIncorrectExpr(const QString& message) : std::runtime_error(message.toStdString()) {}

// ===================================================================================================
// Entry points and tables

TExprPtr TExprBuilder::BuildExpr(const QString& text) {
    m_source = text;
    Text = FoldOperators(text, &m_sourceStarts) + QLatin1Char(' ');
    Pos = 1;
    PostfixEnabled = true;
    m_factorDepth = 0;
    m_repeatDepth = 0;
    return ParseList(1, true).node;
}

QString TExprBuilder::FoldOperators(const QString& text, QList<int>* sourceStarts) {
    QString folded;
    folded.reserve(text.size());
    if (sourceStarts)
        sourceStarts->clear();
    qsizetype i = 0;
    while (i < text.size()) {
        const QStringView rest = QStringView(text).mid(i);
        qsizetype taken = 1;
        QChar code = text[i];
        for (const TFoldGroup& group : kFoldGroups) {
            const QStringView groupText(group.text);
            if (rest.startsWith(groupText)) {
                code = QChar(group.code);
                taken = groupText.size();
                break;
            }
        }
        folded += code;
        if (sourceStarts)
            sourceStarts->append(int(i));
        i += taken;
    }
    if (sourceStarts)
        sourceStarts->append(int(text.size()));
    return folded;
}

int TExprBuilder::GreekCode(const QString& name) {
    const QString upper = asciiUpper(name);
    if (upper == QLatin1String("PLAMBDA"))
        return 1;
    if (upper == QLatin1String("NABLA"))
        return 2;
    for (int i = 0; i < int(std::size(kGreekNames)); ++i) {
        if (upper != QLatin1String(kGreekNames[i]))
            continue;
        int code =
            i <= kGreekRhoIndex ? kGreekCapitalAlpha + i : kGreekCapitalSigma + (i - kGreekRhoIndex - 1);
        if (name[0] >= u'a' && name[0] <= u'z')
            code += kGreekSmallOffset;
        return code;
    }
    return 0;
}

// ===================================================================================================
// Grammar levels

TExprBuilder::TParsed TExprBuilder::ParseList(int kind, bool commasAllowed) {
    TParsed first = ParseRelation();
    const int needBrackets = first.needBrackets;
    TChain chain;
    chain.append(std::move(first.node));
    for (;;) {
        if (Cur() == u'&') {
            ++Pos;
            chain.append(ParseRelation().node);
        } else if (commasAllowed && Cur() == u',') {
            SkipComma();
            chain.append(make_unique<TExprComma>());
            chain.append(make_unique<TExprSpace>(kSpaceAfterComma));
            chain.append(ParseRelation().node);
        } else {
            break;
        }
    }
    TExprPtr row = chain.take();
    const bool several = row->Next() != nullptr;
    switch (kind) {
    case 1:
        return {several ? make_unique<TExprChain>(std::move(row)) : std::move(row)};
    case 2:
        return {make_unique<TExprRound>(std::move(row))};
    case 3:
        return {several ? make_unique<TExprArgument>(std::move(row)) : std::move(row)};
    case 4:
        if (several)
            return {make_unique<TExprBase>(std::move(row))};
        return {(needBrackets & 1) ? inRoundBrackets(std::move(row)) : std::move(row)};
    case 5:
        return {make_unique<TExprBracketed>(std::move(row), TExprBracketed::bkBar, TExprBracketed::bkBar)};
    case 6:
        return {
            make_unique<TExprBracketed>(std::move(row), TExprBracketed::bkSquare, TExprBracketed::bkSquare)};
    case 7:
        return {
            make_unique<TExprBracketed>(std::move(row), TExprBracketed::bkCurly, TExprBracketed::bkCurly)};
    default:
        return {std::move(row)};
    }
}

TExprBuilder::TParsed TExprBuilder::ParseRelation() {
    TParsed sum = ParseSum();
    int needBrackets = sum.needBrackets;
    TChain chain;
    chain.append(std::move(sum.node));
    for (;;) {
        quint16 code = 0;
        switch (Cur().unicode()) {
        case kNotEqual:
            code = 8800;
            break;
        case kGreaterEqual:
            code = 8805;
            break;
        case kLessEqual:
            code = 8804;
            break;
        case kMuchGreater:
            code = 2;
            break;
        case kMuchLess:
            code = 1;
            break;
        case kArrow:
            code = 8594;
            break;
        case kApprox:
            code = 8776;
            break;
        case kIdentical:
            code = 8801;
            break;
        case kGreaterApprox:
            code = 4;
            break;
        case kLessApprox:
            code = 3;
            break;
        case kTildeOverBar:
            code = 7;
            break;
        case u'<':
            code = 60;
            break;
        case u'=':
            code = 61;
            break;
        case u'>':
            code = 62;
            break;
        case u'~':
            code = 126;
            break;
        default:
            break;
        }
        if (!code)
            break;
        ++Pos;
        chain.append(make_unique<TExprSign>(code));
        chain.append(ParseSum().node);
        needBrackets = 1;
    }
    return {chain.take(), needBrackets};
}

TExprBuilder::TParsed TExprBuilder::ParseSum() {
    TParsed term = ParseTerm();
    int needBrackets = term.needBrackets;
    TChain chain;
    chain.append(std::move(term.node));
    for (;;) {
        quint16 code = 0;
        switch (Cur().unicode()) {
        case kPlusMinus:
            code = kSignPlusMinus;
            break;
        case kMinusPlus:
            code = kSignMinusPlus;
            break;
        case u'+':
            code = kSignPlus;
            break;
        case u'-':
            code = kSignMinus;
            break;
        default:
            break;
        }
        if (!code)
            break;
        ++Pos;
        chain.append(make_unique<TExprSign>(code));
        chain.append(ParseTerm().node);
        needBrackets = 1;
    }
    return {chain.take(), needBrackets};
}

TExprBuilder::TParsed TExprBuilder::ParseTerm() {
    TParsed first = ParseFactor();
    int needBrackets = first.needBrackets;
    TExprPtr numerator = std::move(first.node);
    TExprPtr denominator;
    bool combined = false;
    for (;;) {
        const char16_t c = Cur().unicode();
        quint16 sign = 0;
        switch (c) {
        case kDivide:
            sign = 247;
            break;
        case kCross:
            sign = 215;
            break;
        case kSlashSign:
            sign = 47;
            break;
        case kMiddleDot:
            sign = kSignMiddleDot;
            break;
        default:
            break;
        }
        if (sign) {
            ++Pos;
            numerator->Last()->AddNext(make_unique<TExprSign>(sign));
            numerator->Last()->AddNext(ParseFactor().node);
        } else if (c == kJuxtapose) {
            ++Pos;
            numerator->Last()->AddNext(ParseFactor().node);
        } else if (c == u'*') {
            ++Pos;
            MergeFactor(numerator, ParseFactor().node);
        } else if (c == u'/') {
            ++Pos;
            MergeFactor(denominator, ParseFactor().node);
        } else {
            break;
        }
        combined = true;
    }
    if (!denominator) {
        // After an operator a single node is a product of numbers, which never needs brackets.
        const int flags = !combined && !numerator->Next() ? needBrackets : 0;
        return {std::move(numerator), flags};
    }
    numerator = single(std::move(numerator));
    denominator = single(std::move(denominator));
    // Round brackets that only group a part are not drawn in a fraction: «(a+b)/(c+d)».
    for (TExprClass* part : {numerator.get(), denominator.get()}) {
        const int removable = TExprClass::RoundRemovable | TExprClass::Bracketed;
        auto* bracketed = dynamic_cast<TExprBracketed*>(part);
        if (bracketed && (part->JoinFlags() & removable) == removable)
            bracketed->SetKinds(TExprBracketed::bkNone, TExprBracketed::bkNone);
    }
    return {make_unique<TExprRatio>(std::move(numerator), std::move(denominator)), 1};
}

void TExprBuilder::MergeFactor(TExprPtr& product, TExprPtr factor) {
    if (!product) {
        product = std::move(factor);
        return;
    }
    TExprClass* productLast = product->Last();
    TExprClass* factorLast = factor->Last();
    const auto flags = [](TExprClass* node, int flag) { return (node->JoinFlags() & flag) != 0; };
    if (flags(productLast, TExprClass::TouchRight) && flags(factor.get(), TExprClass::TouchLeft)) {
        productLast->AddNext(std::move(factor));
        return;
    }
    if (flags(factorLast, TExprClass::TouchRight) && flags(product.get(), TExprClass::TouchLeft)) {
        factorLast->AddNext(std::move(product));
        product = std::move(factor);
        return;
    }
    auto* firstNumber = dynamic_cast<TExprNumber*>(product.get());
    auto* lastNumber = dynamic_cast<TExprNumber*>(factorLast);
    if (firstNumber && lastNumber) {
        lastNumber->SetNumber(lastNumber->Value() * firstNumber->Value());
        factorLast->AddNext(product->CutOffNext());
        product = std::move(factor);
        return;
    }
    if (flags(factor.get(), TExprClass::TouchLeft) && flags(factorLast, TExprClass::TouchRight)) {
        for (TExprClass* node = product.get(); node->Next(); node = node->Next()) {
            if (flags(node, TExprClass::TouchRight) && flags(node->Next(), TExprClass::TouchLeft)) {
                factorLast->AddNext(node->CutOffNext());
                node->AddNext(std::move(factor));
                return;
            }
        }
    }
    productLast->AddNext(make_unique<TExprSign>(kSignMiddleDot));
    productLast->Last()->AddNext(std::move(factor));
}

TExprBuilder::TParsed TExprBuilder::ParseFactor() {
    const int start = Pos;
    const int nesting = m_factorDepth;
    if (nesting > kMaxNesting)
        Fail(kTooDeep, start);
    TDepthGuard guard(m_factorDepth);

    TParsed result;
    const char16_t c = Cur().unicode();
    quint16 sign = 0;
    switch (c) {
    case kPlusMinus:
        sign = kSignPlusMinus;
        break;
    case kMinusPlus:
        sign = kSignMinusPlus;
        break;
    case u'+':
        sign = kSignPlus;
        break;
    case u'-':
        sign = kSignMinus;
        break;
    default:
        break;
    }
    if (sign) {
        ++Pos;
        result.node = make_unique<TExprSign>(sign);
        result.node->AddNext(ParseFactor().node);
    } else if (c == kEllipsis) {
        ++Pos;
        result.node = make_unique<TExprExtSymbol>(kCodeEllipsis);
    } else if (c == kForcedOpen || c == u'(' || c == u'[' || c == u'{' || c == u'|') {
        ++Pos;
        switch (c) {
        case kForcedOpen:
            result.node = ParseList(2, true).node;
            Expect(u')', kRoundExpected);
            break;
        case u'(':
            result.node = ParseList(3, false).node;
            Expect(u')', kRoundExpected);
            break;
        case u'[':
            result.node = ParseList(6, true).node;
            Expect(u']', kSquareExpected);
            break;
        case u'{':
            result.node = ParseList(7, true).node;
            Expect(u'}', kCurlyExpected);
            break;
        default:
            result.node = ParseList(5, true).node;
            Expect(u'|', kBarExpected);
            break;
        }
    } else if (c == u'_') {
        ++Pos;
        result = ParseFactor();
        result.node = AddCap(std::move(result.node), TExprCap::csArrow, 0);
    } else if (c == u'#') {
        ++Pos;
        if (!isDigit(Cur()))
            Fail(kDigitExpected, Pos);
        result.node = make_unique<TExprNumber>(ReadNumber(false), true);
    } else if (isDigit(Cur())) {
        result.node = make_unique<TExprNumber>(ReadNumber(false), false);
    } else if (isLetter(Cur())) {
        result = ParseIdentifier();
    } else {
        Fail(kBadCharacter, Pos);
    }
    ApplyPostfix(result, nesting);
    return result;
}

void TExprBuilder::ApplyPostfix(TParsed& result, int nestingOfFactor) {
    int scripts = 0;
    while (PostfixEnabled) {
        const QChar c = Cur();
        const int operatorPos = Pos;
        if (c == u'!') {
            ++Pos;
            BracketChain(result.node);
            result.node->Last()->AddNext(make_unique<TExprSimple>(QStringLiteral("!")));
            continue;
        }
        if (c != u'^' && c != u'_' && c != u'`')
            break;
        // Every script wraps the result once more.
        if (nestingOfFactor + ++scripts > kMaxNesting)
            Fail(kTooDeep, operatorPos);
        TExprPtr script;
        if (c == u'`') {
            int count = 0;
            while (Cur() == u'`') {
                ++count;
                ++Pos;
            }
            script = make_unique<TExprStrokes>(int(std::min<qint64>(count, kMaxIntArgument)));
        } else {
            ++Pos;
            // A subscript is read without postfix operators, so «a_b^c» puts c on a.
            PostfixEnabled = c == u'^';
            script = ParseFactor().node;
            PostfixEnabled = true;
            if (auto* argument = dynamic_cast<TExprArgument*>(script.get()))
                argument->SetKinds(TExprBracketed::bkNone, TExprBracketed::bkNone);
        }
        // A factor of several nodes (x followed by "!") is the base as a whole, in brackets.
        if (result.node->Next())
            result.node = inRoundBrackets(std::move(result.node));
        else
            BracketChain(result.node);
        if (c == u'_') {
            result.node = AddSubscript(std::move(result.node), std::move(script));
        } else {
            result.node = AddSuperscript(std::move(result.node), std::move(script));
            result.needBrackets = 1;
        }
        if (treeDepth(result.node.get(), kMaxTreeDepth) > kMaxTreeDepth)
            Fail(kTooDeep, operatorPos);
    }
}

TExprBuilder::TParsed TExprBuilder::ParseIdentifier() {
    const int start = Pos;
    while (isLetter(Cur()) || isDigit(Cur()))
        ++Pos;
    const QString name = Text.mid(start - 1, Pos - start);
    if (Cur() == u'(' || Cur() == QChar(kForcedOpen)) {
        const bool forced = Cur() == QChar(kForcedOpen);
        ++Pos;
        TParsed result = ParseFunction(name, forced);
        Expect(u')', kRoundExpected);
        return result;
    }
    const qsizetype digits = VarDigitsAsIndex ? trailingDigits(name) : 0;
    TExprPtr node = ParseName(name.left(name.size() - digits));
    if (digits) {
        bool ok = false;
        const double value = QLocale::c().toDouble(name.right(digits), &ok);
        if (!std::isfinite(value))
            Fail(kNumberExpected, int(Pos - digits));
        node =
            make_unique<TExprIndex>(single(std::move(node)), make_unique<TExprNumber>(value, false), nullptr);
    }
    return {std::move(node)};
}

TExprPtr TExprBuilder::ParseName(const QString& name) {
    const int greek = GreekCode(name);
    if (greek >= kGreekCapitalAlpha)
        return make_unique<TExprExtSymbol>(quint16(greek));
    const QString upper = asciiUpper(name);
    if (upper == QLatin1String("PLAMBDA"))
        return make_unique<TExprLambda>();
    if (upper == QLatin1String("NABLA"))
        return make_unique<TExprNabla>();
    if (upper == QLatin1String("INF"))
        return make_unique<TExprExtSymbol>(kCodeInfinity);
    if (upper == QLatin1String("PLANK"))
        return make_unique<TExprPlank>();
    if (upper == QLatin1String("NIL"))
        return make_unique<TExprClass>();
    if (upper == QLatin1String("COMMA"))
        return make_unique<TExprComma>();
    if (upper == QLatin1String("CONST"))
        return chainOf(make_unique<TExprSimple>(name), make_unique<TExprSpace>(kSpaceAfterConst));
    if (upper == QLatin1String("ASTERIX"))
        return make_unique<TExprAsterix>();
    if (upper == QLatin1String("MINUS"))
        return make_unique<TExprExtSymbol>(kSignMinus);
    if (upper == QLatin1String("PARALLEL"))
        return make_unique<TExprSign>(kSignParallel);
    if (upper == QLatin1String("PERPENDICULAR"))
        return make_unique<TExprSign>(kSignPerpendicular);
    if (upper == QLatin1String("ANGLE"))
        return make_unique<TExprSign>(kSignAngle);
    if (upper == QLatin1String("EMPTY"))
        return make_unique<TExprEmpty>();
    if (isLatin(name[0]))
        return make_unique<TExprVar>(name);
    return make_unique<TExprSimple>(name);
}

TExprBuilder::TParsed TExprBuilder::ParseFunction(const QString& name, bool forced) {
    // Pos stands right after the opening bracket that follows the name.
    const int nameEnd = Pos - 1;
    const QString upper = asciiUpper(name);
    const auto is = [&upper](const char* candidate) { return upper == QLatin1String(candidate); };
    // Brackets that are always drawn around an operand, for a name followed by "!(".
    const auto forceBrackets = [forced](TExprPtr operand) -> TExprPtr {
        if (!forced)
            return operand;
        if (auto* argument = dynamic_cast<TExprArgument*>(operand.get()); argument && !operand->Next()) {
            argument->SetForceBrackets(true);
            return operand;
        }
        return make_unique<TExprRound>(std::move(operand));
    };
    // Operands of one kind separated by commas: lines of a stack, cells of a matrix, cases.
    const auto parseLines = [this]() {
        TChain lines;
        lines.append(ParseOperand(1));
        while (SkipComma())
            lines.append(ParseOperand(1));
        return lines.take();
    };
    // The order of a derivative, parsed twice from the same place so that each occurrence is its own node.
    const auto parseOrderTwice = [this](TExprPtr& first, TExprPtr& second) {
        if (m_repeatDepth >= kMaxRepeatNesting)
            Fail(kTooDeep, Pos);
        TDepthGuard guard(m_repeatDepth);
        const int start = Pos;
        first = ParseOperand(1);
        Pos = start;
        second = ParseOperand(1);
    };
    // Optional lower and upper limits of a large operator.
    const auto parseLimits = [this](TExprPtr& lower, TExprPtr& upper) {
        if (SkipComma()) {
            lower = ParseOperand(1);
            if (SkipComma())
                upper = ParseOperand(1);
        }
    };

    if (is("SQRT"))
        return {make_unique<TExprRoot>(ParseOperand(1), nullptr)};
    if (is("SQR")) {
        TExprPtr x = ParseOperand(4);
        return {AddSuperscript(std::move(x), make_unique<TExprNumber>(2, false)), 1};
    }
    if (is("LOG")) {
        TExprPtr base = ParseOperand(1);
        ExpectComma();
        TExprPtr x = forceBrackets(ParseOperand(3));
        auto namePart = make_unique<TExprIndex>(make_unique<TExprFuncName>(name), std::move(base), nullptr);
        return {make_unique<TExprCommonFunc>(std::move(namePart), std::move(x))};
    }
    if (is("ABS"))
        return {ParseOperand(5)};
    if (is("POW") || is("IND")) {
        TExprPtr x = ParseOperand(4);
        ExpectComma();
        TExprPtr y = ParseOperand(1);
        if (is("IND"))
            return {AddSubscript(std::move(x), std::move(y))};
        return {AddSuperscript(std::move(x), std::move(y)), 1};
    }
    if (is("ROOT")) {
        TExprPtr n = ParseOperand(1);
        ExpectComma();
        TExprPtr x = ParseOperand(1);
        return {make_unique<TExprRoot>(std::move(x), std::move(n))};
    }
    if (is("LIM")) {
        TExprPtr limit = forceBrackets(ParseOperand(1));
        ExpectComma();
        TExprPtr x = ParseOperand(3);
        return {make_unique<TExprCommonFunc>(make_unique<TExprLim>(std::move(limit)), std::move(x)), 1};
    }
    if (is("FUNC")) {
        TExprPtr f = ParseOperand(1);
        ExpectComma();
        TChain arguments;
        arguments.append(ParseOperand(0));
        while (SkipComma()) {
            arguments.append(make_unique<TExprComma>());
            arguments.append(ParseOperand(0));
        }
        auto argument = make_unique<TExprArgument>(arguments.take());
        if (forced)
            argument->SetForceBrackets(true);
        return {make_unique<TExprCommonFunc>(std::move(f), std::move(argument))};
    }
    if (is("SPACE"))
        return {make_unique<TExprSpace>(ReadCount(0))};
    if (is("DIFF") || is("PDIFF")) {
        TExprPtr x = ParseOperand(4);
        if (SkipComma())
            x = AddSuperscript(std::move(x), ParseOperand(1));
        TChain chain;
        chain.append(make_unique<TExprSpace>(kSpaceBeforeDifferential));
        chain.append(differential(is("PDIFF")));
        chain.append(std::move(x));
        return {chain.take()};
    }
    if (is("DIFFN") || is("PDIFFN")) {
        TExprPtr x = ParseOperand(4);
        TExprPtr d = differential(is("PDIFFN"));
        if (SkipComma())
            d = AddSuperscript(std::move(d), ParseOperand(4));
        TChain chain;
        chain.append(make_unique<TExprSpace>(kSpaceBeforeDifferential));
        chain.append(std::move(d));
        chain.append(std::move(x));
        return {chain.take()};
    }
    if (is("DIFFR") || is("PDIFFR") || is("DIFFRF") || is("PDIFFRF")) {
        const bool partial = upper.startsWith(u'P');
        const bool withFunction = upper.endsWith(QLatin1String("RF"));
        TExprPtr f;
        if (withFunction) {
            f = ParseOperand(4);
            ExpectComma();
        }
        TExprPtr x = ParseOperand(4);
        TExprPtr order1, order2;
        if (SkipComma())
            parseOrderTwice(order1, order2);
        TExprPtr top = differential(partial);
        if (order1)
            top = AddSuperscript(std::move(top), std::move(order1));
        if (order2)
            x = AddSuperscript(std::move(x), std::move(order2));
        if (withFunction)
            top = make_unique<TExprChain>(chainOf(std::move(top), std::move(f)));
        auto bottom = make_unique<TExprChain>(chainOf(differential(partial), std::move(x)));
        return {make_unique<TExprRatio>(std::move(top), std::move(bottom))};
    }
    if (is("STRING"))
        return {make_unique<TExprSimple>(ReadText())};
    if (is("STROKES")) {
        TExprPtr x = ParseOperand(4);
        const int n = SkipComma() ? ReadCount(0) : 1;
        return {AddSuperscript(std::move(x), make_unique<TExprStrokes>(n)), 1};
    }
    if (is("FACT")) {
        TExprPtr x = ParseOperand(4);
        x->AddNext(make_unique<TExprSimple>(QStringLiteral("!")));
        return {std::move(x), 1};
    }
    if (is("AT")) {
        TExprPtr x = ParseOperand(3);
        ExpectComma();
        TExprPtr v = ParseOperand(1);
        return {make_unique<TExprAtValue>(std::move(x), std::move(v))};
    }
    if (is("LINE"))
        return {AddCap(ParseOperand(1), TExprCap::csBar, 0)};
    if (is("VECT"))
        return {AddCap(ParseOperand(1), TExprCap::csArrow, 0)};
    if (is("CAP"))
        return {AddCap(ParseOperand(1), TExprCap::csHat, 0)};
    if (is("TILDE"))
        return {AddCap(ParseOperand(1), TExprCap::csTilde, 0)};
    if (is("POINTS")) {
        TExprPtr x = ParseOperand(1);
        const int n = SkipComma() ? ReadCount(0) : 1;
        return {AddCap(std::move(x), TExprCap::csDots, n)};
    }
    if (is("STANDL"))
        return {make_unique<TExprStand>(parseLines(), 0)};
    if (is("STANDC"))
        return {make_unique<TExprStand>(parseLines(), 1)};
    if (is("STANDR"))
        return {make_unique<TExprStand>(parseLines(), 2)};
    if (is("MATRIX")) {
        const int cols = ReadCount(0);
        ExpectComma();
        const int rows = ReadCount(0);
        ExpectComma();
        return {make_unique<TExprMatrix>(parseLines(), cols, rows)};
    }
    if (is("SUMMA") || is("PROD") || is("CIRC") || is("INT") || is("INTM")) {
        int multiplicity = 1;
        if (is("INTM")) {
            multiplicity = ReadCount(0);
            ExpectComma();
        }
        TExprPtr x = forceBrackets(ParseOperand(3));
        TExprPtr lower, upperLimit;
        parseLimits(lower, upperLimit);
        if (is("SUMMA"))
            return {make_unique<TExprSumma>(std::move(x), std::move(lower), std::move(upperLimit))};
        if (is("PROD"))
            return {make_unique<TExprProd>(std::move(x), std::move(lower), std::move(upperLimit))};
        if (is("CIRC"))
            return {make_unique<TExprCirc>(std::move(x), std::move(lower), std::move(upperLimit))};
        return {
            make_unique<TExprIntegral>(std::move(x), multiplicity, std::move(lower), std::move(upperLimit))};
    }
    if (is("CASE"))
        return {make_unique<TExprCase>(parseLines())};
    if (is("COMMA"))
        return {chainOf(make_unique<TExprComma>(), make_unique<TExprSpace>(ReadCount(0)))};
    if (is("BRACKETS")) {
        // One character per side: a bracket of that side, or "0" for none.
        const auto side = [this](const char16_t* brackets, const QString& message) -> quint8 {
            if (AtSentinel())
                throw EIncorrectExpr(kUnterminated);
            const char16_t c = Cur().unicode();
            if (c == u'0')
                return TExprBracketed::bkNone;
            const quint8 kinds[] = {TExprBracketed::bkRound, TExprBracketed::bkSquare,
                                    TExprBracketed::bkCurly, TExprBracketed::bkBar};
            for (int k = 0; k < 4; ++k)
                if (brackets[k] == c)
                    return kinds[k];
            Fail(message, Pos);
        };
        const quint8 left = side(u"([{|", kOpeningExpected);
        ++Pos;
        const quint8 right = side(u")]}|", kClosingExpected);
        ++Pos;
        ExpectComma();
        return {make_unique<TExprBracketed>(ParseOperand(1), left, right)};
    }
    if (is("SYSTEM")) {
        auto stand = make_unique<TExprStand>(parseLines(), 0);
        return {
            make_unique<TExprBracketed>(std::move(stand), TExprBracketed::bkCurly, TExprBracketed::bkNone)};
    }
    if (is("NUM")) {
        const double x = ReadNumber(true);
        int precision = 4, digits = 4, expThreshold = 2;
        if (SkipComma()) {
            precision = ReadCount(0);
            if (SkipComma()) {
                digits = ReadCount(0);
                if (SkipComma())
                    expThreshold = ReadCount(0);
            }
        }
        return {make_unique<TExprExpNumber>(x, precision, digits, expThreshold)};
    }
    if (is("SYMBOL")) {
        qint64 code = 0;
        if (!ReadInteger(code))
            Fail(kNumberExpected, Pos);
        // The code is one UTF-16 unit: larger values keep their low 16 bits.
        return {make_unique<TExprExtSymbol>(quint16(code))};
    }
    if (is("ANGLE"))
        return {chainOf(make_unique<TExprSign>(kSignAngle), make_unique<TExprSimple>(ReadText()))};

    // Any other name: a function call with all arguments in one argument node.
    auto argument = make_unique<TExprArgument>(ParseList(0, true).node);
    if (forced)
        argument->SetForceBrackets(true);
    const qsizetype digits = FuncDigitsAsIndex ? trailingDigits(name) : 0;
    const QString shortName = name.left(name.size() - digits);
    TExprPtr call;
    switch (const int greek = GreekCode(shortName)) {
    case 0:
        call = make_unique<TExprFunc>(shortName, std::move(argument));
        break;
    case 1:
        call = make_unique<TExprCommonFunc>(make_unique<TExprLambda>(), std::move(argument));
        break;
    case 2:
        call = make_unique<TExprCommonFunc>(make_unique<TExprNabla>(), std::move(argument));
        break;
    default:
        call = make_unique<TExprCommonFunc>(make_unique<TExprExtSymbol>(quint16(greek)), std::move(argument));
        break;
    }
    if (digits) {
        const double value = QLocale::c().toDouble(name.right(digits));
        if (!std::isfinite(value))
            Fail(kNumberExpected, int(nameEnd - digits));
        call = AddSubscript(std::move(call), make_unique<TExprNumber>(value, false));
    }
    return {std::move(call)};
}

// ===================================================================================================
// Auxiliary steps

void TExprBuilder::BracketChain(TExprPtr& node) {
    auto* chain = dynamic_cast<TExprChain*>(node.get());
    if (!chain || !chain->Son() || !chain->Son()->Next())
        return;
    TExprPtr followers = node->CutOffNext();
    TExprPtr bracketed = inRoundBrackets(chain->CutOffSon());
    bracketed->SetNext(std::move(followers));
    node = std::move(bracketed);
}

TExprPtr TExprBuilder::AddScript(TExprPtr base, TExprPtr script, int slot) {
    base = single(std::move(base));
    script = single(std::move(script));
    const auto slotOf = [slot](TExprTwinParent* node) {
        return slot == TExprTwinParent::SlotSub ? node->Sub() : node->Sup();
    };
    if (auto* func = dynamic_cast<TExprCommonFunc*>(base.get())) {
        auto* namePart = dynamic_cast<TExprIndex*>(func->Son());
        if (!namePart) {
            auto index = make_unique<TExprIndex>(func->CutOffSon(), nullptr, nullptr);
            index->SetScript(slot, std::move(script));
            func->SetSon(std::move(index));
            return base;
        }
        if (!slotOf(namePart)) {
            namePart->SetScript(slot, std::move(script));
            return base;
        }
    } else if (auto* index = dynamic_cast<TExprIndex*>(base.get()); index && !slotOf(index)) {
        index->SetScript(slot, std::move(script));
        return base;
    }
    auto index = make_unique<TExprIndex>(std::move(base), nullptr, nullptr);
    index->SetScript(slot, std::move(script));
    return index;
}

TExprPtr TExprBuilder::AddSuperscript(TExprPtr base, TExprPtr e) {
    return AddScript(std::move(base), std::move(e), TExprTwinParent::SlotSup);
}

TExprPtr TExprBuilder::AddSubscript(TExprPtr base, TExprPtr e) {
    return AddScript(std::move(base), std::move(e), TExprTwinParent::SlotSub);
}

TExprPtr TExprBuilder::AddCap(TExprPtr node, quint8 style, int dots) {
    node = single(std::move(node));
    if (auto* func = dynamic_cast<TExprCommonFunc*>(node.get())) {
        func->SetSon(AddCap(func->CutOffSon(), style, dots));
        return node;
    }
    if (auto* index = dynamic_cast<TExprIndex*>(node.get()); index && !index->Sup()) {
        index->SetSon(AddCap(index->CutOffSon(), style, dots));
        return node;
    }
    return make_unique<TExprCap>(std::move(node), style, dots);
}

// ===================================================================================================
// Reading characters

QChar TExprBuilder::At(int pos) const {
    if (pos < 1 || pos > Text.size())
        return QChar(0);
    return Text[pos - 1];
}

void TExprBuilder::SkipSpaces() {
    // The end sentinel is never skipped: an error there reports the position right after the text.
    while (Cur() == u' ' && !AtSentinel())
        ++Pos;
}

bool TExprBuilder::SkipComma() {
    if (Cur() != u',')
        return false;
    ++Pos;
    SkipSpaces();
    return true;
}

void TExprBuilder::ExpectComma() {
    if (!SkipComma())
        Fail(kCommaExpected, Pos);
}

void TExprBuilder::Expect(QChar closing, const QString& message) {
    if (Cur() != closing)
        Fail(message, Pos);
    ++Pos;
}

double TExprBuilder::ReadNumber(bool signAllowed) {
    const int start = Pos;
    if (signAllowed && (Cur() == u'+' || Cur() == u'-'))
        ++Pos;
    if (!isDigit(Cur()))
        Fail(kNumberExpected, start);
    while (isDigit(Cur()))
        ++Pos;
    if (Cur() == u'.' && isDigit(At(Pos + 1))) {
        ++Pos;
        while (isDigit(Cur()))
            ++Pos;
    }
    if (Cur() == u'E' || Cur() == u'e') {
        int p = Pos + 1;
        if (At(p) == u'+' || At(p) == u'-')
            ++p;
        if (isDigit(At(p))) {
            Pos = p;
            while (isDigit(Cur()))
                ++Pos;
        }
    }
    bool ok = false;
    const double value = QLocale::c().toDouble(QStringView(Text).mid(start - 1, Pos - start), &ok);
    // Too large for a number is refused; too small is 0.
    if (!std::isfinite(value))
        Fail(kNumberExpected, start);
    return ok ? value : 0.0;
}

bool TExprBuilder::ReadInteger(qint64& value) {
    const int start = Pos;
    bool negative = false;
    if (Cur() == u'+' || Cur() == u'-') {
        negative = Cur() == u'-';
        ++Pos;
    }
    if (!isDigit(Cur())) {
        Pos = start;
        return false;
    }
    // Saturates instead of overflowing: the callers bound the value anyway.
    constexpr qint64 kSaturation = qint64(1) << 40;
    value = 0;
    while (isDigit(Cur())) {
        value = std::min(kSaturation, value * 10 + (Cur().unicode() - u'0'));
        ++Pos;
    }
    if (negative)
        value = -value;
    return true;
}

int TExprBuilder::ReadCount(int defaultValue) {
    qint64 value = defaultValue;
    ReadInteger(value);
    return int(std::clamp(value, -kMaxIntArgument, kMaxIntArgument));
}

QString TExprBuilder::ReadText() {
    if (Cur() == u'"') {
        ++Pos;
        QString text;
        for (;;) {
            if (AtSentinel())
                throw EIncorrectExpr(kUnterminated);
            if (Cur() == u'"') {
                if (At(Pos + 1) != u'"')
                    break;
                text += u'"';
                Pos += 2;
                continue;
            }
            text += SourceOf(Pos, Pos + 1);
            ++Pos;
        }
        ++Pos;
        return text;
    }
    const int start = Pos;
    while (Cur() != u')') {
        if (AtSentinel())
            throw EIncorrectExpr(kUnterminated);
        ++Pos;
    }
    return SourceOf(start, Pos);
}

QString TExprBuilder::SourceOf(int from, int to) const {
    // Operators folded inside a text are given back as they were written.
    const int begin = m_sourceStarts[from - 1];
    return m_source.mid(begin, m_sourceStarts[to - 1] - begin);
}

void TExprBuilder::Fail(const QString& message, int position) const {
    throw EIncorrectExpr(message + QString::number(position));
}
