// Eight 12-megapixel photos added to the hazard form and to the on-site
// sheet through the album picker, on their real pages offscreen, then the
// same photos restored from the draft, then eight taken with the camera
// (a synthetic one at the device end: SyntheticCamera.h). Figures: resident
// memory the form grew by once the photos settled, the longest GUI thread
// stall while they came in, and the time until the last one showed.

#include "QuickItems.h"
#include "SyntheticCamera.h"
#include "app/QmlPlugins.h"
#include "common/ProcessFigures.h"
#include "common/SignedInClient.h"
#include "common/StallWatch.h"
#include "hazard/SHazardDescriptorView.h"
#include "inspection/DetailedOnspectionListView.h"
#include "photos/CameraPicker.h"
#include "photos/PhotoIntake.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QTimer>
#include <algorithm>
#include <cstdio>

using namespace orvelle;
using orvelle::bench::SignedInClient;

namespace {

constexpr double growthTargetMiB = 32, stallTargetMs = 16;

// A camera's picture as the album holds it.
bool writeCameraPhoto(const QString &path, quint32 seed)
{
    return bench::syntheticPhoto(seed).save(path, "JPEG", 92);
}

double residentMiB()
{
    return double(bench::statusKiB("VmRSS:")) / 1024.0;
}

// Runs the event loop until `done` holds or `ms` have gone by.
bool waitFor(const std::function<bool()> &done, int ms = bench::patience)
{
    QEventLoop loop;
    QTimer poll, giveUp;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QObject::connect(&giveUp, &QTimer::timeout, &loop, &QEventLoop::quit);
    poll.start(10);
    giveUp.start(ms);
    if (!done())
        loop.exec();
    return done();
}

void idle(int ms)
{
    waitFor([] { return false; }, ms);
}

struct Figures
{
    double growthMiB = 0;
    double stallMs = 0;
    qint64 lastShownMs = 0;
    bool complete = false;

    QJsonObject json() const
    {
        return {{"growth_mib", growthMiB},
                {"gui_stall_ms", stallMs},
                {"last_shown_ms", lastShownMs},
                {"all_shown", complete}};
    }
};

// A page in a phone-sized window, as the client shows it.
struct ShownPage
{
    QQmlEngine engine;
    QQuickWindow window;
    std::unique_ptr<QQuickItem> root;

    ShownPage(const QString &url, QObject *view)
    {
        // The static QML modules register their files under qrc:/.
        engine.addImportPath(QStringLiteral("qrc:/"));
        QQmlComponent component(&engine, QUrl(url));
        if (!component.isReady()) {
            std::fprintf(stderr, "%s\n", qPrintable(component.errorString()));
            return;
        }
        QObject *created = component.createWithInitialProperties(
            {{QStringLiteral("view"), QVariant::fromValue(view)}});
        root.reset(qobject_cast<QQuickItem *>(created));
        if (!root) {
            delete created;
            std::fprintf(stderr, "%s\n", qPrintable(component.errorString()));
            return;
        }
        window.resize(420, 800);
        root->setParentItem(window.contentItem());
        root->setSize(window.size());
        window.show();
    }
};

// One form on its page: `add` puts the photos in, by the picker or from the
// draft; the figures cover what follows until every tile shows and settles.
template <typename View>
Figures measure(View &view, const QString &page, int expected, const std::function<void()> &add)
{
    ShownPage shown(page, &view);
    QQuickItem *root = shown.root.get();
    Figures figures;
    if (!root)
        return figures;
    idle(500);
    const double before = residentMiB();
    QElapsedTimer clock;
    clock.start();
    bench::StallWatch stalls;
    add();
    figures.complete = waitFor([&] {
        const QList<QQuickItem *> tiles = quickitems::findAll(root, QStringLiteral("thumbnail"));
        return view.photos()->photos().count() == expected && tiles.size() == expected
               && std::all_of(tiles.begin(), tiles.end(), [](QQuickItem *tile) {
                      return tile->property("status").toInt() == 1; // Image.Ready
                  });
    });
    figures.lastShownMs = clock.elapsed();
    figures.stallMs = stalls.longestMs();
    idle(1000);
    figures.growthMiB = residentMiB() - before;
    view.draft()->save();
    return figures;
}

// Each photo as a person takes it: the camera page opens, the shutter, the
// preview, "使用照片".
std::function<void()> takingPhotos(PhotoAttachments *photos, int count)
{
    return [photos, count] {
        for (int i = 0; i < count; ++i) {
            photos->chooseCamera();
            QPointer<CameraPicker> picker = photos->cameraPicker();
            if (!picker || !waitFor([&] { return picker->videoSink() != nullptr; }))
                return;
            picker->shutter();
            const auto previewShown = [&] {
                const QSize shown = picker->videoSink()->property("videoSize").toSize();
                return picker->hasCapture() && shown.isValid()
                       && shown.width() <= picker->previewSize().width()
                       && shown.height() <= picker->previewSize().height();
            };
            if (!waitFor(previewShown))
                return;
            picker->accept();
        }
    };
}

// The camera page once, as a client that has used its camera before: the
// multimedia plugins load at the first use, not with each photo.
void openTheCameraOnce(FormServices &forms)
{
    SHazardDescriptorView view(forms);
    ShownPage shown(QStringLiteral("qrc:/Orvelle/Hazard/qml/SHazardDescriptorPage.qml"), &view);
    view.photos()->chooseCamera();
    if (CameraPicker *picker = view.photos()->cameraPicker()) {
        waitFor([&] { return picker->videoSink() != nullptr; }, 10000);
        picker->cancel();
    }
    idle(200);
}

void print(const char *what, const Figures &figures)
{
    std::printf("  %-22s growth %6.1f MiB  stall %5.1f ms  last shown %5lld ms%s\n", what,
                figures.growthMiB, figures.stallMs, (long long)figures.lastShownMs,
                figures.complete ? "" : "  (not all shown)");
}
} // namespace

int main(int argc, char **argv)
{
    SignedInClient client("photos");
    QQuickStyle::setStyle(QStringLiteral("Material"));
    QGuiApplication app(argc, argv);
    if (const QString error = client.start(); !error.isEmpty())
        return client.fail(error);
    const QStringList keys = client.checkPointKeys();
    if (keys.isEmpty())
        return client.fail(QStringLiteral("no check point today"));

    QList<QUrl> album;
    for (int i = 0; i < ImagePicker::maximumPhotos + 1; ++i) {
        const QString path = client.folder.filePath(QStringLiteral("IMG-%1.jpg").arg(i));
        if (!writeCameraPhoto(path, quint32(i + 1)))
            return client.fail(QStringLiteral("cannot write ") + path);
        album << QUrl::fromLocalFile(path);
    }
    // The on-site photo is taken before the sheet opens.
    const QUrl onsitePhoto = album.takeLast();
    QString onsiteHash;
    PhotoIntake intake(client.store);
    intake.keepFile(onsitePhoto.toLocalFile(), [&](const std::optional<StoredPhoto> &photo, bool) {
        onsiteHash = photo ? photo->hash : QString();
    });
    waitFor([&] { return intake.pending() == 0; });
    if (onsiteHash.isEmpty())
        return client.fail(QStringLiteral("the on-site photo was not stored"));

    const int count = int(album.size());
    // How the photos come in: by the album picker, or from the form's draft.
    const auto adding = [&album](bool restoring, PhotoAttachments *photos,
                                 FormDraft *draft) -> std::function<void()> {
        if (restoring)
            return [draft] { draft->restore(); };
        return [photos, &album] { photos->imagePicker()->pick(album); };
    };
    const QString hazardPage = QStringLiteral("qrc:/Orvelle/Hazard/qml/SHazardDescriptorPage.qml");
    const QString sheetPage =
        QStringLiteral("qrc:/Orvelle/Inspection/qml/DetailedOnspectionListPage.qml");

    QList<std::pair<const char *, Figures>> results;
    for (const bool restoring : {false, true}) {
        SHazardDescriptorView hazard(*client.forms);
        results.append({restoring ? "hazard, from the draft" : "hazard, by the picker",
                        measure(hazard, hazardPage, count,
                                adding(restoring, hazard.photos(), hazard.draft()))});
    }
    for (const bool restoring : {false, true}) {
        DetailedOnspectionListView sheet(*client.forms, {onsiteHash}, keys.first());
        sheet.appeared();
        if (!waitFor([&] { return sheet.canUpload(); }))
            return client.fail(QStringLiteral("the blank sheet did not load"));
        results.append(
            {restoring ? "sheet, from the draft" : "sheet, by the picker",
             measure(sheet, sheetPage, count, adding(restoring, sheet.photos(), sheet.draft()))});
    }
    // After the album's rows, which run without the multimedia plugins as a
    // client does until its camera is first used.
    bench::SyntheticCameras cameras;
    FormServices cameraForms{client.forms->filing, client.forms->outbox, cameras,
                             client.forms->notesServer, client.forms->scheduler};
    openTheCameraOnce(cameraForms);
    {
        SHazardDescriptorView hazard(cameraForms);
        results.append({"hazard, by the camera",
                        measure(hazard, hazardPage, count, takingPhotos(hazard.photos(), count))});
    }
    {
        DetailedOnspectionListView sheet(cameraForms, {onsiteHash}, keys.first());
        sheet.appeared();
        if (!waitFor([&] { return sheet.canUpload(); }))
            return client.fail(QStringLiteral("the blank sheet did not load"));
        results.append({"sheet, by the camera",
                        measure(sheet, sheetPage, count, takingPhotos(sheet.photos(), count))});
    }

    std::printf("%d photos of %dx%d on each form each way, offscreen\n", count, bench::photoWidth,
                bench::photoHeight);
    Figures worst{0, 0, 0, true};
    QJsonObject figures;
    const QStringList names{"hazard_pick",   "hazard_restore", "sheet_pick",
                            "sheet_restore", "hazard_camera",  "sheet_camera"};
    for (qsizetype i = 0; i < results.size(); ++i) {
        const Figures &each = results[i].second;
        print(results[i].first, each);
        figures.insert(names[i], each.json());
        worst.growthMiB = std::max(worst.growthMiB, each.growthMiB);
        // The camera's rows open and close the camera page with each photo:
        // their stall is a page's, shown but not held to the intake's target.
        if (!names[i].endsWith("_camera"))
            worst.stallMs = std::max(worst.stallMs, each.stallMs);
        worst.lastShownMs = std::max(worst.lastShownMs, each.lastShownMs);
        worst.complete = worst.complete && each.complete;
    }
    std::printf("  worst growth %.1f MiB (target <= %.0f), stall without the camera page %.1f ms "
                "(target <= %.0f)\n",
                worst.growthMiB, growthTargetMiB, worst.stallMs, stallTargetMs);
    figures.insert("worst", worst.json());
    const bool met =
        worst.complete && worst.growthMiB <= growthTargetMiB && worst.stallMs <= stallTargetMs;
    const QJsonObject line{
        {"bench", "photos"},
        {"figures", figures},
        {"targets", QJsonObject{{"growth_mib", growthTargetMiB}, {"gui_stall_ms", stallTargetMs}}},
        {"met", met},
    };
    std::printf("%s\n", QJsonDocument(line).toJson(QJsonDocument::Compact).constData());
    return met ? 0 : 1;
}
