#include "signin/RedirectListener.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

#include <sys/socket.h>

namespace {

// A redirect carrying a code and a state is well under this; anything larger
// is not one.
constexpr qsizetype kMaxRequest = 16 * 1024;

QByteArray Page(const QString &heading, const QString &text)
{
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Quorvane</title></head>"
           "<body style=\"font-family:sans-serif;margin:3em\"><h1>" +
           heading.toHtmlEscaped().toUtf8() + "</h1><p>" + text.toHtmlEscaped().toUtf8() + "</p></body></html>\n";
}

void Reply(QTcpSocket *socket, const QByteArray &status, const QByteArray &body)
{
    socket->write("HTTP/1.1 " + status + "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                  QByteArray::number(body.size()) +
                  "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n" + body);
    socket->disconnectFromHost();
}

QString Item(const QUrlQuery &query, const char *name)
{
    return query.queryItemValue(QLatin1String(name), QUrl::FullyDecoded);
}

// Compares without stopping at the first difference, so the time taken
// tells nothing about how much of a guess was right.
bool SameSecret(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size())
        return false;
    unsigned char difference = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        difference |= static_cast<unsigned char>(a.at(i) ^ b.at(i));
    return difference == 0;
}

// Whether the peer has sent anything yet, read or still in the system's buffer.
bool HasSentSomething(QTcpSocket *socket)
{
    if (socket->bytesAvailable() > 0 || !socket->property("request").toByteArray().isEmpty())
        return true;
    char byte = 0;
    return ::recv(int(socket->socketDescriptor()), &byte, 1, MSG_PEEK | MSG_DONTWAIT) > 0;
}

// When the process runs out of file descriptors, QTcpServer stops accepting
// for good; once some are free again the browser must still get in.
constexpr std::chrono::milliseconds kAcceptRetry{250};

} // namespace

RedirectRequest ParseRedirectRequest(const QByteArray &request)
{
    RedirectRequest out;
    if (request.size() > kMaxRequest) {
        out.kind = RedirectRequest::TooLarge;
        return out;
    }
    if (request.indexOf("\r\n\r\n") < 0)
        return out;
    const QList<QByteArray> words = request.left(request.indexOf("\r\n")).split(' ');
    if (words.size() != 3 || words.at(0) != "GET") {
        out.kind = RedirectRequest::NotAllowed;
        return out;
    }
    const QUrl target(QString::fromLatin1(words.at(1)));
    const QUrlQuery query(target);
    const bool isAnswer = query.hasQueryItem(QStringLiteral("code")) || query.hasQueryItem(QStringLiteral("error")) ||
                          query.hasQueryItem(QStringLiteral("state"));
    if (!isAnswer || target.path() != QStringLiteral("/")) {
        out.kind = RedirectRequest::NotAnAnswer;
        return out;
    }
    out.kind = RedirectRequest::Answer;
    out.parameters = {Item(query, "code"), Item(query, "state"), Item(query, "error"), Item(query, "error_description")};
    return out;
}

RedirectListener::RedirectListener(QObject *parent) : QObject(parent) {}

RedirectListener::~RedirectListener()
{
    close();
}

bool RedirectListener::listen(const QString &redirectHost)
{
    auto *v4 = new QTcpServer(this);
    if (!v4->listen(QHostAddress::LocalHost, 0)) {
        delete v4;
        return false;
    }
    m_servers.append(v4);
    m_port = v4->serverPort();
    if (redirectHost == QStringLiteral("localhost")) {
        auto *v6 = new QTcpServer(this);
        if (v6->listen(QHostAddress::LocalHostIPv6, m_port))
            m_servers.append(v6);
        else
            delete v6;
    }
    for (QTcpServer *server : m_servers) {
        connect(server, &QTcpServer::newConnection, this, [this, server] { accept(server); });
        connect(server, &QTcpServer::acceptError, this, [this, server] {
            QTimer::singleShot(kAcceptRetry, server, [this, server] {
                if (!m_answered && server->isListening())
                    server->resumeAccepting();
            });
        });
    }
    m_redirectUri = QStringLiteral("http://%1:%2").arg(redirectHost).arg(m_port);
    return true;
}

int RedirectListener::openConnections() const
{
    int count = 0;
    for (const QPointer<QTcpSocket> &socket : m_open)
        count += socket ? 1 : 0;
    return count;
}

void RedirectListener::accept(QTcpServer *server)
{
    while (QTcpSocket *socket = server->nextPendingConnection()) {
        while (openConnections() >= m_connectionLimit)
            makeRoom();
        m_open.append(socket);
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            forget(socket);
            socket->deleteLater();
        });
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        // The answered request is held for as long as the sign-in needs it;
        // any other connection has had its chance by then.
        // The held socket may outlive the listener: the timer goes with the
        // socket, its connection with the listener.
        auto *deadline = new QTimer(socket);
        deadline->setSingleShot(true);
        connect(deadline, &QTimer::timeout, this, [this, socket] {
            if (socket == m_held)
                return;
            forget(socket);
            socket->abort();
            socket->deleteLater();
        });
        deadline->start(m_requestTimeout);
    }
}

void RedirectListener::makeRoom()
{
    m_open.removeAll(QPointer<QTcpSocket>());
    if (m_open.isEmpty())
        return;
    // First one already answered, then the oldest that has sent nothing, and
    // only when every one is sending, the oldest.
    QTcpSocket *victim = nullptr;
    for (const QPointer<QTcpSocket> &socket : std::as_const(m_open)) {
        if (socket->property("replied").toBool()) {
            victim = socket;
            break;
        }
    }
    for (qsizetype i = 0; !victim && i < m_open.size(); ++i) {
        if (!HasSentSomething(m_open.at(i)))
            victim = m_open.at(i);
    }
    if (!victim)
        victim = m_open.first();
    forget(victim);
    victim->abort();
    victim->deleteLater();
}

void RedirectListener::forget(QTcpSocket *socket)
{
    m_open.removeAll(QPointer<QTcpSocket>(socket));
    m_open.removeAll(QPointer<QTcpSocket>());
}

void RedirectListener::read(QTcpSocket *socket)
{
    if (socket->property("replied").toBool()) {
        socket->readAll();
        return;
    }
    const QByteArray request = socket->property("request").toByteArray() + socket->readAll();
    const RedirectRequest parsed = ParseRedirectRequest(request);
    switch (parsed.kind) {
    case RedirectRequest::Incomplete:
        socket->setProperty("request", request);
        return;
    case RedirectRequest::TooLarge:
        forget(socket);
        socket->abort();
        socket->deleteLater();
        return;
    case RedirectRequest::NotAllowed:
    case RedirectRequest::NotAnAnswer:
    case RedirectRequest::Answer:
        break;
    }
    socket->setProperty("request", QVariant());
    socket->setProperty("replied", true);
    if (parsed.kind == RedirectRequest::NotAllowed) {
        Reply(socket, "405 Method Not Allowed", Page(QStringLiteral("Quorvane"), QStringLiteral("Not here.")));
        return;
    }
    if (parsed.kind == RedirectRequest::NotAnAnswer || m_answered) {
        Reply(socket, "404 Not Found", Page(QStringLiteral("Quorvane"), QStringLiteral("Not here.")));
        return;
    }
    // Someone other than the browser this sign-in sent out: the real answer
    // may still come.
    if (!m_expectedState.isEmpty() && !SameSecret(parsed.parameters.state.toUtf8(), m_expectedState)) {
        Reply(socket, "400 Bad Request",
              Page(QStringLiteral("Quorvane"),
                   QStringLiteral("This answer does not belong to the sign-in under way. "
                                  "Finish the sign-in in the window it opened.")));
        return;
    }
    m_answered = true;
    m_held = socket;
    forget(socket);
    // The server owns its sockets; this one must outlive it long enough to
    // deliver the page, and goes once the browser has read it.
    socket->setParent(nullptr);
    // No second answer is taken, from this browser or anyone else.
    stopListening();
    emit received(parsed.parameters);
}

void RedirectListener::respond(bool signedIn, const QString &failure)
{
    if (m_held) {
        if (signedIn)
            Reply(m_held, "200 OK", Page(QStringLiteral("Quorvane"), QStringLiteral("You are signed in; you may close this tab.")));
        else
            Reply(m_held, "200 OK", Page(QStringLiteral("Quorvane could not sign you in"), failure));
        m_held = nullptr;
    }
    stopListening();
}

void RedirectListener::stopListening()
{
    for (QTcpServer *server : m_servers)
        server->close();
}

void RedirectListener::close()
{
    if (m_held) {
        m_held->abort();
        m_held->deleteLater();
        m_held = nullptr;
    }
    stopListening();
}
