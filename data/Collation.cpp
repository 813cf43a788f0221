// Russian collation: ICU's root order with the Russian tailoring, the collation the server's text
// columns use. Names made only of the common letters, digits and punctuation are compared through a
// table of their ICU weights, read from ICU once; anything else goes to ICU itself.
#include "data/Collation.h"

#include <QVarLengthArray>

#include <unicode/ucol.h>
#include <unicode/ucoleitr.h>
#include <unicode/uset.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

namespace Data {

namespace {

// The locale of the collation; the server's collation "russian" is made with the same.
constexpr char kLocale[] = "ru-RU";

// Code points the table covers: Basic Latin to Cyrillic, and the general punctuation (dashes, quotes).
constexpr char32_t kLowEnd = 0x0530;
constexpr char32_t kPunctFirst = 0x2000;
constexpr char32_t kPunctEnd = 0x2070;

// The weights of one character whose collation elements are one primary element, optionally followed by
// one element without a primary (Ё: Е and a diaeresis). ICU compares all primaries of a text first, then
// all secondaries, then all tertiaries (case), each as a sequence.
struct TWeights {
    quint16 primary = 0; // rank among the table's primaries; 0: not in the table
    quint8 count = 0;    // elements: 1 or 2
    std::array<quint8, 2> secondary{};
    std::array<quint8, 2> tertiary{};
};

class TRussianCollator {
public:
    TRussianCollator() {
        UErrorCode status = U_ZERO_ERROR;
        m_collator.reset(ucol_open(kLocale, &status));
        if (U_FAILURE(status))
            m_collator.reset();
        m_low.resize(kLowEnd);
        m_punct.resize(kPunctEnd - kPunctFirst);
        if (m_collator)
            buildTable();
    }

    // The primary rank of a code point, or 0 when it is not in the table.
    quint16 Primary(char32_t c) const {
        if (c < kLowEnd)
            return c < m_lowPrimary.size() ? m_lowPrimary[c] : 0;
        return c >= kPunctFirst && c < kPunctEnd ? m_punct[c - kPunctFirst].primary : 0;
    }

    // The table entry of a code point, or null when ICU must compare.
    const TWeights* Find(char32_t c) const {
        const TWeights* w = nullptr;
        if (c < kLowEnd)
            w = &m_low[c];
        else if (c >= kPunctFirst && c < kPunctEnd)
            w = &m_punct[c - kPunctFirst];
        return w && w->primary != 0 ? w : nullptr;
    }

    int Compare(const char16_t* a, qsizetype lenA, const char16_t* b, qsizetype lenB) const {
        if (!m_collator)
            return 0;
        return ucol_strcoll(m_collator.get(), reinterpret_cast<const UChar*>(a), static_cast<int32_t>(lenA),
                            reinterpret_cast<const UChar*>(b), static_cast<int32_t>(lenB));
    }
    int CompareUtf8(const char* a, int lenA, const char* b, int lenB) const {
        if (!m_collator)
            return 0;
        UErrorCode status = U_ZERO_ERROR;
        return ucol_strcollUTF8(m_collator.get(), a, lenA, b, lenB, &status);
    }

private:
    using TCollatorPtr = std::unique_ptr<UCollator, void (*)(UCollator*)>;

    TWeights& slot(char32_t c) { return c < kLowEnd ? m_low[c] : m_punct[c - kPunctFirst]; }

    // Reads every covered character's collation elements from ICU; a character with expansions, long
    // primaries or no primary stays out, and so do the characters of any contraction made only of
    // covered characters. Primaries are ranked by comparing the characters at primary strength, which
    // applies the script order of the tailoring (Cyrillic before Latin).
    void buildTable() {
        std::vector<char32_t> chars;
        const auto consider = [&](char32_t c) {
            UErrorCode status = U_ZERO_ERROR;
            const UChar text[1] = {static_cast<UChar>(c)};
            UCollationElements* it = ucol_openElements(m_collator.get(), text, 1, &status);
            if (U_FAILURE(status))
                return;
            std::vector<quint32> elements;
            for (int32_t ce; (ce = ucol_next(it, &status)) != UCOL_NULLORDER && U_SUCCESS(status);)
                elements.push_back(static_cast<quint32>(ce));
            ucol_closeElements(it);
            const auto continuation = [](quint32 ce) { return (ce & 0xC0) == 0xC0; };
            if (U_FAILURE(status) || elements.empty() || elements.size() > 2 || (elements[0] >> 16) == 0 ||
                std::any_of(elements.begin(), elements.end(), continuation) ||
                (elements.size() == 2 && (elements[1] >> 16) != 0))
                return;
            TWeights& w = slot(c);
            w.count = static_cast<quint8>(elements.size());
            for (size_t i = 0; i < elements.size(); ++i) {
                w.secondary[i] = static_cast<quint8>(elements[i] >> 8);
                w.tertiary[i] = static_cast<quint8>(elements[i] & 0x3F); // without the case bits
            }
            chars.push_back(c);
        };
        for (char32_t c = 0x20; c < kLowEnd; ++c)
            if (c < 0x7F || c >= 0xA0)
                consider(c);
        for (char32_t c = kPunctFirst; c < kPunctEnd; ++c)
            consider(c);

        UErrorCode status = U_ZERO_ERROR;
        USet* contractions = uset_openEmpty();
        ucol_getContractionsAndExpansions(m_collator.get(), contractions, nullptr, true, &status);
        std::vector<char32_t> excluded;
        for (int32_t i = 0; U_SUCCESS(status) && i < uset_getItemCount(contractions); ++i) {
            UChar32 start = 0, end = 0;
            UChar text[32];
            UErrorCode itemStatus = U_ZERO_ERROR;
            const int32_t length = uset_getItem(contractions, i, &start, &end, text, 32, &itemStatus);
            if (length <= 0 || U_FAILURE(itemStatus))
                continue;
            bool covered = true;
            for (int32_t k = 0; k < length && covered; ++k)
                covered = text[k] < 0xD800 && slot0(text[k]);
            if (covered)
                excluded.insert(excluded.end(), text, text + length);
        }
        uset_close(contractions);

        TCollatorPtr primaryOnly(ucol_open(kLocale, &status), ucol_close);
        if (U_FAILURE(status))
            return;
        ucol_setStrength(primaryOnly.get(), UCOL_PRIMARY);
        std::erase_if(chars, [&](char32_t c) {
            return std::find(excluded.begin(), excluded.end(), c) != excluded.end();
        });
        const auto order = [&](char32_t x, char32_t y) {
            const UChar a[1] = {static_cast<UChar>(x)}, b[1] = {static_cast<UChar>(y)};
            return ucol_strcoll(primaryOnly.get(), a, 1, b, 1);
        };
        std::stable_sort(chars.begin(), chars.end(), [&](char32_t x, char32_t y) { return order(x, y) < 0; });
        quint16 rank = 0;
        for (size_t i = 0; i < chars.size(); ++i) {
            if (i == 0 || order(chars[i - 1], chars[i]) != 0)
                ++rank;
            slot(chars[i]).primary = rank;
        }
        m_lowPrimary.resize(kLowEnd);
        for (char32_t c = 0; c < kLowEnd; ++c)
            m_lowPrimary[c] = m_low[c].primary;
    }

    // True when the code point got weights (before the ranks are set).
    bool slot0(char32_t c) const {
        const TWeights* w = c < kLowEnd                         ? &m_low[c]
                            : c >= kPunctFirst && c < kPunctEnd ? &m_punct[c - kPunctFirst]
                                                                : nullptr;
        return w && w->count > 0;
    }

    TCollatorPtr m_collator{nullptr, ucol_close};
    std::vector<TWeights> m_low;
    std::vector<TWeights> m_punct;
    std::vector<quint16> m_lowPrimary; // the primaries of m_low alone, for the sort keys
};

const TRussianCollator& collator() {
    static const TRussianCollator instance;
    return instance;
}

// Walks the code points of a text one by one: UTF-16 (QStringView) or UTF-8 (the engine's bytes).
struct Utf16Reader {
    QStringView text;
    qsizetype pos = 0;
    bool atEnd() const { return pos >= text.size(); }
    char32_t next() {
        const QChar c = text[pos++];
        if (c.isHighSurrogate() && pos < text.size() && text[pos].isLowSurrogate())
            return QChar::surrogateToUcs4(c, text[pos++]);
        return c.unicode();
    }
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

// Code point order, which is also the byte order of UTF-8: the server's tie-break of equal texts.
template <class Reader> int codePointOrder(Reader a, Reader b) {
    while (!a.atEnd() && !b.atEnd()) {
        const char32_t ca = a.next(), cb = b.next();
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.atEnd() == b.atEnd() ? 0 : a.atEnd() ? -1 : 1;
}

constexpr int kNeedsIcu = 2;

// One level after the primaries: the sequences of the characters' secondary (or tertiary) weights.
template <class Reader> int compareLevel(Reader a, Reader b, bool secondary) {
    const TRussianCollator& c = collator();
    const TWeights* wa = nullptr;
    const TWeights* wb = nullptr;
    int ia = 0, ib = 0;
    const auto weight = [secondary](const TWeights* w, int i) {
        return secondary ? w->secondary[static_cast<size_t>(i)] : w->tertiary[static_cast<size_t>(i)];
    };
    // The next non-zero weight of a text, or 0 at its end.
    const auto advance = [&](Reader& r, const TWeights*& w, int& i) -> int {
        for (;;) {
            if (w && i < w->count) {
                const int v = weight(w, i++);
                if (v != 0)
                    return v;
                continue;
            }
            if (r.atEnd())
                return 0;
            w = c.Find(r.next());
            i = 0;
        }
    };
    for (;;) {
        const int va = advance(a, wa, ia), vb = advance(b, wb, ib);
        if (va != vb)
            return va < vb ? -1 : 1;
        if (va == 0)
            return 0;
    }
}

// Compares through the table: primaries first, then the other levels; kNeedsIcu when a character that
// decides (or could join the deciding one in a contraction) is not in the table.
template <class Reader> int compareFast(Reader a, Reader b) {
    const TRussianCollator& c = collator();
    const Reader startA = a, startB = b;
    while (!a.atEnd() && !b.atEnd()) {
        const char32_t ca = a.next(), cb = b.next();
        if (ca == cb) {
            // The same weights on both sides; characters ICU ignores altogether are ASCII controls.
            if (ca >= 0x80 && !c.Find(ca))
                return kNeedsIcu;
            continue;
        }
        const TWeights* wa = c.Find(ca);
        const TWeights* wb = c.Find(cb);
        if (!wa || !wb)
            return kNeedsIcu;
        if (wa->primary != wb->primary) {
            // A following character outside the table might combine with this one.
            Reader peekA = a, peekB = b;
            if ((!peekA.atEnd() && !c.Find(peekA.next())) || (!peekB.atEnd() && !c.Find(peekB.next())))
                return kNeedsIcu;
            return wa->primary < wb->primary ? -1 : 1;
        }
    }
    // One text is a prefix of the other at the primary level: the rest must be table characters too.
    for (Reader* rest : {&a, &b})
        for (Reader r = *rest; !r.atEnd();)
            if (!c.Find(r.next()))
                return kNeedsIcu;
    if (a.atEnd() != b.atEnd())
        return a.atEnd() ? -1 : 1;
    if (const int s = compareLevel(startA, startB, true))
        return s;
    return compareLevel(startA, startB, false);
}

int sign(int v) { return v < 0 ? -1 : v > 0 ? 1 : 0; }

} // namespace

int CompareRussian(QStringView a, QStringView b) {
    int order = compareFast(Utf16Reader{a}, Utf16Reader{b});
    if (order == kNeedsIcu)
        order = sign(collator().Compare(a.utf16(), a.size(), b.utf16(), b.size()));
    return order != 0 ? order : codePointOrder(Utf16Reader{a}, Utf16Reader{b});
}

int CompareRussianUtf8(const char* a, int lenA, const char* b, int lenB) {
    const auto* ua = reinterpret_cast<const unsigned char*>(a);
    const auto* ub = reinterpret_cast<const unsigned char*>(b);
    int order = compareFast(Utf8Reader{ua, ua + lenA}, Utf8Reader{ub, ub + lenB});
    if (order == kNeedsIcu)
        order = sign(collator().CompareUtf8(a, lenA, b, lenB));
    if (order != 0)
        return order;
    const int binary = std::memcmp(a, b, static_cast<size_t>(std::min(lenA, lenB)));
    return binary != 0 ? sign(binary) : sign(lenA - lenB);
}

// Ranks from here on take two bytes in a key; the table holds fewer than 16 * 256 more.
constexpr int kLongRank = 0xF0;

bool RussianKeyPrefix(QByteArrayView utf8, unsigned char* prefix, int size) {
    const TRussianCollator& c = collator();
    std::memset(prefix, 0, static_cast<size_t>(size));
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const unsigned char* const end = p + utf8.size();
    int at = 0;
    while (p < end) {
        // ASCII and the two-byte letters (Cyrillic) decoded here, the rest by the reader.
        char32_t cp = *p;
        if (cp < 0x80) {
            ++p;
        } else if ((cp & 0xE0) == 0xC0 && end - p >= 2) {
            cp = ((cp & 0x1F) << 6) | (p[1] & 0x3F);
            p += 2;
        } else {
            Utf8Reader r{p, end};
            cp = r.next();
            p = r.p;
        }
        const int rank = c.Primary(cp);
        if (rank == 0)
            return false;
        if (at >= size)
            continue; // the rest only has to be in the table
        // One byte for the common ranks (punctuation, digits, Cyrillic and the first Latin letters),
        // a lead byte of kLongRank or more and a second byte for the others: byte order stays rank order.
        if (rank < kLongRank) {
            prefix[at++] = static_cast<unsigned char>(rank);
        } else {
            prefix[at++] = static_cast<unsigned char>(kLongRank + ((rank - kLongRank) >> 8));
            if (at < size)
                prefix[at++] = static_cast<unsigned char>((rank - kLongRank) & 0xFF);
        }
    }
    return true;
}

} // namespace Data
