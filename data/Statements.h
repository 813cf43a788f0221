// Every statement on the program's records, written out for each store side by side: the table file's
// text (SQLite) and the server's (PostgreSQL; none where it reads the same text), with ":Name" parameters.
// USER and GROUP are keywords of the server, whose tables are "user" and "group"; GROUP is quoted in the
// table file too. Other names are unquoted and read in either case. A write of the server returns its
// keys as row_id: the engine stores its outcome under a write key (ServerEngine.h).
// The schema's own statements (tables, triggers, checks) are in Schema.cpp.
#pragma once

#include "data/Engine.h"

namespace Data {

// ---- The stored queries of the data module: one quoted line per source line, joined with line breaks.

inline constexpr TSql kMenQuerySQL{
    "select USER.Men_ID, USER.FIO, USER.Sex, USER.Age, USER.Group_ID,\n"
    "           \"GROUP\".Group_Name\n"
    "from USER\n"
    "left join \"GROUP\"\n"
    "on USER.Group_ID = \"GROUP\".Group_ID\n"
    "where USER.DB_ID = :DB_ID and USER.IsDel <> 'D'",
    "select \"user\".Men_ID, \"user\".FIO, \"user\".Sex, \"user\".Age, \"user\".Group_ID,\n"
    "           \"group\".Group_Name\n"
    "from \"user\"\n"
    "left join \"group\"\n"
    "on \"user\".Group_ID = \"group\".Group_ID\n"
    "where \"user\".DB_ID = :DB_ID and \"user\".IsDel <> 'D'"};

inline constexpr TSql kTestsQuerySQL{"select distinct Men_ID\n"
                                     "from TEST\n"
                                     "where DB_ID = :DB_ID\n"
                                     "order by Men_ID"};

inline constexpr TSql kListTestQuerySQL{
    "select Test_ID, Date_Test, Time_Test, Result_Test, Result_Profil, Calc_Profil , Calc_ProfilNapr , "
    "Note , 1 Numb\n"
    "from TEST\n"
    "where Men_ID = :Men_ID\n"
    "order by Test_ID desc"};

// Every test of a database with its testee, for the export to statistics software: testees in name
// order, each one's tests oldest first. Deleted testees and tests without a testee are left out.
inline constexpr TSql kStatExportSQL{
    "select USER.Men_ID, USER.FIO, \"GROUP\".Group_Name, USER.Sex, USER.Age,\n"
    "       TEST.Test_ID, TEST.Date_Test, TEST.Time_Test, TEST.Note, TEST.Result_Test,\n"
    "       TEST.Result_Profil, TEST.Calc_Profil, TEST.Calc_ProfilNapr\n"
    "from TEST\n"
    "join USER\n"
    "on USER.Men_ID = TEST.Men_ID\n"
    "left join \"GROUP\"\n"
    "on USER.Group_ID = \"GROUP\".Group_ID\n"
    "where TEST.DB_ID = :DB_ID and USER.IsDel <> 'D'\n"
    "order by USER.FIO, USER.Men_ID, TEST.Test_ID",
    "select u.Men_ID, u.FIO, g.Group_Name, u.Sex, u.Age,\n"
    "       TEST.Test_ID, TEST.Date_Test, TEST.Time_Test, TEST.Note, TEST.Result_Test,\n"
    "       TEST.Result_Profil, TEST.Calc_Profil, TEST.Calc_ProfilNapr\n"
    "from TEST\n"
    "join \"user\" u\n"
    "on u.Men_ID = TEST.Men_ID\n"
    "left join \"group\" g\n"
    "on u.Group_ID = g.Group_ID\n"
    "where TEST.DB_ID = :DB_ID and u.IsDel <> 'D'\n"
    "order by u.FIO, u.Men_ID, TEST.Test_ID"};

// ---- Whole tables in key order (the data module's tables).

inline constexpr TSql kDbTable{"select * from DB order by DB_ID"};
inline constexpr TSql kUserTable{"select * from USER order by Men_ID",
                                 "select * from \"user\" order by Men_ID"};
inline constexpr TSql kGroupTable{"select * from \"GROUP\" order by Group_ID",
                                  "select * from \"group\" order by Group_ID"};
inline constexpr TSql kGroups{"select Group_ID, Group_Name, Row_Version from \"GROUP\" order by Group_ID",
                              "select Group_ID, Group_Name, Row_Version from \"group\" order by Group_ID"};
inline constexpr TSql kSymbolsTable{"select * from Symbols order by ID_Rec"};
inline constexpr TSql kDurMollTable{"select * from DurMoll order by ID_Rec"};
inline constexpr TSql kSozTable{"select * from Soz order by ID_Rec"};

// ---- Reference rows.

inline constexpr TSql kSymbolRows{
    "select Type_Reaction, Posit_Select, Negat_Select, Napr from Symbols order by ID_Rec"};
inline constexpr TSql kDurMollRows{"select Vector, Reaction, DurMoll from DurMoll order by ID_Rec"};
inline constexpr TSql kSozRows{"select Vector, Reaction, Soz from Soz order by ID_Rec"};

// ---- Databases.

inline constexpr TSql kDatabase{"select DB_ID, DB_Name, Password, Row_Version from DB where DB_ID = :DB_ID"};
inline constexpr TSql kInsertDatabase{"insert into DB (DB_Name, Password) values (:DB_Name, :Password)",
                                      "insert into DB (DB_Name, Password) values (:DB_Name, :Password) "
                                      "returning DB_ID as row_id"};
inline constexpr TSql kUpdateDatabase{
    "update DB set DB_Name = :DB_Name, Password = :Password where DB_ID = :DB_ID "
    "and Row_Version = :Row_Version",
    "update DB set DB_Name = :DB_Name, Password = :Password where DB_ID = :DB_ID "
    "and Row_Version = :Row_Version "
    "returning DB_ID as row_id"};
// A database goes with its testees and their tests, in one transaction.
inline constexpr TSql kDeleteTestsOfDatabase{"delete from TEST where DB_ID = :DB_ID"};
inline constexpr TSql kDeleteTesteesOfDatabase{"delete from USER where DB_ID = :DB_ID",
                                               "delete from \"user\" where DB_ID = :DB_ID"};
inline constexpr TSql kDeleteDatabase{"delete from DB where DB_ID = :DB_ID"};
inline constexpr TSql kPasswords{"select DB_ID, Password from DB"};
inline constexpr TSql kUpdatePassword{"update DB set Password = :Password where DB_ID = :DB_ID"};

// ---- Groups.

inline constexpr TSql kInsertGroup{"insert into \"GROUP\" (Group_Name) values (:Group_Name)",
                                   "insert into \"group\" (Group_Name) values (:Group_Name) "
                                   "returning Group_ID as row_id"};
inline constexpr TSql kRenameGroup{
    "update \"GROUP\" set Group_Name = :Group_Name where Group_ID = :Group_ID and Row_Version = :Row_Version",
    "update \"group\" set Group_Name = :Group_Name where Group_ID = :Group_ID and Row_Version = :Row_Version "
    "returning Group_ID as row_id"};
inline constexpr TSql kDeleteGroup{"delete from \"GROUP\" where Group_ID = :Group_ID",
                                   "delete from \"group\" where Group_ID = :Group_ID "
                                   "returning Group_ID as row_id"};
inline constexpr TSql kGroupExists{"select Group_ID from \"GROUP\" where Group_ID = :Group_ID",
                                   "select Group_ID from \"group\" where Group_ID = :Group_ID"};
// The live testees of every database in a group.
inline constexpr TSql kGroupMemberCount{
    "select count(*) from USER where Group_ID = :Group_ID and IsDel <> 'D'",
    "select count(*) from \"user\" where Group_ID = :Group_ID "
    "and IsDel <> 'D'"};

// ---- Testees.

inline constexpr TSql kTestee{
    "select u.Men_ID, u.DB_ID, u.FIO, u.Sex, u.Age, u.Group_ID, g.Group_Name, u.Row_Version\n"
    "from USER u left join \"GROUP\" g on u.Group_ID = g.Group_ID\n"
    "where u.Men_ID = :Men_ID and u.IsDel <> 'D'",
    "select u.Men_ID, u.DB_ID, u.FIO, u.Sex, u.Age, u.Group_ID, g.Group_Name, u.Row_Version\n"
    "from \"user\" u left join \"group\" g on u.Group_ID = g.Group_ID\n"
    "where u.Men_ID = :Men_ID and u.IsDel <> 'D'"};
inline constexpr TSql kTesteeName{"select FIO from USER where Men_ID = :Men_ID",
                                  "select FIO from \"user\" where Men_ID = :Men_ID"};
inline constexpr TSql kInsertTestee{
    "insert into USER (DB_ID, FIO, Sex, Age, Group_ID, IsDel)\n"
    "values (:DB_ID, :FIO, :Sex, :Age, :Group_ID, '')",
    "insert into \"user\" (DB_ID, FIO, Sex, Age, Group_ID, IsDel)\n"
    "values (:DB_ID, :FIO, :Sex, :Age, :Group_ID, '') returning Men_ID as row_id"};
// Saves only over the version the dialog showed; the schema counts the version up.
inline constexpr TSql kUpdateTestee{
    "update USER set FIO = :FIO, Sex = :Sex, Age = :Age, Group_ID = :Group_ID\n"
    "where Men_ID = :Men_ID and IsDel <> 'D' and Row_Version = :Row_Version",
    "update \"user\" set FIO = :FIO, Sex = :Sex, Age = :Age, Group_ID = :Group_ID\n"
    "where Men_ID = :Men_ID and IsDel <> 'D' and Row_Version = :Row_Version returning Men_ID as row_id"};
// Testees are never removed: deleting one marks him.
inline constexpr TSql kDeleteTestee{"update USER set IsDel = 'D' where Men_ID = :Men_ID",
                                    "update \"user\" set IsDel = 'D' where Men_ID = :Men_ID "
                                    "returning Men_ID as row_id"};

// ---- Test records.

inline constexpr TSql kTestsOf{"select Test_ID, DB_ID, Men_ID, Date_Test, Time_Test, Note, Result_Test, "
                               "Result_Profil, Calc_Profil, Calc_ProfilNapr, Row_Version\n"
                               "from TEST\n"
                               "where Men_ID = :Men_ID\n"
                               "order by Test_ID"};
inline constexpr TSql kTest{"select Test_ID, DB_ID, Men_ID, Date_Test, Time_Test, Note, Result_Test, "
                            "Result_Profil, Calc_Profil, Calc_ProfilNapr, Row_Version\n"
                            "from TEST\n"
                            "where Test_ID = :Test_ID"};
inline constexpr TSql kInsertTest{
    "insert into TEST (DB_ID, Men_ID, Date_Test, Time_Test, Note, Result_Test, Result_Profil, Calc_Profil, "
    "Calc_ProfilNapr) values (:DB_ID, :Men_ID, :Date_Test, :Time_Test, :Note, :Result_Test, :Result_Profil, "
    ":Calc_Profil, :Calc_ProfilNapr)",
    "insert into TEST (DB_ID, Men_ID, Date_Test, Time_Test, Note, Result_Test, Result_Profil, Calc_Profil, "
    "Calc_ProfilNapr) values (:DB_ID, :Men_ID, :Date_Test, :Time_Test, :Note, :Result_Test, :Result_Profil, "
    ":Calc_Profil, :Calc_ProfilNapr) returning Test_ID as row_id"};
// DB_ID and Men_ID stay; a negative version writes over whatever version is stored.
inline constexpr TSql kUpdateTest{
    "update TEST set Date_Test = :Date_Test, Time_Test = :Time_Test, Note = :Note, "
    "Result_Test = :Result_Test, "
    "Result_Profil = :Result_Profil, Calc_Profil = :Calc_Profil, Calc_ProfilNapr = :Calc_ProfilNapr "
    "where Test_ID = :Test_ID and (:Row_Version < 0 or Row_Version = :Row_Version)",
    "update TEST set Date_Test = :Date_Test, Time_Test = :Time_Test, Note = :Note, "
    "Result_Test = :Result_Test, "
    "Result_Profil = :Result_Profil, Calc_Profil = :Calc_Profil, Calc_ProfilNapr = :Calc_ProfilNapr "
    "where Test_ID = :Test_ID and (:Row_Version < 0 or Row_Version = :Row_Version) "
    "returning Test_ID as row_id"};
inline constexpr TSql kDeleteTest{"delete from TEST where Test_ID = :Test_ID",
                                  "delete from TEST where Test_ID = :Test_ID returning Test_ID as row_id"};

} // namespace Data
