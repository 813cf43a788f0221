// The export for statistics software: every test of the open database (or of chosen testees) as one row
// of a CSV file, with the keys of testee and record, the testee, the record strings, the 32 counts, the
// reactions, the ТКП profile and the indices of the record; and the small window of the main menu's
// "Экспорт для статистики..." that asks for the options.
#pragma once

#include <QChar>
#include <QDialog>
#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <memory>

class QCheckBox;
class QIODevice;
class QLabel;
class QPushButton;

namespace Data {
class TDataset;
class TQuery;
} // namespace Data

namespace Stat {

struct TCsvOptions {
    QChar Separator = QLatin1Char(';');
    bool LatinHeaders = false;
};

// ";" where the locale writes decimals with a comma (a spreadsheet program there splits columns on ";"),
// "," elsewhere.
QChar LocaleSeparator(const QLocale& locale = QLocale());

// One field after RFC 4180: quoted, with its quotes doubled, when it holds the separator, a quote or a
// line break.
QString CsvField(const QString& text, QChar separator);

// A text that a spreadsheet program would take for a formula (it begins with "=", "+", "-", "@", a tab or
// a carriage return) gets an apostrophe in front. The writer passes every field through it.
QString GuardFormula(const QString& text);

// A string of digits that must stay text (a 48-digit record would lose digits as a number, a profile its
// leading zeros) gets the same apostrophe in front; empty stays empty.
QString MarkAsText(const QString& text);

// The names of the columns: Russian, or Latin identifiers for statistics packages.
QStringList HeaderNames(bool latin);

// The fields of row `row` of the export query (the columns of Data::kStatExportSQL), in the order of
// HeaderNames, before the formula guard. Counts, reactions, the ТКП profile and the indices (Sum 0,
// Sum ±, СНТ, Sum!, TspQu and Sy% of a table holding this one record, as the results window counts them)
// that the record strings do not hold stay empty.
QStringList RecordFields(const Data::TDataset& query, int row);

// The export query of database `dbId`, opened.
std::unique_ptr<Data::TQuery> OpenStatQuery(int dbId);

// Rows of the query that belong to the testees `menIds`; every row when the list is empty.
QVector<int> SelectRows(const Data::TDataset& query, const QList<int>& menIds);

// Writes the byte-order mark, the header row and the rows `rows` of the query, lines ended by CR LF.
// `progress` (rows done, rows in all) is asked now and then and stops the writing when it returns false.
// Returns false when stopped; throws Platform::EError when the device refuses the data.
bool WriteStatCsv(const Data::TDataset& query, const QVector<int>& rows, QIODevice& out,
                  const TCsvOptions& options, const std::function<bool(int, int)>& progress = {});

// From this many rows on the export shows a progress window with "Отмена".
inline constexpr int kProgressMinRows = 2000;

// Writes the CSV file `path`; it appears only when complete. A cancelled export leaves no new file (and
// an existing one unchanged) and returns false. Throws Platform::EError when the file cannot be written.
bool ExportStatistics(const QString& path, const Data::TDataset& query, const QVector<int>& rows,
                      const TCsvOptions& options, QWidget* owner);

} // namespace Stat

// The options of the export: what is exported, "Заголовки латиницей", and "Сохранить..." that asks for
// the file and writes it.
class TStatExport_Form : public QDialog {
    Q_OBJECT
public:
    // All tests of the open database, or of the testees `menIds` when the list is not empty.
    explicit TStatExport_Form(const QList<int>& menIds, QWidget* parent = nullptr);
    ~TStatExport_Form() override;

    QLabel* Info_Label;
    QCheckBox* Latin_CheckBox;
    QPushButton* Save_But;
    QPushButton* Cancel_But;

    int RowCount() const { return int(m_rows.size()); }
    // The file written by "Сохранить...", empty until one was.
    const QString& SavedPath() const { return m_savedPath; }

public Q_SLOTS:
    void Save_ButClick();

private:
    std::unique_ptr<Data::TQuery> m_query;
    QVector<int> m_rows;
    QString m_savedPath;
};

// Opens the export window; returns true when a file was written.
bool ShowStatExport(const QList<int>& menIds, QWidget* parent = nullptr);
