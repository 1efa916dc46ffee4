#pragma once

#include <QObject>
#include <QTimer>

// Whether the X display has a notification area of the older, embedding
// kind: an owner of the screen's system tray selection. Looked for about
// once a second while watching, which the tray controller does only until
// it has put its icon in place; from then on Qt follows that tray itself.
class XEmbedTrayWatch : public QObject {
    Q_OBJECT
public:
    explicit XEmbedTrayWatch(QObject *parent = nullptr);

    // False where the program is not on an X display.
    bool trayPresent() const;
    void startWatching();
    void stopWatching();

signals:
    void trayAppeared();

private:
    QTimer m_poll;
};
