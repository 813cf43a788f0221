// Titles of the testee list are never cut by sort markers: a marked section widens to its title and
// marker, the others share the rest, at any window width and any number of sorted columns.
#include "TestSupport.h"

#include "app/MainFrm.h"
#include "widgets/DBGrid.h"

#include <QHeaderView>
#include <QtTest>

using namespace TestSupport;

class TestGridTitles : public QObject {
    Q_OBJECT
    std::unique_ptr<ProgramDirFixture> m_dir;
    std::unique_ptr<TMain_DataModule> m_dm;

    static void clickTitle(TMain_Form& form, int column, bool ctrl) {
        QHeaderView* header = form.Data_Grid->horizontalHeader();
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, ctrl ? Qt::ControlModifier : Qt::NoModifier,
                          at);
    }

private Q_SLOTS:
    void init() {
        pinRussianLocale();
        m_dir = std::make_unique<ProgramDirFixture>();
        m_dm = m_dir->createDataModule();
        Data::TEngine& q = m_dm->Main_Database();
        QVERIFY(TestSupport::execBound(q, QStringLiteral("insert into DB (DB_Name) values ('Первая')")));
        QVERIFY(TestSupport::execBound(
            q, QStringLiteral("insert into USER (DB_ID, FIO, Sex, Age, Group_ID, IsDel) values "
                              "(1, 'Борисов', 'М', 40, 0, ''), (1, 'Антонова', 'Ж', 25, 0, '')")));
        m_dm->Current_DB_ID = 1;
    }
    void cleanup() {
        m_dm.reset();
        m_dir.reset();
    }

    void titlesFit_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("clicks"); // column digits, "^" before one = Ctrl held
        QTest::newRow("no markers") << 767 << "";
        QTest::newRow("age sorted") << 767 << "1";
        QTest::newRow("sex sorted, narrowest column") << 767 << "2";
        QTest::newRow("age and sex with places") << 767 << "1^2";
        QTest::newRow("all four with places") << 767 << "0^1^2^3";
        QTest::newRow("narrow window, age and sex") << 420 << "1^2";
        QTest::newRow("very narrow window, all four") << 200 << "0^1^2^3";
        QTest::newRow("marker removed again") << 767 << "1^2^2^2";
    }
    void titlesFit() {
        QFETCH(int, width);
        QFETCH(QString, clicks);
        TMain_Form form;
        form.resize(width, 400);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        bool ctrl = false;
        for (QChar ch : clicks) {
            if (ch == u'^') {
                ctrl = true;
                continue;
            }
            clickTitle(form, ch.digitValue(), ctrl);
            ctrl = false;
        }
        auto* header = qobject_cast<Widgets::TTitleHeader*>(form.Data_Grid->horizontalHeader());
        QVERIFY(header);
        QFont titleFont = form.Data_Grid->Model()->titleFont;
        const QFontMetrics metrics(titleFont);
        int total = 0;
        for (int c = 0; c < header->count(); ++c) {
            const QString title =
                form.Data_Grid->Model()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
            const int marker = header->markerWidth(c);
            // The title's ink plus the marker's room fits the section.
            QVERIFY2(header->sectionSize(c) >= metrics.horizontalAdvance(title) + marker,
                     qPrintable(QStringLiteral("%1: %2 < %3 + %4")
                                    .arg(title)
                                    .arg(header->sectionSize(c))
                                    .arg(metrics.horizontalAdvance(title))
                                    .arg(marker)));
            QVERIFY(header->sectionSize(c) >= header->minimumTitleWidth(c));
            total += header->sectionSize(c);
        }
        // While the titles fit in the window the columns fill it exactly; otherwise the list scrolls.
        int minimum = 0;
        for (int c = 0; c < header->count(); ++c)
            minimum += header->minimumTitleWidth(c);
        const int available = form.Data_Grid->viewport()->width();
        if (minimum <= available)
            QCOMPARE(total, available);
        else
            QCOMPARE(total, minimum);
    }
};

QTEST_MAIN(TestGridTitles)
#include "tst_grid_titles.moc"
