// orvelle-screenshots: runs the client's real QML application offscreen
// against orvelle-devserver, walks through every page as a user would, and
// writes one PNG per page (NN-name.png) into the folder it is given. It exits
// non-zero naming the first page that did not draw.

#include "DevServiceChild.h"
#include "Pilot.h"
#include "app/AppContext.h"
#include "app/OrvelleApp.h"
#include "app/QmlPlugins.h"
#include "app/RootView.h"
#include "core/AppConfig.h"
#include "net/FileStorePhotoAccess.h"
#include "platform/WebSandbox.h"

#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QProcessEnvironment>
#include <QQmlApplicationEngine>
#include <QStyleHints>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>
#include <unistd.h>

using namespace orvelle;

namespace {

// One page to draw: how to get there from the page before, the item whose
// showing means it is there, and (optionally) what else must be ready.
struct Page
{
    QString name;
    QString shown;
    std::function<bool()> reach;
    std::function<bool()> ready = [] { return true; };
};

// What the camera "sees": a plain scene with no code in it, so the scanner
// stays open, and the photos look like photos.
bool writeCameraImage(const QString &file)
{
    QImage image(960, 720, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 0, 420);
    sky.setColorAt(0, QColor(0x8e, 0xb8, 0xdc));
    sky.setColorAt(1, QColor(0xdc, 0xe6, 0xee));
    painter.fillRect(0, 0, 960, 420, sky);
    painter.fillRect(0, 420, 960, 300, QColor(0x8d, 0x7b, 0x68));
    painter.fillRect(120, 180, 380, 240, QColor(0x9a, 0x9e, 0xa3));
    painter.fillRect(540, 240, 120, 180, QColor(0x6d, 0x71, 0x76));
    painter.fillRect(600, 90, 40, 150, QColor(0x7b, 0x7f, 0x84));
    painter.setPen(QPen(QColor(0x3b, 0x3b, 0x3b), 14));
    painter.drawLine(480, 560, 900, 380);
    painter.end();
    return image.save(file, "JPG", 85);
}

QString configText(const DevServiceChild &service, const QString &cameraImage)
{
    return QStringLiteral("[service]\nhost = %1\n[filestore]\nhost = %1\n"
                          "[site]\nurl = http://%1:50080/site/\n[tls]\nca_file = %2\n"
                          "[camera]\nimage = %3\n")
        .arg(service.host(), service.caFile(), cameraImage);
}

bool writePng(const QImage &image, const QString &file)
{
    QImageWriter writer(file, "png");
    writer.setQuality(0); // the strongest compression
    return writer.write(image);
}

int fail(const QString &message)
{
    std::fprintf(stderr, "orvelle-screenshots: %s\n", qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    // The client's files (account record, drafts) go to a folder of its own,
    // never to the user's.
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
    qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Chromium refuses to start as root with its sandbox on; anyone else
    // keeps it, whatever the environment says.
    keepWebSandbox(::geteuid() == 0);
    if (::geteuid() == 0) {
        std::fprintf(stderr, "orvelle-screenshots: running as root: the notice page is drawn "
                             "without the web engine's sandbox\n");
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    }

    prepareQuickEnvironment();
    QGuiApplication app(argc, argv);
    // A steady text cursor: the same walk draws the same pictures.
    QGuiApplication::styleHints()->setCursorFlashTime(0);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Writes a PNG of every page of Orvelle."));
    parser.addHelpOption();
    // Beside a dev service that scripts/run keeps on 127.0.0.1.
    parser.addOption({"host", "Loopback address for the dev service (default 127.0.0.3).",
                      "address", "127.0.0.3"});
    parser.addOption({"devserver", "The orvelle-devserver program.", "file",
                      QStringLiteral(ORVELLE_DEVSERVER_EXE)});
    parser.addPositionalArgument("folder", "Where the PNG files go.");
    parser.process(app);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(2);
    const QDir out(parser.positionalArguments().constFirst());
    if (!QDir().mkpath(out.path()))
        return fail(QStringLiteral("cannot make %1").arg(out.path()));

    DevServiceChild service(parser.value("devserver"), home.filePath("devserver"),
                            parser.value("host"));
    QString error;
    if (!service.start({}, &error) || !service.printQrCodes(home.filePath("codes"), &error))
        return fail(error);

    const QString cameraImage = home.filePath("camera.jpg");
    QFile config(home.filePath("orvelle.ini"));
    if (!writeCameraImage(cameraImage) || !config.open(QIODevice::WriteOnly)
        || config.write(configText(service, cameraImage).toUtf8()) < 0)
        return fail(QStringLiteral("cannot write into %1").arg(home.path()));
    config.close();
    // No ORVELLE_* variable of the machine may slip in.
    auto loaded = AppConfig::load(config.fileName(), QProcessEnvironment());
    if (const auto *problem = std::get_if<ConfigError>(&loaded))
        return fail(problem->line());

    // The client as main() starts it.
    const auto context = buildAppContext(std::get<AppConfig>(loaded));
    RootView rootView(*context);
    FileStorePhotoAccess photoAccess(std::get<AppConfig>(loaded));
    QQmlApplicationEngine engine;
    prepareEngine(engine);
    engine.setNetworkAccessManagerFactory(&photoAccess);
    engine.setInitialProperties({{"rootView", QVariant::fromValue(&rootView)}});
    engine.load(QUrl(QStringLiteral("qrc:/Orvelle/App/qml/Main.qml")));
    auto *window = engine.rootObjects().isEmpty()
                       ? nullptr
                       : qobject_cast<QQuickWindow *>(engine.rootObjects().constFirst());
    if (!window)
        return fail(QStringLiteral("the main window did not load"));
    window->resize(480, 854);
    // Text fields take the focus only in the active window.
    window->requestActivate();

    Pilot pilot(*window);
    const auto tap = [&](const auto &...where) { return pilot.tap(where...); };
    const auto signIn = [&](const QString &account, const QString &password) {
        return pilot.type("手机号", account) && pilot.type("密码", password) && tap("登入");
    };
    const auto acknowledge = [&](const QString &message) { return pilot.acknowledge(message); };
    const auto back = [&](const auto &...where) { return pilot.back(where...); };
    const auto addPhoto = [&] { return pilot.addPhotoByCamera(); };
    const auto row = [&](int index) {
        return pilot.row(pilot.find("DetailedOnspectionListView"), index);
    };
    // The scanner is open: the code of notice 1 is chosen as an image file.
    const auto scanNotice = [&] {
        QQuickItem *scanner = pilot.waitFor("QRCodeScannerView");
        QObject *view = scanner ? scanner->property("view").value<QObject *>() : nullptr;
        return view
               && QMetaObject::invokeMethod(
                   view, "decodeFile",
                   Q_ARG(QUrl, QUrl::fromLocalFile(home.filePath("codes/notice-1.png"))));
    };
    const auto webPageLoaded = [&] {
        QQuickItem *web = pilot.find("WebView");
        return web && !web->property("loading").toBool()
               && web->property("title").toString() == QStringLiteral("安全公告 1");
    };

    const QList<Page> pages = {
        {"sign-in", "LoginView",
         [&] { return pilot.type("手机号", "13800000001") && pilot.type("密码", "orvelle1"); }},
        // A Notes account without a phone is led to the binding.
        {"phone-binding", "BindPhoneView",
         [&] {
             return signIn("wangfang", "orvelle3")
                    && acknowledge("此账号未绑定手机号，请绑定手机号")
                    && pilot.type("请输入您的手机号码", "13800000003");
         }},
        {"home", "HomeView",
         [&] { return back("BindPhoneView") && signIn("13800000001", "orvelle1"); }},
        {"settings", "SettingsView", [&] { return tap("设置") && pilot.waitFor("13800000001"); }},
        {"password-change", "ChangePasswordView", [&] { return tap("修改密码"); }},
        // The service holds its answer: the list says that it loads.
        {"today-loading", "listLoading",
         [&] {
             return back("ChangePasswordView") && tap("首页") && service.pause() && tap("今日检查")
                    && pilot.waitFor("InspectionListView");
         }},
        {"today-checks", "InspectionListView",
         [&] {
             return service.resume()
                    && pilot.waitFor("破碎机房", pilot.waitFor("InspectionListView"));
         }},
        {"on-site-checks", "OnInspectionListView",
         [&] {
             return back("InspectionListView") && tap("现场检查")
                    && pilot.waitFor("破碎机房", pilot.waitFor("OnInspectionListView"));
         }},
        // The second item found wanting, with what is wrong.
        {"on-site-sheet", "DetailedOnspectionListView",
         [&] {
             if (!tap("破碎机房", pilot.find("OnInspectionListView")) || !pilot.takePhoto()
                 || !pilot.waitFor("粉尘浓度符合要求"))
                 return false;
             for (int i = 0; i < 3; ++i)
                 if (!tap(i == 1 ? "不合格" : "合格", row(i)))
                     return false;
             // Scrolled to the list's end, where photos are added.
             if (!pilot.type("description", "急停按钮失灵，需更换 E-7") || !row(-1) || !addPhoto())
                 return false;
             return row(0) != nullptr;
         }},
        // The same sheet, uploaded, as today's list shows it.
        {"submitted-sheet", "DetailedInspectionListView",
         [&] {
             return tap("上传", pilot.find("DetailedOnspectionListView"))
                    && acknowledge("检查表提交成功") && pilot.waitGone("DetailedOnspectionListView")
                    && back("OnInspectionListView") && tap("今日检查")
                    && tap("破碎机房", pilot.waitFor("InspectionListView"))
                    && tap("破碎机房日常检查表", pilot.waitFor("InspectionItemDetailView"))
                    && pilot.waitFor("急停按钮失灵，需更换 E-7");
         }},
        // With a photo and a description, the place picker open.
        {"hazard-form", "pickerChoices",
         [&] {
             return back("DetailedInspectionListView", pilot.find("DetailedInspectionListView"))
                    && back("InspectionItemDetailView") && back("InspectionListView")
                    && tap("隐患登记") && pilot.waitFor("SHazardDescriptorView") && addPhoto()
                    && pilot.type("descriptionText", "皮带机尾部托辊脱落 B-2") && tap("隐患地点")
                    && pilot.waitFor("破碎车间", pilot.waitFor("pickerChoices"));
         }},
        // The same report filed with the service gone: it waits in the outbox.
        {"outbox", "outboxEntries",
         [&] {
             if (!pilot.pick("破碎车间") || !pilot.choose("隐患来源", "班组隐患排查")
                 || !pilot.choose("天气", "雨"))
                 return false;
             service.stop();
             return tap("新增") && acknowledge("网络不可用，已保存到待上传，联网后自动上传。")
                    && pilot.waitGone("SHazardDescriptorView") && tap("openOutbox");
         }},
        // The camera sees no code. Its picture is a video frame, which the
        // software renderer does not draw: the preview stays black.
        {"scanner", "QRCodeScannerView",
         [&] {
             QString problem;
             if (!service.start({}, &problem)) {
                 std::fprintf(stderr, "%s\n", qPrintable(problem));
                 return false;
             }
             // Delivered now, so that signing out later asks nothing.
             return back("OutboxView") && tap("outboxRetry") && pilot.waitGone("outboxRow")
                    && tap("信息公告");
         }},
        // The code of notice 1, chosen as an image file instead of the camera.
        {"notice", "RiskAnnouncementWebView",
         [&] { return scanNotice() && pilot.waitFor("WebView"); }, webPageLoaded},
        // The same code scanned again with the service gone, which serves the page.
        {"notice-failure", "连接不上网站，请稍后重试",
         [&] {
             if (!back("RiskAnnouncementWebView"))
                 return false;
             service.stop();
             return tap("信息公告") && scanNotice();
         }},
        // A newer build is published; the sign-in screen asks for it and
        // will not let the user past.
        {"update-alert", "更新提示",
         [&] {
             QString problem;
             if (!back("RiskAnnouncementWebView"))
                 return false;
             if (!service.start({"--publish-build", "2"}, &problem)) {
                 std::fprintf(stderr, "%s\n", qPrintable(problem));
                 return false;
             }
             return tap("设置") && tap("登出") && pilot.waitFor("LoginView")
                    && pilot.waitFor("确认");
         }},
    };

    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < pages.size(); ++i) {
        const Page &page = pages[i];
        const QString file =
            out.filePath(QStringLiteral("%1-%2.png").arg(i + 1, 2, 10, QChar('0')).arg(page.name));
        pilot.forget();
        QQuickItem *shown = page.reach() ? pilot.waitFor(page.shown) : nullptr;
        if (!shown || !pilot.settled(shown) || !Pilot::waitUntil(page.ready))
            return fail(QStringLiteral("%1: the page was not reached (%2)")
                            .arg(page.name, pilot.lastMiss()));
        const QImage image = pilot.steadyFrame();
        if (Pilot::isBlank(image))
            return fail(QStringLiteral("%1: the page drew nothing").arg(page.name));
        if (!writePng(image, file))
            return fail(QStringLiteral("%1: cannot write %2").arg(page.name, file));
        std::printf("orvelle-screenshots: %s (%.1f s)\n", qPrintable(file),
                    clock.elapsed() / 1000.0);
        std::fflush(stdout);
    }
    return 0;
}
