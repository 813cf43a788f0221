// "Печать кодов": a page of slips, one per testee with his name, his personal code and the address to
// open, cut apart and handed out; printed through the print dialog or saved as a PDF file.
#pragma once

#include <QList>
#include <QString>

class QPagedPaintDevice;
class QWidget;

namespace Group {

struct TSlip {
    QString fio;
    QString code;
};

// Paints the slips (twelve to an A4 page) on a device set up for A4; returns the page count.
int PaintSlips(QPagedPaintDevice& device, const QList<TSlip>& slips, const QString& address);

// Writes the slips into a PDF file that appears only when written in full. Throws Platform::EError.
void SaveSlipsPdf(const QString& path, const QList<TSlip>& slips, const QString& address);

// The system print dialog, then the slips on the chosen printer.
void PrintSlips(QWidget* parent, const QList<TSlip>& slips, const QString& address);
// The save-file dialog on "Коды тестирования <date>.pdf" in the reports folder, then the PDF file.
void SaveSlipsAs(QWidget* parent, const QList<TSlip>& slips, const QString& address);

} // namespace Group
