// Schema of the table file, the shipped reference rows, the write guards, and the per-connection set-up.
#include "data/Schema.h"

#include "data/FileEngine.h"
#include "data/Password.h"
#include "data/ServerEngine.h"

#include <QFile>
#include <QHash>
#include <QSet>

#include <algorithm>

namespace Data {

namespace {

struct TTableDef {
    const char* name;
    const char* create;
    QStringList columns; // the columns the program reads and writes
};

const TTableDef kDataTables[] = {
    {"DB",
     R"(create table DB (
        DB_ID integer primary key autoincrement,
        DB_Name varchar(100) collate RUSSIAN not null default '',
        Password blob not null default x'',
        Row_Version integer not null default 1))",
     {"DB_ID", "DB_Name", "Password"}},
    {"USER",
     R"(create table USER (
        Men_ID integer primary key autoincrement,
        DB_ID integer not null,
        FIO varchar(200) collate RUSSIAN not null default '',
        Sex varchar(1) collate RUSSIAN not null default '',
        Age smallint,
        Group_ID integer not null default 0,
        IsDel varchar(1) not null default '',
        Row_Version integer not null default 1))",
     {"Men_ID", "DB_ID", "FIO", "Sex", "Age", "Group_ID", "IsDel"}},
    {"GROUP",
     R"(create table "GROUP" (
        Group_ID integer primary key autoincrement,
        Group_Name varchar(50) collate RUSSIAN not null default '',
        Row_Version integer not null default 1))",
     {"Group_ID", "Group_Name"}},
    {"TEST",
     R"(create table TEST (
        Test_ID integer primary key autoincrement,
        DB_ID integer not null,
        Men_ID integer not null,
        Date_Test date,
        Time_Test time,
        Note varchar(250) collate RUSSIAN not null default '',
        Result_Test varchar(48) not null default '',
        Result_Profil varchar(32) not null default '',
        Calc_Profil varchar(16) not null default '',
        Calc_ProfilNapr varchar(50) not null default '',
        Row_Version integer not null default 1))",
     {"Test_ID", "DB_ID", "Men_ID", "Date_Test", "Time_Test", "Note", "Result_Test", "Result_Profil",
      "Calc_Profil", "Calc_ProfilNapr"}},
};

struct TReferenceDef {
    TTableDef table;
    const char* resource;
    QStringList keyColumns; // a shipped row is missing when no row has its key
};

const TReferenceDef kReferenceTables[] = {
    {{"Symbols",
      R"(create table Symbols (
        ID_Rec integer primary key autoincrement,
        Type_Reaction varchar(1) not null default '',
        Posit_Select varchar(1) not null default '',
        Negat_Select varchar(1) not null default '',
        Napr varchar(1) not null default ''))",
      {"ID_Rec", "Type_Reaction", "Posit_Select", "Negat_Select", "Napr"}},
     ":/reference/symbols.csv",
     {"Posit_Select", "Negat_Select"}},
    {{"DurMoll",
      R"(create table DurMoll (
        ID_Rec integer primary key autoincrement,
        Vector smallint not null,
        Reaction varchar(2) not null default '',
        DurMoll smallint not null default 0))",
      {"ID_Rec", "Vector", "Reaction", "DurMoll"}},
     ":/reference/durmoll.csv",
     {"Vector", "Reaction"}},
    {{"Soz",
      R"(create table Soz (
        ID_Rec integer primary key autoincrement,
        Vector smallint not null,
        Reaction varchar(2) not null default '',
        Soz smallint not null default 0))",
      {"ID_Rec", "Vector", "Reaction", "Soz"}},
     ":/reference/soz.csv",
     {"Vector", "Reaction"}},
};

const char* const kIndexes[] = {
    "create index if not exists USER_DB on USER (DB_ID)",
    "create index if not exists TEST_Men on TEST (Men_ID)",
    "create index if not exists TEST_DB on TEST (DB_ID, Men_ID)",
};

// Guards against rows that nothing can reach any more: a testee in a database that another program
// instance deleted meanwhile, a test of a testee that is gone. The engine refuses such a write with the
// message after the mark, which the data layer shows as it stands.
const char* const kGuards[] = {
    R"(create trigger if not exists USER_Owner_Insert before insert on USER
       begin
         select raise(abort, 'MORVEL: База данных не найдена: она удалена, возможно, на другом рабочем месте. Запись не сохранена.')
         where not exists (select 1 from DB where DB_ID = new.DB_ID);
       end)",
    R"(create trigger if not exists USER_Owner_Update before update of DB_ID on USER
       begin
         select raise(abort, 'MORVEL: База данных не найдена: она удалена, возможно, на другом рабочем месте. Запись не сохранена.')
         where not exists (select 1 from DB where DB_ID = new.DB_ID);
       end)",
    R"(create trigger if not exists TEST_Owner_Insert before insert on TEST
       begin
         select raise(abort, 'MORVEL: База данных не найдена: она удалена, возможно, на другом рабочем месте. Результаты теста не сохранены.')
         where not exists (select 1 from DB where DB_ID = new.DB_ID);
         select raise(abort, 'MORVEL: Тестируемый не найден: он удалён, возможно, на другом рабочем месте. Результаты теста не сохранены.')
         where not exists (select 1 from USER where Men_ID = new.Men_ID and DB_ID = new.DB_ID and IsDel <> 'D');
       end)",
    R"(create trigger if not exists TEST_Owner_Update before update of DB_ID, Men_ID on TEST
       begin
         select raise(abort, 'MORVEL: Тестируемый не найден: он удалён, возможно, на другом рабочем месте. Результаты теста не сохранены.')
         where not exists (select 1 from USER where Men_ID = new.Men_ID and DB_ID = new.DB_ID and IsDel <> 'D');
       end)",
};

// Tables whose rows carry a version: every update counts it up, and an edit saves only over the version
// it read (a record changed elsewhere meanwhile is not overwritten).
struct TVersioned {
    const char* table; // as SQL names it
    const char* key;
};
const TVersioned kVersionedTables[] = {
    {"DB", "DB_ID"}, {"USER", "Men_ID"}, {"\"GROUP\"", "Group_ID"}, {"TEST", "Test_ID"}};

// The trigger that counts a row's version up on every update that did not set it itself.
QString versionTrigger(const TVersioned& t) {
    QString name = QString::fromLatin1(t.table);
    name.remove(u'"');
    return QStringLiteral("create trigger if not exists %1_Version after update on %2 "
                          "when new.Row_Version = old.Row_Version "
                          "begin update %2 set Row_Version = old.Row_Version + 1 where %3 = new.%3; end")
        .arg(name, QString::fromLatin1(t.table), QString::fromLatin1(t.key));
}

void exec(TEngine& db, const QString& sql) {
    try {
        db.Exec(sql);
    } catch (const EDatabaseError& e) {
        throw EDatabaseError(QStringLiteral("Не удалось подготовить таблицы базы данных: ") + e.message());
    }
}

// Runs a query and hands each row's values to `row`.
template <class F> void select(TEngine& db, const QString& sql, F&& row) {
    for (const QVector<QVariant>& values : db.Rows(sql))
        row(values);
}

QString quoted(const QString& name) { return QLatin1Char('"') + name + QLatin1Char('"'); }

// The file of a table-file engine as the user knows it.
QString fileName(TEngine& db) { return static_cast<TFileEngine&>(db).Path(); }

// Column names of a table, in lower case (names are matched without regard to case).
QSet<QString> columnsOf(TEngine& db, const QString& table) {
    QSet<QString> columns;
    if (db.IsServer()) {
        for (const auto& row :
             db.Rows(QStringLiteral("select column_name from information_schema.columns "
                                    "where table_schema = current_schema() and table_name = :name"),
                     {{QStringLiteral("name"), table.toLower()}}))
            columns.insert(row[0].toString().toLower());
        return columns;
    }
    select(db, QStringLiteral("pragma table_info(") + quoted(table) + QLatin1Char(')'),
           [&columns](const QVector<QVariant>& v) { columns.insert(v[1].toString().toLower()); });
    return columns;
}

QStringList missingColumns(TEngine& db, const TTableDef& def) {
    const QSet<QString> present = columnsOf(db, QString::fromLatin1(def.name));
    QStringList missing;
    for (const QString& c : def.columns)
        if (!present.contains(c.toLower()))
            missing << QString::fromLatin1(def.name) + QLatin1Char('.') + c;
    return missing;
}

int rowCount(TEngine& db, const QString& table) {
    int count = 0;
    select(db, QStringLiteral("select count(*) from ") + quoted(table),
           [&count](const QVector<QVariant>& v) { count = v[0].toInt(); });
    return count;
}

// The shipped rows of a reference table (header row, comma separated, no quoting), as written.
struct TShippedRows {
    QStringList header;
    QList<QStringList> rows;

    // The bound value of cell `c` of `row`: the key and the small-integer columns are numbers, the
    // one-character codes text.
    QVariant Value(const QStringList& row, qsizetype c) const {
        const QString& name = header[c];
        const bool numeric = c == 0 || name == QLatin1String("Vector") || name == QLatin1String("DurMoll") ||
                             name == QLatin1String("Soz");
        return numeric ? QVariant(row[c].toInt()) : QVariant(row[c]);
    }
};

TShippedRows shippedRows(const TReferenceDef& def) {
    QFile file(QString::fromLatin1(def.resource));
    if (!file.open(QIODevice::ReadOnly))
        throw EDatabaseError(QStringLiteral("Не найдены справочные данные ") + file.fileName());
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    TShippedRows shipped;
    if (lines.isEmpty())
        return shipped;
    shipped.header = lines.first().trimmed().split(QLatin1Char(','));
    for (qsizetype l = 1; l < lines.size(); ++l) {
        QStringList cells = lines[l].trimmed().split(QLatin1Char(','));
        if (cells.size() == shipped.header.size())
            shipped.rows << std::move(cells);
    }
    return shipped;
}

QString keyText(const QVector<QVariant>& values) {
    QStringList parts;
    for (const QVariant& v : values)
        parts << v.toString();
    return parts.join(QChar(0x1F));
}

// Inserts the shipped rows whose key no row of the table has. A new table gets the shipped keys as
// well; rows restored into a table that has others go after them, so rows already there keep
// precedence. Returns the number of rows written.
int restoreRows(TEngine& db, const TReferenceDef& def, bool newTable) {
    const TShippedRows shipped = shippedRows(def);
    const QString table = QString::fromLatin1(def.table.name);
    QSet<QString> present;
    if (!newTable)
        select(db, QStringLiteral("select ") + def.keyColumns.join(u',') + QStringLiteral(" from ") + table,
               [&present](const QVector<QVariant>& v) { present.insert(keyText(v)); });
    // The rows' values are made only for the rows that are written: every start comes here.
    QList<qsizetype> keyCells;
    for (const QString& k : def.keyColumns)
        keyCells << shipped.header.indexOf(k);
    int written = 0;
    for (const QStringList& cells : shipped.rows) {
        QVariantList key;
        for (const qsizetype c : keyCells)
            key << (c < 0 ? QVariant() : shipped.Value(cells, c));
        if (present.contains(keyText(key)))
            continue;
        QVariantMap row;
        for (qsizetype c = 0; c < cells.size(); ++c)
            row.insert(shipped.header[c], shipped.Value(cells, c));
        QStringList names;
        QStringList marks;
        for (qsizetype c = newTable ? 0 : 1; c < shipped.header.size(); ++c) {
            names << shipped.header[c];
            marks << QLatin1Char(':') + shipped.header[c];
        }
        db.Exec(QStringLiteral("insert into ") + table + QStringLiteral(" (") + names.join(u',') +
                    QStringLiteral(") values (") + marks.join(u',') + QLatin1Char(')'),
                row);
        present.insert(keyText(key));
        ++written;
    }
    return written;
}

int userVersion(TEngine& db) {
    int version = 0;
    select(db, QStringLiteral("pragma user_version"),
           [&version](const QVector<QVariant>& v) { version = v[0].toInt(); });
    return version;
}

// Group keys are never handed out twice: the testees of a deleted group keep its key, and a new group
// under that key would take them in. The table counts its keys itself (AUTOINCREMENT); a table made
// without the counter (by another tool) is rebuilt with it, keeping every row and column, and the
// counter starts above every group key in use, also those that testees still hold.
void keepGroupKeys(TEngine& db) {
    QString made;
    select(db,
           QStringLiteral(
               "select sql from sqlite_master where type = 'table' and name = 'GROUP' collate nocase"),
           [&made](const QVector<QVariant>& v) { made = v[0].toString(); });
    if (!made.contains(QStringLiteral("autoincrement"), Qt::CaseInsensitive)) {
        QStringList columns;
        select(db, QStringLiteral("pragma table_info(\"GROUP\")"),
               [&columns](const QVector<QVariant>& v) { columns << quoted(v[1].toString()); });
        const TTableDef& group =
            *std::find_if(std::begin(kDataTables), std::end(kDataTables),
                          [](const TTableDef& t) { return qstrcmp(t.name, "GROUP") == 0; });
        QString create = QString::fromUtf8(group.create);
        create.replace(QStringLiteral("\"GROUP\""), QStringLiteral("\"GROUP_Keys\""));
        exec(db, create);
        const QSet<QString> ours = columnsOf(db, QStringLiteral("GROUP_Keys"));
        for (const QString& column : std::as_const(columns))
            if (!ours.contains(QString(column).remove(u'"').toLower()))
                exec(db, QStringLiteral("alter table \"GROUP_Keys\" add column ") + column);
        const QString list = columns.join(QStringLiteral(", "));
        exec(db, QStringLiteral("insert into \"GROUP_Keys\" (%1) select %1 from \"GROUP\"").arg(list));
        exec(db, QStringLiteral("drop table \"GROUP\""));
        exec(db, QStringLiteral("alter table \"GROUP_Keys\" rename to \"GROUP\""));
    }
    qint64 highest = 0;
    select(db,
           QStringLiteral("select max(coalesce((select max(seq) from sqlite_sequence where name = 'GROUP' "
                          "collate nocase), 0), coalesce((select max(Group_ID) from \"GROUP\"), 0), "
                          "coalesce((select max(Group_ID) from USER), 0))"),
           [&highest](const QVector<QVariant>& v) { highest = v[0].toLongLong(); });
    exec(db,
         QStringLiteral("delete from sqlite_sequence where name collate nocase in ('GROUP', 'GROUP_Keys')"));
    if (highest > 0)
        db.Exec(QStringLiteral("insert into sqlite_sequence (name, seq) values ('GROUP', :seq)"),
                {{QStringLiteral("seq"), highest}});
}

} // namespace

const QList<TTableKey>& TableKeys() {
    static const QList<TTableKey> keys = [] {
        QList<TTableKey> k;
        for (const TTableDef& t : kDataTables)
            k.append({QString::fromLatin1(t.name), t.columns.first(), t.columns + QStringList{kRowVersion}});
        for (const TReferenceDef& r : kReferenceTables)
            k.append({QString::fromLatin1(r.table.name), r.table.columns.first(), r.table.columns});
        return k;
    }();
    return keys;
}

TSchemaReport PrepareSchema(TFileEngine& db, bool readOnly) {
    TSchemaReport report;
    QSet<QString> tables;
    select(db, QStringLiteral("select name from sqlite_master where type = 'table'"),
           [&tables](const QVector<QVariant>& v) { tables.insert(v[0].toString().toLower()); });
    tables.remove(QStringLiteral("sqlite_sequence"));
    const auto has = [&tables](const char* name) {
        return tables.contains(QString::fromLatin1(name).toLower());
    };

    QSet<QString> ours;
    for (const TTableDef& t : kDataTables)
        ours.insert(QString::fromLatin1(t.name).toLower());
    for (const TReferenceDef& r : kReferenceTables)
        ours.insert(QString::fromLatin1(r.table.name).toLower());

    bool anyData = false;
    QStringList missing;
    for (const TTableDef& t : kDataTables) {
        if (has(t.name)) {
            anyData = true;
            missing << missingColumns(db, t);
        } else {
            missing << QString::fromLatin1(t.name);
        }
    }
    if (!anyData) {
        // A file without any of the data tables is new (or its creation was interrupted before it
        // committed), unless it holds tables of some other program: those are never touched.
        QStringList foreign;
        for (const QString& t : std::as_const(tables))
            if (!ours.contains(t))
                foreign << t;
        if (!foreign.isEmpty())
            throw EDamagedFile(QStringLiteral("Файл «%1» содержит таблицы другой программы (%2) и не будет "
                                              "изменён.")
                                   .arg(fileName(db), foreign.join(QStringLiteral(", "))));
        if (readOnly)
            throw EDatabaseError(QStringLiteral("Файл «%1» не содержит таблиц программы, а папка данных "
                                                "доступна только для чтения.")
                                     .arg(fileName(db)));
        for (const TTableDef& t : kDataTables)
            exec(db, QString::fromUtf8(t.create));
        report.created = true;
        report.needsSeed = true;
    } else if (!missing.isEmpty()) {
        throw EDamagedFile(QStringLiteral("В базе данных «%1» не хватает таблиц или полей: %2. Файл оставлен "
                                          "без изменений; восстановите его из резервной копии.")
                               .arg(fileName(db), missing.join(QStringLiteral(", "))),
                           QString(), missing);
    }
    if (readOnly)
        return report;

    for (const TReferenceDef& r : kReferenceTables) {
        const QString name = QString::fromLatin1(r.table.name);
        const bool created = !has(r.table.name);
        if (created) {
            exec(db, QString::fromUtf8(r.table.create));
        } else {
            const QStringList lost = missingColumns(db, r.table);
            if (!lost.isEmpty())
                throw EDamagedFile(QStringLiteral("В справочной таблице не хватает полей: %1. Файл оставлен "
                                                  "без изменений; восстановите его из резервной копии.")
                                       .arg(lost.join(QStringLiteral(", "))),
                                   QString(), lost);
        }
        if (restoreRows(db, r, created) > 0 && !report.created)
            report.repaired << name;
    }
    for (const char* sql : kIndexes)
        exec(db, QString::fromUtf8(sql));
    // Files of version 2 and earlier get the row versions in place; every row keeps its values and
    // starts at version 1.
    for (const TVersioned& t : kVersionedTables) {
        QString name = QString::fromLatin1(t.table);
        name.remove(u'"');
        if (!columnsOf(db, name).contains(kRowVersion.toLower()))
            exec(db, QStringLiteral("alter table %1 add column Row_Version integer not null default 1")
                         .arg(QString::fromLatin1(t.table)));
    }
    const int version = userVersion(db);
    if (version < kSchemaVersion) {
        // First: rebuilding the group table drops its triggers, which are made again below.
        if (version < 5)
            keepGroupKeys(db);
        for (const char* sql : kGuards)
            exec(db, QString::fromUtf8(sql));
        for (const TVersioned& t : kVersionedTables)
            exec(db, versionTrigger(t));
        // A file of an earlier version in which no database, group, testee or test was ever written
        // lost its first start between the tables and the demo data.
        if (version == 0 && !report.created) {
            bool empty = true;
            for (const TTableDef& t : kDataTables)
                empty = empty && rowCount(db, QString::fromLatin1(t.name)) == 0;
            report.needsSeed = empty;
        }
        // Version 6: passwords are kept as salted hashes instead of the shifted text.
        if (version < kHashedPasswordsVersion)
            report.passwordsHashed = HashShiftedPasswords(db);
        exec(db, QStringLiteral("pragma user_version = %1").arg(kSchemaVersion));
    }
    return report;
}

// ---- The schema on a PostgreSQL server ----

namespace {

// Server names are the program's in lower case; USER and GROUP are keywords there and are quoted.
// Text columns that lists sort by use the ICU collation "russian" (root order, Russian tailoring), which
// CompareRussian follows on the table file.
const char* const kServerTables[] = {
    R"(create table db (
        db_id serial primary key,
        db_name text collate russian not null default '',
        password bytea not null default '',
        row_version integer not null default 1))",
    R"(create table "user" (
        men_id serial primary key,
        db_id integer not null,
        fio text collate russian not null default '',
        sex text collate russian not null default '',
        age smallint,
        group_id integer not null default 0,
        isdel text not null default '',
        row_version integer not null default 1))",
    R"(create table "group" (
        group_id serial primary key,
        group_name text collate russian not null default '',
        row_version integer not null default 1))",
    R"(create table test (
        test_id serial primary key,
        db_id integer not null,
        men_id integer not null,
        date_test date,
        time_test time(0),
        note text collate russian not null default '',
        result_test text not null default '',
        result_profil text not null default '',
        calc_profil text not null default '',
        calc_profilnapr text not null default '',
        row_version integer not null default 1))",
    R"(create table symbols (
        id_rec serial primary key,
        type_reaction text not null default '',
        posit_select text not null default '',
        negat_select text not null default '',
        napr text not null default ''))",
    R"(create table durmoll (
        id_rec serial primary key,
        vector smallint not null,
        reaction text not null default '',
        durmoll smallint not null default 0))",
    R"(create table soz (
        id_rec serial primary key,
        vector smallint not null,
        reaction text not null default '',
        soz smallint not null default 0))",
    "create table morvel_schema (version integer not null)",
};

// Table of the schema version on the server.
constexpr char kServerVersionTable[] = "morvel_schema";

const char* const kServerObjects[] = {
    "create index user_db on \"user\" (db_id)",
    "create index test_men on test (men_id)",
    "create index test_db on test (db_id, men_id)",
    R"(create function morvel_user_owner() returns trigger language plpgsql as $$
       begin
         if not exists (select 1 from db where db_id = new.db_id) then
           raise exception 'MORVEL: База данных не найдена: она удалена, возможно, на другом рабочем месте. Запись не сохранена.';
         end if;
         return new;
       end $$)",
    R"(create trigger user_owner before insert or update of db_id on "user"
       for each row execute function morvel_user_owner())",
    R"(create function morvel_test_owner() returns trigger language plpgsql as $$
       begin
         if tg_op = 'INSERT' and not exists (select 1 from db where db_id = new.db_id) then
           raise exception 'MORVEL: База данных не найдена: она удалена, возможно, на другом рабочем месте. Результаты теста не сохранены.';
         end if;
         if not exists (select 1 from "user" where men_id = new.men_id and db_id = new.db_id and isdel <> 'D') then
           raise exception 'MORVEL: Тестируемый не найден: он удалён, возможно, на другом рабочем месте. Результаты теста не сохранены.';
         end if;
         return new;
       end $$)",
    R"(create trigger test_owner before insert or update of db_id, men_id on test
       for each row execute function morvel_test_owner())",
    R"(create function morvel_row_version() returns trigger language plpgsql as $$
       begin
         if new.row_version = old.row_version then
           new.row_version := old.row_version + 1;
         end if;
         return new;
       end $$)",
    R"(create trigger db_version before update on db for each row execute function morvel_row_version())",
    R"(create trigger user_version before update on "user" for each row execute function morvel_row_version())",
    R"(create trigger group_version before update on "group" for each row execute function morvel_row_version())",
    R"(create trigger test_version before update on test for each row execute function morvel_row_version())",
};

// Version 4: every write outside a transaction stores its key and outcome (morvel_write, see
// ServerEngine.h), and every committed change of a data table is announced to the other sessions.
const char* const kServerStep4[] = {
    R"(create table morvel_write (
        write_key uuid primary key,
        changed integer not null default 0,
        row_id bigint,
        written timestamptz not null default now()))",
    R"(create function morvel_notify() returns trigger language plpgsql as $$
       begin
         perform pg_notify('morvel_change', tg_argv[0]);
         return null;
       end $$)",
    R"(create trigger db_notify after insert or update or delete on db
       for each statement execute function morvel_notify('DB'))",
    R"(create trigger user_notify after insert or update or delete on "user"
       for each statement execute function morvel_notify('USER'))",
    R"(create trigger group_notify after insert or update or delete on "group"
       for each statement execute function morvel_notify('GROUP'))",
    R"(create trigger test_notify after insert or update or delete on test
       for each statement execute function morvel_notify('TEST'))",
};

// Write keys are kept a week: long enough for any repetition of a write.
constexpr char kForgetOldKeys[] = "delete from morvel_write where written < now() - interval '7 days'";

void execServer(TEngine& db, const QByteArray& sql) {
    db.Run(sql, QStringLiteral("Не удалось подготовить таблицы базы данных"));
}

} // namespace

bool ServerRoleReadOnly(TServerEngine& db) {
    bool readOnly = false;
    select(db,
           QStringLiteral("select coalesce(bool_or(not has_table_privilege(c.oid, p.privilege)), false) "
                          "from (values ('db'), ('user'), ('group'), ('test')) t(name) "
                          "cross join (values ('INSERT'), ('UPDATE'), ('DELETE')) p(privilege) "
                          "join pg_class c on c.oid = to_regclass(quote_ident(t.name)) "
                          "union all "
                          "select not has_table_privilege(c.oid, 'INSERT') from pg_class c "
                          "where c.oid = to_regclass('morvel_write')"),
           [&readOnly](const QVector<QVariant>& v) { readOnly = readOnly || v[0].toBool(); });
    return readOnly;
}

TSchemaReport PrepareServerSchema(TServerEngine& db, bool readOnly) {
    TSchemaReport report;
    QSet<QString> tables;
    select(db,
           QStringLiteral("select table_name from information_schema.tables "
                          "where table_schema = current_schema()"),
           [&tables](const QVector<QVariant>& v) { tables.insert(v[0].toString().toLower()); });
    QSet<QString> ours{QString::fromLatin1(kServerVersionTable), QStringLiteral("morvel_write")};
    for (const TTableDef& t : kDataTables)
        ours.insert(QString::fromLatin1(t.name).toLower());
    for (const TReferenceDef& r : kReferenceTables)
        ours.insert(QString::fromLatin1(r.table.name).toLower());
    bool any = false;
    QStringList foreign;
    for (const QString& t : std::as_const(tables)) {
        if (ours.contains(t))
            any = true;
        else
            foreign << t;
    }
    const QString name = db.DatabaseName();
    if (!any) {
        if (!foreign.isEmpty()) {
            foreign.sort();
            throw EDatabaseError(
                QStringLiteral("База данных «%1» на сервере содержит таблицы другой программы "
                               "(%2) и не будет изменена. Укажите пустую базу данных.")
                    .arg(name, foreign.join(QStringLiteral(", "))));
        }
        execServer(db, "create collation if not exists russian (provider = icu, locale = 'ru-RU')");
        for (const char* sql : kServerTables)
            execServer(db, sql);
        for (const char* sql : kServerObjects)
            execServer(db, sql);
        for (const char* sql : kServerStep4)
            execServer(db, sql);
        execServer(db, QByteArray(QByteArray("insert into ") + kServerVersionTable + " (version) values (" +
                                  QByteArray::number(kSchemaVersion) + ")"));
        report.created = true;
    } else {
        QStringList missing;
        for (const TTableDef& t : kDataTables)
            missing << missingColumns(db, t);
        for (const TReferenceDef& r : kReferenceTables)
            missing << missingColumns(db, r.table);
        if (!tables.contains(QString::fromLatin1(kServerVersionTable)))
            missing << QString::fromLatin1(kServerVersionTable);
        for (const TVersioned& t : kVersionedTables) {
            QString table = QString::fromLatin1(t.table);
            table.remove(u'"');
            if (!columnsOf(db, table).contains(kRowVersion.toLower()))
                missing << table + QLatin1Char('.') + kRowVersion;
        }
        // A table that is missing altogether shows as all its columns: name it once.
        if (!missing.isEmpty())
            throw EDatabaseError(
                QStringLiteral("В базе данных «%1» на сервере не хватает таблиц или полей: %2. "
                               "База данных оставлена без изменений.")
                    .arg(name, missing.join(QStringLiteral(", "))));
        if (readOnly)
            return report;
        int version = 0;
        select(db, QStringLiteral("select coalesce(max(version), 0) from morvel_schema"),
               [&version](const QVector<QVariant>& v) { version = v[0].toInt(); });
        if (version < 4) {
            for (const char* sql : kServerStep4)
                execServer(db, sql);
        }
        // Version 6: passwords are kept as salted hashes instead of the shifted text.
        if (version < kHashedPasswordsVersion)
            report.passwordsHashed = HashShiftedPasswords(db);
        if (version < kSchemaVersion)
            execServer(db, "update morvel_schema set version = " + QByteArray::number(kSchemaVersion));
        execServer(db, kForgetOldKeys);
    }
    for (const TReferenceDef& r : kReferenceTables) {
        if (restoreRows(db, r, report.created) > 0 && !report.created)
            report.repaired << QString::fromLatin1(r.table.name);
        // Rows written with their keys leave the key sequence behind: rows restored later get keys after
        // them.
        if (report.created)
            execServer(db, QByteArray("select setval(pg_get_serial_sequence('") + r.table.name +
                               "', 'id_rec'), max(id_rec)) from " + r.table.name);
    }
    return report;
}

} // namespace Data
