// The printed report: its data read from the results window, its blocks measured on the device, split
// into pages and painted with a running header and "Стр. n из m" on every page.
#include "results/ReportDocument.h"

#include "formula/ExprNodes.h"
#include "platform/ErrorDisplay.h"
#include "platform/Locale.h"
#include "scoring/Calc_Unit.h"

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QHash>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>
#include <QTextLayout>
#include <QTextOption>

#include <algorithm>
#include <limits>
#include <map>
#include <memory>
#include <numeric>
#include <vector>

namespace Results {

namespace {

// Column widths of the window's grids (its pixels); both add up to the same width.
const QVector<int> kTableWidths = {25, 69, 40, 40, 40, 40, 40, 40, 40, 40, 45, 45, 40, 84};
const QVector<int> kFooterWidths = {94, 40, 40, 40, 40, 40, 40, 40, 40, 45, 45, 40, 84};
const std::array<QString, 3> kTableTitles = {QStringLiteral("Профиль ППП"), QStringLiteral("Профиль ЭКП"),
                                             QStringLiteral("Профиль ТКП")};

// Page geometry in millimetres and type sizes in points.
constexpr double kMarginSide = 15;
constexpr double kMarginTopBottom = 12;
constexpr double kBodyFont = 8;
constexpr double kHeaderFont = 8;
constexpr double kTitleFont = 14;
constexpr double kSectionFont = 11;
constexpr double kParticularsFont = 10;
constexpr double kChartCaptionFont = 10;
constexpr double kMinCellFont = 4;
constexpr double kLineWidth = 0.5;
constexpr double kRuleGap = 4;     // between the running header or the page number and the body
constexpr double kSectionGap = 10; // above a section title
constexpr double kCellPadding = 2; // inside a cell, left and right
constexpr double kChartsPerPage = 3;
constexpr int kScreenDpi = 96; // the window's pixels, in which the formula picture's gaps are given

const QColor kHeaderBack(0xE4, 0xE4, 0xE4);
const QColor kFooterBack(0xF0, 0xF0, 0xF0);
const QColor kLineColor(0x60, 0x60, 0x60);
const QColor kPlusColor(255, 0, 0);
const QColor kMinusColor(0, 0, 255);

// The note and the particulars: wrapped between words, inside a word only when the word is wider than
// its room.
QTextOption wrapOption(Qt::Alignment alignment = Qt::AlignCenter) {
    QTextOption option(alignment);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    return option;
}

// A one-line text centred in a rectangle; `width` is its advance in `metrics`. Cheaper than a rectangle
// with alignment flags, which lays the text out again.
void drawCentred(QPainter& p, const QFontMetricsF& metrics, const QRectF& rect, const QString& text,
                 double width) {
    const double baseline = rect.center().y() + (metrics.ascent() - metrics.descent()) / 2;
    p.drawText(QPointF(rect.center().x() - width / 2, baseline), text);
}

// Texts of the tables and charts drawn as glyph runs: every distinct text of a font is shaped and
// measured once per document, and the texts of a block reach the page as one run per font, so a page
// holds one text object per block instead of one per cell.
class TTextRuns {
public:
    struct TShaped {
        QList<QGlyphRun> runs; // positions from the top left of the text
        double width = 0;
        double ascent = 0;
    };

    explicit TTextRuns(QPaintDevice* device) : m_device(device) {}

    const TShaped& Shaped(const QFont& font, const QString& text) {
        // A block asks with one font many times; its key is worked out when the font changes.
        if (!m_lastTexts || !(font == m_lastFont)) {
            std::unique_ptr<QHash<QString, TShaped>>& texts = m_shaped[font.key()];
            if (!texts)
                texts = std::make_unique<QHash<QString, TShaped>>();
            m_lastFont = font;
            m_lastTexts = texts.get();
        }
        QHash<QString, TShaped>& ofFont = *m_lastTexts;
        const auto found = ofFont.constFind(text);
        if (found != ofFont.constEnd())
            return *found;
        QTextLayout layout(text, font, m_device);
        QTextOption option;
        option.setWrapMode(QTextOption::NoWrap);
        layout.setTextOption(option);
        layout.beginLayout();
        QTextLine line = layout.createLine();
        TShaped shaped;
        if (line.isValid()) {
            line.setLineWidth(std::numeric_limits<float>::max());
            shaped.width = line.horizontalAdvance();
            shaped.ascent = line.ascent();
        }
        layout.endLayout();
        shaped.runs = layout.glyphRuns();
        return *ofFont.insert(text, shaped);
    }

private:
    QPaintDevice* m_device;
    std::map<QString, std::unique_ptr<QHash<QString, TShaped>>> m_shaped; // by font key
    QFont m_lastFont;
    QHash<QString, TShaped>* m_lastTexts = nullptr;
};

// Glyphs gathered for one drawing: one run per font.
class TGlyphBatch {
public:
    // A shaped text with its baseline at `baseline`, starting at `left`.
    void Add(const TTextRuns::TShaped& shaped, double left, double baseline) {
        const QPointF origin(left, baseline - shaped.ascent);
        for (const QGlyphRun& run : shaped.runs) {
            const QRawFont font = run.rawFont();
            auto part = std::find_if(m_parts.begin(), m_parts.end(),
                                     [&font](const TPart& candidate) { return candidate.font == font; });
            if (part == m_parts.end())
                part = m_parts.insert(m_parts.end(), TPart{font, {}, {}});
            part->indexes += run.glyphIndexes();
            for (const QPointF& position : run.positions())
                part->positions.append(position + origin);
        }
    }

    void Draw(QPainter& p) const {
        for (const TPart& part : m_parts) {
            QGlyphRun run;
            run.setRawFont(part.font);
            run.setGlyphIndexes(part.indexes);
            run.setPositions(part.positions);
            p.drawGlyphRun(QPointF(0, 0), run);
        }
    }

private:
    struct TPart {
        QRawFont font;
        QList<quint32> indexes;
        QList<QPointF> positions;
    };
    std::vector<TPart> m_parts;
};

QFont reportFont(double points, bool bold = false) {
    QFont f(QStringLiteral("Tahoma"));
    f.setPointSizeF(points);
    f.setBold(bold);
    // The page gets the outlines as designed; fitting them to a pixel grid would be wasted work.
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

// Measures and paints on one device: lengths in device pixels.
class TLayout {
public:
    TLayout(QPainter& painter, const TReportData& data)
        : m_painter(painter), m_data(data), m_device(*painter.device()), m_dpi(m_device.logicalDpiY()),
          m_width(m_device.width()) {
        m_headerHeight = lineHeight(reportFont(kHeaderFont, true)) + pt(kRuleGap) + pt(kLineWidth);
        m_footerHeight = lineHeight(reportFont(kHeaderFont)) + pt(kRuleGap);
        m_bodyTop = m_headerHeight + pt(kRuleGap);
        m_bodyHeight = m_device.height() - m_bodyTop - m_footerHeight;
    }

    double BodyTop() const { return m_bodyTop; }
    double BodyHeight() const { return m_bodyHeight; }

    QVector<TPageBlock> Blocks(QVector<TPageBlock>& repeats) {
        QVector<TPageBlock> blocks;
        addParticulars(blocks);
        addFormulas(blocks);
        for (int t = 0; t < int(m_data.Tables.size()); ++t)
            addTable(blocks, repeats, t);
        addCharts(blocks);
        return blocks;
    }

    void PaintFrame(int page, int pages) {
        QPainter& p = m_painter;
        const QFont bold = reportFont(kHeaderFont, true);
        const QFont plain = reportFont(kHeaderFont);
        const double line = lineHeight(bold);
        const QString printed = QStringLiteral("Дата печати: ") + Platform::DateToStr(m_data.Printed);
        const double printedWidth = QFontMetricsF(plain, &m_device).horizontalAdvance(printed);
        QString testee = m_data.Fio;
        if (!m_data.Group.isEmpty())
            testee += QStringLiteral(", группа ") + m_data.Group;
        testee = QFontMetricsF(bold, &m_device)
                     .elidedText(testee, Qt::ElideRight, m_width - printedWidth - pt(3 * kRuleGap));
        p.setPen(Qt::black);
        p.setFont(bold);
        p.drawText(QRectF(0, 0, m_width, line), Qt::AlignLeft | Qt::AlignVCenter, testee);
        p.setFont(plain);
        p.drawText(QRectF(0, 0, m_width, line), Qt::AlignRight | Qt::AlignVCenter, printed);
        const double rule = line + pt(kRuleGap / 2);
        p.setPen(QPen(kLineColor, pt(kLineWidth)));
        p.drawLine(QPointF(0, rule), QPointF(m_width, rule));
        p.setPen(Qt::black);
        const double bottom = m_device.height();
        p.drawText(QRectF(0, bottom - lineHeight(plain), m_width, lineHeight(plain)), Qt::AlignCenter,
                   QStringLiteral("Стр. %1 из %2").arg(page).arg(pages));
    }

private:
    double pt(double points) const { return points * m_dpi / 72.0; }
    double mm(double millimetres) const { return millimetres * m_dpi / 25.4; }
    double lineHeight(const QFont& font) const { return QFontMetricsF(font, &m_device).height(); }
    // Window pixels to device pixels, so that the tables fill the width of the page.
    double unit() const { return m_width / std::accumulate(kTableWidths.begin(), kTableWidths.end(), 0); }

    // A line of text as a block of its own, with `above` points of space over it.
    TPageBlock textBlock(const QString& text, const QFont& font, double above, bool keepWithNext) {
        TPageBlock b;
        const double h = lineHeight(font);
        b.Height = pt(above) + h;
        b.KeepWithNext = keepWithNext;
        const double width = m_width;
        b.Draw = [text, font, h, width, above = pt(above)](QPainter& p, double top) {
            p.setFont(font);
            p.setPen(Qt::black);
            p.drawText(QRectF(0, top + above, width, h), Qt::AlignLeft | Qt::AlignVCenter, text);
        };
        return b;
    }

    void addParticulars(QVector<TPageBlock>& blocks) {
        blocks.append(
            textBlock(QStringLiteral("Результаты тестирования"), reportFont(kTitleFont, true), 0, true));
        const QFont label = reportFont(kParticularsFont);
        const QFont value = reportFont(kParticularsFont, true);
        const std::array<std::pair<QString, QString>, 4> lines = {{
            {QStringLiteral("Фамилия, имя, отчество:"), m_data.Fio},
            {QStringLiteral("Группа:"), m_data.Group},
            {QStringLiteral("Пол:"), m_data.Sex},
            {QStringLiteral("Возраст:"), m_data.Age},
        }};
        double labelWidth = 0;
        for (const auto& line : lines)
            labelWidth = std::max(labelWidth, QFontMetricsF(label, &m_device).horizontalAdvance(line.first));
        labelWidth += pt(6);
        const double h = lineHeight(value) * 1.25;
        for (const auto& [caption, text] : lines) {
            TPageBlock b;
            b.Height = h;
            b.KeepWithNext = true;
            const double width = m_width;
            // A long name wraps under itself rather than running off the page, a word longer than the
            // line inside the word.
            const QTextOption wrap = wrapOption(Qt::AlignLeft | Qt::AlignTop);
            m_painter.setFont(value);
            const double needed =
                m_painter.boundingRect(QRectF(0, 0, width - labelWidth, 1e6), text, wrap).height();
            b.Height = std::max(h, needed + h - lineHeight(value));
            b.Draw = [=, height = b.Height](QPainter& p, double top) {
                p.setPen(Qt::black);
                p.setFont(label);
                p.drawText(QRectF(0, top, labelWidth, h), Qt::AlignLeft | Qt::AlignVCenter, caption);
                p.setFont(value);
                p.drawText(QRectF(labelWidth, top, width - labelWidth, height), text, wrap);
            };
            blocks.append(b);
        }
        blocks.last().KeepWithNext = false;
    }

    void addFormulas(QVector<TPageBlock>& blocks) {
        blocks.append(
            textBlock(QStringLiteral("Формулы:"), reportFont(kSectionFont, true), kSectionGap, true));
        // The picture's gaps and left edge are window pixels; the formula engine measures in device pixels
        // itself, from the font size in points.
        const double screen = double(m_dpi) / kScreenDpi;
        const double left = kFormulaLeft * screen;
        for (int i = 0; i < m_data.Formulas.size(); ++i) {
            const TFormulaText& line = m_data.Formulas[i];
            std::shared_ptr<TExprChain> chain = BuildFormulaLine(m_painter, line.Text);
            const double width = chain->Width();
            const double height = chain->Height();
            // A line wider than the page is drawn smaller instead of being cut at the edge.
            const double scale = width > 0 ? std::min(1.0, (m_width - left) / width) : 1.0;
            const double gap = line.Gap * screen;
            TPageBlock b;
            b.Height = gap + height * scale;
            // The title of each formula stays with its first line.
            b.KeepWithNext = line.Text == kDriveTitle || line.Text == kLatencyTitle;
            b.Draw = [chain, left, gap, scale](QPainter& p, double top) {
                p.save();
                p.translate(left, top + gap);
                p.scale(scale, scale);
                chain->Draw(0, 0, 0, 0);
                p.restore();
            };
            blocks.append(b);
        }
    }

    // Heights of the rows of a grid: the usual one, or more where the wrapped column needs it.
    QVector<double> rowHeights(const TReportGrid& grid) const {
        const double u = unit();
        const QFont font = reportFont(kBodyFont, grid.Bold);
        QVector<double> heights(grid.Rows.size(), grid.RowHeight * u);
        if (grid.WrapColumn < 0)
            return heights;
        const double width = grid.ColWidths.value(grid.WrapColumn) * u - pt(2 * kCellPadding);
        m_painter.setFont(font);
        // A row never grows beyond half a page, so it always fits under its table's title and header.
        const double most = m_bodyHeight / 2;
        for (int r = grid.HeaderRows; r < grid.Rows.size(); ++r) {
            const QString text = grid.Rows[r].value(grid.WrapColumn);
            if (text.isEmpty())
                continue;
            const double needed =
                m_painter.boundingRect(QRectF(0, 0, width, 1e6), text, wrapOption()).height() + pt(2);
            heights[r] = std::min(most, std::max(heights[r], needed));
        }
        return heights;
    }

    // Rows `first` to `last` of a grid as one block; merged areas lie within the rows of one block.
    // Painted in three passes (backgrounds, one path of all cell borders, texts), so that a page holds
    // few changes of pen and brush.
    TPageBlock gridBlock(const TReportGrid& grid, const QVector<double>& heights, int first, int last,
                         const QColor& back) const {
        TPageBlock b;
        for (int r = first; r <= last; ++r)
            b.Height += heights[r];
        const double u = unit();
        QVector<double> lefts{0};
        for (int w : grid.ColWidths)
            lefts.append(lefts.last() + w * u);
        const QFont font = reportFont(kBodyFont, grid.Bold || first < grid.HeaderRows);
        const double pad = pt(kCellPadding);
        const double line = pt(kLineWidth);
        const QPaintDevice* device = &m_device;
        b.Draw = [&grid, heights, first, last, back, lefts, font, pad, line, device,
                  texts = m_texts](QPainter& p, double top) {
            QVector<double> tops{top};
            for (int r = first; r <= last; ++r)
                tops.append(tops.last() + heights[r]);
            // The cells to paint: merged areas once, by their top-left cell.
            struct TCell {
                QRectF rect;
                const QString* text;
                bool wrap;
            };
            QVector<TCell> cells;
            for (int r = first; r <= last; ++r) {
                for (int c = 0; c < grid.ColWidths.size(); ++c) {
                    QRect area(c, r, 1, 1);
                    for (const QRect& m : grid.Merges)
                        if (m.contains(c, r))
                            area = m;
                    if (area.topLeft() != QPoint(c, r))
                        continue;
                    const int bottom = std::min(area.bottom(), last);
                    cells.append({QRectF(QPointF(lefts[c], tops[r - first]),
                                         QPointF(lefts[area.right() + 1], tops[bottom - first + 1])),
                                  &grid.Rows[r][c], c == grid.WrapColumn && r >= grid.HeaderRows});
                }
            }
            const QRectF whole(QPointF(0, top), QPointF(lefts.last(), tops.last()));
            const QColor fill = first < grid.HeaderRows ? kHeaderBack : back;
            if (fill != Qt::white)
                p.fillRect(whole, fill);
            QPainterPath borders;
            borders.addRect(whole);
            for (const TCell& cell : cells) {
                borders.moveTo(cell.rect.topRight());
                borders.lineTo(cell.rect.bottomRight());
                borders.lineTo(cell.rect.bottomLeft());
            }
            p.strokePath(borders, QPen(kLineColor, line));

            p.setPen(Qt::black);
            p.setFont(font);
            const QFontMetricsF metrics(font, device);
            const double lift = (metrics.ascent() - metrics.descent()) / 2;
            TGlyphBatch batch;
            for (const TCell& cell : cells) {
                const QString& text = *cell.text;
                if (text.isEmpty())
                    continue;
                const QRectF inner = cell.rect.adjusted(pad, 0, -pad, 0);
                if (cell.wrap) {
                    p.drawText(inner, text, wrapOption());
                    continue;
                }
                // A text wider than its cell is set smaller, never cut.
                const TTextRuns::TShaped& shaped = texts->Shaped(font, text);
                if (shaped.width <= inner.width()) {
                    batch.Add(shaped, cell.rect.center().x() - shaped.width / 2,
                              cell.rect.center().y() + lift);
                    continue;
                }
                QFont smaller = font;
                smaller.setPointSizeF(
                    std::max(kMinCellFont, font.pointSizeF() * inner.width() / shaped.width));
                const QFontMetricsF small(smaller, device);
                p.setFont(smaller);
                drawCentred(p, small, cell.rect, text, small.horizontalAdvance(text));
                p.setFont(font);
            }
            batch.Draw(p);
        };
        return b;
    }

    void addTable(QVector<TPageBlock>& blocks, QVector<TPageBlock>& repeats, int t) {
        const TReportTable& table = m_data.Tables[t];
        const TReportGrid& grid = table.Table;
        const QVector<double> heights = rowHeights(grid);
        const QVector<double> footerHeights = rowHeights(table.Footer);
        const QFont titleFont = reportFont(kSectionFont, true);
        const int section = int(repeats.size());

        TPageBlock title = textBlock(table.Title, titleFont, kSectionGap, true);
        title.Section = section;
        blocks.append(title);
        const int lastHeader = grid.HeaderRows - 1;
        TPageBlock header = gridBlock(grid, heights, 0, lastHeader, Qt::white);
        header.Section = section;
        header.KeepWithNext = true;
        blocks.append(header);

        // On a continuation page: the title marked as continued, then the header rows again.
        TPageBlock again = textBlock(table.Title + QStringLiteral(" (продолжение)"), titleFont, 0, true);
        const TPageBlock repeatedHeader = gridBlock(grid, heights, 0, lastHeader, Qt::white);
        const double titleHeight = again.Height;
        again.Height += repeatedHeader.Height;
        again.Draw = [drawTitle = again.Draw, drawHeader = repeatedHeader.Draw, titleHeight](QPainter& p,
                                                                                             double top) {
            drawTitle(p, top);
            drawHeader(p, top + titleHeight);
        };
        repeats.append(again);

        for (int r = grid.HeaderRows; r < grid.Rows.size(); ++r) {
            TPageBlock row = gridBlock(grid, heights, r, r, Qt::white);
            row.Section = section;
            // The last row goes with the footer, so a footer never stands without a row of its table.
            row.KeepWithNext = r == grid.Rows.size() - 1;
            blocks.append(row);
        }
        TPageBlock footer =
            gridBlock(table.Footer, footerHeights, 0, int(table.Footer.Rows.size()) - 1, kFooterBack);
        footer.Section = section;
        blocks.append(footer);
    }

    void addCharts(QVector<TPageBlock>& blocks) {
        const QFont headingFont = reportFont(kSectionFont, true);
        const double headingHeight = lineHeight(headingFont) + pt(kRuleGap);
        // Three tests share a page evenly; the last block of a page may not reach the page's bottom.
        const double blockHeight = (m_bodyHeight - headingHeight) / kChartsPerPage - 1;
        for (int j = 0; j < m_data.Charts.size(); ++j) {
            if (j % int(kChartsPerPage) == 0) {
                TPageBlock heading = textBlock(QStringLiteral("Профили"), headingFont, 0, true);
                heading.Height = headingHeight;
                heading.NewPage = true;
                blocks.append(heading);
            }
            blocks.append(chartBlock(m_data.Charts[j], blockHeight));
        }
    }

    // One test: its caption, then the ППП and ЭКП chart grids side by side under their labels.
    TPageBlock chartBlock(const TChartPage& chart, double height) const {
        TPageBlock b;
        b.Height = height;
        const QFont captionFont = reportFont(kChartCaptionFont, true);
        const QFont labelFont = reportFont(kSectionFont - 2, true);
        const QFont cellFont = reportFont(kBodyFont, true);
        const double captionHeight = lineHeight(captionFont) * 1.3;
        const double labelHeight = lineHeight(labelFont) * 1.2;
        const double gap = mm(8);
        const double chartWidth = (m_width - gap) / 2;
        const double colWidth = chartWidth / Calc::kFactorCount;
        // Rows keep the window's proportion (25 high for 40 wide) unless the block is too low for that.
        const double rowHeight =
            std::min(colWidth * 25 / 40, (height - captionHeight - labelHeight - pt(kRuleGap)) / kChartRows);
        const double line = pt(kLineWidth);
        const double width = m_width;
        b.Draw = [=, texts = m_texts](QPainter& p, double top) {
            p.setPen(Qt::black);
            p.setFont(captionFont);
            p.drawText(QRectF(0, top, width, captionHeight), Qt::AlignLeft | Qt::AlignVCenter, chart.Caption);
            for (int half = 0; half < 2; ++half) {
                const double left = half * (chartWidth + gap);
                double y = top + captionHeight;
                p.setPen(Qt::black);
                p.setFont(labelFont);
                p.drawText(QRectF(left, y, chartWidth, labelHeight), Qt::AlignLeft | Qt::AlignVCenter,
                           half == 0 ? QStringLiteral("ППП") : QStringLiteral("ЭКП"));
                y += labelHeight;
                const QStringView digits(chart.Counts);
                const QStringView plus = digits.mid(half * 16, 8);
                const QStringView minus = digits.mid(half * 16 + 8, 8);
                paintChart(p, *texts, QPointF(left, y), colWidth, rowHeight, plus, minus, cellFont, line);
            }
        };
        return b;
    }

    // The chart grid of the window: vector and factor names in two header rows, plus bars (red) from row
    // 7 upward, minus bars (blue) from row 8 downward. A bar is one filled rectangle, the grid one path.
    static void paintChart(QPainter& p, TTextRuns& texts, QPointF origin, double colWidth, double rowHeight,
                           QStringView plus, QStringView minus, const QFont& font, double line) {
        const auto count = [](QStringView digits, int c) {
            if (c >= digits.size() || !digits[c].isDigit())
                return 0;
            return std::min(int(kChartMaxBar), digits[c].digitValue());
        };
        const double left = origin.x();
        const double right = left + Calc::kFactorCount * colWidth;
        const double zero = origin.y() + (kHeaderRows + kChartMaxBar) * rowHeight;
        const double bottom = origin.y() + kChartRows * rowHeight;
        p.fillRect(QRectF(QPointF(left, origin.y()), QPointF(right, origin.y() + kHeaderRows * rowHeight)),
                   kHeaderBack);
        for (int c = 0; c < Calc::kFactorCount; ++c) {
            const double x = left + c * colWidth;
            if (const int up = count(plus, c))
                p.fillRect(QRectF(x, zero - up * rowHeight, colWidth, up * rowHeight), kPlusColor);
            if (const int down = count(minus, c))
                p.fillRect(QRectF(x, zero, colWidth, down * rowHeight), kMinusColor);
        }
        QPainterPath grid;
        for (int r = 0; r <= kChartRows; ++r) {
            grid.moveTo(left, origin.y() + r * rowHeight);
            grid.lineTo(right, origin.y() + r * rowHeight);
        }
        for (int c = 0; c <= Calc::kFactorCount; ++c) {
            // Row 0 has one cell per vector: no line inside a vector there.
            const double from = c % 2 == 1 ? origin.y() + rowHeight : origin.y();
            grid.moveTo(left + c * colWidth, from);
            grid.lineTo(left + c * colWidth, bottom);
        }
        p.strokePath(grid, QPen(kLineColor, line));
        p.setPen(QPen(Qt::black, 3 * line));
        p.drawLine(QPointF(left, zero), QPointF(right, zero));

        p.setPen(Qt::black);
        p.setFont(font);
        const QFontMetricsF metrics(font, p.device());
        const double lift = (metrics.ascent() - metrics.descent()) / 2;
        TGlyphBatch batch;
        const auto label = [&](const QRectF& rect, const QString& text) {
            const TTextRuns::TShaped& shaped = texts.Shaped(font, text);
            batch.Add(shaped, rect.center().x() - shaped.width / 2, rect.center().y() + lift);
        };
        for (int v = 0; v < 4; ++v)
            label(QRectF(left + 2 * v * colWidth, origin.y(), 2 * colWidth, rowHeight), Calc::VectorNames[v]);
        for (int c = 0; c < Calc::kFactorCount; ++c)
            label(QRectF(left + c * colWidth, origin.y() + rowHeight, colWidth, rowHeight),
                  Calc::FactorNames[c]);
        batch.Draw(p);
    }

    QPainter& m_painter;
    const TReportData& m_data;
    QPaintDevice& m_device;
    std::shared_ptr<TTextRuns> m_texts = std::make_shared<TTextRuns>(&m_device);
    int m_dpi;
    double m_width;
    double m_headerHeight = 0;
    double m_footerHeight = 0;
    double m_bodyTop = 0;
    double m_bodyHeight = 0;
};

} // namespace

TReportData ReportDataOf(const TResultsModel& model) {
    TReportData data;
    data.Fio = model.Particulars[0];
    data.Group = model.Particulars[1];
    data.Sex = model.Particulars[2];
    data.Age = model.Particulars[3];
    data.Printed = QDate::currentDate();
    data.Formulas = model.Formulas;
    for (int t = 0; t < 3; ++t) {
        TReportTable& table = data.Tables[t];
        table.Title = kTableTitles[t];
        table.Table = TReportGrid{kTableWidths, TableHeaders() + TableRows(model, TProfile(t)), TableMerges(),
                                  kHeaderRows};
        table.Table.WrapColumn = kNoteCol;
        const QVector<QStringList>& footer = model.Tables[t].Footer;
        table.Footer = TReportGrid{kFooterWidths, footer, FooterMerges(int(footer.size()))};
        table.Footer.Bold = true;
    }
    data.Charts = ChartPages(model);
    return data;
}

QPageLayout ReportPageLayout() {
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                       QMarginsF(kMarginSide, kMarginTopBottom, kMarginSide, kMarginTopBottom),
                       QPageLayout::Millimeter);
}

QVector<QVector<TPlacement>> Paginate(const QVector<TPageBlock>& blocks, const QVector<TPageBlock>& repeats,
                                      double bodyHeight) {
    QVector<QVector<TPlacement>> pages(1);
    QVector<bool> started(repeats.size(), false);
    double y = 0;
    for (int i = 0; i < blocks.size(); ++i) {
        const TPageBlock& block = blocks[i];
        double group = block.Height;
        for (int j = i; j + 1 < blocks.size() && blocks[j].KeepWithNext; ++j)
            group += blocks[j + 1].Height;
        const bool empty = pages.last().isEmpty();
        if (!empty && (block.NewPage || y + group > bodyHeight)) {
            pages.append(QVector<TPlacement>());
            y = 0;
            if (block.Section >= 0 && block.Section < repeats.size() && started[block.Section]) {
                pages.last().append(TPlacement{&repeats[block.Section], 0});
                y = repeats[block.Section].Height;
            }
        }
        pages.last().append(TPlacement{&block, y});
        y += block.Height;
        if (block.Section >= 0 && block.Section < started.size())
            started[block.Section] = true;
    }
    return pages;
}

int TReportDocument::Print(QPagedPaintDevice& device, int fromPage, int toPage) const {
    QPainter painter;
    if (!painter.begin(&device))
        throw Platform::EError(QStringLiteral("Не удается начать вывод документа"));
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    // The blocks hold formula lines measured on this painter; they go before it ends.
    int pageCount = 0;
    {
        TLayout layout(painter, m_data);
        QVector<TPageBlock> repeats;
        const QVector<TPageBlock> blocks = layout.Blocks(repeats);
        const QVector<QVector<TPlacement>> pages = Paginate(blocks, repeats, layout.BodyHeight());
        pageCount = int(pages.size());
        const int first = std::clamp(fromPage > 0 ? fromPage : 1, 1, pageCount);
        const int last = std::clamp(toPage > 0 ? toPage : pageCount, first, pageCount);
        for (int page = first; page <= last; ++page) {
            if (page > first && !device.newPage())
                throw Platform::EError(QStringLiteral("Не удается начать новую страницу документа"));
            layout.PaintFrame(page, pageCount);
            for (const TPlacement& placed : pages[page - 1])
                placed.Block->Draw(painter, layout.BodyTop() + placed.Top);
        }
    }
    if (!painter.end())
        throw Platform::EError(QStringLiteral("Не удается завершить вывод документа"));
    return pageCount;
}

} // namespace Results
