// The worksheet model: rows of compact cells keyed by row number, merges as rectangles, and the
// row and area operations over them; the sheet's XML is read once and written back as a stream.
#include "platform/XlsxWorksheet.h"

#include "platform/ErrorDisplay.h"
#include "platform/XlsxNumber.h"
#include "platform/XlsxWorkbook.h"

#include <QHash>
#include <QSet>
#include <QXmlStreamReader>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

namespace Platform {

namespace {

const QString kRelNs = QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships");
const QString kDrawingType =
    QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships/drawing");
const QString kImageType =
    QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships/image");
constexpr int kEmuPerPixel = 9525;

// Child order of a worksheet element; new children are put in their place.
const QStringList kSheetOrder = {QStringLiteral("sheetPr"),
                                 QStringLiteral("dimension"),
                                 QStringLiteral("sheetViews"),
                                 QStringLiteral("sheetFormatPr"),
                                 QStringLiteral("cols"),
                                 QStringLiteral("sheetData"),
                                 QStringLiteral("sheetCalcPr"),
                                 QStringLiteral("sheetProtection"),
                                 QStringLiteral("protectedRanges"),
                                 QStringLiteral("scenarios"),
                                 QStringLiteral("autoFilter"),
                                 QStringLiteral("sortState"),
                                 QStringLiteral("dataConsolidate"),
                                 QStringLiteral("customSheetViews"),
                                 QStringLiteral("mergeCells"),
                                 QStringLiteral("phoneticPr"),
                                 QStringLiteral("conditionalFormatting"),
                                 QStringLiteral("dataValidations"),
                                 QStringLiteral("hyperlinks"),
                                 QStringLiteral("printOptions"),
                                 QStringLiteral("pageMargins"),
                                 QStringLiteral("pageSetup"),
                                 QStringLiteral("headerFooter"),
                                 QStringLiteral("rowBreaks"),
                                 QStringLiteral("colBreaks"),
                                 QStringLiteral("customProperties"),
                                 QStringLiteral("cellWatches"),
                                 QStringLiteral("ignoredErrors"),
                                 QStringLiteral("smartTags"),
                                 QStringLiteral("drawing"),
                                 QStringLiteral("legacyDrawing"),
                                 QStringLiteral("legacyDrawingHF"),
                                 QStringLiteral("picture"),
                                 QStringLiteral("oleObjects"),
                                 QStringLiteral("controls"),
                                 QStringLiteral("webPublishItems"),
                                 QStringLiteral("tableParts"),
                                 QStringLiteral("extLst")};

[[noreturn]] void fail(const QString& what) { throw EError(what); }

// Column letters of the columns a report uses, made once; others are made when asked.
QByteArray columnLetters(int col) {
    // Built once, read-only afterwards: safe from any thread.
    static const std::vector<QByteArray> letters = [] {
        std::vector<QByteArray> v(1);
        for (int c = 1; c <= 702; ++c)
            v.push_back(CellName(1, c).chopped(1).toLatin1());
        return v;
    }();
    if (col > 0 && col < int(letters.size()))
        return letters[col];
    return CellName(1, col).chopped(1).toLatin1();
}

// Puts `node` among the children of `parent` before the first child that comes after it in `order`.
XNode& insertOrdered(XNode& parent, XNode node, const QStringList& order) {
    const int rank = order.indexOf(node.name);
    auto it = std::find_if(parent.kids.begin(), parent.kids.end(),
                           [&](const XNode& k) { return order.indexOf(k.name) > rank; });
    return *parent.kids.insert(it, std::move(node));
}

QString rangeName(const QRect& r) {
    const QString a = CellName(r.top(), r.left());
    return r.width() == 1 && r.height() == 1 ? a : a + QLatin1Char(':') + CellName(r.bottom(), r.right());
}

bool parseRange(const QString& ref, QRect& rect) {
    const QStringList parts = ref.split(QLatin1Char(':'));
    int r1, c1, r2, c2;
    if (parts.size() > 2 || !ParseCellName(parts.value(0), r1, c1))
        return false;
    r2 = r1;
    c2 = c1;
    if (parts.size() > 1 && !ParseCellName(parts[1], r2, c2))
        return false;
    rect = QRect(QPoint(std::min(c1, c2), std::min(r1, r2)), QPoint(std::max(c1, c2), std::max(r1, r2)));
    return true;
}

QString relsOf(const QString& path) {
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    return path.left(slash + 1) + QStringLiteral("_rels/") + path.mid(slash + 1) + QStringLiteral(".rels");
}

// Texts as the file can hold them: characters XML cannot carry dropped, cut at the cell limit (between
// characters).
QString cellText(const QString& text) {
    QString out = XmlSafeText(text);
    if (out.size() > kMaxCellChars)
        out.truncate(out[kMaxCellChars - 1].isHighSurrogate() ? kMaxCellChars - 1 : kMaxCellChars);
    return out;
}

// A number as the file holds it: the shortest text that reads back as the same double.
std::string numberText(double value) {
    char digits[32];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    return std::string(digits, size_t(end - digits));
}

using MergeKey = QPair<qint64, qint64>;
MergeKey mergeKey(const QRect& r) {
    return {qint64(r.top()) << 32 | quint32(r.left()), qint64(r.bottom()) << 32 | quint32(r.right())};
}

} // namespace

// ---- addresses

QString CellName(int row, int col) {
    QString letters;
    for (int c = col; c > 0; c = (c - 1) / 26)
        letters.prepend(QChar(u'A' + (c - 1) % 26));
    return letters + QString::number(row);
}

bool ParseCellName(QStringView ref, int& row, int& col) {
    // Both parts are checked against the grid while they are read, so no sum can overflow.
    col = 0;
    row = 0;
    qsizetype i = 0;
    for (; i < ref.size() && ref[i] >= u'A' && ref[i] <= u'Z'; ++i) {
        col = col * 26 + (ref[i].unicode() - u'A' + 1);
        if (col > kMaxSheetCols)
            return false;
    }
    if (i == 0 || i == ref.size())
        return false;
    for (qsizetype k = i; k < ref.size(); ++k) {
        if (ref[k] < u'0' || ref[k] > u'9')
            return false;
        row = row * 10 + (ref[k].unicode() - u'0');
        if (row > kMaxSheetRows)
            return false;
    }
    return row > 0;
}

// ---- reading

TXlsxWorksheet::TXlsxWorksheet(TXlsxWorkbook* book, const QString& name, const QString& path)
    : m_book(book), m_name(name), m_path(path) {}

void TXlsxWorksheet::parse(const QByteArray& xml) {
    QXmlStreamReader r(xml);
    r.setNamespaceProcessing(false);
    while (!r.atEnd() && !r.isStartElement())
        r.readNext();
    if (!r.isStartElement())
        fail(QStringLiteral("Лист %1 книги пуст").arg(m_name));
    m_root.name = r.qualifiedName().toString();
    for (const QXmlStreamAttribute& a : r.attributes())
        m_root.attrs.append({a.qualifiedName().toString(), a.value().toString()});
    for (const auto& [key, value] : m_root.attrs)
        if (HasNonXmlChars(m_root.name) || HasNonXmlChars(key) || HasNonXmlChars(value))
            fail(QStringLiteral("Ошибка в листе %1 книги: недопустимый символ").arg(m_name));
    // The rows are read into the row map, the rest into the tree; sheetData stays as an empty placeholder.
    while (!r.atEnd()) {
        r.readNext();
        if (r.isEndElement())
            break;
        if (!r.isStartElement())
            continue;
        if (r.name() == QLatin1String("sheetData")) {
            m_root.kids.push_back(XNode{QStringLiteral("sheetData"), {}, {}, {}});
            int nextRow = 1;
            while (!r.atEnd()) {
                r.readNext();
                if (r.isEndElement())
                    break;
                if (!r.isStartElement())
                    continue;
                XNode rowNode = ReadXmlElement(r, m_path);
                const QString rowText = rowNode.attr(QStringLiteral("r"));
                bool ok = true;
                const int rowNo = rowText.isEmpty() ? nextRow : rowText.toInt(&ok);
                if (!ok || rowNo <= 0 || rowNo > kMaxSheetRows)
                    fail(QStringLiteral("Лист %1: неверный номер строки %2").arg(m_name, rowText));
                nextRow = rowNo + 1;
                TRow& row = m_rows[rowNo];
                rowNode.removeAttr(QStringLiteral("r"));
                rowNode.removeAttr(QStringLiteral("spans"));
                row.attrs = rowNode.attrs;
                int nextCol = 1;
                for (XNode& c : rowNode.kids) {
                    int cr = rowNo, cc = nextCol;
                    const QString ref = c.attr(QStringLiteral("r"));
                    if (!ref.isEmpty() && (!ParseCellName(ref, cr, cc) || cr != rowNo))
                        fail(QStringLiteral("Лист %1: неверный адрес ячейки %2").arg(m_name, ref));
                    if (cc > kMaxSheetCols)
                        fail(QStringLiteral("Лист %1: слишком много ячеек в строке %2")
                                 .arg(m_name)
                                 .arg(rowNo));
                    c.removeAttr(QStringLiteral("r"));
                    bool styled = false;
                    const int style = c.attr(QStringLiteral("s")).toInt(&styled);
                    c.removeAttr(QStringLiteral("s"));
                    TCell cell{cc, styled ? style : -1, 0, TKind::Blank};
                    const QString type = c.attr(QStringLiteral("t"));
                    bool shared = false;
                    if (type == QLatin1String("s") && c.attrs.size() == 1 && c.kids.size() == 1 &&
                        c.kids[0].name == QLatin1String("v")) {
                        cell.value = c.kids[0].text.toInt(&shared);
                        shared = shared && cell.value >= 0;
                    }
                    if (shared)
                        cell.kind = TKind::Shared;
                    else if (!c.kids.empty() || !c.attrs.isEmpty()) {
                        cell.kind = TKind::Raw;
                        cell.value = m_book->addRawCell(std::move(c));
                    }
                    row.cells.push_back(cell);
                    nextCol = cc + 1;
                }
                // Cells in any order (and a column given twice: the last wins), sorted once per row so
                // that a row of many cells costs no more than its sorting.
                std::stable_sort(row.cells.begin(), row.cells.end(),
                                 [](const TCell& a, const TCell& b) { return a.col < b.col; });
                std::vector<TCell> unique;
                unique.reserve(row.cells.size());
                for (const TCell& c : row.cells) {
                    if (!unique.empty() && unique.back().col == c.col)
                        unique.back() = c;
                    else
                        unique.push_back(c);
                }
                row.cells = std::move(unique);
            }
        } else if (r.name() == QLatin1String("mergeCells")) {
            const XNode merges = ReadXmlElement(r, m_path);
            for (const XNode& m : merges.kids) {
                QRect rect;
                if (parseRange(m.attr(QStringLiteral("ref")), rect))
                    m_merges.push_back(rect);
            }
        } else {
            m_root.kids.push_back(ReadXmlElement(r, m_path));
        }
    }
    if (r.hasError())
        fail(QStringLiteral("Ошибка в листе %1 книги: %2").arg(m_name, r.errorString()));
    m_hasPicture = m_root.child(QStringLiteral("drawing")) != nullptr;
}

// ---- writing

void TXlsxWorksheet::serialize(const std::function<void(const char*, qsizetype)>& sink,
                               qsizetype chunk) const {
    XNode root = m_root;
    if (XNode* dim = root.child(QStringLiteral("dimension")))
        dim->setAttr(QStringLiteral("ref"), Dimension());
    // A placeholder where the merges go: they are written straight from the rectangles below.
    if (!m_merges.empty())
        insertOrdered(root, XNode{QStringLiteral("mergeCells"), {}, {}, {}}, kSheetOrder);
    for (size_t k = 0; k < m_addedFormats.size(); ++k) {
        XNode cf = m_addedFormats[k];
        cf.setAttr(QStringLiteral("sqref"), m_addedRanges[k].join(QLatin1Char(' ')));
        insertOrdered(root, std::move(cf), kSheetOrder);
    }
    if (!m_pageBreaks.empty() && !root.child(QStringLiteral("rowBreaks"))) {
        const QString count = QString::number(m_pageBreaks.size());
        XNode breaks{QStringLiteral("rowBreaks"),
                     {{QStringLiteral("count"), count}, {QStringLiteral("manualBreakCount"), count}},
                     {},
                     {}};
        // A break's id is the last row of the page before it.
        for (const int row : m_pageBreaks)
            breaks.kids.push_back(XNode{QStringLiteral("brk"),
                                        {{QStringLiteral("id"), QString::number(row - 1)},
                                         {QStringLiteral("max"), QStringLiteral("16383")},
                                         {QStringLiteral("man"), QStringLiteral("1")}},
                                        {},
                                        {}});
        insertOrdered(root, std::move(breaks), kSheetOrder);
    }

    // The hot path writes ASCII and numbers only: a plain byte string, appended without checks per call.
    std::string out(kXmlDeclaration.constData(), size_t(kXmlDeclaration.size()));
    out.reserve(size_t(chunk) + 64 * 1024);
    QByteArray scratch;
    const auto put = [&out](const QByteArray& bytes) { out.append(bytes.constData(), size_t(bytes.size())); };
    const auto putInt = [&out](int value) {
        char digits[16];
        const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        out.append(digits, size_t(end - digits));
    };
    const auto flushIfFull = [&] {
        if (qsizetype(out.size()) >= chunk) {
            sink(out.data(), qsizetype(out.size()));
            out.clear(); // keeps the capacity
        }
    };
    const QByteArray rootName = root.name.toUtf8();
    out += '<';
    put(rootName);
    scratch.clear();
    WriteXmlAttrs(scratch, root.attrs);
    put(scratch);
    out += '>';
    const auto putCell = [&](int row, int col) {
        put(columnLetters(col));
        putInt(row);
    };
    for (const XNode& kid : root.kids) {
        if (kid.name == QLatin1String("mergeCells")) {
            out += "<mergeCells count=\"";
            putInt(int(m_merges.size()));
            out += "\">";
            for (const QRect& m : m_merges) {
                out += "<mergeCell ref=\"";
                putCell(m.top(), m.left());
                out += ':';
                putCell(m.bottom(), m.right());
                out += "\"/>";
            }
            out += "</mergeCells>";
            flushIfFull();
            continue;
        }
        if (kid.name != QLatin1String("sheetData")) {
            scratch.clear();
            WriteXmlElement(scratch, kid);
            put(scratch);
            flushIfFull();
            continue;
        }
        out += "<sheetData>";
        for (const auto& [rowNo, row] : m_rows) {
            out += "<row r=\"";
            putInt(rowNo);
            out += '"';
            if (!row.attrs.isEmpty()) {
                scratch.clear();
                WriteXmlAttrs(scratch, row.attrs);
                put(scratch);
            }
            out += '>';
            for (const TCell& cell : row.cells) {
                out += "<c r=\"";
                putCell(rowNo, cell.col);
                out += '"';
                if (cell.style >= 0) {
                    out += " s=\"";
                    putInt(cell.style);
                    out += '"';
                }
                switch (cell.kind) {
                case TKind::Blank:
                    out += "/>";
                    break;
                case TKind::Shared:
                    out += " t=\"s\"><v>";
                    putInt(cell.value);
                    out += "</v></c>";
                    break;
                case TKind::Integer:
                    out += "><v>";
                    putInt(cell.value);
                    out += "</v></c>";
                    break;
                case TKind::Number:
                    out += "><v>";
                    out += numberText(m_book->number(cell.value));
                    out += "</v></c>";
                    break;
                case TKind::Raw: {
                    const XNode& raw = m_book->rawCell(cell.value);
                    scratch.clear();
                    WriteXmlAttrs(scratch, raw.attrs);
                    if (raw.kids.empty()) {
                        scratch += "/>";
                    } else {
                        scratch += '>';
                        for (const XNode& k : raw.kids)
                            WriteXmlElement(scratch, k);
                        scratch += "</c>";
                    }
                    put(scratch);
                    break;
                }
                }
            }
            out += "</row>";
            flushIfFull();
        }
        out += "</sheetData>";
    }
    out += "</";
    put(rootName);
    out += '>';
    sink(out.data(), qsizetype(out.size()));
}

// ---- cells

void TXlsxWorksheet::checkRow(int row, const char* operation) {
    if (row < 1 || row > kMaxSheetRows)
        fail(QStringLiteral("%1: неверный номер строки %2").arg(QLatin1String(operation)).arg(row));
}

TXlsxWorksheet::TCell& TXlsxWorksheet::cellAt(int row, int col) {
    // Cells are mostly written row by row, left to right: the last row is kept at hand (map values never
    // move), and a cell right of the row's last one is appended.
    if (row != m_lastRowNo || !m_lastRow) {
        m_lastRow = &m_rows[row];
        m_lastRowNo = row;
    }
    std::vector<TCell>& cells = m_lastRow->cells;
    if (cells.empty() || cells.back().col < col) {
        cells.push_back(TCell{col, -1, 0, TKind::Blank});
        return cells.back();
    }
    auto it = std::lower_bound(cells.begin(), cells.end(), col,
                               [](const TCell& c, int value) { return c.col < value; });
    if (it->col != col)
        it = cells.insert(it, TCell{col, -1, 0, TKind::Blank});
    return *it;
}

const TXlsxWorksheet::TCell* TXlsxWorksheet::findCell(int row, int col) const {
    const auto r = m_rows.find(row);
    if (r == m_rows.end())
        return nullptr;
    const std::vector<TCell>& cells = r->second.cells;
    const auto it = std::lower_bound(cells.begin(), cells.end(), col,
                                     [](const TCell& c, int value) { return c.col < value; });
    return it == cells.end() || it->col != col ? nullptr : &*it;
}

bool TXlsxWorksheet::HasCell(int row, int col) const { return findCell(row, col) != nullptr; }

void TXlsxWorksheet::SetText(int row, int col, const QString& text) {
    if (row < 1 || col < 1 || row > kMaxSheetRows || col > kMaxSheetCols)
        fail(QStringLiteral("Неверный адрес ячейки (%1, %2)").arg(row).arg(col));
    TCell& c = cellAt(row, col);
    c.kind = TKind::Shared;
    c.value = m_book->internString(cellText(text));
}

void TXlsxWorksheet::SetRange(int row, int col, const QVector<QStringList>& values, int rows, int cols) {
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            SetText(row + r, col + c, values.value(r).value(c));
}

void TXlsxWorksheet::SetNumber(int row, int col, double value, const QString& format) {
    if (row < 1 || col < 1 || row > kMaxSheetRows || col > kMaxSheetCols)
        fail(QStringLiteral("Неверный адрес ячейки (%1, %2)").arg(row).arg(col));
    if (!std::isfinite(value))
        fail(QStringLiteral("Ячейка %1: число вне допустимых пределов").arg(CellName(row, col)));
    TCell& c = cellAt(row, col);
    if (!format.isEmpty())
        c.style = m_book->numberFormatStyle(std::max(c.style, 0), format);
    constexpr double kIntLimit = 1 << 30;
    if (value == std::trunc(value) && std::abs(value) < kIntLimit) {
        c.kind = TKind::Integer;
        c.value = int(value);
    } else {
        c.kind = TKind::Number;
        c.value = m_book->addNumber(value);
    }
}

void TXlsxWorksheet::SetTyped(int row, int col, const QString& text, QChar decimalPoint) {
    // Most texts of a report are no numbers: the first character decides for them without parsing.
    const bool maybe = !text.isEmpty() && (text[0].isDigit() || text[0] == u'-');
    if (maybe) {
        if (const auto number = ParseTypedNumber(text, decimalPoint)) {
            const TCell* c = findCell(row, col);
            if (!IsTextFormat(m_book->styleNumberFormat(c ? std::max(c->style, 0) : 0))) {
                SetNumber(row, col, number->value, number->format);
                return;
            }
        }
    }
    SetText(row, col, text);
}

void TXlsxWorksheet::SetTypedRange(int row, int col, const QVector<QStringList>& values, int rows, int cols,
                                   QChar decimalPoint) {
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            SetTyped(row + r, col + c, values.value(r).value(c), decimalPoint);
}

bool TXlsxWorksheet::Number(int row, int col, double& value) const {
    const TCell* c = findCell(row, col);
    if (!c)
        return false;
    if (c->kind == TKind::Integer || c->kind == TKind::Number) {
        value = c->kind == TKind::Integer ? c->value : m_book->number(c->value);
        return true;
    }
    if (c->kind != TKind::Raw)
        return false;
    // A number of a workbook read from a file: a value without a type, or of type "n".
    const XNode& raw = m_book->rawCell(c->value);
    const QString type = raw.attr(QStringLiteral("t"));
    const XNode* v = raw.child(QStringLiteral("v"));
    if (!v || (!type.isEmpty() && type != QLatin1String("n")))
        return false;
    bool ok = false;
    value = v->text.toDouble(&ok);
    return ok;
}

QString TXlsxWorksheet::NumberFormat(int row, int col) const {
    const TCell* c = findCell(row, col);
    return m_book->styleNumberFormat(c ? std::max(c->style, 0) : 0);
}

QString TXlsxWorksheet::Text(int row, int col) const {
    const TCell* c = findCell(row, col);
    if (!c || c->kind == TKind::Blank)
        return {};
    if (c->kind == TKind::Shared)
        return m_book->sharedString(c->value);
    if (c->kind == TKind::Integer)
        return QString::number(c->value);
    if (c->kind == TKind::Number)
        return QString::fromStdString(numberText(m_book->number(c->value)));
    const XNode& raw = m_book->rawCell(c->value);
    const QString type = raw.attr(QStringLiteral("t"));
    if (type == QLatin1String("inlineStr")) {
        QString s;
        if (const XNode* is = raw.child(QStringLiteral("is"))) {
            for (const XNode& k : is->kids) {
                if (k.name == QLatin1String("t"))
                    s += k.text;
                else if (k.name == QLatin1String("r"))
                    if (const XNode* t = k.child(QStringLiteral("t")))
                        s += t->text;
            }
        }
        return s;
    }
    const XNode* v = raw.child(QStringLiteral("v"));
    if (!v)
        return {};
    if (type == QLatin1String("s"))
        return m_book->sharedString(v->text.toInt());
    return v->text;
}

void TXlsxWorksheet::ForEachCell(const std::function<void(int, int, const QString&)>& visit) const {
    for (const auto& [rowNo, row] : m_rows)
        for (const TCell& c : row.cells)
            visit(rowNo, c.col, Text(rowNo, c.col));
}

void TXlsxWorksheet::SetBold(int row1, int col1, int row2, int col2) {
    for (int r = row1; r <= row2; ++r)
        for (int c = col1; c <= col2; ++c) {
            TCell& cell = cellAt(r, c);
            cell.style = m_book->boldStyle(std::max(cell.style, 0));
        }
}

bool TXlsxWorksheet::IsBold(int row, int col) const {
    const TCell* c = findCell(row, col);
    return m_book->styleIsBold(c ? std::max(c->style, 0) : 0);
}

// ---- rows

void TXlsxWorksheet::AutoFill(int row, int col1, int col2, int lastRow) {
    if (lastRow <= row)
        return;
    checkRow(lastRow, "AutoFill");
    const TRow source = m_rows[row];
    std::vector<TCell> fill;
    for (const TCell& c : source.cells)
        if (c.col >= col1 && c.col <= col2)
            fill.push_back(c);
    std::vector<QRect> rowMerges;
    QSet<MergeKey> existing;
    for (const QRect& m : m_merges) {
        existing.insert(mergeKey(m));
        if (m.top() == row && m.bottom() == row && m.left() >= col1 && m.right() <= col2)
            rowMerges.push_back(m);
    }
    for (int r = row + 1; r <= lastRow; ++r) {
        TRow& target = m_rows[r];
        target.attrs = source.attrs;
        // The columns of the range take the source's cells (or none); the others stay.
        std::vector<TCell> cells;
        cells.reserve(target.cells.size() + fill.size());
        auto it = target.cells.begin();
        for (; it != target.cells.end() && it->col < col1; ++it)
            cells.push_back(*it);
        cells.insert(cells.end(), fill.begin(), fill.end());
        for (; it != target.cells.end(); ++it)
            if (it->col > col2)
                cells.push_back(*it);
        target.cells = std::move(cells);
        for (const QRect& m : rowMerges) {
            const QRect moved = m.translated(0, r - row);
            if (!existing.contains(mergeKey(moved))) {
                existing.insert(mergeKey(moved));
                m_merges.push_back(moved);
            }
        }
    }
}

void TXlsxWorksheet::InsertRows(int row, int count) {
    checkRow(row, "InsertRows");
    m_lastRow = nullptr;
    if (count < 1)
        return;
    if (count > kMaxSheetRows || LastRow() > kMaxSheetRows - count)
        fail(QStringLiteral("На листе %1 нет места для %2 строк").arg(m_name).arg(count));
    // Every row from `row` on moves down by `count` in one pass: the nodes are re-keyed, not copied.
    std::map<int, TRow> moved;
    for (auto it = m_rows.lower_bound(row); it != m_rows.end();) {
        auto node = m_rows.extract(it++);
        node.key() += count;
        moved.insert(moved.end(), std::move(node));
    }
    m_rows.merge(moved);
    const auto original = m_rows.find(row + count);
    if (original != m_rows.end()) {
        const TRow copy = original->second;
        for (int k = 0; k < count; ++k)
            m_rows.emplace_hint(original, row + k, copy);
    }

    std::vector<QRect> copies;
    for (QRect& m : m_merges) {
        if (m.top() > row)
            m.translate(0, count);
        else if (m.top() == row) {
            if (m.height() == 1) {
                for (int k = 0; k < count; ++k)
                    copies.push_back(m.translated(0, k));
                m.translate(0, count);
            } else {
                m.setBottom(m.bottom() + count); // a taller area starting at the row grows by the copies
            }
        } else if (m.bottom() >= row)
            m.setBottom(m.bottom() + count);
    }
    m_merges.insert(m_merges.end(), copies.begin(), copies.end());
}

void TXlsxWorksheet::DeleteRow(int row) {
    checkRow(row, "DeleteRow");
    m_lastRow = nullptr;
    m_rows.erase(row);
    std::map<int, TRow> moved;
    for (auto it = m_rows.upper_bound(row); it != m_rows.end();) {
        auto node = m_rows.extract(it++);
        node.key() -= 1;
        moved.insert(moved.end(), std::move(node));
    }
    m_rows.merge(moved);

    std::vector<QRect> kept;
    kept.reserve(m_merges.size());
    for (QRect m : m_merges) {
        if (m.top() > row)
            m.translate(0, -1);
        else if (m.bottom() >= row) {
            if (m.height() == 1)
                continue; // the area was on the deleted row
            m.setBottom(m.bottom() - 1);
        }
        if (m.width() > 1 || m.height() > 1)
            kept.push_back(m);
    }
    m_merges = std::move(kept);
}

void TXlsxWorksheet::CopyArea(const TXlsxWorksheet& source, const QRect& area, int row, int col) {
    if (area.isEmpty() || area.top() < 1 || area.left() < 1 || row < 1 || col < 1 ||
        row > kMaxSheetRows - area.height() || col > kMaxSheetCols - area.width())
        fail(QStringLiteral("Лист %1: область нельзя поместить в (%2, %3)").arg(m_name).arg(row).arg(col));
    const int dr = row - area.top();
    const int dc = col - area.left();
    // The area is copied out first: the source may be this very sheet.
    std::vector<std::pair<int, TRow>> rows;
    for (auto it = source.m_rows.lower_bound(area.top());
         it != source.m_rows.end() && it->first <= area.bottom(); ++it)
        rows.emplace_back(it->first, it->second);
    std::vector<QRect> merges;
    for (const QRect& m : source.m_merges)
        if (area.contains(m))
            merges.push_back(m.translated(dc, dr));
    std::vector<std::pair<int, XNode>> formats;
    int k = 0;
    for (const XNode& cf : source.m_root.kids)
        if (cf.name == QLatin1String("conditionalFormatting"))
            formats.emplace_back(k++, cf);

    for (const auto& [r, sourceRow] : rows) {
        TRow& target = m_rows[r + dr];
        if (target.attrs.isEmpty())
            target.attrs = sourceRow.attrs;
        for (const TCell& cell : sourceRow.cells)
            if (cell.col >= area.left() && cell.col <= area.right()) {
                TCell copy = cell;
                copy.col += dc;
                cellAt(r + dr, copy.col) = copy;
            }
    }
    m_merges.insert(m_merges.end(), merges.begin(), merges.end());

    for (const auto& [index, cf] : formats) {
        QStringList ranges;
        for (const QString& ref :
             cf.attr(QStringLiteral("sqref")).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            QRect rect;
            if (parseRange(ref, rect) && area.contains(rect))
                ranges << rangeName(rect.translated(dc, dr));
        }
        if (ranges.isEmpty())
            continue;
        const auto key = std::make_pair(&source, index);
        auto it = m_addedIndex.find(key);
        if (it == m_addedIndex.end()) {
            XNode copy = cf;
            // Rule priorities must be unique within the sheet.
            int priority = 1000 + 10 * int(m_addedFormats.size());
            for (XNode& rule : copy.kids)
                if (rule.name == QLatin1String("cfRule"))
                    rule.setAttr(QStringLiteral("priority"), QString::number(++priority));
            it = m_addedIndex.emplace(key, m_addedFormats.size()).first;
            m_addedFormats.push_back(std::move(copy));
            m_addedRanges.emplace_back();
        }
        m_addedRanges[it->second] += ranges;
    }
}

void TXlsxWorksheet::InsertPicture(int row, int col, const QByteArray& png, const QSize& size) {
    if (m_hasPicture)
        fail(QStringLiteral("Лист %1 уже содержит рисунок").arg(m_name));
    const QString image =
        m_book->addPart(m_book->uniquePartName(QStringLiteral("xl/media/image%1.png")), png);
    const QString drawing = m_book->uniquePartName(QStringLiteral("xl/drawings/drawing%1.xml"));

    const QString cx = QString::number(qint64(size.width()) * kEmuPerPixel);
    const QString cy = QString::number(qint64(size.height()) * kEmuPerPixel);
    const QString xml =
        QStringLiteral(
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
            "<xdr:wsDr xmlns:xdr=\"http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing\" "
            "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\">"
            "<xdr:oneCellAnchor><xdr:from><xdr:col>%1</xdr:col><xdr:colOff>0</xdr:colOff><xdr:row>%2</"
            "xdr:row>"
            "<xdr:rowOff>0</xdr:rowOff></xdr:from><xdr:ext cx=\"%3\" cy=\"%4\"/>"
            "<xdr:pic><xdr:nvPicPr><xdr:cNvPr id=\"2\" name=\"Формулы\"/><xdr:cNvPicPr>"
            "<a:picLocks noChangeAspect=\"1\"/></xdr:cNvPicPr></xdr:nvPicPr>"
            "<xdr:blipFill><a:blip xmlns:r=\"%5\" r:embed=\"rId1\"/><a:stretch><a:fillRect/></a:stretch>"
            "</xdr:blipFill><xdr:spPr><a:xfrm><a:off x=\"0\" y=\"0\"/><a:ext cx=\"%3\" cy=\"%4\"/></a:xfrm>"
            "<a:prstGeom prst=\"rect\"><a:avLst/></a:prstGeom></xdr:spPr></xdr:pic><xdr:clientData/>"
            "</xdr:oneCellAnchor></xdr:wsDr>")
            .arg(col - 1)
            .arg(row - 1)
            .arg(cx, cy, kRelNs);
    m_book->addPart(drawing, xml.toUtf8());
    const QString imageName = image.mid(image.lastIndexOf(QLatin1Char('/')) + 1);
    m_book->addPart(
        relsOf(drawing),
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
                       "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
                       "relationships\"><Relationship Id=\"rId1\" Type=\"%1\" Target=\"../media/%2\"/>"
                       "</Relationships>")
            .arg(kImageType, imageName)
            .toUtf8());

    // The sheet's relationship to the drawing.
    const QString sheetRels = relsOf(m_path);
    if (!m_book->hasPart(sheetRels))
        m_book->addPart(sheetRels,
                        QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
                                          "<Relationships xmlns=\"http://schemas.openxmlformats.org/"
                                          "package/2006/relationships\"/>"));
    XNode& rels = m_book->xmlPart(sheetRels);
    QString id;
    for (int n = 1;; ++n) {
        id = QStringLiteral("rId%1").arg(n);
        if (std::none_of(rels.kids.begin(), rels.kids.end(),
                         [&](const XNode& k) { return k.attr(QStringLiteral("Id")) == id; }))
            break;
    }
    const QString drawingName = drawing.mid(drawing.lastIndexOf(QLatin1Char('/')) + 1);
    rels.kids.push_back(XNode{QStringLiteral("Relationship"),
                              {{QStringLiteral("Id"), id},
                               {QStringLiteral("Type"), kDrawingType},
                               {QStringLiteral("Target"), QStringLiteral("../drawings/") + drawingName}},
                              {},
                              {}});

    // Content types: PNG by extension, the drawing by name.
    XNode& types = m_book->xmlPart(QStringLiteral("[Content_Types].xml"));
    if (std::none_of(types.kids.begin(), types.kids.end(), [](const XNode& k) {
            return k.name == QLatin1String("Default") &&
                   k.attr(QStringLiteral("Extension")).toLower() == QLatin1String("png");
        }))
        types.kids.insert(types.kids.begin(),
                          XNode{QStringLiteral("Default"),
                                {{QStringLiteral("Extension"), QStringLiteral("png")},
                                 {QStringLiteral("ContentType"), QStringLiteral("image/png")}},
                                {},
                                {}});
    types.kids.push_back(
        XNode{QStringLiteral("Override"),
              {{QStringLiteral("PartName"), QLatin1Char('/') + drawing},
               {QStringLiteral("ContentType"),
                QStringLiteral("application/vnd.openxmlformats-officedocument.drawing+xml")}},
              {},
              {}});

    if (m_root.attr(QStringLiteral("xmlns:r")).isEmpty())
        m_root.setAttr(QStringLiteral("xmlns:r"), kRelNs);
    insertOrdered(m_root, XNode{QStringLiteral("drawing"), {{QStringLiteral("r:id"), id}}, {}, {}},
                  kSheetOrder);
    m_hasPicture = true;
}

void TXlsxWorksheet::AddPageBreak(int row) {
    if (row > 1 && row <= kMaxSheetRows &&
        std::find(m_pageBreaks.begin(), m_pageBreaks.end(), row) == m_pageBreaks.end())
        m_pageBreaks.push_back(row);
}

// ---- inspection

double TXlsxWorksheet::RowHeight(int row) const {
    const auto it = m_rows.find(row);
    if (it == m_rows.end())
        return 0;
    for (const auto& [k, v] : it->second.attrs)
        if (k == QLatin1String("ht"))
            return v.toDouble();
    return 0;
}

int TXlsxWorksheet::LastRow() const { return m_rows.empty() ? 0 : m_rows.rbegin()->first; }

QString TXlsxWorksheet::Dimension() const {
    int r1 = 0, r2 = 0, c1 = 0, c2 = 0;
    for (const auto& [rowNo, row] : m_rows) {
        if (row.cells.empty())
            continue;
        if (!r1)
            r1 = rowNo;
        r2 = rowNo;
        const int first = row.cells.front().col;
        const int last = row.cells.back().col;
        c1 = c1 ? std::min(c1, first) : first;
        c2 = std::max(c2, last);
    }
    if (!r1)
        return QStringLiteral("A1");
    return rangeName(QRect(QPoint(c1, r1), QPoint(c2, r2)));
}

QStringList TXlsxWorksheet::ConditionalRanges() const {
    QStringList out;
    for (const QStringList& ranges : m_addedRanges)
        out << ranges.join(QLatin1Char(' '));
    for (const XNode& k : m_root.kids)
        if (k.name == QLatin1String("conditionalFormatting"))
            out << k.attr(QStringLiteral("sqref"));
    return out;
}

bool TXlsxWorksheet::HasPicture() const { return m_hasPicture; }

} // namespace Platform
