// A temporary program directory for the test-administration windows: data module, the demo portraits
// and the two instruction files; and helpers that read TEST records and answer modal windows.
#pragma once

#include "TestSupport.h"
#include "platform/Dialogs.h"
#include "tools/portraits/PortraitArt.h"

#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QTimer>

namespace TestingSupport {

inline const QString kResources = QStringLiteral(MORVEL_RESOURCES_DIR);
constexpr int kDbId = 1;

class Fixture {
public:
    explicit Fixture(bool portraits = true, bool instructions = true) {
        TestSupport::pinRussianLocale();
        if (portraits)
            Portraits::WritePortraitSet(m_dir.path() + QStringLiteral("/DB/Images"));
        if (instructions)
            for (const char* name : {"/First_Instruct.rtf", "/Second_Instruct.rtf"})
                QFile::copy(kResources + QLatin1String(name), m_dir.path() + QLatin1String(name));
        m_module = m_dir.createDataModule();
        m_module->Current_DB_ID = kDbId;
    }
    // A live testee of the fixture's database, for whom test records can be written.
    void addTestee(int menId) { TestSupport::ensureTestee(m_module->Main_Database(), kDbId, menId); }
    QString path() const { return m_dir.path(); }

private:
    TestSupport::ProgramDirFixture m_dir;
    std::unique_ptr<TMain_DataModule> m_module;
};

// The TEST records of a testee, oldest first: one string list per record.
struct TRecord {
    int testId;
    int dbId;
    QString date, time, note, resultTest, resultProfil, calcProfil, calcNapr;
};

inline QList<TRecord> recordsOf(int menId) {
    QList<TRecord> records;
    for (const auto& v : TestSupport::selectRows(
             Main_DataModule->Main_Database(),
             QStringLiteral("select Test_ID, DB_ID, Date_Test, Time_Test, Note, Result_Test, Result_Profil, "
                            "Calc_Profil, Calc_ProfilNapr from TEST where Men_ID = :men order by Test_ID"),
             {{QStringLiteral("men"), menId}}))
        records.append({v[0].toInt(), v[1].toInt(), v[2].toString(), v[3].toString(), v[4].toString(),
                        v[5].toString(), v[6].toString(), v[7].toString(), v[8].toString()});
    return records;
}

// Clicks the button named `buttonName` (closes the window when the name is empty) of the next modal
// window of class T once it is up, and counts how many such windows were answered. The watch ends with
// `scope`: a test that expects no such window ends it instead of waiting the tries out.
template <class T>
void answerModal(const char* buttonName, int* answered = nullptr, int tries = 50, QObject* scope = qApp) {
    QTimer::singleShot(20, scope, [=] {
        if (auto* w = qobject_cast<T*>(QApplication::activeModalWidget())) {
            if (answered)
                ++*answered;
            auto* b = *buttonName ? w->template findChild<QPushButton*>(QLatin1String(buttonName)) : nullptr;
            if (b)
                b->click();
            else
                w->close();
        } else if (tries > 0) {
            answerModal<T>(buttonName, answered, tries - 1, scope);
        }
    });
}

} // namespace TestingSupport
