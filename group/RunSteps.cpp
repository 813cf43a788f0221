// Steps of a browser run.
#include "group/RunSteps.h"

namespace Group {

namespace {
constexpr int kFirstPassScreens = 2 * Calc::kSeriesCount;
bool isFirstPassScreen(int step) { return step >= 1 && step <= kFirstPassScreens; }
bool isSecondPassScreen(int step) { return step > TRunSteps::kSecondInstruction && step < TRunSteps::kDone; }
} // namespace

TRunSteps::TView TRunSteps::View() const {
    if (m_step == kFirstInstruction || m_step == kSecondInstruction)
        return TView::Instruction;
    return m_step == kDone ? TView::Done : TView::Screen;
}

int TRunSteps::Series() const {
    if (isFirstPassScreen(m_step))
        return (m_step - 1) / 2 + 1;
    if (isSecondPassScreen(m_step))
        return m_step - kSecondInstruction;
    return 0;
}

int TRunSteps::Sign() const { return isFirstPassScreen(m_step) && (m_step - 1) % 2 == 0 ? 1 : -1; }

bool TRunSteps::IsChosen(QChar digit, int series) const {
    for (int slot = 0; slot < Calc::kSlotsPerSeries; ++slot)
        if (m_first[slot][series - 1] == digit || m_second[slot][series - 1] == digit)
            return true;
    return false;
}

QString TRunSteps::Visible() const {
    if (View() != TView::Screen)
        return {};
    QString digits;
    for (int d = 1; d <= Calc::kPortraitsPerSeries; ++d)
        if (const QChar digit(u'0' + d); !IsChosen(digit, Series()))
            digits += digit;
    return digits;
}

bool TRunSteps::CanGoBack() const {
    return (m_step > 1 && m_step <= kSecondInstruction) ||
           (m_step > kSecondInstruction + 1 && m_step < kDone);
}

bool TRunSteps::Begin() {
    if (View() != TView::Instruction)
        return false;
    ++m_step;
    return true;
}

bool TRunSteps::Choose(const QString& pair) {
    if (View() != TView::Screen || pair.size() != 2 || pair[0] == pair[1])
        return false;
    const QString visible = Visible();
    if (!visible.contains(pair[0]) || !visible.contains(pair[1]))
        return false;
    // A pair is stored in ascending portrait order, whatever the order of the clicks.
    const QChar low = std::min(pair[0], pair[1]);
    const QChar high = std::max(pair[0], pair[1]);
    const int s = Series() - 1;
    if (Pass() == 1) {
        const int first = Sign() == 1 ? 0 : 2;
        m_first[first][s] = low;
        m_first[first + 1][s] = high;
    } else {
        // The two portraits left unchosen become the sympathetic pair of the second pass.
        QString rest = visible;
        rest.remove(low).remove(high);
        m_second[2][s] = low;
        m_second[3][s] = high;
        m_second[0][s] = rest[0];
        m_second[1][s] = rest[1];
    }
    ++m_step;
    return true;
}

void TRunSteps::ResetFirstPassScreen(int step) {
    const int s = (step - 1) / 2;
    const int first = (step - 1) % 2 == 0 ? 0 : 2;
    m_first[first][s] = u'0';
    m_first[first + 1][s] = u'0';
}

bool TRunSteps::Back() {
    if (!CanGoBack())
        return false;
    --m_step;
    if (isFirstPassScreen(m_step)) {
        ResetFirstPassScreen(m_step);
    } else {
        for (auto& slot : m_second)
            slot[Series() - 1] = u'0';
    }
    return true;
}

QString TRunSteps::ResultTest() const {
    QString result;
    for (const TPassSlots* pass : {&m_first, &m_second})
        for (int s = 0; s < Calc::kSeriesCount; ++s)
            for (int slot = 0; slot < Calc::kSlotsPerSeries; ++slot)
                result += (*pass)[slot][s];
    return result;
}

QString PromptFor(int sign) {
    return sign == 1 ? QStringLiteral("Выберите два портрета, которые кажутся Вам наиболее симпатичными")
                     : QStringLiteral("Выберите два портрета, которые кажутся Вам наиболее неприятными");
}

} // namespace Group
