// Printing the results window and saving it as a PDF file: the two toolbar commands "Печать..." and
// "Сохранить в PDF...", on top of the report document that both paint.
#pragma once

#include <QDate>
#include <QString>

class QPrinter;
class TResult_Form;

namespace Results {

struct TResultsModel;

// "<FIO> <date>.pdf" in `folder`; characters that cannot stand in a file name become "_", and a long FIO
// is shortened so that the name fits.
QString ProposedPdfPath(const QString& folder, const QString& fio, const QDate& date);

// Writes the report of the results as an A4 PDF file and returns its page count. The file appears
// only when the whole document was written; an existing file is replaced then. Throws Platform::EError
// when it cannot be written.
int SaveResultsPdf(const TResultsModel& model, const QString& path);

// Prints the report on a printer set up by the caller (its page range honoured); returns the page count.
int PrintResults(const TResultsModel& model, QPrinter& printer);

// "Печать...": the system print dialog, then the report on the chosen printer.
void Print_ButClick(TResult_Form& form);
// "Сохранить в PDF...": a file dialog on "<FIO> <date>.pdf" in the reports folder (asking before a file
// is replaced), then the PDF file.
void Pdf_ButClick(TResult_Form& form);

} // namespace Results
