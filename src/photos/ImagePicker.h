#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

namespace orvelle {

class PhotoIntake;
class PhotoListModel;

// What the user is told of picked files that gave no photo; empty when all did.
QString pickProblem(const QStringList &unreadable, const QStringList &notStored);

// The photo chooser: a file dialog over image files (drawn by
// ImagePickerDialog.qml) whose picks go through the photo intake and are
// appended to the host's list as each one is stored. The list never grows
// past `maximumPhotos` through this picker, whatever the dialog delivers.
// A pick that gives no photo is named in `problem`, never dropped unsaid.
class ImagePicker : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Created by the screen that holds the photos")
    Q_PROPERTY(int selectionLimit READ selectionLimit NOTIFY changed)
    Q_PROPERTY(int pendingLoads READ pendingLoads NOTIFY changed)

public:
    static constexpr int maximumPhotos = 8;

    ImagePicker(PhotoListModel &selectedImages, PhotoIntake &intake, QObject *parent = nullptr);

    // How many more the dialog may take; 0 means the list is full, which the
    // dialog treats as no limit (the append rule still holds).
    int selectionLimit() const;
    int pendingLoads() const { return m_pendingLoads; }

    // The dialog's answer. Beyond the selection limit the rest is ignored, as
    // a picker with a limit would not have let them be chosen.
    Q_INVOKABLE void pick(const QList<QUrl> &files);

signals:
    void changed();
    // Every load of the last picks has ended (appended or skipped).
    void loadsFinished();
    // Once the loads have ended: the files that gave no photo, by name.
    void problem(const QString &message);

private:
    void loadEnded();

    QPointer<PhotoListModel> m_selectedImages;
    PhotoIntake &m_intake;
    int m_pendingLoads = 0;
    QStringList m_unreadable;
    QStringList m_notStored;
};

} // namespace orvelle
