#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

namespace orvelle::test {

// One statement on a connection of its own, as a tool beside the app would run it.
inline QString sqlAnswer(const QString &file, const QString &statement)
{
    QString answer;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "check");
        db.setDatabaseName(file);
        if (db.open()) {
            QSqlQuery query(db);
            if (!query.exec(statement))
                qWarning("sqlAnswer: %s", qPrintable(query.lastError().text()));
            else if (query.next())
                answer = query.value(0).toString();
        }
    }
    QSqlDatabase::removeDatabase("check");
    return answer;
}

} // namespace orvelle::test
