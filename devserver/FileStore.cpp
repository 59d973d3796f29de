#include "FileStore.h"

#include "Contract.h"

#include <httplib.h>

#include <QDir>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QSaveFile>

namespace orvelle::devserver {

namespace {

void answer(httplib::Response &res, int status, const QJsonObject &body)
{
    res.status = status;
    res.set_content(QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString(),
                    "application/json; charset=utf-8");
}

QJsonObject failed(const QString &msg)
{
    return {{QStringLiteral("success"), false}, {QStringLiteral("msg"), msg}};
}

// The client names every photo image.png whatever it holds, so the stored
// type comes from the content.
const char *extensionOf(const std::string &content)
{
    if (content.rfind("\xFF\xD8\xFF", 0) == 0)
        return "jpg";
    if (content.rfind("\x89PNG\r\n\x1A\n", 0) == 0)
        return "png";
    return nullptr;
}

void upload(ServiceContext &context, const httplib::Request &req, httplib::Response &res)
{
    if (!req.is_multipart_form_data())
        return answer(res, 400, failed(QStringLiteral("请求体不是表单数据")));
    if (!req.has_file("file"))
        return answer(res, 400, failed(QStringLiteral("缺少文件 file")));
    const httplib::MultipartFormData file = req.get_file_value("file");
    const char *extension = extensionOf(file.content);
    if (!extension)
        return answer(res, 415, failed(QStringLiteral("只能上传 JPEG 或 PNG 图片")));

    QByteArray raw(16, Qt::Uninitialized);
    for (char &c : raw)
        c = char(QRandomGenerator::system()->bounded(256));
    const QString name = QString::fromLatin1(raw.toHex());
    const QString folder = name.left(2);
    const QString relative = folder + u'/' + name + u'.' + QLatin1String(extension);
    QDir(context.photoDir).mkpath(folder);
    // Written whole or not at all, so a served address never shows half a photo.
    QSaveFile out(QDir(context.photoDir).filePath(relative));
    if (!out.open(QIODevice::WriteOnly)
        || out.write(file.content.data(), qint64(file.content.size()))
               != qint64(file.content.size())
        || !out.commit())
        return answer(res, 500, failed(QStringLiteral("保存文件失败")));
    const QString url = context.photoHost + QLatin1String(contract::photoPrefix) + u'/' + relative;
    context.log(
        QStringLiteral("stored photo %1 (%2 bytes)").arg(relative).arg(file.content.size()));
    answer(res, 200,
           {{QStringLiteral("success"), true},
            {QStringLiteral("httpUrl"), url},
            {QStringLiteral("msg"), QStringLiteral("上传成功")}});
}

std::string page(const QString &title, const QString &body)
{
    return QStringLiteral("<!DOCTYPE html><html lang=\"zh-CN\"><head><meta charset=\"utf-8\">"
                          "<meta name=\"viewport\" content=\"width=device-width\">"
                          "<title>%1</title></head><body><h1>%1</h1>%2</body></html>")
        .arg(title, body)
        .toStdString();
}

} // namespace

QString noticeUrl(const QString &photoHost, int n)
{
    return QStringLiteral("http://%1/notice/%2").arg(photoHost).arg(n);
}

void routeFileStore(httplib::Server &https, ServiceContext &context)
{
    https.Post(contract::photoUpload,
               [&context](const httplib::Request &req, httplib::Response &res) {
                   upload(context, req, res);
               });
}

namespace {

// What a page behind a swapped notice sticker might ask of the client: every
// JavaScript dialog, the camera, microphone, location and notifications at
// once, then one thing a tap allows per tap (a file chooser, full screen, a new
// window, a mail address for the desktop's handler). The client's web view
// refuses each; developers open it by scanning /probe/asks.
constexpr const char *probeScript = R"(
<input id="file" type="file" style="position:absolute;left:-999px">
<script>
var asks = [
    function () { document.getElementById("file").click(); },
    function () { document.documentElement.requestFullscreen().catch(function () {}); },
    function () { window.open("/site/"); },
    function () { location.href = "mailto:someone@example.com"; }
];
var next = 0;
document.addEventListener("click", function (event) {
    // The file field's own click comes here too.
    if (event.target.id !== "file" && next < asks.length)
        asks[next++]();
});
alert("alert"); confirm("confirm"); prompt("prompt");
navigator.geolocation.getCurrentPosition(function () {}, function () {});
Notification.requestPermission();
navigator.mediaDevices.getUserMedia({audio: true, video: true}).catch(function () {});
</script>)";

void routeProbes(httplib::Server &http)
{
    http.Get("/probe/asks", [](const httplib::Request &, httplib::Response &res) {
        res.set_content(page(QStringLiteral("请点击页面"), QLatin1String(probeScript)),
                        "text/html; charset=utf-8");
    });
    http.Get("/probe/sign-in", [](const httplib::Request &, httplib::Response &res) {
        res.status = 401;
        res.set_header("WWW-Authenticate", "Basic realm=\"notice\"");
        res.set_content(page(QStringLiteral("需要登录"), {}), "text/html; charset=utf-8");
    });
    http.Get("/probe/away", [](const httplib::Request &, httplib::Response &res) {
        res.set_redirect("http://notice.invalid/");
    });
}

} // namespace

void routePages(httplib::Server &http, ServiceContext &context)
{
    routeProbes(http);
    http.set_mount_point(contract::photoPrefix, context.photoDir.toStdString());
    http.Get("/site/?", [](const httplib::Request &, httplib::Response &res) {
        res.set_content(
            page(QStringLiteral("岚石集团"), QStringLiteral("<p>岚石集团官网（本地开发服务）。</p>"
                                                            "<p>安全生产，人人有责。</p>")),
            "text/html; charset=utf-8");
    });
    http.Get(R"(/notice/(\d+))", [](const httplib::Request &req, httplib::Response &res) {
        const int n = std::stoi(req.matches[1].str().substr(0, 6));
        if (n < 1 || n > noticeCount) {
            res.status = 404;
            return;
        }
        const QString text = n == 1
                                 ? QStringLiteral("本周五开展消防应急演练，请各班组提前做好准备。")
                                 : QStringLiteral("雨季来临，请加强边坡与排水设施巡查。");
        res.set_content(
            page(QStringLiteral("安全公告 %1").arg(n), QStringLiteral("<p>%1</p>").arg(text)),
            "text/html; charset=utf-8");
    });
}

} // namespace orvelle::devserver
