// The testee dialog: adds a testee to the open database or edits the current one; and the deletion of
// a testee.
#pragma once

#include "data/Records.h"

#include <QDialog>
#include <QSpinBox>

class QComboBox;
class QLineEdit;
class QPushButton;
class QToolButton;
namespace Widgets {
class TRestoreEdits_But;
}

// The age box: a typed value outside the range is brought to the nearer bound instead of being
// refused; it may also be empty (no age given yet).
class TAgeSpinBox : public QSpinBox {
    Q_OBJECT
public:
    explicit TAgeSpinBox(QWidget* parent = nullptr);
    static constexpr int kMinAge = 3;
    static constexpr int kMaxAge = 120;

    bool IsEmpty() const { return value() == minimum(); }
    void Clear() { setValue(minimum()); }

    // The arrows never step into the empty value; from an empty box they start at the lowest age.
    void stepBy(int steps) override;

protected:
    StepEnabled stepEnabled() const override;
    QValidator::State validate(QString& input, int& pos) const override;
    int valueFromText(const QString& text) const override;
};

class TAddTester_Form : public QDialog {
    Q_OBJECT
public:
    explicit TAddTester_Form(QWidget* parent = nullptr);

    QLineEdit* FIO_Edit;
    QComboBox* Sex_ComboBox;
    TAgeSpinBox* Age_Edit;
    QComboBox* Group_ComboBox;
    QToolButton* Group_But;
    QPushButton* Ok_But;
    QPushButton* Cancel_But;
    // Shown after a save refused because the testee was changed elsewhere: puts the user's changes back.
    Widgets::TRestoreEdits_But* Restore_But;

    int Men_ID = -1;
    // The testee as the caller shows him: his database (where a new one goes), and what is shown of one
    // deleted meanwhile.
    Data::Testee Testee;

    // Refills the group list with the stored groups (keys: Group_ID as decimal text).
    void FillGroups();
    // Fills the boxes from the stored record of the testee Men_ID and notes its version; a testee deleted
    // meanwhile is shown as the caller had him.
    void LoadCurrentTester();

public Q_SLOTS:
    void Ok_ButClick();
    void Group_ButClick();

private:
    qint64 m_version = -1; // Row_Version of the testee when the dialog read him
    bool refuse(QWidget* field, const QString& text);
};

// A testee with id -1 is added to his database (dbId); any other is edited. True on OK, with the
// testee's Men_ID (the new one when adding).
bool EditTester(Data::Testee& testee, QWidget* parent = nullptr);

// Marks the testee deleted (IsDel "D"); his record and his tests stay.
void DeleteTester(int Men_ID);

// Longest name of a testee.
constexpr int kMaxFIOLength = 200;
