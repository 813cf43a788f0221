// Office Open XML workbook from a template: the package is held as its parts, the parts the layer edits
// as models (worksheets, shared strings) or element trees (styles, relationships, content types),
// everything else byte for byte.
#include "platform/XlsxWorkbook.h"

#include "platform/ErrorDisplay.h"
#include "platform/SaveFile.h"
#include "platform/XlsxNumber.h"

#include <QBuffer>
#include <QFile>
#include <QSaveFile>

#include <quazip.h>
#include <quazipfile.h>
#include <quazipnewinfo.h>

#include <algorithm>

namespace Platform {

namespace {

const QString kSharedStringsType =
    QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings");
const QString kSharedStringsContent =
    QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml");
const QString kMainNs = QStringLiteral("http://schemas.openxmlformats.org/spreadsheetml/2006/main");
// Fast compression: the report is written once and opened at once; size matters little.
constexpr int kZipLevel = 1;
// A template is a few dozen kilobytes; a part beyond these bounds is no template of ours, and reading
// it must not take the memory of the machine.
constexpr qint64 kMaxPartBytes = 64 * 1024 * 1024;
constexpr qint64 kMaxPackageBytes = 256 * 1024 * 1024;
// Worksheet XML goes to the compressor in pieces of this size, never as a whole.
constexpr qsizetype kStreamChunk = 256 * 1024;

[[noreturn]] void fail(const QString& what) { throw EError(what); }

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
        if (p == QLatin1String("..")) {
            if (!parts.isEmpty())
                parts.removeLast();
        } else if (p != QLatin1String(".")) {
            parts.append(p);
        }
    }
    return parts.join(QLatin1Char('/'));
}

bool needsPreserve(const QString& text) {
    return !text.isEmpty() && (text.front().isSpace() || text.back().isSpace());
}

// The text of a shared-string entry: its plain text or its runs' texts (phonetic runs left out).
QString entryText(const XNode& si) {
    QString s;
    for (const XNode& k : si.kids) {
        if (k.name == QLatin1String("t"))
            s += k.text;
        else if (k.name == QLatin1String("r"))
            if (const XNode* t = k.child(QStringLiteral("t")))
                s += t->text;
    }
    return s;
}

} // namespace

TXlsxWorkbook::TXlsxWorkbook(const QString& templatePath) {
    QFile file(templatePath);
    load(file, templatePath);
}

std::unique_ptr<TXlsxWorkbook> TXlsxWorkbook::FromBytes(const QByteArray& package, const QString& name) {
    QBuffer buffer;
    buffer.setData(package);
    std::unique_ptr<TXlsxWorkbook> book(new TXlsxWorkbook);
    book->load(buffer, name);
    return book;
}

void TXlsxWorkbook::load(QIODevice& device, const QString& templatePath) {
    QuaZip zip(&device);
    if (!zip.open(QuaZip::mdUnzip))
        fail(QStringLiteral("Не удается открыть книгу %1").arg(templatePath));
    qint64 total = 0;
    for (bool more = zip.goToFirstFile(); more; more = zip.goToNextFile()) {
        const QString name = zip.getCurrentFileName();
        QuaZipFile file(&zip);
        if (!file.open(QIODevice::ReadOnly))
            fail(QStringLiteral("Не удается прочитать %1 из книги %2").arg(name, templatePath));
        // Read in pieces against the bounds: the sizes in the directory may lie.
        QByteArray bytes;
        char buffer[64 * 1024];
        for (qint64 n; (n = file.read(buffer, sizeof buffer)) > 0;) {
            bytes.append(buffer, n);
            total += n;
            if (bytes.size() > kMaxPartBytes || total > kMaxPackageBytes)
                fail(QStringLiteral("Книга %1 слишком велика").arg(templatePath));
        }
        if (file.getZipError() != 0)
            fail(QStringLiteral("Книга %1 повреждена").arg(templatePath));
        if (!m_parts.contains(name))
            m_order << name;
        m_parts.insert(name, bytes);
    }
    if (zip.getZipError() != 0)
        fail(QStringLiteral("Книга %1 повреждена").arg(templatePath));

    const QString wbPath = QStringLiteral("xl/workbook.xml");
    if (!m_parts.contains(wbPath))
        fail(QStringLiteral("%1 не является книгой").arg(templatePath));
    const XNode wb = ParseXml(m_parts.value(wbPath), wbPath);
    const QString wbRels = relsOf(wbPath);
    if (!m_parts.contains(wbRels))
        fail(QStringLiteral("В книге %1 нет части %2").arg(templatePath, wbRels));
    const XNode& rels = xmlPart(wbRels);
    QHash<QString, QString> targets;
    for (const XNode& r : rels.kids) {
        targets.insert(r.attr(QStringLiteral("Id")),
                       resolve(partDir(wbPath), r.attr(QStringLiteral("Target"))));
        if (r.attr(QStringLiteral("Type")) == kSharedStringsType)
            m_sharedPath = targets.value(r.attr(QStringLiteral("Id")));
    }
    if (const XNode* sheets = wb.child(QStringLiteral("sheets")))
        for (const XNode& s : sheets->kids) {
            m_sheetNames << s.attr(QStringLiteral("name"));
            m_sheetPaths << targets.value(s.attr(QStringLiteral("r:id")));
        }
    if (m_sheetNames.isEmpty())
        fail(QStringLiteral("В книге %1 нет листов").arg(templatePath));
    loadSharedStrings();
}

TXlsxWorkbook::~TXlsxWorkbook() = default;

TXlsxWorksheet* TXlsxWorkbook::Sheet(const QString& name) {
    const int i = int(m_sheetNames.indexOf(name));
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
        auto sheet = std::unique_ptr<TXlsxWorksheet>(new TXlsxWorksheet(this, m_sheetNames[index - 1], path));
        sheet->parse(m_parts.value(path));
        slot = std::move(sheet);
    }
    return *slot;
}

XNode& TXlsxWorkbook::xmlPart(const QString& path) {
    auto it = m_xml.find(path);
    if (it == m_xml.end())
        it = m_xml.emplace(path, ParseXml(m_parts.value(path), path)).first;
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
    XNode xf = xfs->kids[size_t(style)];
    const int fontId = xf.attr(QStringLiteral("fontId")).toInt();
    if (fontId < 0 || fontId >= int(fonts->kids.size()))
        fail(QStringLiteral("В книге нет шрифта %1").arg(fontId));
    int result = style;
    if (!fonts->kids[size_t(fontId)].child(QStringLiteral("b"))) {
        XNode font = fonts->kids[size_t(fontId)];
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
    if (!m_parts.contains(QStringLiteral("xl/styles.xml")))
        return false;
    const XNode& styles = xmlPart(QStringLiteral("xl/styles.xml"));
    const XNode* fonts = styles.child(QStringLiteral("fonts"));
    const XNode* xfs = styles.child(QStringLiteral("cellXfs"));
    if (!fonts || !xfs || style < 0 || style >= int(xfs->kids.size()))
        return false;
    const int fontId = xfs->kids[size_t(style)].attr(QStringLiteral("fontId")).toInt();
    return fontId >= 0 && fontId < int(fonts->kids.size()) &&
           fonts->kids[size_t(fontId)].child(QStringLiteral("b"));
}

QString TXlsxWorkbook::styleNumberFormat(int style) {
    if (const auto it = m_styleFormats.constFind(style); it != m_styleFormats.constEnd())
        return *it;
    QString code = QStringLiteral("General");
    if (m_parts.contains(QStringLiteral("xl/styles.xml"))) {
        const XNode& styles = xmlPart(QStringLiteral("xl/styles.xml"));
        const XNode* xfs = styles.child(QStringLiteral("cellXfs"));
        if (xfs && style >= 0 && style < int(xfs->kids.size())) {
            const int id = xfs->kids[size_t(style)].attr(QStringLiteral("numFmtId")).toInt();
            code = BuiltInNumberFormat(id);
            if (const XNode* formats = styles.child(QStringLiteral("numFmts")))
                for (const XNode& f : formats->kids)
                    if (f.attr(QStringLiteral("numFmtId")).toInt() == id)
                        code = f.attr(QStringLiteral("formatCode"));
        }
    }
    m_styleFormats.insert(style, code);
    return code;
}

int TXlsxWorkbook::numberFormatStyle(int style, const QString& code) {
    const QPair<int, QString> key(style, code);
    if (const auto it = m_formatStyles.constFind(key); it != m_formatStyles.constEnd())
        return *it;
    if (styleNumberFormat(style) == code)
        return style;
    XNode& styles = xmlPart(QStringLiteral("xl/styles.xml"));
    if (const XNode* xfs = styles.child(QStringLiteral("cellXfs"));
        !xfs || style < 0 || style >= int(xfs->kids.size()))
        fail(QStringLiteral("В книге нет стиля ячейки %1").arg(style));
    // A code that is no built-in format is added to the book's own formats, under the next free id.
    int id = BuiltInNumberFormatId(code);
    if (id < 0) {
        XNode* formats = styles.child(QStringLiteral("numFmts"));
        if (!formats)
            formats = &*styles.kids.insert(styles.kids.begin(), XNode{QStringLiteral("numFmts"), {}, {}, {}});
        constexpr int kFirstCustomFormat = 164;
        id = kFirstCustomFormat;
        for (const XNode& f : formats->kids) {
            const int used = f.attr(QStringLiteral("numFmtId")).toInt();
            if (f.attr(QStringLiteral("formatCode")) == code) {
                id = used;
                break;
            }
            id = std::max(id, used + 1);
        }
        if (std::none_of(formats->kids.begin(), formats->kids.end(),
                         [&](const XNode& f) { return f.attr(QStringLiteral("numFmtId")).toInt() == id; })) {
            formats->kids.push_back(XNode{
                QStringLiteral("numFmt"),
                {{QStringLiteral("numFmtId"), QString::number(id)}, {QStringLiteral("formatCode"), code}},
                {},
                {}});
            formats->setAttr(QStringLiteral("count"), QString::number(formats->kids.size()));
        }
    }
    // Looked up again: adding the formats' element may have moved the style sheet's children.
    XNode* xfs = styles.child(QStringLiteral("cellXfs"));
    XNode xf = xfs->kids[size_t(style)];
    xf.setAttr(QStringLiteral("numFmtId"), QString::number(id));
    xf.setAttr(QStringLiteral("applyNumberFormat"), QStringLiteral("1"));
    xfs->kids.push_back(std::move(xf));
    xfs->setAttr(QStringLiteral("count"), QString::number(xfs->kids.size()));
    const int result = int(xfs->kids.size()) - 1;
    m_formatStyles.insert(key, result);
    m_styleFormats.insert(result, code);
    return result;
}

// ---- shared strings

void TXlsxWorkbook::loadSharedStrings() {
    if (!m_sharedPath.isEmpty() && m_parts.contains(m_sharedPath)) {
        XNode sst = ParseXml(m_parts.value(m_sharedPath), m_sharedPath);
        m_sharedEntries = std::move(sst.kids);
        sst.kids.clear();
        sst.removeAttr(QStringLiteral("count"));
        m_sharedRoot = std::move(sst);
        m_shared.reserve(m_sharedEntries.size());
        for (const XNode& si : m_sharedEntries)
            m_shared.push_back(entryText(si));
        return;
    }
    // A template without texts: the part, its relationship and its content type are added.
    m_sharedPath = QStringLiteral("xl/sharedStrings.xml");
    m_sharedRoot = XNode{QStringLiteral("sst"), {{QStringLiteral("xmlns"), kMainNs}}, {}, {}};
    addPart(m_sharedPath, QByteArray());
    XNode& rels = xmlPart(relsOf(QStringLiteral("xl/workbook.xml")));
    QString id;
    for (int n = 1;; ++n) {
        id = QStringLiteral("rIdS%1").arg(n);
        if (std::none_of(rels.kids.begin(), rels.kids.end(),
                         [&](const XNode& k) { return k.attr(QStringLiteral("Id")) == id; }))
            break;
    }
    rels.kids.push_back(XNode{QStringLiteral("Relationship"),
                              {{QStringLiteral("Id"), id},
                               {QStringLiteral("Type"), kSharedStringsType},
                               {QStringLiteral("Target"), QStringLiteral("sharedStrings.xml")}},
                              {},
                              {}});
    const QString types = QStringLiteral("[Content_Types].xml");
    if (!m_parts.contains(types))
        fail(QStringLiteral("В книге нет части %1").arg(types));
    xmlPart(types).kids.push_back(XNode{QStringLiteral("Override"),
                                        {{QStringLiteral("PartName"), QLatin1Char('/') + m_sharedPath},
                                         {QStringLiteral("ContentType"), kSharedStringsContent}},
                                        {},
                                        {}});
}

int TXlsxWorkbook::internString(const QString& text) {
    if (m_sharedIndex.isEmpty() && !m_shared.empty())
        for (int i = int(m_shared.size()) - 1; i >= 0; --i)
            m_sharedIndex.insert(m_shared[size_t(i)], i);
    if (const auto it = m_sharedIndex.constFind(text); it != m_sharedIndex.constEnd())
        return *it;
    const int index = int(m_shared.size());
    m_shared.push_back(text);
    m_sharedIndex.insert(text, index);
    return index;
}

QString TXlsxWorkbook::sharedString(int index) const {
    return index >= 0 && size_t(index) < m_shared.size() ? m_shared[size_t(index)] : QString();
}

QByteArray TXlsxWorkbook::sharedStringsXml() const {
    XNode root = m_sharedRoot;
    root.setAttr(QStringLiteral("uniqueCount"), QString::number(m_shared.size()));
    QByteArray out = kXmlDeclaration;
    out += '<';
    out += root.name.toUtf8();
    WriteXmlAttrs(out, root.attrs);
    out += '>';
    for (const XNode& si : m_sharedEntries)
        WriteXmlElement(out, si);
    for (size_t i = m_sharedEntries.size(); i < m_shared.size(); ++i) {
        out += needsPreserve(m_shared[i]) ? "<si><t xml:space=\"preserve\">" : "<si><t>";
        XmlEscapeInto(out, m_shared[i], false);
        out += "</t></si>";
    }
    out += "</";
    out += root.name.toUtf8();
    out += '>';
    return out;
}

int TXlsxWorkbook::addRawCell(XNode cell) {
    m_rawCells.push_back(std::move(cell));
    return int(m_rawCells.size()) - 1;
}

// ---- saving

void TXlsxWorkbook::writePackage(QIODevice& device) {
    QuaZip zip(&device);
    if (!zip.open(QuaZip::mdCreate))
        fail(QStringLiteral("Не удается создать книгу"));
    for (const QString& name : std::as_const(m_order)) {
        QuaZipFile file(&zip);
        const auto failed = [&] { fail(QStringLiteral("Не удается записать %1 в книгу").arg(name)); };
        // Pictures are compressed already: deflating them again costs time and saves nothing.
        const bool stored = name.endsWith(QLatin1String(".png"), Qt::CaseInsensitive) ||
                            name.endsWith(QLatin1String(".jpeg"), Qt::CaseInsensitive) ||
                            name.endsWith(QLatin1String(".jpg"), Qt::CaseInsensitive);
        if (!file.open(QIODevice::WriteOnly, QuaZipNewInfo(name), nullptr, 0, stored ? 0 : Z_DEFLATED,
                       stored ? 0 : kZipLevel))
            failed();
        const auto writeData = [&](const char* data, qsizetype size) {
            if (file.write(data, size) != size)
                failed();
        };
        const auto write = [&](const QByteArray& bytes) { writeData(bytes.constData(), bytes.size()); };
        if (const auto sheet = m_sheets.find(name); sheet != m_sheets.end() && sheet->second)
            sheet->second->serialize(writeData, kStreamChunk);
        else if (name == m_sharedPath)
            write(sharedStringsXml());
        else if (const auto xml = m_xml.find(name); xml != m_xml.end())
            write(WriteXml(xml->second));
        else
            write(m_parts.value(name));
        file.close();
        if (file.getZipError() != 0)
            failed();
    }
    zip.close();
    if (zip.getZipError() != 0)
        fail(QStringLiteral("Не удается завершить книгу"));
}

QByteArray TXlsxWorkbook::SaveToBytes() {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    writePackage(buffer);
    return buffer.data();
}

void TXlsxWorkbook::SaveAs(const QString& path) {
    // The package is made in memory first (QuaZip closes the device it writes to, which a QSaveFile does
    // not allow); QSaveFile then writes a temporary file beside the target and renames it on commit, so
    // the final name never holds a half-written workbook.
    const QByteArray bytes = SaveToBytes();
    QSaveFile file(path);
    QString reason;
    if (!PrivateWrite(path, [&file] { return file.open(QIODevice::WriteOnly); }) ||
        !WriteAll(file, bytes.constData(), bytes.size()))
        reason = file.errorString();
    else if (CommitAll(file, reason))
        return;
    fail(QStringLiteral("Не удается сохранить книгу %1: %2").arg(path, reason));
}

} // namespace Platform
