// A small automation layer over Office Open XML workbooks, standing where a spreadsheet program's object
// model stood for the report export: a workbook made from a template, its worksheets, writing texts and
// arrays of texts, bold, filling a row's formats downward, a picture at a cell, and the template's three
// row and chart-area operations ("AddString", "DelString", "CreateProfilTables"). The package is read
// and written with QuaZip and Qt's XML stream classes; parts the layer does not change are copied as
// they are.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVector>

#include <map>
#include <memory>
#include <vector>

namespace Platform {

// A generic XML element: the parts of the package the layer edits are kept as such trees.
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

class TXlsxWorkbook;

// One worksheet. Rows and columns count from 1 (column B = 2), as the report positions are given.
class TXlsxWorksheet {
public:
    QString Name() const { return m_name; }

    // Writing: every value is written as an inline string, exactly as given.
    void SetText(int row, int col, const QString& text);
    // Writes the top-left `rows` × `cols` part of a 2-D array of texts (missing entries as empty strings).
    void SetRange(int row, int col, const QVector<QStringList>& values, int rows, int cols);
    // The shown text of a cell (inline, shared or plain value); empty when the cell does not exist.
    QString Text(int row, int col) const;
    bool HasCell(int row, int col) const;

    void SetBold(int row1, int col1, int row2, int col2);
    bool IsBold(int row, int col) const;

    // Fills the formats (and contents) of columns col1..col2 of `row` down over the rows up to lastRow,
    // with the row's height and its one-row merges.
    void AutoFill(int row, int col1, int col2, int lastRow);

    // Inserts a PNG picture (size in pixels) with its top-left corner at the top-left of the cell.
    void InsertPicture(int row, int col, const QByteArray& png, const QSize& size);

    // The template operations: a copy of row `row` inserted at `row` (everything below moves down) and
    // row `row` deleted (everything below moves up); merged cells and row heights move with their rows.
    void AddString(int row);
    void DelString(int row);
    // Lays out one titled, framed 12 × 8 chart area from the template's prototype: rows row+1 to row+15
    // of the eight columns from `col`; its " " and "  " cells show red and blue.
    void CreateProfilTables(int row, int col, const QString& title);

    // A manual page break above the row.
    void AddPageBreak(int row);

    // Inspection (tests, the dimension written on save).
    const std::vector<QRect>& Merges() const { return m_merges; }
    double RowHeight(int row) const; // 0 when the row has the default height
    QString Dimension() const;
    int LastRow() const;
    QStringList ConditionalRanges() const;
    bool HasPicture() const;

private:
    friend class TXlsxWorkbook;
    struct Row {
        QVector<QPair<QString, QString>> attrs; // without "r" and "spans"
        std::map<int, XNode> cells;             // cell elements without "r"
    };

    TXlsxWorksheet(TXlsxWorkbook* book, const QString& name, const QString& path);
    void parse(const QByteArray& xml);
    QByteArray serialize() const;
    XNode& cellAt(int row, int col);
    const XNode* findCell(int row, int col) const;
    void copyRowInto(const Row& from, Row& to, int col1, int col2);

    TXlsxWorkbook* m_book;
    QString m_name;
    QString m_path;
    XNode m_root; // the worksheet element; sheetData and mergeCells are rebuilt from the members below
    std::map<int, Row> m_rows;
    std::vector<QRect> m_merges; // x = column, y = row, inclusive ranges
    // Conditional formats added by CreateProfilTables, one per prototype format, ranges appended.
    std::vector<XNode> m_addedFormats;
    std::vector<int> m_pageBreaks; // rows that start a page
    bool m_hasPicture = false;
};

class TXlsxWorkbook {
public:
    // A new workbook made from a template file; throws EError when it cannot be read.
    explicit TXlsxWorkbook(const QString& templatePath);
    ~TXlsxWorkbook();
    TXlsxWorkbook(const TXlsxWorkbook&) = delete;
    TXlsxWorkbook& operator=(const TXlsxWorkbook&) = delete;

    // Worksheet `index` (from 1) in workbook order, or the one named `name` (null when there is none).
    TXlsxWorksheet& Worksheet(int index);
    TXlsxWorksheet* Sheet(const QString& name);
    int SheetCount() const { return m_sheetNames.size(); }

    // Runs a template operation by name: "AddString"(row), "DelString"(row),
    // "CreateProfilTables"(row, column, sheet name, title), on the first worksheet for the first two.
    void Run(const QString& macro, const QVariantList& args);

    // The package as bytes, and saved to a file through a temporary one renamed at the end.
    QByteArray SaveToBytes();
    void SaveAs(const QString& path);

    // The sheet holding CreateProfilTables' prototype area (rows 1–16, columns A–H).
    static QString PrototypeSheetName() { return QStringLiteral("Proto"); }

private:
    friend class TXlsxWorksheet;
    XNode& xmlPart(const QString& path); // parsed on first use, written back on save
    QString addPart(const QString& path, const QByteArray& bytes);
    int boldStyle(int style);
    bool styleIsBold(int style);
    QString sharedString(int index);
    QString uniquePartName(const QString& pattern) const; // pattern holds "%1"

    QStringList m_order;                // part names in package order
    QHash<QString, QByteArray> m_parts; // raw parts
    std::map<QString, XNode> m_xml;     // parsed parts, serialized on save
    QStringList m_sheetNames;
    QStringList m_sheetPaths;
    std::map<QString, std::unique_ptr<TXlsxWorksheet>> m_sheets;
    QHash<int, int> m_boldStyles;
    QStringList m_shared;
    bool m_sharedLoaded = false;
};

// Cell addresses: "B5" <-> (row 5, column 2).
QString CellName(int row, int col);
bool ParseCellName(const QString& ref, int& row, int& col);

} // namespace Platform
