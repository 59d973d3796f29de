// Time from process start to the first frame of the first screen, for the
// client and for a floor: a minimal Qt Quick window with one Controls button,
// same build, same fonts, same style. Both finish the same way (grab the first
// frame, save it, print a line), so that work cancels out of the ratio.

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <optional>

namespace {

// Enough that the median is the program's, not one busy moment's: on a shared
// machine single starts vary by a fifth.
constexpr int rounds = 21;
constexpr double target = 1.3;

const char floorQml[] = R"(
import QtQuick
import QtQuick.Controls
ApplicationWindow {
    width: 420; height: 800; visible: true
    Button { anchors.centerIn: parent; text: "登入" }
}
)";

// The floor's own process: the same start-up steps the client takes.
int runFloor(int argc, char **argv, const QString &shot)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QQuickStyle::setStyle(QStringLiteral("Material"));
    QGuiApplication app(argc, argv);
    QQmlApplicationEngine engine;
    engine.loadData(floorQml);
    auto *window = qobject_cast<QQuickWindow *>(engine.rootObjects().value(0));
    if (!window)
        return 1;
    QObject::connect(
        window, &QQuickWindow::frameSwapped, &app,
        [window, shot] {
            QTimer::singleShot(0, window, [window, shot] {
                const bool saved = window->grabWindow().save(shot, "PNG");
                std::printf("floor: screenshot written to %s\n", qPrintable(shot));
                std::fflush(stdout);
                QCoreApplication::exit(saved ? 0 : 1);
            });
        },
        Qt::SingleShotConnection);
    return app.exec();
}

// Milliseconds from starting the program to its screenshot line.
std::optional<double> timeToFirstFrame(const QString &program, const QStringList &arguments,
                                       const QProcessEnvironment &environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    QElapsedTimer clock;
    clock.start();
    process.start(program, arguments);
    std::optional<double> elapsed;
    QByteArray output;
    while (process.state() != QProcess::NotRunning || process.bytesAvailable() > 0) {
        process.waitForReadyRead(100);
        output += process.readAllStandardOutput();
        if (!elapsed && output.contains("screenshot written"))
            elapsed = clock.nsecsElapsed() / 1e6;
        if (process.state() == QProcess::NotRunning && process.bytesAvailable() == 0)
            break;
        if (clock.elapsed() > 60000) {
            process.kill();
            break;
        }
    }
    process.waitForFinished(5000);
    if (process.exitCode() != 0) {
        std::fprintf(stderr, "bench_startup: %s failed: %s\n", qPrintable(program),
                     process.readAllStandardError().constData());
        return std::nullopt;
    }
    return elapsed;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--floor") == 0)
        return runFloor(argc, argv, QString::fromLocal8Bit(argv[2]));

    QCoreApplication app(argc, argv);
    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // A fresh account store: the client opens on its sign-in screen.
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
    environment.remove(QStringLiteral("ORVELLE_CONFIG"));
    const QString shot = home.filePath(QStringLiteral("shot.png"));

    QList<double> client, floor;
    // One unmeasured run each warms the file cache.
    for (int round = -1; round < rounds; ++round) {
        const auto f = timeToFirstFrame(QCoreApplication::applicationFilePath(),
                                        {QStringLiteral("--floor"), shot}, environment);
        const auto c = timeToFirstFrame(QStringLiteral(ORVELLE_CLIENT),
                                        {QStringLiteral("--screenshot"), shot}, environment);
        if (!f || !c)
            return 1;
        if (round >= 0) {
            floor << *f;
            client << *c;
        }
    }
    const double clientMs = median(client);
    const double floorMs = median(floor);
    const double ratio = clientMs / floorMs;
    std::printf("startup to first frame (median of %d): client %.1f ms, floor %.1f ms, "
                "ratio %.2f (target <= %.1f)\n",
                rounds, clientMs, floorMs, ratio, target);
    std::printf("{\"bench\": \"startup\", \"figures\": {\"client_ms\": %.1f, \"floor_ms\": %.1f, "
                "\"ratio\": %.3f}, \"targets\": {\"ratio\": %.1f}, \"met\": %s}\n",
                clientMs, floorMs, ratio, target, ratio <= target ? "true" : "false");
    return 0;
}
