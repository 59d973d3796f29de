#pragma once

#include <QQuickItem>
#include <QtQml/qqmlregistration.h>

namespace orvelle {

// Laid under a form's content (anchors.fill, z: -1): a tap on the background,
// not on a control, ends text editing and hides the input method.
class DismissKeyboardOnTapModifier : public QQuickItem
{
    Q_OBJECT
    QML_ELEMENT

public:
    explicit DismissKeyboardOnTapModifier(QQuickItem *parent = nullptr);

    Q_INVOKABLE void dismiss();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void touchEvent(QTouchEvent *event) override;
};

} // namespace orvelle
