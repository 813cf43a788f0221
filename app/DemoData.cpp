// Demo database: testees with Russian names in two groups.
#include "app/DemoData.h"

#include "data/DataMod.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace Demo {

namespace {

struct DemoTestee {
    const char* fio;
    const char* sex;
    int age;
    int group; // 1 or 2
};

const DemoTestee kTestees[] = {
    {"Иванов Иван Иванович", "М", 34, 1},      {"Петрова Анна Сергеевна", "Ж", 27, 1},
    {"Сидоров Пётр Алексеевич", "М", 45, 2},   {"Ёлкина Мария Викторовна", "Ж", 31, 2},
    {"Кузнецов Дмитрий Олегович", "М", 22, 1}, {"Смирнова Ольга Николаевна", "Ж", 39, 2},
    {"Васильев Андрей Павлович", "М", 52, 1},  {"Новикова Екатерина Игоревна", "Ж", 19, 2},
};

int insert(QSqlQuery& q) {
    if (!q.exec())
        throw Data::EDatabaseError(QStringLiteral("Не удалось создать демонстрационную базу: ") +
                                   q.lastError().databaseText());
    return q.lastInsertId().toInt();
}

} // namespace

void CreateDemoDatabase(TMain_DataModule& dm) {
    QSqlDatabase db = dm.Connection();
    db.transaction();
    try {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("insert into DB (DB_Name, Password) values (?, ?)"));
        q.addBindValue(QStringLiteral("Демонстрационная база"));
        q.addBindValue(QByteArray(""));
        const int dbId = insert(q);

        int groupIds[2] = {0, 0};
        const QString groups[2] = {QStringLiteral("Студенты"), QStringLiteral("Сотрудники")};
        for (int g = 0; g < 2; ++g) {
            q.prepare(QStringLiteral("insert into \"GROUP\" (Group_Name) values (?)"));
            q.addBindValue(groups[g]);
            groupIds[g] = insert(q);
        }
        for (const DemoTestee& t : kTestees) {
            q.prepare(QStringLiteral("insert into USER (DB_ID, FIO, Sex, Age, Group_ID, IsDel) "
                                     "values (?, ?, ?, ?, ?, '')"));
            q.addBindValue(dbId);
            q.addBindValue(QString::fromUtf8(t.fio));
            q.addBindValue(QString::fromUtf8(t.sex));
            q.addBindValue(t.age);
            q.addBindValue(groupIds[t.group - 1]);
            insert(q);
        }
    } catch (...) {
        db.rollback();
        throw;
    }
    db.commit();
}

} // namespace Demo
