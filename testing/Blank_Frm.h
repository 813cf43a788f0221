// The answer-sheet window: enters a test taken on paper, as the portrait numbers of both passes or
// as the bare plus and minus counts of the two profiles, or corrects a stored test record.
#pragma once

#include "data/Records.h"

#include <QDialog>
#include <QString>

class QDateEdit;
class QFrame;
class QGroupBox;
class QKeyEvent;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTimeEdit;
namespace Widgets {
class TRestoreEdits_But;
class TStringGrid;
} // namespace Widgets

class TBlank_Form : public QDialog {
    Q_OBJECT
public:
    explicit TBlank_Form(QWidget* parent = nullptr);

    int MenID = 0;
    // False: a new record; true: the stored record `Record`.
    bool EditMode = false;
    // The record shown: a stored one with the version it was read at (edit mode), or the new record of
    // the testee (its DB_ID and Men_ID set).
    Data::TestRecord Record;

    QGroupBox* Info_GroupBox;
    QDateEdit* DateTest_Edit;
    QTimeEdit* TimeTest_Edit;
    QPlainTextEdit* NoteTest_Edit;
    QFrame* Grid_Panel;
    QRadioButton* Blank_RB;
    QRadioButton* Profil_RB;
    Widgets::TStringGrid* Bl_Grid;
    Widgets::TStringGrid* Pr_Grid;
    QPushButton* Ok_But;
    QPushButton* Cancel_But;
    // Shown after a save refused because the record was changed elsewhere: puts the user's changes back.
    Widgets::TRestoreEdits_But* Restore_But;

    void InitGrids();
    void LoadRecord();

    // The strings as entered (no checks).
    QString SheetResultTest() const;
    QString GridResultProfil() const;

    // Key filters: true when the key was taken (handled or discarded).
    bool Bl_GridKeyPress(QKeyEvent* event);
    bool Pr_GridKeyPress(QKeyEvent* event);
    Qt::Alignment Bl_GridGetAlignment(int col, int row) const;
    Qt::Alignment Pr_GridGetAlignment(int col, int row) const;

public Q_SLOTS:
    void Blank_RBClick();
    void Ok_ButClick();
    void Cancel_ButClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void createWidgets();
    void createLayout();
    void createConnections();
    // Checks the grid of the current mode; on a fault shows what is wrong, puts the cursor on the first
    // offending cell and returns false.
    bool CheckSheet();
    bool CheckProfile();
    void Refuse(Widgets::TStringGrid* grid, int col, int row, const QString& text);
};

// Opens the answer sheet for a new record of `testee` (no `record`) or for his stored `record`; true
// when a record was written.
bool EditBlank(const Data::Testee& testee, const Data::TestRecord* record, QWidget* parent = nullptr);

// Longest note of a test record.
constexpr int kMaxNoteLength = 250;
