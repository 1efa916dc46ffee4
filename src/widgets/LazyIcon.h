#pragma once

#include <QIcon>
#include <QList>
#include <QString>

// An icon drawn at several sizes, one picture file per size, of which only
// the sizes actually painted are ever read and decoded: a tray icon is shown
// at one size, and decoding the others at start-up costs time for nothing.
struct IconFile {
    int size; // width and height in pixels
    QString path;
};
QIcon LazyIcon(const QList<IconFile> &files);
