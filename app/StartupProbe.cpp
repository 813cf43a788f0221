// Start-up probe: an event filter on the application that answers the database choice and notes the
// main window's first paint.
#include "app/StartupProbe.h"

#include "app/DB_Frm.h"
#include "app/MainFrm.h"

#include <QApplication>
#include <QEvent>
#include <QMetaObject>

#include <chrono>
#include <cstdio>

namespace Startup {

namespace {

class TStartupProbe : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show)
            if (auto* choice = qobject_cast<TDB_Form*>(watched))
                QMetaObject::invokeMethod(choice, &TDB_Form::Ok_ButClick, Qt::QueuedConnection);
        if (event->type() == QEvent::Paint && !m_painted) {
            auto* widget = qobject_cast<QWidget*>(watched);
            if (widget && qobject_cast<TMain_Form*>(widget->window())) {
                m_painted = true;
                // After this paint and the others queued with it have reached the window.
                QMetaObject::invokeMethod(
                    this,
                    [] {
                        const auto now = std::chrono::steady_clock::now().time_since_epoch();
                        std::printf("painted %lld\n",
                                    static_cast<long long>(
                                        std::chrono::duration_cast<std::chrono::microseconds>(now).count()));
                        std::fflush(stdout);
                        QApplication::quit();
                    },
                    Qt::QueuedConnection);
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_painted = false;
};

} // namespace

void InstallStartupProbe(QApplication& app) {
    if (qEnvironmentVariableIsEmpty("MORVEL_STARTUP_PROBE"))
        return;
    app.installEventFilter(new TStartupProbe(&app));
}

} // namespace Startup
