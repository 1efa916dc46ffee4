#include "app/XEmbedTrayWatch.h"

#include "app/XSelectionOwned.h"


XEmbedTrayWatch::XEmbedTrayWatch(QObject *parent) : QObject(parent)
{
    m_poll.setInterval(1000);
    connect(&m_poll, &QTimer::timeout, this, [this] {
        if (trayPresent()) {
            m_poll.stop();
            emit trayAppeared();
        }
    });
}

bool XEmbedTrayWatch::trayPresent() const
{
    return XSelectionOwned("_NET_SYSTEM_TRAY_S");
}

void XEmbedTrayWatch::startWatching()
{
    m_poll.start();
}

void XEmbedTrayWatch::stopWatching()
{
    m_poll.stop();
}
