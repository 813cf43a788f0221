// The steps of one testee's run taken in a browser, kept by the program: the first instruction, the 12
// screens of the first pass, the second instruction, the 6 screens of the second pass, the end. The
// choice rules are those of the test window: which portraits a screen shows, which slots a pair fills,
// what going back undoes. Pure values; the session guards them.
#pragma once

#include "scoring/Calc_Unit.h"

#include <QString>

#include <array>

namespace Group {

class TRunSteps {
public:
    // Step numbers: 0 the first instruction, 1 to 12 the first pass (series 1 sympathetic, series 1
    // unpleasant, series 2 sympathetic, ...), 13 the second instruction, 14 to 19 the second pass, 20 the
    // end.
    static constexpr int kFirstInstruction = 0;
    static constexpr int kSecondInstruction = 13;
    static constexpr int kDone = 20;

    enum class TView { Instruction, Screen, Done };

    int Step() const { return m_step; }
    TView View() const;
    // On a screen: pass 1 or 2, series 1 to 6, prompt 1 sympathetic or -1 unpleasant. The second
    // instruction counts as pass 2.
    int Pass() const { return m_step < kSecondInstruction ? 1 : 2; }
    int Series() const;
    int Sign() const;
    // The portrait digits this screen shows, ascending: those no slot of the series holds yet.
    QString Visible() const;
    // True where "Назад" is offered: on every screen but the first of a pass, and on the second
    // instruction (back to the last screen of the first pass).
    bool CanGoBack() const;

    // Each returns false and changes nothing when the step does not allow it.
    // "Начать тестирование" on an instruction.
    bool Begin();
    // "Далее" with the two portraits `pair` (distinct digits of Visible(), any order) chosen.
    bool Choose(const QString& pair);
    // "Назад": the previous step, whose choice is undone.
    bool Back();

    // The 48 digits of Result_Test: first pass slots 1 to 4 of series 1 to 6, then the second pass.
    QString ResultTest() const;

private:
    using TPassSlots = std::array<std::array<QChar, Calc::kSeriesCount>, Calc::kSlotsPerSeries>;
    bool IsChosen(QChar digit, int series) const;
    // Sets the pair of first-pass screen `step` (1 to 12) to "0".
    void ResetFirstPassScreen(int step);

    int m_step = kFirstInstruction;
    // Indexed [slot - 1][series - 1]: slots 1 and 2 the sympathetic pair, 3 and 4 the unpleasant pair.
    // An empty slot is QChar(); one reset by going back holds '0'; neither matches a portrait.
    TPassSlots m_first{};
    TPassSlots m_second{};
};

// The prompt of a screen, as the test window says it.
QString PromptFor(int sign);

} // namespace Group
