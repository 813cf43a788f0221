// Search of testees, the settings dialog with its colour buttons, and the about box.
#include "ShellFixture.h"

#include "app/About_Frm.h"
#include "app/MainFrm.h"
#include "app/Option_Frm.h"
#include "app/Sour_Frm.h"
#include "platform/Dialogs.h"
#include "platform/Shell.h"
#include "platform/SysColors.h"
#include "widgets/ColorButton.h"
#include "widgets/DBGrid.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

using namespace ShellTest;

namespace {

// Rows of the search tests, in insertion (natural) order: name, age, group.
struct Row {
    const char16_t* fio;
    int age;
    const char16_t* group;
};
const Row kRows[] = {
    {u"Сиваков Иван", 30, u"Первая"}, {u"Иванов Иван", 3, u"Вторая"},   {u"Петров", -13, u""},
    {u"ИВАНОВ", 35, u"Первая"},       {u"иванова Анна", 43, u"вторая"}, {u"Ёлкин", 39, u"Первая"},
};

} // namespace

class TestSearchSettings : public QObject {
    Q_OBJECT

    std::unique_ptr<Fixture> f;

    void fillRows() {
        QMap<QString, int> groups;
        for (const Row& r : kRows) {
            const QString group = QString::fromUtf16(r.group);
            int id = 0;
            if (!group.isEmpty()) {
                if (!groups.contains(group))
                    groups[group] = f->addGroup(group);
                id = groups[group];
            }
            f->addTester(QString::fromUtf16(r.fio), r.age, QStringLiteral("М"), id);
        }
    }
    // Clicks "&Искать" until the not-found message; the names of the rows found, in order.
    QStringList searchAll(TSearch_Form& form, Platform::MessageRecorder& recorder) {
        QStringList found;
        for (int i = 0; i < 20 && recorder.messages.isEmpty(); ++i) {
            QTest::mouseClick(form.Search_But, Qt::LeftButton);
            if (recorder.messages.isEmpty())
                found << f->currentFIO();
        }
        return found;
    }

private Q_SLOTS:
    void initTestCase_data() { TestSupport::addStoreRows(); }
    void init() { f = std::make_unique<Fixture>(Fixture::currentStore()); }
    void cleanup() { f.reset(); }

    void search_data() {
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("whole");
        QTest::addColumn<QStringList>("found");
        const QStringList ivanovs = {"Иванов Иван", "ИВАНОВ", "иванова Анна"};
        QTest::newRow("prefix, lower case") << 0 << "ива" << false << ivanovs;
        QTest::newRow("prefix, upper case") << 0 << "ИВА" << false << ivanovs;
        QTest::newRow("prefix, mixed case") << 0 << "иВаН" << false << ivanovs;
        QTest::newRow("yo upper-cased") << 0 << "ё" << false << QStringList{"Ёлкин"};
        QTest::newRow("whole value") << 0 << "иванов" << true << QStringList{"ИВАНОВ"};
        QTest::newRow("not at the start") << 0 << "ваков" << false << QStringList{};
        QTest::newRow("empty text, prefix") << 0 << "" << false << QStringList{};
        QTest::newRow("age prefix") << 1 << "3" << false
                                    << QStringList{"Сиваков Иван", "Иванов Иван", "ИВАНОВ", "Ёлкин"};
        QTest::newRow("age whole") << 1 << "3" << true << QStringList{"Иванов Иван"};
        // Below the range of the dialog, as another program may have stored it: read with its sign.
        QTest::newRow("negative age") << 1 << "-13" << true << QStringList{"Петров"};
        QTest::newRow("group") << 2 << "вторая" << true << QStringList{"Иванов Иван", "иванова Анна"};
        QTest::newRow("empty text, whole") << 2 << "" << true << QStringList{"Петров"};
    }
    void search() {
        QFETCH(int, field);
        QFETCH(QString, text);
        QFETCH(bool, whole);
        QFETCH(QStringList, found);
        fillRows();
        f->openMenQuery();
        f->dm->Men_Query->SetRecNo(3);
        Platform::MessageRecorder recorder;
        TSearch_Form form;
        form.show();
        QCOMPARE(form.TypeSearchIndex(), TSearch_Form::FromStart);
        typeText(form.Source_Edit, text);
        form.SourceField_ComboBox->setCurrentIndex(field);
        form.WordFull_CheckBox->setChecked(whole);
        QCOMPARE(searchAll(form, recorder), found);
        // After the last match: the message, and the current row back on that match.
        QCOMPARE(recorder.messages.size(), 1);
        QCOMPARE(recorder.messages[0].text, QStringLiteral("Тестируемый по заданному критерию не найден!"));
        QCOMPARE(recorder.messages[0].caption, QStringLiteral("Информация"));
        QVERIFY(recorder.messages[0].owner == &form);
        QCOMPARE(f->currentFIO(), found.isEmpty() ? QStringLiteral("Петров") : found.last());
        QCOMPARE(form.TypeSearchIndex(),
                 found.isEmpty() ? TSearch_Form::FromStart : TSearch_Form::FromCursor);
        QVERIFY(!f->dm->Men_Query->ControlsDisabled());
    }

    // Names are compared as they are stored (UTF-8), decoded only as far as the text goes; bytes that
    // are no UTF-8 are compared as the text they read as.
    void searchStoredBytes_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("whole");
        QTest::addColumn<bool>("found");
        QTest::newRow("cyrillic prefix") << QByteArray("Щукин Ёж") << "щукин ё" << false << true;
        QTest::newRow("text longer than the name") << QByteArray("Щукин") << "щукина" << false << false;
        QTest::newRow("whole, name longer") << QByteArray("Щукина") << "щукин" << true << false;
        QTest::newRow("whole, equal") << QByteArray("Щукин") << "ЩУКИН" << true << true;
        QTest::newRow("outside the BMP") << QByteArray("😀ab") << "😀A" << false << true;
        QTest::newRow("outside the BMP, other") << QByteArray("😀ab") << "😁A" << false << false;
        QTest::newRow("three-byte character") << QByteArray("€uro") << "€U" << false << true;
        QTest::newRow("malformed byte reads as a replacement")
            << QByteArray("\xC3xyz") << "\uFFFDX" << false << true;
        QTest::newRow("malformed byte is no letter") << QByteArray("\xC3xyz") << "xyz" << false << false;
        QTest::newRow("cut sequence at the end") << QByteArray("ab\xD0") << "ab" << true << false;
    }
    void searchStoredBytes() {
        QFETCH(QByteArray, stored);
        QFETCH(QString, text);
        QFETCH(bool, whole);
        QFETCH(bool, found);
        f->addTester(QStringLiteral("Первый"));
        if (f->store.store == TestSupport::TStore::Server) {
            // The server keeps only valid UTF-8: a name comes there decoded, malformed bytes as U+FFFD,
            // and the same search results hold.
            QVERIFY(TestSupport::execBound(
                f->dm->Main_Database(),
                QStringLiteral("insert into \"user\" (DB_ID, FIO, Sex, Age, Group_ID, IsDel) "
                               "values (:db, :fio, 'М', 30, 0, '')"),
                {{QStringLiteral("db"), f->dm->Current_DB_ID},
                 {QStringLiteral("fio"), QString::fromUtf8(stored)}}));
        } else {
            // The bytes go in as they are, as another program could have written them.
            QVERIFY(TestSupport::execBound(
                f->dm->Main_Database(),
                QStringLiteral("insert into \"user\" (DB_ID, FIO, Sex, Age, Group_ID, IsDel) "
                               "values (:db, cast(:fio as text), 'М', 30, 0, '')"),
                {{QStringLiteral("db"), f->dm->Current_DB_ID}, {QStringLiteral("fio"), stored}}));
        }
        f->openMenQuery();
        QCOMPARE(f->dm->Men_Query->RecordCount(), 2);
        QCOMPARE(SearchTester(*f->dm->Men_Query, QStringLiteral("FIO"), text, whole, false), found);
        QCOMPARE(f->dm->Men_Query->RecNo(), found ? 2 : 1);
    }

    void fromCursorOnLastRowFindsNothing() {
        fillRows();
        f->openMenQuery();
        f->dm->Men_Query->Last();
        Platform::MessageRecorder recorder;
        TSearch_Form form;
        form.SetTypeSearchIndex(TSearch_Form::FromCursor);
        form.Source_Edit->setText(QStringLiteral("С"));
        QTest::mouseClick(form.Search_But, Qt::LeftButton);
        QCOMPARE(recorder.messages.size(), 1);
        QCOMPARE(f->currentFIO(), QStringLiteral("Ёлкин"));
    }

    void searchFollowsTheSortOfTheGrid() {
        fillRows();
        TMain_Form main;
        main.show();
        main.Data_GridTitleClick(0, false);
        main.Data_GridTitleClick(0, false); // FIO descending
        Platform::MessageRecorder recorder;
        TSearch_Form form;
        form.Source_Edit->setText(QStringLiteral("ива"));
        QCOMPARE(searchAll(form, recorder), (QStringList{"иванова Анна", "Иванов Иван", "ИВАНОВ"}));
        QCOMPARE(main.Data_Grid->currentIndex().row(), f->dm->Men_Query->CurrentRow());
    }

    void seekActionMovesTheCurrentRow() {
        fillRows();
        TMain_Form main;
        main.show();
        whenModal<TSearch_Form>([](TSearch_Form* form) {
            QCOMPARE(form->SourceField_ComboBox->currentIndex(), 0);
            QVERIFY(!form->WordFull_CheckBox->isChecked());
            form->Source_Edit->setText(QStringLiteral("пет"));
            QTest::mouseClick(form->Search_But, Qt::LeftButton);
            QTest::mouseClick(form->Cancel_But, Qt::LeftButton);
        });
        main.SeekTest->trigger();
        QCOMPARE(f->currentFIO(), QStringLiteral("Петров"));
        QCOMPARE(main.Data_Grid->currentIndex().row(), 2);
    }

    void noSettingsFileGivesDefaults() {
        TMain_Form main;
        QCOMPARE(main.FirstColor, Platform::clInfoBk);
        QCOMPARE(main.SecondColor, 0xFFFFFF);
        TOptions_Form form;
        form.ReadSettings();
        QCOMPARE(form.FirstColor_Edit->ColorValue(), -16777192);
        QCOMPARE(form.SecondColor_Edit->ColorValue(), 16777215);
        QVERIFY(form.FirstColor_Edit->CustomColors().contains(-16777192));
        QVERIFY(form.SecondColor_Edit->CustomColors().contains(16777215));
        QCOMPARE(form.Options_PageControl->tabText(0), QStringLiteral("Интерфейс"));
    }

    void cancelWritesNothing() {
        // On the server store the settings file already names the server; it stays as it was.
        const auto contents = [] {
            QFile file(SettingsFilePath());
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
        };
        const QByteArray before = contents();
        QCOMPARE(before == "(none)", f->store.store == TestSupport::TStore::File);
        TMain_Form main;
        whenModal<TOptions_Form>([](TOptions_Form* form) {
            form->FirstColor_Edit->PickColor(0x0000FF);
            QTest::mouseClick(form->Cancel_But, Qt::LeftButton);
        });
        main.Option->trigger();
        QCOMPARE(contents(), before);
        QCOMPARE(main.FirstColor, Platform::clInfoBk);
    }

    void okWritesAndMainWindowRereads_data() {
        QTest::addColumn<int>("picked");
        QTest::addColumn<QString>("written");
        QTest::newRow("system colour") << Platform::clBtnFace << "FirstColor=-16777201";
        QTest::newRow("explicit colour") << 0x0000FF << "FirstColor=255";
    }
    void okWritesAndMainWindowRereads() {
        QFETCH(int, picked);
        QFETCH(QString, written);
        TMain_Form main;
        whenModal<TOptions_Form>([picked](TOptions_Form* form) {
            // Through the swatch of the palette, as the user does.
            auto* swatch = form->FirstColor_Edit->PaletteMenu()->findChild<QToolButton*>(
                QStringLiteral("Swatch_%1").arg(picked));
            QVERIFY(swatch);
            swatch->click();
            QTest::mouseClick(form->Ok_But, Qt::LeftButton);
        });
        main.Option->trigger();
        QFile file(SettingsFilePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        QVERIFY2(text.contains(written), qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("SecondColor=16777215")));
        QCOMPARE(main.FirstColor, picked);
    }

    void otherColourUsesTheColourDialog() {
        Widgets::TColorButton button;
        button.AddCustomColor(Platform::clInfoBk);
        const QList<QAction*> actions = button.PaletteMenu()->actions();
        QCOMPARE(actions.last()->text(), QStringLiteral("&Другой..."));
        QList<QColor> offered;
        auto previous = Platform::setColorHandler([&offered](QColor& color, const QList<QColor>& custom) {
            offered = custom;
            color = QColor(10, 20, 30);
            return true;
        });
        actions.last()->trigger();
        QCOMPARE(button.ColorValue(), 0x1E140A);
        QCOMPARE(offered.size(), 1);
        Platform::setColorHandler([](QColor&, const QList<QColor>&) { return false; });
        QVERIFY(!button.OtherColor());
        QCOMPARE(button.ColorValue(), 0x1E140A);
        Platform::setColorHandler(previous);
    }

    void aboutBox() {
        QStringList opened;
        auto previous = Platform::setShellHandler([&opened](const QString& url) {
            opened << url;
            return true;
        });
        TMain_Form main;
        bool checked = false;
        whenModal<TAbout_Form>([&](TAbout_Form* form) {
            QCOMPARE(form->windowTitle(), QStringLiteral("О программе"));
            QVERIFY(form->Flash->Playing());
            QCOMPARE(form->Flash->size(), QSize(151, 108));
            QVERIFY(form->focusWidget() == form->Ok_But);
            QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
            QApplication::sendEvent(form->EMailLabel, &enter);
            QCOMPARE(form->EMailLabel->palette().color(QPalette::WindowText), QColor(Qt::blue));
            QEvent leave(QEvent::Leave);
            QApplication::sendEvent(form->EMailLabel, &leave);
            QCOMPARE(form->EMailLabel->palette().color(QPalette::WindowText), QColor(Qt::black));
            QTest::mouseClick(form->EMailLabel, Qt::LeftButton);
            checked = true;
            QTest::mouseClick(form->Ok_But, Qt::LeftButton);
        });
        main.About->trigger();
        QVERIFY(checked);
        QCOMPARE(opened, QStringList{QStringLiteral("mailto:") + kContactEMail});
        Platform::setShellHandler(previous);
    }
};

QTEST_MAIN(TestSearchSettings)
#include "tst_search_settings.moc"
