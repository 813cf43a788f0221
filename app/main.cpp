// Entry of the program: options and folders, splash, data module, database choice, main window.
#include "app/DB_Frm.h"
#include "app/DemoData.h"
#include "app/Help_Frm.h"
#include "app/MainFrm.h"
#include "app/Restore_Frm.h"
#include "app/Splash_Frm.h"
#include "app/Startup.h"
#include "app/StartupProbe.h"
#include "app/StoreStart.h"
#include "data/DataMod.h"
#include "platform/Dialogs.h"
#include "platform/ErrorDisplay.h"
#include "platform/Heap.h"
#include "platform/ProgramDir.h"

#include <QDir>

#include <cstdio>
#include <memory>

int main(int argc, char** argv) {
    Platform::TuneHeap();
    // Help and version need no display; a start without one says so in Russian instead of Qt's abort.
    const Startup::TOptions options = Startup::ParseCommandLine(argc, argv);
    if (options.exit)
        return options.exitCode;
    if (const QString missing = Startup::MissingDisplayMessage(); !missing.isEmpty()) {
        std::fputs(qPrintable(missing), stderr);
        return 1;
    }
    Platform::TApplication app(argc, argv);
    Startup::SetupApplication(app);
    Startup::InstallStartupProbe(app);

    try {
        // Program files beside the executable or in share/morvel; data and settings beside them or in
        // the user's folders.
        const Platform::TLayout layout =
            Platform::ChooseLayout(Platform::SystemLayoutInputs(options.dataDir));
        Platform::ApplyLayout(layout);
        QString error;
        if (!Platform::PrepareDataDir(layout, &error)) {
            Platform::showError(error);
            return 1;
        }
        InstallHelpKey(app);
        // The table file opens on a second thread while this one shows the splash.
        auto opening = Startup::OpenFileStoreMeanwhile(Platform::DataRoot(), Demo::CreateDemoDatabase);

        auto splash = std::make_unique<TSplash_Form>();
        splash->show();
        // The first step paints the splash before the store opens.
        splash->StepIt();

        // Until the main window closes for good: after the settings changed the store, everything is
        // closed and the new store is opened as at start.
        for (;;) {
            std::unique_ptr<TMain_DataModule> dataModule =
                Startup::OpenStoreAtStart(Platform::DataRoot(), Demo::CreateDemoDatabase, std::move(opening));
            if (!dataModule)
                return 1;
            if (splash) {
                // The splash closes right after its last step: a full bar painted now would never be
                // seen.
                splash->setUpdatesEnabled(false);
                splash->StepIt();
                splash.reset();
            }
            ShowStoreNotices(*dataModule);
            MakeDailyBackup();

            int dbId = 0;
            QString name;
            if (!ChooseDB(dbId, name))
                return 0;
            dataModule->Current_DB_ID = dbId;

            TMain_Form mainForm;
            mainForm.SetDBCaption(name);
            mainForm.show();
            const int code = app.exec();
            if (!mainForm.ReconnectRequested())
                return code;
        }
    } catch (const std::exception& e) {
        Platform::showException(e);
        return 1;
    }
}
