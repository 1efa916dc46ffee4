#include "signin/RedirectListener.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>
#include <QUrlQuery>

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

} // namespace

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
    for (QTcpServer *server : m_servers)
        connect(server, &QTcpServer::newConnection, this, [this, server] { accept(server); });
    m_redirectUri = QStringLiteral("http://%1:%2").arg(redirectHost).arg(m_port);
    return true;
}

void RedirectListener::accept(QTcpServer *server)
{
    while (QTcpSocket *socket = server->nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
    }
}

void RedirectListener::read(QTcpSocket *socket)
{
    QByteArray request = socket->property("request").toByteArray() + socket->readAll();
    if (request.size() > kMaxRequest) {
        socket->abort();
        return;
    }
    const qsizetype end = request.indexOf("\r\n\r\n");
    if (end < 0) {
        socket->setProperty("request", request);
        return;
    }
    const QList<QByteArray> words = request.left(request.indexOf("\r\n")).split(' ');
    if (words.size() != 3 || words.at(0) != "GET") {
        Reply(socket, "405 Method Not Allowed", Page(QStringLiteral("Quorvane"), QStringLiteral("Not here.")));
        return;
    }
    const QUrl target(QString::fromLatin1(words.at(1)));
    const QUrlQuery query(target);
    const bool isAnswer = query.hasQueryItem(QStringLiteral("code")) || query.hasQueryItem(QStringLiteral("error")) ||
                          query.hasQueryItem(QStringLiteral("state"));
    if (!isAnswer || m_answered || target.path() != QStringLiteral("/")) {
        Reply(socket, "404 Not Found", Page(QStringLiteral("Quorvane"), QStringLiteral("Not here.")));
        return;
    }
    m_answered = true;
    m_held = socket;
    // The server owns its sockets; this one must outlive it long enough to
    // deliver the page, and goes once the browser has read it.
    socket->setParent(nullptr);
    // No second answer is taken, from this browser or anyone else.
    stopListening();
    emit received({Item(query, "code"), Item(query, "state"), Item(query, "error"), Item(query, "error_description")});
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
