// Russian collation with three levels of weights.
#include "data/Collation.h"

#include <QChar>

#include <cstring>

namespace Data {

namespace {

// Primary weight classes, in sort order.
constexpr unsigned kSpace = 0x10000;
constexpr unsigned kPunct = 0x20000;
constexpr unsigned kDigit = 0x30000;
constexpr unsigned kCyrillic = 0x40000;
constexpr unsigned kLatin = 0x50000;
constexpr unsigned kOther = 0x60000;

struct Weights {
    unsigned primary;
    unsigned char secondary; // 1 for Ё/ё (after Е/е)
    unsigned char tertiary;  // 1 for upper case
};

Weights weigh(char32_t c) {
    if (c >= u'а' && c <= u'я')
        return {kCyrillic + static_cast<unsigned>(c - u'а') * 2, 0, 0};
    if (c >= u'А' && c <= u'Я')
        return {kCyrillic + static_cast<unsigned>(c - u'А') * 2, 0, 1};
    if (c == u'ё')
        return {kCyrillic + static_cast<unsigned>(u'е' - u'а') * 2, 1, 0};
    if (c == u'Ё')
        return {kCyrillic + static_cast<unsigned>(u'е' - u'а') * 2, 1, 1};
    if (c >= u'a' && c <= u'z')
        return {kLatin + static_cast<unsigned>(c - u'a'), 0, 0};
    if (c >= u'A' && c <= u'Z')
        return {kLatin + static_cast<unsigned>(c - u'A'), 0, 1};
    if (c >= u'0' && c <= u'9')
        return {kDigit + static_cast<unsigned>(c - u'0'), 0, 0};
    if (c == u' ' || c == u'\t' || c == 0x00A0)
        return {kSpace, 0, 0};
    if (c < 0x80 || (c >= 0x2010 && c <= 0x205E) || c == 0x00AB || c == 0x00BB)
        return {kPunct + c, 0, 0};
    // Other Cyrillic letters (Ukrainian, Belarusian...) after я, by their lower-case form.
    if (c >= 0x0400 && c <= 0x04FF) {
        const QChar ch(static_cast<char16_t>(c));
        return {kCyrillic + 0x100 + ch.toLower().unicode(), 0,
                static_cast<unsigned char>(ch.isUpper() ? 1 : 0)};
    }
    return {kOther + c, 0, 0};
}

} // namespace

namespace {

// Walks the code points of a text one by one: UTF-16 (QStringView) or UTF-8 (the engine's bytes).
struct Utf16Reader {
    QStringView text;
    qsizetype pos = 0;
    bool atEnd() const { return pos >= text.size(); }
    char32_t next() { return text[pos++].unicode(); }
};

struct Utf8Reader {
    const unsigned char* p;
    const unsigned char* end;
    bool atEnd() const { return p >= end; }
    char32_t next() {
        const unsigned char c = *p++;
        if (c < 0x80)
            return c;
        int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : 1;
        char32_t cp = c & (0x3F >> extra);
        while (extra-- > 0 && p < end)
            cp = (cp << 6) | (*p++ & 0x3F);
        return cp;
    }
};

template <class Reader> int compareWith(Reader a, Reader b, int binaryOrder) {
    int secondary = 0;
    int tertiary = 0;
    while (!a.atEnd() && !b.atEnd()) {
        const char32_t ca = a.next();
        const char32_t cb = b.next();
        if (ca == cb)
            continue;
        const Weights wa = weigh(ca);
        const Weights wb = weigh(cb);
        if (wa.primary != wb.primary)
            return wa.primary < wb.primary ? -1 : 1;
        if (secondary == 0 && wa.secondary != wb.secondary)
            secondary = wa.secondary < wb.secondary ? -1 : 1;
        if (tertiary == 0 && wa.tertiary != wb.tertiary)
            tertiary = wa.tertiary < wb.tertiary ? -1 : 1;
    }
    if (a.atEnd() != b.atEnd())
        return a.atEnd() ? -1 : 1;
    if (secondary != 0)
        return secondary;
    if (tertiary != 0)
        return tertiary;
    return binaryOrder;
}

} // namespace

int CompareRussian(QStringView a, QStringView b) {
    const int binary = a.compare(b);
    return compareWith(Utf16Reader{a}, Utf16Reader{b}, binary < 0 ? -1 : binary > 0 ? 1 : 0);
}

int CompareRussianUtf8(const char* a, int lenA, const char* b, int lenB) {
    const auto* ua = reinterpret_cast<const unsigned char*>(a);
    const auto* ub = reinterpret_cast<const unsigned char*>(b);
    const int binary = std::memcmp(a, b, static_cast<size_t>(std::min(lenA, lenB)));
    const int order = binary != 0 ? binary : lenA - lenB;
    return compareWith(Utf8Reader{ua, ua + lenA}, Utf8Reader{ub, ub + lenB},
                       order < 0   ? -1
                       : order > 0 ? 1
                                   : 0);
}

} // namespace Data
