// Window captions with the testee's name, read through the data module's repository.
#include "data/Testee.h"

#include "data/DataMod.h"

namespace Data {

QString TesteeCaption(const QString& caption, int menId) {
    Testee testee;
    testee.fio = Main_DataModule->Repo().testeeName(menId);
    return TesteeCaption(caption, testee);
}

QString TesteeCaption(const QString& caption, const Testee& testee) {
    const QString name = testee.fio.simplified();
    return name.isEmpty() ? caption : caption + QStringLiteral(" - ") + name;
}

} // namespace Data
