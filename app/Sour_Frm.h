// The search dialog: moves the current row of the testee list to the next testee whose name, age or
// group matches a typed text.
#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
namespace Data {
class TDataset;
}

// One search over the rows of a dataset in their current order. field is the result field ("FIO",
// "AGE", "GROUP_NAME"; an "AGE" field is compared as its decimal text); the texts are compared in
// upper case. A match leaves the cursor on it; otherwise the cursor goes back where it was. Bound
// views are suspended during the walk.
bool SearchTester(Data::TDataset& dataset, const QString& field, const QString& text, bool wholeValue,
                  bool fromCursor);

class TSearch_Form : public QDialog {
    Q_OBJECT
public:
    explicit TSearch_Form(QWidget* parent = nullptr);

    enum TypeSearch { FromStart = 0, FromCursor = 1 };

    QLineEdit* Source_Edit;
    QComboBox* SourceField_ComboBox;
    QCheckBox* WordFull_CheckBox;
    QGroupBox* TypeSearch_RG;
    QRadioButton* Start_Radio;
    QRadioButton* Cursor_Radio;
    QPushButton* Search_But;
    QPushButton* Cancel_But;

    TypeSearch TypeSearchIndex() const;
    void SetTypeSearchIndex(TypeSearch index);
    // The result field of the chosen item.
    QString SearchField() const;

public Q_SLOTS:
    void Search_ButClick();
};

// Shows the search dialog over Men_Query; it changes only the current row.
void ShowSearch(QWidget* parent = nullptr);
