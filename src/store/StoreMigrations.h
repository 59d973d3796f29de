#pragma once

#include <QString>
#include <optional>

class QSqlDatabase;

namespace orvelle::storemigrations {

// Brings the open device store `db` (its file named `file`, for the message)
// to the latest version, one numbered step at a time, each step one
// transaction with its version number. The problem, or none.
std::optional<QString> bringForward(QSqlDatabase &db, const QString &file);

} // namespace orvelle::storemigrations
