#include "AppContext.h"

#include "account/VersionChecker.h"
#include "core/Logging.h"
#include "core/Scheduler.h"
#include "core/UrlOpener.h"
#include "net/PhotoUploader.h"
#include "net/ServiceClient.h"
#include "outbox/FormFiling.h"
#include "outbox/Outbox.h"
#include "session/Session.h"
#include "store/DeviceStore.h"
#include <orvelle/BuildInfo.h>

#include <QTemporaryDir>

namespace orvelle {

AppContext::~AppContext()
{
    // The forms' services and the outbox refer to the store.
    m_formServices.reset();
    m_outbox.reset();
    m_deviceStore.reset();
}

DeviceStore *AppContext::deviceStore()
{
    if (m_deviceStore)
        return m_deviceStore.get();
    m_deviceStore = std::make_unique<DeviceStore>();
    if (!config.deviceFolder.isEmpty() && m_deviceStore->open(config.deviceFolder))
        return m_deviceStore.get();
    const QString error = m_deviceStore->errorString();
    // A damaged or foreign file is kept for recovery; the work goes on in a new one.
    if (const QString aside =
            config.deviceFolder.isEmpty() ? QString() : m_deviceStore->moveAside();
        !aside.isEmpty() && m_deviceStore->open(config.deviceFolder)) {
        m_storeNotice = QStringLiteral("手机上保存的草稿和待上传记录无法读取（%1），"
                                       "已改名保存为 %2，并新建了空的存储。"
                                       "尚未上传的检查表和隐患登记需要重新填写；"
                                       "如需找回，请将该文件交给系统管理员。")
                            .arg(error, aside);
        return m_deviceStore.get();
    }
    qCWarning(lcStore) << "work is kept for this run only:" << error;
    m_storeNotice = QStringLiteral("手机存储无法打开（%1），本次填写的内容只保存到退出客户端为止。"
                                   "请检查手机存储空间后重新启动客户端。")
                        .arg(error);
    m_temporaryStore = std::make_unique<QTemporaryDir>();
    if (!m_temporaryStore->isValid() || !m_deviceStore->open(m_temporaryStore->path()))
        qCWarning(lcStore) << "nothing is kept:" << m_deviceStore->errorString();
    return m_deviceStore.get();
}

Outbox *AppContext::outbox()
{
    return formServices().outbox;
}

FormServices &AppContext::formServices()
{
    if (m_formServices)
        return *m_formServices;
    const FilingServices filing{*serviceClient, *photoUploader, *deviceStore(), *session};
    if (m_deviceStore->isOpen())
        m_outbox = std::make_unique<Outbox>(filing, Scheduler::system());
    m_formServices = std::make_unique<FormServices>(
        FormServices{filing, m_outbox.get(), *platform.cameras, config.notesServer});
    return *m_formServices;
}

std::unique_ptr<AppContext> buildAppContext(const AppConfig &config, bool holdUntilFirstFrame)
{
    auto context = std::make_unique<AppContext>();
    if (holdUntilFirstFrame)
        context->firstFrame.hold();
    context->config = config;
    context->session = std::make_unique<Session>();
    context->firstFrame.whenOpen(context->session.get(),
                                 [session = context->session.get()] { session->readSecrets(); });
    // One trust for both: the system store is read once, after the first frame.
    const auto trust = std::make_shared<TlsTrust>(config.caFile);
    context->firstFrame.whenOpen(trust.get(), [load = trust.get()] { load->load(); });
    context->serviceClient = std::make_unique<ServiceClient>(config, *context->session, trust);
    context->photoUploader = std::make_unique<PhotoUploader>(config, trust);
    context->platform = buildPlatformServices(config.cameraImage);
    // The query waits for the first frame.
    auto query = [&gate = context->firstFrame,
                  ask = VersionChecker::serviceQuery(*context->serviceClient)](
                     QObject *requester, const VersionChecker::OnAnswer &onAnswer,
                     const VersionChecker::OnFailure &onFailure) {
        gate.whenOpen(requester, [=] { ask(requester, onAnswer, onFailure); });
    };
    context->versionChecker =
        std::make_unique<VersionChecker>(std::move(query), QString::fromLatin1(build::buildNumber),
                                         Scheduler::system(), UrlOpener::system());
    return context;
}

} // namespace orvelle
