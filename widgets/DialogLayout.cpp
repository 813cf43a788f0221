// Button rows and window sizes: the room a dialog's layout and title need, and the sizes the user gave
// the windows he resizes.
#include "widgets/DialogLayout.h"

#include "platform/IniFile.h"
#include "platform/Log.h"
#include "platform/ProgramDir.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QLayout>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QWidget>

namespace Widgets {

namespace {

const QString kSection = QStringLiteral("Windows");

// Watches a window: keeps it as wide as its title, gives it the room its layout needs for the texts it
// holds when it shows, and, under a key, saves the size it closes at.
class TSizeKeeper : public QObject {
public:
    TSizeKeeper(QWidget* window, QString key) : QObject(window), m_window(window), m_key(std::move(key)) {
        // The minimum width is set when the window shows: its contents may still change before.
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        // Layouts of pages and grids filled after the window was built still wait to be redone: redone
        // now, the window shows at the size they need.
        if (event->type() == QEvent::Show)
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        if ((event->type() == QEvent::WindowTitleChange && m_window->isVisible()) ||
            event->type() == QEvent::Show)
            fitTitle();
        if (event->type() == QEvent::Show && !m_opened.isValid())
            fitContents();
        else if (event->type() == QEvent::Hide && !event->spontaneous() && !m_key.isEmpty())
            save();
        return false;
    }

private:
    void fitTitle() {
        const QLayout* layout = m_window->layout();
        m_window->setMinimumWidth(
            std::max(TitleWidth(m_window->windowTitle()), layout ? layout->totalMinimumSize().width() : 0));
    }
    // Texts set after the window was built (a prompt, a long name) may need more height at its width.
    void fitContents() {
        if (const QLayout* layout = m_window->layout(); layout && layout->hasHeightForWidth())
            m_window->resize(m_window->width(),
                             std::max(m_window->height(), layout->totalHeightForWidth(m_window->width())));
        m_opened = shownSize();
    }
    // The size of the window when it is neither maximised nor full-screen.
    QSize shownSize() const {
        const QRect normal = m_window->normalGeometry();
        return normal.isValid() ? normal.size() : m_window->size();
    }
    void save() {
        const QSize size = shownSize();
        if (size == m_opened)
            return;
        m_opened = size;
        try {
            Platform::TIniFile(Platform::SettingsPath())
                .WriteString(kSection, m_key, QStringLiteral("%1x%2").arg(size.width()).arg(size.height()));
        } catch (const std::exception& e) {
            // A size not kept is no reason to trouble the user.
            Platform::LogError(QStringLiteral("Размер окна не сохранён"), QString::fromUtf8(e.what()));
        }
    }

    QWidget* m_window;
    QString m_key;
    QSize m_opened;
};

} // namespace

QDialogButtonBox* ButtonRow(QWidget* dialog, QPushButton*& ok, QPushButton*& cancel, const QString& okText,
                            const QString& cancelText) {
    // A child of the dialog from the start: the dialog registers its default button only then.
    auto* box = new QDialogButtonBox(dialog);
    ok = box->addButton(okText, QDialogButtonBox::AcceptRole);
    ok->setDefault(true);
    cancel = box->addButton(cancelText, QDialogButtonBox::RejectRole);
    return box;
}

int TitleWidth(const QString& title) {
    QFont font = QApplication::font();
    font.setBold(true);
    // The bar's icon, its buttons and its borders.
    return QFontMetrics(font).horizontalAdvance(title) +
           4 * QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight);
}

void OpenAt(QWidget* window, QSize size) {
    new TSizeKeeper(window, QString());
    window->resize(size);
}

void RememberSize(QWidget* window, const QString& key, QSize size) {
    new TSizeKeeper(window, key);
    const QStringList last = Platform::TIniFile(Platform::SettingsPath())
                                 .ReadString(kSection, key, QString())
                                 .split(QLatin1Char('x'));
    if (const QSize stored(last.value(0).toInt(), last.value(1).toInt()); !stored.isEmpty()) {
        size = stored;
        if (const QScreen* screen = window->screen())
            size = size.boundedTo(screen->availableGeometry().size());
    }
    window->resize(size);
}

} // namespace Widgets
