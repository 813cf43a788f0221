// Start-up probe: an event filter on the application that answers the database choice and notes the
// main window's first paint.
#include "app/StartupProbe.h"

#include "app/DB_Frm.h"
#include "app/MainFrm.h"
#include "platform/FirstPaint.h"

#include <QApplication>
#include <QEvent>

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
                Platform::ReportFirstPaintAndQuit(this);
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
