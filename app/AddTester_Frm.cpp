// Testee dialog and deletion of a testee.
#include "app/AddTester_Frm.h"

#include "app/Group_Frm.h"
#include "data/DataMod.h"
#include "platform/Dialogs.h"
#include "platform/ErrorDisplay.h"
#include "widgets/DialogLayout.h"
#include "widgets/RestoreEdits.h"
#include "widgets/TextLimit.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int kMaxDigits = 9; // an age typed longer than this is not a number we bring to a bound

} // namespace

// ---- TAgeSpinBox ----

TAgeSpinBox::TAgeSpinBox(QWidget* parent) : QSpinBox(parent) {
    // One below the range stands for "no age": it shows as an empty box.
    setRange(kMinAge - 1, kMaxAge);
    setSpecialValueText(QStringLiteral(" "));
    setAlignment(Qt::AlignCenter);
    setKeyboardTracking(false);
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
}

void TAgeSpinBox::stepBy(int steps) {
    setValue(IsEmpty() ? kMinAge : std::clamp(value() + steps, kMinAge, kMaxAge));
    selectAll();
}

QAbstractSpinBox::StepEnabled TAgeSpinBox::stepEnabled() const {
    if (IsEmpty())
        return StepUpEnabled | StepDownEnabled;
    StepEnabled enabled = StepNone;
    if (value() > kMinAge)
        enabled |= StepDownEnabled;
    if (value() < kMaxAge)
        enabled |= StepUpEnabled;
    return enabled;
}

QValidator::State TAgeSpinBox::validate(QString& input, int&) const {
    const QString text = input.trimmed();
    if (text.isEmpty())
        return QValidator::Intermediate;
    if (text.size() > kMaxDigits)
        return QValidator::Invalid;
    for (QChar ch : text)
        if (!ch.isDigit())
            return QValidator::Invalid;
    return QValidator::Acceptable;
}

int TAgeSpinBox::valueFromText(const QString& text) const {
    const QString t = text.trimmed();
    if (t.isEmpty())
        return minimum();
    return std::clamp(t.toInt(), kMinAge, kMaxAge);
}

// ---- TAddTester_Form ----

TAddTester_Form::TAddTester_Form(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    QFont bold = font();
    bold.setBold(true);

    auto* panel = new QFrame(this);
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setFrameShadow(QFrame::Sunken);
    FIO_Edit = new QLineEdit(panel);
    FIO_Edit->setObjectName(QStringLiteral("FIO_Edit"));
    Widgets::LimitChars(FIO_Edit, kMaxFIOLength);
    Sex_ComboBox = new QComboBox(panel);
    Sex_ComboBox->setObjectName(QStringLiteral("Sex_ComboBox"));
    Sex_ComboBox->addItem(QStringLiteral("Мужской"), QStringLiteral("М"));
    Sex_ComboBox->addItem(QStringLiteral("Женский"), QStringLiteral("Ж"));
    Sex_ComboBox->setCurrentIndex(-1);
    Age_Edit = new TAgeSpinBox(panel);
    Age_Edit->setObjectName(QStringLiteral("Age_Edit"));
    Group_ComboBox = new QComboBox(panel);
    Group_ComboBox->setObjectName(QStringLiteral("Group_ComboBox"));
    Group_ComboBox->setEditable(true);
    Group_ComboBox->setInsertPolicy(QComboBox::NoInsert);
    Widgets::LimitChars(Group_ComboBox->lineEdit(), kMaxGroupNameLength);
    Group_But = new QToolButton(panel);
    Group_But->setObjectName(QStringLiteral("Group_But"));
    Group_But->setText(QStringLiteral("+"));
    Group_But->setToolTip(QStringLiteral("Группы тестируемых"));

    // Bold labels over their fields; the sex and the age side by side, the "+" button at the group's end.
    auto* grid = new QGridLayout(panel);
    const auto labelled = [&](const QString& text, QWidget* field, int row, int col, int span) {
        auto* label = new QLabel(text, panel);
        label->setFont(bold);
        label->setBuddy(field);
        grid->addWidget(label, row, col, 1, span);
        grid->addWidget(field, row + 1, col, 1, span);
        return label;
    };
    QLabel* fioLabel = labelled(QStringLiteral("Фамилия, имя, отчество"), FIO_Edit, 0, 0, 3);
    QLabel* sexLabel = labelled(QStringLiteral("Пол"), Sex_ComboBox, 2, 0, 1);
    QLabel* ageLabel = labelled(QStringLiteral("Возраст"), Age_Edit, 2, 1, 2);
    QLabel* groupLabel = labelled(QStringLiteral("Группа"), Group_ComboBox, 4, 0, 2);
    grid->addWidget(Group_But, 5, 2);
    grid->setColumnStretch(0, 1);
    grid->setRowStretch(6, 1);

    Restore_But = new Widgets::TRestoreEdits_But(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(panel, 1);
    layout->addWidget(Restore_But, 0, Qt::AlignLeft);
    layout->addWidget(Widgets::ButtonRow(this, Ok_But, Cancel_But));
    Widgets::OpenAt(this, QSize(296, 227));

    Restore_But->AddField(
        fioLabel->text(), [this] { return FIO_Edit->text(); },
        [this](const QString& v) { FIO_Edit->setText(v); });
    Restore_But->AddField(
        sexLabel->text(), [this] { return Sex_ComboBox->currentText(); },
        [this](const QString& v) { Sex_ComboBox->setCurrentIndex(Sex_ComboBox->findText(v)); });
    Restore_But->AddField(
        ageLabel->text(),
        [this] { return Age_Edit->IsEmpty() ? QString() : QString::number(Age_Edit->value()); },
        [this](const QString& v) { v.isEmpty() ? Age_Edit->Clear() : Age_Edit->setValue(v.toInt()); });
    Restore_But->AddField(
        groupLabel->text(), [this] { return Group_ComboBox->currentText(); },
        [this](const QString& v) {
            const int index = Group_ComboBox->findText(v, Qt::MatchExactly | Qt::MatchCaseSensitive);
            Group_ComboBox->setCurrentIndex(index);
            if (index < 0)
                Group_ComboBox->setEditText(v);
        });
    // The chosen group's key after its name, so that of two groups of one name the chosen one comes back.
    Restore_But->AddField(
        QString(),
        [this] {
            const int index = Group_ComboBox->currentIndex();
            return index >= 0 && Group_ComboBox->itemText(index) == Group_ComboBox->currentText()
                       ? Group_ComboBox->itemData(index).toString()
                       : QString();
        },
        [this](const QString& v) {
            if (const int index = Group_ComboBox->findData(v); !v.isEmpty() && index >= 0)
                Group_ComboBox->setCurrentIndex(index);
        });

    connect(Ok_But, &QPushButton::clicked, this, [this] { Platform::guarded([this] { Ok_ButClick(); }); });
    connect(Cancel_But, &QPushButton::clicked, this, &QDialog::reject);
    connect(Group_But, &QToolButton::clicked, this,
            [this] { Platform::guarded([this] { Group_ButClick(); }); });
    FIO_Edit->setFocus();
}

void TAddTester_Form::FillGroups() {
    Group_ComboBox->clear();
    for (const Data::Group& g : Main_DataModule->Repo().groups())
        Group_ComboBox->addItem(g.name, QString::number(g.id));
    Group_ComboBox->setCurrentIndex(-1);
}

void TAddTester_Form::LoadCurrentTester() {
    // The testee as stored now (the list may be older), with the version an edit saves over. One
    // deleted meanwhile is shown as the list has him; saving then tells that he is gone.
    const std::optional<Data::Testee> stored = Main_DataModule->Repo().testee(Men_ID);
    const Data::Testee& t = stored ? *stored : Testee;
    m_version = stored ? stored->version : -1;
    FIO_Edit->setText(t.fio);
    if (t.age <= 0)
        Age_Edit->Clear();
    else
        Age_Edit->setValue(t.age);
    Sex_ComboBox->setCurrentIndex(Sex_ComboBox->findData(t.sex));
    // By key rather than by name, so that a name shared by two groups keeps the testee's own group.
    const int group = Group_ComboBox->findData(QString::number(t.groupId));
    Group_ComboBox->setCurrentIndex(group);
    if (group < 0)
        Group_ComboBox->setEditText(QString());
    Restore_But->NoteLoaded();
}

bool TAddTester_Form::refuse(QWidget* field, const QString& text) {
    Platform::messageBox(this, text, QStringLiteral("Информация"), Platform::MsgIcon::Information);
    field->setFocus();
    return false;
}

void TAddTester_Form::Ok_ButClick() {
    const QString fio = FIO_Edit->text().trimmed();
    if (fio.isEmpty()) {
        refuse(FIO_Edit, QStringLiteral("Введите фамилию, имя и отчество тестируемого."));
        return;
    }
    if (const QString problem = Widgets::TypedTextProblem(fio, QStringLiteral("Фамилия, имя, отчество"));
        !problem.isEmpty()) {
        refuse(FIO_Edit, problem);
        return;
    }
    if (Sex_ComboBox->currentIndex() < 0) {
        refuse(Sex_ComboBox, QStringLiteral("Укажите пол тестируемого."));
        return;
    }
    Age_Edit->interpretText();
    if (Age_Edit->IsEmpty()) {
        refuse(Age_Edit, QStringLiteral("Укажите возраст тестируемого."));
        return;
    }
    int groupId = 0; // no group
    const QString groupName = Group_ComboBox->currentText();
    if (!groupName.trimmed().isEmpty()) {
        int index = Group_ComboBox->currentIndex();
        if (index < 0 || Group_ComboBox->itemText(index) != groupName)
            index = Group_ComboBox->findText(groupName, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (index < 0) {
            refuse(Group_ComboBox, QStringLiteral("Выберите группу из списка."));
            return;
        }
        groupId = Group_ComboBox->itemData(index).toString().toInt();
    }

    Data::Testee t = Testee;
    t.id = Men_ID;
    t.fio = fio;
    t.sex = Sex_ComboBox->currentData().toString();
    t.age = Age_Edit->value();
    t.groupId = groupId;
    t.version = m_version;
    Data::Repository& repo = Main_DataModule->Repo();
    if (Men_ID == -1) {
        Men_ID = repo.insertTestee(t);
        accept();
        return;
    }
    try {
        repo.updateTestee(t);
    } catch (const Data::ERecordChanged&) {
        // A testee removed or changed meanwhile (elsewhere): nothing was saved, and the user is told. A
        // changed one is shown again as stored, so he sees what he would overwrite, and his own changes
        // wait behind "Вернуть мои изменения".
        Restore_But->KeepChanges();
        LoadCurrentTester();
        if (m_version < 0)
            Restore_But->Withdraw();
        else
            Restore_But->Offer();
        throw;
    }
    accept();
}

void TAddTester_Form::Group_ButClick() {
    const QString typed = Group_ComboBox->currentText();
    const QVariant key = Group_ComboBox->currentData();
    ShowGroups(this);
    FillGroups();
    // Keep the choice when the group is still there.
    int index = key.isValid() ? Group_ComboBox->findData(key) : -1;
    if (index < 0)
        index = Group_ComboBox->findText(typed, Qt::MatchExactly | Qt::MatchCaseSensitive);
    Group_ComboBox->setCurrentIndex(index);
    if (index < 0)
        Group_ComboBox->setEditText(typed);
}

bool EditTester(Data::Testee& testee, QWidget* parent) {
    TAddTester_Form form(parent);
    form.FillGroups();
    form.Men_ID = testee.id;
    form.Testee = testee;
    if (testee.id == -1) {
        form.setWindowTitle(QStringLiteral("Добавление нового тестируемого"));
        form.Group_ComboBox->setEditText(QString());
    } else {
        form.setWindowTitle(QStringLiteral("Корректировка данных тестируемого"));
        form.LoadCurrentTester();
    }
    if (form.exec() != QDialog::Accepted)
        return false;
    testee.id = form.Men_ID;
    return true;
}

void DeleteTester(int Men_ID) { Main_DataModule->Repo().deleteTestee(Men_ID); }
