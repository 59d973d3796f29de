#include "AppContext.h"

#include "AccountWork.h"
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
    // The account's work, the forms' services and the outbox refer to the store.
    accountWork.reset();
    m_formServices.reset();
    m_outbox.reset();
    m_deviceStore.reset();
}

namespace {
const QString temporaryOnly = QStringLiteral("本次填写的内容只保存到退出客户端为止。");
const QString keepForRecovery = QStringLiteral("如需找回，请将该文件所在的文件夹交给系统管理员。");

QString unreadableNotice(const QString &error)
{
    return QStringLiteral("手机上保存的草稿和待上传记录无法读取（%1），").arg(error);
}

QString noSpaceNotice()
{
    return QStringLiteral("手机存储空间不足，手机上保存的草稿和待上传记录暂时无法打开"
                          "（它们没有被改动）。")
           + temporaryOnly + QStringLiteral("请清理手机存储后重新启动客户端。");
}

QString cannotOpenNotice(const QString &error)
{
    return QStringLiteral("手机存储无法打开（%1），").arg(error) + temporaryOnly
           + QStringLiteral("请检查手机存储空间后重新启动客户端。");
}
} // namespace

void AppContext::holdStore(StoreLock lock)
{
    m_storeLock.emplace(std::move(lock));
    if (m_storeLock->state() == StoreLock::State::InUse)
        m_storeRefusal = QStringLiteral("客户端已经在运行，请切换到已打开的客户端窗口。");
}

DeviceStore *AppContext::deviceStore()
{
    if (m_deviceStore)
        return m_deviceStore.get();
    m_deviceStore = std::make_unique<DeviceStore>();
    if (!m_storeLock)
        holdStore(StoreLock(config.deviceFolder));
    if (m_storeRefusal.isEmpty())
        openStore();
    return m_deviceStore.get();
}

void AppContext::openStore()
{
    DeviceStore &store = *m_deviceStore;
    if (!m_storeLock->held())
        return openInTemporaryFolder(m_storeLock->state() == StoreLock::State::NoSpace
                                         ? noSpaceNotice()
                                         : cannotOpenNotice(m_storeLock->errorString()));
    if (store.open(config.deviceFolder))
        return;
    const QString error = store.errorString();
    switch (store.failure()) {
    case DeviceStore::Failure::NewerClient:
        qCWarning(lcStore) << "left as it is:" << error;
        m_storeRefusal = QStringLiteral("手机上的草稿和待上传记录由较新版本的客户端保存，"
                                        "请安装新版本后再使用。这些内容（包括照片）原样保留，"
                                        "不会被改动。");
        return;
    case DeviceStore::Failure::NoSpace:
        return openInTemporaryFolder(noSpaceNotice());
    case DeviceStore::Failure::Other:
        return openInTemporaryFolder(cannotOpenNotice(error));
    case DeviceStore::Failure::Damaged:
        return setDamagedStoreAside(error);
    }
}

void AppContext::setDamagedStoreAside(const QString &error)
{
    // A damaged file is kept for recovery, its photos with it; the work goes on in a new one.
    DeviceStore &store = *m_deviceStore;
    const QString aside = store.moveAside();
    if (aside.isEmpty()) {
        openInTemporaryFolder(
            unreadableNotice(error)
            + QStringLiteral("也无法改名保存（%1），文件没有被改动。").arg(store.errorString())
            + temporaryOnly + keepForRecovery);
    } else if (store.open(config.deviceFolder)) {
        m_storeNotice = unreadableNotice(error)
                        + QStringLiteral("已连同照片改名保存为 %1，并新建了空的存储。"
                                         "尚未上传的检查表和隐患登记需要重新填写；")
                              .arg(aside)
                        + keepForRecovery;
    } else {
        openInTemporaryFolder(unreadableNotice(error)
                              + QStringLiteral("已连同照片改名保存为 %1，但无法新建存储（%2）。")
                                    .arg(aside, store.errorString())
                              + temporaryOnly + keepForRecovery);
    }
}

void AppContext::openInTemporaryFolder(const QString &notice)
{
    qCWarning(lcStore) << "work is kept for this run only:" << notice;
    m_storeNotice = notice;
    m_temporaryStore = std::make_unique<QTemporaryDir>();
    if (!m_temporaryStore->isValid() || !m_deviceStore->open(m_temporaryStore->path()))
        qCWarning(lcStore) << "nothing is kept:" << m_deviceStore->errorString();
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

std::unique_ptr<AppContext> buildAppContext(const AppConfig &config, bool holdUntilFirstFrame,
                                            std::optional<StoreLock> storeLock)
{
    auto context = std::make_unique<AppContext>();
    if (holdUntilFirstFrame)
        context->firstFrame.hold();
    context->config = config;
    context->holdStore(storeLock ? std::move(*storeLock) : StoreLock(config.deviceFolder));
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
    context->accountWork = std::make_unique<AccountWork>(*context);
    return context;
}

} // namespace orvelle
