// The colour button: shows its colour and drops down a palette of standard and system colours, the
// custom colours given to it, and "&Другой..." for the system colour dialog. Values are colour values
// as the settings file stores them (0x00BBGGRR, or 0xFF0000nn for a system colour).
#pragma once

#include <QList>
#include <QToolButton>

class QMenu;

namespace Widgets {

class TColorButton : public QToolButton {
    Q_OBJECT
public:
    explicit TColorButton(QWidget* parent = nullptr);

    int ColorValue() const { return m_value; }
    void SetColorValue(int value);

    // Custom colours: shown in the palette and handed to the colour dialog. Duplicates are ignored.
    void AddCustomColor(int value);
    const QList<int>& CustomColors() const { return m_custom; }

    // The palette's entries, in order (standard and system colours, then the custom ones).
    QList<int> PaletteColors() const;
    // Picks an entry of the palette, as a click on its swatch does.
    void PickColor(int value);
    // "&Другой...": the system colour dialog; true when a colour was chosen.
    bool OtherColor();

    QMenu* PaletteMenu() const { return m_menu; }

Q_SIGNALS:
    void ColorChanged(int value);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void rebuildPalette();

    int m_value = 0;
    QList<int> m_custom;
    QMenu* m_menu;
};

} // namespace Widgets
