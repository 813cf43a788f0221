// The builder of the formula engine: turns a formula text into a tree of formula nodes (ExprNodes) that
// the caller then measures and draws. The builder never draws; a malformed text raises EIncorrectExpr.
#pragma once

#include "formula/ExprNodes.h"
#include "platform/Error.h"

#include <QList>
#include <QString>

#include <span>

// A syntax error in a formula text, with its Russian message.
class EIncorrectExpr : public Platform::EError {
public:
    using Platform::EError::EError;
};

// One argument of a function of the builder's function table, as read (ExprParser.cpp).
struct TFuncArgument;

// An operator character and the code of the sign it puts into the tree.
struct TSignOp {
    char16_t op;
    quint16 code;
};

class TExprBuilder {
public:
    // Trailing digits of a called function's name become a numeric subscript of the name («f1(x)»).
    bool FuncDigitsAsIndex = true;
    // Trailing digits of a plain name become a numeric subscript («x12»).
    bool VarDigitsAsIndex = true;

    // Deepest nesting of brackets, function calls, prefix signs and scripts a text may have; deeper texts
    // are refused so that neither parsing nor the layout of the tree can exhaust the stack.
    static constexpr int kMaxNesting = 200;

    TExprBuilder() = default;

    // Parses the text and returns the first node of the tree (a TExprChain when the text holds several
    // top-level items); the caller owns it. Raises EIncorrectExpr on malformed text.
    TExprPtr BuildExpr(const QString& text);

    // Replaces the multi-character operators by one-character codes. sourceStarts, when given, receives
    // for every character of the result the index of the input character its group starts at, plus the
    // input length at the end.
    static QString FoldOperators(const QString& text, QList<int>* sourceStarts = nullptr);
    // Code of a Greek letter name (small letters when the name starts with a small Latin letter), 1 for
    // "PLAMBDA", 2 for "NABLA", 0 for any other name.
    static int GreekCode(const QString& name);

private:
    // A parse step's result: the first node of a chain of siblings and the NeedBrackets flags.
    struct TParsed {
        TExprPtr node;
        int needBrackets = 0;
    };

    TParsed ParseList(int kind, bool commasAllowed);
    TParsed ParseRelation();
    TParsed ParseSum();
    // A level of items joined by the operators of the table, each leaving its sign between them.
    TParsed ParseSigned(std::span<const TSignOp> signs, TParsed (TExprBuilder::*next)());
    TParsed ParseTerm();
    TParsed ParseFactor();
    TParsed ParseIdentifier();
    TExprPtr ParseName(const QString& name);
    TParsed ParseFunction(const QString& name, bool forced);
    TExprPtr ParseOperand(int kind) { return ParseList(kind, false).node; }

    // Reads one argument of a table function; the letters are explained at the table.
    TFuncArgument ReadArgument(char letter);
    quint8 ReadBracketKind(const char16_t* brackets, const QString& message);

    void ApplyPostfix(TParsed& result, int nestingOfFactor);
    // Places a factor after "*"; productLast is the product's last node, kept up to date.
    static void MergeFactor(TExprPtr& product, TExprClass*& productLast, TExprPtr factor);

    QChar At(int pos) const { return pos >= 1 && pos <= Text.size() ? Text[pos - 1] : QChar(0); }
    QChar Cur() const { return At(Pos); }
    bool AtSentinel() const { return Pos >= Text.size(); }
    void SkipSpaces();
    bool SkipComma();
    void ExpectComma();
    void Expect(QChar closing, const QString& message);
    double ReadNumber(bool signAllowed);
    bool ReadInteger(qint64& value);
    int ReadCount(int defaultValue);
    QString ReadText();
    QString SourceOf(int from, int to) const;
    [[noreturn]] void Fail(const QString& message, int position) const;

    // The folded input followed by one space, the end sentinel.
    QString Text;
    // 1-based index of the current character in Text.
    int Pos = 1;
    // Postfix operators are read after a factor (false while reading a subscript).
    bool PostfixEnabled = true;

    // Input index of every character of Text (see FoldOperators), to give STRING texts as written.
    QList<int> m_sourceStarts;
    QString m_source;
    // Factors being parsed at the moment, and repeated parses of a derivative order being run.
    int m_factorDepth = 0;
    int m_repeatDepth = 0;
};
