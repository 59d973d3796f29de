#pragma once

#include <QImage>
#include <QString>

namespace orvelle {

// The user's own copy of what the camera took, in their Pictures folder under
// "Orvelle". A failure is logged, never shown.
class PhotoAlbum
{
public:
    explicit PhotoAlbum(QString directory = defaultDirectory());

    static QString defaultDirectory();
    QString directory() const { return m_directory; }

    // Encodes and writes: call it off the GUI thread.
    void save(const QImage &image) const;

private:
    QString m_directory;
};

} // namespace orvelle
