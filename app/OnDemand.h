// The windows the program opens only on the user's demand (the test list with its test windows, the
// results with their charts and printed report, group testing with its web server, the statistics export,
// printing) live in a module beside the executable that is loaded the first time one of them opens: the
// libraries they need (charts, printing, network) then cost nothing at start. The main window reaches them
// only through this table. Programs that link those parts directly (tests, benchmarks) get the same table
// without loading anything.
#pragma once

#include "data/Records.h"

#include <QList>
#include <QString>
#include <QVector>

class QTextBrowser;
class QWidget;
class TGroupOptions_Page;

namespace Data {
class TQuery;
}

struct TOnDemand {
    void (*ShowTestList)(const Data::Testee& testee, QWidget* parent);
    void (*ShowResults)(const Data::Testee& testee, const QVector<Data::TestRecord>& tests, QWidget* parent);
    // Group testing of the testees the list shows (`men`), the selected ones and the current one first.
    void (*ShowGroupTesting)(const Data::TQuery& men, const QList<int>& selected, int current,
                             QWidget* parent);
    bool (*ShowStatExport)(const QList<int>& menIds, QWidget* parent);
    // The settings page of group testing, and its reading and writing of the settings file (writing throws
    // Platform::EError as the page does).
    TGroupOptions_Page* (*NewGroupOptionsPage)();
    void (*ReadGroupOptions)(TGroupOptions_Page* page, const QString& iniPath);
    void (*WriteGroupOptions)(const TGroupOptions_Page* page, const QString& iniPath);
    // The print dialog for a text shown in `browser` (its selection, when there is one), then printing.
    void (*PrintText)(QTextBrowser* browser, const QString& title, QWidget* parent);
};

// The table; loads the module on the first call. Throws Platform::EError (what to do, in Russian; the
// loader's words as detail) when the module cannot be loaded.
const TOnDemand& OnDemand();

// The table of the parts themselves, as the module exports it.
extern "C" const TOnDemand* morvel_on_demand();
