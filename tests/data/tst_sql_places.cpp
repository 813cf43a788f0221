// Statements live in data/ alone: the string literals of every other source folder hold no SQL statement.
// Messages are shown by the windows: the folders below them open no message box.
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

class TestSqlPlaces : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void noStatementTextOutsideData_data() {
        QTest::addColumn<QString>("folder");
        for (const char* folder :
             {"app", "testing", "results", "scoring", "formula", "group", "widgets", "platform"})
            QTest::newRow(folder) << QString::fromLatin1(folder);
    }

    void noStatementTextOutsideData() {
        QFETCH(QString, folder);
        // Plain and raw string literals, and the beginnings of statements in any case.
        static const QRegularExpression literal(
            QStringLiteral("R\"\\((.*?)\\)\"|\"((?:[^\"\\\\\\n]|\\\\.)*)\""),
            QRegularExpression::DotMatchesEverythingOption);
        static const QRegularExpression statement(
            QStringLiteral(
                "\\b(select\\s+[\\w*(]|insert\\s+(or\\s+\\w+\\s+)?into|update\\s+\\S+\\s+set\\b|"
                "delete\\s+from|create\\s+(temp\\s+)?(table|index|trigger|view)|alter\\s+table|"
                "drop\\s+(table|index|trigger|view)|pragma\\s+\\w|begin\\s+(immediate|transaction)|"
                "savepoint\\s+\\w)"),
            QRegularExpression::CaseInsensitiveOption);
        int files = 0;
        QDirIterator it(QStringLiteral(MORVEL_SOURCE_DIR "/") + folder,
                        {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QString text = QString::fromUtf8(file.readAll());
            ++files;
            for (auto m = literal.globalMatch(text); m.hasNext();) {
                const QRegularExpressionMatch lit = m.next();
                const QString inside = lit.captured(1) + lit.captured(2);
                QVERIFY2(!statement.match(inside).hasMatch(),
                         qPrintable(QStringLiteral("%1, line %2: %3")
                                        .arg(file.fileName())
                                        .arg(text.left(lit.capturedStart()).count(u'\n') + 1)
                                        .arg(inside.left(80))));
            }
        }
        QVERIFY(files > 0);
    }

    void noMessageBoxBelowTheWindows_data() {
        QTest::addColumn<QString>("folder");
        for (const char* folder : {"data", "scoring", "formula", "widgets", "platform"})
            QTest::newRow(folder) << QString::fromLatin1(folder);
    }

    void noMessageBoxBelowTheWindows() {
        QFETCH(QString, folder);
        // The box itself and the application's display of an escaped error are where boxes are made.
        static const QRegularExpression box(QStringLiteral("\\b(messageBox|QMessageBox)\\b"));
        QDirIterator it(QStringLiteral(MORVEL_SOURCE_DIR "/") + folder, {QStringLiteral("*.cpp")},
                        QDir::Files);
        while (it.hasNext()) {
            const QString path = it.next();
            if (path.endsWith(QLatin1String("platform/Dialogs.cpp")) ||
                path.endsWith(QLatin1String("platform/ErrorDisplay.cpp")))
                continue;
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY2(!box.match(QString::fromUtf8(file.readAll())).hasMatch(), qPrintable(path));
        }
    }
};

QTEST_APPLESS_MAIN(TestSqlPlaces)
#include "tst_sql_places.moc"
