// The small stay-on-top waiting window shown while a long operation (the report export) runs: a turning
// animation of our own beside a message. At most one exists at a time.
#pragma once

#include <QWidget>

class QFrame;
class QLabel;
class QTimer;

// The animation: sixteen frames of a ring of dots turning, looped.
class TWaitingAnimate : public QWidget {
    Q_OBJECT
public:
    explicit TWaitingAnimate(QWidget* parent = nullptr);
    void Play();
    void Stop();
    int Frame() const { return m_frame; }
    QSize sizeHint() const override;

    static constexpr int kFrames = 16;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer* m_timer;
    int m_frame = 0;
};

class TWaiting_Form : public QWidget {
    Q_OBJECT
public:
    explicit TWaiting_Form(QWidget* parent = nullptr);

    QFrame* Panel1;
    TWaitingAnimate* Waiting_Animate;
    QLabel* StaticText1;

protected:
    void showEvent(QShowEvent* event) override; // FormShow: starts the animation
};

// The waiting window while it exists, else null.
TWaiting_Form* WaitingForm();
// Shows the waiting window with `text` unless one is already shown; it is painted at once, as the work
// that follows keeps the event loop busy.
void ShowWaiting(const QString& text);
// Hides and frees the waiting window, if any.
void HideWaiting();
