// Reads about one testee or group, through the data module's connection.
#include "data/Testee.h"

#include "data/DataMod.h"

namespace Data {

namespace {

QVariant scalar(const QString& sql, const QString& param, int value) {
    TQuery query(Main_DataModule->Main_Database(), nullptr);
    query.SetSQL(sql);
    query.SetParam(param, value);
    query.Open();
    return query.IsEmpty() ? QVariant() : query.Value(0, 0);
}

} // namespace

QString TesteeName(int menId) {
    return scalar(QStringLiteral("select FIO from USER where Men_ID = :Men_ID"), QStringLiteral("Men_ID"),
                  menId)
        .toString()
        .simplified();
}

QString TesteeCaption(const QString& caption, int menId) {
    const QString name = TesteeName(menId);
    return name.isEmpty() ? caption : caption + QStringLiteral(" - ") + name;
}

int GroupMemberCount(int groupId) {
    return scalar(QStringLiteral("select count(*) from USER where Group_ID = :Group_ID and IsDel <> 'D'"),
                  QStringLiteral("Group_ID"), groupId)
        .toInt();
}

} // namespace Data
