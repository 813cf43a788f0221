// The answer sheet and the test list driven offscreen: entry by keyboard, key filters, checks before
// writing, the mode of a stored record, numbering of the list, deletion.
#include "testing/Blank_Frm.h"
#include "testing/ListTest_Frm.h"

#include "TestingFixture.h"
#include "results/Graph_Frm.h"
#include "scoring/Calc_Records.h"
#include "widgets/DBGrid.h"
#include "widgets/StringGrid.h"

#include <QDateEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTimeEdit>

using namespace TestingSupport;

namespace {

constexpr int kMen = 11;
// A complete sheet: the worked example of a run.
const QString kSheet = QStringLiteral("135724681538264713457812"
                                      "264815372467381567285634");
// Plus and minus counts of a profile, every row adding up to 12.
const QString kProfil = QStringLiteral("21222111"
                                       "22102302"
                                       "21221121"
                                       "02121132");

void typeText(QWidget* w, const QString& text) {
    for (QChar ch : text)
        QTest::keyClick(w, ch.toLatin1());
}

int addRecord(const QString& resultTest, const QString& resultProfil, const QDate& date,
              const QString& note = QString()) {
    const Calc::TTestRecord record =
        resultTest.isEmpty() ? TestSupport::composeProfile(resultProfil) : TestSupport::compose(resultTest);
    TestSupport::insertTest(kDbId, kMen, date, QTime(10, 30), note, record);
    return recordsOf(kMen).back().testId;
}

// A stored record with neither choices nor counts (no window writes one).
void addEmptyRecord() {
    TestSupport::execBound(Main_DataModule->Main_Database(),
                           QStringLiteral("insert into TEST (DB_ID, Men_ID, Date_Test, Time_Test, Note, "
                                          "Result_Test, Result_Profil, Calc_Profil, Calc_ProfilNapr) values "
                                          "(1, %1, '2026-01-05', '09:00:00', 'пусто', '', '', '', '')")
                               .arg(kMen));
}

QList<int> numbers(const TListTest_Form& list) {
    const Data::TValueSet* q = list.tests();
    QList<int> n;
    for (int r = 0; r < q->RecordCount(); ++r)
        n << q->Value(r, q->FieldIndex(QStringLiteral("Numb"))).toInt();
    return n;
}

// Opens the list of kMen with its current record on `row` and returns it shown.
std::unique_ptr<TListTest_Form> openList(int row = 0) {
    auto list = std::make_unique<TListTest_Form>();
    list->MenID = kMen;
    list->RefreshList();
    list->tests()->SetRecNo(row + 1);
    list->show();
    return list;
}

// Opens the record dialog on the list's current record, or on a new record without a list.
std::unique_ptr<TBlank_Form> openBlank(bool editMode, const TListTest_Form* list = nullptr) {
    auto form = std::make_unique<TBlank_Form>();
    form->EditMode = editMode;
    form->MenID = kMen;
    form->Record = list ? *list->CurrentRecord() : Data::NewTestRecord(Main_DataModule->Current_DB_ID, kMen);
    form->InitGrids();
    form->LoadRecord();
    form->show();
    return form;
}

} // namespace

class TestBlankList : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<Fixture> m_fixture;

private Q_SLOTS:
    void init() {
        m_fixture = std::make_unique<Fixture>(false, false);
        m_fixture->addTestee(kMen);
    }
    void cleanup() { m_fixture.reset(); }

    void headers() {
        auto form = openBlank(false);
        const auto* bl = form->Bl_Grid;
        QCOMPARE(bl->Cell(0, 0), QStringLiteral("Выбор"));
        QCOMPARE(bl->MergedArea(0, 1), QRect(0, 0, 1, 2));
        QCOMPARE(bl->Cell(21, 0), QStringLiteral("VI серия"));
        QCOMPARE(bl->MergedArea(24, 0), QRect(21, 0, 4, 1));
        QString signs;
        for (int c = 1; c <= 24; ++c)
            signs += bl->Cell(c, 1);
        QCOMPARE(signs, QStringLiteral("++--").repeated(6));
        QCOMPARE(bl->Cell(0, 3), QStringLiteral("Второй"));
        const auto* pr = form->Pr_Grid;
        QCOMPARE(pr->Cell(6, 0), QStringLiteral("Sch"));
        QCOMPARE(pr->MergedArea(7, 0), QRect(6, 0, 2, 1));
        QCOMPARE(pr->Cell(5, 1), QStringLiteral("hy"));
        QCOMPARE(pr->Cell(0, 4), QStringLiteral("ЭКП"));
        QCOMPARE(pr->Cell(1, 5), QStringLiteral("-"));
        QCOMPARE(form->Bl_GridGetAlignment(5, 2), Qt::AlignCenter);
        QCOMPARE(form->Pr_GridGetAlignment(1, 3), Qt::AlignLeft | Qt::AlignVCenter);
    }

    void typedSheetIsWritten() {
        auto form = openBlank(false);
        QVERIFY(form->Bl_Grid->isEnabled());
        QVERIFY(!form->Pr_Grid->isEnabled());
        QCOMPARE(form->DateTest_Edit->date(), QDate::currentDate());
        form->Bl_Grid->setFocus();
        QCOMPARE(form->Bl_Grid->Col(), 1);
        QCOMPARE(form->Bl_Grid->Row(), 2);
        typeText(form->Bl_Grid, kSheet.left(24));
        // From column 24 of the first row the cursor wraps to column 1 of the second.
        QCOMPARE(form->Bl_Grid->Col(), 1);
        QCOMPARE(form->Bl_Grid->Row(), 3);
        typeText(form->Bl_Grid, kSheet.mid(24));
        QCOMPARE(form->Bl_Grid->Col(), 24);
        QCOMPARE(form->Bl_Grid->Row(), 3);
        QCOMPARE(form->SheetResultTest(), kSheet);
        form->NoteTest_Edit->setPlainText(QStringLiteral("бланк от руки"));
        form->DateTest_Edit->setDate(QDate(2026, 3, 14));
        form->TimeTest_Edit->setTime(QTime(9, 5, 7));
        // Enter reaches the default button.
        form->Bl_Grid->setFocus();
        QTest::keyClick(form->Bl_Grid, Qt::Key_Return);
        QCOMPARE(form->result(), int(QDialog::Accepted));
        const QList<TRecord> records = recordsOf(kMen);
        QCOMPARE(records.size(), 1);
        QCOMPARE(records[0].resultTest, kSheet);
        QCOMPARE(records[0].resultProfil, Calc::DeriveProfil(kSheet));
        QCOMPARE(records[0].date, QStringLiteral("2026-03-14"));
        QCOMPARE(records[0].time, QStringLiteral("09:05:07"));
        QCOMPARE(records[0].note, QStringLiteral("бланк от руки"));
    }

    void keyFilter_data() {
        QTest::addColumn<bool>("profile");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("cells"); // first three cells after the keys, "." for empty
        QTest::newRow("sheet digits") << false << "18"
                                      << "18.";
        QTest::newRow("sheet refuses 0 9 letters") << false << "0a9z Ж"
                                                   << "...";
        QTest::newRow("profile digits") << true << "06"
                                        << "06.";
        QTest::newRow("profile refuses 7 8 9 letters") << true << "789x"
                                                       << "...";
    }
    void keyFilter() {
        QFETCH(bool, profile);
        QFETCH(QString, keys);
        QFETCH(QString, cells);
        auto form = openBlank(false);
        if (profile) {
            form->Profil_RB->click();
            QVERIFY(form->Pr_Grid->isEnabled());
            QVERIFY(!form->Bl_Grid->isEnabled());
        }
        Widgets::TStringGrid* grid = profile ? form->Pr_Grid : form->Bl_Grid;
        const int col0 = grid->Col();
        for (QChar ch : keys)
            QTest::keyClick(grid, ch.unicode() < 128 ? ch.toLatin1() : 'x', Qt::NoModifier);
        if (keys.contains(QChar(u'Ж'))) {
            QKeyEvent cyr(QEvent::KeyPress, 0, Qt::NoModifier, QStringLiteral("Ж"));
            QVERIFY(profile ? form->Pr_GridKeyPress(&cyr) : form->Bl_GridKeyPress(&cyr));
        }
        QString seen;
        for (int c = col0; c < col0 + 3; ++c)
            seen += grid->Cell(c, grid->FixedRows()).isEmpty() ? QStringLiteral(".")
                                                               : grid->Cell(c, grid->FixedRows());
        QCOMPARE(seen, cells);
    }

    void replaceAndBackspace() {
        auto form = openBlank(false);
        QTest::keyClick(form->Bl_Grid, '3');
        QTest::keyClick(form->Bl_Grid, Qt::Key_Left);
        QTest::keyClick(form->Bl_Grid, '5');
        QCOMPARE(form->Bl_Grid->Cell(1, 2), QStringLiteral("5"));
        QCOMPARE(form->Bl_Grid->Col(), 2);
        QTest::keyClick(form->Bl_Grid, Qt::Key_Left);
        QTest::keyClick(form->Bl_Grid, Qt::Key_Backspace);
        QCOMPARE(form->Bl_Grid->Cell(1, 2), QString());
        QCOMPARE(form->Bl_Grid->Col(), 1);
        // The profile grid wraps to its first data column.
        form->Profil_RB->click();
        form->Pr_Grid->SetCurrent(9, 2);
        QTest::keyClick(form->Pr_Grid, '4');
        QCOMPARE(form->Pr_Grid->Col(), 2);
        QCOMPARE(form->Pr_Grid->Row(), 3);
        // Switching modes keeps what the other grid holds.
        form->Blank_RB->click();
        QCOMPARE(form->Pr_Grid->Cell(9, 2), QStringLiteral("4"));
    }

    void refusedSheets_data() {
        QTest::addColumn<QString>("sheet");
        QTest::addColumn<int>("col");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("message");
        QString empty = kSheet;
        empty[29] = u' ';
        QTest::newRow("empty cell") << empty << 6 << 3
                                    << "Бланк заполнен не полностью: II серия, второй выбор.";
        QString twice = kSheet;
        twice[6] = u'2'; // series 2 of the first pass: 2 4 2 8
        QTest::newRow("twice in a pass")
            << twice << 7 << 2 << "Портрет 2 выбран дважды: II серия, первый выбор.";
        QString repeated = kSheet;
        repeated[44] = u'7'; // series 6 of the second pass repeats 7 of the first
        QTest::newRow("second repeats first")
            << repeated << 21 << 3 << "Портрет 7 во втором выборе уже выбран в первом: VI серия.";
    }
    void refusedSheets() {
        QFETCH(QString, sheet);
        QFETCH(int, col);
        QFETCH(int, row);
        QFETCH(QString, message);
        Platform::MessageRecorder messages;
        auto form = openBlank(false);
        for (int i = 0; i < 48; ++i)
            form->Bl_Grid->SetCell(1 + i % 24, 2 + i / 24, sheet[i] == u' ' ? QString() : QString(sheet[i]));
        QTest::mouseClick(form->Ok_But, Qt::LeftButton);
        QCOMPARE(messages.messages.size(), 1);
        QCOMPARE(messages.messages[0].text, message);
        QCOMPARE(messages.messages[0].icon, Platform::MsgIcon::Information);
        QCOMPARE(form->Bl_Grid->Col(), col);
        QCOMPARE(form->Bl_Grid->Row(), row);
        QVERIFY(form->isVisible());
        QCOMPARE(recordsOf(kMen).size(), 0);
    }

    // The check that a portrait of the second pass was not chosen in the first, for every slot of every
    // series, the last "-" slot included.
    void secondPassRepeatingTheFirstIsRefused_data() {
        QTest::addColumn<int>("position");
        const char* const romans[] = {"I", "II", "III", "IV", "V", "VI"};
        for (int series = 0; series < 6; ++series)
            for (int slot = 0; slot < 4; ++slot)
                QTest::addRow("%s серия, ячейка %d", romans[series], slot + 1) << 24 + series * 4 + slot;
    }
    void secondPassRepeatingTheFirstIsRefused() {
        QFETCH(int, position);
        const int series = (position - 24) / 4;
        const QString romans[] = {"I", "II", "III", "IV", "V", "VI"};
        for (int firstSlot = 0; firstSlot < 4; ++firstSlot) {
            QString sheet = kSheet;
            const QChar repeated = kSheet[series * 4 + firstSlot];
            sheet[position] = repeated;
            Platform::MessageRecorder messages;
            auto form = openBlank(false);
            for (int i = 0; i < 48; ++i)
                form->Bl_Grid->SetCell(1 + i % 24, 2 + i / 24, QString(sheet[i]));
            QTest::mouseClick(form->Ok_But, Qt::LeftButton);
            QCOMPARE(messages.messages.size(), 1);
            QCOMPARE(messages.messages[0].text,
                     QStringLiteral("Портрет %1 во втором выборе уже выбран в первом: %2 серия.")
                         .arg(repeated)
                         .arg(romans[series]));
            QCOMPARE(form->Bl_Grid->Col(), position - 24 + 1);
            QCOMPARE(form->Bl_Grid->Row(), 3);
            QVERIFY(form->isVisible());
            QCOMPARE(recordsOf(kMen).size(), 0);
        }
    }

    void profileEntry_data() {
        QTest::addColumn<QString>("profil");
        QTest::addColumn<QString>("message");
        QTest::newRow("complete") << kProfil << QString();
        QString wrongSum = kProfil;
        wrongSum[20] = u'3';
        QTest::newRow("sum") << wrongSum << "Сумма выборов ЭКП, строка «+», равна 14, а должна быть 12.";
        QString empty = kProfil;
        empty[9] = u' ';
        QTest::newRow("empty") << empty << "Профиль заполнен не полностью: ППП, строка «-».";
    }
    void profileEntry() {
        QFETCH(QString, profil);
        QFETCH(QString, message);
        Platform::MessageRecorder messages;
        auto form = openBlank(false);
        form->Profil_RB->click();
        form->Pr_Grid->setFocus();
        for (QChar ch : profil) {
            if (ch == u' ')
                QTest::keyClick(form->Pr_Grid, Qt::Key_Right);
            else
                QTest::keyClick(form->Pr_Grid, ch.toLatin1());
        }
        QTest::mouseClick(form->Ok_But, Qt::LeftButton);
        const QList<TRecord> records = recordsOf(kMen);
        if (message.isEmpty()) {
            QCOMPARE(messages.messages.size(), 0);
            QCOMPARE(records.size(), 1);
            QCOMPARE(records[0].resultTest, QString());
            QCOMPARE(records[0].resultProfil, profil);
            QCOMPARE(records[0].calcProfil.size(), 16);
        } else {
            QCOMPARE(messages.messages.size(), 1);
            QCOMPARE(messages.messages[0].text, message);
            QCOMPARE(records.size(), 0);
        }
    }

    void storedRecordMode_data() {
        QTest::addColumn<int>("kind"); // 0 choices, 1 profile, 2 neither
        QTest::addColumn<bool>("blankChecked");
        QTest::addColumn<bool>("blankEnabled");
        QTest::addColumn<bool>("profilEnabled");
        QTest::newRow("choices") << 0 << true << true << false;
        QTest::newRow("profile") << 1 << false << false << true;
        QTest::newRow("neither") << 2 << true << true << true;
    }
    void storedRecordMode() {
        QFETCH(int, kind);
        QFETCH(bool, blankChecked);
        QFETCH(bool, blankEnabled);
        QFETCH(bool, profilEnabled);
        if (kind == 0)
            addRecord(kSheet, QString(), QDate(2026, 2, 1), QStringLiteral("заметка"));
        else if (kind == 1)
            addRecord(QString(), kProfil, QDate(2026, 2, 1), QStringLiteral("заметка"));
        else
            addEmptyRecord();
        auto list = openList();
        auto form = openBlank(true, list.get());
        QCOMPARE(form->Blank_RB->isChecked(), blankChecked);
        QCOMPARE(form->Blank_RB->isEnabled(), blankEnabled);
        QCOMPARE(form->Profil_RB->isEnabled(), profilEnabled);
        QCOMPARE(form->Bl_Grid->isEnabled(), blankChecked);
        if (kind == 0) {
            QCOMPARE(form->SheetResultTest(), kSheet);
            QCOMPARE(form->DateTest_Edit->date(), QDate(2026, 2, 1));
            QCOMPARE(form->TimeTest_Edit->time(), QTime(10, 30));
            QCOMPARE(form->NoteTest_Edit->toPlainText(), QStringLiteral("заметка"));
        } else if (kind == 1) {
            QCOMPARE(form->GridResultProfil(), kProfil);
        }
    }

    void editRewritesCurrentRecord() {
        addRecord(kSheet, QString(), QDate(2026, 1, 1));
        const int second = addRecord(kSheet, QString(), QDate(2026, 1, 2));
        auto list = openList();
        auto form = openBlank(true, list.get());
        form->Bl_Grid->SetCurrent(1, 2);
        // Swap the sympathetic and the unpleasant pair of series 1 in the first pass.
        typeText(form->Bl_Grid, QStringLiteral("5713"));
        QTest::mouseClick(form->Ok_But, Qt::LeftButton);
        QCOMPARE(form->result(), int(QDialog::Accepted));
        const QList<TRecord> records = recordsOf(kMen);
        QCOMPARE(records.size(), 2);
        QCOMPARE(records[0].resultTest, kSheet);
        QCOMPARE(records[1].testId, second);
        QCOMPARE(records[1].resultTest, QStringLiteral("5713") + kSheet.mid(4));
    }

    void listNumbering() {
        auto list = openList();
        QCOMPARE(numbers(*list), QList<int>());
        QVERIFY(!list->EditBlank_But->isEnabled());
        QVERIFY(!list->DelTest_But->isEnabled());
        QVERIFY(!list->Result_But->isEnabled());
        QVERIFY(list->Test_But->isEnabled() && list->AddBlank_But->isEnabled() &&
                list->Cancel_But->isEnabled());
        QTest::mouseDClick(list->Tests_Grid->viewport(), Qt::LeftButton, {}, QPoint(20, 10));
        QVERIFY(list->isVisible());

        for (int day = 1; day <= 3; ++day)
            addRecord(kSheet, QString(), QDate(2026, 1, day));
        list->RefreshList();
        QCOMPARE(numbers(*list), (QList<int>{3, 2, 1}));
        QCOMPARE(list->Tests_Grid->Model()->cellText(0, 1), QStringLiteral("03.01.2026"));
        QCOMPARE(list->Tests_Grid->Model()->cellText(2, 0), QStringLiteral("1"));
        QVERIFY(list->EditBlank_But->isEnabled());
        QVERIFY(list->DelTest_But->isEnabled());
        addRecord(kSheet, QString(), QDate(2026, 1, 4));
        list->RefreshList();
        QCOMPARE(numbers(*list), (QList<int>{4, 3, 2, 1}));
        QCOMPARE(list->tests()->RecNo(), 1);
        // The numbers live in the result only.
        QCOMPARE(TestSupport::selectValue(Main_DataModule->Main_Database(),
                                          QStringLiteral("select count(*) from TEST"))
                     .toInt(),
                 4);
    }

    void windowsNameTheTestee_data() {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("title");
        QTest::newRow("test list") << "list"
                                   << "Список тестирований - Тестируемый";
        QTest::newRow("new sheet") << "new"
                                   << "Ввод с бланка - Тестируемый";
        QTest::newRow("stored record") << "edit"
                                       << "Изменение записи тестирования - Тестируемый";
        QTest::newRow("charts") << "charts"
                                << "График - Тестируемый, тестирование 2 от 02.01.2026";
        QTest::newRow("Enter on a test") << "enter"
                                         << "Результаты тестирования - Тестируемый";
    }
    void windowsNameTheTestee() {
        QFETCH(QString, window);
        QFETCH(QString, title);
        addRecord(kSheet, QString(), QDate(2026, 1, 1));
        addRecord(kSheet, QString(), QDate(2026, 1, 2));
        auto list = openList();
        QString seen;
        QTimer::singleShot(20, [&] {
            if (QWidget* w = QApplication::activeModalWidget()) {
                seen = w->windowTitle();
                w->close();
            }
        });
        if (window == QLatin1String("list"))
            ShowTestList(*Main_DataModule->Repo().testee(kMen));
        else if (window == QLatin1String("charts"))
            list->WatchBlank_ButClick();
        else if (window == QLatin1String("enter"))
            QTest::keyClick(list->Tests_Grid, Qt::Key_Return);
        else
            EditBlank(*Main_DataModule->Repo().testee(kMen),
                      window == QLatin1String("edit") ? list->CurrentRecord() : nullptr);
        QCOMPARE(seen, title);
        // Enter on a test opens its results and leaves the list open; its default button closes it.
        QVERIFY(list->isVisible());
        QCOMPARE(list->Cancel_But->text(), QStringLiteral("Закрыть"));
    }

    void deleteKeepsNeighbour_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QList<int>>("daysLeft"); // newest first
        QTest::addColumn<int>("recNo");
        QTest::newRow("no keeps all") << 1 << "no" << QList<int>{3, 2, 1} << 2;
        QTest::newRow("middle") << 1 << "yes" << QList<int>{3, 1} << 2;
        QTest::newRow("oldest") << 2 << "yes" << QList<int>{3, 2} << 2;
        QTest::newRow("newest") << 0 << "yes" << QList<int>{2, 1} << 1;
    }
    void deleteKeepsNeighbour() {
        QFETCH(int, row);
        QFETCH(QString, answer);
        QFETCH(QList<int>, daysLeft);
        QFETCH(int, recNo);
        for (int day = 1; day <= 3; ++day)
            addRecord(kSheet, QString(), QDate(2026, 1, day));
        auto list = openList(row);
        Platform::MessageRecorder messages;
        messages.answers << (answer == QStringLiteral("yes") ? Platform::MsgAnswer::Yes
                                                             : Platform::MsgAnswer::No);
        QTest::mouseClick(list->DelTest_But, Qt::LeftButton);
        QCOMPARE(messages.messages.size(), 1);
        QCOMPARE(messages.messages[0].text,
                 QStringLiteral("Удалить результаты тестирования от %1?")
                     .arg(QDate(2026, 1, 3 - row).toString(QStringLiteral("dd.MM.yyyy"))));
        QCOMPARE(messages.messages[0].defaultAnswer, Platform::MsgAnswer::No);
        QList<int> days;
        for (const TRecord& r : recordsOf(kMen))
            days.prepend(QDate::fromString(r.date, Qt::ISODate).day());
        QCOMPARE(days, daysLeft);
        QCOMPARE(numbers(*list).size(), daysLeft.size());
        QCOMPARE(numbers(*list).first(), static_cast<int>(daysLeft.size()));
        QCOMPARE(list->tests()->RecNo(), recNo);
    }
};

QTEST_MAIN(TestBlankList)
#include "tst_blank_list.moc"
