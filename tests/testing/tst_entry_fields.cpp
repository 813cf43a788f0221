// The answer sheet's date field typed into right after a click, and the test list's record buttons,
// which follow the highlighted row rather than the dataset's invisible current record.
#include "TestingFixture.h"
#include "scoring/Calc_Records.h"
#include "testing/Blank_Frm.h"
#include "testing/ListTest_Frm.h"
#include "widgets/DBGrid.h"

#include <QDateEdit>
#include <QLineEdit>

using namespace TestingSupport;

namespace {

constexpr int kMen = 21;
const QString kSheet = QStringLiteral("135724681538264713457812"
                                      "264815372467381567285634");

void addRecord(const QDate& date) {
    TestSupport::insertTest(kDbId, kMen, date, QTime(10, 30), QString(), TestSupport::compose(kSheet));
}

// A point inside the text part of the date field: `fraction` of the way across the text "dd.MM.yyyy".
QPoint textPoint(QDateEdit* edit, double fraction) {
    QLineEdit* line = edit->findChild<QLineEdit*>();
    const int textWidth = line->fontMetrics().horizontalAdvance(line->text());
    return QPoint(4 + static_cast<int>(textWidth * fraction), line->height() / 2);
}

} // namespace

class TestEntryFields : public QObject {
    Q_OBJECT
    std::unique_ptr<Fixture> m_fixture;

private Q_SLOTS:
    void init() {
        m_fixture = std::make_unique<Fixture>(false, false);
        m_fixture->addTestee(kMen);
    }
    void cleanup() { m_fixture.reset(); }

    void dateTypedAfterFirstClick_data() {
        QTest::addColumn<double>("where");
        QTest::newRow("click on the day") << 0.1;
        QTest::newRow("click on the month") << 0.45;
        QTest::newRow("click on the year") << 0.85;
        QTest::newRow("click after the text") << 1.3;
    }
    // Digits typed after the click that brings the focus fill the date from its first part.
    void dateTypedAfterFirstClick() {
        QFETCH(double, where);
        TBlank_Form form;
        form.InitGrids();
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QDateEdit* date = form.DateTest_Edit;
        date->setDate(QDate(2025, 3, 7));
        QLineEdit* line = date->findChild<QLineEdit*>();
        QVERIFY(!date->hasFocus());
        QTest::mouseClick(line, Qt::LeftButton, Qt::NoModifier, textPoint(date, where));
        QApplication::processEvents();
        QVERIFY(date->hasFocus());
        QTest::keyClicks(date, QStringLiteral("15112026"));
        QCOMPARE(date->date(), QDate(2026, 11, 15));
    }

    // Once the field has the focus, a click picks the part under the mouse, and typing replaces it only.
    void laterClickPicksThePart() {
        TBlank_Form form;
        form.InitGrids();
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QDateEdit* date = form.DateTest_Edit;
        date->setDate(QDate(2025, 3, 7));
        QLineEdit* line = date->findChild<QLineEdit*>();
        QTest::mouseClick(line, Qt::LeftButton, Qt::NoModifier, textPoint(date, 0.1));
        QApplication::processEvents();
        QTest::mouseClick(line, Qt::LeftButton, Qt::NoModifier, textPoint(date, 0.85));
        QApplication::processEvents();
        QCOMPARE(date->currentSection(), QDateTimeEdit::YearSection);
        QTest::keyClicks(date, QStringLiteral("2030"));
        QCOMPARE(date->date(), QDate(2030, 3, 7));
    }

    // A click below the rows clears the highlight: the record buttons go dark, and come back with a row.
    void recordButtonsFollowVisibleSelection() {
        addRecord(QDate(2026, 1, 10));
        addRecord(QDate(2026, 2, 10));
        TListTest_Form form;
        form.MenID = kMen;
        form.RefreshList();
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const QList<QPushButton*> recordButtons = {form.EditBlank_But, form.DelTest_But, form.Result_But,
                                                   form.Graph_But};
        for (QPushButton* b : recordButtons)
            QVERIFY2(b->isEnabled(), qPrintable(b->objectName()));

        QWidget* viewport = form.Tests_Grid->viewport();
        const int below = form.Tests_Grid->rowViewportPosition(1) + form.Tests_Grid->rowHeight(1) + 10;
        QVERIFY2(below < viewport->height(), "the list must have room below its rows");
        QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, QPoint(40, below));
        QVERIFY(!form.Tests_Grid->selectionModel()->hasSelection());
        for (QPushButton* b : recordButtons)
            QVERIFY2(!b->isEnabled(), qPrintable(b->objectName()));
        QVERIFY(form.Test_But->isEnabled());
        QVERIFY(form.AddBlank_But->isEnabled());
        QVERIFY(form.Cancel_But->isEnabled());

        // A deletion asked for without a highlighted row does nothing and asks nothing.
        Platform::MessageRecorder recorder;
        recorder.answers = {Platform::MsgAnswer::Yes};
        form.DelTest_ButClick();
        QCOMPARE(recorder.messages.size(), 0);
        QCOMPARE(recordsOf(kMen).size(), 2);

        const int rowY = form.Tests_Grid->rowViewportPosition(1) + form.Tests_Grid->rowHeight(1) / 2;
        QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, QPoint(40, rowY));
        for (QPushButton* b : recordButtons)
            QVERIFY2(b->isEnabled(), qPrintable(b->objectName()));
    }
};

QTEST_MAIN(TestEntryFields)
#include "tst_entry_fields.moc"
