// The test window: six series of eight portraits, the two passes of the test, and the test record
// written after the last screen. The testee chooses with the mouse or with the digit keys 1 to 8, which
// the portraits carry as labels; Enter acts as "Далее" and Backspace as "Назад". The window covers the
// screen, so that nothing else (other testees' names) is in sight during the run; leaving it before the
// end asks first.
#pragma once

#include "data/Records.h"
#include "scoring/Calc_Unit.h"

#include <QDateTime>
#include <QDialog>
#include <QString>

#include <array>

class QFrame;
class QLabel;
class QPushButton;

class TTest_Form : public QDialog {
    Q_OBJECT
public:
    explicit TTest_Form(QWidget* parent = nullptr);

    // Testee of the run (Men_ID) and his database, set by the caller.
    int MenID = 0;
    int DB_ID = 0;
    int CurSeries = 1;
    int CurSign = 1; // 1 sympathetic, -1 unpleasant
    int CurPass = 1;
    int SelCount = 0;
    // Slot 1 to 4 of series 1 to 6 (indexed [slot - 1][series - 1]): slots 1 and 2 the sympathetic pair,
    // 3 and 4 the unpleasant pair. Empty at the start; "0" after going back.
    using TPassSlots = std::array<std::array<QString, Calc::kSeriesCount>, Calc::kSlotsPerSeries>;
    TPassSlots FirstPass;
    TPassSlots SecondPass;

    // The screen of the test at its own size (746 x 659), centred in the window.
    QWidget* Board;
    QLabel* Comment_Label;
    // Panel1..Panel8 with Image1..Image8: above 1 to 4, below 5 to 8. Each panel carries the number of
    // its key (Key1..Key8) over its picture.
    std::array<QFrame*, Calc::kPortraitsPerSeries> Panels{};
    std::array<QLabel*, Calc::kPortraitsPerSeries> Images{};
    std::array<QLabel*, Calc::kPortraitsPerSeries> KeyLabels{};
    QFrame* Bevel;
    QLabel* Series_Label; // "Серия n из 6"
    QPushButton* Abort_But;
    QPushButton* Prev_But;
    QPushButton* Next_But;

    void ShowSeries(int series);
    void ResetPanel(QFrame* panel);
    // Portrait digits of the visible panels that are selected (true) or not (false), ascending.
    QString CollectPanels(bool selected) const;
    bool IsChosen(QChar digit, int series) const;
    QString BuildResultTest() const;
    void FinishTest();

    // True when the panel shows the selected state.
    bool IsSelected(const QFrame* panel) const;
    // True while leaving would lose choices: some are made and the record is not written yet.
    bool HasAnswers() const;

public Q_SLOTS:
    void Panel2Click(QFrame* sender);
    void Image1Click(QLabel* sender);
    void Next_ButClick();
    void Prev_ButClick();

    // Leaving before the end (close button, Alt+F4, Escape, "Прервать") asks first while answers would
    // be lost; No keeps the run.
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // The portrait number of a panel or image: the last character of its name.
    static QChar PortraitDigit(const QObject* component);
    void SetSelected(QFrame* panel, bool selected);
    bool OnFirstScreenOfPass() const;
    void UpdatePrevBut();
    bool m_finished = false;
    // The moment the test ended, kept for a save that is tried again: the same values are the same write.
    QDateTime m_finishedAt;
};

// Runs the test for `testee`: the window from the first screen to the end or until closed.
void RunTest(const Data::Testee& testee, QWidget* parent = nullptr);
