// Store opening at start and on reconnect.
#include "app/StoreStart.h"

#include "app/MainFrm.h"
#include "app/Option_Frm.h"
#include "app/ServerLogin.h"
#include "app/ServerWait.h"
#include "platform/Dialogs.h"
#include "platform/Log.h"
#include "platform/SaveFile.h"
#include "results/ExportExcel.h"

#include <QDir>

std::unique_ptr<TMain_DataModule> OpenStore(const QString& programDir, const TMain_DataModule::TSeed& seed) {
    for (;;) {
        const Data::TStoreSettings store = Data::ReadStoreSettings(SettingsFilePath());
        if (!store.IsServer())
            return TMain_DataModule::Create(programDir, seed);
        InstallServerWait();
        std::unique_ptr<TMain_DataModule> dm;
        const Data::TConnectResult result = WithServerPassword(nullptr, store, [&](const QString& password) {
            try {
                dm = TMain_DataModule::CreateServer(programDir, store, password);
                return Data::TConnectResult{};
            } catch (const Data::ENoDataDir&) {
                throw;
            } catch (const Data::EServerRefused& e) {
                return Data::TConnectResult{e.failure, e.message()};
            } catch (const Data::EDatabaseError& e) {
                if (!e.detail().isEmpty())
                    Platform::LogError(e.message(), e.detail());
                return Data::TConnectResult{Data::TConnectFailure::Other, e.message()};
            }
        });
        if (dm)
            return dm;
        const QString question =
            result.message +
            QStringLiteral("\n\nОткрыть настройки базы данных, чтобы проверить параметры сервера "
                           "или выбрать локальный файл?");
        if (Platform::messageBox(nullptr, question, QStringLiteral("Нет соединения с сервером"),
                                 Platform::MsgIcon::Error, Platform::MsgButtons::YesNo,
                                 Platform::MsgAnswer::Yes) != Platform::MsgAnswer::Yes)
            return nullptr;
        if (!ShowOptions(nullptr, TOptions_Form::kDatabasePage))
            return nullptr;
    }
}

QString NetworkFolderNotice(const QString& dataDir) {
    return QStringLiteral(
               "Папка данных «%1» находится на сетевом диске. Совместная работа нескольких рабочих "
               "мест с файлом базы данных в сетевой папке небезопасна: данные могут быть повреждены. "
               "Для совместной работы используйте сервер PostgreSQL (Настройка, страница «База "
               "данных»).")
        .arg(QDir::toNativeSeparators(dataDir));
}

QString ExposedFolderNotice(const QString& folder) {
    return QStringLiteral("Папку «%1» с данными тестируемых могут просматривать другие пользователи этого "
                          "компьютера. Закройте к ней доступ (команда: chmod 700 \"%1\") или перенесите "
                          "данные в папку, доступную только вам.")
        .arg(QDir::toNativeSeparators(folder));
}

void ShowStoreNotices(const TMain_DataModule& dm) {
    if (dm.ReadOnly())
        Platform::messageBox(nullptr, dm.ReadOnlyNotice(), QStringLiteral("Информация"),
                             Platform::MsgIcon::Information);
    if (dm.NetworkFolder())
        Platform::messageBox(nullptr, NetworkFolderNotice(dm.DataDir()), QStringLiteral("Предупреждение"),
                             Platform::MsgIcon::Warning);
    // Records of testees in a folder that other users of the computer can look into.
    const QString exposed = Platform::FolderOthersCanRead({dm.DataDir(), Results::ReportFolder()});
    if (!exposed.isEmpty())
        Platform::messageBox(nullptr, ExposedFolderNotice(exposed), QStringLiteral("Предупреждение"),
                             Platform::MsgIcon::Warning);
    for (const QString& table : dm.RepairedTables())
        Platform::messageBox(
            nullptr, QStringLiteral("Справочная таблица %1 была неполной и восстановлена.").arg(table),
            QStringLiteral("Информация"), Platform::MsgIcon::Information);
}
