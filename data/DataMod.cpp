// Data module: connection set-up, schema on first use, and the members the windows use.
#include "data/DataMod.h"

#include "data/Queries.h"
#include "data/Schema.h"
#include "platform/Dialogs.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>

TMain_DataModule* Main_DataModule = nullptr;

namespace {
int g_connectionSerial = 0;
}

std::unique_ptr<TMain_DataModule> TMain_DataModule::Create(const QString& programDir) {
    const QString dataDir = programDir + QStringLiteral("/DB/");
    if (!QFileInfo(dataDir).isDir()) {
        Platform::messageBox(nullptr, QStringLiteral("Не могу открыть базу данных! Не существует папки DB!"),
                             QStringLiteral("Error"), Platform::MsgIcon::Error);
        return nullptr;
    }
    const QString file = dataDir + Data::kTableFileName;
    const bool exists = QFileInfo::exists(file);

    const QString connection = QStringLiteral("Main_DB_%1").arg(++g_connectionSerial);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(file);
        if (!db.open()) {
            const QString text = db.lastError().text();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(connection);
            throw Data::EDatabaseError(QStringLiteral("Не могу открыть базу данных: ") + text);
        }
        Data::PrepareConnection(db);
        if (!exists)
            Data::CreateSchema(db);
    }
    std::unique_ptr<TMain_DataModule> dm(new TMain_DataModule(dataDir, connection));
    dm->m_created = !exists;
    return dm;
}

TMain_DataModule::TMain_DataModule(const QString& dataDir, const QString& connection)
    : m_dataDir(dataDir), m_connection(connection) {
    using namespace Data;
    DB_Table = new TTable(connection, QStringLiteral("DB"), QStringLiteral("DB_ID"), this);
    Men_Query = new TQuery(connection, this);
    Men_Query->SetSQL(kMenQuerySQL);
    Temp_Table = new TTable(connection, QStringLiteral("USER"), QStringLiteral("Men_ID"), this);
    Update_Query = new TQuery(connection, this);
    ListTest_Query = new TQuery(connection, this);
    ListTest_Query->SetSQL(kListTestQuerySQL);
    Group_Table = new TTable(connection, QStringLiteral("GROUP"), QStringLiteral("Group_ID"), this);
    Symbols_Table = new TTable(connection, QStringLiteral("Symbols"), QStringLiteral("ID_Rec"), this);
    DurMoll_Table = new TTable(connection, QStringLiteral("DurMoll"), QStringLiteral("ID_Rec"), this);
    Soz_Table = new TTable(connection, QStringLiteral("Soz"), QStringLiteral("ID_Rec"), this);
    Tests_Query = new TQuery(connection, this);
    Tests_Query->SetSQL(kTestsQuerySQL);
    Main_DataModule = this;
}

TMain_DataModule::~TMain_DataModule() {
    for (Data::TDataset* ds :
         {static_cast<Data::TDataset*>(Symbols_Table), static_cast<Data::TDataset*>(DurMoll_Table),
          static_cast<Data::TDataset*>(Soz_Table), static_cast<Data::TDataset*>(Men_Query),
          static_cast<Data::TDataset*>(Tests_Query)})
        ds->Close();
    // Datasets go before the connection is removed.
    qDeleteAll(findChildren<Data::TDataset*>(Qt::FindDirectChildrenOnly));
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        if (db.isOpen())
            db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
    if (Main_DataModule == this)
        Main_DataModule = nullptr;
}

QSqlDatabase TMain_DataModule::Connection() const { return QSqlDatabase::database(m_connection, false); }

const QString& TMain_DataModule::MenQueryBaseSQL() const { return Data::kMenQuerySQL; }

int TMain_DataModule::ExecSQL(const QString& sql) {
    Update_Query->Close();
    Update_Query->SetSQL(sql);
    return Update_Query->ExecSQL();
}
