// The node protocol (fonts, metrics, cached sizes, drawing) and the basic nodes of the formula engine:
// containers, rows, text, numbers, indices, spaces and fractions.
#include "formula/ExprNodes.h"
#include "formula/ExprCommon.h"

#include <QFontMetrics>
#include <QGlyphRun>
#include <QLocale>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QRawFont>

#include <cmath>
#include <optional>
#include <vector>

using namespace ExprCommon;

namespace {

// Font of a new node; the results window sets its own size afterwards.
constexpr int kDefaultFontPixels = 11;
// UnitX is the text height of "+" divided by this.
constexpr double kUnitDivisor = 27.6;

} // namespace

// ===================================================================================================
// TExprClass

// The fonts of one pixel size: upright and italic, what was measured with them on the device they were
// last asked for, and the fonts of the script size below. Nodes of one size share them, so a font is
// resolved and measured once per size and not once per node.
struct TNodeFonts {
    // The metrics every node of the size works with (see TExprClass::CalcMetrics).
    struct TUnits {
        double unitX = 1;
        double unitY = 1;
        int lineX = 1;
        int lineY = 1;
    };

    // Lone characters of a style drawn as glyphs of the font the painter resolves the style to.
    struct TGlyphs {
        const QPainter* canvas = nullptr;
        QRawFont font;
        QGlyphRun run;
    };

    QFont upright;
    std::optional<QFont> italicFont;
    // For the fonts every node starts with (see defaultFonts), the number of script steps below the
    // default size; -1 for fonts a tree was given. The default ones are shared by all trees and are
    // never written to after they are made: they cache no measurements.
    int defaultLevel = -1;
    const QPaintDevice* device = nullptr;
    std::optional<QFontMetrics> uprightMetrics;
    std::optional<QFontMetrics> italicMetrics;
    std::optional<TUnits> units;
    std::unique_ptr<TGlyphs> glyphs[2];
    TNodeFontsPtr script;

    explicit TNodeFonts(const QFont& font, int level = -1) : upright(font), defaultLevel(level) {
        if (level >= 0)
            italic();
    }

    bool caches() const { return defaultLevel < 0; }

    // Whether a lone character of these fonts is its glyph and nothing else: no line drawn with it and no
    // change of case, which drawText would add.
    bool plainGlyphs() const {
        return !upright.underline() && !upright.overline() && !upright.strikeOut() &&
               upright.capitalization() == QFont::MixedCase;
    }

    const QFont& italic() {
        if (!italicFont) {
            italicFont = upright;
            italicFont->setItalic(true);
        }
        return *italicFont;
    }

    const QFont& font(bool isItalic) { return isItalic ? italic() : upright; }

    // Everything measured belongs to one device; another device measures again.
    void useDevice(const QPaintDevice* on) {
        if (on == device)
            return;
        device = on;
        uprightMetrics.reset();
        italicMetrics.reset();
        units.reset();
        for (auto& g : glyphs)
            g.reset();
    }

    QFontMetrics metrics(bool isItalic, const QPaintDevice* on) {
        if (!on)
            return QFontMetrics(font(isItalic));
        if (!caches())
            return QFontMetrics(font(isItalic), on);
        useDevice(on);
        std::optional<QFontMetrics>& cached = isItalic ? italicMetrics : uprightMetrics;
        if (!cached)
            cached.emplace(font(isItalic), on);
        return *cached;
    }
};

namespace {

// Pixel height of the font one script step below a font of the given height.
int scriptPixels(int pixels) { return std::max(1, roundEven(pixels * kScriptScale)); }

// The fonts every node starts with, and those of its scripts, scripts of scripts and so on down to one
// pixel: made once, shared by all trees being built, never changed.
const std::vector<TNodeFontsPtr>& defaultFonts() {
    static const std::vector<TNodeFontsPtr> levels = [] {
        std::vector<TNodeFontsPtr> fonts;
        QFont font(QStringLiteral("Times New Roman"));
        int pixels = kDefaultFontPixels;
        for (int level = 0;; ++level) {
            font.setPixelSize(pixels);
            fonts.push_back(std::make_shared<TNodeFonts>(font, level));
            if (pixels == scriptPixels(pixels))
                break;
            pixels = scriptPixels(pixels);
        }
        return fonts;
    }();
    return levels;
}

} // namespace

TExprClass::TExprClass() = default;

const TNodeFontsPtr& TExprClass::Fonts() const {
    // A node keeps the default fonts until a tree is given its own.
    return m_Fonts ? m_Fonts : defaultFonts().front();
}

const TNodeFontsPtr& TExprClass::ScriptFonts() const {
    const TNodeFontsPtr& fonts = Fonts();
    if (!fonts->caches()) {
        const std::vector<TNodeFontsPtr>& levels = defaultFonts();
        return levels[std::min(size_t(fonts->defaultLevel) + 1, levels.size() - 1)];
    }
    if (!fonts->script) {
        QFont scaled = fonts->upright;
        scaled.setPixelSize(scriptPixels(fonts->upright.pixelSize()));
        fonts->script = std::make_shared<TNodeFonts>(scaled);
    }
    return fonts->script;
}

const QFont& TExprClass::Font() const { return Fonts()->upright; }

TExprClass::~TExprClass() {
    // Unlink the followers one by one so a long chain does not recurse through the destructors.
    TExprPtr next = std::move(m_Next);
    while (next) {
        TExprPtr after = std::move(next->m_Next);
        next.reset();
        next = std::move(after);
    }
}

TExprClass* TExprClass::Last() {
    TExprClass* node = this;
    while (node->m_Next)
        node = node->m_Next.get();
    return node;
}

void TExprClass::AddNext(TExprPtr node) {
    if (!node)
        return;
    TExprClass* last = Last();
    TExprClass* added = node.get();
    last->m_Next = std::move(node);
    GiveFont(added, last->m_Fonts, *last);
    GiveCanvas(added, last->m_Canvas, *last);
}

void TExprClass::SetNext(TExprPtr node) {
    TExprPtr old = std::move(m_Next);
    old.reset();
    m_Next = std::move(node);
    if (m_Next)
        m_Next->SetParent(m_Parent);
}

TExprPtr TExprClass::CutOffNext() { return std::move(m_Next); }

void TExprClass::SetParent(TExprClass* parent) {
    for (TExprClass* node = this; node; node = node->m_Next.get())
        node->m_Parent = parent;
}

void TExprClass::SetCanvas(TCanvas* canvas) {
    if (canvas == m_Canvas)
        return;
    m_Canvas = canvas;
    if (m_Canvas) {
        m_InvalidMask = imAll;
        CalcMetrics();
    } else {
        m_InvalidMask = 0;
    }
    CanvasChanged();
    GiveCanvas(m_Next.get(), m_Canvas, *this);
}

void TExprClass::SetFont(const QFont& font) {
    QFont own = font;
    // Every size rule works on the pixel height; a font given in points is converted at the canvas's DPI.
    if (own.pixelSize() <= 0) {
        const int dpi = m_Canvas && m_Canvas->device() ? m_Canvas->device()->logicalDpiY() : 96;
        const double points = font.pointSizeF() > 0 ? font.pointSizeF() : 8;
        own.setPixelSize(std::max(1, roundEven(points * dpi / 72.0)));
    }
    m_Fonts = std::make_shared<TNodeFonts>(own);
    if (m_Canvas)
        CalcMetrics();
    FontChanged();
    GiveFont(m_Next.get(), m_Fonts, *this);
}

int TExprClass::FontHeight() const { return Fonts()->upright.pixelSize(); }

void TExprClass::SetFontHeight(int pixels) {
    QFont font = Font();
    font.setPixelSize(std::max(1, pixels));
    SetFont(font);
}

void TExprClass::SetFontSize(int points) {
    const int dpi = m_Canvas && m_Canvas->device() ? m_Canvas->device()->logicalDpiY() : 96;
    SetFontHeight(roundEven(points * dpi / 72.0));
}

void TExprClass::SetColor(quint32 color) { m_Color = color; }

quint32 TExprClass::EffectiveColor() const {
    const TExprClass* node = this;
    while (node) {
        if (node->m_Color != InheritColor)
            return node->m_Color;
        node = node->m_Parent;
    }
    return 0;
}

void TExprClass::CalcMetrics() {
    TNodeFonts& fonts = *Fonts();
    const QPaintDevice* device = m_Canvas ? m_Canvas->device() : nullptr;
    if (device && fonts.caches()) {
        // Once per size and device: every node of the size has the same.
        fonts.useDevice(device);
        if (fonts.units) {
            m_UnitX = fonts.units->unitX;
            m_UnitY = fonts.units->unitY;
            m_LineX = fonts.units->lineX;
            m_LineY = fonts.units->lineY;
            return;
        }
    }
    const QFontMetrics fm = fonts.metrics(false, device);
    m_UnitX = fm.height() / kUnitDivisor;
    const double dpiX = device ? device->logicalDpiX() : 96;
    const double dpiY = device ? device->logicalDpiY() : 96;
    m_UnitY = m_UnitX * dpiY / dpiX;
    m_LineY = std::max(1, fm.boundingRect(QChar('_')).height());
    m_LineX = std::max(1, roundEven(dpiX * m_LineY / dpiY));
    if (device && fonts.caches())
        fonts.units = TNodeFonts::TUnits{m_UnitX, m_UnitY, m_LineX, m_LineY};
}

void TExprClass::CopyMetrics(const TExprClass& from) {
    m_UnitX = from.m_UnitX;
    m_UnitY = from.m_UnitY;
    m_LineX = from.m_LineX;
    m_LineY = from.m_LineY;
}

// Both walk the chain from node on in a loop (a long row must not recurse once per node); each node
// takes the metrics over from its predecessor when the font height is the same.
void TExprClass::GiveFont(TExprClass* node, const TNodeFontsPtr& fonts, const TExprClass& from) {
    for (const TExprClass* prev = &from; node; prev = node, node = node->m_Next.get()) {
        node->m_Fonts = fonts;
        if (node->m_Canvas) {
            if (node->m_Canvas == prev->m_Canvas && node->FontHeight() == prev->FontHeight())
                node->CopyMetrics(*prev);
            else
                node->CalcMetrics();
        }
        node->FontChanged();
    }
}

void TExprClass::GiveCanvas(TExprClass* node, TCanvas* canvas, const TExprClass& from) {
    // A node that has the canvas already keeps it, and so do its followers.
    for (const TExprClass* prev = &from; node && node->m_Canvas != canvas;
         prev = node, node = node->m_Next.get()) {
        node->m_Canvas = canvas;
        if (canvas) {
            node->m_InvalidMask = imAll;
            if (node->FontHeight() == prev->FontHeight() && prev->m_Canvas == canvas)
                node->CopyMetrics(*prev);
            else
                node->CalcMetrics();
        } else {
            node->m_InvalidMask = 0;
        }
        node->CanvasChanged();
    }
}

// The followers in the chain get the font and the canvas from the loops of GiveFont and GiveCanvas.
void TExprClass::FontChanged() { m_InvalidMask = imAll; }

void TExprClass::CanvasChanged() {}

void TExprClass::ApplyFont() {
    if (!m_Canvas)
        return;
    const QColor color = DrawColor();
    if (m_Canvas->pen().color() != color || m_Canvas->pen().style() != Qt::SolidLine)
        m_Canvas->setPen(color);
}

void TExprClass::Paint(int, int) {}

int TExprClass::CalcWidth() { return 0; }
int TExprClass::CalcHeight() { return 0; }

int TExprClass::CalcMidLine(bool fromBottom) { return fromBottom ? -((Height() - 1) / 2) : Height() / 2; }

int TExprClass::CalcSupPosX() { return Width(); }
int TExprClass::CalcSubPosX() { return Width(); }
int TExprClass::CalcSupPosY() { return TextHeight() / 2; }
int TExprClass::CalcSubPosY() { return Height() - TextHeight() / 2 - 2; }
int TExprClass::CalcTopGap() { return 0; }

void TExprClass::CalcItalic(int& left, int& right) {
    left = 0;
    right = 0;
}

int TExprClass::CalcJoinFlags() { return TouchLeft + TouchRight; }

QFontMetrics TExprClass::Metrics() const {
    return Fonts()->metrics(Italic(), m_Canvas ? m_Canvas->device() : nullptr);
}

int TExprClass::TextWidth(const QString& text) const {
    // One character needs no shaping: its advance is that of the glyph.
    const QFontMetrics fm = Metrics();
    return text.size() == 1 ? fm.horizontalAdvance(text.front()) : fm.horizontalAdvance(text);
}
int TExprClass::TextHeight() const { return Metrics().height(); }

namespace {

// Glyphs at least this large are filled as outlines by the raster engine, not drawn from its glyph cache.
constexpr int kLargestCachedGlyph = 64;

// Whether a lone character is drawn as its glyph: one of the Latin and common characters, which a font
// maps to one glyph without any shaping, left to right (right to left mirrors brackets), on the raster
// engine, with at most a translation, in a size that the engine draws from its glyph cache. Such a glyph
// comes out exactly as drawText would draw it; a non-raster engine (a PDF) keeps text as text.
bool drawnAsGlyph(const QPainter& canvas, QChar ch, int pixels) {
    if (pixels >= kLargestCachedGlyph || !ch.isPrint() || ch.isMark())
        return false;
    const QChar::Category category = ch.category();
    if (category == QChar::Separator_Line || category == QChar::Separator_Paragraph)
        return false;
    const QChar::Script script = ch.script();
    if (script != QChar::Script_Common && script != QChar::Script_Latin)
        return false;
    const QPaintEngine* engine = canvas.paintEngine();
    return engine && engine->type() == QPaintEngine::Raster && canvas.layoutDirection() != Qt::RightToLeft &&
           canvas.combinedTransform().type() <= QTransform::TxTranslate;
}

} // namespace

void TExprClass::TextOut(int X, int Y, const QString& text) { TextOut(X, Y, text, Fonts(), Italic()); }

void TExprClass::TextOut(int X, int Y, const QString& text, const TNodeFontsPtr& fonts, bool italic) {
    if (!m_Canvas || text.isEmpty())
        return;
    const QColor color = DrawColor();
    if (m_Canvas->pen().color() != color || m_Canvas->pen().style() == Qt::NoPen)
        m_Canvas->setPen(color);
    const QPoint baseline(X, Y + fonts->metrics(italic, m_Canvas->device()).ascent());
    const QFont& font = fonts->font(italic);
    // A single character, the most common text of a formula, needs no shaping: its glyph is drawn
    // directly, without setting the painter's font, which makes the painter resolve the font again.
    if (text.size() == 1 && fonts->caches() && fonts->plainGlyphs() &&
        drawnAsGlyph(*m_Canvas, text.front(), font.pixelSize())) {
        fonts->useDevice(m_Canvas->device());
        std::unique_ptr<TNodeFonts::TGlyphs>& cached = fonts->glyphs[italic ? 1 : 0];
        if (!cached || cached->canvas != m_Canvas) {
            // The font the painter draws the style in, with whatever it takes over from the device.
            if (m_Canvas->font() != font)
                m_Canvas->setFont(font);
            cached = std::make_unique<TNodeFonts::TGlyphs>();
            cached->canvas = m_Canvas;
            cached->font = QRawFont::fromFont(m_Canvas->font());
            cached->run.setRawFont(cached->font);
        }
        TNodeFonts::TGlyphs& glyphs = *cached;
        const QChar ch = text.front();
        quint32 glyph = 0;
        int count = 1;
        if (glyphs.font.isValid() && glyphs.font.glyphIndexesForChars(&ch, 1, &glyph, &count) && count == 1 &&
            glyph != 0) {
            static constexpr QPointF kOrigin(0, 0);
            glyphs.run.setRawData(&glyph, &kOrigin, 1);
            m_Canvas->drawGlyphRun(baseline, glyphs.run);
            return;
        }
        // Not in the font: drawText finds it in another one.
    }
    if (m_Canvas->font() != font)
        m_Canvas->setFont(font);
    m_Canvas->drawText(baseline, text);
}

#define EXPR_CACHED(query, bit, member, compute)                                                             \
    int TExprClass::query() {                                                                                \
        if (m_InvalidMask & (bit)) {                                                                         \
            m_InvalidMask &= ~(bit);                                                                         \
            member = clampSize(compute);                                                                     \
        }                                                                                                    \
        return member;                                                                                       \
    }

EXPR_CACHED(Width, imWidth, m_Width, CalcWidth())
EXPR_CACHED(Height, imHeight, m_Height, CalcHeight())
EXPR_CACHED(MidLineUp, imMidLineUp, m_MidLineUp, CalcMidLine(false))
EXPR_CACHED(MidLineDn, imMidLineDn, m_MidLineDn, CalcMidLine(true))
EXPR_CACHED(SupPosX, imSupPosX, m_SupPosX, CalcSupPosX())
EXPR_CACHED(SupPosY, imSupPosY, m_SupPosY, CalcSupPosY())
EXPR_CACHED(SubPosX, imSubPosX, m_SubPosX, CalcSubPosX())
EXPR_CACHED(SubPosY, imSubPosY, m_SubPosY, CalcSubPosY())
#undef EXPR_CACHED

// TopGap keeps the largest integer as "no ink at all" (signs, the ellipsis).
int TExprClass::TopGap() {
    if (m_InvalidMask & imTopGap) {
        m_InvalidMask &= ~imTopGap;
        m_TopGap = std::max(-MaxSize, CalcTopGap());
    }
    return m_TopGap;
}

int TExprClass::ItalicLeft() {
    if (m_InvalidMask & imItalic) {
        m_InvalidMask &= ~imItalic;
        CalcItalic(m_ItalicLeft, m_ItalicRight);
        m_ItalicLeft = clampSize(m_ItalicLeft);
        m_ItalicRight = clampSize(m_ItalicRight);
    }
    return m_ItalicLeft;
}

int TExprClass::ItalicRight() {
    ItalicLeft();
    return m_ItalicRight;
}

void TExprClass::Draw(int X, int Y, int HAlign, int VAlign) {
    if (!m_Canvas || std::abs(X) > MaxCoord || std::abs(Y) > MaxCoord)
        return;
    if (HAlign == 1)
        X -= Width() / 2;
    else if (HAlign == 2)
        X -= Width() - 1;
    if (VAlign == 1)
        Y -= MidLineUp();
    else if (VAlign == 2)
        Y -= Height() - 1;
    m_Canvas->setBackgroundMode(Qt::TransparentMode);
    ApplyFont();
    Paint(X, Y);
}

void TExprClass::SetPenAndBrush() {
    if (!m_Canvas)
        return;
    const QColor color = DrawColor();
    m_Canvas->setPen(QPen(color, 1, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    m_Canvas->setBrush(QBrush(color));
}

// ===================================================================================================
// Containers

TExprParent::TExprParent(TExprPtr son) { SetSon(std::move(son)); }

void TExprParent::SetSon(TExprPtr son) {
    TExprPtr old = std::move(m_Son);
    old.reset();
    m_Son = std::move(son);
    if (m_Son) {
        m_Son->SetParent(this);
        SonFontChanged();
        SonCanvasChanged();
    }
    Invalidate();
}

TExprPtr TExprParent::CutOffSon() {
    Invalidate();
    return std::move(m_Son);
}

void TExprParent::FontChanged() {
    TExprClass::FontChanged();
    SonFontChanged();
}

void TExprParent::CanvasChanged() {
    TExprClass::CanvasChanged();
    SonCanvasChanged();
}

void TExprParent::SonFontChanged() { GiveFont(m_Son.get(), SharedFonts(), *this); }
void TExprParent::SonCanvasChanged() { GiveCanvas(m_Son.get(), Canvas(), *this); }

TExprBigParent::TExprBigParent(TExprPtr son, TExprPtr son2) : TExprParent(std::move(son)) {
    SetSon2(std::move(son2));
}

void TExprBigParent::SetSon2(TExprPtr son2) {
    TExprPtr old = std::move(m_Son2);
    old.reset();
    m_Son2 = std::move(son2);
    if (m_Son2) {
        m_Son2->SetParent(this);
        Son2FontChanged();
        Son2CanvasChanged();
    }
    Invalidate();
}

void TExprBigParent::FontChanged() {
    TExprParent::FontChanged();
    Son2FontChanged();
}

void TExprBigParent::CanvasChanged() {
    TExprParent::CanvasChanged();
    Son2CanvasChanged();
}

void TExprBigParent::Son2FontChanged() { GiveFont(m_Son2.get(), SharedFonts(), *this); }
void TExprBigParent::Son2CanvasChanged() { GiveCanvas(m_Son2.get(), Canvas(), *this); }

TExprTwinParent::TExprTwinParent(TExprPtr base, TExprPtr sub, TExprPtr sup) : TExprParent(std::move(base)) {
    SetScript(SlotSub, std::move(sub));
    SetScript(SlotSup, std::move(sup));
}

void TExprTwinParent::SetScript(int slot, TExprPtr node) {
    TExprPtr& place = slot == SlotSub ? m_Sub : m_Sup;
    TExprPtr old = std::move(place);
    old.reset();
    place = std::move(node);
    if (place) {
        place->SetParent(this);
        GiveFont(place.get(), ScriptFonts(), *this);
        GiveCanvas(place.get(), Canvas(), *this);
    }
    Invalidate();
}

void TExprTwinParent::FontChanged() {
    TExprParent::FontChanged();
    GiveFont(m_Sub.get(), ScriptFonts(), *this);
    GiveFont(m_Sup.get(), ScriptFonts(), *this);
}

void TExprTwinParent::CanvasChanged() {
    TExprParent::CanvasChanged();
    GiveCanvas(m_Sub.get(), Canvas(), *this);
    GiveCanvas(m_Sup.get(), Canvas(), *this);
}

// ===================================================================================================
// TExprChain

TExprChain::TExprChain(TExprPtr son) : TExprParent(std::move(son)) {}

int TExprChain::RowAscent() {
    int ascent = 0;
    for (TExprClass* c = Son(); c; c = c->Next())
        ascent = std::max(ascent, c->MidLineUp() + 1);
    return ascent;
}

int TExprChain::RowDescent() {
    int descent = 0;
    for (TExprClass* c = Son(); c; c = c->Next())
        descent = std::max(descent, c->Height() - c->MidLineUp() - 1);
    return descent;
}

int TExprChain::RowWidth() {
    qint64 width = 0;
    for (TExprClass* c = Son(); c; c = c->Next())
        width += c->Width();
    return clampSize(width);
}

void TExprChain::PaintRow(int X, int Y, int midLine) {
    qint64 x = X;
    for (TExprClass* c = Son(); c && std::abs(x) <= MaxCoord; c = c->Next()) {
        c->Draw(int(x), Y + midLine, 0, 1);
        x += c->Width();
    }
}

void TExprChain::Paint(int X, int Y) { PaintRow(X, Y, MidLineUp()); }
int TExprChain::CalcWidth() { return RowWidth(); }
int TExprChain::CalcHeight() { return RowAscent() + RowDescent(); }
int TExprChain::CalcMidLine(bool fromBottom) { return fromBottom ? -RowDescent() : RowAscent() - 1; }

int TExprChain::CalcTopGap() {
    int gap = MaxInt;
    for (TExprClass* c = Son(); c; c = c->Next())
        gap = std::min(gap, c->TopGap());
    return gap;
}

void TExprChain::CalcItalic(int& left, int& right) {
    left = Son() ? Son()->ItalicLeft() : 0;
    right = Son() ? Son()->Last()->ItalicRight() : 0;
}

int TExprChain::CalcJoinFlags() {
    if (!Son())
        return TouchLeft + TouchRight;
    return (Son()->JoinFlags() & (TouchLeft | SignFirst)) + (Son()->Last()->JoinFlags() & TouchRight);
}

// ===================================================================================================
// TExprSimple, TExprVar, TExprFuncName, TExprAsterix

TExprSimple::TExprSimple(const QString& text) : m_Text(text) {}

int TExprSimple::LeftOverhang() {
    if (m_Text.isEmpty())
        return 0;
    return std::min(0, Metrics().leftBearing(m_Text.front()));
}

int TExprSimple::CalcWidth() {
    const QFontMetrics fm = Metrics();
    int width = TextWidth(m_Text);
    if (!m_Text.isEmpty()) {
        width -= std::min(0, fm.leftBearing(m_Text.front()));
        width -= std::min(0, fm.rightBearing(m_Text.back()));
    }
    return width;
}

int TExprSimple::CalcHeight() { return TextHeight(); }

void TExprSimple::Paint(int X, int Y) { TextOut(X - LeftOverhang(), Y, m_Text); }

int TExprSimple::CalcTopGap() {
    if (m_Text.isEmpty())
        return 0;
    const int b = cp1251Byte(m_Text.front());
    double units = 9.5;
    if (b <= 64 || (b >= 91 && b <= 96) || (b >= 123 && b <= 167) || (b >= 169 && b <= 183) ||
        (b >= 185 && b <= 191))
        units = 0;
    else if ((b >= 'A' && b <= 'Z') || b == 'b' || b == 'd' || b == 'f' || b == 'h' || b == 'k' || b == 'l' ||
             (b >= 0xC0 && b <= 0xC8) || (b >= 0xCA && b <= 0xDF))
        units = 4;
    else if (b == 'i' || b == 'j' || b == 't' || b == 0xB8 || b == 0xE9)
        units = 7;
    else if (b == 0xA8 || b == 0xC9)
        units = 2.5;
    return roundEven(units * m_UnitY);
}

TExprVar::TExprVar(const QString& text) : TExprSimple(text) {}

void TExprVar::CalcItalic(int& left, int& right) {
    left = right = 0;
    if (m_Text.isEmpty())
        return;
    const ushort f = m_Text.front().unicode();
    const ushort l = m_Text.back().unicode();
    auto in = [](ushort c, char a, char b) { return c >= ushort(a) && c <= ushort(b); };
    double lu = 0;
    if (f == 'A' || f == 'f')
        lu = 5;
    else if (f == 'C' || in(f, 'G', 'K') || in(f, 'M', 'O') || f == 'Q' || f == 'X' || f == 'p')
        lu = 2;
    else if (in(f, 'U', 'W'))
        lu = 1.5;
    else if (in(f, 91, 96) || f == 'x')
        lu = 0;
    else if (f == 'u' || f == 'v' || f == 'w')
        lu = -0.5;
    else if (in(f, 'A', 'z'))
        lu = 1;
    double ru = 0;
    if (l == 'A' || l == 'f')
        ru = 5.5;
    else if (l == 'B' || in(l, 'D', 'F') || l == 'I' || l == 'P' || l == 'R' || l == 'X')
        ru = 4;
    else if (l == 'M' || l == 'N')
        ru = 1.5;
    else if (l == 'T')
        ru = 2.4;
    else if (in(l, 'a', 'e') || l == 'g' || l == 'h' || l == 'k' || in(l, 'm', 'o') || in(l, 'q', 's') ||
             in(l, 'u', 'z'))
        ru = 1;
    else if (l == 'i' || l == 'j' || l == 'l' || l == 't')
        ru = 3;
    else if (in(l, 'A', 'Z') || in(l, 'a', 'z'))
        ru = 2;
    left = roundEven(lu * m_UnitX);
    right = roundEven(ru * m_UnitX);
}

int TExprVar::CalcSupPosX() {
    const QChar l = m_Text.isEmpty() ? QChar() : m_Text.back();
    const double u = (l == 'd' || l == 'f') ? 2 : l == 'r' ? 1 : 0;
    return Width() + roundEven(u * m_UnitX);
}

int TExprVar::CalcSubPosX() {
    const QChar l = m_Text.isEmpty() ? QChar() : m_Text.back();
    const double u = l == 'R' ? 1.5 : l == 'W' ? 6 : l == 'x' ? 1 : 3;
    return Width() - roundEven(u * m_UnitX);
}

TExprFuncName::TExprFuncName(const QString& text) : TExprSimple(text) {}

TExprAsterix::TExprAsterix() : TExprSimple(QStringLiteral("*")) {}

void TExprAsterix::Paint(int X, int Y) { TExprSimple::Paint(X, Y + roundEven(8 * m_UnitY)); }

// ===================================================================================================
// TExprNumber, TExprExpNumber

namespace {

// General format: shortest form with up to 15 significant digits, exponent for very large or small values,
// with the locale's decimal separator.
QString generalFormat(double x) {
    // Whole numbers, the common case, need neither the exponent nor the locale's separator.
    if (std::fabs(x) < 1e15 && x == std::trunc(x) && !(x == 0 && std::signbit(x)))
        return QString::number(qint64(x));
    QString s = QString::number(x, 'g', 15).toUpper();
    const int e = s.indexOf(u'E');
    if (e >= 0) {
        // "1.5E-20" and "1E+20": exponent without "+" and leading zeros.
        QString exponent = s.mid(e + 1);
        const bool negative = exponent.startsWith(u'-');
        exponent.remove(0, exponent.startsWith(u'-') || exponent.startsWith(u'+') ? 1 : 0);
        while (exponent.size() > 1 && exponent.front() == u'0')
            exponent.remove(0, 1);
        s = s.left(e) + u'E' + (negative ? QStringLiteral("-") : QString()) + exponent;
    }
    return s.replace(u'.', QLocale().decimalPoint());
}

// Exponent format with the given significant digits and no minimum of exponent digits: "1.5000E-20".
QString exponentFormat(double x, int digits) {
    if (!std::isfinite(x))
        return generalFormat(x);
    QString s = QString::number(x, 'e', std::max(0, digits - 1)).toUpper();
    const int e = s.indexOf(u'E');
    QString exponent = s.mid(e + 1);
    const QChar sign = exponent.front();
    exponent.remove(0, 1);
    while (exponent.size() > 1 && exponent.front() == u'0')
        exponent.remove(0, 1);
    QString result = s.left(e) + u'E' + sign + exponent;
    return result.replace(u'.', QLocale().decimalPoint());
}

double toNumber(QString s) { return s.replace(QLocale().decimalPoint(), QStringLiteral(".")).toDouble(); }

} // namespace

TExprNumber::TExprNumber(double value, bool expForm) : m_Value(value == 0 ? 1 : 0), m_ExpForm(expForm) {
    SetNumber(value);
}

void TExprNumber::SetNumber(double x) {
    if (x == m_Value)
        return;
    m_Value = x;
    Reformat();
}

void TExprNumber::Reformat() {
    const QString s = FormatValue();
    const int e = s.indexOf(u'E');
    if (e >= 0) {
        m_Mantissa = generalFormat(toNumber(s.left(e)));
        QString exponent = s.mid(e + 1);
        if (exponent.startsWith(u'+'))
            exponent.remove(0, 1);
        while (exponent.size() > 1 && exponent.front() == u'0')
            exponent.remove(0, 1);
        m_Exponent = exponent;
    } else {
        // A whole number in the general format is in that format already.
        const bool whole =
            !s.isEmpty() && std::all_of(s.begin(), s.end(), [](QChar c) { return c.isDigit() || c == u'-'; });
        m_Mantissa = whole ? s : generalFormat(toNumber(s));
        m_Exponent.clear();
    }
    Invalidate(imWidth | imHeight | imTopGap);
}

QString TExprNumber::FormatValue() {
    return m_ExpForm ? exponentFormat(m_Value, 14) : generalFormat(m_Value);
}

QString TExprNumber::MantissaText() const {
    if (m_Exponent.isEmpty())
        return m_Mantissa;
    if (m_Mantissa == QLatin1String("1"))
        return QStringLiteral("10");
    return m_Mantissa + QChar(0xB7) + QStringLiteral("10");
}

int TExprNumber::CalcWidth() {
    int width = TextWidth(MantissaText());
    if (!m_Exponent.isEmpty())
        width += ScriptFonts()
                     ->metrics(false, Canvas() ? Canvas()->device() : nullptr)
                     .horizontalAdvance(m_Exponent);
    return width;
}

int TExprNumber::CalcHeight() {
    const int h = TextHeight();
    return m_Exponent.isEmpty() ? h : roundEven(h * 1.2);
}

int TExprNumber::CalcMidLine(bool fromBottom) {
    if (m_Exponent.isEmpty())
        return TExprClass::CalcMidLine(fromBottom);
    const int h = TextHeight();
    return fromBottom ? -((h - 1) / 2) : roundEven(h * 0.2) + h / 2;
}

int TExprNumber::CalcTopGap() { return roundEven(m_UnitY * (m_Exponent.isEmpty() ? 8 : 3)); }

int TExprNumber::CalcJoinFlags() { return m_Value < 0 ? TouchRight + SignFirst : TouchRight; }

void TExprNumber::Paint(int X, int Y) {
    if (m_Exponent.isEmpty()) {
        TextOut(X, Y, m_Mantissa);
        return;
    }
    const QString first = MantissaText();
    const int d = roundEven(TextHeight() * 0.2);
    TextOut(X, Y + d, first);
    TextOut(X + TextWidth(first), Y, m_Exponent, ScriptFonts(), false);
}

TExprExpNumber::TExprExpNumber(double value, int precision, int digits, int expThreshold)
    : TExprNumber(value, false), m_Precision(precision), m_Digits(digits), m_ExpThreshold(expThreshold) {
    Reformat();
}

QString TExprExpNumber::FormatValue() {
    const int precision = std::clamp(m_Precision, 1, 18);
    if (m_Value != 0 && std::log10(std::fabs(m_Value)) <= -m_ExpThreshold)
        return exponentFormat(m_Value, precision);
    // Fixed format: Precision significant digits, then Digits decimals; exponent form when the integer
    // part has more digits than Precision.
    const double magnitude = std::fabs(m_Value);
    if (magnitude >= 1 && std::floor(std::log10(magnitude)) + 1 > precision)
        return exponentFormat(m_Value, precision);
    const double significant = QString::number(m_Value, 'g', precision).toDouble();
    return QString::number(significant, 'f', std::clamp(m_Digits, 0, 18))
        .replace(u'.', QLocale().decimalPoint());
}

// ===================================================================================================
// TExprIndex

TExprIndex::TExprIndex(TExprPtr base, TExprPtr sub, TExprPtr sup)
    : TExprTwinParent(std::move(base), std::move(sub), std::move(sup)) {}

bool TExprIndex::ArgBracketsAlways() { return !dynamic_cast<TExprFuncName*>(Son()); }

int TExprIndex::Raise() {
    if (!Sup() || !Son())
        return 0;
    return std::max(0, Sup()->Height() - Son()->SupPosY());
}

int TExprIndex::Drop() {
    if (!Sub() || !Son())
        return 0;
    return std::max(0, Sub()->Height() + Son()->SubPosY() - Son()->Height());
}

int TExprIndex::CalcWidth() {
    TExprClass* b = Son();
    if (!b)
        return 0;
    int width = b->Width();
    if (Sub())
        width = std::max(width, b->SubPosX() + Sub()->Width());
    if (Sup())
        width = std::max(width, b->SupPosX() + Sup()->Width());
    return width;
}

int TExprIndex::CalcHeight() { return Son() ? Son()->Height() + Drop() + Raise() : 0; }

int TExprIndex::CalcMidLine(bool fromBottom) {
    if (!Son())
        return 0;
    return fromBottom ? Son()->MidLineDn() - Drop() : Son()->MidLineUp() + Raise();
}

int TExprIndex::CalcTopGap() {
    if (Sup())
        return Sup()->TopGap();
    return Son() ? Son()->TopGap() : 0;
}

int TExprIndex::CalcJoinFlags() { return (Son() ? Son()->JoinFlags() : 0) | TouchRight; }

void TExprIndex::Paint(int X, int Y) {
    TExprClass* b = Son();
    if (!b)
        return;
    const int raise = Raise();
    if (Sup())
        Sup()->Draw(X + b->SupPosX(), Y + raise + b->SupPosY(), 0, 2);
    b->Draw(X, Y + raise, 0, 0);
    if (Sub())
        Sub()->Draw(X + b->SubPosX(), Y + raise + b->SubPosY(), 0, 0);
}

// ===================================================================================================
// TExprSpace, TExprRatio, TExprEmpty

TExprSpace::TExprSpace(int n) : m_N(n) {}

int TExprSpace::CalcWidth() { return clampSize(qint64(m_N) * m_LineX); }

TExprRatio::TExprRatio(TExprPtr numerator, TExprPtr denominator)
    : TExprBigParent(std::move(numerator), std::move(denominator)) {}

int TExprRatio::CalcWidth() { return std::max(widthOf(Son()), widthOf(Son2())) + 8 * m_LineX; }
int TExprRatio::CalcHeight() { return heightOf(Son()) + 3 * m_LineY + heightOf(Son2()); }

int TExprRatio::CalcMidLine(bool fromBottom) {
    return fromBottom ? -(heightOf(Son2()) + m_LineY + m_LineY / 2) : heightOf(Son()) + m_LineY + m_LineY / 2;
}

void TExprRatio::Paint(int X, int Y) {
    const int m = Y + MidLineUp();
    const int c = X + Width() / 2;
    if (Son())
        Son()->Draw(c, m - m_LineY - m_LineY / 2, 1, 2);
    if (Son2())
        Son2()->Draw(c, m + m_LineY + m_LineY / 2, 1, 0);
    SetPenAndBrush();
    const int left = X + 3 * m_LineX;
    const int right = X + Width() - 3 * m_LineX; // inclusive
    Canvas()->fillRect(QRect(left, m - m_LineY / 2, right - left + 1, m_LineY), Canvas()->brush());
}

int TExprEmpty::CalcHeight() { return TextHeight(); }
