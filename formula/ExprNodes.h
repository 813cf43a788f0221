// The node tree of the formula engine: every node measures itself with the text metrics of its canvas and
// draws itself there. The builder (ExprParser) creates the trees; the results window attaches a QPainter
// on its picture, sets a font size and draws. Geometry is in device pixels, y grows downwards.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QtGlobal>

#include <climits>
#include <memory>

class QPainter;
class QPainterPath;
class QFontMetrics;

// The canvas a node measures and draws on: a painter that is active on some paint device.
using TCanvas = QPainter;

class TExprClass;
using TExprPtr = std::unique_ptr<TExprClass>;

// The fonts of one size, shared by all nodes that draw at that size (ExprNodes.cpp).
struct TNodeFonts;
using TNodeFontsPtr = std::shared_ptr<TNodeFonts>;

// Base of all formula nodes. A node belongs to a chain (Next), may hold child chains, and caches its
// sizes; InvalidMask tells which cached values must be computed again.
class TExprClass {
public:
    // JoinFlags bits.
    static constexpr int TouchLeft = 1;      // may follow another node without a sign
    static constexpr int TouchRight = 2;     // another node may follow without a sign
    static constexpr int SignFirst = 4;      // begins with a plus/minus-type sign
    static constexpr int RoundRemovable = 8; // shown in round brackets that may be removed
    static constexpr int Bracketed = 16;     // shown in brackets

    // Colour value meaning "take the colour of Parent"; colours otherwise are 0xRRGGBB.
    static constexpr quint32 InheritColor = 0x1FFFFFFF;
    static constexpr int MaxInt = INT_MAX;
    // Every cached size stays within ±MaxSize pixels, so sums of a few sizes never overflow; a node whose
    // origin lies beyond ±MaxCoord is far off any canvas and is not drawn.
    static constexpr int MaxSize = 1 << 26;
    static constexpr int MaxCoord = 1 << 29;

    // InvalidMask bits of the cached queries.
    static constexpr quint32 imWidth = 0x1;
    static constexpr quint32 imHeight = 0x2;
    static constexpr quint32 imSupPosX = 0x4;
    static constexpr quint32 imSupPosY = 0x8;
    static constexpr quint32 imSubPosX = 0x10;
    static constexpr quint32 imSubPosY = 0x20;
    static constexpr quint32 imItalic = 0x40;
    static constexpr quint32 imTopGap = 0x80;
    static constexpr quint32 imMidLineUp = 0x100;
    static constexpr quint32 imMidLineDn = 0x200;
    static constexpr quint32 imOwn1 = 0x400; // class-specific caches (matrix cell, operator symbol width)
    static constexpr quint32 imOwn2 = 0x800; // class-specific caches (operator height)
    static constexpr quint32 imAll = 0xFFFFFFFF;

    TExprClass();
    virtual ~TExprClass();
    TExprClass(const TExprClass&) = delete;
    TExprClass& operator=(const TExprClass&) = delete;

    // Tree editing.
    TExprClass* Parent() const { return m_Parent; }
    TExprClass* Next() const { return m_Next.get(); }
    TExprClass* Last();
    // Appends node (with its followers) after the last node of this chain; it takes this node's font and
    // canvas. Its Parent is set when the chain is placed into a parent node.
    void AddNext(TExprPtr node);
    // Frees the current followers and makes node the follower (with this node's Parent).
    void SetNext(TExprPtr node);
    TExprPtr CutOffNext();
    // Sets Parent of this node and of all its followers.
    void SetParent(TExprClass* parent);

    // Canvas and font.
    TCanvas* Canvas() const { return m_Canvas; }
    void SetCanvas(TCanvas* canvas);
    const QFont& Font() const;
    void SetFont(const QFont& font);
    // The node's font height in pixels, and a size in points converted at the canvas's DPI (96 without
    // a canvas); both go the same way as SetFont.
    int FontHeight() const;
    void SetFontHeight(int pixels);
    void SetFontSize(int points);

    quint32 Color() const { return m_Color; }
    void SetColor(quint32 color);
    // The colour actually drawn: Color, or the parent's when Color is InheritColor (black at the root).
    quint32 EffectiveColor() const;
    QColor DrawColor() const { return QColor::fromRgb(QRgb(EffectiveColor())); }

    quint32 InvalidMask() const { return m_InvalidMask; }
    int LineX() const { return m_LineX; }
    int LineY() const { return m_LineY; }
    double UnitX() const { return m_UnitX; }

    // Cached size queries, relative to the node's box with its top-left pixel at (0, 0).
    int Width();
    int Height();
    int MidLineUp();
    int MidLineDn();
    int SupPosX();
    int SupPosY();
    int SubPosX();
    int SubPosY();
    int TopGap();
    int ItalicLeft();
    int ItalicRight();
    int JoinFlags() { return CalcJoinFlags(); }

    // HAlign 0 left, 1 centre, 2 right; VAlign 0 top, 1 middle line, 2 bottom.
    void Draw(int X, int Y, int HAlign, int VAlign);
    // Solid pen of width 1 and solid brush in the effective colour.
    void SetPenAndBrush();

    // Bracket rules of function arguments.
    virtual bool ForcesBrackets() { return false; }
    virtual bool ArgBracketsAlways() { return true; }

protected:
    // Protocol operations.
    virtual void FontChanged();
    virtual void CanvasChanged();
    // Makes the node's font and colour those its text is drawn in: the colour goes into the canvas's pen
    // at once, the font onto the canvas only when text is written (a painter given a font resolves it
    // again, and most nodes write no text or draw lone characters as glyphs).
    virtual void ApplyFont();
    virtual void Paint(int X, int Y);
    virtual int CalcWidth();
    virtual int CalcHeight();
    virtual int CalcMidLine(bool fromBottom);
    virtual int CalcSupPosX();
    virtual int CalcSubPosX();
    virtual int CalcSupPosY();
    virtual int CalcSubPosY();
    virtual int CalcTopGap();
    virtual void CalcItalic(int& left, int& right);
    virtual int CalcJoinFlags();

    // Whether the node draws in the italic form of its font (TExprVar, TExprPlank).
    virtual bool Italic() const { return false; }
    // The node's font metrics on the canvas.
    QFontMetrics Metrics() const;
    int TextWidth(const QString& text) const;
    int TextHeight() const;
    // Draws text with its top-left corner at (X, Y) in the node's font, or in the given fonts of a size.
    void TextOut(int X, int Y, const QString& text);
    void TextOut(int X, int Y, const QString& text, const TNodeFontsPtr& fonts, bool italic);
    void Invalidate(quint32 bits = imAll) { m_InvalidMask |= bits; }
    void ClearInvalid(quint32 bits) { m_InvalidMask &= ~bits; }
    void CalcMetrics();

    // Passing font and canvas down a chain or into a child, with the metrics taken over when the font
    // height is the same.
    static void GiveFont(TExprClass* node, const TNodeFontsPtr& fonts, const TExprClass& from);
    static void GiveCanvas(TExprClass* node, TCanvas* canvas, const TExprClass& from);
    // The node's fonts, and those of its scripts (0.7 of the height), shared with every node of that size.
    const TNodeFontsPtr& Fonts() const;
    // The fonts to hand on to children: none while the node has the default font, which they make
    // themselves when they are measured with it.
    const TNodeFontsPtr& SharedFonts() const { return m_Fonts; }
    const TNodeFontsPtr& ScriptFonts() const;

    quint32 m_Color = InheritColor;
    int m_LineX = 1;
    int m_LineY = 1;
    double m_UnitX = 1;
    double m_UnitY = 1;

private:
    void CopyMetrics(const TExprClass& from);

    TExprClass* m_Parent = nullptr;
    TExprPtr m_Next;
    // None while the node has the default font.
    TNodeFontsPtr m_Fonts;
    int m_Width = 0, m_Height = 0, m_MidLineUp = 0, m_MidLineDn = 0, m_SupPosX = 0, m_SupPosY = 0,
        m_SubPosX = 0, m_SubPosY = 0, m_TopGap = 0, m_ItalicLeft = 0, m_ItalicRight = 0;
    TCanvas* m_Canvas = nullptr;
    quint32 m_InvalidMask = 0;
};

// ---------------------------------------------------------------------------------------------------
// Containers.

// A node with one child chain Son.
class TExprParent : public TExprClass {
public:
    explicit TExprParent(TExprPtr son = nullptr);
    TExprClass* Son() const { return m_Son.get(); }
    void SetSon(TExprPtr son);
    TExprPtr CutOffSon();

protected:
    void FontChanged() override;
    void CanvasChanged() override;
    virtual void SonFontChanged();
    virtual void SonCanvasChanged();

private:
    TExprPtr m_Son;
};

// A node with a second child chain Son2.
class TExprBigParent : public TExprParent {
public:
    TExprBigParent(TExprPtr son, TExprPtr son2);
    TExprClass* Son2() const { return m_Son2.get(); }
    void SetSon2(TExprPtr son2);

protected:
    void FontChanged() override;
    void CanvasChanged() override;
    virtual void Son2FontChanged();
    virtual void Son2CanvasChanged();

private:
    TExprPtr m_Son2;
};

// A base (Son) with two script slots drawn at 0.7 of the font height: Sub (slot 1) and Sup (slot 2).
class TExprTwinParent : public TExprParent {
public:
    static constexpr int SlotSub = 1;
    static constexpr int SlotSup = 2;

    TExprTwinParent(TExprPtr base, TExprPtr sub, TExprPtr sup);
    TExprClass* Sub() const { return m_Sub.get(); }
    TExprClass* Sup() const { return m_Sup.get(); }
    void SetScript(int slot, TExprPtr node);

protected:
    void FontChanged() override;
    void CanvasChanged() override;

private:
    TExprPtr m_Sub;
    TExprPtr m_Sup;
};

// A row: the nodes of Son side by side on a common middle line.
class TExprChain : public TExprParent {
public:
    explicit TExprChain(TExprPtr son = nullptr);

protected:
    void Paint(int X, int Y) override;
    int CalcWidth() override;
    int CalcHeight() override;
    int CalcMidLine(bool fromBottom) override;
    int CalcTopGap() override;
    void CalcItalic(int& left, int& right) override;
    int CalcJoinFlags() override;
    // Row sizes of the children, used by the bracketed rows too.
    int RowAscent();
    int RowDescent();
    int RowWidth();
    void PaintRow(int X, int Y, int midLine);
};

// ---------------------------------------------------------------------------------------------------
// Text and numbers.

// Upright text.
class TExprSimple : public TExprClass {
public:
    explicit TExprSimple(const QString& text);
    const QString& Text() const { return m_Text; }

protected:
    void Paint(int X, int Y) override;
    int CalcWidth() override;
    int CalcHeight() override;
    int CalcTopGap() override;
    // Left bearing of the first character when it overhangs (negative), else 0.
    int LeftOverhang();

    QString m_Text;
};

// Italic name.
class TExprVar : public TExprSimple {
public:
    explicit TExprVar(const QString& text);

protected:
    bool Italic() const override { return true; }
    void CalcItalic(int& left, int& right) override;
    int CalcSupPosX() override;
    int CalcSubPosX() override;
};

// Upright function name (sin, log): a simple argument follows it without brackets.
class TExprFuncName : public TExprSimple {
public:
    explicit TExprFuncName(const QString& text);
    bool ArgBracketsAlways() override { return false; }
};

// The character "*" set lower than the top of its box.
class TExprAsterix : public TExprSimple {
public:
    TExprAsterix();

protected:
    void Paint(int X, int Y) override;
};

// A number, optionally in exponent form (mantissa·10 with a raised exponent).
class TExprNumber : public TExprClass {
public:
    TExprNumber(double value, bool expForm);
    double Value() const { return m_Value; }
    const QString& Mantissa() const { return m_Mantissa; }
    const QString& Exponent() const { return m_Exponent; }
    bool ExpForm() const { return m_ExpForm; }
    void SetNumber(double x);

protected:
    virtual QString FormatValue();
    void Paint(int X, int Y) override;
    int CalcWidth() override;
    int CalcHeight() override;
    int CalcMidLine(bool fromBottom) override;
    int CalcTopGap() override;
    int CalcJoinFlags() override;
    // Forms the texts again from Value (after a subclass has set its format fields).
    void Reformat();
    QString MantissaText() const;

    double m_Value = 0;
    QString m_Mantissa;
    QString m_Exponent;
    bool m_ExpForm = false;
};

// A number with a fixed number of significant digits that turns to exponent form for small magnitudes.
class TExprExpNumber : public TExprNumber {
public:
    TExprExpNumber(double value, int precision, int digits, int expThreshold);
    int Precision() const { return m_Precision; }
    int Digits() const { return m_Digits; }
    int ExpThreshold() const { return m_ExpThreshold; }

protected:
    QString FormatValue() override;

private:
    int m_Precision;
    int m_Digits;
    int m_ExpThreshold;
};

// Sub- and superscripts on a base.
class TExprIndex : public TExprTwinParent {
public:
    TExprIndex(TExprPtr base, TExprPtr sub, TExprPtr sup);
    bool ArgBracketsAlways() override;

protected:
    void Paint(int X, int Y) override;
    int CalcWidth() override;
    int CalcHeight() override;
    int CalcMidLine(bool fromBottom) override;
    int CalcTopGap() override;
    int CalcJoinFlags() override;
    int Raise();
    int Drop();
};

// Horizontal space of n strokes (n may be negative).
class TExprSpace : public TExprClass {
public:
    explicit TExprSpace(int n);
    int Count() const { return m_N; }

protected:
    int CalcWidth() override;
    int CalcHeight() override { return 0; }

private:
    int m_N;
};

// A fraction: Son numerator over Son2 denominator.
class TExprRatio : public TExprBigParent {
public:
    TExprRatio(TExprPtr numerator, TExprPtr denominator);

protected:
    void Paint(int X, int Y) override;
    int CalcWidth() override;
    int CalcHeight() override;
    int CalcMidLine(bool fromBottom) override;
};

// Placeholder as tall as a letter, zero wide.
class TExprEmpty : public TExprClass {
public:
    TExprEmpty() = default;

protected:
    int CalcHeight() override;
};

// ---------------------------------------------------------------------------------------------------
// Brackets, signs, symbols, function application.

// A row in brackets that grow with it.
class TExprBracketed : public TExprChain {
public:
    static constexpr quint8 bkNone = 0;
    static constexpr quint8 bkRound = 1;
    static constexpr quint8 bkSquare = 2;
    static constexpr quint8 bkCurly = 3;
    static constexpr quint8 bkBar = 4;

    TExprBracketed(TExprPtr row, quint8 leftKind, quint8 rightKind);
    quint8 LeftKind() const { return m_LeftKind; }
    quint8 RightKind() const { return m_RightKind; }
    // Setting both kinds to bkNone removes the brackets.
    void SetKinds(quint8 leftKind, quint8 rightKind);
    virtual bool BracketsShown() { return true; }

protected:
    void Paint(int X, int Y) override;
    int CalcWidth() override;
    int CalcHeight() override;
    int CalcMidLine(bool fromBottom) override;
    int CalcTopGap() override;
    void CalcItalic(int& left, int& right) override;
    int CalcJoinFlags() override;
    int BracketWidth(quint8 kind);
    bool CurlyShown();
    void PaintBracket(quint8 kind, int X, int Y, int H, bool right);

private:
    quint8 m_LeftKind;
    quint8 m_RightKind;
};

// Round brackets, always drawn; never removed by the fraction rule.
class TExprRound : public TExprBracketed {
public:
    explicit TExprRound(TExprPtr row);

protected:
    int CalcJoinFlags() override;
};

// A function argument: round brackets drawn only when needed.
class TExprArgument : public TExprBracketed {
public:
    explicit TExprArgument(TExprPtr row);
    bool ForceBrackets() const { return m_ForceBrackets; }
    void SetForceBrackets(bool force);
    bool BracketsShown() override;

private:
    bool m_ForceBrackets = false;
};

// A power base: round brackets while it holds several items.
class TExprBase : public TExprBracketed {
public:
    explicit TExprBase(TExprPtr row);
    bool BracketsShown() override;
};

// One UTF-16 character.
class TExprExtSymbol : public TExprClass {
public:
    explicit TExprExtSymbol(quint16 code);
    quint16 Code() const { return m_Code; }

protected:
    void Paint(int X, int Y) override;
    int CalcWidth() override;
    int CalcHeight() override;
    int CalcTopGap() override;
    void CalcItalic(int& left, int& right) override;
    int CalcSupPosX() override;
    QString CodeText() const { return QString(QChar(m_Code)); }
    int LeftOverhang();

    quint16 m_Code;
};

// An operator or relation sign; codes below 32 are signs drawn here, others are characters.
class TExprSign : public TExprExtSymbol {
public:
    explicit TExprSign(quint16 code);
    bool ForcesBrackets() override;

protected:
    void Paint(int X, int Y) override;
    int CalcWidth() override;
    int CalcTopGap() override { return MaxInt; }
    int CalcJoinFlags() override;
};

class TExprComma : public TExprExtSymbol {
public:
    TExprComma();
    bool ForcesBrackets() override { return true; }

protected:
    int CalcTopGap() override { return MaxInt; }
};

// ħ, italic.
class TExprPlank : public TExprExtSymbol {
public:
    TExprPlank();

protected:
    bool Italic() const override { return true; }
    int CalcTopGap() override;
    void CalcItalic(int& left, int& right) override;
};

// λ with a bar.
class TExprLambda : public TExprExtSymbol {
public:
    TExprLambda();

protected:
    void Paint(int X, int Y) override;
};

// Δ drawn upside down.
class TExprNabla : public TExprExtSymbol {
public:
    TExprNabla();

protected:
    void Paint(int X, int Y) override;
};

// Function application: Son the name part, Son2 the argument.
class TExprCommonFunc : public TExprBigParent {
public:
    TExprCommonFunc(TExprPtr name, TExprPtr argument);

protected:
    void Paint(int X, int Y) override;
    int CalcWidth() override;
    int CalcHeight() override;
    int CalcMidLine(bool fromBottom) override;
    int CalcJoinFlags() override;
};

// Function application built from a name text: italic for one letter, upright otherwise.
class TExprFunc : public TExprCommonFunc {
public:
    TExprFunc(const QString& name, TExprPtr argument);
};

// "lim" with the limit expression (Son) below it at 0.7 of the font height.
class TExprLim : public TExprParent {
public:
    explicit TExprLim(TExprPtr limit);
    bool ArgBracketsAlways() override { return false; }

protected:
    void SonFontChanged() override;
    void Paint(int X, int Y) override;
    int CalcWidth() override;
    int CalcHeight() override;
    int CalcMidLine(bool fromBottom) override;
};

// ---------------------------------------------------------------------------------------------------
// Accents, arrays, roots, large operators.

// An accent over the base (Son).
class TExprCap : public TExprParent {
public:
    static constexpr quint8 csDots = 0;
    static constexpr quint8 csArrow = 1;
    static constexpr quint8 csHat = 2;
    static constexpr quint8 csTilde = 3;
    static constexpr quint8 csBar = 4;

    TExprCap(TExprPtr base, quint8 capStyle, int dotCount);
    quint8 CapStyle() const { return m_CapStyle; }
    int DotCount() const { return m_DotCount; }

protected:
    void Paint(int X, int Y) override;
    int CalcWidth() override;
    int CalcHeight() override;
    int CalcMidLine(bool fromBottom) override;
    int CalcSupPosX() override;
    int CalcSubPosX() override;
    int CalcSupPosY() override;
    int CalcTopGap() override;
    int CalcJoinFlags() override;
    int AccentHeight();
    int AccentWidth();
    int Extra();
    int InkCentre();
    int Shift();

private:
    quint8 m_CapStyle;
    int m_DotCount;
};

// n primes, used as a superscript.
class TExprStrokes : public TExprClass {
public:
    explicit TExprStrokes(int n);
    int Count() const { return m_Count; }

protected:
    void Paint(int X, int Y) override;
    int CalcWidth() override;
    int CalcHeight() override;

private:
    int m_Count;
};

// E|V: the expression Son with the value Son2 at the foot of a bar, V at 0.7 of the font height.
class TExprAtValue : public TExprBigParent {
public:
    TExprAtValue(TExprPtr expr, TExprPtr value);

protected:
    void Son2FontChanged() override;
    void Paint(int X, int Y) override;
    int CalcWidth() override;
    int CalcHeight() override;
    int CalcMidLine(bool fromBottom) override;
    int CalcJoinFlags() override;
};

// Lines of Son stacked vertically; Align 0 left, 1 centre, 2 right.
class TExprStand : public TExprParent {
public:
    TExprStand(TExprPtr lines, quint8 align);
    quint8 Align() const { return m_Align; }

protected:
    void Paint(int X, int Y) override;
    int CalcWidth() override;
    int CalcHeight() override;

private:
    quint8 m_Align;
};

// Cells of Son row by row in Cols × Rows equal cells.
class TExprMatrix : public TExprParent {
public:
    TExprMatrix(TExprPtr cells, int cols, int rows);
    int Cols() const { return m_Cols; }
    int Rows() const { return m_Rows; }

protected:
    void Paint(int X, int Y) override;
    int CalcWidth() override;
    int CalcHeight() override;
    void CalcCellSize();

private:
    int m_Cols;
    int m_Rows;
    int m_CellWidth = 0;
    int m_CellHeight = 0;
};

// Piecewise cases: value, condition, value, condition, ... behind a left curly brace.
class TExprCase : public TExprParent {
public:
    explicit TExprCase(TExprPtr chain);

protected:
    void Paint(int X, int Y) override;
    int CalcWidth() override;
    int CalcHeight() override;

private:
    struct Row {
        TExprClass* value;
        TExprClass* condition;
        int ascent;
        int descent;
    };
    template <typename F> void ForEachRow(F f);
    int RowsHeight();
};

// Square root (no index) or n-th root: Son the radicand, Son2 the index at 0.7 of the font height.
class TExprRoot : public TExprBigParent {
public:
    TExprRoot(TExprPtr radicand, TExprPtr index);

protected:
    void Son2FontChanged() override;
    void Paint(int X, int Y) override;
    int CalcWidth() override;
    int CalcHeight() override;
    int CalcMidLine(bool fromBottom) override;
    int IndexLift();
};

// A large operator over the operand Son with limits Sub (below) and Sup (above).
class TExprGroupOp : public TExprTwinParent {
public:
    TExprGroupOp(TExprPtr operand, TExprPtr lower, TExprPtr upper);
    // Height of the operator symbol; nested operators share it.
    int OperatorHeight();
    int SymbolWidth();

protected:
    virtual int CalcSymbolWidth() = 0;
    virtual void PaintLargeSymbol(int cx, int cy) = 0;
    virtual void PaintSmallSymbol(int cx, int cy) = 0;
    void Paint(int X, int Y) override;
    int CalcWidth() override;
    int CalcHeight() override;
    int CalcMidLine(bool fromBottom) override;
    int LowerHeight();
    int UpperHeight();
    double AspectXY() const; // horizontal / vertical pixels per inch
    // An outline of cubic segments from a point table in 1/10000 of h, y upwards, around (ox, oy); the
    // first point is a vertex, then triples of control, control, end; closed by a straight edge.
    QPainterPath OutlinePath(const int (*points)[2], int count, double ox, double oy, double h) const;
    // Fills and strokes such an outline.
    void PaintOutline(const int (*points)[2], int count, double ox, double oy, double h);

private:
    int m_OperatorHeight = 0;
    int m_SymbolWidth = 0;
};

class TExprSumma : public TExprGroupOp {
public:
    TExprSumma(TExprPtr operand, TExprPtr lower, TExprPtr upper);

protected:
    int CalcSymbolWidth() override;
    void PaintLargeSymbol(int cx, int cy) override;
    void PaintSmallSymbol(int cx, int cy) override;
};

class TExprProd : public TExprGroupOp {
public:
    TExprProd(TExprPtr operand, TExprPtr lower, TExprPtr upper);

protected:
    int CalcSymbolWidth() override;
    void PaintLargeSymbol(int cx, int cy) override;
    void PaintSmallSymbol(int cx, int cy) override;
};

class TExprCirc : public TExprGroupOp {
public:
    TExprCirc(TExprPtr operand, TExprPtr lower, TExprPtr upper);

protected:
    int CalcSymbolWidth() override;
    void PaintLargeSymbol(int cx, int cy) override;
    void PaintSmallSymbol(int cx, int cy) override;
};

// Integral with Multiplicity signs (0 or less: two signs, an ellipsis, a sign).
class TExprIntegral : public TExprGroupOp {
public:
    TExprIntegral(TExprPtr operand, int multiplicity, TExprPtr lower, TExprPtr upper);
    int Multiplicity() const { return m_Multiplicity; }

protected:
    int CalcSymbolWidth() override;
    void PaintLargeSymbol(int cx, int cy) override;
    void PaintSmallSymbol(int cx, int cy) override;
    int SignWidth();
    void PaintSigns(int cx, int cy, bool large);
    virtual void PaintSign(int left, int cy, bool large);

private:
    int m_Multiplicity;
};
