// Pure scoring operations: portrait key lookup, profile counting and statement filling.
#include "scoring/Calc_Unit.h"

#include <initializer_list>
#include <variant>

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
int factorIndex(char16_t code) {
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
bool isPlusSlot(int index) { return index % kSlotsPerSeries < 2; }

// One value of a statement: %d takes an integer, %s a text that is quoted before substitution.
using TArg = std::variant<int, QString>;

// Substitutes the placeholders of `pattern` in order. Values are never scanned again, so a "%s" inside a
// note stays as typed.
QString fillTemplate(const QString& pattern, std::initializer_list<TArg> args) {
    QString sql;
    sql.reserve(pattern.size() + 160);
    auto arg = args.begin();
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        if (c == u'%' && i + 1 < pattern.size() && (pattern[i + 1] == u'd' || pattern[i + 1] == u's')) {
            Q_ASSERT(arg != args.end());
            if (pattern[i + 1] == u'd')
                sql += QString::number(std::get<int>(*arg));
            else
                sql += QuoteSQLText(std::get<QString>(*arg));
            ++arg;
            ++i;
        } else {
            sql += c;
        }
    }
    Q_ASSERT(arg == args.end());
    return sql;
}

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
    return CountProfil(factorsOfPass(QStringView(resultTest).first(kPassLength), 0)) +
           CountProfil(factorsOfPass(QStringView(resultTest).sliced(kPassLength), kPassLength));
}

QString BoundTestSQL(const QString& templateText, const QStringList& names) {
    QString out;
    qsizetype next = 0;
    for (qsizetype i = 0; i < templateText.size();) {
        const QStringView rest = QStringView(templateText).sliced(i);
        const qsizetype length = rest.startsWith(u"'%s'") ? 4 : rest.startsWith(u"%d") ? 2 : 0;
        if (length == 0) {
            out += templateText[i++];
            continue;
        }
        if (next >= names.size())
            throw EConvertError(QStringLiteral("Не хватает имён параметров для шаблона запроса."));
        out += QLatin1Char(':') + names[next++];
        i += length;
    }
    return out;
}

QString QuoteSQLText(const QString& value) {
    QString quoted = value;
    quoted.replace(u'\'', QStringLiteral("''"));
    return quoted;
}

QString FillInsertTestSQL(int dbId, int menId, const QString& dateText, const QString& timeText,
                          const QString& note, const TTestRecord& record) {
    return fillTemplate(InsertTestSQL, {dbId, menId, dateText, timeText, note, record.Result_Test,
                                        record.Result_Profil, record.Calc_Profil, record.Calc_ProfilNapr});
}

QString FillUpdateTestSQL(int testId, const QString& dateText, const QString& timeText, const QString& note,
                          const TTestRecord& record) {
    return fillTemplate(UpdateTestSQL, {dateText, timeText, note, record.Result_Test, record.Result_Profil,
                                        record.Calc_Profil, record.Calc_ProfilNapr, testId});
}

} // namespace Calc
