#include "hazard/SHazardDescriptorView.h"
#include "support/FormFixture.h"
#include "support/StoredWork.h"
#include "support/TestData.h"

#include <QAbstractItemModelTester>
#include <QJsonArray>
#include <QSignalSpy>
#include <QTest>

using namespace orvelle;
using namespace orvelle::test;
using Row = SHazardDescriptorView::Row;
namespace json = endpoints::json;

namespace {
std::string answer(const char *name)
{
    return answerIn(QStringLiteral("hazard/form.json"), QLatin1String(name));
}
const std::string twoPlaces = answer("two places");

// What each row shows as chosen, top to bottom ("" for a placeholder).
QStringList chosen(SHazardDescriptorView &form)
{
    QStringList texts;
    for (int row = 0; row < HazardChoiceRows::count; ++row) {
        const QModelIndex at = form.rows()->index(row);
        texts << (at.data(HazardChoiceRows::ChosenRole).toBool()
                      ? at.data(HazardChoiceRows::DetailRole).toString()
                      : QString());
    }
    return texts;
}

QStringList sortedImageAddresses(const QJsonObject &body)
{
    QStringList addresses = body.value("image").toString().split("----");
    addresses.sort();
    return addresses;
}
} // namespace

// The hazard form and its submission against a real HTTPS server.
class TestHazardForm : public QObject, FormFixture
{
    Q_OBJECT

    std::unique_ptr<SHazardDescriptorView> newForm()
    {
        return std::make_unique<SHazardDescriptorView>(*forms);
    }
    // The form as shown, with its place list in.
    std::unique_ptr<SHazardDescriptorView> shownForm()
    {
        auto form = newForm();
        form->appeared();
        [&] { QTRY_VERIFY_WITH_TIMEOUT(!form->place().isEmpty(), 20000); }();
        return form;
    }
    static void pick(SHazardDescriptorView &form, Row row, const QString &choice)
    {
        form.tapRow(int(row));
        PlacePickerView *picker = form.picker();
        QVERIFY(picker);
        const int index = int(picker->shownChoices().indexOf(choice));
        QVERIFY2(index >= 0, qPrintable(choice));
        picker->turn(index);
        picker->done();
        QVERIFY(!form.picker());
    }
    void fillIn(SHazardDescriptorView &form, const QList<int> &photoWidths)
    {
        for (int width : photoWidths)
            form.photos()->selectedImages()->append(storedPhoto(*store, photo(width)));
        form.setDescriptionText(QStringLiteral("皮带机护罩脱落\n  "));
        pick(form, Row::Source, QStringLiteral("专项检查"));
        pick(form, Row::Place, QStringLiteral("原料库"));
        pick(form, Row::Weather, QStringLiteral("雨"));
    }
    void expectBody(const QJsonObject &body, QJsonObject parameters) const
    {
        QJsonObject sent = body;
        QCOMPARE(sent.take("image"), parameters.value("image"));
        parameters.remove("image");
        QCOMPARE(sent, client->withCommonParameters(parameters));
    }

private slots:
    void initTestCase() { QVERIFY(start()); }
    void init()
    {
        QVERIFY(reset());
        service->answer(json::standardPlace, twoPlaces);
    }

    void pickersKeepCancelAndStartAtTheValue()
    {
        auto form = newForm();
        const QAbstractItemModelTester tester(
            form->rows(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(chosen(*form), QStringList({"", "一般隐患", "", "", "", ""}));

        // A picker ends text editing; "完成" without turning leaves the
        // value, present or absent.
        form->setFocusedField(QStringLiteral("descriptionText"));
        form->tapRow(int(Row::Level));
        QCOMPARE(form->focusedField(), QString());
        QVERIFY(form->rows()->index(1).data(HazardChoiceRows::PickerShownRole).toBool());
        QCOMPARE(form->picker()->wheelRow(), 0);
        form->picker()->done();
        QCOMPARE(form->selectedLevel(), QStringLiteral("一般隐患"));
        form->tapRow(int(Row::PrimaryType));
        form->picker()->done();
        QCOMPARE(form->selectedPrimaryType(), std::nullopt);

        pick(*form, Row::Level, QStringLiteral("重大隐患"));
        form->tapRow(int(Row::Level));
        QCOMPARE(form->picker()->wheelRow(), 1);
        QCOMPARE(form->picker()->selectedRow(), std::nullopt);
        // Swiping the sheet away is no choice either.
        form->dismissPicker();
        QCOMPARE(form->selectedLevel(), QStringLiteral("重大隐患"));

        // "取消" clears, the initial level and the initial empty source too.
        form->tapRow(int(Row::Level));
        form->picker()->cancel();
        QCOMPARE(form->selectedLevel(), std::nullopt);
        form->rows()->open(int(Row::Source));
        QVERIFY(form->showsPicker(Row::Source));
        form->picker()->cancel();
        QCOMPARE(form->selectedSource(), std::nullopt);
        QCOMPARE(chosen(*form), QStringList(6));
    }

    void secondLevelTypesFollowTheFirstLevel()
    {
        auto form = newForm();
        form->tapRow(int(Row::SecondaryType));
        QVERIFY(acknowledged(*form, QStringLiteral("请选择一级隐患类型后再选择二级隐患类型")));
        QVERIFY(!form->picker());

        pick(*form, Row::PrimaryType, QStringLiteral("基础管理"));
        form->tapRow(int(Row::SecondaryType));
        QCOMPARE(form->picker()->shownChoices().size(), 13);
        form->picker()->cancel();
        pick(*form, Row::SecondaryType, QStringLiteral("应急管理"));
        // Choosing the same first-level type again keeps its second-level one.
        pick(*form, Row::PrimaryType, QStringLiteral("基础管理"));
        QCOMPARE(form->selectedSecondaryType(), QStringLiteral("应急管理"));

        // Another first-level type drops a second-level type it does not have.
        pick(*form, Row::PrimaryType, QStringLiteral("现场管理"));
        QCOMPARE(form->selectedSecondaryType(), std::nullopt);
        form->tapRow(int(Row::SecondaryType));
        QCOMPARE(form->secondaryTypes().size(), 10);
        form->dismissPicker();
    }

    void validationStopsAtTheFirstGap()
    {
        auto form = shownForm();
        const auto refused = [&form](const char *message) {
            form->submit();
            return !form->isLoading() && acknowledged(*form, QString::fromUtf8(message));
        };
        form->setFocusedField(QStringLiteral("descriptionText"));
        QVERIFY(refused("请拍照上传隐患位置照片"));
        QCOMPARE(form->focusedField(), QString());
        form->photos()->selectedImages()->append(storedPhoto(*store, photo(41)));
        QVERIFY(refused("请填写隐患描述信息"));
        // Blanks are a description.
        form->setDescriptionText(QStringLiteral("  "));
        QVERIFY(refused("请选择隐患来源"));
        pick(*form, Row::Source, QStringLiteral("季节检查"));
        form->tapRow(int(Row::Source));
        form->picker()->cancel();
        QVERIFY(refused("请选择隐患来源"));
        pick(*form, Row::Source, QStringLiteral("其它"));
        QVERIFY(refused("请选择地点"));
        pick(*form, Row::Place, QStringLiteral("一号窑"));
        QVERIFY(refused("请选择天气"));
        QCOMPARE(service->uploadCount(), 0);
        QVERIFY(service->requestsTo(json::createDanger).empty());
    }

    void aFullReportAndTheClose()
    {
        auto form = shownForm();
        QJsonObject places = recordIn(QStringLiteral("hazard/form.json"), "places request");
        places["server"] = config.notesServer;
        expectBody(service->lastBody(json::standardPlace), places);
        fillIn(*form, {41, 42});
        // A photo still being decoded from the album goes with the report.
        form->photos()->imagePicker()->pick({albumFile(43)});
        pick(*form, Row::PrimaryType, QStringLiteral("现场管理"));
        pick(*form, Row::SecondaryType, QStringLiteral("设备设施"));
        // Filed through the outbox of the signed-in account.
        QVERIFY(signIn());
        service->answer(json::createDanger, R"({"code":1,"msg":"隐患登记成功","docid":"D1"})");
        QSignalSpy closing(form.get(), &SHazardDescriptorView::closeRequested);
        form->submit();
        QVERIFY(form->isLoading());
        QVERIFY(alertShown(*form));
        QCOMPARE(form->alert()->message(), QStringLiteral("隐患登记成功"));
        QVERIFY(form->navigateToContentView());

        const QJsonObject body = service->lastBody(json::createDanger);
        QCOMPARE(sortedImageAddresses(body),
                 QStringList({"http://g/w41.jpg", "http://g/w42.jpg", "http://g/w43.jpg"}));
        QJsonObject report = recordIn(QStringLiteral("hazard/form.json"), "full report");
        report["server"] = config.notesServer;
        report["image"] = body.value("image");
        expectBody(body, report);
        QCOMPARE(closing.size(), 0);
        form->alert()->acknowledge();
        QCOMPARE(closing.size(), 1);
        form->draft()->save(); // filed: no draft left, nor made again
        QVERIFY(!store->loadDraft(zhangwei, "hazard") && outbox->waitingCount() == 0);
        QCOMPARE(service->uploadCount(), 3);
    }

    void absentValuesAreSentEmpty()
    {
        user->setOu1(std::nullopt);
        user->setOu2(std::nullopt);
        user->setUsername(std::nullopt);
        auto form = shownForm();
        fillIn(*form, {41});
        form->tapRow(int(Row::Level));
        form->picker()->cancel();
        service->answer(json::createDanger, R"({"code":1,"msg":"ok"})");
        form->submit();
        QVERIFY(acknowledged(*form, QStringLiteral("ok")));
        QJsonObject report = recordIn(QStringLiteral("hazard/form.json"), "absent values");
        report["server"] = config.notesServer;
        expectBody(service->lastBody(json::createDanger), report);
    }

    // Places without a name are left out; answers with nothing usable give
    // an empty list, not an error.
    void placeAnswers_data() { addRows(QStringLiteral("hazard/place-answers.json")); }
    void placeAnswers()
    {
        QFETCH(QJsonObject, row);
        service->clearAnswers();
        service->answer(json::standardPlace, answerText(row["answer"]));
        auto form = newForm();
        form->appeared();
        form->tapRow(int(Row::Place));
        QTRY_VERIFY_WITH_TIMEOUT(form->showsPicker(Row::Place), 20000);
        QCOMPARE(QJsonArray::fromStringList(form->picker()->shownChoices()), row["places"]);
        QVERIFY(!form->alert()->shown());
    }

    void aFailedPlaceListLoadsAgainFromItsRow()
    {
        // The list fails, and the place row is tapped: it loads again.
        const auto waitingForPlaces = [&] {
            service->clearAnswers();
            service->answer(json::standardPlace, R"({"code":0,"msg":"服务暂停"})");
            service->answer(json::standardPlace, twoPlaces);
            auto form = newForm();
            form->appeared();
            [&] { QVERIFY(acknowledged(*form, QStringLiteral("服务暂停"))); }();
            form->tapRow(int(Row::Place));
            return form;
        };
        auto form = waitingForPlaces();
        QVERIFY(form->isLoadingPlaces() && !form->picker());
        QTRY_VERIFY_WITH_TIMEOUT(form->showsPicker(Row::Place), 20000);
        QCOMPARE(form->picker()->shownChoices(), QStringList({"一号窑", "原料库"}));
        form->picker()->done();

        // A list that does not decode: the message, and the list stays.
        service->clearAnswers();
        service->answer(json::standardPlace, R"({"code":1,"msg":7,"checkitems":[]})");
        form->appeared();
        QVERIFY(acknowledged(*form, QStringLiteral("数据错误!!!")));
        QCOMPARE(form->place(), QStringList({"一号窑", "原料库"}));

        // A picker opened while the places load is not replaced when they come.
        auto other = waitingForPlaces();
        other->tapRow(int(Row::Weather));
        const QString weather = other->picker()->title();
        QTRY_VERIFY_WITH_TIMEOUT(!other->place().isEmpty(), 20000);
        QCOMPARE(other->picker()->title(), weather);
    }

    // A second "新增" while one runs, or after it succeeded, sends nothing,
    // and neither the form nor its photos can be left or changed meanwhile;
    // a failed upload keeps everything.
    void oneReportPerSubmissionAndAFailedUploadKeepsEverything()
    {
        QVERIFY(signIn());
        auto form = shownForm();
        fillIn(*form, {41, 42, 43});
        QSignalSpy closing(form.get(), &SHazardDescriptorView::closeRequested);
        service->refuseWidth(42);
        form->submit();
        form->submit();
        form->goBack();
        QVERIFY(!form->discardGuard()->asking());
        form->photos()->removePhoto(0);
        QVERIFY(!form->photos()->editable());
        QVERIFY(acknowledged(*form, QStringLiteral("上传失败，请重试。")));
        QCOMPARE(form->photos()->selectedImages()->count(), 3);
        QVERIFY(!form->isLoading());
        QCOMPARE(service->uploadCount(), 3);
        QCOMPARE(closing.size(), 0);
        // The file store said no: the user acts, nothing is retried behind the form.
        QCOMPARE(outbox->waitingCount(), 0);
        QVERIFY(store->loadDraft(zhangwei, "hazard"));

        // The next "新增" passes validation and uploads all three again.
        service->refuseWidth(-1);
        service->answer(json::createDanger, R"({"code":1,"msg":"ok"})");
        form->submit();
        form->submit();
        QVERIFY(acknowledged(*form, QStringLiteral("ok")));
        QCOMPARE(service->uploadCount(), 6);
        QCOMPARE(service->requestCount(json::createDanger), 1);
        QCOMPARE(sortedImageAddresses(service->lastBody(json::createDanger)).size(), 3);
        form->submit();
        QCOMPARE(form->isLoading(), false);
        QCOMPARE(closing.size(), 1);
    }

    // The service stored the report: answers it cannot be decoded from still
    // close the form, while refusals and the end of a sign-in keep it and its
    // draft; one that may have arrived waits in a signed-in account's outbox.
    void answersOfTheSubmission_data()
    {
        addRows(QStringLiteral("hazard/submission-answers.json"));
    }
    void answersOfTheSubmission()
    {
        QFETCH(QJsonObject, row);
        const bool closes = row["closes"].toBool();
        if (row["session"] == "signed in")
            QVERIFY(signIn());
        else if (row["session"] == "guest")
            session->enterGuest();
        auto form = shownForm();
        fillIn(*form, {41});
        service->answer(json::createDanger, answerText(row["answer"]));
        form->submit();
        QVERIFY(alertShown(*form));
        QCOMPARE(form->alert()->message(), row["message"].toString());
        QCOMPARE(form->navigateToContentView(), closes);
        QVERIFY(!form->isLoading());
        QCOMPARE(outbox->waitingCount(), row["waiting"].toInt());
        QCOMPARE(bool(store->loadDraft(user->storeKey(), "hazard")), !closes);
        QSignalSpy closing(form.get(), &SHazardDescriptorView::closeRequested);
        form->alert()->acknowledge();
        QCOMPARE(closing.size(), closes ? 1 : 0);
        QVERIFY(closes || form->canSubmit());
    }
};

QTEST_MAIN(TestHazardForm)
#include "tst_hazard_form.moc"
