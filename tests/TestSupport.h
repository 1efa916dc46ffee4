#pragma once

#include "store/UserMessages.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QTemporaryDir>

struct AppState;

// Records the message boxes a part would have shown.
class RecordedMessages : public UserMessages {
public:
    void show(const QString &caption, const QString &text) override { shown.append({caption, text}); }
    QList<QPair<QString, QString>> shown;
};

// A fresh profile in a temporary folder: appDataFolder and the data paths set
// as start-up sets them, nothing created yet.
void PointStateAt(AppState &state, const QString &appDataFolder);

QByteArray ReadWholeFile(const QString &path);
bool WriteWholeFile(const QString &path, const QByteArray &bytes);
