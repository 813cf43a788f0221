// Shared helpers of the test suites: the Russian locale, a temporary program directory with its data
// directory, and a data module on it.
#pragma once

#include "data/DataMod.h"
#include "platform/ProgramDir.h"

#include <QDir>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace TestSupport {

// Pins the Russian locale for dates and decimal numbers.
inline void pinRussianLocale() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }

// A temporary program directory with an empty data directory "DB", set as the program directory.
class ProgramDirFixture {
public:
    explicit ProgramDirFixture(bool withDataDir = true) {
        if (withDataDir)
            QDir(m_dir.path()).mkpath(QStringLiteral("DB"));
        Platform::SetProgramDir(m_dir.path());
    }
    QString path() const { return m_dir.path(); }

    // A data module on this directory (schema created on first use).
    std::unique_ptr<TMain_DataModule> createDataModule() const { return TMain_DataModule::Create(path()); }

private:
    QTemporaryDir m_dir;
};

} // namespace TestSupport
