// Main window: the testee list, its sort clauses from title clicks, row colours and action enabling.
#include "TestSupport.h"

#include "app/MainFrm.h"
#include "data/FileEngine.h"
#include "platform/IniFile.h"
#include "platform/SysColors.h"
#include "widgets/DBGrid.h"

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QtTest>

using namespace TestSupport;

class TestMainForm : public QObject {
    Q_OBJECT

    std::unique_ptr<ProgramDirFixture> m_dir;
    std::unique_ptr<TMain_DataModule> m_dm;

    void sql(const QString& text) {
        Data::TEngine& q = m_dm->Main_Database();
        QVERIFY2(TestSupport::execBound(q, text), qPrintable(text));
    }
    void clickTitle(TMain_Form& form, int column, bool ctrl = false) {
        QHeaderView* header = form.Data_Grid->horizontalHeader();
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, ctrl ? Qt::ControlModifier : Qt::NoModifier,
                          at);
    }
    QStringList names() {
        QStringList list;
        Data::TQuery* q = m_dm->Men_Query;
        for (int r = 0; r < q->RecordCount(); ++r)
            list << q->Value(r, q->FieldIndex(QStringLiteral("FIO"))).toString();
        return list;
    }

private Q_SLOTS:
    void init() {
        pinRussianLocale();
        m_dir = std::make_unique<ProgramDirFixture>();
        m_dm = m_dir->createDataModule();
        sql(QStringLiteral("insert into DB (DB_Name) values ('Первая'), ('Вторая')"));
        sql(QStringLiteral("insert into \"GROUP\" (Group_Name) values ('Бета'), ('Альфа')"));
        sql(QStringLiteral("insert into USER (DB_ID, FIO, Sex, Age, Group_ID, IsDel) values "
                           "(1, 'Борисов', 'М', 40, 1, ''), (1, 'Антонова', 'Ж', 25, 2, ''), "
                           "(1, 'Васин', 'М', 25, 1, ''), (2, 'Чужой', 'М', 50, 1, '')"));
        sql(QStringLiteral("insert into TEST (DB_ID, Men_ID) values (1, 1)"));
        m_dm->Current_DB_ID = 1;
    }
    void cleanup() {
        m_dm.reset();
        m_dir.reset();
    }

    void titleClicksBuildOrderByClauses_data() {
        QTest::addColumn<QString>("clicks"); // column digits, "^" before one = Ctrl held
        QTest::addColumn<QString>("clause");
        QTest::addColumn<QStringList>("order");
        const QString b = QStringLiteral("Борисов"), a = QStringLiteral("Антонова"),
                      v = QStringLiteral("Васин");
        QTest::newRow("none") << ""
                              << "" << QStringList{b, a, v};
        QTest::newRow("fio") << "0"
                             << " ORDER BY FIO" << QStringList{a, b, v};
        QTest::newRow("fio twice") << "00"
                                   << " ORDER BY FIO DESC" << QStringList{v, b, a};
        QTest::newRow("fio three times") << "000"
                                         << " ORDER BY FIO" << QStringList{a, b, v};
        QTest::newRow("fio then ctrl age") << "0^1"
                                           << " ORDER BY FIO , Age" << QStringList{a, b, v};
        QTest::newRow("age then ctrl fio desc") << "1^0^0"
                                                << " ORDER BY Age , FIO DESC" << QStringList{v, a, b};
        QTest::newRow("plain click resets") << "0^13"
                                            << " ORDER BY Group_Name" << QStringList{a, b, v};
        QTest::newRow("ctrl removes descending") << "0^1^1^1"
                                                 << " ORDER BY FIO" << QStringList{a, b, v};
        QTest::newRow("group then fio desc") << "3^0^0"
                                             << " ORDER BY Group_Name , FIO DESC" << QStringList{a, v, b};
        QTest::newRow("all removed") << "^0^0^0"
                                     << "" << QStringList{b, a, v};
    }
    void titleClicksBuildOrderByClauses() {
        QFETCH(QString, clicks);
        QFETCH(QString, clause);
        QFETCH(QStringList, order);
        TMain_Form form;
        form.show();
        bool ctrl = false;
        for (QChar c : clicks) {
            if (c == QLatin1Char('^')) {
                ctrl = true;
                continue;
            }
            clickTitle(form, c.digitValue(), ctrl);
            ctrl = false;
        }
        const QString list =
            form.Data_Grid->Markers().sortList({QStringLiteral("FIO"), QStringLiteral("Age"),
                                                QStringLiteral("Sex"), QStringLiteral("Group_Name")});
        QCOMPARE(list.isEmpty() ? QString() : QStringLiteral(" ORDER BY ") + list, clause);
        // The list is sorted in memory: the query keeps its Men_ID order.
        QCOMPARE(m_dm->Men_Query->SQL(), m_dm->MenQueryBaseSQL() + QStringLiteral(" ORDER BY Men_ID"));
        QCOMPARE(names(), order);
    }

    // A re-sort moves the current and the selected testees with their rows.
    void resortKeepsCurrentRowAndSelection() {
        TMain_Form form;
        form.show();
        QVERIFY(form.LocateMen(3)); // Васин, selected as the current row
        QAbstractItemModel* model = form.Data_Grid->model();
        form.Data_Grid->selectionModel()->select(model->index(0, 0), // Борисов
                                                 QItemSelectionModel::Select | QItemSelectionModel::Rows);
        for (const QList<int>& rows : {QList<int>{1, 2}, QList<int>{0, 1}}) { // ascending, descending
            clickTitle(form, 0);
            QCOMPARE(form.CurrentMenID(), 3);
            QCOMPARE(form.Data_Grid->currentIndex().row(), rows.last() == 2 ? 2 : 0);
            QList<int> selected;
            for (const QModelIndex& index : form.Data_Grid->selectionModel()->selectedRows())
                selected << index.row();
            std::sort(selected.begin(), selected.end());
            QCOMPARE(selected, rows);
        }
    }

    void sortMarkersSurviveADatabaseChange() {
        TMain_Form form;
        form.show();
        clickTitle(form, 0);
        m_dm->Current_DB_ID = 2;
        form.RefreshMenList();
        QCOMPARE(names(), QStringList{QStringLiteral("Чужой")});
        QCOMPARE(form.Data_Grid->Markers().sortedCount(), 1);
    }

    // Another program on the same file adds a testee: the list shows it by itself, on the same row.
    void otherConnectionsInsertShows() {
        TMain_Form form;
        form.show();
        QVERIFY(form.LocateMen(3));
        {
            const auto other = Data::TFileEngine::Open(m_dm->TableFilePath());
            QVERIFY(TestSupport::execBound(
                *other, QStringLiteral("insert into USER (DB_ID, FIO, Sex, Age, Group_ID, IsDel) "
                                       "values (1, 'Яковлев', 'М', 30, 0, '')")));
        }
        QTRY_COMPARE_WITH_TIMEOUT(names().size(), 4, 2500);
        QCOMPARE(form.CurrentMenID(), 3);
    }

    void actionsFollowTheList() {
        TMain_Form form;
        form.show();
        QVERIFY(form.LocateMen(1)); // has a test
        QVERIFY(form.ResultTest->isEnabled());
        QVERIFY(form.LocateMen(2)); // no tests
        QVERIFY(!form.ResultTest->isEnabled());
        QVERIFY(form.Input_Test->isEnabled());

        sql(QStringLiteral("insert into DB (DB_Name) values ('Пустая')"));
        m_dm->Current_DB_ID = 3;
        form.RefreshMenList();
        for (QAction* a : {form.EditTest, form.DelTest, form.SeekTest, form.Input_Test, form.ResultTest})
            QVERIFY2(!a->isEnabled(), qPrintable(a->text()));
        for (QAction* a : {form.AddTest, form.NewDB, form.OpenDB})
            QVERIFY2(a->isEnabled(), qPrintable(a->text()));
    }

    void movedCurrentRowIsTheHighlightedOne_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("row");
        QTest::newRow("Ctrl+Down") << int(Qt::Key_Down) << 1;
        QTest::newRow("Ctrl+End") << int(Qt::Key_End) << 2;
        QTest::newRow("Ctrl+PageDown") << int(Qt::Key_PageDown) << 2;
    }
    void movedCurrentRowIsTheHighlightedOne() {
        QFETCH(int, key);
        QFETCH(int, row);
        TMain_Form form;
        form.show();
        QWidget* grid = form.Data_Grid;
        QTest::mouseClick(grid->findChild<QWidget*>(QStringLiteral("qt_scrollarea_viewport")), Qt::LeftButton,
                          Qt::NoModifier,
                          form.Data_Grid->visualRect(form.Data_Grid->model()->index(0, 0)).center());
        QTest::keyClick(grid, Qt::Key(key), Qt::ControlModifier);
        // Delete and every other action take this row: it must be the one the user sees selected.
        QCOMPARE(m_dm->Men_Query->CurrentRow(), row);
        const QModelIndexList selected = form.Data_Grid->selectionModel()->selectedRows();
        QCOMPARE(selected.size(), 1);
        QCOMPARE(selected[0].row(), row);
    }

    void rowColoursAlternateFromSettings() {
        {
            TMain_Form form;
            QCOMPARE(form.FirstColor, Platform::clInfoBk);
            QCOMPARE(form.SecondColor, 0x00FFFFFF);
        }
        Platform::TIniFile ini(SettingsFilePath());
        ini.WriteInteger(QStringLiteral("Interface"), QStringLiteral("FirstColor"), 0x0000FF); // red
        ini.WriteString(QStringLiteral("Interface"), QStringLiteral("SecondColor"), QStringLiteral("kein"));
        TMain_Form form;
        form.show();
        clickTitle(form, 0);
        auto* model = form.Data_Grid->model();
        QCOMPARE(model->index(0, 0).data(Qt::BackgroundRole).value<QColor>(), QColor(255, 0, 0));
        QCOMPARE(model->index(1, 0).data(Qt::BackgroundRole).value<QColor>(), QColor(255, 255, 255));
        QCOMPARE(model->index(2, 0).data(Qt::BackgroundRole).value<QColor>(), QColor(255, 0, 0));
    }

    void captionNamesTheDatabase() {
        TMain_Form form;
        form.SetDBCaption(QStringLiteral("Первая"));
        QCOMPARE(form.windowTitle(), QStringLiteral("Тест Morvel - Первая"));
    }

    // A list made current far down before the window shows opens scrolled to that row.
    void currentRowIsInSightWhenShown() {
        for (int i = 0; i < 60; ++i)
            sql(QStringLiteral("insert into USER (DB_ID, FIO, Sex, Age, Group_ID, IsDel) values "
                               "(1, 'Я%1', 'М', 30, 1, '')")
                    .arg(i, 2, 10, QLatin1Char('0')));
        TMain_Form form;
        QVERIFY(form.LocateMen(60));
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const QModelIndex current = form.Data_Grid->currentIndex();
        QCOMPARE(current.row(), m_dm->Men_Query->CurrentRow());
        QVERIFY(form.Data_Grid->viewport()->rect().contains(form.Data_Grid->visualRect(current)));
    }

    // The path of the data in the status bar becomes selectable once the window has painted.
    void dataLocationIsSelectable() {
        TMain_Form form;
        form.show();
        const auto* label = form.findChild<QLabel*>(QStringLiteral("DataLocation_Label"));
        QTRY_VERIFY(label->textInteractionFlags().testFlag(Qt::TextSelectableByMouse));
    }

    // While the store's change notices do not come, the status bar says the list may be old.
    void staleListIsSaid() {
        TMain_Form form;
        form.show();
        const auto stale = [&form] { return form.findChild<QLabel*>(QStringLiteral("Stale_Label")); };
        Q_EMIT m_dm->ChangeWatch(true);
        QVERIFY(!stale());
        for (const bool working : {false, true, false}) {
            Q_EMIT m_dm->ChangeWatch(working);
            QCOMPARE(stale()->isVisible(), !working);
        }
    }

    // Home and End move through the list and Enter opens what a double click opens; the "Тестирование"
    // menu items have access keys.
    void keyboard() {
        TMain_Form form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTest::keyClick(form.Data_Grid, Qt::Key_End);
        QCOMPARE(m_dm->Men_Query->RecNo(), 3);
        QTest::keyClick(form.Data_Grid, Qt::Key_Home);
        QCOMPARE(m_dm->Men_Query->RecNo(), 1);
        QString opened;
        QTimer::singleShot(20, [&] {
            if (QWidget* w = QApplication::activeModalWidget()) {
                opened = QString::fromLatin1(w->metaObject()->className());
                w->close();
            }
        });
        QTest::keyClick(form.Data_Grid, Qt::Key_Return);
        QCOMPARE(opened, QStringLiteral("TListTest_Form"));
        QCOMPARE(QKeySequence::mnemonic(form.Input_Test->text())[0].key(), Qt::Key(u'В'));
        QCOMPARE(QKeySequence::mnemonic(form.ResultTest->text())[0].key(), Qt::Key(u'Р'));
    }
};

QTEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
