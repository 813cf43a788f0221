// The settings dialog: the two background colours of the alternating rows of the testee list, and where
// the data lives (the local file or a PostgreSQL server), kept in the settings file; the transfer of the
// local file's data to the server starts here.
#pragma once

#include <QDialog>

#include "data/Store.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QToolButton;
class TGroupOptions_Page;
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
    // Page "База данных".
    QRadioButton* LocalStore_RB;
    QRadioButton* ServerStore_RB;
    QLineEdit* Host_Edit;
    QSpinBox* Port_Edit;
    QLineEdit* Database_Edit;
    QLineEdit* User_Edit;
    // "Шифрование": the items in the order of Data::TTlsMode.
    QComboBox* Tls_ComboBox;
    QLineEdit* RootCert_Edit;
    QToolButton* RootCert_But;
    QPushButton* TestConnection_But;
    QPushButton* Transfer_But;
    // Page "Сеть": where group sessions listen.
    TGroupOptions_Page* Group_Page;
    QPushButton* Ok_But;
    QPushButton* Cancel_But;

    // Index of the page "База данных".
    static constexpr int kDatabasePage = 1;

    // Gives the buttons the colours of the settings file and the defaults as custom colours, and the
    // page "База данных" the store of the settings file.
    void ReadSettings();
    // The store as the page shows it.
    Data::TStoreSettings StoreSettings() const;

public Q_SLOTS:
    // Writes both colours and the store to the settings file and closes the dialog; throws EError (the
    // dialog stays open) when the file cannot be written.
    void Ok_ButClick();
    // Connects to the server of the page and reports its answer.
    void TestConnection_ButClick();
    // Copies the open local file into the (empty) server database of the page and reports the check.
    void Transfer_ButClick();

private:
    void createDatabasePage(QWidget* page);
    void updateStoreWidgets();
    bool checkServerFields();
    bool m_tlsChosen = false; // "Шифрование" was set by the user or the file: it no longer follows the host
};

// True when the user confirmed; the colours and the store are then already in the settings file.
// `page` is the page shown first.
bool ShowOptions(QWidget* parent = nullptr, int page = 0);

// True when both settings name the same store (any two local ones are the same file).
bool SameStore(const Data::TStoreSettings& a, const Data::TStoreSettings& b);
