// The formula builder: folds the multi-character operators, then parses the text by recursive descent
// (list, relation, sum, term, factor, identifier, function) into formula nodes. Every node under
// construction is held by a unique_ptr, so an error frees whatever was built before it.
#include "formula/ExprParser.h"
#include "formula/ExprExtent.h"

#include <QLocale>

#include <algorithm>
#include <array>
#include <cmath>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

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

// For every ASCII character, the groups of kFoldGroups that start with it (they stand together there), so
// folding looks at no group whose first character differs.
struct TFoldRange {
    quint8 begin = 0;
    quint8 end = 0;
};
constexpr std::array<TFoldRange, 128> kFoldIndex = [] {
    std::array<TFoldRange, 128> index{};
    for (quint8 i = 0; i < std::size(kFoldGroups); ++i) {
        TFoldRange& range = index[kFoldGroups[i].text[0]];
        if (range.begin == range.end)
            range.begin = i;
        range.end = quint8(i + 1);
    }
    return index;
}();

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

// Operators that put a sign between the items they join, with the sign's code (below 32 a sign drawn by
// TExprSign, else a character): relations, additive operators (also as prefixes of a factor), and the
// products that keep their sign.
constexpr TSignOp kRelationSigns[] = {
    {kNotEqual, 8800},   {kGreaterEqual, 8805},
    {kLessEqual, 8804},  {kMuchGreater, 2},
    {kMuchLess, 1},      {kArrow, 8594},
    {kApprox, 8776},     {kIdentical, 8801},
    {kGreaterApprox, 4}, {kLessApprox, 3},
    {kTildeOverBar, 7},  {u'<', 60},
    {u'=', 61},          {u'>', 62},
    {u'~', 126},
};
constexpr TSignOp kAdditiveSigns[] = {
    {kPlusMinus, kSignPlusMinus}, {kMinusPlus, kSignMinusPlus}, {u'+', kSignPlus}, {u'-', kSignMinus}};
constexpr TSignOp kProductSigns[] = {
    {kDivide, 247}, {kCross, 215}, {kSlashSign, 47}, {kMiddleDot, kSignMiddleDot}};

// The sign code of the operator c in the table, 0 when c is none of them.
quint16 signOf(std::span<const TSignOp> signs, QChar c) {
    for (const TSignOp& sign : signs)
        if (sign.op == c.unicode())
            return sign.code;
    return 0;
}

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
const QString kTooLarge = QStringLiteral("Слишком большая формула");

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

// A name compared with a table entry (upper case), ignoring the case of Latin letters only: the
// names' other letters are Cyrillic, which never equal a Latin letter.
bool isName(const QString& name, const char* entry) {
    qsizetype i = 0;
    for (; entry[i]; ++i) {
        if (i == name.size())
            return false;
        char16_t c = name[i].unicode();
        if (c >= u'a' && c <= u'z')
            c = char16_t(c - (u'a' - u'A'));
        if (c != char16_t(entry[i]))
            return false;
    }
    return i == name.size();
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

// Forced brackets: a call whose name was followed by "!(" shows its operand's brackets always.
TExprPtr forceBrackets(TExprPtr operand, bool forced) {
    if (!forced)
        return operand;
    if (auto* argument = dynamic_cast<TExprArgument*>(operand.get()); argument && !operand->Next()) {
        argument->SetForceBrackets(true);
        return operand;
    }
    return make_unique<TExprRound>(std::move(operand));
}

// A row of several children becomes a bracketed row, so that a postfix operator applies to all of it.
void bracketChain(TExprPtr& node) {
    auto* chain = dynamic_cast<TExprChain*>(node.get());
    if (!chain || !chain->Son() || !chain->Son()->Next())
        return;
    TExprPtr followers = node->CutOffNext();
    TExprPtr bracketed = inRoundBrackets(chain->CutOffSon());
    bracketed->SetNext(std::move(followers));
    node = std::move(bracketed);
}

// Puts a script into the slot of the base: into the name part of a function, into a free slot of an
// index, else into a new index over the base.
TExprPtr addScript(TExprPtr base, TExprPtr script, int slot) {
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

TExprPtr addSuperscript(TExprPtr base, TExprPtr e) {
    return addScript(std::move(base), std::move(e), TExprTwinParent::SlotSup);
}

TExprPtr addSubscript(TExprPtr base, TExprPtr e) {
    return addScript(std::move(base), std::move(e), TExprTwinParent::SlotSub);
}

// An accent goes on the name part of a function and on the base of an index without superscript.
TExprPtr addCap(TExprPtr node, quint8 style, int dots) {
    node = single(std::move(node));
    if (auto* func = dynamic_cast<TExprCommonFunc*>(node.get())) {
        func->SetSon(addCap(func->CutOffSon(), style, dots));
        return node;
    }
    if (auto* index = dynamic_cast<TExprIndex*>(node.get()); index && !index->Sup()) {
        index->SetSon(addCap(index->CutOffSon(), style, dots));
        return node;
    }
    return make_unique<TExprCap>(std::move(node), style, dots);
}

// ---------------------------------------------------------------------------------------------------
// The function table: for every name the arguments it reads and the node it makes of them.

} // namespace

// One argument as read; which fields hold it depends on the argument's letter in the table.
struct TFuncArgument {
    TExprPtr node;     // a list argument; the first reading of a derivative order
    TExprPtr again;    // the second reading of a derivative order
    int count = 0;     // an integer argument
    double number = 0; // the number of NUM
    QString text;      // the text of STRING and ANGLE
    quint8 left = 0;   // the bracket kinds of BRACKETS
    quint8 right = 0;
};

namespace {

// A call being built: the name as written, whether it was followed by "!(", and the arguments given.
struct TCall {
    const QString& name;
    bool forced;
    std::vector<TFuncArgument> args;

    bool given(size_t i) const { return i < args.size(); }
    TExprPtr take(size_t i) { return given(i) ? std::move(args[i].node) : nullptr; }
    int count(size_t i, int absent) const { return given(i) ? args[i].count : absent; }
    // The list arguments from i on, as one chain.
    TExprPtr chainFrom(size_t i) {
        TChain chain;
        for (; i < args.size(); ++i)
            chain.append(std::move(args[i].node));
        return chain.take();
    }
};

struct TBuilt {
    TExprPtr node;
    int needBrackets = 0;
};

// Argument letters: "0"–"7" a list of that kind (ParseList without commas), "i" an integer (0 when
// absent), "n" a signed decimal number, "c" a character code that must be there, "t" a text as for
// STRING, "b" the two bracket characters of BRACKETS, "o" a derivative order (a list of kind 1 read twice
// from the same place). A trailing "*" repeats the last argument while commas follow. The first
// `required` arguments are separated by commas that must be there; the others are read only after a comma.
struct TFunctionDef {
    const char* name;
    const char* args;
    int required;
    TBuilt (*make)(TCall&);
};

TBuilt powerOrIndex(TCall& c, int slot) {
    TExprPtr x = c.take(0);
    if (slot == TExprTwinParent::SlotSub)
        return {addSubscript(std::move(x), c.take(1))};
    return {addSuperscript(std::move(x), c.take(1)), 1};
}

// DIFF, PDIFF: a space, d or ∂, then x, with the order n on x. DIFFN, PDIFFN: the order goes on d.
TBuilt differentialOf(TCall& c, bool partial, bool orderOnD) {
    TExprPtr x = c.take(0);
    TExprPtr d = differential(partial);
    if (c.given(1)) {
        if (orderOnD)
            d = addSuperscript(std::move(d), c.take(1));
        else
            x = addSuperscript(std::move(x), c.take(1));
    }
    TChain chain;
    chain.append(make_unique<TExprSpace>(kSpaceBeforeDifferential));
    chain.append(std::move(d));
    chain.append(std::move(x));
    return {chain.take()};
}

// DIFFR and DIFFRF with their partial forms: d^n f over d x^n, the order's two readings on top and below.
TBuilt derivativeRatio(TCall& c, bool partial, bool withFunction) {
    const size_t xAt = withFunction ? 1 : 0;
    TExprPtr f = withFunction ? c.take(0) : nullptr;
    TExprPtr x = c.take(xAt);
    TExprPtr top = differential(partial);
    if (c.given(xAt + 1)) {
        top = addSuperscript(std::move(top), std::move(c.args[xAt + 1].node));
        x = addSuperscript(std::move(x), std::move(c.args[xAt + 1].again));
    }
    if (withFunction)
        top = make_unique<TExprChain>(chainOf(std::move(top), std::move(f)));
    auto bottom = make_unique<TExprChain>(chainOf(differential(partial), std::move(x)));
    return {make_unique<TExprRatio>(std::move(top), std::move(bottom))};
}

template <typename Op> TBuilt largeOperator(TCall& c, size_t operandAt) {
    TExprPtr x = forceBrackets(c.take(operandAt), c.forced);
    return {make_unique<Op>(std::move(x), c.take(operandAt + 1), c.take(operandAt + 2))};
}

TBuilt integral(TCall& c, int multiplicity, size_t operandAt) {
    TExprPtr x = forceBrackets(c.take(operandAt), c.forced);
    return {
        make_unique<TExprIntegral>(std::move(x), multiplicity, c.take(operandAt + 1), c.take(operandAt + 2))};
}

TBuilt stand(TCall& c, quint8 align) { return {make_unique<TExprStand>(c.chainFrom(0), align)}; }

TBuilt accent(TCall& c, quint8 style, int dots) { return {addCap(c.take(0), style, dots)}; }

const TFunctionDef kFunctions[] = {
    {"SQRT", "1", 1, [](TCall& c) -> TBuilt { return {make_unique<TExprRoot>(c.take(0), nullptr)}; }},
    {"SQR", "4", 1,
     [](TCall& c) -> TBuilt {
         return {addSuperscript(c.take(0), make_unique<TExprNumber>(2, false)), 1};
     }},
    {"LOG", "13", 2,
     [](TCall& c) -> TBuilt {
         auto namePart = make_unique<TExprIndex>(make_unique<TExprFuncName>(c.name), c.take(0), nullptr);
         TExprPtr x = forceBrackets(c.take(1), c.forced);
         return {make_unique<TExprCommonFunc>(std::move(namePart), std::move(x))};
     }},
    {"ABS", "5", 1, [](TCall& c) -> TBuilt { return {c.take(0)}; }},
    {"POW", "41", 2, [](TCall& c) { return powerOrIndex(c, TExprTwinParent::SlotSup); }},
    {"ROOT", "11", 2, [](TCall& c) -> TBuilt { return {make_unique<TExprRoot>(c.take(1), c.take(0))}; }},
    {"IND", "41", 2, [](TCall& c) { return powerOrIndex(c, TExprTwinParent::SlotSub); }},
    {"LIM", "13", 2,
     [](TCall& c) -> TBuilt {
         TExprPtr limit = forceBrackets(c.take(0), c.forced);
         return {make_unique<TExprCommonFunc>(make_unique<TExprLim>(std::move(limit)), c.take(1)), 1};
     }},
    {"FUNC", "10*", 2,
     [](TCall& c) -> TBuilt {
         // The arguments are separated by a comma node only, without a space.
         TChain arguments;
         for (size_t i = 1; i < c.args.size(); ++i) {
             if (i > 1)
                 arguments.append(make_unique<TExprComma>());
             arguments.append(c.take(i));
         }
         auto argument = make_unique<TExprArgument>(arguments.take());
         if (c.forced)
             argument->SetForceBrackets(true);
         return {make_unique<TExprCommonFunc>(c.take(0), std::move(argument))};
     }},
    {"SPACE", "i", 1, [](TCall& c) -> TBuilt { return {make_unique<TExprSpace>(c.count(0, 0))}; }},
    {"DIFF", "41", 1, [](TCall& c) { return differentialOf(c, false, false); }},
    {"PDIFF", "41", 1, [](TCall& c) { return differentialOf(c, true, false); }},
    {"DIFFN", "44", 1, [](TCall& c) { return differentialOf(c, false, true); }},
    {"PDIFFN", "44", 1, [](TCall& c) { return differentialOf(c, true, true); }},
    {"DIFFR", "4o", 1, [](TCall& c) { return derivativeRatio(c, false, false); }},
    {"PDIFFR", "4o", 1, [](TCall& c) { return derivativeRatio(c, true, false); }},
    {"DIFFRF", "44o", 2, [](TCall& c) { return derivativeRatio(c, false, true); }},
    {"PDIFFRF", "44o", 2, [](TCall& c) { return derivativeRatio(c, true, true); }},
    {"STRING", "t", 1, [](TCall& c) -> TBuilt { return {make_unique<TExprSimple>(c.args[0].text)}; }},
    {"STROKES", "4i", 1,
     [](TCall& c) -> TBuilt {
         return {addSuperscript(c.take(0), make_unique<TExprStrokes>(c.count(1, 1))), 1};
     }},
    {"FACT", "4", 1,
     [](TCall& c) -> TBuilt {
         return {chainOf(c.take(0), make_unique<TExprSimple>(QStringLiteral("!"))), 1};
     }},
    {"AT", "31", 2, [](TCall& c) -> TBuilt { return {make_unique<TExprAtValue>(c.take(0), c.take(1))}; }},
    {"LINE", "1", 1, [](TCall& c) { return accent(c, TExprCap::csBar, 0); }},
    {"VECT", "1", 1, [](TCall& c) { return accent(c, TExprCap::csArrow, 0); }},
    {"CAP", "1", 1, [](TCall& c) { return accent(c, TExprCap::csHat, 0); }},
    {"TILDE", "1", 1, [](TCall& c) { return accent(c, TExprCap::csTilde, 0); }},
    {"POINTS", "1i", 1, [](TCall& c) { return accent(c, TExprCap::csDots, c.count(1, 1)); }},
    {"STANDL", "1*", 1, [](TCall& c) { return stand(c, 0); }},
    {"STANDC", "1*", 1, [](TCall& c) { return stand(c, 1); }},
    {"STANDR", "1*", 1, [](TCall& c) { return stand(c, 2); }},
    {"MATRIX", "ii1*", 3,
     [](TCall& c) -> TBuilt {
         return {make_unique<TExprMatrix>(c.chainFrom(2), c.count(0, 0), c.count(1, 0))};
     }},
    {"SUMMA", "311", 1, [](TCall& c) { return largeOperator<TExprSumma>(c, 0); }},
    {"PROD", "311", 1, [](TCall& c) { return largeOperator<TExprProd>(c, 0); }},
    {"CIRC", "311", 1, [](TCall& c) { return largeOperator<TExprCirc>(c, 0); }},
    {"INT", "311", 1, [](TCall& c) { return integral(c, 1, 0); }},
    {"INTM", "i311", 2, [](TCall& c) { return integral(c, c.count(0, 0), 1); }},
    {"CASE", "1*", 1, [](TCall& c) -> TBuilt { return {make_unique<TExprCase>(c.chainFrom(0))}; }},
    {"COMMA", "i", 1,
     [](TCall& c) -> TBuilt {
         return {chainOf(make_unique<TExprComma>(), make_unique<TExprSpace>(c.count(0, 0)))};
     }},
    {"BRACKETS", "b1", 2,
     [](TCall& c) -> TBuilt {
         return {make_unique<TExprBracketed>(c.take(1), c.args[0].left, c.args[0].right)};
     }},
    {"SYSTEM", "1*", 1,
     [](TCall& c) -> TBuilt {
         auto lines = make_unique<TExprStand>(c.chainFrom(0), 0);
         return {
             make_unique<TExprBracketed>(std::move(lines), TExprBracketed::bkCurly, TExprBracketed::bkNone)};
     }},
    {"NUM", "niii", 1,
     [](TCall& c) -> TBuilt {
         return {make_unique<TExprExpNumber>(c.args[0].number, c.count(1, 4), c.count(2, 4), c.count(3, 2))};
     }},
    {"SYMBOL", "c", 1,
     // The code is one UTF-16 unit: larger values keep their low 16 bits.
     [](TCall& c) -> TBuilt { return {make_unique<TExprExtSymbol>(quint16(c.args[0].count))}; }},
    {"ANGLE", "t", 1,
     [](TCall& c) -> TBuilt {
         return {chainOf(make_unique<TExprSign>(kSignAngle), make_unique<TExprSimple>(c.args[0].text))};
     }},
};

const TFunctionDef* findFunction(const QString& name) {
    for (const TFunctionDef& def : kFunctions)
        if (isName(name, def.name))
            return &def;
    return nullptr;
}

// Plain names with a node of their own (Greek letter names are looked up apart).
struct TNameDef {
    const char* name;
    TExprPtr (*make)(const QString& written);
};

const TNameDef kNames[] = {
    {"PLAMBDA", [](const QString&) -> TExprPtr { return make_unique<TExprLambda>(); }},
    {"NABLA", [](const QString&) -> TExprPtr { return make_unique<TExprNabla>(); }},
    {"INF", [](const QString&) -> TExprPtr { return make_unique<TExprExtSymbol>(kCodeInfinity); }},
    {"PLANK", [](const QString&) -> TExprPtr { return make_unique<TExprPlank>(); }},
    {"NIL", [](const QString&) -> TExprPtr { return make_unique<TExprClass>(); }},
    {"COMMA", [](const QString&) -> TExprPtr { return make_unique<TExprComma>(); }},
    {"CONST",
     [](const QString& written) {
         return chainOf(make_unique<TExprSimple>(written), make_unique<TExprSpace>(kSpaceAfterConst));
     }},
    {"ASTERIX", [](const QString&) -> TExprPtr { return make_unique<TExprAsterix>(); }},
    {"MINUS", [](const QString&) -> TExprPtr { return make_unique<TExprExtSymbol>(kSignMinus); }},
    {"PARALLEL", [](const QString&) -> TExprPtr { return make_unique<TExprSign>(kSignParallel); }},
    {"PERPENDICULAR", [](const QString&) -> TExprPtr { return make_unique<TExprSign>(kSignPerpendicular); }},
    {"ANGLE", [](const QString&) -> TExprPtr { return make_unique<TExprSign>(kSignAngle); }},
    {"EMPTY", [](const QString&) -> TExprPtr { return make_unique<TExprEmpty>(); }},
};

} // namespace

// ===================================================================================================
// Entry points and tables

TExprPtr TExprBuilder::BuildExpr(const QString& text) {
    m_source = text;
    Text = FoldOperators(text, &m_sourceStarts) + QLatin1Char(' ');
    Pos = 1;
    PostfixEnabled = true;
    m_factorDepth = 0;
    m_repeatDepth = 0;
    TExprPtr tree = ParseList(1, true).node;
    // Past this bound the layout's pixel sizes would no longer be meaningful.
    const ExprExtent::TExtent extent = ExprExtent::ofChain(tree.get());
    if (extent.width > ExprExtent::kMaxFormulaExtent || extent.height > ExprExtent::kMaxFormulaExtent)
        throw EIncorrectExpr(kTooLarge);
    return tree;
}

QString TExprBuilder::FoldOperators(const QString& text, QList<int>* sourceStarts) {
    // Written in place: the folded text is never longer than the input.
    QString folded(text.size(), Qt::Uninitialized);
    QChar* out = folded.data();
    int* starts = nullptr;
    if (sourceStarts) {
        sourceStarts->resize(text.size() + 1);
        starts = sourceStarts->data();
    }
    qsizetype n = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const char16_t c = text[i].unicode();
        qsizetype taken = 1;
        QChar code(c);
        if (c < kFoldIndex.size()) {
            const TFoldRange range = kFoldIndex[c];
            const QStringView rest = QStringView(text).mid(i);
            for (int g = range.begin; g < range.end; ++g) {
                const QStringView groupText(kFoldGroups[g].text);
                if (rest.startsWith(groupText)) {
                    code = QChar(kFoldGroups[g].code);
                    taken = groupText.size();
                    break;
                }
            }
        }
        out[n] = code;
        if (starts)
            starts[n] = int(i);
        ++n;
        i += taken;
    }
    folded.truncate(n);
    if (sourceStarts) {
        starts[n] = int(text.size());
        sourceStarts->resize(n + 1);
    }
    return folded;
}

int TExprBuilder::GreekCode(const QString& name) {
    if (isName(name, "PLAMBDA"))
        return 1;
    if (isName(name, "NABLA"))
        return 2;
    for (int i = 0; i < int(std::size(kGreekNames)); ++i) {
        if (!isName(name, kGreekNames[i]))
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
    return ParseSigned(kRelationSigns, &TExprBuilder::ParseSum);
}

TExprBuilder::TParsed TExprBuilder::ParseSum() {
    return ParseSigned(kAdditiveSigns, &TExprBuilder::ParseTerm);
}

TExprBuilder::TParsed TExprBuilder::ParseSigned(std::span<const TSignOp> signs,
                                                TParsed (TExprBuilder::*next)()) {
    TParsed first = (this->*next)();
    int needBrackets = first.needBrackets;
    TChain chain;
    chain.append(std::move(first.node));
    while (const quint16 code = signOf(signs, Cur())) {
        ++Pos;
        chain.append(make_unique<TExprSign>(code));
        chain.append((this->*next)().node);
        needBrackets = 1;
    }
    return {chain.take(), needBrackets};
}

TExprBuilder::TParsed TExprBuilder::ParseTerm() {
    TParsed first = ParseFactor();
    int needBrackets = first.needBrackets;
    TExprPtr numerator = std::move(first.node);
    // The last nodes of both parts are kept at hand: a long product must not be walked for every factor.
    TExprClass* numeratorLast = numerator->Last();
    TExprPtr denominator;
    TExprClass* denominatorLast = nullptr;
    bool combined = false;
    for (;;) {
        const char16_t c = Cur().unicode();
        const quint16 sign = signOf(kProductSigns, Cur());
        if (sign || c == kJuxtapose) {
            ++Pos;
            if (sign) {
                numeratorLast->AddNext(make_unique<TExprSign>(sign));
                numeratorLast = numeratorLast->Next();
            }
            TExprPtr factor = ParseFactor().node;
            TExprClass* factorLast = factor->Last();
            numeratorLast->AddNext(std::move(factor));
            numeratorLast = factorLast;
        } else if (c == u'*') {
            ++Pos;
            MergeFactor(numerator, numeratorLast, ParseFactor().node);
        } else if (c == u'/') {
            ++Pos;
            MergeFactor(denominator, denominatorLast, ParseFactor().node);
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

void TExprBuilder::MergeFactor(TExprPtr& product, TExprClass*& productLast, TExprPtr factor) {
    TExprClass* factorLast = factor->Last();
    if (!product) {
        product = std::move(factor);
        productLast = factorLast;
        return;
    }
    const auto flags = [](TExprClass* node, int flag) { return (node->JoinFlags() & flag) != 0; };
    if (flags(productLast, TExprClass::TouchRight) && flags(factor.get(), TExprClass::TouchLeft)) {
        productLast->AddNext(std::move(factor));
        productLast = factorLast;
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
        TExprPtr rest = product->CutOffNext();
        if (!rest)
            productLast = factorLast;
        factorLast->AddNext(std::move(rest));
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
    productLast->Next()->AddNext(std::move(factor));
    productLast = factorLast;
}

TExprBuilder::TParsed TExprBuilder::ParseFactor() {
    const int start = Pos;
    const int nesting = m_factorDepth;
    if (nesting > kMaxNesting)
        Fail(kTooDeep, start);
    TDepthGuard guard(m_factorDepth);

    TParsed result;
    const char16_t c = Cur().unicode();
    const quint16 sign = signOf(kAdditiveSigns, Cur());
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
        result.node = addCap(std::move(result.node), TExprCap::csArrow, 0);
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
            bracketChain(result.node);
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
            bracketChain(result.node);
        if (c == u'_') {
            result.node = addSubscript(std::move(result.node), std::move(script));
        } else {
            result.node = addSuperscript(std::move(result.node), std::move(script));
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
    for (const TNameDef& def : kNames)
        if (isName(name, def.name))
            return def.make(name);
    if (isLatin(name[0]))
        return make_unique<TExprVar>(name);
    return make_unique<TExprSimple>(name);
}

TExprBuilder::TParsed TExprBuilder::ParseFunction(const QString& name, bool forced) {
    // Pos stands right after the opening bracket that follows the name.
    const int nameEnd = Pos - 1;
    if (const TFunctionDef* def = findFunction(name)) {
        TCall call{name, forced, {}};
        const std::string_view letters(def->args);
        const bool repeats = letters.back() == '*';
        const size_t count = repeats ? letters.size() - 1 : letters.size();
        for (size_t i = 0; repeats || i < count; ++i) {
            if (i > 0) {
                if (int(i) < def->required)
                    ExpectComma();
                else if (!SkipComma())
                    break;
            }
            call.args.push_back(ReadArgument(letters[std::min(i, count - 1)]));
        }
        TBuilt built = def->make(call);
        return {std::move(built.node), built.needBrackets};
    }

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
        call = addSubscript(std::move(call), make_unique<TExprNumber>(value, false));
    }
    return {std::move(call)};
}

TFuncArgument TExprBuilder::ReadArgument(char letter) {
    TFuncArgument argument;
    switch (letter) {
    case 'i':
        argument.count = ReadCount(0);
        break;
    case 'n':
        argument.number = ReadNumber(true);
        break;
    case 'c': {
        qint64 code = 0;
        if (!ReadInteger(code))
            Fail(kNumberExpected, Pos);
        argument.count = int(code);
        break;
    }
    case 't':
        argument.text = ReadText();
        break;
    case 'b':
        argument.left = ReadBracketKind(u"([{|", kOpeningExpected);
        ++Pos;
        argument.right = ReadBracketKind(u")]}|", kClosingExpected);
        ++Pos;
        break;
    case 'o': {
        // Each occurrence of the order is a node of its own: the same text is parsed twice.
        if (m_repeatDepth >= kMaxRepeatNesting)
            Fail(kTooDeep, Pos);
        TDepthGuard guard(m_repeatDepth);
        const int start = Pos;
        argument.node = ParseOperand(1);
        Pos = start;
        argument.again = ParseOperand(1);
        break;
    }
    default:
        argument.node = ParseOperand(letter - '0');
        break;
    }
    return argument;
}

quint8 TExprBuilder::ReadBracketKind(const char16_t* brackets, const QString& message) {
    // One character: a bracket of the side (round, square, curly, bar), or "0" for none.
    if (AtSentinel())
        throw EIncorrectExpr(kUnterminated);
    const char16_t c = Cur().unicode();
    if (c == u'0')
        return TExprBracketed::bkNone;
    constexpr quint8 kinds[] = {TExprBracketed::bkRound, TExprBracketed::bkSquare, TExprBracketed::bkCurly,
                                TExprBracketed::bkBar};
    for (int k = 0; k < 4; ++k)
        if (brackets[k] == c)
            return kinds[k];
    Fail(message, Pos);
}

// ===================================================================================================
// Reading characters

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
