// The splash window shown while the program starts. It stays on top of everything, so it steps aside
// for good as soon as any other window appears (a password prompt, a question, the settings): the user
// must see what he is asked.
#pragma once

#include <QWidget>

class QProgressBar;

class TSplash_Form : public QWidget {
    Q_OBJECT
public:
    explicit TSplash_Form(QWidget* parent = nullptr);

    QProgressBar* Splash_ProgressBar;

    // Advances the progress bar by one step and paints at once (nothing once it stepped aside).
    void StepIt();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_stepAside = false;
    bool m_painted = false;
};
