// What the user sees while the program waits for the database server: a wait cursor after half a
// second, and after three seconds a window "Ожидание ответа сервера…" whose "Отмена" stops the wait (the
// server is asked to stop the statement; the window that started it keeps what was typed).
#pragma once

#include "data/ServerEngine.h"

#include <QDialog>

class QPushButton;

class TServerWait_Form : public QDialog {
    Q_OBJECT
public:
    explicit TServerWait_Form(QWidget* parent = nullptr);
    QPushButton* Cancel_But;
};

class TServerWaitObserver : public Data::Server::TWaitObserver {
public:
    static constexpr qint64 kCursorAfterMs = 500;
    static constexpr qint64 kWindowAfterMs = 3000;

    bool Waiting(qint64 elapsedMs) override;
    void Done() override;

    // The window while it is shown (for tests).
    TServerWait_Form* Form() const { return m_form; }

private:
    bool m_cursor = false;
    bool m_cancel = false;
    TServerWait_Form* m_form = nullptr;
};

// Installs the wait cursor and window for every wait of the program for its server.
void InstallServerWait();
