// String grid: cells survive resizing, merged areas, current cell limits, key hook, colour callback.
#include "widgets/StringGrid.h"

#include <QImage>
#include <QPainter>
#include <QtTest>

using Widgets::TStringGrid;

class TestStringGrid : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cellsSurviveResizing() {
        TStringGrid g;
        g.SetColCount(3);
        g.SetRowCount(3);
        g.SetCell(2, 2, QStringLiteral("x"));
        g.SetColCount(5);
        g.SetRowCount(6);
        QCOMPARE(g.Cell(2, 2), QStringLiteral("x"));
        g.SetColCount(2);
        QCOMPARE(g.Cell(2, 2), QString());
        QCOMPARE(g.Cell(9, 9), QString());
    }

    void mergedAreaCoversItsCells() {
        TStringGrid g;
        g.SetColCount(10);
        g.SetRowCount(4);
        g.Merge(2, 0, 3, 0);
        QCOMPARE(g.MergedArea(3, 0), QRect(2, 0, 2, 1));
        QCOMPARE(g.MergedArea(4, 0), QRect(4, 0, 1, 1));
        QCOMPARE(g.CellRect(2, 0).width(), g.ColWidth(2) + 1 + g.ColWidth(3));
    }

    void currentCellStaysOutOfFixedCells() {
        TStringGrid g;
        g.SetColCount(4);
        g.SetRowCount(4);
        g.SetFixedCols(1);
        g.SetFixedRows(2);
        g.SetCurrent(0, 0);
        QCOMPARE(g.Col(), 1);
        QCOMPARE(g.Row(), 2);
        g.show();
        QTest::keyClick(&g, Qt::Key_Right);
        QTest::keyClick(&g, Qt::Key_Down);
        QCOMPARE(g.Col(), 2);
        QCOMPARE(g.Row(), 3);
    }

    void keyHookComesFirst() {
        TStringGrid g;
        g.SetColCount(4);
        g.SetRowCount(4);
        g.OnKeyPress = [&g](QKeyEvent* e) {
            if (e->text() == QStringLiteral("5")) {
                g.SetCell(g.Col(), g.Row(), QStringLiteral("5"));
                return true;
            }
            return e->key() == Qt::Key_Right; // swallowed
        };
        g.show();
        QTest::keyClick(&g, Qt::Key_5);
        QTest::keyClick(&g, Qt::Key_Right);
        QCOMPARE(g.Cell(1, 1), QStringLiteral("5"));
        QCOMPARE(g.Col(), 1);
    }

    void cellColourCallbackPaints() {
        TStringGrid g;
        g.SetColCount(2);
        g.SetRowCount(2);
        g.SetFixedCols(0);
        g.SetFixedRows(0);
        g.ShowSelection = false;
        g.SetCell(1, 1, QStringLiteral(" "));
        g.GetCellColor = [&g](int c, int r, QColor& color) {
            if (g.Cell(c, r) == QStringLiteral(" "))
                color = Qt::red;
        };
        QImage img(g.ContentSize(), QImage::Format_RGB32);
        img.fill(Qt::white);
        QPainter p(&img);
        g.PaintTo(p);
        p.end();
        const QRect r = g.CellRect(1, 1);
        QCOMPARE(QColor(img.pixel(r.center())), QColor(Qt::red));
        const QRect r0 = g.CellRect(0, 0);
        QVERIFY(QColor(img.pixel(r0.center())) != QColor(Qt::red));
    }
};

QTEST_MAIN(TestStringGrid)
#include "tst_stringgrid.moc"
