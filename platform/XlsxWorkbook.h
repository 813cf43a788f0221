// A small automation layer over Office Open XML workbooks, standing where a spreadsheet program's object
// model stood for the report export: a workbook made from a template, its worksheets (XlsxWorksheet.h),
// and saving. The package is read with
// QuaZip; parts the layer does not change are copied as they are, the others are written back from their
// models, the worksheets streamed straight into the compressor.
#pragma once

#include "platform/XlsxWorksheet.h"
#include "platform/XmlTree.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <deque>
#include <map>
#include <memory>
#include <vector>

class QIODevice;

namespace Platform {

class TXlsxWorkbook {
public:
    // A new workbook made from a template file; throws EError when it cannot be read or is not a
    // workbook this layer can edit.
    explicit TXlsxWorkbook(const QString& templatePath);
    // The same from the bytes of a package; `name` names it in messages.
    static std::unique_ptr<TXlsxWorkbook> FromBytes(const QByteArray& package, const QString& name);
    ~TXlsxWorkbook();
    TXlsxWorkbook(const TXlsxWorkbook&) = delete;
    TXlsxWorkbook& operator=(const TXlsxWorkbook&) = delete;

    // Worksheet `index` (from 1) in workbook order, or the one named `name` (null when there is none).
    TXlsxWorksheet& Worksheet(int index);
    TXlsxWorksheet* Sheet(const QString& name);

    // The package as bytes, and saved to a file through a temporary one renamed at the end: the final
    // name holds a complete workbook or nothing new.
    QByteArray SaveToBytes();
    void SaveAs(const QString& path);

private:
    friend class TXlsxWorksheet;
    TXlsxWorkbook() = default;
    void load(QIODevice& device, const QString& name);
    void writePackage(QIODevice& device);
    QByteArray sharedStringsXml() const;
    XNode& xmlPart(const QString& path); // parsed on first use, written back on save
    bool hasPart(const QString& path) const { return m_parts.contains(path); }
    QString addPart(const QString& path, const QByteArray& bytes);
    QString uniquePartName(const QString& pattern) const; // pattern holds "%1"
    int boldStyle(int style);
    bool styleIsBold(int style);
    // The style `style` with the number format `code` (itself when it has that format already), and the
    // code of a style's number format ("General" for none).
    int numberFormatStyle(int style, const QString& code);
    QString styleNumberFormat(int style);
    // The shared strings: the template's, then the texts written, each once.
    void loadSharedStrings();
    int internString(const QString& text);
    QString sharedString(int index) const;
    // Cell elements kept whole (numbers, formulas, inline strings), shared by index between rows.
    int addRawCell(XNode cell);
    const XNode& rawCell(int index) const { return m_rawCells[size_t(index)]; }
    // Numbers written that are no small integers, shared by index between rows.
    int addNumber(double value) {
        m_numbers.push_back(value);
        return int(m_numbers.size()) - 1;
    }
    double number(int index) const { return m_numbers[size_t(index)]; }

    QStringList m_order;                // part names in package order
    QHash<QString, QByteArray> m_parts; // raw parts
    std::map<QString, XNode> m_xml;     // parsed parts, serialized on save
    QStringList m_sheetNames;
    QStringList m_sheetPaths;
    std::map<QString, std::unique_ptr<TXlsxWorksheet>> m_sheets;
    QHash<int, int> m_boldStyles;
    QHash<QPair<int, QString>, int> m_formatStyles;
    QHash<int, QString> m_styleFormats;
    QString m_sharedPath;               // the shared-strings part
    XNode m_sharedRoot;                 // its root element without the entries
    std::vector<XNode> m_sharedEntries; // the template's entries, written back as they were
    std::vector<QString> m_shared;      // the texts of all entries
    QHash<QString, int> m_sharedIndex;  // text -> first entry
    std::deque<XNode> m_rawCells;
    std::vector<double> m_numbers;
};

} // namespace Platform
