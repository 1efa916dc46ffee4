#pragma once

#include <QByteArray>
#include <QString>

// The media type of a file to attach, told from its content and name, so that
// mail programs open a picture as a picture. A type that cannot be told is
// "application/octet-stream".
QByteArray DetectMediaType(const QString &path);

// Reads the media type database, which its first use does otherwise.
void PrepareMediaTypes();
