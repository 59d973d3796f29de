#include "DismissKeyboardOnTapModifier.h"

#include <QGuiApplication>
#include <QInputMethod>
#include <QQuickWindow>

namespace orvelle {

DismissKeyboardOnTapModifier::DismissKeyboardOnTapModifier(QQuickItem *parent)
    : QQuickItem(parent)
{
    setAcceptedMouseButtons(Qt::LeftButton);
    setAcceptTouchEvents(true);
}

void DismissKeyboardOnTapModifier::dismiss()
{
    // Taking the focus ourselves is what ends editing in the text field; the
    // input method does not hide on its own on every platform.
    if (window() && window()->activeFocusItem() != this)
        forceActiveFocus(Qt::MouseFocusReason);
    QGuiApplication::inputMethod()->commit();
    QGuiApplication::inputMethod()->hide();
}

void DismissKeyboardOnTapModifier::mousePressEvent(QMouseEvent *event)
{
    event->accept();
}

void DismissKeyboardOnTapModifier::mouseReleaseEvent(QMouseEvent *event)
{
    if (contains(event->position()))
        dismiss();
    event->accept();
}

void DismissKeyboardOnTapModifier::touchEvent(QTouchEvent *event)
{
    if (event->type() == QEvent::TouchEnd)
        dismiss();
    event->accept();
}

} // namespace orvelle
