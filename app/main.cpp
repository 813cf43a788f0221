// Entry of the program: options and folders, splash, data module, database choice, main window.
#include "app/DB_Frm.h"
#include "app/DemoData.h"
#include "app/Help_Frm.h"
#include "app/MainFrm.h"
#include "app/Splash_Frm.h"
#include "app/Startup.h"
#include "data/DataMod.h"
#include "platform/ErrorDisplay.h"
#include "platform/ProgramDir.h"

#include <memory>

int main(int argc, char** argv) {
    Platform::TApplication app(argc, argv);
    Startup::SetupApplication(app);
    const Startup::TOptions options = Startup::ParseCommandLine(app);
    if (options.exit)
        return options.exitCode;

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

        auto splash = std::make_unique<TSplash_Form>();
        splash->show();
        splash->repaint();
        QApplication::processEvents();
        splash->StepIt();

        std::unique_ptr<TMain_DataModule> dataModule = TMain_DataModule::Create(Platform::DataRoot());
        if (!dataModule)
            return 1;
        if (dataModule->CreatedTableFile())
            Demo::CreateDemoDatabase(*dataModule);

        splash->StepIt();
        splash.reset();

        int dbId = 0;
        QString name;
        if (!ChooseDB(dbId, name))
            return 0;
        dataModule->Current_DB_ID = dbId;

        TMain_Form mainForm;
        mainForm.SetDBCaption(name);
        mainForm.show();
        return app.exec();
    } catch (const std::exception& e) {
        Platform::showException(e);
        return 1;
    }
}
