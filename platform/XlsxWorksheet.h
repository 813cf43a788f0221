// One worksheet of a workbook made from a template: a compact model of its rows (cells of a few
// integers each: column, style index, shared-string or raw-element index) with the operations the
// report needs, and a serializer that streams the sheet's XML out in chunks.
#pragma once

#include "platform/XmlTree.h"

#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <map>
#include <vector>

namespace Platform {

class TXlsxWorkbook;

// The grid limits of the file format: rows 1 to 1,048,576 and columns A to XFD.
inline constexpr int kMaxSheetRows = 1048576;
inline constexpr int kMaxSheetCols = 16384;
// The longest text a cell may hold; longer texts are cut (spreadsheet programs refuse the file).
inline constexpr int kMaxCellChars = 32767;

// Cell addresses: "B5" <-> (row 5, column 2). ParseCellName accepts only addresses inside the grid.
QString CellName(int row, int col);
bool ParseCellName(QStringView ref, int& row, int& col);

// Rows and columns count from 1 (column B = 2), as the report positions are given.
class TXlsxWorksheet {
public:
    QString Name() const { return m_name; }

    // Writing: every value is written as a string, exactly as given, less the characters a workbook
    // cannot hold (see XmlEscapeInto) and cut at kMaxCellChars.
    void SetText(int row, int col, const QString& text);
    // Writes the top-left `rows` × `cols` part of a 2-D array of texts (missing entries as empty strings).
    void SetRange(int row, int col, const QVector<QStringList>& values, int rows, int cols);
    // Writes a number; `format`, when given, becomes the number format of the cell's style.
    void SetNumber(int row, int col, double value, const QString& format = {});
    // Writes what a spreadsheet program makes of `text` typed into the cell under a locale with the
    // decimal separator `decimalPoint`: a number where ParseTypedNumber finds one and the cell's format
    // is not text, else the text. The cell shows `text` either way.
    void SetTyped(int row, int col, const QString& text, QChar decimalPoint);
    // SetRange through SetTyped.
    void SetTypedRange(int row, int col, const QVector<QStringList>& values, int rows, int cols,
                       QChar decimalPoint);
    // The text of a cell (shared, inline or plain value; a number as the file holds it); empty when the
    // cell does not exist.
    QString Text(int row, int col) const;
    bool HasCell(int row, int col) const;
    // A number cell's value (false for any other cell), and the number format of a cell's style.
    bool Number(int row, int col, double& value) const;
    QString NumberFormat(int row, int col) const;

    void SetBold(int row1, int col1, int row2, int col2);
    bool IsBold(int row, int col) const;

    // Fills the formats (and contents) of columns col1..col2 of `row` down over the rows up to lastRow,
    // with the row's height and its one-row merges.
    void AutoFill(int row, int col1, int col2, int lastRow);

    // Inserts a PNG picture (size in pixels) with its top-left corner at the top-left of the cell.
    void InsertPicture(int row, int col, const QByteArray& png, const QSize& size);

    // Row operations: `count` copies of row `row` inserted at `row` (everything below moves down by
    // `count`) and row `row` deleted (everything below moves up); merged cells and row heights move with
    // their rows. InsertRows(row, n) equals n calls of InsertRows(row, 1) at one pass's cost.
    void InsertRows(int row, int count);
    void DeleteRow(int row);
    // Copies the `area` (x = column, y = row) of `source` (which may be this sheet) with its top-left
    // corner to (row, col): cells, the formats of rows that have none here yet, merges inside the area,
    // and conditional formats inside it (their ranges added to one format here per source format).
    void CopyArea(const TXlsxWorksheet& source, const QRect& area, int row, int col);

    // A manual page break above the row.
    void AddPageBreak(int row);

    // Inspection (tests, the dimension written on save).
    const std::vector<QRect>& Merges() const { return m_merges; }
    double RowHeight(int row) const; // 0 when the row has the default height
    QString Dimension() const;
    int LastRow() const;
    QStringList ConditionalRanges() const;
    bool HasPicture() const;
    // Every cell that exists, in row and column order, with its text (inspection and comparison).
    void ForEachCell(const std::function<void(int row, int col, const QString& text)>& visit) const;

private:
    friend class TXlsxWorkbook;
    enum class TKind : quint8 { Blank, Shared, Raw, Integer, Number };
    // A cell: its style index (-1: none given), and for Shared the index into the workbook's strings,
    // for Raw the index of the cell element kept whole by the workbook (the template's numbers, formulas,
    // inline text), for Integer the number itself, for Number the index into the workbook's numbers.
    struct TCell {
        int col;
        int style;
        int value;
        TKind kind;
    };
    struct TRow {
        QVector<QPair<QString, QString>> attrs; // without "r" and "spans"
        std::vector<TCell> cells;               // ascending columns
    };

    TXlsxWorksheet(TXlsxWorkbook* book, const QString& name, const QString& path);
    void parse(const QByteArray& xml);
    // Streams the sheet's XML into `sink` in chunks of about `chunk` bytes.
    void serialize(const std::function<void(const char*, qsizetype)>& sink, qsizetype chunk) const;
    TCell& cellAt(int row, int col);
    const TCell* findCell(int row, int col) const;
    static void checkRow(int row, const char* operation);

    TXlsxWorkbook* m_book;
    QString m_name;
    QString m_path;
    XNode m_root; // the worksheet element; sheetData and mergeCells are rebuilt from the members below
    std::map<int, TRow> m_rows;
    std::vector<QRect> m_merges; // x = column, y = row, inclusive ranges
    // Conditional formats added by CopyArea, one per source sheet and format, with their ranges.
    std::vector<XNode> m_addedFormats;
    std::vector<QStringList> m_addedRanges;
    std::map<std::pair<const TXlsxWorksheet*, int>, size_t> m_addedIndex;
    std::vector<int> m_pageBreaks; // rows that start a page
    bool m_hasPicture = false;
    // The row cellAt wrote last (reset when rows move).
    TRow* m_lastRow = nullptr;
    int m_lastRowNo = 0;
};

} // namespace Platform
