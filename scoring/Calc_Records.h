// Classifying half profiles through the rows of the Symbols reference table and composing the four
// strings of a test record. Pure: the rows come as values (Repository::references()), and nothing is
// stored here; the repository writes records.
#pragma once

#include "data/Records.h"
#include "scoring/Calc_Unit.h"

namespace Calc {

// The Symbols rows, in table order.
using TSymbols = QVector<Data::SymbolRow>;

// Appends one reaction type to `types` and one intensity digit to `intensities` per factor of the
// 16-character half profile `halfProfil`: the first row of `symbols` whose Posit_Select and Negat_Select
// equal the factor's plus and minus digit. A pair without a row appends nothing, so later factors move
// forward. The outputs are not emptied first.
void ClassifyProfil(const QString& halfProfil, const TSymbols& symbols, QString& types, QString& intensities);

// The record of a completed test run: Result_Profil derived from the 48 digits, then Calc_Profil and
// Calc_ProfilNapr classified from its two halves. Throws EConvertError for a malformed Result_Test.
TTestRecord ComposeRecord(const QString& resultTest, const TSymbols& symbols);

// The record of a test entered as a bare profile: Result_Test empty, the 32 digits as Result_Profil, and
// the classification of its halves. Throws EConvertError unless `resultProfil` has 32 characters.
TTestRecord ComposeProfileRecord(const QString& resultProfil, const TSymbols& symbols);

// `record` with the four strings of `scored`.
inline Data::TestRecord WithScores(Data::TestRecord record, const TTestRecord& scored) {
    record.resultTest = scored.Result_Test;
    record.resultProfil = scored.Result_Profil;
    record.calcProfil = scored.Calc_Profil;
    record.calcProfilNapr = scored.Calc_ProfilNapr;
    return record;
}

} // namespace Calc
