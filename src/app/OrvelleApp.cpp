#include "OrvelleApp.h"

#include "AppContext.h"
#include "RootView.h"
#include "RunningClient.h"
#include "net/FileStorePhotoAccess.h"
#include "platform/WebSandbox.h"
#include "session/User.h"
#include <orvelle/BuildInfo.h>

#include <QCommandLineParser>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImageReader>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <optional>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace orvelle {

namespace {
void defineOptions(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QStringLiteral("Orvelle, the field client of the "
                                                    "safety-hazard inspection system."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({QStringLiteral("config"),
                      QStringLiteral("Read the configuration from <file> (default: "
                                     "$ORVELLE_CONFIG, else %1 when it exists, else the "
                                     "built-in defaults).")
                          .arg(AppConfig::systemConfigFile()),
                      QStringLiteral("file")});
    parser.addOption({QStringLiteral("screenshot"),
                      QStringLiteral("Save the first frame to <file> as PNG, then quit."),
                      QStringLiteral("file")});
}

int saveScreenshotAndQuit(QQuickWindow *window, const QString &file)
{
    const QImage image = window->grabWindow();
    if (image.isNull() || !image.save(file, "PNG")) {
        std::fprintf(stderr, "orvelle: %s: could not write the screenshot\n", qPrintable(file));
        return 1;
    }
    std::printf("orvelle: screenshot written to %s\n", qPrintable(file));
    // A pipe buffers stdout fully: whoever waits for this line gets it now,
    // not after the teardown.
    std::fflush(stdout);
    return 0;
}

// A page the engine could not make: its errors, each with file and line, so
// a damaged installation says which module or file it lacks. (Creating a
// component that is not ready crashes Qt 6.4; this is said instead.)
int reportFailedPage(const QQmlComponent &page)
{
    std::fprintf(stderr, "orvelle: the window cannot be shown:\n");
    for (const QQmlError &error : page.errors()) {
        // A module that an imported module imports has no line of the page.
        const char *where = error.line() > 0 ? "" : " (through a module that file imports)";
        std::fprintf(stderr, "  %s%s\n", qPrintable(error.toString()), where);
    }
    return 1;
}
} // namespace

void forbidCoreDumps()
{
    const rlimit none{0, 0};
    if (::setrlimit(RLIMIT_CORE, &none) != 0 || ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) != 0)
        std::fprintf(stderr, "orvelle: core dumps could not be turned off\n");
}

QString versionLine()
{
    return QStringLiteral("orvelle %1 (build %2)")
        .arg(QLatin1String(build::marketingVersion), QLatin1String(build::buildNumber));
}

LaunchOptions parseLaunchOptions(const QStringList &arguments)
{
    QCommandLineParser parser;
    defineOptions(parser);
    LaunchOptions options;
    if (!parser.parse(arguments)) {
        options.error = parser.errorText();
        return options;
    }
    if (!parser.positionalArguments().isEmpty()) {
        options.error = QStringLiteral("unexpected argument '%1'")
                            .arg(parser.positionalArguments().constFirst());
        return options;
    }
    options.configFile = parser.value(QStringLiteral("config"));
    options.screenshotFile = parser.value(QStringLiteral("screenshot"));
    options.showVersion = parser.isSet(QStringLiteral("version"));
    options.showHelp = parser.isSet(QStringLiteral("help"));
    options.helpText = parser.helpText();
    return options;
}

void prepareQuickEnvironment()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Orvelle"));
    QCoreApplication::setApplicationName(QStringLiteral("orvelle"));
    QCoreApplication::setApplicationVersion(QLatin1String(build::marketingVersion));
    QGuiApplication::setDesktopFileName(QLatin1String(build::appId));
    // The web engine is loaded later by the one page that needs it.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    qputenv("QT_QUICK_CONTROLS_MATERIAL_ACCENT", "#d32f2f");
    qputenv("QT_QUICK_CONTROLS_MATERIAL_PRIMARY", "#d32f2f");
    QQuickStyle::setStyle(QStringLiteral("Material"));
}

// The screens are Chinese: a face that has the Latin letters too draws every
// line in one style, where the default face would leave each Chinese glyph
// to a fallback face (a second font engine for every size).
void useChineseFace()
{
    QFont text = QGuiApplication::font();
    text.setFamilies({QStringLiteral("Noto Sans CJK SC"), text.family()});
    QGuiApplication::setFont(text);
}

// Reads the font set and the image formats on a thread of its own from the
// start: the loader thread needs the fonts to register the controls' style,
// the first label and the first picture need both, and read on the GUI thread
// the font set would hold the loader up. Joined before the application goes.
std::jthread readFontsAndImageFormats()
{
    return std::jthread([] {
        QFontDatabase::families();
        QImageReader::supportedImageFormats();
    });
}

// Loads the text face for the GUI thread while the loader thread compiles
// the pages: the first label would otherwise wait for it.
void warmTheTextFace()
{
    QFontMetricsF metrics(QGuiApplication::font());
    metrics.horizontalAdvance(QStringLiteral("登入岚石"));
}

void prepareEngine(QQmlEngine &engine)
{
    // The static QML modules register their files under qrc:/.
    engine.addImportPath(QStringLiteral("qrc:/"));
}

namespace {
// What the command line settles alone: the exit code when the run ends there.
std::optional<int> answerCommandLine(const LaunchOptions &options)
{
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "orvelle: %s\n", qPrintable(options.error));
        return 2;
    }
    if (options.showHelp) {
        std::printf("%s", qPrintable(options.helpText));
        return 0;
    }
    if (options.showVersion) {
        std::printf("%s\n", qPrintable(versionLine()));
        return 0;
    }
    return std::nullopt;
}

// Without a display the first screen is drawn offscreen.
void drawOffscreenWithoutDisplay()
{
    const bool headless =
        qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (headless && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// One client per device folder: two would deliver the same work twice. A
// second start brings the first window forward (true: this start ends); if
// that one does not answer, it shows why it cannot run and leaves the folder
// alone.
bool broughtFirstForward(const StoreLock &storeLock, RunningClient &runningClient,
                         const QString &deviceFolder)
{
    if (storeLock.state() == StoreLock::State::InUse && RunningClient::askToShow(deviceFolder)) {
        std::printf("orvelle: already running; its window was brought forward\n");
        return true;
    }
    if (storeLock.held() && !runningClient.listen())
        std::fprintf(stderr, "orvelle: a second start cannot reach this one\n");
    return false;
}

// A plain engine: the application engine's file selector would look for
// variants of every page and image, and there are none.
void prepareClientEngine(QQmlEngine &engine, FileStorePhotoAccess &photoAccess)
{
    prepareEngine(engine);
    QObject::connect(&engine, &QQmlEngine::quit, qApp, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    QObject::connect(&engine, &QQmlEngine::exit, qApp, &QCoreApplication::exit,
                     Qt::QueuedConnection);
    engine.setNetworkAccessManagerFactory(&photoAccess);
}

QUrl firstScreenPage(const RootView &rootView)
{
    return QUrl(rootView.loginView() ? QStringLiteral("qrc:/Orvelle/Account/qml/SignInStack.qml")
                                     : QStringLiteral("qrc:/Orvelle/App/qml/ContentPage.qml"));
}

// The first frame is saved when asked for; then the held work starts (a timer
// after the screenshot's, so the frame is done and taken first).
void afterFirstFrame(QQuickWindow *window, FirstFrameGate &gate, const QString &screenshotFile)
{
    if (!screenshotFile.isEmpty()) {
        QObject::connect(
            window, &QQuickWindow::frameSwapped, qApp,
            [window, file = screenshotFile] {
                // After the first frame, outside the render callback.
                QTimer::singleShot(0, window, [window, file] {
                    QCoreApplication::exit(saveScreenshotAndQuit(window, file));
                });
            },
            Qt::SingleShotConnection);
    }
    QObject::connect(
        window, &QQuickWindow::frameSwapped, &gate,
        [gate = &gate] { QTimer::singleShot(0, gate, &FirstFrameGate::open); },
        Qt::SingleShotConnection);
}

// Builds the context while the window's pages compile, shows the window, and
// runs until the client quits.
int showWindow(const AppConfig &config, StoreLock storeLock, RunningClient &runningClient,
               const QString &screenshotFile)
{
    const QUrl mainPage(QStringLiteral("qrc:/Orvelle/App/qml/Main.qml"));
    // Declared before the engine, so they outlive the pages.
    std::unique_ptr<AppContext> context;
    std::optional<RootView> rootView;
    FileStorePhotoAccess photoAccess(config);
    QQmlEngine engine;
    prepareClientEngine(engine, photoAccess);
    const QQmlComponent pages(&engine, mainPage, QQmlComponent::Asynchronous);
    context = buildAppContext(config, true, std::move(storeLock));
    rootView.emplace(*context);
    // The shown screen's page (the one RootPage.qml loads) compiles next,
    // while the window is made; its loader then waits for it.
    const QQmlComponent screen(&engine, firstScreenPage(*rootView), QQmlComponent::Asynchronous);
    warmTheTextFace();
    // Waits for the compilation started above.
    QQmlComponent windowPage(&engine, mainPage);
    if (!windowPage.isReady())
        return reportFailedPage(windowPage);
    const std::unique_ptr<QObject> root(windowPage.createWithInitialProperties(
        {{QStringLiteral("rootView"), QVariant::fromValue(&*rootView)}}));
    auto *window = qobject_cast<QQuickWindow *>(root.get());
    // The first screen's page may still be compiling: its failure ends the run the same way.
    if (!window || screen.isError())
        return reportFailedPage(window ? screen : windowPage);
    QObject::connect(&screen, &QQmlComponent::statusChanged, qApp, [&screen] {
        if (screen.isError())
            QCoreApplication::exit(reportFailedPage(screen));
    });
    QObject::connect(
        &runningClient, &RunningClient::showRequested, window,
        [window](const QString &token) { RunningClient::bringForward(*window, token); });
    afterFirstFrame(window, context->firstFrame, screenshotFile);
    return QCoreApplication::exec();
}
} // namespace

int runOrvelle(int argc, char **argv)
{
    forbidCoreDumps();
    keepWebSandbox(::geteuid() == 0);
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const LaunchOptions options = parseLaunchOptions(arguments);
    if (const std::optional<int> code = answerCommandLine(options))
        return *code;
    drawOffscreenWithoutDisplay();
    prepareQuickEnvironment();
    QGuiApplication app(argc, argv);
    useChineseFace();
    const std::jthread fontsAndImageFormats = readFontsAndImageFormats();

    auto loaded = AppConfig::load(options.configFile);
    if (auto *error = std::get_if<ConfigError>(&loaded)) {
        std::fprintf(stderr, "orvelle: %s\n", qPrintable(error->line()));
        return 2;
    }
    const AppConfig &config = std::get<AppConfig>(loaded);
    StoreLock storeLock(config.deviceFolder);
    RunningClient runningClient(config.deviceFolder);
    if (broughtFirstForward(storeLock, runningClient, config.deviceFolder))
        return 0;
    return showWindow(config, std::move(storeLock), runningClient, options.screenshotFile);
}

} // namespace orvelle
