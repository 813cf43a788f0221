// Measuring the start-up: with MORVEL_STARTUP_PROBE set in the environment, the database choice is
// taken as it opens (its current row, as OK would), and when the main window has painted for the first
// time the program prints "painted <µs>" (std::chrono::steady_clock, in microseconds) and quits. A benchmark
// reads that line; without the variable nothing changes.
#pragma once

class QApplication;

namespace Startup {

// Installs the probe on the application when the variable is set.
void InstallStartupProbe(QApplication& app);

} // namespace Startup
