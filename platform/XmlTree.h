// A plain XML element tree for the parts of an Office Open XML package that the workbook layer edits
// (styles, relationships, content types, worksheet elements other than the cell data), with a reader
// that never recurses and bounds the nesting, and a writer that escapes text as it goes and drops the
// characters XML 1.0 cannot hold.
#pragma once

#include <QByteArray>
#include <QPair>
#include <QString>
#include <QVector>

#include <vector>

class QXmlStreamReader;

namespace Platform {

// Deepest element nesting accepted in a package part; the parts of a workbook nest a dozen levels.
inline constexpr int kMaxXmlDepth = 128;

struct XNode {
    QString name;
    QVector<QPair<QString, QString>> attrs;
    QString text;
    std::vector<XNode> kids;

    QString attr(const QString& key) const;
    void setAttr(const QString& key, const QString& value);
    void removeAttr(const QString& key);
    XNode* child(const QString& childName);
    const XNode* child(const QString& childName) const;
};

// Reads the element the reader stands on (a start element) with everything inside it, without
// recursion; throws EError naming `part` when it nests deeper than kMaxXmlDepth or is malformed.
XNode ReadXmlElement(QXmlStreamReader& reader, const QString& part);
// The root element of a part; throws EError naming `part` when the part is not well-formed.
XNode ParseXml(const QByteArray& bytes, const QString& part);

// Appends `text` as UTF-8, escaped for element text or (with `attribute`) for a double-quoted attribute
// value. Characters XML 1.0 cannot carry (controls other than tab, line feed and carriage return, lone
// surrogates, U+FFFE and U+FFFF) are left out.
void XmlEscapeInto(QByteArray& out, QStringView text, bool attribute);
// True when XmlEscapeInto would leave out a character of `text`.
bool HasNonXmlChars(QStringView text);
// `text` without the characters XmlEscapeInto leaves out (the same string when there are none).
QString XmlSafeText(const QString& text);
void WriteXmlAttrs(QByteArray& out, const QVector<QPair<QString, QString>>& attrs);
void WriteXmlElement(QByteArray& out, const XNode& node);
// The declaration and the tree.
QByteArray WriteXml(const XNode& root);

extern const QByteArray kXmlDeclaration;

} // namespace Platform
