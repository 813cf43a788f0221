// Pure scoring operations: portrait key lookup, profile counting and statement filling.
#include "scoring/Calc_Unit.h"

#include <algorithm>
#include <array>

namespace Calc {

namespace {

// Position (1-based) of a character as the user knows it: within the whole Result_Test when a pass of it
// is converted, within the given string otherwise.
QString positionText(qsizetype index, int offset) { return QString::number(index + 1 + offset); }

QString factorsOfPass(QStringView pass, int offset) {
    if (pass.size() < kPassLength)
        throw EConvertError(QStringLiteral("Выбор портретов неполон: нужно %1 цифры, получено %2.")
                                .arg(kPassLength)
                                .arg(pass.size()));
    QString result(kPassLength, Qt::Uninitialized);
    for (int k = 0; k < kPassLength; ++k) {
        const char16_t c = pass[k].unicode();
        if (c < u'1' || c > u'8')
            throw EConvertError(
                QStringLiteral("Недопустимый номер портрета «%1» в позиции %2: ожидается цифра "
                               "от 1 до 8.")
                    .arg(pass[k])
                    .arg(positionText(k, offset)));
        const int portrait = c - u'0';
        const int series = k / kSlotsPerSeries + 1;
        result[k] = QChar(PortraitKey[(portrait - 1) * kSeriesCount + (series - 1)]);
    }
    return result;
}

// Index 0 to 7 of a factor code, -1 for any other character.
constexpr int factorIndex(char16_t code) {
    switch (code) {
    case u'h':
        return 0;
    case u's':
        return 1;
    case u'e':
        return 2;
    case u'y':
        return 3;
    case u'k':
        return 4;
    case u'p':
        return 5;
    case u'd':
        return 6;
    case u'm':
        return 7;
    default:
        return -1;
    }
}

// The first two slots of every group of four are the sympathetic (plus) choices.
constexpr bool isPlusSlot(int index) { return index % kSlotsPerSeries < 2; }

// Per slot of a pass and portrait digit 1 to 8 (index 0 to 7), the place of its count in a half profile.
constexpr auto kCountPlace = [] {
    std::array<std::array<qint8, kPortraitsPerSeries>, kPassLength> places{};
    for (int slot = 0; slot < kPassLength; ++slot)
        for (int p = 0; p < kPortraitsPerSeries; ++p)
            places[std::size_t(slot)][std::size_t(p)] =
                qint8((isPlusSlot(slot) ? 0 : kFactorCount) +
                      factorIndex(PortraitKey[p * kSeriesCount + slot / kSlotsPerSeries]));
    return places;
}();

} // namespace

QString PortraitsToFactors(const QString& pass) { return factorsOfPass(pass, 0); }

QString CountProfil(const QString& factorLetters) {
    if (factorLetters.size() < kPassLength)
        throw EConvertError(QStringLiteral("Строка факторов неполна: нужно %1 кода, получено %2.")
                                .arg(kPassLength)
                                .arg(factorLetters.size()));
    std::array<int, kFactorCount> plus{};
    std::array<int, kFactorCount> minus{};
    for (int p = 0; p < kPassLength; ++p) {
        const int f = factorIndex(factorLetters[p].unicode());
        if (f < 0)
            throw EConvertError(QStringLiteral("Недопустимый код фактора «%1» в позиции %2.")
                                    .arg(factorLetters[p])
                                    .arg(p + 1));
        ++(isPlusSlot(p) ? plus : minus)[f];
    }
    const auto digit = [](int f, int n, char16_t sign) {
        if (n > 9)
            throw EConvertError(
                QStringLiteral("Фактор %1 выбран со знаком «%2» %3 раз: число не помещается в "
                               "одну цифру.")
                    .arg(FactorNames[f])
                    .arg(QChar(sign))
                    .arg(n));
        return QChar(u'0' + n);
    };
    QString result(kHalfProfilLength, Qt::Uninitialized);
    for (int f = 0; f < kFactorCount; ++f) {
        result[f] = digit(f, plus[f], u'+');
        result[kFactorCount + f] = digit(f, minus[f], u'-');
    }
    return result;
}

QString DeriveProfil(const QString& resultTest) {
    if (resultTest.size() != kResultTestLength)
        throw EConvertError(QStringLiteral("Строка выборов должна содержать %1 цифр, а содержит %2.")
                                .arg(kResultTestLength)
                                .arg(resultTest.size()));
    // One walk over the choices, counting straight into the digits: the results window derives the
    // profile of every test a testee has. Any fault is left to the step-by-step path below, which names it.
    std::array<int, kResultProfilLength> counts{};
    bool sound = true;
    const char16_t* choice = reinterpret_cast<const char16_t*>(resultTest.constData());
    for (int pass = 0; pass < 2 && sound; ++pass)
        for (int slot = 0; slot < kPassLength && sound; ++slot, ++choice) {
            const unsigned portrait = unsigned(*choice) - u'1';
            sound = portrait < unsigned(kPortraitsPerSeries);
            if (sound)
                ++counts[std::size_t(pass * kHalfProfilLength + kCountPlace[std::size_t(slot)][portrait])];
        }
    if (sound && std::all_of(counts.begin(), counts.end(), [](int n) { return n <= 9; })) {
        QString result(kResultProfilLength, Qt::Uninitialized);
        QChar* digits = result.data();
        for (int i = 0; i < kResultProfilLength; ++i)
            digits[i] = QChar(u'0' + counts[std::size_t(i)]);
        return result;
    }
    return CountProfil(factorsOfPass(QStringView(resultTest).first(kPassLength), 0)) +
           CountProfil(factorsOfPass(QStringView(resultTest).sliced(kPassLength), kPassLength));
}

} // namespace Calc
