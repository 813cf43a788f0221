// The steps of a browser run follow the test window's rules: random runs with steps back, also from the
// second instruction, played on both side by side; every screen shows the same portraits and offers
// "Назад" alike, and the 48 digits are the same.
#include "group/RunSteps.h"
#include "platform/Dialogs.h"
#include "testing/Instr_Frm.h"
#include "testing/Test_Frm.h"

#include "../testing/TestingFixture.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QRandomGenerator>

class TestRunSteps : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sameAsTestWindow_data() {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed = 1; seed <= 12; ++seed)
            QTest::addRow("run %u", seed) << seed;
    }

    void sameAsTestWindow() {
        QFETCH(quint32, seed);
        TestingSupport::Fixture fixture;
        fixture.addTestee(1);
        Platform::MessageRecorder endMessage;
        QRandomGenerator rng(seed);
        TTest_Form form;
        form.MenID = 1;
        form.DB_ID = Main_DataModule->Current_DB_ID;
        form.ShowSeries(1);
        form.show();
        Group::TRunSteps steps;
        QVERIFY(steps.Begin());
        QString pair; // the pair still shown chosen after the second instruction was left with Escape
        while (steps.View() != Group::TRunSteps::TView::Done) {
            if (steps.View() == Group::TRunSteps::TView::Instruction) {
                // Back to the last screen of the first pass, or on into the second.
                const bool back = rng.bounded(2) == 0;
                TestingSupport::answerModal<TInstr_Form>(back ? "" : "BeginTest_But");
                QTest::keyClick(&form, Qt::Key_Return);
                QVERIFY(back ? steps.Back() : steps.Begin());
                if (!back)
                    pair.clear();
                continue;
            }
            QString shown;
            for (const QFrame* panel : form.Panels)
                if (!panel->isHidden())
                    shown += panel->objectName().back();
            QCOMPARE(steps.Visible(), shown);
            QCOMPARE(steps.CanGoBack(), form.Prev_But->isEnabled());
            QCOMPARE(form.Comment_Label->text(), Group::PromptFor(steps.Sign()));
            if (steps.CanGoBack() && rng.bounded(4) == 0) {
                QTest::keyClick(&form, Qt::Key_Backspace);
                QVERIFY(steps.Back());
                pair.clear();
                continue;
            }
            for (const QChar d : std::as_const(pair))
                QTest::keyClick(&form, d.toLatin1());
            QString visible = shown;
            pair = visible[rng.bounded(visible.size())];
            visible.remove(pair[0]);
            pair += visible[rng.bounded(visible.size())];
            for (const QChar d : std::as_const(pair))
                QTest::keyClick(&form, d.toLatin1());
            QVERIFY(steps.Choose(pair));
            // Past the last screen of the first pass the test window asks the instruction in the same
            // Enter; the loop answers it with the step that follows.
            if (steps.Step() == Group::TRunSteps::kSecondInstruction)
                continue;
            QTest::keyClick(&form, Qt::Key_Return);
            pair.clear();
        }
        QCOMPARE(steps.ResultTest(), TestingSupport::recordsOf(1).value(0).resultTest);
    }
};

QTEST_MAIN(TestRunSteps)
#include "tst_run_steps.moc"
