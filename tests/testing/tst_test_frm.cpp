// The test window driven offscreen: complete runs by mouse and keyboard, the selection rules, going
// back, the record written at the end, early close, and the failures of pictures and instructions.
#include "platform/JpegLoader.h"
#include "testing/Instr_Frm.h"
#include "testing/ListTest_Frm.h"
#include "testing/Test_Frm.h"

#include "TestingFixture.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

using namespace TestingSupport;

namespace {

constexpr int kMen = 7;

QString visibleDigits(const TTest_Form& form) {
    QString digits;
    for (const QFrame* panel : form.Panels)
        if (!panel->isHidden())
            digits += panel->objectName().back();
    return digits;
}

// Clicks the images of the given portrait digits.
void clickPortraits(TTest_Form& form, const QString& digits) {
    for (QChar d : digits)
        QTest::mouseClick(form.Images[d.digitValue() - 1], Qt::LeftButton);
}

// The two portraits to take on a screen: the last two visible, clicked in descending order so the
// stored pair must be sorted by the window.
QString pickTwo(const TTest_Form& form) {
    const QString visible = visibleDigits(form);
    return QString(visible.back()) + visible[visible.size() - 2];
}

} // namespace

class TestTestForm : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<Fixture> m_fixture;
    int m_instructions = 0;

    std::unique_ptr<TTest_Form> newForm() {
        auto form = std::make_unique<TTest_Form>();
        form->MenID = kMen;
        form->DB_ID = Main_DataModule->Current_DB_ID;
        form->ShowSeries(1);
        form->show();
        return form;
    }

    // Runs the 12 screens of the first pass; the second instruction is answered.
    void runFirstPass(TTest_Form& form, bool keyboard) {
        for (int screen = 0; screen < 12; ++screen) {
            const QString pick = pickTwo(form);
            if (keyboard) {
                for (QChar d : pick)
                    QTest::keyClick(&form, d.toLatin1());
            } else {
                clickPortraits(form, pick);
            }
            QVERIFY(form.Next_But->isEnabled());
            if (screen == 11)
                answerModal<TInstr_Form>("BeginTest_But", &m_instructions);
            if (keyboard)
                QTest::keyClick(&form, Qt::Key_Return);
            else
                QTest::mouseClick(form.Next_But, Qt::LeftButton);
        }
    }

private Q_SLOTS:
    void init() {
        m_fixture = std::make_unique<Fixture>();
        m_fixture->addTestee(kMen);
        m_instructions = 0;
    }
    void cleanup() { m_fixture.reset(); }

    void completeRun_data() {
        QTest::addColumn<bool>("keyboard");
        QTest::newRow("mouse") << false;
        QTest::newRow("keyboard") << true;
    }
    void completeRun() {
        QFETCH(bool, keyboard);
        Platform::MessageRecorder messages;
        auto form = newForm();
        int screens = 1;
        for (int step = 0; step < 12; ++step) {
            // Sympathetic screens show 8 portraits, unpleasant ones the 6 left.
            QCOMPARE(visibleDigits(*form).size(), step % 2 == 0 ? 8 : 6);
            QCOMPARE(form->CurSign, step % 2 == 0 ? 1 : -1);
            QCOMPARE(form->Series_Label->text(), QStringLiteral("Серия %1 из 6").arg(step / 2 + 1));
            const QString pick = pickTwo(*form);
            if (keyboard)
                for (QChar d : pick)
                    QTest::keyClick(form.get(), d.toLatin1());
            else
                clickPortraits(*form, pick);
            if (step == 11)
                answerModal<TInstr_Form>("BeginTest_But", &m_instructions);
            if (keyboard)
                QTest::keyClick(form.get(), Qt::Key_Return);
            else
                QTest::mouseClick(form->Next_But, Qt::LeftButton);
            ++screens;
        }
        QCOMPARE(m_instructions, 1);
        QCOMPARE(form->CurPass, 2);
        for (int series = 1; series <= 6; ++series) {
            QCOMPARE(form->CurSeries, series);
            QCOMPARE(form->Series_Label->text(), QStringLiteral("Серия %1 из 6").arg(series));
            QCOMPARE(visibleDigits(*form).size(), 4);
            QCOMPARE(form->Comment_Label->text(),
                     QStringLiteral("Выберите два портрета, которые кажутся Вам наиболее неприятными"));
            const QString pick = pickTwo(*form);
            if (keyboard) {
                for (QChar d : pick)
                    QTest::keyClick(form.get(), d.toLatin1());
                QTest::keyClick(form.get(), Qt::Key_Return);
            } else {
                clickPortraits(*form, pick);
                QTest::mouseClick(form->Next_But, Qt::LeftButton);
            }
            if (series < 6)
                ++screens;
        }
        QCOMPARE(screens, 18);
        QCOMPARE(messages.messages.size(), 1);
        QCOMPARE(messages.messages[0].text, QStringLiteral("Тестирование закончено!"));
        QCOMPARE(messages.messages[0].caption, QStringLiteral("Тестирование закончено!"));
        QVERIFY(!form->isVisible());

        const QList<TRecord> records = recordsOf(kMen);
        QCOMPARE(records.size(), 1);
        const TRecord& r = records[0];
        QCOMPARE(r.dbId, kDbId);
        QCOMPARE(r.date, QDate::currentDate().toString(Qt::ISODate));
        QVERIFY(QTime::fromString(r.time, QStringLiteral("HH:mm:ss")).isValid());
        QCOMPARE(r.note, QString());
        QCOMPARE(r.resultTest.size(), 48);
        for (int s = 0; s < 6; ++s) {
            QString series = r.resultTest.mid(s * 4, 4) + r.resultTest.mid(24 + s * 4, 4);
            for (int pair = 0; pair < 8; pair += 2)
                QVERIFY2(series[pair] < series[pair + 1], qPrintable(r.resultTest));
            std::sort(series.begin(), series.end());
            QCOMPARE(series, QStringLiteral("12345678"));
        }
        // The stored strings are the ones the 48 digits give, worked out here on their own: the key
        // as the method prints it, the counts by slot, the reactions looked up pair by pair.
        const QString key[8] = {"kyhpem", "smeydh", "pesdyk", "dhmkps",
                                "hdkmsp", "epdsky", "msyehd", "ykphme"};
        const QString codes = QStringLiteral("hseykpdm");
        QString profil;
        for (int pass = 0; pass < 2; ++pass) {
            int plus[8] = {}, minus[8] = {};
            for (int p = 0; p < 24; ++p) {
                const int portrait = r.resultTest[pass * 24 + p].digitValue();
                const int factor = int(codes.indexOf(key[portrait - 1][p / 4]));
                ++(p % 4 < 2 ? plus : minus)[factor];
            }
            for (const int* counts : {plus, minus})
                for (int f = 0; f < 8; ++f)
                    profil += QString::number(counts[f]);
        }
        QCOMPARE(r.resultProfil, profil);
        QString types, marks;
        for (int half = 0; half < 2; ++half)
            for (int f = 0; f < 8; ++f) {
                const auto rows = TestSupport::selectRows(
                    Main_DataModule->Main_Database(),
                    QStringLiteral("select Type_Reaction, Napr from Symbols where Posit_Select = :p and "
                                   "Negat_Select = :n order by ID_Rec"),
                    {{QStringLiteral("p"), QString(profil[half * 16 + f])},
                     {QStringLiteral("n"), QString(profil[half * 16 + 8 + f])}});
                QVERIFY(!rows.isEmpty());
                types += rows[0][0].toString();
                marks += rows[0][1].toString();
            }
        QCOMPARE(r.calcProfil, types);
        QCOMPARE(r.calcNapr, marks);
    }

    void selectionRules() {
        auto form = newForm();
        clickPortraits(*form, QStringLiteral("3"));
        QCOMPARE(form->SelCount, 1);
        QVERIFY(!form->Next_But->isEnabled());
        clickPortraits(*form, QStringLiteral("6"));
        QVERIFY(form->Next_But->isEnabled());
        // A third portrait, by mouse on the panel or by key, changes nothing.
        QTest::mouseClick(form->Panels[0], Qt::LeftButton, {}, QPoint(3, 3));
        QTest::keyClick(form.get(), '8');
        QCOMPARE(form->SelCount, 2);
        QCOMPARE(form->CollectPanels(true), QStringLiteral("36"));
        QVERIFY(form->IsSelected(form->Panels[2]));
        QCOMPARE(form->Panels[2]->palette().color(QPalette::Window), QColor(Qt::red));
        // Unselecting one disables "Далее" again; Enter then stores nothing.
        QTest::keyClick(form.get(), '6');
        QVERIFY(!form->Next_But->isEnabled());
        QTest::keyClick(form.get(), Qt::Key_Return);
        QCOMPARE(form->CurSign, 1);
        QCOMPARE(form->FirstPass[0][0], QString());
        // Keys other than the digits of visible portraits are ignored.
        QTest::keyClick(form.get(), '9');
        QCOMPARE(form->SelCount, 1);
    }

    void goingBack() {
        auto form = newForm();
        QVERIFY(!form->Prev_But->isEnabled());
        clickPortraits(*form, QStringLiteral("52"));
        QTest::mouseClick(form->Next_But, Qt::LeftButton);
        QCOMPARE(form->FirstPass[0][0], QStringLiteral("2"));
        QCOMPARE(form->FirstPass[1][0], QStringLiteral("5"));
        QCOMPARE(visibleDigits(*form), QStringLiteral("134678"));
        QVERIFY(form->Prev_But->isEnabled());
        QCOMPARE(form->Panels[0]->palette().color(QPalette::Window), form->palette().color(QPalette::Button));

        // Back from the unpleasant screen: all 8 again, nothing selected, no way further back.
        QTest::keyClick(form.get(), Qt::Key_Backspace);
        QCOMPARE(form->CurSign, 1);
        QCOMPARE(visibleDigits(*form), QStringLiteral("12345678"));
        QCOMPARE(form->CollectPanels(true), QString());
        QCOMPARE(form->FirstPass[0][0], QStringLiteral("0"));
        QVERIFY(!form->Prev_But->isEnabled());

        clickPortraits(*form, QStringLiteral("17"));
        QTest::mouseClick(form->Next_But, Qt::LeftButton);
        clickPortraits(*form, QStringLiteral("23"));
        QTest::mouseClick(form->Next_But, Qt::LeftButton);
        QCOMPARE(form->CurSeries, 2);
        QCOMPARE(form->CurSign, 1);
        // Back from a sympathetic screen: the previous series' unpleasant screen with 6 portraits.
        QTest::mouseClick(form->Prev_But, Qt::LeftButton);
        QCOMPARE(form->CurSeries, 1);
        QCOMPARE(form->CurSign, -1);
        QCOMPARE(visibleDigits(*form), QStringLiteral("234568"));
        QCOMPARE(form->FirstPass[2][0], QStringLiteral("0"));
        QVERIFY(form->Prev_But->isEnabled());
    }

    void secondPassBack() {
        auto form = newForm();
        runFirstPass(*form, false);
        QCOMPARE(form->CurPass, 2);
        QVERIFY(!form->Prev_But->isEnabled());
        const QString left = visibleDigits(*form);
        QCOMPARE(left.size(), 4);
        clickPortraits(*form, left.mid(1, 2));
        QTest::mouseClick(form->Next_But, Qt::LeftButton);
        // The two not chosen become the sympathetic pair of the second pass.
        QCOMPARE(form->SecondPass[0][0] + form->SecondPass[1][0], QString(left[0]) + left[3]);
        QVERIFY(form->Prev_But->isEnabled());
        QTest::mouseClick(form->Prev_But, Qt::LeftButton);
        QCOMPARE(form->CurSeries, 1);
        QCOMPARE(form->CurPass, 2);
        QCOMPARE(visibleDigits(*form), left);
        QVERIFY(!form->Prev_But->isEnabled());
        QCOMPARE(form->Panels[left[0].digitValue() - 1]->isHidden(), false);
        clickPortraits(*form, left.left(1));
        QCOMPARE(form->Panels[left[0].digitValue() - 1]->palette().color(QPalette::Window), QColor(Qt::blue));
    }

    // A record the engine refuses (the testee was deleted at another workstation during the run) is
    // reported alone: the end message never announces a run that was not stored.
    void refusedRecordIsNotAnnouncedAsFinished() {
        Platform::MessageRecorder messages;
        auto form = newForm();
        runFirstPass(*form, true);
        TestSupport::execBound(Main_DataModule->Main_Database(),
                               QStringLiteral("update USER set IsDel = 'D' where Men_ID = %1").arg(kMen));
        for (int series = 1; series <= 6; ++series) {
            for (QChar d : pickTwo(*form))
                QTest::keyClick(form.get(), d.toLatin1());
            QTest::keyClick(form.get(), Qt::Key_Return);
        }
        QCOMPARE(messages.messages.size(), 1);
        QVERIFY2(messages.messages[0].text.startsWith(QStringLiteral("Тестируемый не найден")),
                 qPrintable(messages.messages[0].text));
        QVERIFY(form->isVisible());
        QVERIFY(recordsOf(kMen).isEmpty());
    }

    void leavingMidTestAsks_data() {
        QTest::addColumn<int>("way"); // 0 the close button (or Alt+F4), 1 Escape, 2 "Прервать"
        QTest::addColumn<bool>("yes");
        QTest::newRow("close button, No stays") << 0 << false;
        QTest::newRow("Escape, No stays") << 1 << false;
        QTest::newRow("Прервать, Yes leaves") << 2 << true;
    }
    void leavingMidTestAsks() {
        QFETCH(int, way);
        QFETCH(bool, yes);
        Platform::MessageRecorder messages;
        messages.answers = {yes ? Platform::MsgAnswer::Yes : Platform::MsgAnswer::No};
        auto form = newForm();
        clickPortraits(*form, QStringLiteral("3"));
        if (way == 0)
            form->close();
        else if (way == 1)
            QTest::keyClick(form.get(), Qt::Key_Escape);
        else
            QTest::mouseClick(form->Abort_But, Qt::LeftButton);
        QCOMPARE(messages.messages.size(), 1);
        QCOMPARE(messages.messages[0].text,
                 QStringLiteral("Прервать тестирование? Ответы не будут сохранены."));
        QCOMPARE(messages.messages[0].defaultAnswer, Platform::MsgAnswer::No);
        QCOMPARE(form->isVisible(), !yes);
        QCOMPARE(form->SelCount, 1);
        QCOMPARE(recordsOf(kMen).size(), 0);
    }

    // The run covers the screen, names the series and numbers the portraits as the keys choose them.
    void runCoversTheScreenWithNumberedPortraits() {
        Platform::MessageRecorder messages;
        messages.answers = {Platform::MsgAnswer::Yes};
        QString seen;
        QTimer::singleShot(20, [&] {
            if (auto* form = qobject_cast<TTest_Form*>(QApplication::activeModalWidget())) {
                if (form->windowState().testFlag(Qt::WindowFullScreen) &&
                    form->geometry().contains(form->screen()->geometry()))
                    seen = form->Series_Label->text() + QLatin1Char(':');
                QTest::keyClick(form, '6');
                for (int i = 0; i < 8; ++i)
                    seen += form->KeyLabels[i]->text() + (form->IsSelected(form->Panels[i]) ? "*" : "");
                form->reject();
            }
        });
        RunTest(*Main_DataModule->Repo().testee(kMen));
        QCOMPARE(seen, QStringLiteral("Серия 1 из 6:123456*78"));
    }

    void missingSecondInstructionRetries() {
        QFile::rename(m_fixture->path() + QStringLiteral("/Second_Instruct.rtf"),
                      m_fixture->path() + QStringLiteral("/Second.bak"));
        Platform::MessageRecorder messages;
        auto form = newForm();
        for (int screen = 0; screen < 12; ++screen) {
            clickPortraits(*form, pickTwo(*form));
            QTest::mouseClick(form->Next_But, Qt::LeftButton);
        }
        // The error is shown; the window stays on the last screen of the first pass with its choice.
        QCOMPARE(messages.messages.size(), 1);
        QCOMPARE(messages.messages[0].icon, Platform::MsgIcon::Error);
        QVERIFY(messages.messages[0].text.contains(QStringLiteral("Second_Instruct.rtf")));
        QCOMPARE(form->CurPass, 1);
        QCOMPARE(form->CurSeries, 6);
        QCOMPARE(form->CurSign, -1);
        QCOMPARE(form->SelCount, 2);
        QVERIFY(form->Next_But->isEnabled());
        // The pair is not taken yet: back on the sympathetic screen all eight portraits show again.
        const QString pair = form->CollectPanels(true);
        QTest::mouseClick(form->Prev_But, Qt::LeftButton);
        QCOMPARE(visibleDigits(*form), QStringLiteral("12345678"));
        clickPortraits(*form, pickTwo(*form));
        QTest::mouseClick(form->Next_But, Qt::LeftButton);
        clickPortraits(*form, pair);
        // With the file back, "Далее" retries.
        QFile::rename(m_fixture->path() + QStringLiteral("/Second.bak"),
                      m_fixture->path() + QStringLiteral("/Second_Instruct.rtf"));
        answerModal<TInstr_Form>("BeginTest_But", &m_instructions);
        QTest::mouseClick(form->Next_But, Qt::LeftButton);
        QCOMPARE(m_instructions, 1);
        QCOMPARE(form->CurPass, 2);
        QCOMPARE(visibleDigits(*form).size(), 4);
    }

    void corruptPortraitReported() {
        const QString photo = m_fixture->path() + QStringLiteral("/DB/Images/Ser1/Photo3.jpg");
        QFile file(photo);
        QVERIFY(file.open(QIODevice::ReadWrite));
        const QByteArray jpeg = file.readAll();
        file.resize(jpeg.size() / 2);
        file.close();
        auto form = std::make_unique<TTest_Form>();
        QVERIFY_THROWS_EXCEPTION(Platform::EJpegError, form->ShowSeries(1));
        // The screen is laid out nonetheless: 8 panels, the broken one empty but choosable.
        QCOMPARE(visibleDigits(*form), QStringLiteral("12345678"));
        QVERIFY(form->Images[2]->pixmap().isNull());
        QVERIFY(!form->Images[3]->pixmap().isNull());
        QCOMPARE(form->Images[3]->size(), QSize(162, 246));
        QCOMPARE(form->Comment_Label->text(),
                 QStringLiteral("Выберите два портрета, которые кажутся Вам наиболее симпатичными"));

        // Through RunTest the message goes to the error display and the window still opens.
        Platform::MessageRecorder messages;
        int tests = 0;
        answerModal<TTest_Form>("", &tests);
        RunTest(*Main_DataModule->Repo().testee(kMen));
        QCOMPARE(tests, 1);
        QCOMPARE(messages.messages.size(), 1);
        QVERIFY(messages.messages[0].text.contains(QStringLiteral("Photo3.jpg")));
    }

    void firstInstructionMissingOrLeftOpensNoTest_data() {
        QTest::addColumn<bool>("missing");
        QTest::newRow("file missing") << true;
        QTest::newRow("Escape on it goes back") << false;
    }
    void firstInstructionMissingOrLeftOpensNoTest() {
        QFETCH(bool, missing);
        if (missing)
            QFile::remove(m_fixture->path() + QStringLiteral("/First_Instruct.rtf"));
        QTimer::singleShot(20, [] {
            if (auto* w = qobject_cast<TInstr_Form*>(QApplication::activeModalWidget()))
                QTest::keyClick(w, Qt::Key_Escape);
        });
        Platform::MessageRecorder messages;
        TListTest_Form list;
        list.MenID = kMen;
        list.RefreshList();
        list.show();
        // A test window would open (and be answered) within the click; the watch for it ends with the test.
        int tests = 0;
        QObject scope;
        answerModal<TTest_Form>("", &tests, 10, &scope);
        QTest::mouseClick(list.Test_But, Qt::LeftButton);
        QCOMPARE(messages.messages.size(), missing ? 1 : 0);
        if (missing)
            QVERIFY(messages.messages[0].text.contains(QStringLiteral("First_Instruct.rtf")));
        QCOMPARE(tests, 0);
        QCOMPARE(recordsOf(kMen).size(), 0);
    }
};

QTEST_MAIN(TestTestForm)
#include "tst_test_frm.moc"
