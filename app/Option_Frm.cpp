// Settings dialog.
#include "app/Option_Frm.h"

#include "app/MainFrm.h"
#include "app/ServerLogin.h"
#include "data/DataMod.h"
#include "data/ServerEngine.h"
#include "data/Transfer.h"
#include "platform/Dialogs.h"
#include "platform/ErrorDisplay.h"
#include "platform/IniFile.h"
#include "widgets/ColorButton.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>

namespace {
const QString kSection = QStringLiteral("Interface");
const QString kFirstColor = QStringLiteral("FirstColor");
const QString kSecondColor = QStringLiteral("SecondColor");
} // namespace

TOptions_Form::TOptions_Form(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Настройка"));
    setWindowFlags(Qt::Tool | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(362, 477);

    Options_PageControl = new QTabWidget(this);
    Options_PageControl->setObjectName(QStringLiteral("Options_PageControl"));
    Options_PageControl->setGeometry(6, 6, 350, 424);
    auto* page = new QWidget;
    Options_PageControl->addTab(page, QStringLiteral("Интерфейс"));

    auto* frame = new QGroupBox(QStringLiteral("Цвет строк таблицы "), page);
    frame->setGeometry(8, 8, 326, 96);
    auto* firstLabel = new QLabel(QStringLiteral("Нечетные строки:"), frame);
    firstLabel->setGeometry(14, 28, 140, 24);
    FirstColor_Edit = new Widgets::TColorButton(frame);
    FirstColor_Edit->setObjectName(QStringLiteral("FirstColor_Edit"));
    FirstColor_Edit->setGeometry(160, 26, 150, 26);
    firstLabel->setBuddy(FirstColor_Edit);
    auto* secondLabel = new QLabel(QStringLiteral("Четные строки:"), frame);
    secondLabel->setGeometry(14, 60, 140, 24);
    SecondColor_Edit = new Widgets::TColorButton(frame);
    SecondColor_Edit->setObjectName(QStringLiteral("SecondColor_Edit"));
    SecondColor_Edit->setGeometry(160, 58, 150, 26);
    secondLabel->setBuddy(SecondColor_Edit);

    auto* databasePage = new QWidget;
    Options_PageControl->addTab(databasePage, QStringLiteral("База данных"));
    createDatabasePage(databasePage);

    Ok_But = new QPushButton(QStringLiteral("OK"), this);
    Ok_But->setGeometry(168, 440, 90, 28);
    Ok_But->setDefault(true);
    Cancel_But = new QPushButton(QStringLiteral("Отмена"), this);
    Cancel_But->setGeometry(266, 440, 90, 28);
    connect(Ok_But, &QPushButton::clicked, this, [this] { Platform::guarded([this] { Ok_ButClick(); }); });
    connect(Cancel_But, &QPushButton::clicked, this, &QDialog::reject);
}

void TOptions_Form::createDatabasePage(QWidget* page) {
    auto* frame = new QGroupBox(QStringLiteral("Где хранятся данные"), page);
    frame->setGeometry(8, 8, 326, 296);
    LocalStore_RB = new QRadioButton(QStringLiteral("Локальный файл"), frame);
    LocalStore_RB->setObjectName(QStringLiteral("LocalStore_RB"));
    LocalStore_RB->setGeometry(14, 24, 300, 22);
    ServerStore_RB = new QRadioButton(QStringLiteral("Сервер PostgreSQL"), frame);
    ServerStore_RB->setObjectName(QStringLiteral("ServerStore_RB"));
    ServerStore_RB->setGeometry(14, 48, 300, 22);
    const auto row = [frame](const QString& text, QWidget* field, int y) {
        auto* label = new QLabel(text, frame);
        label->setGeometry(34, y, 100, 24);
        field->setParent(frame);
        field->setGeometry(136, y, 176, 24);
        label->setBuddy(field);
    };
    Host_Edit = new QLineEdit;
    Host_Edit->setObjectName(QStringLiteral("Host_Edit"));
    Host_Edit->setPlaceholderText(QStringLiteral("localhost"));
    row(QStringLiteral("Сервер:"), Host_Edit, 76);
    Port_Edit = new QSpinBox;
    Port_Edit->setObjectName(QStringLiteral("Port_Edit"));
    Port_Edit->setRange(1, 65535);
    Port_Edit->setValue(5432);
    row(QStringLiteral("Порт:"), Port_Edit, 104);
    Database_Edit = new QLineEdit;
    Database_Edit->setObjectName(QStringLiteral("Database_Edit"));
    row(QStringLiteral("База данных:"), Database_Edit, 132);
    User_Edit = new QLineEdit;
    User_Edit->setObjectName(QStringLiteral("User_Edit"));
    row(QStringLiteral("Пользователь:"), User_Edit, 160);
    Tls_ComboBox = new QComboBox(frame);
    Tls_ComboBox->setObjectName(QStringLiteral("Tls_ComboBox"));
    Tls_ComboBox->addItems({QStringLiteral("Требовать, проверять сервер"), QStringLiteral("Требовать"),
                            QStringLiteral("Не использовать")});
    Tls_ComboBox->setToolTip(
        QStringLiteral("Шифрование соединения с сервером (TLS). «Требовать, проверять "
                       "сервер» также убеждается по сертификату, что это нужный сервер"));
    // The choices are long: the box takes the whole width under its label, as the certificate does.
    auto* tlsLabel = new QLabel(QStringLiteral("Шифрование:"), frame);
    tlsLabel->setGeometry(34, 188, 278, 22);
    Tls_ComboBox->setGeometry(34, 210, 278, 24);
    tlsLabel->setBuddy(Tls_ComboBox);
    auto* rootCertLabel = new QLabel(QStringLiteral("Корневой сертификат:"), frame);
    rootCertLabel->setGeometry(34, 238, 278, 22);
    RootCert_Edit = new QLineEdit(frame);
    RootCert_Edit->setObjectName(QStringLiteral("RootCert_Edit"));
    RootCert_Edit->setPlaceholderText(QStringLiteral("~/.postgresql/root.crt"));
    RootCert_Edit->setGeometry(34, 260, 246, 24);
    rootCertLabel->setBuddy(RootCert_Edit);
    RootCert_But = new QToolButton(frame);
    RootCert_But->setText(QStringLiteral("..."));
    RootCert_But->setToolTip(QStringLiteral("Выбрать файл корневого сертификата"));
    RootCert_But->setGeometry(284, 260, 28, 24);

    auto* note = new QLabel(QStringLiteral("Пароль программа не хранит: он запрашивается при подключении "
                                           "или берётся из файла ~/.pgpass."),
                            page);
    note->setWordWrap(true);
    note->setGeometry(10, 306, 324, 44);
    TestConnection_But = new QPushButton(QStringLiteral("Проверить соединение"), page);
    TestConnection_But->setObjectName(QStringLiteral("TestConnection_But"));
    TestConnection_But->setGeometry(8, 354, 160, 28);
    Transfer_But = new QPushButton(QStringLiteral("Перенести на сервер..."), page);
    Transfer_But->setObjectName(QStringLiteral("Transfer_But"));
    Transfer_But->setGeometry(174, 354, 160, 28);
    Transfer_But->setToolTip(QStringLiteral("Скопировать базы данных, группы, тестируемых и тесты локального "
                                            "файла в пустую базу данных на сервере"));
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
