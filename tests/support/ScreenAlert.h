#pragma once

#include <QString>
#include <QTest>

namespace orvelle::test {

// Waits for a screen's message box; an upload and submission may take a while.
template <typename View> bool alertShown(View &view)
{
    return QTest::qWaitFor([&] { return view.alert()->shown(); }, 30000);
}

// Waits for a screen's message box: true when it says `message`, and then it
// is closed as "确定" would.
template <typename View> bool acknowledged(View &view, const QString &message)
{
    if (!alertShown(view)) {
        qWarning("no message box; awaited \"%s\"", qPrintable(message));
        return false;
    }
    if (view.alert()->message() != message) {
        qWarning("the box says \"%s\", not \"%s\"", qPrintable(view.alert()->message()),
                 qPrintable(message));
        return false;
    }
    view.alert()->acknowledge();
    return true;
}

} // namespace orvelle::test
