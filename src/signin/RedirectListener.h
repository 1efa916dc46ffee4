#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>

class QTcpServer;
class QTcpSocket;

// What the provider sent back through the browser.
struct RedirectParameters {
    QString code;
    QString state;
    QString error;            // e.g. "access_denied"
    QString errorDescription;
};

// One request as it arrived on the listener, judged without a socket.
struct RedirectRequest {
    enum Kind {
        Incomplete, // the header block has not ended yet
        TooLarge,   // more than any redirect: dropped
        NotAllowed, // not a GET: 405
        NotAnAnswer,// no code, error or state, or not at "/": 404
        Answer,
    };
    Kind kind = Incomplete;
    RedirectParameters parameters; // for an Answer
};
RedirectRequest ParseRedirectRequest(const QByteArray &request);

// The browser's way back (RFC 8252, loopback redirect): listens on the
// loopback address only, on a port the system picks, and takes one request
// that carries an answer. That request is held open until respond() so the
// page can say how the sign-in ended; the listener then stops. Requests
// without an answer (a browser asking for an icon) get "not found"; once a
// state is expected, an answer with any other state gets an error page and
// the listener goes on waiting, so a stray local process cannot end the
// sign-in.
//
// Any local process can connect to the port, so what it holds is bounded: a
// few connections at a time, each dropped when it has not sent its request
// within a couple of seconds. A newcomer always gets in, at the expense of
// the oldest connection that has sent nothing, since a browser sends its
// request as soon as it is connected.
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

    // Only an answer carrying this state is taken from now on.
    void expectState(const QByteArray &state) { m_expectedState = state; }

    // How many connections are held at most, and how long each may take to
    // send its request. For tests; the defaults suit a browser.
    void setConnectionLimit(int connections) { m_connectionLimit = qMax(1, connections); }
    void setRequestTimeout(std::chrono::milliseconds timeout) { m_requestTimeout = timeout; }
    // The connections held now, the answered one aside.
    int openConnections() const;

    // Answers the held request with a short page and stops listening.
    void respond(bool signedIn, const QString &failure);
    void close();

signals:
    void received(const RedirectParameters &parameters);

private:
    void accept(QTcpServer *server);
    void read(QTcpSocket *socket);
    void makeRoom();
    void forget(QTcpSocket *socket);
    void stopListening();

    QList<QTcpServer *> m_servers;
    // In the order they came, oldest first.
    QList<QPointer<QTcpSocket>> m_open;
    QPointer<QTcpSocket> m_held;
    QString m_redirectUri;
    QByteArray m_expectedState;
    int m_connectionLimit = 8;
    std::chrono::milliseconds m_requestTimeout{2000};
    quint16 m_port = 0;
    bool m_answered = false;
};
