// Personal codes.
#include "group/Codes.h"

#include <QRandomGenerator>
#include <QSet>

namespace Group {

QStringList NewCodes(int count) {
    QStringList codes;
    QSet<QString> seen;
    while (codes.size() < count) {
        QString code;
        for (int i = 0; i < kCodeLength; ++i)
            code +=
                kCodeAlphabet[static_cast<int>(QRandomGenerator::system()->bounded(kCodeAlphabet.size()))];
        if (!seen.contains(code)) {
            seen.insert(code);
            codes << code;
        }
    }
    return codes;
}

QString NormalizeCode(const QString& typed) {
    QString code;
    for (const QChar ch : typed) {
        if (ch.isSpace() || ch == u'-')
            continue;
        QChar c = ch.toUpper();
        if (c == u'O')
            c = u'0';
        else if (c == u'I' || c == u'L')
            c = u'1';
        if (!kCodeAlphabet.contains(c) || code.size() == kCodeLength)
            return {};
        code += c;
    }
    return code.size() == kCodeLength ? code : QString();
}

bool SameCode(const QString& a, const QString& b) {
    if (a.size() != b.size())
        return false;
    char16_t diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |= a[i].unicode() ^ b[i].unicode();
    return diff == 0;
}

} // namespace Group
