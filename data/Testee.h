// Small reads about one testee or group that windows show around their own data: the testee's name for
// a window's caption, and how many testees a group holds.
#pragma once

#include <QString>

namespace Data {

// The name (FIO) of testee `menId`, empty when there is none.
QString TesteeName(int menId);

// `caption` followed by " - " and the name of testee `menId`, so that a window says whose data it shows;
// the caption alone when the testee is not found.
QString TesteeCaption(const QString& caption, int menId);

// The testees of every database (deleted ones left out) that belong to group `groupId`.
int GroupMemberCount(int groupId);

} // namespace Data
