// The caption of a window that shows one testee's data.
#pragma once

#include "data/Records.h"

#include <QString>

namespace Data {

// `caption` followed by " - " and the name of testee `menId`, so that a window says whose data it shows;
// the caption alone when the testee is not found.
QString TesteeCaption(const QString& caption, int menId);
// The same with the testee's name as the caller has it.
QString TesteeCaption(const QString& caption, const Testee& testee);

} // namespace Data
