// XML element trees of package parts: an iterative reader and a hand-written escaping writer (the
// stream writer costs several times more per element on the large parts of a report).
#include "platform/XmlTree.h"

#include "platform/ErrorDisplay.h"

#include <QXmlStreamReader>

namespace Platform {

const QByteArray kXmlDeclaration =
    QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n");

namespace {

[[noreturn]] void fail(const QString& part, const QString& what) {
    throw EError(QStringLiteral("Ошибка в части %1 книги: %2").arg(part, what));
}

// The stream reader lets some characters through that XML does not allow (a NUL inside a name, for
// one); they would be dropped on writing, which can change the meaning (two attributes of one name), so
// such a part is refused when read.
void checkChars(QStringView text, const QString& part) {
    if (HasNonXmlChars(text))
        fail(part, QStringLiteral("недопустимый символ"));
}

XNode startNode(const QXmlStreamReader& r, const QString& part) {
    XNode node;
    node.name = r.qualifiedName().toString();
    checkChars(node.name, part);
    const QXmlStreamAttributes attributes = r.attributes();
    node.attrs.reserve(attributes.size());
    for (const QXmlStreamAttribute& a : attributes) {
        node.attrs.append({a.qualifiedName().toString(), a.value().toString()});
        checkChars(node.attrs.back().first, part);
        checkChars(node.attrs.back().second, part);
    }
    return node;
}

// XML 1.0 characters: tab, LF, CR, U+0020–U+D7FF, U+E000–U+FFFD and the planes above (as pairs).
bool isXmlUnit(char16_t ch) { return ch >= 0x20 ? ch < 0xFFFE : ch == u'\t' || ch == u'\n' || ch == u'\r'; }

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

// ---- reading

XNode ReadXmlElement(QXmlStreamReader& r, const QString& part) {
    XNode root = startNode(r, part);
    // The open elements, innermost last; each is the last kid of the one before it.
    std::vector<XNode*> open{&root};
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement()) {
            if (int(open.size()) >= kMaxXmlDepth)
                fail(part, QStringLiteral("слишком глубокая вложенность элементов"));
            XNode* parent = open.back();
            parent->kids.push_back(startNode(r, part));
            open.push_back(&parent->kids.back());
        } else if (r.isCharacters()) {
            checkChars(r.text(), part);
            open.back()->text += r.text();
        } else if (r.isEndElement()) {
            open.pop_back();
            if (open.empty())
                break;
        }
    }
    if (r.hasError())
        fail(part, r.errorString());
    return root;
}

XNode ParseXml(const QByteArray& bytes, const QString& part) {
    QXmlStreamReader r(bytes);
    r.setNamespaceProcessing(false);
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement())
            return ReadXmlElement(r, part);
    }
    fail(part, r.hasError() ? r.errorString() : QStringLiteral("нет корневого элемента"));
}

// ---- writing

void XmlEscapeInto(QByteArray& out, QStringView text, bool attribute) {
    const qsizetype n = text.size();
    const QChar* d = text.data();
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
                // A raw CR would be read back as a line feed.
                out += "&#13;";
                break;
            case u'\t':
                out += attribute ? "&#9;" : "\t";
                break;
            default:
                if (ch >= 0x20)
                    out += char(ch);
            }
        } else if (ch < 0x800) {
            out += char(0xC0 | (ch >> 6));
            out += char(0x80 | (ch & 0x3F));
        } else if (QChar::isSurrogate(ch)) {
            // Only a high surrogate followed by a low one is a character; a lone half is dropped.
            if (QChar::isHighSurrogate(ch) && i + 1 < n && d[i + 1].isLowSurrogate()) {
                const char32_t u = QChar::surrogateToUcs4(ch, d[++i].unicode());
                out += char(0xF0 | (u >> 18));
                out += char(0x80 | ((u >> 12) & 0x3F));
                out += char(0x80 | ((u >> 6) & 0x3F));
                out += char(0x80 | (u & 0x3F));
            }
        } else if (ch < 0xFFFE) {
            out += char(0xE0 | (ch >> 12));
            out += char(0x80 | ((ch >> 6) & 0x3F));
            out += char(0x80 | (ch & 0x3F));
        }
    }
}

bool HasNonXmlChars(QStringView text) {
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t ch = text[i].unicode();
        if (QChar::isHighSurrogate(ch) && i + 1 < n && text[i + 1].isLowSurrogate()) {
            ++i;
            continue;
        }
        if (QChar::isSurrogate(ch) || !isXmlUnit(ch))
            return true;
    }
    return false;
}

QString XmlSafeText(const QString& text) {
    if (!HasNonXmlChars(text))
        return text;
    QString out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar ch = text[i];
        if (ch.isHighSurrogate() && i + 1 < n && text[i + 1].isLowSurrogate()) {
            out += ch;
            out += text[++i];
        } else if (!ch.isSurrogate() && isXmlUnit(ch.unicode())) {
            out += ch;
        }
    }
    return out;
}

void WriteXmlAttrs(QByteArray& out, const QVector<QPair<QString, QString>>& attrs) {
    for (const auto& [key, value] : attrs) {
        out += ' ';
        XmlEscapeInto(out, key, true);
        out += "=\"";
        XmlEscapeInto(out, value, true);
        out += '"';
    }
}

// Recursion is bounded: trees come from ReadXmlElement (at most kMaxXmlDepth deep) or are built by the
// layer itself, a few levels deep.
void WriteXmlElement(QByteArray& out, const XNode& node) {
    const QByteArray name = node.name.toUtf8();
    out += '<';
    out += name;
    WriteXmlAttrs(out, node.attrs);
    if (node.kids.empty() && node.text.isEmpty()) {
        out += "/>";
        return;
    }
    out += '>';
    if (node.kids.empty())
        XmlEscapeInto(out, node.text, false);
    else
        for (const XNode& kid : node.kids)
            WriteXmlElement(out, kid);
    out += "</";
    out += name;
    out += '>';
}

QByteArray WriteXml(const XNode& root) {
    QByteArray out = kXmlDeclaration;
    WriteXmlElement(out, root);
    return out;
}

} // namespace Platform
