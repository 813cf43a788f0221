// Sort markers of the grid titles: click sequences and the sort lists they give.
#include "widgets/SortMarkers.h"

#include <QtTest>

class TestSortMarkers : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void sequences_data() {
        QTest::addColumn<QString>("clicks"); // column letters, "^" before a letter = Ctrl held
        QTest::addColumn<QString>("list");
        // Columns: F = FIO, A = Age, S = Sex, G = Group_Name.
        QTest::newRow("one click") << "F"
                                   << "FIO";
        QTest::newRow("twice") << "FF"
                               << "FIO DESC";
        QTest::newRow("three times") << "FFF"
                                     << "FIO";
        QTest::newRow("ctrl adds") << "F^A"
                                   << "FIO , Age";
        QTest::newRow("plain click resets") << "F^AG"
                                            << "Group_Name";
        QTest::newRow("ctrl removes descending") << "F^A^A^A"
                                                 << "FIO";
        QTest::newRow("places move up") << "^G^F^A^G^G"
                                        << "FIO , Age";
        QTest::newRow("group first then fio desc") << "G^F^F"
                                                   << "Group_Name , FIO DESC";
        QTest::newRow("all removed") << "^F^F^F"
                                     << "";
        QTest::newRow("ctrl on first column starts order") << "^S"
                                                           << "Sex";
    }
    void sequences() {
        QFETCH(QString, clicks);
        QFETCH(QString, list);
        const QStringList fields = {QStringLiteral("FIO"), QStringLiteral("Age"), QStringLiteral("Sex"),
                                    QStringLiteral("Group_Name")};
        Widgets::TSortMarkers markers(4);
        bool ctrl = false;
        for (QChar c : clicks) {
            if (c == QLatin1Char('^')) {
                ctrl = true;
                continue;
            }
            markers.click(QStringLiteral("FASG").indexOf(c), ctrl);
            ctrl = false;
        }
        QCOMPARE(markers.sortList(fields), list);
    }
};

QTEST_APPLESS_MAIN(TestSortMarkers)
#include "tst_sortmarkers.moc"
