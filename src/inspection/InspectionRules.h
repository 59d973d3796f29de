#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace orvelle {

class User;
struct OnXCheckitem;

// "qzDept": ou1 "/" ou2 of the user; an absent part is the empty text.
QString departmentText(const User &user);

// The request parameters of today's submitted sheets of a check point.
QJsonObject todaySheetsParameters(const QString &notesServer, const QString &key, const User &user);

// The request parameters of a check point's blank sheet ("/notes/notesreceiveKs").
QJsonObject blankSheetParameters(const QString &notesServer, const QString &key);
// Under which name a check point's blank sheet is kept on the device.
QString keptBlankSheetName(const QString &key);

// "0" when an item is judged unqualified before the first one not judged
// yet, "1" otherwise: the sheet's "allapprove" as an upload finds it.
QString allapproveOf(const QList<OnXCheckitem> &items);
// Some item is not judged yet.
bool hasUnjudged(const QList<OnXCheckitem> &items);

// What an item without a name is called on every screen.
QString unknownItemText(); // "未知检查项"

// The check point key in a scanned code: the text of "key" in a JSON object.
// Text that is not JSON is logged; anything else is silently not a key.
std::optional<QString> checkPointKey(const QString &scannedText);

// The pieces of a "----"-joined photo text, empty pieces dropped.
QStringList splitPhotoAddresses(const std::optional<QString> &text);

} // namespace orvelle
