#include "hazard/SHazardDescriptorView.h"
#include "inspection/DetailedOnspectionListView.h"
#include "support/FormFixture.h"
#include "support/StoredWork.h"
#include "support/TestData.h"

#include <QMetaProperty>
#include <QSignalSpy>
#include <QTest>

using namespace orvelle;
using namespace orvelle::test;
namespace json = endpoints::json;

namespace {
// Every plain property of a form, to tell whether something changed it.
QVariantMap plainProperties(const QObject &form)
{
    QVariantMap values;
    const QMetaObject *meta = form.metaObject();
    for (int i = 0; i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        if (!(property.metaType().flags() & QMetaType::PointerToQObject))
            values.insert(QLatin1String(property.name()), property.read(&form));
    }
    return values;
}

QStringList photoFieldsOf(const Submission &submission)
{
    QStringList fields;
    for (const PhotoField &field : submission.photoFields)
        fields << field.field + QLatin1Char(':') + field.group;
    return fields;
}
} // namespace

// The shell and the rules of both forms: each form's rules answer through the
// one interface, the shell guards leaving and keeps the draft the same way.
class TestFormShell : public QObject, FormFixture
{
    Q_OBJECT

    // A form as shown, with its sheet or its place list in.
    std::unique_ptr<FormShell> open(const QString &form)
    {
        if (form == "sheet") {
            const QStringList onsite{storedPhoto(*store, photo(40)).hash};
            auto sheet = std::make_unique<DetailedOnspectionListView>(*forms, onsite, "K-1");
            sheet->appeared();
            [&] { QTRY_VERIFY_WITH_TIMEOUT(sheet->canUpload(), 20000); }();
            return sheet;
        }
        auto hazard = std::make_unique<SHazardDescriptorView>(*forms);
        hazard->appeared();
        [&] { QTRY_VERIFY_WITH_TIMEOUT(!hazard->place().isEmpty(), 20000); }();
        return hazard;
    }
    // Filled in so that it may be filed, with one unqualified item on a sheet.
    void fillIn(FormShell &form)
    {
        form.photos()->selectedImages()->append(storedPhoto(*store, photo(41)));
        if (auto *sheet = qobject_cast<DetailedOnspectionListView *>(&form)) {
            sheet->checkitems()->at(0)->qualify();
            sheet->checkitems()->at(1)->disqualify();
            return;
        }
        auto &hazard = static_cast<SHazardDescriptorView &>(form);
        describe(hazard, QStringLiteral("皮带机护罩脱落"), 0);
    }
    static FormRules &rulesOf(FormShell &form) { return dynamic_cast<FormRules &>(form); }

private slots:
    void initTestCase() { QVERIFY(start()); }
    void init()
    {
        QVERIFY(reset());
        service->answerAlways(json::receiveSheet,
                              answerIn(QStringLiteral("inspection/sheet.json"), "two items"));
        service->answerAlways(json::standardPlace,
                              answerIn(QStringLiteral("hazard/form.json"), "two places"));
    }

    void rules_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("blankProblem");
        QTest::addColumn<QString>("draftKey");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("photoFields");
        QTest::newRow("sheet") << "sheet"
                               << "有项目未检查完成，请检查完成在上传"
                               << "sheet/K-1" << QString(json::createSheet)
                               << QStringList{"openimageurl:onsite", "image:added"};
        QTest::newRow("hazard") << "hazard"
                                << "请拍照上传隐患位置照片"
                                << "hazard" << QString(json::createDanger)
                                << QStringList{"image:photos"};
    }
    // Validation changes nothing on the form, whatever it finds; what is
    // filed and what is kept come from the form as it stands.
    void rules()
    {
        QFETCH(QString, form);
        QFETCH(QString, blankProblem);
        QFETCH(QString, draftKey);
        QFETCH(QString, path);
        QFETCH(QStringList, photoFields);
        auto shell = open(form);
        FormRules &rules = rulesOf(*shell);
        QVERIFY(!rules.isFilledIn());
        QCOMPARE(rules.validate(), blankProblem);
        fillIn(*shell);
        QVERIFY(rules.isFilledIn());
        shell->setFocusedField(QStringLiteral("typing"));
        const QVariantMap before = plainProperties(*shell);
        QCOMPARE(rules.validate(), QString());
        QCOMPARE(plainProperties(*shell), before);

        const Submission filed = rules.submission();
        QCOMPARE(filed.kind, form);
        QCOMPARE(filed.draftKey, draftKey);
        QCOMPARE(filed.path, path);
        QCOMPARE(photoFieldsOf(filed), photoFields);

        // Kept on the device, it is offered to the next form, which takes it
        // back whole on "继续填写"; "放弃" asks once more, then lets it go.
        QVERIFY(QTest::qWaitFor([&] { return store->loadDraft(zhangwei, draftKey).has_value(); }));
        const std::optional<FormDraft::Snapshot> kept = rules.snapshot();
        QVERIFY(kept);
        shell.reset();
        for (const bool restore : {true, false}) {
            auto other = open(form);
            QVERIFY(other->draft()->offered());
            other->draft()->discard();
            QVERIFY(other->draft()->offered() && other->draft()->confirmingDiscard());
            if (!restore) {
                other->draft()->discard();
                QVERIFY(!other->draft()->offered() && !store->loadDraft(zhangwei, draftKey));
                break;
            }
            other->draft()->cancelDiscard();
            other->draft()->restore();
            QTRY_COMPARE(other->photos()->photos().count(), 1);
            const std::optional<FormDraft::Snapshot> again = rulesOf(*other).snapshot();
            QVERIFY(again && rulesOf(*other).isFilledIn());
            QCOMPARE(again->fields, kept->fields);
            QCOMPARE(again->photos, kept->photos);
            other->draft()->save();
        }
    }

    void leaving_data() { rules_data(); }
    // An untouched form closes at once; a filled-in one asks first, and
    // "放弃" lets its draft go; adding a photo ends text editing.
    void leaving()
    {
        QFETCH(QString, form);
        QFETCH(QString, draftKey);
        auto untouched = open(form);
        QSignalSpy closed(untouched.get(), &FormShell::closeRequested);
        untouched->goBack();
        QCOMPARE(closed.size(), 1);

        auto shell = open(form);
        QSignalSpy closing(shell.get(), &FormShell::closeRequested);
        shell->setFocusedField(QStringLiteral("typing"));
        shell->photos()->addPhoto();
        QCOMPARE(shell->focusedField(), QString());
        fillIn(*shell);
        QVERIFY(QTest::qWaitFor([&] { return store->loadDraft(zhangwei, draftKey).has_value(); }));
        shell->goBack();
        QVERIFY(shell->discardGuard()->asking());
        shell->discardGuard()->keepEditing();
        QCOMPARE(closing.size(), 0);
        shell->goBack();
        shell->discardGuard()->discard();
        QCOMPARE(closing.size(), 1);
        QVERIFY(!store->loadDraft(zhangwei, draftKey));
    }
};

QTEST_MAIN(TestFormShell)
#include "tst_form_shell.moc"
