// The splash window shown while the program starts.
#pragma once

#include <QWidget>

class QProgressBar;

class TSplash_Form : public QWidget {
    Q_OBJECT
public:
    explicit TSplash_Form(QWidget* parent = nullptr);

    QProgressBar* Splash_ProgressBar;

    // Advances the progress bar by one step and paints at once.
    void StepIt();
};
