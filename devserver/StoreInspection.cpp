#include "Store.h"

#include <QDateTime>
#include <QRandomGenerator>

namespace orvelle::devserver {

namespace {

QJsonValue textOrNull(const std::optional<QString> &value)
{
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

QVariant nullable(const std::optional<QString> &value)
{
    return value ? QVariant(*value) : QVariant();
}

} // namespace

QJsonArray Store::checkPoints(const QString &qzdept)
{
    std::lock_guard lock(m_mutex);
    SqlStatement query(m_db, QStringLiteral("SELECT id, key, project, qzdept FROM checkpoints"
                                            " WHERE qzdept = ? ORDER BY id"));
    query.bind(1, qzdept);
    QJsonArray rows;
    while (query.next())
        rows.append(QJsonObject{{QStringLiteral("id"), query.textOr(0)},
                                {QStringLiteral("key"), query.textOr(1)},
                                {QStringLiteral("project"), query.textOr(2)},
                                {QStringLiteral("qzdept"), query.textOr(3)}});
    return rows;
}

QJsonArray Store::sheetsToday(const QString &key)
{
    std::lock_guard lock(m_mutex);
    const QString today = QDateTime::fromMSecsSinceEpoch(now()).toString(u"yyyy-MM-dd");
    SqlStatement query(m_db, QStringLiteral("SELECT seq, checkdate, checkname, username, frmno"
                                            " FROM sheets WHERE key = ? AND day = ? AND hazard = 0"
                                            " ORDER BY seq DESC"));
    query.bindAll({key, today});
    QJsonArray rows;
    while (query.next())
        rows.append(QJsonObject{{QStringLiteral("id"), QString::number(query.integer(0))},
                                {QStringLiteral("checkdate"), query.textOr(1)},
                                {QStringLiteral("checkname"), query.textOr(2)},
                                {QStringLiteral("checkpeople"), query.textOr(3)},
                                {QStringLiteral("frmno"), query.textOr(4)}});
    return rows;
}

Result<QJsonObject> Store::sheet(const QString &frmno)
{
    std::lock_guard lock(m_mutex);
    SqlStatement head(m_db, QStringLiteral("SELECT checkdept, openimageurl, image, rowcount"
                                           " FROM sheets WHERE frmno = ?"));
    head.bind(1, frmno);
    if (!head.next())
        return Result<QJsonObject>::refuse(QStringLiteral("没有找到该检查记录"));
    // The review shows the on-site photos with the added ones.
    QStringList photos;
    for (const QString &part : {head.textOr(1), head.textOr(2)})
        if (!part.isEmpty())
            photos.append(part);
    QJsonObject answer{{QStringLiteral("checkdept"), head.textOr(0)},
                       {QStringLiteral("frmno"), frmno},
                       {QStringLiteral("image"), photos.join(QLatin1String("----"))},
                       {QStringLiteral("rowcount"), head.textOr(3)}};
    SqlStatement items(m_db, QStringLiteral("SELECT id, projectitem, yhlevel, yhtype, yhtypes,"
                                            " isapprove, distription FROM sheet_items"
                                            " WHERE frmno = ? ORDER BY position"));
    items.bind(1, frmno);
    QJsonArray list;
    while (items.next())
        list.append(QJsonObject{{QStringLiteral("id"), textOrNull(items.text(0))},
                                {QStringLiteral("projectitem"), textOrNull(items.text(1))},
                                {QStringLiteral("yhlevel"), textOrNull(items.text(2))},
                                {QStringLiteral("yhtype"), textOrNull(items.text(3))},
                                {QStringLiteral("yhtypes"), textOrNull(items.text(4))},
                                {QStringLiteral("isapprove"), textOrNull(items.text(5))},
                                {QStringLiteral("distription"), textOrNull(items.text(6))}});
    answer.insert(QStringLiteral("checkitems"), list);
    return Result<QJsonObject>::ok(answer);
}

Result<QJsonObject> Store::blankSheet(const QString &key)
{
    std::lock_guard lock(m_mutex);
    SqlStatement head(m_db, QStringLiteral("SELECT checkdept, checkname, checkpl, place, yhfrom"
                                           " FROM checkpoints WHERE key = ?"));
    head.bind(1, key);
    if (!head.next())
        return Result<QJsonObject>::refuse(QStringLiteral("没有找到该检查点"));
    QJsonObject answer{{QStringLiteral("key"), key},
                       {QStringLiteral("checkdept"), head.textOr(0)},
                       {QStringLiteral("checkname"), head.textOr(1)},
                       {QStringLiteral("checkpl"), head.textOr(2)},
                       {QStringLiteral("place"), head.textOr(3)},
                       {QStringLiteral("yhfrom"), head.textOr(4)}};
    SqlStatement items(m_db, QStringLiteral("SELECT id, projectitem, yhtype, yhtypes, yhlevel"
                                            " FROM checkpoint_items WHERE key = ?"
                                            " ORDER BY position"));
    items.bind(1, key);
    QJsonArray list;
    while (items.next())
        list.append(QJsonObject{{QStringLiteral("id"), items.textOr(0)},
                                {QStringLiteral("projectitem"), items.textOr(1)},
                                {QStringLiteral("yhtype"), items.textOr(2)},
                                {QStringLiteral("yhtypes"), items.textOr(3)},
                                {QStringLiteral("yhlevel"), items.textOr(4)}});
    answer.insert(QStringLiteral("rowcount"), list.size());
    answer.insert(QStringLiteral("checkitems"), list);
    return Result<QJsonObject>::ok(answer);
}

QJsonArray Store::places()
{
    std::lock_guard lock(m_mutex);
    SqlStatement query(m_db, QStringLiteral("SELECT place FROM places ORDER BY position"));
    QJsonArray rows;
    while (query.next())
        rows.append(QJsonObject{{QStringLiteral("place"), query.textOr(0)}});
    return rows;
}

Result<CreatedSheet> Store::createSheet(const NewSheet &sheet)
{
    std::lock_guard lock(m_mutex);
    SqlTransaction transaction(m_db);
    if (!sheet.hazard) {
        SqlStatement known(m_db, QStringLiteral("SELECT 1 FROM checkpoints WHERE key = ?"));
        known.bind(1, sheet.key);
        if (!known.next())
            return Result<CreatedSheet>::refuse(QStringLiteral("没有找到该检查点"));
    }
    SqlStatement last(m_db, QStringLiteral("SELECT COALESCE(MAX(seq), 0) + 1 FROM sheets"));
    const qint64 seq = last.next() ? last.integer(0) : 1;
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(now());
    const QString frmno = QStringLiteral("%1%2-%3")
                              .arg(sheet.hazard ? u"YH" : u"JC", at.toString(u"yyyyMMdd"))
                              .arg(seq, 5, 10, QLatin1Char('0'));
    QByteArray raw(16, Qt::Uninitialized);
    for (char &c : raw)
        c = char(QRandomGenerator::system()->bounded(256));
    const QString docid = QString::fromLatin1(raw.toHex().toUpper());

    SqlStatement insert(m_db, QStringLiteral("INSERT INTO sheets (seq, frmno, docid, hazard, day,"
                                             " checkdate, key, checkname, checkdept, checkpl,"
                                             " allapprove, openimageurl, image, ou1, ou2, place,"
                                             " username, weather, yhfrom, server, mobile, rowcount)"
                                             " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?,"
                                             " ?, ?, ?, ?, ?, ?, ?, ?)"));
    insert.bindAll({seq,
                    frmno,
                    docid,
                    sheet.hazard ? 1 : 0,
                    at.toString(u"yyyy-MM-dd"),
                    at.toString(u"yyyy-MM-dd HH:mm:ss"),
                    sheet.key,
                    sheet.checkname,
                    sheet.checkdept,
                    sheet.checkpl,
                    sheet.allapprove,
                    sheet.openimageurl,
                    sheet.image,
                    sheet.ou1,
                    sheet.ou2,
                    sheet.place,
                    sheet.username,
                    sheet.weather,
                    sheet.yhfrom,
                    sheet.server,
                    sheet.mobile,
                    sheet.rowcount});
    if (!insert.run())
        return Result<CreatedSheet>::refuse(QStringLiteral("服务器错误"));
    for (int i = 0; i < sheet.items.size(); ++i) {
        const SheetItem &item = sheet.items.at(i);
        SqlStatement row(m_db, QStringLiteral("INSERT INTO sheet_items VALUES"
                                              " (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        row.bindAll({frmno, i, nullable(item.id), nullable(item.projectitem),
                     nullable(item.yhlevel), nullable(item.yhtype), nullable(item.yhtypes),
                     nullable(item.isapprove), nullable(item.distription)});
        if (!row.run())
            return Result<CreatedSheet>::refuse(QStringLiteral("服务器错误"));
    }
    if (!transaction.commit())
        return Result<CreatedSheet>::refuse(QStringLiteral("服务器错误"));
    return Result<CreatedSheet>::ok({frmno, docid});
}

QList<std::pair<QString, QString>> Store::allCheckPoints()
{
    std::lock_guard lock(m_mutex);
    SqlStatement query(m_db, QStringLiteral("SELECT key, project FROM checkpoints ORDER BY key"));
    QList<std::pair<QString, QString>> result;
    while (query.next())
        result.append({query.textOr(0), query.textOr(1)});
    return result;
}

} // namespace orvelle::devserver
