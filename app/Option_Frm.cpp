// Settings dialog.
#include "app/Option_Frm.h"

#include "app/MainFrm.h"
#include "platform/ErrorDisplay.h"
#include "platform/IniFile.h"
#include "widgets/ColorButton.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>

namespace {
const QString kSection = QStringLiteral("Interface");
const QString kFirstColor = QStringLiteral("FirstColor");
const QString kSecondColor = QStringLiteral("SecondColor");
} // namespace

TOptions_Form::TOptions_Form(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Настройка"));
    setWindowFlags(Qt::Tool | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(362, 369);

    Options_PageControl = new QTabWidget(this);
    Options_PageControl->setObjectName(QStringLiteral("Options_PageControl"));
    Options_PageControl->setGeometry(6, 6, 350, 316);
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

    Ok_But = new QPushButton(QStringLiteral("OK"), this);
    Ok_But->setGeometry(168, 332, 90, 28);
    Ok_But->setDefault(true);
    Cancel_But = new QPushButton(QStringLiteral("Отмена"), this);
    Cancel_But->setGeometry(266, 332, 90, 28);
    connect(Ok_But, &QPushButton::clicked, this, [this] { Platform::guarded([this] { Ok_ButClick(); }); });
    connect(Cancel_But, &QPushButton::clicked, this, &QDialog::reject);
}

void TOptions_Form::ReadSettings() {
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
    // A file that cannot be written throws: the error display shows why, and the dialog stays open
    // without claiming the colours were saved.
    Platform::TIniFile ini(SettingsFilePath());
    ini.WriteInteger(kSection, kFirstColor, FirstColor_Edit->ColorValue());
    ini.WriteInteger(kSection, kSecondColor, SecondColor_Edit->ColorValue());
    accept();
}

bool ShowOptions(QWidget* parent) {
    TOptions_Form form(parent);
    form.ReadSettings();
    form.Options_PageControl->setCurrentIndex(0);
    return form.exec() == QDialog::Accepted;
}
