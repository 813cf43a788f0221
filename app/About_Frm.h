// The about box: the title, the animated logo, the contact e-mail link and the place and year.
#pragma once

#include <QDialog>
#include <QLabel>

class QPushButton;
class QVariantAnimation;

// The animation area: our logo, with a frame that walks over its portraits in turn.
class TLogoAnimation : public QWidget {
    Q_OBJECT
public:
    explicit TLogoAnimation(QWidget* parent = nullptr);
    void Play();
    bool Playing() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QVariantAnimation* m_animation;
    int m_portrait = -1;
};

// A label that acts as a link: blue while the mouse is over it, black otherwise; a click opens the
// address with the desktop.
class TLinkLabel : public QLabel {
    Q_OBJECT
public:
    TLinkLabel(const QString& text, QString url, QWidget* parent = nullptr);

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void setTextColor(const QColor& color);
    QString m_url;
};

class TAbout_Form : public QDialog {
    Q_OBJECT
public:
    explicit TAbout_Form(QWidget* parent = nullptr);

    TLogoAnimation* Flash;
    TLinkLabel* EMailLabel;
    QPushButton* Ok_But;
};

void ShowAbout(QWidget* parent = nullptr);

// The contact address of the about box.
extern const QString kContactEMail;
