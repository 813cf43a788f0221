// Complete test runs made up at random, as the test window would produce them: in every series a
// permutation of the eight portraits, the first pass taking a sympathetic and an unpleasant pair, the
// second pass the four left over; every pair in ascending order.
#pragma once

#include "data/DataMod.h"
#include "data/Repository.h"
#include "scoring/Calc_Records.h"

#include <QRandomGenerator>
#include <QString>

#include <algorithm>
#include <array>

namespace TestSupport {

inline QString RandomRun(QRandomGenerator& random) {
    QString passes[2];
    for (int series = 0; series < 6; ++series) {
        std::array<int, 8> order{1, 2, 3, 4, 5, 6, 7, 8};
        std::shuffle(order.begin(), order.end(), random);
        for (int pair = 0; pair < 4; ++pair) {
            const int a = std::min(order[2 * pair], order[2 * pair + 1]);
            const int b = std::max(order[2 * pair], order[2 * pair + 1]);
            passes[pair / 2] += QString::number(a) + QString::number(b);
        }
    }
    return passes[0] + passes[1];
}

// A run or a profile scored through the data module's Symbols rows.
inline Calc::TTestRecord compose(const QString& resultTest) {
    return Calc::ComposeRecord(resultTest, Main_DataModule->Repo().references().symbols);
}
inline Calc::TTestRecord composeProfile(const QString& resultProfil) {
    return Calc::ComposeProfileRecord(resultProfil, Main_DataModule->Repo().references().symbols);
}

// Stores a scored record for a testee through the data module's repository; returns its Test_ID.
inline int insertTest(int dbId, int menId, const QDate& date, const QTime& time, const QString& note,
                      const Calc::TTestRecord& scored) {
    return Main_DataModule->Repo().insertTest(
        Calc::WithScores(Data::NewTestRecord(dbId, menId, date, time, note), scored));
}

} // namespace TestSupport
