// The settings dialog: the two background colours of the alternating rows of the testee list, kept in
// the settings file.
#pragma once

#include <QDialog>

class QPushButton;
class QTabWidget;
namespace Widgets {
class TColorButton;
}

class TOptions_Form : public QDialog {
    Q_OBJECT
public:
    explicit TOptions_Form(QWidget* parent = nullptr);

    QTabWidget* Options_PageControl;
    Widgets::TColorButton* FirstColor_Edit;
    Widgets::TColorButton* SecondColor_Edit;
    QPushButton* Ok_But;
    QPushButton* Cancel_But;

    // Gives the buttons the colours of the settings file and the defaults as custom colours.
    void ReadSettings();

public Q_SLOTS:
    // Writes both colours to the settings file and closes the dialog; throws EError (the dialog stays
    // open) when the file cannot be written.
    void Ok_ButClick();
};

// True when the user confirmed; the colours are then already in the settings file.
bool ShowOptions(QWidget* parent = nullptr);
