#include "MediaModule.h"

#include "core/Logging.h"

#include <QCoreApplication>
#include <QDir>
#include <QPluginLoader>

namespace orvelle {

namespace {
// Where an installed client keeps it, then, for a program run from the build
// tree (the tests, scripts/run), where the build puts it. An installed client
// never looks into a build folder: another user could have put one there.
QStringList pluginFiles()
{
    const QString programDir = QCoreApplication::applicationDirPath();
    QStringList files{QDir(programDir).filePath(QStringLiteral(ORVELLE_MEDIA_INSTALLED_FILE))};
#ifdef ORVELLE_BUILD_TREE
    const QString buildTree = QDir::cleanPath(QStringLiteral(ORVELLE_BUILD_TREE)) + u'/';
    if (QDir::cleanPath(programDir).startsWith(buildTree))
        files << QStringLiteral(ORVELLE_MEDIA_BUILT_FILE);
#endif
    return files;
}

MediaModule *load()
{
    QStringList problems;
    for (const QString &file : pluginFiles()) {
        if (!QFileInfo::exists(file))
            continue;
        // Kept loaded for the run: its objects may live until the end.
        auto *loader = new QPluginLoader(file, QCoreApplication::instance());
        loader->setLoadHints(QLibrary::PreventUnloadHint);
        if (auto *module = qobject_cast<MediaModule *>(loader->instance()))
            return module;
        problems << loader->errorString();
        delete loader;
    }
    qCWarning(lcScan).noquote() << "No camera or sound: the media plugin cannot be loaded"
                                << (problems.isEmpty() ? pluginFiles().join(u", ") + " missing"
                                                       : problems.join(u"; "));
    return nullptr;
}
} // namespace

MediaModule *mediaModule()
{
    static MediaModule *const module = load();
    return module;
}

void showStill(QObject *sink, const QImage &image)
{
    if (MediaModule *media = sink ? mediaModule() : nullptr)
        media->showStill(sink, image);
}

} // namespace orvelle
