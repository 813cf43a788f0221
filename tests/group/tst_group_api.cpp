// A group session on both stores, over plain HTTP: calls that are malformed, too large, out of order, on
// paths outside the page or with the wrong code get a 4xx and change nothing while the others are still
// served; a full run is stored once, as the on-screen test's scoring makes it; "Завершить" aborts the
// rest and closes the door; the connection log is private and holds no code.
#include "GroupFixture.h"
#include "StoreSupport.h"

#include "group/CodeSlips.h"
#include "group/GroupTest_Frm.h"
#include "platform/Dialogs.h"
#include "testing/RunRecord.h"

#include <QComboBox>
#include <QProcess>
#include <QPushButton>

using namespace GroupSupport;
using TestSupport::TStore;

class TestGroupApi : public QObject {
    Q_OBJECT

    std::unique_ptr<TestSupport::TStoreFixture> m_store;
    std::unique_ptr<TGroupTest_Form> m_form;
    quint16 m_port = 0;
    QByteArray m_cookie; // testee 1, on the first screen

    QByteArray login(int row, const QHostAddress& from = {}) {
        const TReply r = call(m_port, "POST", "/api/login",
                              R"({"code":")" + m_form->Session()->Code(row).toLatin1() + R"("})", {}, from);
        return r.status == 200 ? r.cookie() : QByteArray();
    }
    QString status(int row) const {
        return m_form->Runs()->index(row, Group::TRunsModel::Status).data().toString();
    }
    // Takes the whole test for `row` with a step back in each pass, always the two lowest portraits shown:
    // 1 2 and 3 4 in the first pass, 5 6 of 5 6 7 8 in the second. Returns the run's cookie.
    QByteArray takeTest(int row) {
        const QByteArray cookie = login(row);
        const auto post = [&](const QByteArray& path, int step, const QByteArray& digits = {}) {
            QByteArray body = R"({"step":)" + QByteArray::number(step);
            body += digits.isEmpty() ? QByteArray("}") : QByteArray(R"(,"digits":[)" + digits + "]}");
            return call(m_port, "POST", path, body, cookie).status;
        };
        QList<int> statuses{post("/api/begin", 0)};
        for (int step = 1; step <= 19; ++step) {
            if (step == 13) {
                statuses << post("/api/begin", step);
                continue;
            }
            const QByteArray pair = step <= 12 ? (step % 2 ? "2,1" : "3,4") : "5,6";
            statuses << post("/api/choose", step, step == 6 || step == 16 ? "8,7" : pair);
            if (step == 6 || step == 16)
                statuses << post("/api/back", step + 1) << post("/api/choose", step, pair);
        }
        if (statuses.count(200) != statuses.size())
            QTest::qFail("a call of the run was refused", __FILE__, __LINE__);
        return cookie;
    }
    int stepOf(const QByteArray& cookie) {
        return call(m_port, "GET", "/api/state", {}, cookie).json()["step"].toInt(-1);
    }
    int records() {
        return TestSupport::selectValue(Main_DataModule->Main_Database(),
                                        QStringLiteral("select count(*) from TEST"))
            .toInt();
    }

private Q_SLOTS:
    void initTestCase_data() { TestSupport::addStoreRows(); }

    void init() {
        QFETCH_GLOBAL(TStore, store);
        m_store = std::make_unique<TestSupport::TStoreFixture>(store);
        QVERIFY2(m_store->open(), qPrintable(m_store->error));
        m_store->dm->Current_DB_ID = kDbId;
        layOutProgramFiles(m_store->dir.path());
        const auto testees = addTestees(m_store->dm->Main_Database(), 3);
        m_port = useFreePort();
        m_form = std::make_unique<TGroupTest_Form>(kDbId, testees, QList<int>{1, 2, 3}, 1);
        m_form->show();
        QCOMPARE(call(m_port, "GET", "/").status, 0); // nothing listens before "Начать"
        QTest::mouseClick(m_form->Start_But, Qt::LeftButton);
        QVERIFY(m_form->Finish_But->isEnabled());
        m_cookie = login(0);
        QVERIFY(!m_cookie.isEmpty());
        QCOMPARE(call(m_port, "POST", "/api/begin", R"({"step":0})", m_cookie).status, 200);
        QCOMPARE(stepOf(m_cookie), 1);
    }

    void cleanup() {
        Platform::MessageRecorder yes;
        yes.answers = {Platform::MsgAnswer::Yes, Platform::MsgAnswer::Yes};
        m_form.reset();
        m_store.reset();
    }

    void abuse_data() {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<int>("status");
        const auto post = [](const QByteArray& path, const QByteArray& body) -> QByteArray {
            return "POST " + path +
                   " HTTP/1.1\r\nHost: %HOST%\r\nCookie: %COOKIE%\r\nContent-Type: application/json\r\n"
                   "Content-Length: " +
                   QByteArray::number(body.size()) + "\r\n\r\n" + body;
        };
        const auto get = [](const QByteArray& path) -> QByteArray {
            return "GET " + path + " HTTP/1.1\r\nHost: %HOST%\r\nCookie: %COOKIE%\r\n\r\n";
        };
        QTest::newRow("cut JSON") << post("/api/choose", R"({"step":1,"digits":[1,2])") << 400;
        QTest::newRow("not an object") << post("/api/choose", "[1,2]") << 400;
        QTest::newRow("extra field") << post("/api/choose", R"({"step":1,"digits":[1,2],"x":1})") << 400;
        QTest::newRow("digit 9") << post("/api/choose", R"({"step":1,"digits":[1,9]})") << 400;
        QTest::newRow("digits as text") << post("/api/choose", R"({"step":1,"digits":["1","2"]})") << 400;
        QTest::newRow("three digits") << post("/api/choose", R"({"step":1,"digits":[1,2,3]})") << 400;
        QTest::newRow("step 1.5") << post("/api/choose", R"({"step":1.5,"digits":[1,2]})") << 400;
        QTest::newRow("same portrait twice") << post("/api/choose", R"({"step":1,"digits":[3,3]})") << 422;
        QTest::newRow("screen ahead") << post("/api/choose", R"({"step":5,"digits":[1,2]})") << 409;
        QTest::newRow("final screen now") << post("/api/choose", R"({"step":19,"digits":[1,2]})") << 409;
        QTest::newRow("instruction again") << post("/api/begin", R"({"step":1})") << 422;
        QTest::newRow("back from the first screen") << post("/api/back", R"({"step":1})") << 422;
        QTest::newRow("unknown call") << post("/api/finish", R"({"step":1})") << 404;
        QTest::newRow("choice by GET") << get("/api/choose") << 405;
        QTest::newRow("other series' portrait") << get("/portrait/2/1/160") << 404;
        QTest::newRow("dot-dot path") << get("/../../etc/passwd") << 404;
        QTest::newRow("encoded dot-dot to the table file") << get("/%2e%2e/DB/morvel.db") << 404;
        QTest::newRow("dot-dot in a portrait") << get("/portrait/1/1/../../../morvel.ini") << 404;
        QTest::newRow("the log") << get("/DB/morvel.log") << 404;
        QTest::newRow("no cookie") << QByteArray(post("/api/choose", R"({"step":1,"digits":[1,2]})"))
                                          .replace("Cookie: %COOKIE%\r\n", "")
                                   << 401;
        QTest::newRow("forged cookie") << QByteArray(post("/api/choose", R"({"step":1,"digits":[1,2]})"))
                                              .replace("%COOKIE%", "run=AAAAAAAAAAAAAAAAAAAAAA")
                                       << 401;
        QTest::newRow("form post") << QByteArray(post("/api/choose", R"({"step":1,"digits":[1,2]})"))
                                          .replace("application/json", "text/plain")
                                   << 415;
        QTest::newRow("other host name")
            << QByteArray(get("/api/state")).replace("%HOST%", "attacker.example:80") << 421;
        QTest::newRow("body of 10 MB")
            << "POST /api/login HTTP/1.1\r\nHost: %HOST%\r\nContent-Type: application/json\r\n"
               "Content-Length: 10000000\r\n\r\n" +
                   QByteArray(256 * 1024, '{')
            << 413;
        QTest::newRow("head of 64 KB")
            << "GET / HTTP/1.1\r\nHost: %HOST%\r\nX-Pad: " + QByteArray(64 * 1024, 'a') + "\r\n\r\n"
            << 431;
        QTest::newRow("chunked body")
            << "POST /api/login HTTP/1.1\r\nHost: %HOST%\r\nContent-Type: application/json\r\n"
               "Transfer-Encoding: chunked\r\n\r\n10000\r\n" +
                   QByteArray(4096, '{')
            << 411;
    }

    // Each is refused with its 4xx; the run is where it was, nothing is written, and the next call works.
    void abuse() {
        QFETCH(QByteArray, raw);
        QFETCH(int, status);
        raw.replace("%HOST%", QByteArray("127.0.0.1:" + QByteArray::number(m_port)))
            .replace("%COOKIE%", m_cookie);
        QCOMPARE(send(m_port, raw).status, status);
        QCOMPARE(stepOf(m_cookie), 1);
        QCOMPARE(call(m_port, "POST", "/api/choose", R"({"step":1,"digits":[2,1]})", m_cookie).status, 200);
        QCOMPARE(records(), 0);
    }

    // A thousand wrong codes: refused each, the address locked after five; another address still gets
    // in, and the run under way goes on.
    void wrongCodes() {
        QList<int> statuses;
        for (int i = 0; i < 1000; ++i)
            statuses << call(m_port, "POST", "/api/login",
                             R"({"code":"ZZZZZ)" + QByteArray::number(i % 10) + R"("})")
                            .status;
        QCOMPARE(statuses.count(401), TSession_tries());
        QCOMPARE(statuses.count(429), 1000 - TSession_tries());
        QCOMPARE(call(m_port, "POST", "/api/login",
                      R"({"code":")" + m_form->Session()->Code(1).toLatin1() + R"("})")
                     .status,
                 429);
        QVERIFY(!login(1, QHostAddress(QStringLiteral("127.0.0.2"))).isEmpty());
        QCOMPARE(call(m_port, "POST", "/api/choose", R"({"step":1,"digits":[1,2]})", m_cookie).status, 200);
        QCOMPARE(records(), 0);
    }

    // Testee 2 takes the test with a step back in each pass; the record is stored once, as the on-screen
    // test's scoring makes it, at the end of the run. Then "Завершить": testee 1 is aborted with nothing
    // written, and no code opens anything any more.
    void fullRunAndFinish() {
        const QByteArray cookie = takeTest(1);
        QCOMPARE(call(m_port, "GET", "/api/state", {}, cookie).json()["text"].toString(),
                 QStringLiteral("Спасибо, тестирование закончено"));
        QCOMPARE(call(m_port, "POST", "/api/choose", R"({"step":19,"digits":[5,6]})", cookie).status, 409);
        QCOMPARE(call(m_port, "POST", "/api/login",
                      R"({"code":")" + m_form->Session()->Code(1).toLatin1() + R"("})")
                     .status,
                 401);
        QTRY_COMPARE_WITH_TIMEOUT(records(), 1, 30000);

        const QString digits = QStringLiteral("1234").repeated(6) + QStringLiteral("7856").repeated(6);
        const Group::TRunInfo info = m_form->Session()->Info(1);
        const Data::TestRecord expected = Testing::ScoreRun(kDbId, 2, digits, info.finished);
        const QVector<Data::TestRecord> stored = Main_DataModule->Repo().testsOf(2);
        QCOMPARE(stored.size(), 1);
        const Data::TestRecord& r = stored[0];
        QCOMPARE(std::tie(r.dbId, r.testeeId, r.date, r.time, r.note, r.resultTest, r.resultProfil,
                          r.calcProfil, r.calcProfilNapr),
                 std::tie(expected.dbId, expected.testeeId, expected.date, expected.time, expected.note,
                          expected.resultTest, expected.resultProfil, expected.calcProfil,
                          expected.calcProfilNapr));
        QCOMPARE(status(1), QStringLiteral("завершено"));

        Platform::MessageRecorder yes; // testee 1 is under way: "Завершить?" is answered Yes
        yes.answers = {Platform::MsgAnswer::Yes};
        QTest::mouseClick(m_form->Finish_But, Qt::LeftButton);
        QCOMPARE(status(0), QStringLiteral("прервано"));
        QCOMPARE(call(m_port, "POST", "/api/login",
                      R"({"code":")" + m_form->Session()->Code(2).toLatin1() + R"("})")
                     .status,
                 0);
        QCOMPARE(records(), 1);

        const QString log = QDir(Platform::DataPath(QStringLiteral("/DB")))
                                .entryInfoList({QStringLiteral("group-*.log")})
                                .value(0)
                                .filePath();
        QFile file(log);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
        const QByteArray text = file.readAll();
        QVERIFY(text.contains("POST /api/login 200") && text.contains("session closed"));
        for (int row = 0; row < 3; ++row)
            QVERIFY(!text.contains(m_form->Session()->Code(row).toLatin1()));
    }

    // A record the store refuses is kept: its row says so, closing asks before it is lost, and once the
    // store takes records again it is written, once, at the time the run ended.
    void unwrittenRecordKept() {
        Data::TEngine& db = Main_DataModule->Main_Database();
        QVERIFY(TestSupport::execBound(db, QStringLiteral("alter table TEST rename to TEST_away")));
        takeTest(1);
        QTRY_COMPARE_WITH_TIMEOUT(status(1), QStringLiteral("завершено, не записано"), 30000);
        Platform::MessageRecorder answers; // "Завершить?" Yes, then "Закрыть окно и потерять их?" No
        answers.answers = {Platform::MsgAnswer::Yes, Platform::MsgAnswer::No};
        m_form->reject();
        QVERIFY(m_form->isVisible());
        QCOMPARE(answers.messages.size(), 2);
        QVERIFY(TestSupport::execBound(db, QStringLiteral("alter table TEST_away rename to TEST")));
        m_form->reject();
        QVERIFY(!m_form->isVisible());
        QCOMPARE(status(1), QStringLiteral("завершено"));
        const QVector<Data::TestRecord> stored = Main_DataModule->Repo().testsOf(2);
        QCOMPARE(stored.size(), 1);
        const QTime end = m_form->Session()->Info(1).finished.time();
        QCOMPARE(stored[0].time, QTime(end.hour(), end.minute(), end.second()));
    }

    // The slips, read back by an independent reader: every name with its code and the address, in a file
    // for its owner alone.
    void codeSlips() {
        QList<Group::TSlip> slips;
        for (int row = 0; row < m_form->Session()->Count(); ++row)
            slips.append({m_form->Session()->Testee(row).fio, m_form->Session()->Code(row)});
        const QString pdf = m_store->dir.path() + QStringLiteral("/codes.pdf");
        Group::SaveSlipsPdf(pdf, slips, m_form->Address());
        QCOMPARE(QFile::permissions(pdf) & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
        QProcess reader;
        reader.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        QVERIFY(reader.waitForFinished(60000) && reader.exitCode() == 0);
        const QString text = QString::fromUtf8(reader.readAllStandardOutput()).simplified();
        QVERIFY2(text.contains(m_form->Address()), qPrintable(text));
        for (const Group::TSlip& slip : slips)
            QVERIFY2(text.contains(slip.fio) && text.contains(slip.code), qPrintable(text));
    }

private:
    static int TSession_tries() { return Group::TSession::kTriesPerAddress; }
};

QTEST_MAIN(TestGroupApi)
#include "tst_group_api.moc"
