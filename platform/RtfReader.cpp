// RTF reader: one pass over the bytes with a stack of character states, writing through a text cursor.
// Text is collected into runs of one character format and written when the format changes or a
// paragraph ends, not at every group boundary: a file of many small groups stays one run per format
// change, which keeps both the reading and the later layout linear in the input.
#include "platform/RtfReader.h"

#include "platform/Cp1251.h"

#include <QColor>
#include <QFile>
#include <QScopeGuard>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <vector>

namespace Platform {

namespace {

// Half-points of \fs when a document sets none (12 pt).
constexpr int kDefaultHalfPoints = 24;
// Twips per point: indents and spacing are given in twips.
constexpr double kTwipsPerPoint = 20.0;
// Deepest group nesting accepted; deeper input is not a document we wrote.
constexpr int kMaxDepth = 256;
// The text layout costs more than linear time in the length and the format changes of one paragraph, so
// a paragraph is broken after this many characters (at the next blank, at the latest after twice as
// many), and after this many format changes its text keeps the last format. Instructions have
// paragraphs of a few hundred characters and a handful of formats.
constexpr int kMaxBlockChars = 2000;
constexpr int kMaxBlockRuns = 200;
// The largest spacing before and after a paragraph and the largest indent a word processor offers
// (1584 pt, 22 in); larger numbers are taken as these. Font sizes beyond kMaxHalfPoints fall back to
// the default.
constexpr int kMaxSpacingTwips = 31680;
constexpr int kMaxIndentTwips = 31680;
constexpr int kMaxHalfPoints = 2000;
// The text layout loses its way once a document grows to millions of pixels (it stops advancing and
// never ends), so the reader keeps an upper bound of the height the document can take and refuses a
// file past kMaxHeight. The bound: every block its spacing and one line; every character the share of
// a line its glyph takes in the narrowest column the text is shown in (at most a whole line), doubled
// for the room that wrapping leaves at line ends.
constexpr double kMaxHeight = 4'000'000.0;
constexpr double kNarrowestColumn = 200.0;
constexpr double kLineHeightPerEm = 1.25;
constexpr double kPixelsPerPoint = 96.0 / 72.0;

double twipsToPixels(int twips) { return twips / kTwipsPerPoint * kPixelsPerPoint; }

struct TCharState {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    int halfPoints = kDefaultHalfPoints;
    int color = 0;       // index into the colour table; 0 = automatic
    int unicodeSkip = 1; // characters that stand in for each \uN (\ucN)
    bool skip = false;   // inside a destination whose text is not shown
    bool colorTable = false;
};

// What a run of text looks like; text is written run by run.
struct TRunFormat {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    int halfPoints = kDefaultHalfPoints;
    int color = 0;
    bool operator==(const TRunFormat&) const = default;
};

struct TParaState {
    Qt::Alignment alignment = Qt::AlignLeft;
    int leftIndent = 0;  // twips
    int firstIndent = 0; // twips
    int spaceBefore = 0; // twips
    int spaceAfter = 0;  // twips
};

class TRtfParser {
public:
    TRtfParser(const QByteArray& rtf, QTextDocument& document) : m_rtf(rtf), m_cursor(&document) {}

    void run() {
        m_stack.push_back(TCharState{});
        m_cursor.beginEditBlock();
        const auto endEdit = qScopeGuard([this] { m_cursor.endEditBlock(); });
        while (m_pos < m_rtf.size()) {
            const char ch = m_rtf[m_pos++];
            switch (ch) {
            case '{':
                if (static_cast<int>(m_stack.size()) >= kMaxDepth)
                    throw ERtfError(QStringLiteral("Слишком глубокая вложенность групп."));
                m_stack.push_back(state());
                // A group opening a new destination never inherits the colour table.
                state().colorTable = false;
                break;
            case '}':
                if (state().colorTable && m_colorSet)
                    endColor();
                if (m_stack.size() > 1)
                    m_stack.pop_back();
                break;
            case '\\':
                controlSymbol();
                break;
            case '\r':
            case '\n':
                break;
            default:
                if (state().colorTable) {
                    if (ch == ';')
                        endColor();
                } else if (m_pendingSkip > 0) {
                    --m_pendingSkip;
                } else {
                    appendChar(Cp1251::fromByte(static_cast<unsigned char>(ch)));
                }
            }
        }
        flushText();
    }

private:
    TCharState& state() { return m_stack.back(); }

    void controlSymbol() {
        if (m_pos >= m_rtf.size())
            return;
        const char ch = m_rtf[m_pos];
        if (!isLetter(ch)) {
            ++m_pos;
            switch (ch) {
            case '\'': {
                const int byte = hexByte();
                if (byte < 0)
                    return;
                if (m_pendingSkip > 0)
                    --m_pendingSkip;
                else
                    appendChar(Cp1251::fromByte(static_cast<unsigned char>(byte)));
                return;
            }
            case '*':
                state().skip = true;
                return;
            case '~':
                appendChar(QChar(0x00A0));
                return;
            case '_':
                appendChar(QChar(0x2011));
                return;
            case '-':
                return;
            case '\r':
            case '\n':
                newParagraph();
                return;
            default: // \\ \{ \} and other literal symbols
                appendChar(QChar::fromLatin1(ch));
                return;
            }
        }
        const qsizetype start = m_pos;
        while (m_pos < m_rtf.size() && isLetter(m_rtf[m_pos]))
            ++m_pos;
        const QByteArray word = m_rtf.mid(start, m_pos - start);
        bool hasParam = false;
        int param = 0;
        const qsizetype numberStart = m_pos;
        if (m_pos < m_rtf.size() && (m_rtf[m_pos] == '-' || isDigit(m_rtf[m_pos]))) {
            ++m_pos;
            while (m_pos < m_rtf.size() && isDigit(m_rtf[m_pos]) && m_pos - numberStart < 10)
                ++m_pos;
            param = m_rtf.mid(numberStart, m_pos - numberStart).toInt(&hasParam);
        }
        // One space after a control word belongs to it.
        if (m_pos < m_rtf.size() && m_rtf[m_pos] == ' ')
            ++m_pos;
        controlWord(word, hasParam, param);
    }

    void controlWord(const QByteArray& word, bool hasParam, int param) {
        TCharState& s = state();
        const bool on = !hasParam || param != 0;
        if (word == "bin") {
            // Binary data of the given length follows; it is never text, whatever its bytes look like.
            const qsizetype length = hasParam && param > 0 ? param : 0;
            m_pos += std::min(length, m_rtf.size() - m_pos);
            return;
        }
        if (s.colorTable) {
            if (word == "red")
                m_color.setRed(std::clamp(param, 0, 255));
            else if (word == "green")
                m_color.setGreen(std::clamp(param, 0, 255));
            else if (word == "blue")
                m_color.setBlue(std::clamp(param, 0, 255));
            m_colorSet = true;
            return;
        }
        if (word == "par") {
            newParagraph();
        } else if (word == "line") {
            appendChar(QChar::LineSeparator);
        } else if (word == "tab") {
            appendChar(QLatin1Char('\t'));
        } else if (word == "b") {
            s.bold = on;
        } else if (word == "i") {
            s.italic = on;
        } else if (word == "ul") {
            s.underline = on;
        } else if (word == "ulnone") {
            s.underline = false;
        } else if (word == "fs") {
            s.halfPoints = hasParam && param > 0 && param < kMaxHalfPoints ? param : kDefaultHalfPoints;
        } else if (word == "cf") {
            s.color = hasParam ? param : 0;
        } else if (word == "plain") {
            const TCharState keep = s;
            s = TCharState{};
            s.unicodeSkip = keep.unicodeSkip;
            s.skip = keep.skip;
        } else if (word == "uc") {
            s.unicodeSkip = hasParam ? std::max(param, 0) : 1;
        } else if (word == "u") {
            // Signed 16-bit value; the fallback characters that follow are dropped.
            appendChar(QChar(static_cast<char16_t>(param < 0 ? param + 65536 : param)));
            m_pendingSkip = s.unicodeSkip;
        } else if (word == "pard") {
            m_para = TParaState{};
        } else if (word == "ql") {
            m_para.alignment = Qt::AlignLeft;
        } else if (word == "qc") {
            m_para.alignment = Qt::AlignHCenter;
        } else if (word == "qr") {
            m_para.alignment = Qt::AlignRight;
        } else if (word == "qj") {
            m_para.alignment = Qt::AlignJustify;
        } else if (word == "li") {
            m_para.leftIndent = std::clamp(param, -kMaxIndentTwips, kMaxIndentTwips);
        } else if (word == "fi") {
            m_para.firstIndent = std::clamp(param, -kMaxIndentTwips, kMaxIndentTwips);
        } else if (word == "sb") {
            m_para.spaceBefore = std::clamp(param, 0, kMaxSpacingTwips);
        } else if (word == "sa") {
            m_para.spaceAfter = std::clamp(param, 0, kMaxSpacingTwips);
        } else if (word == "colortbl") {
            s.colorTable = true;
            m_colors.clear();
            m_color = QColor(0, 0, 0);
            m_colorSet = false;
        } else if (word == "fonttbl" || word == "stylesheet" || word == "info" || word == "pict" ||
                   word == "header" || word == "footer" || word == "object" || word == "filetbl" ||
                   word == "listtable" || word == "listoverridetable" || word == "rsidtbl" ||
                   word == "generator" || word == "xmlnstbl" || word == "themedata") {
            s.skip = true;
        }
    }

    // A colour-table entry ends at ";"; an entry without components is "automatic".
    void endColor() {
        m_colors.push_back(m_colorSet ? m_color : QColor());
        m_color = QColor(0, 0, 0);
        m_colorSet = false;
    }

    void appendChar(QChar ch) {
        if (state().skip || state().colorTable)
            return;
        if (m_pendingSkip > 0) {
            // A control symbol standing in for a \uN character is dropped like a plain one.
            --m_pendingSkip;
            return;
        }
        const TCharState& s = state();
        TRunFormat format{s.bold, s.italic, s.underline, s.halfPoints, s.color};
        if (m_blockRuns >= kMaxBlockRuns)
            format = m_runFormat;
        if (!m_text.isEmpty() && !(format == m_runFormat))
            flushText();
        m_runFormat = format;
        m_text.append(ch);
        ++m_blockChars;
        const double em = format.halfPoints / 2.0 * kPixelsPerPoint;
        addHeight(2.0 * kLineHeightPerEm * em * std::min(1.0, em / kNarrowestColumn));
        if ((m_blockChars >= kMaxBlockChars && ch == QLatin1Char(' ')) || m_blockChars >= 2 * kMaxBlockChars)
            startBlock();
    }

    // A new block with the same paragraph format.
    void startBlock() {
        flushText();
        applyBlockFormat();
        m_cursor.insertBlock();
        m_blockFormatted = false;
        m_blockChars = 0;
        m_blockRuns = 0;
    }

    void newParagraph() {
        if (state().skip)
            return;
        startBlock();
    }

    void applyBlockFormat() {
        if (m_blockFormatted)
            return;
        QTextBlockFormat f;
        f.setAlignment(m_para.alignment);
        f.setLeftMargin(twipsToPixels(m_para.leftIndent));
        f.setTextIndent(twipsToPixels(m_para.firstIndent));
        f.setTopMargin(twipsToPixels(m_para.spaceBefore));
        f.setBottomMargin(twipsToPixels(m_para.spaceAfter));
        m_cursor.setBlockFormat(f);
        m_blockFormatted = true;
        addHeight(f.topMargin() + f.bottomMargin() +
                  kLineHeightPerEm * m_runFormat.halfPoints / 2.0 * kPixelsPerPoint);
    }

    void addHeight(double pixels) {
        m_height += pixels;
        if (m_height > kMaxHeight)
            throw ERtfError(QStringLiteral("Текст слишком велик для показа: в нём слишком много текста, "
                                           "слишком большие отступы или шрифты."));
    }

    void flushText() {
        if (m_text.isEmpty())
            return;
        applyBlockFormat();
        const TRunFormat& s = m_runFormat;
        QTextCharFormat f;
        f.setFontWeight(s.bold ? QFont::Bold : QFont::Normal);
        f.setFontItalic(s.italic);
        f.setFontUnderline(s.underline);
        f.setFontPointSize(s.halfPoints / 2.0);
        if (s.color > 0 && s.color < static_cast<int>(m_colors.size()) && m_colors[s.color].isValid())
            f.setForeground(m_colors[s.color]);
        m_cursor.insertText(m_text, f);
        m_text.clear();
        ++m_blockRuns;
    }

    int hexByte() {
        if (m_pos + 2 > m_rtf.size())
            return -1;
        bool ok = false;
        const int v = m_rtf.mid(m_pos, 2).toInt(&ok, 16);
        if (!ok)
            return -1;
        m_pos += 2;
        return v;
    }

    static bool isLetter(char ch) { return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z'); }
    static bool isDigit(char ch) { return ch >= '0' && ch <= '9'; }

    const QByteArray& m_rtf;
    qsizetype m_pos = 0;
    QTextCursor m_cursor;
    std::vector<TCharState> m_stack;
    TParaState m_para;
    bool m_blockFormatted = false;
    int m_blockChars = 0; // characters in the current block
    int m_blockRuns = 0;  // runs written into the current block
    QString m_text;
    TRunFormat m_runFormat; // the format of m_text
    int m_pendingSkip = 0;
    double m_height = 0; // upper bound of the laid-out height so far, in pixels
    std::vector<QColor> m_colors;
    QColor m_color;
    bool m_colorSet = false;
};

QString sourceName(const QString& name) { return name.isEmpty() ? QStringLiteral("RTF") : name; }

} // namespace

void ReadRtf(const QByteArray& rtf, QTextDocument& document, const QString& name) {
    // Editors that save as UTF-8 put a byte-order mark before the text; it is no part of the document.
    // Blanks before the first group are no part of it either.
    qsizetype start = rtf.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (start < rtf.size() && QChar::isSpace(uchar(rtf[start])))
        ++start;
    const QByteArray body = rtf.mid(start);
    if (!body.startsWith("{\\rtf"))
        throw ERtfError(QStringLiteral("Файл «%1» не является документом RTF.").arg(sourceName(name)));
    // The document is shown read-only: no undo history is kept of its thousands of insertions.
    const bool undo = document.isUndoRedoEnabled();
    document.setUndoRedoEnabled(false);
    document.clear();
    try {
        TRtfParser(body, document).run();
    } catch (const ERtfError& e) {
        // A document refused half-way is not shown in part.
        document.clear();
        document.setUndoRedoEnabled(undo);
        throw ERtfError(
            QStringLiteral("Файл «%1» не может быть показан. %2").arg(sourceName(name), e.message()));
    }
    document.setUndoRedoEnabled(undo);
}

void LoadRtfFile(const QString& path, QTextDocument& document) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw ERtfError(QStringLiteral("Не удалось открыть файл «%1».").arg(path));
    const QByteArray rtf = file.readAll();
    file.close();
    ReadRtf(rtf, document, path);
}

} // namespace Platform
