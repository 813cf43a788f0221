// Classification through the Symbols rows.
#include "scoring/Calc_Records.h"

namespace Calc {

namespace {

// The first row of the pair in table order; a row whose fields are not one character each never matches.
const Data::SymbolRow* find(const TSymbols& symbols, QChar posit, QChar negat) {
    for (const Data::SymbolRow& row : symbols)
        if (row.positSelect.size() == 1 && row.negatSelect.size() == 1 && row.positSelect[0] == posit &&
            row.negatSelect[0] == negat)
            return &row;
    return nullptr;
}

void classify(QStringView halfProfil, const TSymbols& symbols, QString& types, QString& intensities) {
    for (int i = 0; i < kFactorCount; ++i) {
        // A missing digit of a short profile is an empty key, which no row matches.
        if (kFactorCount + i >= halfProfil.size())
            continue;
        if (const auto* row = find(symbols, halfProfil[i], halfProfil[kFactorCount + i])) {
            types += row->typeReaction;
            intensities += row->napr;
        }
    }
}

void classifyHalves(TTestRecord& record, const TSymbols& symbols) {
    classify(QStringView(record.Result_Profil).first(kHalfProfilLength), symbols, record.Calc_Profil,
             record.Calc_ProfilNapr);
    classify(QStringView(record.Result_Profil).sliced(kHalfProfilLength), symbols, record.Calc_Profil,
             record.Calc_ProfilNapr);
}

} // namespace

void ClassifyProfil(const QString& halfProfil, const TSymbols& symbols, QString& types,
                    QString& intensities) {
    classify(halfProfil, symbols, types, intensities);
}

TTestRecord ComposeRecord(const QString& resultTest, const TSymbols& symbols) {
    TTestRecord record;
    record.Result_Profil = DeriveProfil(resultTest);
    record.Result_Test = resultTest;
    classifyHalves(record, symbols);
    return record;
}

TTestRecord ComposeProfileRecord(const QString& resultProfil, const TSymbols& symbols) {
    if (resultProfil.size() != kResultProfilLength)
        throw EConvertError(QStringLiteral("Профиль должен содержать %1 цифры, а содержит %2.")
                                .arg(kResultProfilLength)
                                .arg(resultProfil.size()));
    TTestRecord record;
    record.Result_Profil = resultProfil;
    classifyHalves(record, symbols);
    return record;
}

} // namespace Calc
