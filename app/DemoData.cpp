// Demo database: testees with Russian names in two groups, each with a few tests written through the
// scoring core.
#include "app/DemoData.h"

#include "data/DataMod.h"
#include "scoring/Calc_Records.h"

#include <QRandomGenerator>

#include <algorithm>
#include <array>
#include <cmath>

namespace Demo {

namespace {

struct DemoTestee {
    const char* fio;
    const char* sex;
    int age;
    int group; // 1 or 2
};

const DemoTestee kTestees[] = {
    {"Иванов Иван Иванович", "М", 34, 1},      {"Петрова Анна Сергеевна", "Ж", 27, 1},
    {"Сидоров Пётр Алексеевич", "М", 45, 2},   {"Ёлкина Мария Викторовна", "Ж", 31, 2},
    {"Кузнецов Дмитрий Олегович", "М", 22, 1}, {"Смирнова Ольга Николаевна", "Ж", 39, 2},
    {"Васильев Андрей Павлович", "М", 52, 1},  {"Новикова Екатерина Игоревна", "Ж", 19, 2},
};

// Tests per testee, in the order of kTestees; the first testee has nine, so every part of the results
// shows.
const int kTestCounts[] = {9, 3, 2, 4, 2, 3, 2, 3};

// How strongly a testee leans to each factor h ... m: positive draws it to the sympathetic choices,
// negative to the unpleasant ones.
using Leaning = std::array<double, Calc::kFactorCount>;

const Leaning kLeanings[] = {
    {2.5, -1, 0.5, -2, 1, -0.5, 3, -3}, {1, 2, -1, 0, -2, 1, 0, -1}, {-1, 0, 2, 1, 0, -2, -1, 1},
    {0, -1, 1, 2, -1, 0, 1, -2},        {2, 1, 0, -1, -2, -1, 1, 0}, {-2, 1, 1, 0, 2, -1, 0, -1},
    {1, -2, 0, 1, 1, 0, -1, 0},         {0, 0, -1, 2, 1, -2, 1, -1},
};

const char* const kNotes[] = {"",
                              "Первичное обследование",
                              "",
                              "Повторно, после отпуска",
                              "",
                              "Тестирование в группе",
                              "Жалобы на усталость",
                              ""};

int factorOf(int portrait, int series) {
    const QChar code(Calc::PortraitKey[(portrait - 1) * Calc::kSeriesCount + series]);
    return int(std::find(Calc::FactorCodes.begin(), Calc::FactorCodes.end(), QString(code)) -
               Calc::FactorCodes.begin());
}

// Draws one of `portraits` with the weight 2^(sign * leaning) of its factor and removes it.
int draw(QList<int>& portraits, const Leaning& leaning, int series, double sign, QRandomGenerator& random) {
    double total = 0;
    for (int n : portraits)
        total += std::exp2(sign * leaning[factorOf(n, series)]);
    double pick = random.generateDouble() * total;
    for (qsizetype i = 0; i < portraits.size(); ++i) {
        pick -= std::exp2(sign * leaning[factorOf(portraits[i], series)]);
        if (pick <= 0 || i + 1 == portraits.size())
            return portraits.takeAt(i);
    }
    return portraits.takeLast();
}

QString pairText(int a, int b) { return QString::number(std::min(a, b)) + QString::number(std::max(a, b)); }

// A complete run as the test window writes it: per series a sympathetic and an unpleasant pair, then of
// the four left the two most unpleasant in the second pass; every pair ascending.
QString demoRun(const Leaning& leaning, QRandomGenerator& random) {
    QString first;
    QString second;
    for (int s = 0; s < Calc::kSeriesCount; ++s) {
        QList<int> left{1, 2, 3, 4, 5, 6, 7, 8};
        const int like1 = draw(left, leaning, s, 1, random);
        const int like2 = draw(left, leaning, s, 1, random);
        const int dislike1 = draw(left, leaning, s, -1, random);
        const int dislike2 = draw(left, leaning, s, -1, random);
        first += pairText(like1, like2) + pairText(dislike1, dislike2);
        const int again1 = draw(left, leaning, s, -1, random);
        const int again2 = draw(left, leaning, s, -1, random);
        second += pairText(left[0], left[1]) + pairText(again1, again2);
    }
    return first + second;
}

// The tests of one testee, oldest first so that a later test gets a higher Test_ID. Each test shifts
// the testee's leaning a little; the fifth of a long series was typed in from a paper profile.
void writeDemoTests(Data::Repository& repo, int dbId, int menId, int testee, QRandomGenerator& random) {
    const Calc::TSymbols& symbols = repo.references().symbols;
    const int count = kTestCounts[testee];
    const QDate today = QDate::currentDate();
    int daysAgo = 40 + int(random.bounded(30)) + count * 75;
    for (int t = 0; t < count; ++t) {
        Leaning leaning = kLeanings[testee];
        for (double& w : leaning)
            w += random.generateDouble() * 3 - 1.5;
        QString run = demoRun(leaning, random);
        // Every other test of the long series shows an ambivalent reaction in the foreground profile,
        // so that its sums and quotient are not all zero.
        if (count > 4 && t % 2 == 1)
            for (int tries = 0;
                 tries < 500 && !Calc::ComposeRecord(run, symbols).Calc_Profil.left(8).contains(u'±');
                 ++tries)
                run = demoRun(leaning, random);
        const bool typedIn = count > 4 && t == 4;
        const Calc::TTestRecord scored = typedIn
                                             ? Calc::ComposeProfileRecord(Calc::DeriveProfil(run), symbols)
                                             : Calc::ComposeRecord(run, symbols);
        const QTime time(9 + int(random.bounded(8)), int(random.bounded(60)), int(random.bounded(60)));
        const QString note = typedIn ? QStringLiteral("Бланк: введён готовый профиль")
                                     : QString::fromUtf8(kNotes[(testee + t) % std::size(kNotes)]);
        repo.insertTest(
            Calc::WithScores(Data::NewTestRecord(dbId, menId, today.addDays(-daysAgo), time, note), scored));
        daysAgo -= 30 + int(random.bounded(90));
        daysAgo = std::max(daysAgo, count - t);
    }
}

} // namespace

void CreateDemoDatabase(TMain_DataModule& dm) {
    Data::Repository& repo = dm.Repo();
    // Inside the transaction of the first start when there is one; a savepoint then.
    Data::TTransaction transaction(dm.Main_Database());
    try {
        const int dbId = repo.insertDatabase(QStringLiteral("Демонстрационная база"), QByteArray(""));
        const int groupIds[2] = {repo.insertGroup(QStringLiteral("Студенты")),
                                 repo.insertGroup(QStringLiteral("Сотрудники"))};
        QList<int> menIds;
        for (const DemoTestee& t : kTestees)
            menIds << repo.insertTestee({0, dbId, QString::fromUtf8(t.fio), QString::fromUtf8(t.sex), t.age,
                                         groupIds[t.group - 1], QString(), 0});
        // Fixed seed: every new data directory gets the same demo tests.
        QRandomGenerator random(20261209);
        for (int i = 0; i < menIds.size(); ++i)
            writeDemoTests(repo, dbId, menIds[i], i, random);
    } catch (const Data::EEngineError& e) {
        throw Data::EDatabaseError(QStringLiteral("Не удалось создать демонстрационную базу: ") + e.reason(),
                                   e.detail());
    }
    transaction.Commit();
}

} // namespace Demo
