// The results and chart windows opened from the test list: the list keeps its current row (on the
// table file and on the server).
#include "results/Graph_Frm.h"
#include "results/Result_Frm.h"
#include "testing/ListTest_Frm.h"

#include "StoreSupport.h"
#include "scoring/Calc_Records.h"
#include "widgets/DBGrid.h"

#include <QApplication>
#include <QBarSet>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

namespace {

constexpr int kMenId = 3;

// Closes the modal window that opens next, after noting its type and, for the chart window, the ППП
// plus bar of h.
struct ModalCloser {
    QString opened;
    qreal plusH = -1;
    void arm() {
        QTimer::singleShot(0, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* results = qobject_cast<TResult_Form*>(modal)) {
                opened = QStringLiteral("results");
                results->close();
            } else if (auto* charts = qobject_cast<TGraph_Form*>(modal)) {
                opened = QStringLiteral("charts");
                plusH = charts->PlusSet(charts->Sel1_Chart)->at(0);
                charts->Ok_But->click();
            }
        });
    }
};

} // namespace

class TestResultList : public QObject {
    Q_OBJECT
private slots:
    void initTestCase_data() { TestSupport::addStoreRows(); }
    void init() {
        TestSupport::pinRussianLocale();
        QFETCH_GLOBAL(TestSupport::TStore, store);
        m_store = std::make_unique<TestSupport::TStoreFixture>(store);
        QVERIFY2(m_store->open(), qPrintable(m_store->error));
        m_dm = m_store->dm.get();
        TestSupport::ensureTestee(m_dm->Main_Database(), 1, kMenId);
    }
    void cleanup() {
        m_dm = nullptr;
        m_store.reset();
    }
    void listKeepsItsRow();

private:
    std::unique_ptr<TestSupport::TStoreFixture> m_store;
    TMain_DataModule* m_dm = nullptr;
};

void TestResultList::listKeepsItsRow() {
    TListTest_Form list;
    list.MenID = kMenId;
    list.RefreshList();
    list.show();
    QVERIFY(!list.Result_But->isEnabled() && !list.Graph_But->isEnabled());

    // Plus counts of h: 1, 2, 3 from the oldest to the newest record.
    for (int plus = 1; plus <= 3; ++plus)
        TestSupport::insertTest(1, kMenId, QDate(2026, 1, plus), QTime(9, 0), QString(),
                                TestSupport::composeProfile(QString::number(plus) +
                                                            QStringLiteral("1100000000000000") +
                                                            QString(15, QLatin1Char('0'))));
    list.RefreshList();
    QVERIFY(list.Result_But->isEnabled() && list.Graph_But->isEnabled());
    Data::TValueSet* query = list.tests();
    query->SetRecNo(2);

    ModalCloser closer;
    closer.arm();
    QTest::mouseClick(list.Result_But, Qt::LeftButton);
    QCOMPARE(closer.opened, QStringLiteral("results"));
    QCOMPARE(query->RecNo(), 2);

    closer = ModalCloser();
    closer.arm();
    list.Tests_GridDblClick();
    QCOMPARE(closer.opened, QStringLiteral("results"));
    QCOMPARE(query->RecNo(), 2);

    // The chart window shows the current record: the middle one.
    closer = ModalCloser();
    closer.arm();
    QTest::mouseClick(list.Graph_But, Qt::LeftButton);
    QCOMPARE(closer.opened, QStringLiteral("charts"));
    QCOMPARE(closer.plusH, 2.0);
    QCOMPARE(query->RecNo(), 2);
}

QTEST_MAIN(TestResultList)
#include "tst_result_list.moc"
