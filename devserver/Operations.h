#pragma once

#include "Params.h"
#include "Store.h"

#include <QList>

#include <functional>

namespace orvelle::devserver {

using LogSink = std::function<void(const QString &line)>;

// What the operations share: the data, the log, and where photos live.
struct ServiceContext
{
    Store &store;
    LogSink log;
    QString photoDir;
    // host:port of the plain-HTTP server, as "httpUrl" carries it.
    QString photoHost;
};

enum class BodyKind { Form, Json };

struct Operation
{
    const char *path;
    BodyKind body;
    std::function<QJsonObject(ServiceContext &, Params &)> run;
};

QList<Operation> accountOperations();
QList<Operation> inspectionOperations();

// The refusal to answer when the request's token does not allow the
// operation; guests ("mobile" 游客) pass where guestAllowed.
std::optional<QJsonObject> refuseUnlessSignedIn(ServiceContext &context, Params &params,
                                                bool guestAllowed);

} // namespace orvelle::devserver
