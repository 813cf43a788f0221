// Office Open XML workbook from a template: the package is held as its parts, the parts the layer edits
// (worksheets, styles, relationships, content types) as element trees, everything else byte for byte.
#include "platform/XlsxWorkbook.h"

#include "platform/ErrorDisplay.h"

#include <QBuffer>
#include <QFile>
#include <QSaveFile>
#include <QXmlStreamReader>

#include <quazip.h>
#include <quazipfile.h>
#include <quazipnewinfo.h>

#include <algorithm>

namespace Platform {

namespace {

const QString kRelNs = QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships");
const QString kDrawingType =
    QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships/drawing");
const QString kImageType =
    QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships/image");
constexpr int kEmuPerPixel = 9525;
// Fast compression: the report is written once and opened at once; size matters little.
constexpr int kZipLevel = 1;
// CreateProfilTables' prototype area on the prototype sheet.
constexpr int kProtoRows = 16;
constexpr int kProtoCols = 8;
constexpr int kProtoTitleRow = 2; // the title goes into the area's second row, first column

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

XNode readElement(QXmlStreamReader& r) {
    XNode node;
    node.name = r.qualifiedName().toString();
    for (const QXmlStreamAttribute& a : r.attributes())
        node.attrs.append({a.qualifiedName().toString(), a.value().toString()});
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement())
            node.kids.push_back(readElement(r));
        else if (r.isCharacters())
            node.text += r.text();
        else if (r.isEndElement())
            break;
    }
    return node;
}

// XML text out: the parts are written by hand, as the stream writer costs several times more per cell
// on the large worksheets of the report.
// UTF-8 straight into the output, escaping as it goes: no temporary per text.
void escapeInto(QByteArray& out, const QString& text, bool attribute) {
    const qsizetype n = text.size();
    const QChar* d = text.constData();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t ch = d[i].unicode();
        if (ch < 0x80) {
            switch (ch) {
            case u'&':
                out += "&amp;";
                break;
            case u'<':
                out += "&lt;";
                break;
            case u'>':
                out += "&gt;";
                break;
            case u'"':
                out += attribute ? "&quot;" : "\"";
                break;
            case u'\n':
                out += attribute ? "&#10;" : "\n";
                break;
            case u'\r':
                out += attribute ? "&#13;" : "\r";
                break;
            case u'\t':
                out += attribute ? "&#9;" : "\t";
                break;
            default:
                out += char(ch);
            }
        } else if (ch < 0x800) {
            out += char(0xC0 | (ch >> 6));
            out += char(0x80 | (ch & 0x3F));
        } else if (QChar::isHighSurrogate(ch) && i + 1 < n && d[i + 1].isLowSurrogate()) {
            const char32_t u = QChar::surrogateToUcs4(ch, d[++i].unicode());
            out += char(0xF0 | (u >> 18));
            out += char(0x80 | ((u >> 12) & 0x3F));
            out += char(0x80 | ((u >> 6) & 0x3F));
            out += char(0x80 | (u & 0x3F));
        } else {
            out += char(0xE0 | (ch >> 12));
            out += char(0x80 | ((ch >> 6) & 0x3F));
            out += char(0x80 | (ch & 0x3F));
        }
    }
}

// Column letters of the columns a report uses, made once.
const QByteArray& columnLetters(int col) {
    static const std::vector<QByteArray> letters = [] {
        std::vector<QByteArray> v(1);
        for (int c = 1; c <= 702; ++c)
            v.push_back(CellName(1, c).chopped(1).toLatin1());
        return v;
    }();
    static QByteArray other;
    if (col > 0 && col < int(letters.size()))
        return letters[col];
    other = CellName(1, col).chopped(1).toLatin1();
    return other;
}

void writeAttrs(QByteArray& out, const QVector<QPair<QString, QString>>& attrs) {
    for (const auto& [key, value] : attrs) {
        out += ' ';
        escapeInto(out, key, true);
        out += "=\"";
        escapeInto(out, value, true);
        out += '"';
    }
}

void writeElement(QByteArray& out, const XNode& node) {
    const QByteArray name = node.name.toUtf8();
    out += '<';
    out += name;
    writeAttrs(out, node.attrs);
    if (node.kids.empty() && node.text.isEmpty()) {
        out += "/>";
        return;
    }
    out += '>';
    if (node.kids.empty())
        escapeInto(out, node.text, false);
    else
        for (const XNode& kid : node.kids)
            writeElement(out, kid);
    out += "</";
    out += name;
    out += '>';
}

const QByteArray kXmlDeclaration =
    QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n");

XNode parseXml(const QByteArray& bytes, const QString& part) {
    QXmlStreamReader r(bytes);
    r.setNamespaceProcessing(false);
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement()) {
            XNode root = readElement(r);
            if (r.hasError())
                fail(QStringLiteral("Ошибка в части %1 книги: %2").arg(part, r.errorString()));
            return root;
        }
    }
    fail(QStringLiteral("Ошибка в части %1 книги: %2").arg(part, r.errorString()));
}

QByteArray writeXml(const XNode& root) {
    QByteArray out = kXmlDeclaration;
    writeElement(out, root);
    return out;
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
    if (!ParseCellName(parts.value(0), r1, c1))
        return false;
    r2 = r1;
    c2 = c1;
    if (parts.size() > 1 && !ParseCellName(parts[1], r2, c2))
        return false;
    rect = QRect(QPoint(std::min(c1, c2), std::min(r1, r2)), QPoint(std::max(c1, c2), std::max(r1, r2)));
    return true;
}

QString partDir(const QString& path) { return path.left(path.lastIndexOf(QLatin1Char('/')) + 1); }
QString relsOf(const QString& path) {
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    return path.left(slash + 1) + QStringLiteral("_rels/") + path.mid(slash + 1) + QStringLiteral(".rels");
}
// Resolves a relationship target against the folder of its source part ("../media/x" and "/xl/...").
QString resolve(const QString& dir, const QString& target) {
    if (target.startsWith(QLatin1Char('/')))
        return target.mid(1);
    QStringList parts = dir.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& p : target.split(QLatin1Char('/'))) {
        if (p == QLatin1String(".."))
            parts.removeLast();
        else if (p != QLatin1String("."))
            parts.append(p);
    }
    return parts.join(QLatin1Char('/'));
}

} // namespace

// ---- XNode

QString XNode::attr(const QString& key) const {
    for (const auto& [k, v] : attrs)
        if (k == key)
            return v;
    return {};
}

void XNode::setAttr(const QString& key, const QString& value) {
    for (auto& [k, v] : attrs)
        if (k == key) {
            v = value;
            return;
        }
    attrs.append({key, value});
}

void XNode::removeAttr(const QString& key) {
    attrs.removeIf([&](const QPair<QString, QString>& a) { return a.first == key; });
}

XNode* XNode::child(const QString& childName) {
    for (XNode& k : kids)
        if (k.name == childName)
            return &k;
    return nullptr;
}

const XNode* XNode::child(const QString& childName) const {
    for (const XNode& k : kids)
        if (k.name == childName)
            return &k;
    return nullptr;
}

// ---- addresses

QString CellName(int row, int col) {
    QString letters;
    for (int c = col; c > 0; c = (c - 1) / 26)
        letters.prepend(QChar(u'A' + (c - 1) % 26));
    return letters + QString::number(row);
}

bool ParseCellName(const QString& ref, int& row, int& col) {
    col = 0;
    int i = 0;
    for (; i < ref.size() && ref[i].isUpper(); ++i)
        col = col * 26 + (ref[i].unicode() - u'A' + 1);
    bool ok = false;
    row = ref.mid(i).toInt(&ok);
    return ok && col > 0 && row > 0 && i > 0;
}

// ---- worksheet

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
    // The rows are read into the row map, the rest into the tree; sheetData stays as an empty placeholder.
    while (!r.atEnd()) {
        r.readNext();
        if (r.isEndElement())
            break;
        if (!r.isStartElement())
            continue;
        if (r.name() == QLatin1String("sheetData")) {
            m_root.kids.push_back(XNode{QStringLiteral("sheetData"), {}, {}, {}});
            while (!r.atEnd()) {
                r.readNext();
                if (r.isEndElement())
                    break;
                if (!r.isStartElement())
                    continue;
                XNode rowNode = readElement(r);
                const int rowNo = rowNode.attr(QStringLiteral("r")).toInt();
                if (rowNo <= 0)
                    fail(QStringLiteral("Лист %1: строка без номера").arg(m_name));
                Row& row = m_rows[rowNo];
                rowNode.removeAttr(QStringLiteral("r"));
                rowNode.removeAttr(QStringLiteral("spans"));
                row.attrs = rowNode.attrs;
                int nextCol = 1;
                for (XNode& c : rowNode.kids) {
                    int cr = rowNo, cc = nextCol;
                    const QString ref = c.attr(QStringLiteral("r"));
                    if (!ref.isEmpty() && !ParseCellName(ref, cr, cc))
                        fail(QStringLiteral("Лист %1: неверный адрес ячейки %2").arg(m_name, ref));
                    c.removeAttr(QStringLiteral("r"));
                    row.cells[cc] = std::move(c);
                    nextCol = cc + 1;
                }
            }
        } else if (r.name() == QLatin1String("mergeCells")) {
            const XNode merges = readElement(r);
            for (const XNode& m : merges.kids) {
                QRect rect;
                if (parseRange(m.attr(QStringLiteral("ref")), rect))
                    m_merges.push_back(rect);
            }
        } else {
            m_root.kids.push_back(readElement(r));
        }
    }
    if (r.hasError())
        fail(QStringLiteral("Ошибка в листе %1 книги: %2").arg(m_name, r.errorString()));
    m_hasPicture = m_root.child(QStringLiteral("drawing")) != nullptr;
}

QByteArray TXlsxWorksheet::serialize() const {
    XNode root = m_root;
    if (XNode* dim = root.child(QStringLiteral("dimension")))
        dim->setAttr(QStringLiteral("ref"), Dimension());
    if (!m_merges.empty()) {
        XNode merges{QStringLiteral("mergeCells"),
                     {{QStringLiteral("count"), QString::number(m_merges.size())}},
                     {},
                     {}};
        merges.kids.reserve(m_merges.size());
        for (const QRect& m : m_merges)
            merges.kids.push_back(
                XNode{QStringLiteral("mergeCell"), {{QStringLiteral("ref"), rangeName(m)}}, {}, {}});
        insertOrdered(root, std::move(merges), kSheetOrder);
    }
    for (const XNode& cf : m_addedFormats)
        insertOrdered(root, cf, kSheetOrder);
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

    QByteArray out = kXmlDeclaration;
    out.reserve(64 * 1024 + 64 * int(m_rows.size()) * 20);
    out += '<';
    out += root.name.toUtf8();
    writeAttrs(out, root.attrs);
    out += '>';
    for (const XNode& kid : root.kids) {
        if (kid.name != QLatin1String("sheetData")) {
            writeElement(out, kid);
            continue;
        }
        out += "<sheetData>";
        for (const auto& [rowNo, row] : m_rows) {
            const QByteArray rowText = QByteArray::number(rowNo);
            out += "<row r=\"";
            out += rowText;
            out += '"';
            writeAttrs(out, row.attrs);
            out += '>';
            for (const auto& [colNo, cell] : row.cells) {
                out += "<c r=\"";
                out += columnLetters(colNo);
                out += rowText;
                out += '"';
                writeAttrs(out, cell.attrs);
                if (cell.kids.empty()) {
                    out += "/>";
                    continue;
                }
                out += '>';
                // The inline strings written by SetText, the bulk of a report, without the generic walk.
                if (cell.kids.size() == 1 && cell.kids[0].kids.size() == 1 && cell.kids[0].name == u"is" &&
                    cell.kids[0].kids[0].name == u"t") {
                    const XNode& t = cell.kids[0].kids[0];
                    out += t.attrs.isEmpty() ? "<is><t>" : "<is><t xml:space=\"preserve\">";
                    escapeInto(out, t.text, false);
                    out += "</t></is></c>";
                    continue;
                }
                for (const XNode& k : cell.kids)
                    writeElement(out, k);
                out += "</c>";
            }
            out += "</row>";
        }
        out += "</sheetData>";
    }
    out += "</";
    out += root.name.toUtf8();
    out += '>';
    return out;
}

XNode& TXlsxWorksheet::cellAt(int row, int col) {
    XNode& c = m_rows[row].cells[col];
    if (c.name.isEmpty())
        c.name = QStringLiteral("c");
    return c;
}

const XNode* TXlsxWorksheet::findCell(int row, int col) const {
    const auto r = m_rows.find(row);
    if (r == m_rows.end())
        return nullptr;
    const auto c = r->second.cells.find(col);
    return c == r->second.cells.end() ? nullptr : &c->second;
}

bool TXlsxWorksheet::HasCell(int row, int col) const { return findCell(row, col) != nullptr; }

void TXlsxWorksheet::SetText(int row, int col, const QString& text) {
    if (row < 1 || col < 1)
        fail(QStringLiteral("Неверный адрес ячейки (%1, %2)").arg(row).arg(col));
    XNode& c = cellAt(row, col);
    c.setAttr(QStringLiteral("t"), QStringLiteral("inlineStr"));
    if (c.kids.size() == 1 && c.kids[0].name == u"is" && c.kids[0].kids.size() == 1 &&
        c.kids[0].kids[0].name == u"t") {
        XNode& t = c.kids[0].kids[0]; // rewritten in place: cells are often written twice
        t.text = text;
        t.attrs.clear();
        if (!text.isEmpty() && (text.front().isSpace() || text.back().isSpace()))
            t.attrs.append({QStringLiteral("xml:space"), QStringLiteral("preserve")});
        return;
    }
    c.kids.clear();
    XNode t{QStringLiteral("t"), {}, text, {}};
    // Blanks at either end (the chart bars are blanks only) are kept only when marked so.
    if (!text.isEmpty() && (text.front().isSpace() || text.back().isSpace()))
        t.attrs.append({QStringLiteral("xml:space"), QStringLiteral("preserve")});
    XNode is{QStringLiteral("is"), {}, {}, {}};
    is.kids.push_back(std::move(t));
    c.kids.push_back(std::move(is));
}

void TXlsxWorksheet::SetRange(int row, int col, const QVector<QStringList>& values, int rows, int cols) {
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            SetText(row + r, col + c, values.value(r).value(c));
}

QString TXlsxWorksheet::Text(int row, int col) const {
    const XNode* c = findCell(row, col);
    if (!c)
        return {};
    const QString type = c->attr(QStringLiteral("t"));
    if (type == QLatin1String("inlineStr")) {
        QString s;
        if (const XNode* is = c->child(QStringLiteral("is"))) {
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
    const XNode* v = c->child(QStringLiteral("v"));
    if (!v)
        return {};
    if (type == QLatin1String("s"))
        return m_book->sharedString(v->text.toInt());
    return v->text;
}

void TXlsxWorksheet::SetBold(int row1, int col1, int row2, int col2) {
    for (int r = row1; r <= row2; ++r)
        for (int c = col1; c <= col2; ++c) {
            XNode& cell = cellAt(r, c);
            const int style = cell.attr(QStringLiteral("s")).toInt();
            cell.setAttr(QStringLiteral("s"), QString::number(m_book->boldStyle(style)));
        }
}

bool TXlsxWorksheet::IsBold(int row, int col) const {
    const XNode* c = findCell(row, col);
    return m_book->styleIsBold(c ? c->attr(QStringLiteral("s")).toInt() : 0);
}

void TXlsxWorksheet::copyRowInto(const Row& from, Row& to, int col1, int col2) {
    to.attrs = from.attrs;
    for (int c = col1; c <= col2; ++c) {
        const auto it = from.cells.find(c);
        if (it != from.cells.end())
            to.cells[c] = it->second;
        else
            to.cells.erase(c);
    }
}

void TXlsxWorksheet::AutoFill(int row, int col1, int col2, int lastRow) {
    if (lastRow <= row)
        return;
    const Row source = m_rows[row];
    std::vector<QRect> rowMerges;
    for (const QRect& m : m_merges)
        if (m.top() == row && m.bottom() == row && m.left() >= col1 && m.right() <= col2)
            rowMerges.push_back(m);
    for (int r = row + 1; r <= lastRow; ++r) {
        copyRowInto(source, m_rows[r], col1, col2);
        for (const QRect& m : rowMerges) {
            const QRect target = m.translated(0, r - row);
            if (std::find(m_merges.begin(), m_merges.end(), target) == m_merges.end())
                m_merges.push_back(target);
        }
    }
}

void TXlsxWorksheet::AddString(int row) {
    if (row < 1)
        fail(QStringLiteral("AddString: неверный номер строки %1").arg(row));
    // Move the rows from `row` down by one, from the bottom up, so that no key is overwritten.
    std::map<int, Row> moved;
    // Nodes are re-keyed, not copied: a block of many tests moves the rows below it hundreds of times.
    for (auto it = m_rows.lower_bound(row); it != m_rows.end();) {
        auto node = m_rows.extract(it++);
        node.key() += 1;
        moved.insert(std::move(node));
    }
    m_rows.merge(moved);
    const auto original = m_rows.find(row + 1);
    if (original != m_rows.end())
        m_rows[row] = original->second;

    std::vector<QRect> copies;
    for (QRect& m : m_merges) {
        if (m.top() > row)
            m.translate(0, 1);
        else if (m.top() == row) {
            m.translate(0, 1);
            if (m.height() == 1)
                copies.push_back(m.translated(0, -1));
            else
                m.setTop(row); // a taller area starting at the row grows by the copy
        } else if (m.bottom() >= row)
            m.setBottom(m.bottom() + 1);
    }
    m_merges.insert(m_merges.end(), copies.begin(), copies.end());
}

void TXlsxWorksheet::DelString(int row) {
    if (row < 1)
        fail(QStringLiteral("DelString: неверный номер строки %1").arg(row));
    m_rows.erase(row);
    std::map<int, Row> moved;
    for (auto it = m_rows.upper_bound(row); it != m_rows.end();) {
        auto node = m_rows.extract(it++);
        node.key() -= 1;
        moved.insert(std::move(node));
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

void TXlsxWorksheet::CreateProfilTables(int row, int col, const QString& title) {
    TXlsxWorksheet* proto = m_book->Sheet(TXlsxWorkbook::PrototypeSheetName());
    if (!proto)
        fail(QStringLiteral("В шаблоне нет листа \"%1\" для таблиц профилей")
                 .arg(TXlsxWorkbook::PrototypeSheetName()));
    const int dr = row - 1;
    const int dc = col - 1;
    for (const auto& [r, protoRow] : proto->m_rows) {
        if (r > kProtoRows)
            break;
        Row& target = m_rows[r + dr];
        if (target.attrs.isEmpty())
            target.attrs = protoRow.attrs;
        for (const auto& [c, cell] : protoRow.cells)
            if (c <= kProtoCols)
                target.cells[c + dc] = cell;
    }
    for (const QRect& m : proto->m_merges)
        if (m.bottom() <= kProtoRows && m.right() <= kProtoCols)
            m_merges.push_back(m.translated(dc, dr));
    SetText(row + kProtoTitleRow - 1, col, title);

    // Conditional formats: one per prototype format, this area's range appended to it.
    int k = 0;
    for (const XNode& cf : proto->m_root.kids) {
        if (cf.name != QLatin1String("conditionalFormatting"))
            continue;
        QStringList ranges;
        for (const QString& ref :
             cf.attr(QStringLiteral("sqref")).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            QRect rect;
            if (parseRange(ref, rect) && QRect(1, 1, kProtoCols, kProtoRows).contains(rect))
                ranges << rangeName(rect.translated(dc, dr));
        }
        if (ranges.isEmpty())
            continue;
        if (static_cast<int>(m_addedFormats.size()) <= k) {
            XNode copy = cf;
            copy.setAttr(QStringLiteral("sqref"), ranges.join(QLatin1Char(' ')));
            // Rule priorities must be unique within the sheet.
            int priority = 1000 + 10 * k;
            for (XNode& rule : copy.kids)
                if (rule.name == QLatin1String("cfRule"))
                    rule.setAttr(QStringLiteral("priority"), QString::number(++priority));
            m_addedFormats.push_back(std::move(copy));
        } else {
            XNode& existing = m_addedFormats[k];
            existing.setAttr(QStringLiteral("sqref"), existing.attr(QStringLiteral("sqref")) +
                                                          QLatin1Char(' ') + ranges.join(QLatin1Char(' ')));
        }
        ++k;
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
    if (!m_book->m_parts.contains(sheetRels))
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
                   k.attr(QStringLiteral("Extension")).toLower() == "png";
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
    if (row > 1 && std::find(m_pageBreaks.begin(), m_pageBreaks.end(), row) == m_pageBreaks.end())
        m_pageBreaks.push_back(row);
}

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
        const int first = row.cells.begin()->first;
        const int last = row.cells.rbegin()->first;
        c1 = c1 ? std::min(c1, first) : first;
        c2 = std::max(c2, last);
    }
    if (!r1)
        return QStringLiteral("A1");
    return rangeName(QRect(QPoint(c1, r1), QPoint(c2, r2)));
}

QStringList TXlsxWorksheet::ConditionalRanges() const {
    QStringList out;
    for (const XNode& cf : m_addedFormats)
        out << cf.attr(QStringLiteral("sqref"));
    for (const XNode& k : m_root.kids)
        if (k.name == QLatin1String("conditionalFormatting"))
            out << k.attr(QStringLiteral("sqref"));
    return out;
}

bool TXlsxWorksheet::HasPicture() const { return m_hasPicture; }

// ---- workbook

TXlsxWorkbook::TXlsxWorkbook(const QString& templatePath) {
    QuaZip zip(templatePath);
    if (!zip.open(QuaZip::mdUnzip))
        fail(QStringLiteral("Не удается открыть книгу %1").arg(templatePath));
    for (bool more = zip.goToFirstFile(); more; more = zip.goToNextFile()) {
        const QString name = zip.getCurrentFileName();
        QuaZipFile file(&zip);
        if (!file.open(QIODevice::ReadOnly))
            fail(QStringLiteral("Не удается прочитать %1 из книги %2").arg(name, templatePath));
        m_parts.insert(name, file.readAll());
        m_order << name;
    }
    if (zip.getZipError() != 0)
        fail(QStringLiteral("Книга %1 повреждена").arg(templatePath));

    const QString wbPath = QStringLiteral("xl/workbook.xml");
    if (!m_parts.contains(wbPath))
        fail(QStringLiteral("%1 не является книгой").arg(templatePath));
    const XNode wb = parseXml(m_parts.value(wbPath), wbPath);
    const XNode rels = parseXml(m_parts.value(relsOf(wbPath)), relsOf(wbPath));
    QHash<QString, QString> targets;
    for (const XNode& r : rels.kids)
        targets.insert(r.attr(QStringLiteral("Id")),
                       resolve(partDir(wbPath), r.attr(QStringLiteral("Target"))));
    if (const XNode* sheets = wb.child(QStringLiteral("sheets")))
        for (const XNode& s : sheets->kids) {
            m_sheetNames << s.attr(QStringLiteral("name"));
            m_sheetPaths << targets.value(s.attr(QStringLiteral("r:id")));
        }
    if (m_sheetNames.isEmpty())
        fail(QStringLiteral("В книге %1 нет листов").arg(templatePath));
}

TXlsxWorkbook::~TXlsxWorkbook() = default;

TXlsxWorksheet* TXlsxWorkbook::Sheet(const QString& name) {
    const int i = m_sheetNames.indexOf(name);
    return i < 0 ? nullptr : &Worksheet(i + 1);
}

TXlsxWorksheet& TXlsxWorkbook::Worksheet(int index) {
    if (index < 1 || index > m_sheetNames.size())
        fail(QStringLiteral("В книге нет листа %1").arg(index));
    const QString path = m_sheetPaths[index - 1];
    auto& slot = m_sheets[path];
    if (!slot) {
        if (!m_parts.contains(path))
            fail(QStringLiteral("В книге нет части %1").arg(path));
        slot.reset(new TXlsxWorksheet(this, m_sheetNames[index - 1], path));
        slot->parse(m_parts.value(path));
    }
    return *slot;
}

void TXlsxWorkbook::Run(const QString& macro, const QVariantList& args) {
    auto intArg = [&](int i) {
        bool ok = false;
        const int v = args.value(i).toInt(&ok);
        if (!ok)
            fail(QStringLiteral("Макрос %1: неверный аргумент %2").arg(macro).arg(i + 1));
        return v;
    };
    if (macro == QLatin1String("AddString") && args.size() == 1)
        Worksheet(1).AddString(intArg(0));
    else if (macro == QLatin1String("DelString") && args.size() == 1)
        Worksheet(1).DelString(intArg(0));
    else if (macro == QLatin1String("CreateProfilTables") && args.size() == 4) {
        TXlsxWorksheet* sheet = Sheet(args[2].toString());
        if (!sheet)
            fail(QStringLiteral("Макрос %1: нет листа \"%2\"").arg(macro, args[2].toString()));
        sheet->CreateProfilTables(intArg(0), intArg(1), args[3].toString());
    } else
        fail(QStringLiteral("Макрос %1 не найден").arg(macro));
}

XNode& TXlsxWorkbook::xmlPart(const QString& path) {
    auto it = m_xml.find(path);
    if (it == m_xml.end())
        it = m_xml.emplace(path, parseXml(m_parts.value(path), path)).first;
    return it->second;
}

QString TXlsxWorkbook::addPart(const QString& path, const QByteArray& bytes) {
    if (!m_parts.contains(path))
        m_order << path;
    m_parts.insert(path, bytes);
    m_xml.erase(path);
    return path;
}

QString TXlsxWorkbook::uniquePartName(const QString& pattern) const {
    for (int n = 1;; ++n) {
        const QString name = pattern.arg(n);
        if (!m_parts.contains(name))
            return name;
    }
}

int TXlsxWorkbook::boldStyle(int style) {
    if (const auto it = m_boldStyles.constFind(style); it != m_boldStyles.constEnd())
        return *it;
    XNode& styles = xmlPart(QStringLiteral("xl/styles.xml"));
    XNode* fonts = styles.child(QStringLiteral("fonts"));
    XNode* xfs = styles.child(QStringLiteral("cellXfs"));
    if (!fonts || !xfs || style < 0 || style >= int(xfs->kids.size()))
        fail(QStringLiteral("В книге нет стиля ячейки %1").arg(style));
    XNode xf = xfs->kids[style];
    const int fontId = xf.attr(QStringLiteral("fontId")).toInt();
    if (fontId < 0 || fontId >= int(fonts->kids.size()))
        fail(QStringLiteral("В книге нет шрифта %1").arg(fontId));
    int result = style;
    if (!fonts->kids[fontId].child(QStringLiteral("b"))) {
        XNode font = fonts->kids[fontId];
        font.kids.insert(font.kids.begin(), XNode{QStringLiteral("b"), {}, {}, {}});
        fonts->kids.push_back(std::move(font));
        fonts->setAttr(QStringLiteral("count"), QString::number(fonts->kids.size()));
        xf.setAttr(QStringLiteral("fontId"), QString::number(fonts->kids.size() - 1));
        xf.setAttr(QStringLiteral("applyFont"), QStringLiteral("1"));
        xfs->kids.push_back(std::move(xf));
        xfs->setAttr(QStringLiteral("count"), QString::number(xfs->kids.size()));
        result = int(xfs->kids.size()) - 1;
    }
    m_boldStyles.insert(style, result);
    return result;
}

bool TXlsxWorkbook::styleIsBold(int style) {
    const XNode& styles = xmlPart(QStringLiteral("xl/styles.xml"));
    const XNode* fonts = styles.child(QStringLiteral("fonts"));
    const XNode* xfs = styles.child(QStringLiteral("cellXfs"));
    if (!fonts || !xfs || style < 0 || style >= int(xfs->kids.size()))
        return false;
    const int fontId = xfs->kids[style].attr(QStringLiteral("fontId")).toInt();
    return fontId >= 0 && fontId < int(fonts->kids.size()) && fonts->kids[fontId].child(QStringLiteral("b"));
}

QString TXlsxWorkbook::sharedString(int index) {
    if (!m_sharedLoaded) {
        m_sharedLoaded = true;
        const QString path = QStringLiteral("xl/sharedStrings.xml");
        if (m_parts.contains(path)) {
            const XNode sst = parseXml(m_parts.value(path), path);
            for (const XNode& si : sst.kids) {
                QString s;
                if (const XNode* t = si.child(QStringLiteral("t")))
                    s = t->text;
                for (const XNode& r : si.kids)
                    if (r.name == QLatin1String("r"))
                        if (const XNode* t = r.child(QStringLiteral("t")))
                            s += t->text;
                m_shared << s;
            }
        }
    }
    return m_shared.value(index);
}

QByteArray TXlsxWorkbook::SaveToBytes() {
    for (const auto& [path, sheet] : m_sheets)
        m_parts.insert(path, sheet->serialize());
    for (const auto& [path, node] : m_xml)
        m_parts.insert(path, writeXml(node));

    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QuaZip zip(&buffer);
        if (!zip.open(QuaZip::mdCreate))
            fail(QStringLiteral("Не удается создать книгу"));
        for (const QString& name : m_order) {
            QuaZipFile file(&zip);
            if (!file.open(QIODevice::WriteOnly, QuaZipNewInfo(name), nullptr, 0, Z_DEFLATED, kZipLevel) ||
                file.write(m_parts.value(name)) < 0)
                fail(QStringLiteral("Не удается записать %1 в книгу").arg(name));
            file.close();
            if (file.getZipError() != 0)
                fail(QStringLiteral("Не удается записать %1 в книгу").arg(name));
        }
        zip.close();
        if (zip.getZipError() != 0)
            fail(QStringLiteral("Не удается завершить книгу"));
    }
    return buffer.data();
}

void TXlsxWorkbook::SaveAs(const QString& path) {
    const QByteArray bytes = SaveToBytes();
    // QSaveFile writes a temporary file beside the target and renames it on commit, so the final name
    // never holds a half-written workbook.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        fail(QStringLiteral("Не удается сохранить книгу %1: %2").arg(path, file.errorString()));
}

} // namespace Platform
