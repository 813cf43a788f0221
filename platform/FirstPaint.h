// The end of a start-up measurement: after the first paint and the paints queued with it have reached the
// window, prints "painted <µs of std::chrono::steady_clock>" and quits. Header-only, so that the minimal
// baseline program of the benchmark uses the same code without linking the program's libraries.
#pragma once

#include <QApplication>
#include <QMetaObject>

#include <chrono>
#include <cstdio>

namespace Platform {

inline void ReportFirstPaintAndQuit(QObject* context) {
    QMetaObject::invokeMethod(
        context,
        [] {
            const auto now = std::chrono::steady_clock::now().time_since_epoch();
            std::printf(
                "painted %lld\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(now).count()));
            std::fflush(stdout);
            QApplication::quit();
        },
        Qt::QueuedConnection);
}

} // namespace Platform
