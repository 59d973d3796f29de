#include <QCoreApplication>

// Qt as the client runs it: an application object, so plugins (TLS, image
// formats) load the same way.
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}
