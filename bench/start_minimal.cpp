// The baseline of the start-up benchmark: a minimal Qt Widgets program that opens one window with one
// table of the main window's size, prints "painted <µs>" (std::chrono::steady_clock) after its first
// paint and quits.
#include "platform/FirstPaint.h"

#include <QApplication>
#include <QHeaderView>
#include <QTableWidget>

namespace {

class TFirstPaint : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !m_painted) {
            m_painted = true;
            Platform::ReportFirstPaintAndQuit(this);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_painted = false;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    TFirstPaint probe;
    QTableWidget table(20, 4);
    table.setHorizontalHeaderLabels({QStringLiteral("Ф.И.О."), QStringLiteral("Возраст"),
                                     QStringLiteral("Пол"), QStringLiteral("Группа")});
    for (int r = 0; r < table.rowCount(); ++r)
        for (int c = 0; c < table.columnCount(); ++c)
            table.setItem(r, c, new QTableWidgetItem(QStringLiteral("Строка %1").arg(r + 1)));
    table.resize(767, 516);
    table.viewport()->installEventFilter(&probe);
    table.show();
    return app.exec();
}
