#include "SHazardDescriptorView.h"

// The fixed choices of the hazard form's option rows.
namespace orvelle {

const QStringList SHazardDescriptorView::SourceOptions{
    QStringLiteral("岗位隐患排查"), QStringLiteral("班组隐患排查"),
    QStringLiteral("车间隐患排查"), QStringLiteral("公司隐患排查"),
    QStringLiteral("专项检查"),     QStringLiteral("重大活动和节假日检查"),
    QStringLiteral("季节检查"),     QStringLiteral("其它")};
const QStringList SHazardDescriptorView::LiveOptions{QStringLiteral("一般隐患"),
                                                     QStringLiteral("重大隐患")};
const QStringList SHazardDescriptorView::OneTypeOptions{QStringLiteral("基础管理"),
                                                        QStringLiteral("现场管理")};
const QStringList SHazardDescriptorView::WeatherOptions{QStringLiteral("晴"), QStringLiteral("雨"),
                                                        QStringLiteral("雪")};

QStringList SHazardDescriptorView::secondaryTypesOf(const QString &primaryType)
{
    if (primaryType == QStringLiteral("基础管理"))
        return {QStringLiteral("资质证照"),       QStringLiteral("安全生产管理机构"),
                QStringLiteral("安全规章制度"),   QStringLiteral("安全教育培训"),
                QStringLiteral("安全投入"),       QStringLiteral("相关方面管理"),
                QStringLiteral("重大危险源管理"), QStringLiteral("个体防护装备"),
                QStringLiteral("职业健康"),       QStringLiteral("应急管理"),
                QStringLiteral("隐患排查治理"),   QStringLiteral("事故报告、调查和处理"),
                QStringLiteral("其他基础管理")};
    if (primaryType == QStringLiteral("现场管理"))
        return {QStringLiteral("作业场所"),
                QStringLiteral("设备设施"),
                QStringLiteral("防护、保险、信号等装置装备"),
                QStringLiteral("原辅料、产品"),
                QStringLiteral("职业病危害"),
                QStringLiteral("相关方作业"),
                QStringLiteral("安全技能"),
                QStringLiteral("个体防护"),
                QStringLiteral("作业许可"),
                QStringLiteral("其他现场管理")};
    return {};
}

} // namespace orvelle
