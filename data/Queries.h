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

} // namespace Data
