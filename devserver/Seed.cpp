#include "Store.h"

namespace orvelle::devserver {

namespace {

struct SeedAccount
{
    const char *username, *mobile, *password, *notesPassword, *jobnumber, *ou2, *position;
};

// The README lists these; `orvelle-devserver --accounts` prints their current state.
constexpr SeedAccount seedAccounts[] = {
    {"zhangwei", "13800000001", "orvelle1", "orvelle1", "10001", "矿山分厂", "安全员"},
    {"liming", "13800000002", "orvelle2", "orvelle2", "10002", "熟料分厂", "班组长"},
    // No bound phone: the Notes sign-in is refused until one is bound.
    {"wangfang", nullptr, "orvelle3", "orvelle3", "10003", "矿山分厂", "巡检员"},
    // The Notes password differs: sign-in is refused until it is changed.
    {"chenjing", "13800000004", "orvelle4", "notes-old4", "10004", "熟料分厂", "车间主任"},
};

constexpr const char *companyUnit = "岚石水泥";

struct SeedItem
{
    const char *projectitem, *yhtype, *yhtypes, *yhlevel;
};

struct SeedCheckPoint
{
    const char *key, *ou2, *project, *place;
    std::initializer_list<SeedItem> items;
};

const SeedCheckPoint seedCheckPoints[] = {
    {"KS-01",
     "矿山分厂",
     "一号采场边坡",
     "矿山采区",
     {{"边坡有无裂缝、滑移迹象", "现场管理", "作业场所", "重大隐患"},
      {"台阶高度、坡面角符合设计", "现场管理", "作业场所", "一般隐患"},
      {"警示标志齐全清晰", "现场管理", "防护、保险、信号等装置装备", "一般隐患"},
      {"排水沟畅通无堵塞", "现场管理", "设备设施", "一般隐患"}}},
    {"KS-02",
     "矿山分厂",
     "破碎机房",
     "破碎车间",
     {{"破碎机防护罩完好", "现场管理", "设备设施", "一般隐患"},
      {"急停按钮灵敏可靠", "现场管理", "防护、保险、信号等装置装备", "重大隐患"},
      {"粉尘浓度符合要求", "现场管理", "职业病危害", "一般隐患"}}},
    {"KS-03",
     "矿山分厂",
     "矿石输送皮带",
     "破碎车间",
     {{"拉绳开关有效", "现场管理", "防护、保险、信号等装置装备", "一般隐患"},
      {"托辊、滚筒运转正常", "现场管理", "设备设施", "一般隐患"},
      {"跨越通道护栏牢固", "现场管理", "作业场所", "一般隐患"},
      {"检修时执行挂牌上锁", "现场管理", "作业许可", "重大隐患"},
      {"作业人员佩戴安全帽", "现场管理", "个体防护", "一般隐患"}}},
    {"KS-04",
     "矿山分厂",
     "炸药临时存放点",
     "矿山采区",
     {{"存放量不超过规定", "基础管理", "重大危险源管理", "重大隐患"},
      {"双人双锁管理", "基础管理", "安全规章制度", "重大隐患"},
      {"消防器材在有效期内", "基础管理", "应急管理", "一般隐患"},
      {"领退记录完整", "基础管理", "安全规章制度", "一般隐患"},
      {"防雷设施完好", "现场管理", "设备设施", "一般隐患"},
      {"值守人员持证上岗", "基础管理", "资质证照", "一般隐患"}}},
    {"KS-05",
     "矿山分厂",
     "矿山运输道路",
     "原料堆场",
     {{"路面平整无积水", "现场管理", "作业场所", "一般隐患"},
      {"车辆限速标志齐全", "现场管理", "防护、保险、信号等装置装备", "一般隐患"},
      {"挡车墙高度足够", "现场管理", "设备设施", "重大隐患"}}},
    {"SL-01",
     "熟料分厂",
     "回转窑窑头平台",
     "回转窑",
     {{"看火孔防护到位", "现场管理", "防护、保险、信号等装置装备", "一般隐患"},
      {"高温区域警示标志", "现场管理", "作业场所", "一般隐患"},
      {"劳保用品穿戴规范", "现场管理", "个体防护", "一般隐患"},
      {"平台护栏完好", "现场管理", "设备设施", "一般隐患"},
      {"应急通道畅通", "基础管理", "应急管理", "重大隐患"},
      {"交接班记录完整", "基础管理", "安全规章制度", "一般隐患"},
      {"窑头罩密封良好", "现场管理", "设备设施", "一般隐患"},
      {"测温仪表工作正常", "现场管理", "设备设施", "一般隐患"}}},
    {"SL-02",
     "熟料分厂",
     "篦冷机巡检通道",
     "回转窑",
     {{"通道照明充足", "现场管理", "作业场所", "一般隐患"},
      {"观察孔关闭严密", "现场管理", "设备设施", "一般隐患"},
      {"清料作业办理许可", "现场管理", "作业许可", "重大隐患"}}},
    {"SL-03",
     "熟料分厂",
     "生料磨房",
     "生料磨房",
     {{"磨机护罩完好", "现场管理", "设备设施", "一般隐患"},
      {"润滑站无漏油", "现场管理", "设备设施", "一般隐患"},
      {"噪声防护措施到位", "现场管理", "职业病危害", "一般隐患"},
      {"电气柜门关闭", "现场管理", "设备设施", "一般隐患"}}},
    {"SL-04",
     "熟料分厂",
     "煤粉制备车间",
     "生料磨房",
     {{"防爆阀完好", "现场管理", "防护、保险、信号等装置装备", "重大隐患"},
      {"一氧化碳检测仪正常", "现场管理", "设备设施", "重大隐患"},
      {"无积粉、无明火", "现场管理", "作业场所", "重大隐患"},
      {"动火作业有审批", "现场管理", "作业许可", "重大隐患"},
      {"员工安全培训记录", "基础管理", "安全教育培训", "一般隐患"}}},
    {"SL-05",
     "熟料分厂",
     "熟料库顶",
     "熟料库",
     {{"库顶护栏牢固", "现场管理", "设备设施", "一般隐患"},
      {"有限空间作业审批", "现场管理", "作业许可", "重大隐患"},
      {"安全带挂点可靠", "现场管理", "个体防护", "一般隐患"}}},
};

constexpr const char *seedPlaces[] = {"矿山采区", "破碎车间", "原料堆场", "生料磨房", "回转窑",
                                      "熟料库",   "水泥磨房", "包装车间", "办公区"};

QVariant text(const char *value)
{
    return value ? QVariant(QString::fromUtf8(value)) : QVariant();
}

bool run(SqlDatabase &db, const QString &sql, const QVariantList &values, QString *error)
{
    SqlStatement statement(db, sql);
    if (statement.bindAll(values).run())
        return true;
    *error = statement.error();
    return false;
}

} // namespace

bool seedDatabase(SqlDatabase &db, const QString &updateAddress, QString *error)
{
    const QString company = QString::fromUtf8(companyUnit);
    for (const SeedAccount &a : seedAccounts) {
        const QString ou2 = QString::fromUtf8(a.ou2);
        if (!run(db,
                 QStringLiteral("INSERT INTO accounts (username, mobile, password, notes_password,"
                                " jobnumber, ou1, ou2, dept, position, positiongrade, level)"
                                " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                 {text(a.username), text(a.mobile), text(a.password), text(a.notesPassword),
                  text(a.jobnumber), company, ou2, company + u'/' + ou2, text(a.position),
                  QStringLiteral("P3"), QStringLiteral("员工")},
                 error))
            return false;
    }
    int id = 0;
    for (const SeedCheckPoint &c : seedCheckPoints) {
        const QString qzdept = company + u'/' + QString::fromUtf8(c.ou2);
        const QString project = QString::fromUtf8(c.project);
        if (!run(db, QStringLiteral("INSERT INTO checkpoints VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                 {text(c.key), QString::number(++id), project, qzdept,
                  project + QStringLiteral("日常检查表"), qzdept, QStringLiteral("日检"),
                  text(c.place), QStringLiteral("岗位隐患排查")},
                 error))
            return false;
        int position = 0;
        for (const SeedItem &item : c.items) {
            if (!run(db,
                     QStringLiteral("INSERT INTO checkpoint_items VALUES (?, ?, ?, ?, ?, ?, ?)"),
                     {text(c.key), position, QString::number(position + 1), text(item.projectitem),
                      text(item.yhtype), text(item.yhtypes), text(item.yhlevel)},
                     error))
                return false;
            ++position;
        }
    }
    int position = 0;
    for (const char *place : seedPlaces)
        if (!run(db, QStringLiteral("INSERT INTO places VALUES (?, ?)"), {position++, text(place)},
                 error))
            return false;
    return run(db, QStringLiteral("INSERT INTO versions VALUES ('ios', 1, ?, ?, ?)"),
               {QStringLiteral("Orvelle 1.0"), updateAddress, QStringLiteral("当前版本为最新版本")},
               error);
}

} // namespace orvelle::devserver
