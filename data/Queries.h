// The stored SQL texts of the data module, one quoted line per source line, joined with line breaks.
// GROUP is a reserved word of the engine and is written as a quoted identifier.
#pragma once

#include <QString>

namespace Data {

inline const QString kMenQuerySQL =
    QStringLiteral("select USER.Men_ID, USER.FIO, USER.Sex, USER.Age, USER.Group_ID,\n"
                   "           \"GROUP\".Group_Name\n"
                   "from USER\n"
                   "left join \"GROUP\"\n"
                   "on USER.Group_ID = \"GROUP\".Group_ID\n"
                   "where USER.DB_ID = :DB_ID and USER.IsDel <> 'D'");

inline const QString kTestsQuerySQL = QStringLiteral("select distinct Men_ID\n"
                                                     "from TEST\n"
                                                     "where DB_ID = :DB_ID\n"
                                                     "order by Men_ID");

inline const QString kListTestQuerySQL =
    QStringLiteral("select Test_ID, Date_Test, Time_Test, Result_Test, Result_Profil, Calc_Profil , "
                   "Calc_ProfilNapr , Note , 1 Numb\n"
                   "from TEST\n"
                   "where Men_ID = :Men_ID\n"
                   "order by Test_ID desc");

// Every test of a database with its testee, for the export to statistics software: testees in name
// order, each one's tests oldest first. Deleted testees and tests without a testee are left out.
inline const QString kStatExportSQL =
    QStringLiteral("select USER.Men_ID, USER.FIO, \"GROUP\".Group_Name, USER.Sex, USER.Age,\n"
                   "       TEST.Test_ID, TEST.Date_Test, TEST.Time_Test, TEST.Note, TEST.Result_Test,\n"
                   "       TEST.Result_Profil, TEST.Calc_Profil, TEST.Calc_ProfilNapr\n"
                   "from TEST\n"
                   "join USER\n"
                   "on USER.Men_ID = TEST.Men_ID\n"
                   "left join \"GROUP\"\n"
                   "on USER.Group_ID = \"GROUP\".Group_ID\n"
                   "where TEST.DB_ID = :DB_ID and USER.IsDel <> 'D'\n"
                   "order by USER.FIO, USER.Men_ID, TEST.Test_ID");

} // namespace Data
