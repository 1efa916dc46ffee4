#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class QTcpServer;
class QTcpSocket;

// What the provider sent back through the browser.
struct RedirectParameters {
    QString code;
    QString state;
    QString error;            // e.g. "access_denied"
    QString errorDescription;
};

// The browser's way back (RFC 8252, loopback redirect): listens on the
// loopback address only, on a port the system picks, and takes one request
// that carries an answer. That request is held open until respond() so the
// page can say how the sign-in ended; the listener then stops. Requests
// without an answer (a browser asking for an icon) get "not found".
class RedirectListener : public QObject {
    Q_OBJECT
public:
    explicit RedirectListener(QObject *parent = nullptr);
    ~RedirectListener() override;

    // Starts listening on 127.0.0.1 and, for a redirect host of "localhost",
    // on ::1 at the same port when it is free, since a browser may try
    // either. False when no port could be had.
    bool listen(const QString &redirectHost);
    // "http://<host>:<port>", as it goes into the requests.
    QString redirectUri() const { return m_redirectUri; }
    quint16 port() const { return m_port; }

    // Answers the held request with a short page and stops listening.
    void respond(bool signedIn, const QString &failure);
    void close();

signals:
    void received(const RedirectParameters &parameters);

private:
    void accept(QTcpServer *server);
    void read(QTcpSocket *socket);
    void stopListening();

    QList<QTcpServer *> m_servers;
    QPointer<QTcpSocket> m_held;
    QString m_redirectUri;
    quint16 m_port = 0;
    bool m_answered = false;
};
