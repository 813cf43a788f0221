// The column-wise row store and the dataset walks over it: values read back as stored across slot
// widening and mixed kinds, edits and removals keep the other rows, locate compares stored cells as
// values; and the cached date format writes what QLocale writes.
#include "TestSupport.h"

#include "data/DataMod.h"
#include "data/RowStore.h"
#include "platform/Locale.h"

#include <QtTest>

#include <limits>

using Data::TCellKind;
using Data::TRowStore;

Q_DECLARE_METATYPE(TCellKind)

namespace {

// The reading a value gets from a store, as Dataset::Value gives it.
QVariant readBack(const QVariant& v) {
    TRowStore s(1);
    s.AppendValue(v);
    return s.Value(0, 0);
}

} // namespace

class TestRowStore : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void valuesReadBackAsBound_data() {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<TCellKind>("kind");
        QTest::addColumn<QVariant>("expected");
        const qint64 big = std::numeric_limits<qint64>::max();
        const qint64 small = std::numeric_limits<qint64>::min();
        QTest::newRow("null") << QVariant() << TCellKind::Null << QVariant();
        QTest::newRow("zero") << QVariant(0) << TCellKind::Integer << QVariant(qlonglong(0));
        QTest::newRow("minus one") << QVariant(-1) << TCellKind::Integer << QVariant(qlonglong(-1));
        QTest::newRow("one byte edge") << QVariant(127) << TCellKind::Integer << QVariant(qlonglong(127));
        QTest::newRow("past one byte") << QVariant(-129) << TCellKind::Integer << QVariant(qlonglong(-129));
        QTest::newRow("past two bytes")
            << QVariant(70000) << TCellKind::Integer << QVariant(qlonglong(70000));
        QTest::newRow("largest") << QVariant(qlonglong(big)) << TCellKind::Integer
                                 << QVariant(qlonglong(big));
        QTest::newRow("smallest") << QVariant(qlonglong(small)) << TCellKind::Integer
                                  << QVariant(qlonglong(small));
        QTest::newRow("bool as integer") << QVariant(true) << TCellKind::Integer << QVariant(qlonglong(1));
        QTest::newRow("double") << QVariant(-2.5) << TCellKind::Float << QVariant(-2.5);
        QTest::newRow("empty text") << QVariant(QStringLiteral("")) << TCellKind::Text
                                    << QVariant(QStringLiteral(""));
        QTest::newRow("cyrillic") << QVariant(QStringLiteral("Ёлкин Пётр")) << TCellKind::Text
                                  << QVariant(QStringLiteral("Ёлкин Пётр"));
        QTest::newRow("outside the BMP")
            << QVariant(QStringLiteral("a😀b")) << TCellKind::Text << QVariant(QStringLiteral("a😀b"));
        QTest::newRow("long text") << QVariant(QString(300, u'ж')) << TCellKind::Text
                                   << QVariant(QString(300, u'ж'));
        QTest::newRow("empty blob is no null")
            << QVariant(QByteArray("")) << TCellKind::Blob << QVariant(QByteArray(""));
        QTest::newRow("blob with zeros")
            << QVariant(QByteArray("a\0b", 3)) << TCellKind::Blob << QVariant(QByteArray("a\0b", 3));
        QTest::newRow("date as its ISO text")
            << QVariant(QDate(2026, 12, 9)) << TCellKind::Text << QVariant(QStringLiteral("2026-12-09"));
    }
    void valuesReadBackAsBound() {
        QFETCH(QVariant, value);
        QFETCH(TCellKind, kind);
        QFETCH(QVariant, expected);
        // The value alone, and as the last of a column that held small values before it (the column's
        // slots widen under the earlier ones) and of a column that mixes kinds.
        for (const QVariant& before : {QVariant(), QVariant(1), QVariant(QStringLiteral("x"))}) {
            TRowStore s(2);
            for (int r = 0; r < 300; ++r) {
                s.AppendValue(before.isValid() ? before : QVariant(r));
                s.AppendValue(r);
            }
            s.AppendValue(value);
            s.AppendInteger(-7);
            QCOMPARE(s.RowCount(), 301);
            QCOMPARE(s.Kind(300, 0), kind);
            const QVariant got = s.Value(300, 0);
            QCOMPARE(got.isNull(), expected.isNull());
            QCOMPARE(got.metaType(), expected.metaType());
            QCOMPARE(got, expected);
            QCOMPARE(s.Value(300, 1), QVariant(qlonglong(-7)));
            for (int r = 0; r < 300; ++r) {
                QCOMPARE(s.Value(r, 0), readBack(before.isValid() ? before : QVariant(r)));
                QCOMPARE(s.Integer(r, 1), qint64(r));
            }
        }
    }

    // A refill writes into the memory of the rows before it: nothing of them shows through, whatever
    // their kinds, widths and texts were.
    void refillKeepsNothingOfTheRowsBefore_data() {
        QTest::addColumn<int>("beforeRows");
        QTest::addColumn<int>("afterRows");
        QTest::newRow("fewer rows") << 5000 << 3;
        QTest::newRow("more rows") << 3 << 5000;
        QTest::newRow("none after many") << 5000 << 0;
    }
    void refillKeepsNothingOfTheRowsBefore() {
        QFETCH(int, beforeRows);
        QFETCH(int, afterRows);
        TRowStore s(3);
        for (int r = 0; r < beforeRows; ++r)
            s.AppendRow({QVariant(qlonglong(r) << 33), QVariant(QString(40, QChar(u'а' + r % 32))),
                         r % 3 ? QVariant(1.25) : QVariant()});
        s.Reset(2);
        QCOMPARE(s.RowCount(), 0);
        QCOMPARE(s.ColumnCount(), 2);
        for (int r = 0; r < afterRows; ++r)
            s.AppendRow({QVariant(r), QVariant(QStringLiteral("М"))});
        s.Trim();
        QCOMPARE(s.RowCount(), afterRows);
        for (int r = 0; r < afterRows; ++r) {
            QCOMPARE(s.Kind(r, 0), TCellKind::Integer);
            QCOMPARE(s.Integer(r, 0), qint64(r));
            QCOMPARE(s.Kind(r, 1), TCellKind::Text);
            QCOMPARE(s.Value(r, 1).toString(), QStringLiteral("М"));
        }
        QVERIFY(s.ByteSize() < 64 + qint64(afterRows) * 16);
    }

    // A query reopened with another statement shows only the new result; a statement that fails leaves
    // the query closed, and the next one opens as usual.
    void reopenedQueryShowsOnlyTheNewResult() {
        TestSupport::ProgramDirFixture dir;
        auto dm = dir.createDataModule();
        QVERIFY(dm);
        Data::TQuery q(dm->Main_Database(), nullptr);
        q.SetSQL(
            QStringLiteral("with recursive n(i) as (select 1 union all select i + 1 from n where i < 3000) "
                           "select i, 'строка ' || i, i * 0.5 from n"));
        q.Open();
        QCOMPARE(q.RecordCount(), 3000);
        q.Close();
        q.SetSQL(QStringLiteral("select 'а', null union all select 'б', 7"));
        q.Open();
        QCOMPARE(q.RecordCount(), 2);
        QCOMPARE(q.FieldNames().size(), 2);
        QCOMPARE(q.Value(0, 0).toString(), QStringLiteral("а"));
        QVERIFY(q.Value(0, 1).isNull());
        QCOMPARE(q.Value(1, 1), QVariant(qlonglong(7)));
        q.Close();
        q.SetSQL(QStringLiteral("select no_such_column from DB"));
        QVERIFY_THROWS_EXCEPTION(Data::EDatabaseError, q.Open());
        QVERIFY(!q.Active());
        QCOMPARE(q.RecordCount(), 0);
        q.SetSQL(QStringLiteral("select 1"));
        q.Open();
        QCOMPARE(q.RecordCount(), 1);
        QCOMPARE(q.Value(0, 0), QVariant(qlonglong(1)));
    }

    void rowOfWrongSizeIsRefused() {
        TRowStore s(2);
        QVERIFY_THROWS_EXCEPTION(Platform::EError, s.AppendRow({QVariant(1)}));
        s.AppendRow({QVariant(1), QVariant(2)});
        QCOMPARE(s.Row(0), (QVector<QVariant>{QVariant(qlonglong(1)), QVariant(qlonglong(2))}));
        TRowStore none(0);
        QVERIFY_THROWS_EXCEPTION(Platform::EError, none.AppendText("a"));
        QCOMPARE(none.RowCount(), 0);
    }

    // Locate compares as values: text with text exactly, numbers with numbers, text with the text of a
    // number; a null matches only a null.
    void locateComparesStoredCells_data() {
        QTest::addColumn<QString>("fields");
        QTest::addColumn<QVariantList>("values");
        QTest::addColumn<int>("recNo");
        QTest::newRow("text") << "FIO" << QVariantList{QStringLiteral("Ёлкин")} << 2;
        QTest::newRow("text, case differs") << "FIO" << QVariantList{QStringLiteral("ёлкин")} << 0;
        QTest::newRow("text, a prefix") << "FIO" << QVariantList{QStringLiteral("Ёл")} << 0;
        QTest::newRow("integer") << "Age" << QVariantList{40} << 3;
        QTest::newRow("integer as text") << "Age" << QVariantList{QStringLiteral("40")} << 3;
        QTest::newRow("text holding a number") << "FIO" << QVariantList{7} << 4;
        QTest::newRow("integer as a double") << "Age" << QVariantList{40.0} << 3;
        QTest::newRow("null") << "Group_Name" << QVariantList{QVariant()} << 1;
        QTest::newRow("empty text is no null") << "Group_Name" << QVariantList{QStringLiteral("")} << 0;
        QTest::newRow("two fields") << "FIO;Age" << QVariantList{QStringLiteral("Ёлкин"), 41} << 5;
        QTest::newRow("field names in any case")
            << "fio; AGE" << QVariantList{QStringLiteral("Ёлкин"), 41} << 5;
    }
    void locateComparesStoredCells() {
        QFETCH(QString, fields);
        QFETCH(QVariantList, values);
        QFETCH(int, recNo);
        TestSupport::ProgramDirFixture dir;
        auto dm = dir.createDataModule();
        QVERIFY(dm);
        Data::TEngine& q = dm->Main_Database();
        QVERIFY(
            TestSupport::execBound(q, QStringLiteral("insert into DB (DB_ID, DB_Name) values (1, 'База')")));
        QVERIFY(TestSupport::execBound(
            q, QStringLiteral("insert into \"GROUP\" (Group_ID, Group_Name) values (1, 'Первая')")));
        QVERIFY(TestSupport::execBound(
            q,
            QStringLiteral(
                "insert into USER (DB_ID, FIO, Sex, Age, Group_ID, IsDel) values "
                "(1, 'Иванов', 'М', 30, 0, ''), (1, 'Ёлкин', 'М', 30, 1, ''), (1, 'Петров', 'М', 40, 1, ''), "
                "(1, '7', 'Ж', 20, 1, ''), (1, 'Ёлкин', 'М', 41, 1, '')")));
        Data::TQuery* men = dm->Men_Query;
        men->SetSQL(dm->MenQueryBaseSQL());
        men->SetParam(QStringLiteral("DB_ID"), 1);
        men->Open();
        QCOMPARE(men->RecordCount(), 5);
        men->Last();
        QCOMPARE(men->Locate(fields, values), recNo != 0);
        QCOMPARE(men->RecNo(), recNo != 0 ? recNo : 5);
    }

    // The date format worked out once writes what QLocale writes with the same format, in locales
    // whose format is written directly and in those left to QLocale.
    void dateFormatMatchesLocale_data() {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QDate>("date");
        QTest::addColumn<QString>("format");
        const QList<QLocale> locales = {QLocale(QLocale::Russian, QLocale::Russia),
                                        QLocale(QLocale::English, QLocale::UnitedStates),
                                        QLocale(QLocale::German, QLocale::Germany),
                                        QLocale(QLocale::Japanese, QLocale::Japan),
                                        QLocale(QLocale::Arabic, QLocale::Egypt),
                                        QLocale(QLocale::Persian, QLocale::Iran),
                                        QLocale::c()};
        // Besides each locale's own short format, formats with names and quoted text.
        const QStringList formats = {QString(),
                                     QStringLiteral("d MMM yyyy"),
                                     QStringLiteral("dddd, d MMMM yyyy"),
                                     QStringLiteral("ddd dd.MM.yy"),
                                     QStringLiteral("yyyy'г. ''x''' MMM"),
                                     QStringLiteral("dd 'de' MMMM"),
                                     QStringLiteral("dd.MM.yyyy 'open")};
        const QList<QDate> dates = {QDate(2026, 12, 9), QDate(2000, 2, 29), QDate(1905, 1, 1),
                                    QDate(999, 7, 30), QDate()};
        for (const QLocale& locale : locales)
            for (const QString& format : formats)
                for (const QDate& date : dates)
                    QTest::addRow("%s %s %s", qPrintable(locale.name()), qPrintable(format),
                                  qPrintable(date.toString(Qt::ISODate)))
                        << locale << date << format;
    }
    void dateFormatMatchesLocale() {
        QFETCH(QLocale, locale);
        QFETCH(QDate, date);
        QFETCH(QString, format);
        const Platform::TDateFormat worked =
            format.isEmpty() ? Platform::TDateFormat(locale) : Platform::TDateFormat(locale, format);
        if (format.isEmpty())
            QVERIFY(worked.Format().contains(QLatin1String("yyyy")));
        QCOMPARE(worked.Text(date), locale.toString(date, worked.Format()));
    }

    // Stored dates read as the general parser reads them, the common form and every odd one.
    void isoDatesReadAsTheParserReadsThem_data() {
        QTest::addColumn<QString>("text");
        for (const char* text : {"2026-12-09", "2024-02-29", "2023-02-29", "2026-13-01", "2026-00-10",
                                 "0000-01-01", "2026-1-09", "2026-12-09T10:00:00", "２０２６-12-09", ""})
            QTest::newRow(text) << QString::fromUtf8(text);
    }
    void isoDatesReadAsTheParserReadsThem() {
        QFETCH(QString, text);
        const QDate parsed = QDate::fromString(text.left(10), Qt::ISODate);
        QCOMPARE(Platform::IsoToDate(text), parsed);
        // As the table file hands the value over: its UTF-8 bytes.
        const QByteArray bytes = text.toUtf8();
        QCOMPARE(Platform::IsoToDate(QUtf8StringView(bytes)), parsed);
    }

    void isoTimesReadAsTheParserReadsThem_data() {
        QTest::addColumn<QString>("text");
        for (const char* text :
             {"10:05:09", "23:59:59", "24:00:00", "10:60:00", "10:05", "1:05:09", "", "１0:05:09"})
            QTest::newRow(text) << QString::fromUtf8(text);
    }
    void isoTimesReadAsTheParserReadsThem() {
        QFETCH(QString, text);
        QTime parsed = QTime::fromString(text, QStringLiteral("HH:mm:ss"));
        if (!parsed.isValid())
            parsed = QTime::fromString(text, QStringLiteral("HH:mm"));
        QCOMPARE(Platform::IsoToTime(text), parsed);
        const QByteArray bytes = text.toUtf8();
        QCOMPARE(Platform::IsoToTime(QUtf8StringView(bytes)), parsed);
    }

    void dateToStrFollowsTheDefaultLocale() {
        TestSupport::pinRussianLocale();
        QCOMPARE(Platform::DateToStr(QDate(2026, 12, 9)), QStringLiteral("09.12.2026"));
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QCOMPARE(Platform::DateToStr(QDate(2026, 12, 9)), QStringLiteral("12/9/2026"));
        TestSupport::pinRussianLocale();
    }
};

QTEST_MAIN(TestRowStore)
#include "tst_rowstore.moc"
