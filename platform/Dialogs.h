// Message boxes, the system colour dialog and the save-file dialog go through these functions, so that
// tests can answer them without a modal window: a test installs a handler that records the question and
// answers it.
#pragma once

#include <QColor>
#include <QList>
#include <QString>

#include <functional>

class QWidget;

namespace Platform {

enum class MsgIcon { Information, Question, Warning, Error };
enum class MsgButtons { Ok, YesNo, OkCancel };
enum class MsgAnswer { Ok, Cancel, Yes, No };

struct MessageRequest {
    QWidget* owner = nullptr;
    QString text;
    QString caption;
    MsgIcon icon = MsgIcon::Information;
    MsgButtons buttons = MsgButtons::Ok;
    MsgAnswer defaultAnswer = MsgAnswer::Ok;
};

// Shows a modal message box (owner may be null) and returns the button pressed.
// The window's close button answers Cancel, or No for Yes/No questions.
MsgAnswer messageBox(QWidget* owner, const QString& text, const QString& caption, MsgIcon icon,
                     MsgButtons buttons = MsgButtons::Ok, MsgAnswer defaultAnswer = MsgAnswer::Ok);

using MessageHandler = std::function<MsgAnswer(const MessageRequest&)>;
// Replaces the message box for tests; an empty handler restores the real one. Returns the previous one.
MessageHandler setMessageHandler(MessageHandler handler);

// The system colour dialog with a list of custom colours; returns false when cancelled.
bool chooseColor(QWidget* owner, QColor& color, const QList<QColor>& customColors);
using ColorHandler = std::function<bool(QColor& color, const QList<QColor>& customColors)>;
ColorHandler setColorHandler(ColorHandler handler);

// The system save-file dialog opened on `proposedPath`; returns the chosen path with `suffix` (".pdf")
// added when it has none, or an empty string when cancelled. A file that exists is replaced only after
// the user said Yes to the question of messageBox; No opens the dialog again.
QString getSaveFileName(QWidget* owner, const QString& caption, const QString& proposedPath,
                        const QString& filter, const QString& suffix);
// Answers the dialog itself (the question about an existing file is still asked); returns the path or "".
// It answers getOpenFileName too.
using SaveFileHandler = std::function<QString(const QString& caption, const QString& proposedPath)>;
SaveFileHandler setSaveFileHandler(SaveFileHandler handler);

// The system open-file dialog opened on `proposedPath`; returns the chosen file or "" when cancelled.
QString getOpenFileName(QWidget* owner, const QString& caption, const QString& proposedPath,
                        const QString& filter);

// Records every message and answers with a queue of answers (then with the default answer).
// Installs itself on construction and restores the previous handler on destruction.
class MessageRecorder {
public:
    MessageRecorder();
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    QList<MessageRequest> messages;
    QList<MsgAnswer> answers;

private:
    MessageHandler m_previous;
};

} // namespace Platform
