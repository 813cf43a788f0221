// Settings dialog.
#include "app/Option_Frm.h"

#include "app/MainFrm.h"
#include "app/OnDemand.h"
#include "app/ServerLogin.h"
#include "data/DataMod.h"
#include "data/ServerEngine.h"
#include "data/Transfer.h"
#include "group/GroupOptions.h"
#include "platform/Dialogs.h"
#include "platform/ErrorDisplay.h"
#include "platform/IniFile.h"
#include "widgets/ColorButton.h"
#include "widgets/DialogLayout.h"

#include <QApplication>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
const QString kSection = QStringLiteral("Interface");
const QString kFirstColor = QStringLiteral("FirstColor");
const QString kSecondColor = QStringLiteral("SecondColor");
} // namespace

TOptions_Form::TOptions_Form(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Настройка"));
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    Options_PageControl = new QTabWidget(this);
    Options_PageControl->setObjectName(QStringLiteral("Options_PageControl"));
    auto* page = new QWidget;
    Options_PageControl->addTab(page, QStringLiteral("Интерфейс"));

    auto* frame = new QGroupBox(QStringLiteral("Цвет строк таблицы "), page);
    FirstColor_Edit = new Widgets::TColorButton(frame);
    FirstColor_Edit->setObjectName(QStringLiteral("FirstColor_Edit"));
    SecondColor_Edit = new Widgets::TColorButton(frame);
    SecondColor_Edit->setObjectName(QStringLiteral("SecondColor_Edit"));
    auto* colors = new QFormLayout(frame);
    colors->addRow(QStringLiteral("Нечетные строки:"), FirstColor_Edit);
    colors->addRow(QStringLiteral("Четные строки:"), SecondColor_Edit);
    (new QVBoxLayout(page))->addWidget(frame, 0, Qt::AlignTop);

    auto* databasePage = new QWidget;
    Options_PageControl->addTab(databasePage, QStringLiteral("База данных"));
    createDatabasePage(databasePage);
    Group_Page = OnDemand().NewGroupOptionsPage();
    Options_PageControl->addTab(Group_Page, QStringLiteral("Сеть"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Options_PageControl, 1);
    layout->addWidget(Widgets::ButtonRow(this, Ok_But, Cancel_But));
    Widgets::OpenAt(this, QSize(362, 477));
    connect(Ok_But, &QPushButton::clicked, this, [this] { Platform::guarded([this] { Ok_ButClick(); }); });
    connect(Cancel_But, &QPushButton::clicked, this, &QDialog::reject);
}

void TOptions_Form::createDatabasePage(QWidget* page) {
    auto* frame = new QGroupBox(QStringLiteral("Где хранятся данные"), page);
    LocalStore_RB = new QRadioButton(QStringLiteral("Локальный файл"), frame);
    LocalStore_RB->setObjectName(QStringLiteral("LocalStore_RB"));
    ServerStore_RB = new QRadioButton(QStringLiteral("Сервер PostgreSQL"), frame);
    ServerStore_RB->setObjectName(QStringLiteral("ServerStore_RB"));
    Host_Edit = new QLineEdit;
    Host_Edit->setObjectName(QStringLiteral("Host_Edit"));
    Host_Edit->setPlaceholderText(QStringLiteral("localhost"));
    Port_Edit = new QSpinBox;
    Port_Edit->setObjectName(QStringLiteral("Port_Edit"));
    Port_Edit->setRange(1, 65535);
    Port_Edit->setValue(5432);
    Database_Edit = new QLineEdit;
    Database_Edit->setObjectName(QStringLiteral("Database_Edit"));
    User_Edit = new QLineEdit;
    User_Edit->setObjectName(QStringLiteral("User_Edit"));
    Tls_ComboBox = new QComboBox;
    Tls_ComboBox->setObjectName(QStringLiteral("Tls_ComboBox"));
    Tls_ComboBox->addItems({QStringLiteral("Требовать, проверять сервер"), QStringLiteral("Требовать"),
                            QStringLiteral("Не использовать")});
    Tls_ComboBox->setToolTip(
        QStringLiteral("Шифрование соединения с сервером (TLS). «Требовать, проверять "
                       "сервер» также убеждается по сертификату, что это нужный сервер"));
    RootCert_Edit = new QLineEdit;
    RootCert_Edit->setObjectName(QStringLiteral("RootCert_Edit"));
    RootCert_Edit->setPlaceholderText(QStringLiteral("~/.postgresql/root.crt"));
    RootCert_But = new QToolButton;
    RootCert_But->setText(QStringLiteral("..."));
    RootCert_But->setToolTip(QStringLiteral("Выбрать файл корневого сертификата"));

    // The server's fields under the server's radio button; the choices of the encryption and the
    // certificate are long: they take the whole width under their labels.
    auto* server = new QFormLayout;
    server->setContentsMargins(20, 0, 0, 0);
    server->addRow(QStringLiteral("Сервер:"), Host_Edit);
    server->addRow(QStringLiteral("Порт:"), Port_Edit);
    server->addRow(QStringLiteral("База данных:"), Database_Edit);
    server->addRow(QStringLiteral("Пользователь:"), User_Edit);
    auto* tlsLabel = new QLabel(QStringLiteral("Шифрование:"), frame);
    tlsLabel->setBuddy(Tls_ComboBox);
    server->addRow(tlsLabel);
    server->addRow(Tls_ComboBox);
    auto* rootCertLabel = new QLabel(QStringLiteral("Корневой сертификат:"), frame);
    rootCertLabel->setBuddy(RootCert_Edit);
    server->addRow(rootCertLabel);
    auto* rootCert = new QHBoxLayout;
    rootCert->addWidget(RootCert_Edit);
    rootCert->addWidget(RootCert_But);
    server->addRow(rootCert);
    auto* store = new QVBoxLayout(frame);
    store->addWidget(LocalStore_RB);
    store->addWidget(ServerStore_RB);
    store->addLayout(server);

    auto* note = new QLabel(QStringLiteral("Пароль программа не хранит: он запрашивается при подключении "
                                           "или берётся из файла ~/.pgpass."),
                            page);
    note->setWordWrap(true);
    TestConnection_But = new QPushButton(QStringLiteral("Проверить соединение"), page);
    TestConnection_But->setObjectName(QStringLiteral("TestConnection_But"));
    Transfer_But = new QPushButton(QStringLiteral("Перенести на сервер..."), page);
    Transfer_But->setObjectName(QStringLiteral("Transfer_But"));
    Transfer_But->setToolTip(QStringLiteral("Скопировать базы данных, группы, тестируемых и тесты локального "
                                            "файла в пустую базу данных на сервере"));
    auto* commands = new QHBoxLayout;
    commands->addWidget(TestConnection_But);
    commands->addWidget(Transfer_But);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(frame);
    layout->addWidget(note);
    layout->addLayout(commands);
    layout->addStretch();
    LocalStore_RB->setChecked(true);
    connect(LocalStore_RB, &QRadioButton::toggled, this, [this] { updateStoreWidgets(); });
    // Until chosen, the encryption follows the host: none on this computer, checked for any other.
    connect(Host_Edit, &QLineEdit::textChanged, this, [this] {
        if (!m_tlsChosen)
            Tls_ComboBox->setCurrentIndex(static_cast<int>(StoreSettings().Tls()));
    });
    connect(Tls_ComboBox, &QComboBox::activated, this, [this] { m_tlsChosen = true; });
    connect(Tls_ComboBox, &QComboBox::currentIndexChanged, this, [this] { updateStoreWidgets(); });
    connect(RootCert_But, &QToolButton::clicked, this, [this] {
        const QString path =
            Platform::getOpenFileName(this, QStringLiteral("Корневой сертификат"), RootCert_Edit->text(),
                                      QStringLiteral("Сертификаты (*.crt *.pem *.cer);;Все файлы (*)"));
        if (!path.isEmpty())
            RootCert_Edit->setText(path);
    });
    Tls_ComboBox->setCurrentIndex(static_cast<int>(StoreSettings().Tls()));
    connect(TestConnection_But, &QPushButton::clicked, this,
            [this] { Platform::guarded([this] { TestConnection_ButClick(); }); });
    connect(Transfer_But, &QPushButton::clicked, this,
            [this] { Platform::guarded([this] { Transfer_ButClick(); }); });
    updateStoreWidgets();
}

void TOptions_Form::updateStoreWidgets() {
    const bool server = ServerStore_RB->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{Host_Edit, Port_Edit, Database_Edit, User_Edit,
                                                      Tls_ComboBox, TestConnection_But})
        w->setEnabled(server);
    const bool tls = server && Tls_ComboBox->currentIndex() != static_cast<int>(Data::TTlsMode::Disable);
    RootCert_Edit->setEnabled(tls);
    RootCert_But->setEnabled(tls);
    // The transfer copies the open local file.
    Transfer_But->setEnabled(server && Main_DataModule && !Main_DataModule->IsServer() &&
                             !Main_DataModule->ReadOnly());
}

Data::TStoreSettings TOptions_Form::StoreSettings() const {
    Data::TStoreSettings s;
    s.kind =
        ServerStore_RB->isChecked() ? Data::TStoreSettings::Kind::Server : Data::TStoreSettings::Kind::Local;
    s.host = Host_Edit->text().trimmed();
    s.port = Port_Edit->value();
    s.database = Database_Edit->text().trimmed();
    s.user = User_Edit->text().trimmed();
    if (m_tlsChosen)
        s.tls = static_cast<Data::TTlsMode>(Tls_ComboBox->currentIndex());
    s.rootCert = RootCert_Edit->text().trimmed();
    return s;
}

bool TOptions_Form::checkServerFields() {
    if (!Database_Edit->text().trimmed().isEmpty())
        return true;
    Options_PageControl->setCurrentIndex(kDatabasePage);
    Platform::messageBox(this, QStringLiteral("Укажите имя базы данных на сервере."),
                         QStringLiteral("Информация"), Platform::MsgIcon::Information);
    Database_Edit->setFocus();
    return false;
}

void TOptions_Form::TestConnection_ButClick() {
    if (!checkServerFields())
        return;
    const Data::TStoreSettings s = StoreSettings();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const Data::TConnectResult result = WithServerPassword(
        this, s, [&s](const QString& password) { return Data::TestServerConnection(s, password); });
    QApplication::restoreOverrideCursor();
    const bool ok = result.failure == Data::TConnectFailure::None;
    Platform::messageBox(this, result.message, QStringLiteral("Проверка соединения"),
                         ok ? Platform::MsgIcon::Information : Platform::MsgIcon::Error);
}

void TOptions_Form::Transfer_ButClick() {
    if (!checkServerFields() || !Main_DataModule || Main_DataModule->IsServer())
        return;
    const Data::TStoreSettings s = StoreSettings();
    std::unique_ptr<Data::TServerEngine> server;
    const Data::TConnectResult result = WithServerPassword(this, s, [&](const QString& password) {
        Data::TConnectResult r;
        server = Data::ConnectServer(s, password, r);
        return r;
    });
    if (result.failure != Data::TConnectFailure::None) {
        Platform::messageBox(this, result.message, QStringLiteral("Перенос на сервер"),
                             Platform::MsgIcon::Error);
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    Data::TTransferReport report;
    try {
        report = Data::TransferToServer(Main_DataModule->Main_Database(), *server);
    } catch (...) {
        QApplication::restoreOverrideCursor();
        throw;
    }
    QApplication::restoreOverrideCursor();
    ServerStore_RB->setChecked(true);
    Platform::messageBox(
        this,
        QStringLiteral("Данные перенесены на сервер %1; локальный файл оставлен без изменений.\n\n%2"
                       "\n\nЧтобы работать с сервером, нажмите OK.")
            .arg(s.Describe(), report.Text()),
        QStringLiteral("Перенос на сервер"), Platform::MsgIcon::Information);
}

void TOptions_Form::ReadSettings() {
    const Data::TStoreSettings store = Data::ReadStoreSettings(SettingsFilePath());
    (store.IsServer() ? ServerStore_RB : LocalStore_RB)->setChecked(true);
    Host_Edit->setText(store.host);
    Port_Edit->setValue(store.port);
    Database_Edit->setText(store.database);
    User_Edit->setText(store.user);
    m_tlsChosen = store.tls.has_value();
    Tls_ComboBox->setCurrentIndex(static_cast<int>(store.Tls()));
    RootCert_Edit->setText(store.rootCert);
    updateStoreWidgets();
    OnDemand().ReadGroupOptions(Group_Page, SettingsFilePath());
    const Platform::TIniFile ini(SettingsFilePath());
    FirstColor_Edit->SetColorValue(ini.ReadInteger(kSection, kFirstColor, kDefaultFirstColor));
    SecondColor_Edit->SetColorValue(ini.ReadInteger(kSection, kSecondColor, kDefaultSecondColor));
    // Both defaults are offered by both buttons, each button's own first, so either row can go back.
    FirstColor_Edit->AddCustomColor(kDefaultFirstColor);
    FirstColor_Edit->AddCustomColor(kDefaultSecondColor);
    SecondColor_Edit->AddCustomColor(kDefaultSecondColor);
    SecondColor_Edit->AddCustomColor(kDefaultFirstColor);
}

void TOptions_Form::Ok_ButClick() {
    if (ServerStore_RB->isChecked() && !checkServerFields())
        return;
    // A file that cannot be written throws: the error display shows why, and the dialog stays open
    // without claiming the colours were saved.
    Data::WriteStoreSettings(SettingsFilePath(), StoreSettings());
    Platform::TIniFile ini(SettingsFilePath());
    ini.WriteInteger(kSection, kFirstColor, FirstColor_Edit->ColorValue());
    ini.WriteInteger(kSection, kSecondColor, SecondColor_Edit->ColorValue());
    OnDemand().WriteGroupOptions(Group_Page, SettingsFilePath());
    accept();
}

bool ShowOptions(QWidget* parent, int page) {
    TOptions_Form form(parent);
    form.ReadSettings();
    form.Options_PageControl->setCurrentIndex(page);
    return form.exec() == QDialog::Accepted;
}

bool SameStore(const Data::TStoreSettings& a, const Data::TStoreSettings& b) {
    return a.IsServer() == b.IsServer() && (!a.IsServer() || a == b);
}
