// Real message boxes, colour dialog and save-file dialog, replaceable by test handlers.
#include "platform/Dialogs.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

namespace Platform {

namespace {

MessageHandler& messageHandler() {
    static MessageHandler handler;
    return handler;
}

ColorHandler& colorHandler() {
    static ColorHandler handler;
    return handler;
}

SaveFileHandler& saveFileHandler() {
    static SaveFileHandler handler;
    return handler;
}

QMessageBox::Icon toQtIcon(MsgIcon icon) {
    switch (icon) {
    case MsgIcon::Information:
        return QMessageBox::Information;
    case MsgIcon::Question:
        return QMessageBox::Question;
    case MsgIcon::Warning:
        return QMessageBox::Warning;
    case MsgIcon::Error:
        return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

MsgAnswer showReal(const MessageRequest& r) {
    QMessageBox box(toQtIcon(r.icon), r.caption, r.text, QMessageBox::NoButton, r.owner);
    // Names, addresses and paths in a message can be copied from it.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
    QPushButton* yes = nullptr;
    QPushButton* no = nullptr;
    switch (r.buttons) {
    case MsgButtons::Ok:
        ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        box.setEscapeButton(ok);
        break;
    case MsgButtons::OkCancel:
        ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        cancel = box.addButton(QStringLiteral("Отмена"), QMessageBox::RejectRole);
        box.setEscapeButton(cancel);
        break;
    case MsgButtons::YesNo:
        yes = box.addButton(QStringLiteral("&Да"), QMessageBox::YesRole);
        no = box.addButton(QStringLiteral("&Нет"), QMessageBox::NoRole);
        box.setEscapeButton(no);
        break;
    }
    switch (r.defaultAnswer) {
    case MsgAnswer::Ok:
        if (ok)
            box.setDefaultButton(ok);
        break;
    case MsgAnswer::Cancel:
        if (cancel)
            box.setDefaultButton(cancel);
        break;
    case MsgAnswer::Yes:
        if (yes)
            box.setDefaultButton(yes);
        break;
    case MsgAnswer::No:
        if (no)
            box.setDefaultButton(no);
        break;
    }
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    if (clicked == ok)
        return MsgAnswer::Ok;
    if (clicked == yes)
        return MsgAnswer::Yes;
    if (clicked == no)
        return MsgAnswer::No;
    return r.buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Cancel;
}

} // namespace

MsgAnswer messageBox(QWidget* owner, const QString& text, const QString& caption, MsgIcon icon,
                     MsgButtons buttons, MsgAnswer defaultAnswer) {
    const MessageRequest request{owner, text, caption, icon, buttons, defaultAnswer};
    if (messageHandler())
        return messageHandler()(request);
    return showReal(request);
}

MessageHandler setMessageHandler(MessageHandler handler) {
    return std::exchange(messageHandler(), std::move(handler));
}

bool chooseColor(QWidget* owner, QColor& color, const QList<QColor>& customColors) {
    if (colorHandler())
        return colorHandler()(color, customColors);
    // The custom colours are shared by every colour dialog: the offered ones first, the rest cleared.
    for (int i = 0; i < QColorDialog::customCount(); ++i)
        QColorDialog::setCustomColor(i, i < customColors.size() ? customColors[i] : QColor(Qt::white));
    // Qt's own dialog, not the desktop's: it carries the custom colours and the program's translation.
    QColorDialog dialog(color, owner);
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    color = dialog.selectedColor();
    return color.isValid();
}

ColorHandler setColorHandler(ColorHandler handler) {
    return std::exchange(colorHandler(), std::move(handler));
}

QString getSaveFileName(QWidget* owner, const QString& caption, const QString& proposedPath,
                        const QString& filter, const QString& suffix) {
    QString path = proposedPath;
    for (;;) {
        // The dialog's own overwrite question is off: the one below is also asked of a test handler.
        path = saveFileHandler() ? saveFileHandler()(caption, path)
                                 : QFileDialog::getSaveFileName(owner, caption, path, filter, nullptr,
                                                                QFileDialog::DontConfirmOverwrite);
        if (path.isEmpty())
            return {};
        if (!suffix.isEmpty() && !path.endsWith(suffix, Qt::CaseInsensitive))
            path += suffix;
        if (!QFileInfo::exists(path))
            return path;
        const QString question =
            QStringLiteral("Файл «%1» уже существует.\nЗаменить его?").arg(QFileInfo(path).fileName());
        if (messageBox(owner, question, caption, MsgIcon::Question, MsgButtons::YesNo, MsgAnswer::No) ==
            MsgAnswer::Yes)
            return path;
    }
}

QString getOpenFileName(QWidget* owner, const QString& caption, const QString& proposedPath,
                        const QString& filter) {
    return saveFileHandler() ? saveFileHandler()(caption, proposedPath)
                             : QFileDialog::getOpenFileName(owner, caption, proposedPath, filter);
}

SaveFileHandler setSaveFileHandler(SaveFileHandler handler) {
    return std::exchange(saveFileHandler(), std::move(handler));
}

MessageRecorder::MessageRecorder() {
    m_previous = setMessageHandler([this](const MessageRequest& r) {
        messages.append(r);
        if (!answers.isEmpty())
            return answers.takeFirst();
        return r.defaultAnswer;
    });
}

MessageRecorder::~MessageRecorder() { setMessageHandler(std::move(m_previous)); }

} // namespace Platform
