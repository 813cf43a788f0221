// The parts opened on demand, as one table: compiled into the module the program loads and into the
// libraries that tests link.
#include "app/OnDemand.h"

#include "app/StatExport.h"
#include "group/GroupOptions.h"
#include "group/GroupTest_Frm.h"
#include "results/Result_Frm.h"
#include "testing/ListTest_Frm.h"

#include <QPrintDialog>
#include <QPrinter>
#include <QTextBrowser>

namespace {

void printText(QTextBrowser* browser, const QString& title, QWidget* parent) {
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, parent);
    dialog.setWindowTitle(title);
    if (browser->textCursor().hasSelection())
        dialog.setOption(QAbstractPrintDialog::PrintSelection);
    if (dialog.exec() != QDialog::Accepted)
        return;
    browser->print(&printer);
}

const TOnDemand kParts = {
    .ShowTestList = [](const Data::Testee& testee, QWidget* parent) { ShowTestList(testee, parent); },
    .ShowResults = [](const Data::Testee& testee, const QVector<Data::TestRecord>& tests,
                      QWidget* parent) { ShowResults(testee, tests, parent); },
    .ShowGroupTesting =
        [](const Data::TQuery& men, const QList<int>& selected, int current, QWidget* parent) {
            ShowGroupTesting(Group::ListedTestees(men), selected, current, parent);
        },
    .ShowStatExport = [](const QList<int>& menIds,
                         QWidget* parent) { return ShowStatExport(menIds, parent); },
    .NewGroupOptionsPage = []() { return new TGroupOptions_Page; },
    .ReadGroupOptions = [](TGroupOptions_Page* page, const QString& iniPath) { page->ReadSettings(iniPath); },
    .WriteGroupOptions = [](const TGroupOptions_Page* page,
                            const QString& iniPath) { page->WriteSettings(iniPath); },
    .PrintText = printText,
};

} // namespace

extern "C" const TOnDemand* morvel_on_demand() { return &kParts; }
