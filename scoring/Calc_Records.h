// The part of scoring that needs the data module: classifying half profiles through the Symbols
// reference table, composing the four strings of a test record, and writing TEST records.
// Windows call these; the pure operations they build on are in Calc_Unit.h.
#pragma once

#include "scoring/Calc_Unit.h"

#include <QDate>
#include <QTime>

namespace Calc {

// Appends one reaction type to `types` and one intensity digit to `intensities` per factor of the
// 16-character half profile `halfProfil`: the first Symbols row (in table order) whose Posit_Select and
// Negat_Select equal the factor's plus and minus digit. A pair without a row appends nothing, so later
// factors move forward. The outputs are not emptied first.
// Opens Main_DataModule->Symbols_Table on first use and keeps it open; its rows are held in memory until
// the table is reopened or changed. Engine errors propagate as Data::EDatabaseError.
void ClassifyProfil(const QString& halfProfil, QString& types, QString& intensities);

// The record of a completed test run: Result_Profil derived from the 48 digits, then Calc_Profil and
// Calc_ProfilNapr classified from its two halves. Throws EConvertError for a malformed Result_Test.
TTestRecord ComposeRecord(const QString& resultTest);

// The record of a test entered as a bare profile: Result_Test empty, the 32 digits as Result_Profil, and
// the classification of its halves. Throws EConvertError unless `resultProfil` has 32 characters.
TTestRecord ComposeProfileRecord(const QString& resultProfil);

// Adds a TEST record with InsertTestSQL through Main_DataModule (Update_Query). `dbId` is the database
// of the testee (Current_DB_ID). Dates and times are written as ISO text; an invalid date or time is
// refused with Data::EDatabaseError before anything is written.
void InsertTestRecord(int dbId, int menId, const QDate& date, const QTime& time, const QString& note,
                      const TTestRecord& record);

// Rewrites TEST record `testId` with UpdateTestSQL (DB_ID and Men_ID unchanged). With a `version` of 0
// or more the record is written only while its stored Row_Version is still that one (read when the
// record was opened for editing). Throws Data::ERecordChanged when no record has that Test_ID, or when
// it was changed elsewhere meanwhile, so a lost edit is never reported as saved.
void UpdateTestRecord(int testId, const QDate& date, const QTime& time, const QString& note,
                      const TTestRecord& record, qint64 version = -1);

} // namespace Calc
