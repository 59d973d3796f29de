#include <QCoreApplication>
#include <QLoggingCategory>

// Qt as the client runs it: an application object, so plugins (TLS, image
// formats) load the same way.
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    // A log line per rejected input would cost more than the decoding.
    QLoggingCategory::setFilterRules(QStringLiteral("orvelle.*.debug=false"));
    return 0;
}
