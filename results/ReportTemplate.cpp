// The report template's operations over the workbook layer.
#include "results/ReportTemplate.h"

#include "platform/ErrorDisplay.h"
#include "platform/XlsxWorkbook.h"

#include <QRect>
#include <QVariantList>

namespace Results {

namespace {

[[noreturn]] void fail(const QString& what) { throw Platform::EError(what); }

// Argument i as an integer; the macro's name in the message.
int intArg(const QString& macro, const QVariantList& args, int i) {
    bool ok = false;
    const int v = args.value(i).toInt(&ok);
    if (!ok)
        fail(QStringLiteral("Макрос %1: неверный аргумент %2").arg(macro).arg(i + 1));
    return v;
}

void checkCount(const QString& macro, const QVariantList& args, int least, int most) {
    if (args.size() < least || args.size() > most)
        fail(QStringLiteral("Макрос %1: неверное число аргументов (%2)").arg(macro).arg(args.size()));
}

} // namespace

void AddReportMacros(Platform::TXlsxWorkbook& book) {
    book.SetMacro(QStringLiteral("AddString"), [](Platform::TXlsxWorkbook& b, const QVariantList& args) {
        const QString name = QStringLiteral("AddString");
        checkCount(name, args, 1, 2);
        b.Worksheet(1).AddString(intArg(name, args, 0), args.size() == 2 ? intArg(name, args, 1) : 1);
    });
    book.SetMacro(QStringLiteral("DelString"), [](Platform::TXlsxWorkbook& b, const QVariantList& args) {
        const QString name = QStringLiteral("DelString");
        checkCount(name, args, 1, 1);
        b.Worksheet(1).DelString(intArg(name, args, 0));
    });
    book.SetMacro(
        QStringLiteral("CreateProfilTables"), [](Platform::TXlsxWorkbook& b, const QVariantList& args) {
            const QString name = QStringLiteral("CreateProfilTables");
            checkCount(name, args, 4, 4);
            const int row = intArg(name, args, 0);
            const int col = intArg(name, args, 1);
            Platform::TXlsxWorksheet* sheet = b.Sheet(args[2].toString());
            if (!sheet)
                fail(QStringLiteral("Макрос %1: нет листа \"%2\"").arg(name, args[2].toString()));
            const Platform::TXlsxWorksheet* proto = b.Sheet(kPrototypeSheet);
            if (!proto)
                fail(QStringLiteral("В шаблоне нет листа \"%1\" для таблиц профилей").arg(kPrototypeSheet));
            sheet->CopyArea(*proto, QRect(1, 1, kPrototypeCols, kPrototypeRows), row, col);
            sheet->SetText(row + kPrototypeTitleRow - 1, col, args[3].toString());
        });
}

} // namespace Results
