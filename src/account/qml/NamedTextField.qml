import QtQuick
import QtQuick.Controls

// A text field whose Accessible.name reaches screen readers, also while it
// echoes a password. Qt 6.4's Accessible attached object answers an empty
// name whenever its passwordEdit flag is set, and TextField sets that flag
// for a password echo the moment a screen reader connects (and on each change
// of echo mode), so the name a page gives was never read out. The tree takes
// the field's password state from its echo mode, not from the flag, so it
// still reports a password field with the flag kept off.
TextField {
    id: field
    Accessible.passwordEdit: false
    Accessible.onPasswordEditChanged: if (field.Accessible.passwordEdit) field.Accessible.passwordEdit = false
}
