#include "mail/SmtpTransport.h"

#include "mail/EhloName.h"
#include "mail/MailComposer.h"
#include "mail/MessageStream.h"
#include "mail/TransportPolicy.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <curl/curl.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include <poll.h>
#include <sys/socket.h>

namespace {

struct EasyDeleter {
    void operator()(CURL *easy) const { curl_easy_cleanup(easy); }
};
struct UrlDeleter {
    void operator()(CURLU *url) const { curl_url_cleanup(url); }
};
struct ListDeleter {
    void operator()(curl_slist *list) const { curl_slist_free_all(list); }
};
using ListPtr = std::unique_ptr<curl_slist, ListDeleter>;

bool Append(ListPtr &list, const QByteArray &line)
{
    curl_slist *grown = curl_slist_append(list.get(), line.constData());
    if (!grown)
        return false;
    list.release();
    list.reset(grown);
    return true;
}

// The message, handed to libcurl as it asks for it. Its size is given
// beforehand, so libcurl declares it in MAIL FROM (SIZE=) where the server
// takes that, and a server's size limit refuses the mail before the upload.
size_t ReadMessage(char *buffer, size_t size, size_t count, void *stream)
{
    const std::int64_t n = static_cast<MessageStream *>(stream)->read(buffer, size * count);
    return n < 0 ? CURL_READFUNC_ABORT : static_cast<size_t>(n);
}

int RewindMessage(void *stream, curl_off_t offset, int origin)
{
    if (offset != 0 || origin != SEEK_SET)
        return CURL_SEEKFUNC_CANTSEEK;
    return static_cast<MessageStream *>(stream)->rewind() ? CURL_SEEKFUNC_OK : CURL_SEEKFUNC_FAIL;
}

TransportResult Failed(const QString &why)
{
    return {false, why};
}

// The reason in a refused token's challenge: its "status", as the
// providers give it, in printable text only. Nothing for any other
// challenge (a LOGIN prompt, the empty one before the token).
std::optional<QByteArray> TokenRefusal(const QByteArray &challenge)
{
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromBase64(challenge.trimmed()));
    if (!document.isObject())
        return std::nullopt;
    const QJsonValue status = document.object().value(QStringLiteral("status"));
    QByteArray reason = status.isString() ? status.toString().toUtf8().left(100) : QByteArray::number(status.toInteger());
    if (reason.isEmpty() || reason == "0")
        return QByteArrayLiteral("token refused");
    for (char &c : reason) {
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7e)
            c = '?';
    }
    return reason;
}

// Watches the SMTP dialogue as libcurl has it:
// - the server's last refusal (a 4xx or 5xx line), so a failure can say in
//   the server's own words what it did not take;
// - QUIT: libcurl ends every session with it and waits for the answer as
//   long as for any other, also after a failure and when the handle is
//   cleaned, so a server that has stopped answering would hold the send a
//   second full timeout. Nothing depends on that answer, so once QUIT is out
//   the connection is shut, and the wait ends at once;
// - a refused login: libcurl hangs up on it without a word, which servers
//   log as a lost connection, so the session is ended with QUIT here, on
//   libcurl's own TLS session where there is one. Nothing waits for the
//   answer: libcurl closes the connection right after.
struct SessionWatch {
    curl_socket_t socket = CURL_SOCKET_BAD;
    QByteArray lastRefusal;
    bool loggingIn = false;
    bool saidQuit = false;
    // A server refusing an OAuth token (Gmail, Dovecot) answers it with a
    // 334 challenge holding a base64 JSON error, and only gives its 535 once
    // that is acknowledged; libcurl takes the 334 as a refused login and
    // hangs up, so the JSON is all the reason there is.
    QByteArray tokenRefusal;

    static int rememberSocket(void *self, curl_socket_t socket, curlsocktype)
    {
        static_cast<SessionWatch *>(self)->socket = socket;
        return CURL_SOCKOPT_OK;
    }

    static int watch(CURL *easy, curl_infotype type, char *data, size_t size, void *self)
    {
        auto *session = static_cast<SessionWatch *>(self);
        if (type == CURLINFO_HEADER_IN) {
            const QByteArray challengeBefore = session->tokenRefusal;
            const bool refused = session->heard(QByteArray(data, static_cast<qsizetype>(size)));
            // A token refused with a challenge waits for its answer (an
            // empty line) before anything else.
            const bool challenged = session->tokenRefusal != challengeBefore;
            if ((refused || challenged) && session->loggingIn)
                session->sayQuit(easy, challenged);
        }
        if (type == CURLINFO_HEADER_OUT && size >= 4) {
            if (std::memcmp(data, "AUTH", 4) == 0)
                session->loggingIn = true;
            else if (std::memcmp(data, "MAIL", 4) == 0)
                session->loggingIn = false;
        }
        if (type == CURLINFO_HEADER_OUT && size >= 4 && std::memcmp(data, "QUIT", 4) == 0 &&
            session->socket != CURL_SOCKET_BAD)
            ::shutdown(session->socket, SHUT_RDWR);
        return 0;
    }

    void sayQuit(CURL *easy, bool answerChallenge)
    {
        if (saidQuit || socket == CURL_SOCKET_BAD)
            return;
        saidQuit = true;
        const char *kQuit = answerChallenge ? "\r\nQUIT\r\n" : "QUIT\r\n";
        const std::size_t length = std::strlen(kQuit);
        curl_tlssessioninfo *tls = nullptr;
        SSL *ssl = nullptr;
        if (curl_easy_getinfo(easy, CURLINFO_TLS_SSL_PTR, &tls) == CURLE_OK && tls &&
            tls->backend != CURLSSLBACKEND_NONE && tls->internals) {
            if (tls->backend != CURLSSLBACKEND_OPENSSL)
                return; // another TLS library's session is not ours to write to
            ssl = static_cast<SSL *>(tls->internals);
        }
        const bool sent = ssl ? SSL_write(ssl, kQuit, static_cast<int>(length)) > 0
                              : ::send(socket, kQuit, length, MSG_NOSIGNAL) > 0;
        if (sent)
            awaitGoodbye(ssl);
    }

    // The server's answer to QUIT, for a moment: a server that reads a
    // closed connection first may never get to the QUIT before it.
    void awaitGoodbye(SSL *ssl)
    {
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + std::chrono::seconds(2);
        char reply[512];
        while (Clock::now() < deadline) {
            if (!ssl || SSL_pending(ssl) == 0) {
                pollfd wait{socket, POLLIN, 0};
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
                if (::poll(&wait, 1, static_cast<int>(std::max<std::int64_t>(left.count(), 0))) <= 0)
                    return;
            }
            if (ssl) {
                const int n = SSL_read(ssl, reply, sizeof reply);
                if (n > 0)
                    return;
                const int error = SSL_get_error(ssl, n);
                if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE)
                    return;
            } else {
                const ssize_t n = ::recv(socket, reply, sizeof reply, MSG_DONTWAIT);
                if (n > 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) || n == 0)
                    return;
            }
        }
    }

    // True when the lines hold a refusal.
    bool heard(const QByteArray &lines)
    {
        bool refused = false;
        for (const QByteArray &raw : lines.split('\n')) {
            const QByteArray line = raw.trimmed();
            if (line.startsWith("334 "))
                tokenRefusal = TokenRefusal(line.mid(4)).value_or(tokenRefusal);
            if (line.size() >= 3 && (line[0] == '4' || line[0] == '5') && std::isdigit(static_cast<unsigned char>(line[1])) &&
                std::isdigit(static_cast<unsigned char>(line[2]))) {
                // Printable text only, and not a page of it.
                QByteArray kept = line.left(300);
                for (char &c : kept) {
                    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7e)
                        c = '?';
                }
                lastRefusal = kept;
                refused = true;
            }
        }
        return refused;
    }
};

// Whether the same send may go through later by itself: the network, the
// name service or the server is away or busy for now, or the server said
// so with a 4xx. A 5xx refusal, a login or certificate refused, a message
// the server will not take: those need the user.
bool MayWorkLater(CURLcode code, const QByteArray &lastRefusal)
{
    if (!lastRefusal.isEmpty())
        return lastRefusal.startsWith('4');
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
        return true;
    default:
        return false;
    }
}

} // namespace

// libcurl wants one global initialisation per process before any handle;
// a function-local static makes it happen once, whichever thread comes first.
bool PrepareTransport()
{
    static const CURLcode initialised = curl_global_init(CURL_GLOBAL_DEFAULT);
    return initialised == CURLE_OK;
}

TransportResult SubmitMail(const TransportPlan &plan, const SmtpCredentials *credentials, const ComposedMail &mail,
                           const MailTransportOptions &options)
{
    if (!plan.ok)
        return Failed(plan.failure);
    if (!mail.ok)
        return Failed(mail.failure);
    if (!PrepareTransport())
        return Failed(QStringLiteral("The mail library could not start"));

    SessionWatch session; // outlives the handle, whose cleanup says QUIT
    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    std::unique_ptr<CURLU, UrlDeleter> url(curl_url());
    if (!easy || !url)
        return Failed(QStringLiteral("Out of memory"));

    // The server name goes in as a host, never pasted into a URL, so a name
    // holding "/", "@" or "?" cannot turn into something else. The path is
    // the name EHLO gives: libcurl's own would be the host name cut at its
    // first dot.
    const QByteArray host = plan.host.toUtf8();
    const QByteArray port = QByteArray::number(plan.port);
    const QByteArray ehlo = "/" + EhloName(options.hostName, plan.host, plan.port);
    if (curl_url_set(url.get(), CURLUPART_SCHEME, plan.implicitTls ? "smtps" : "smtp", 0) != CURLUE_OK ||
        curl_url_set(url.get(), CURLUPART_HOST, host.constData(), 0) != CURLUE_OK ||
        curl_url_set(url.get(), CURLUPART_PORT, port.constData(), 0) != CURLUE_OK ||
        curl_url_set(url.get(), CURLUPART_PATH, ehlo.constData(), 0) != CURLUE_OK)
        return Failed(QStringLiteral("The SMTP server name \"%1\" is not usable").arg(plan.host));

    ListPtr recipients;
    for (const QByteArray &address : mail.envelopeRecipients) {
        if (!Append(recipients, "<" + address + ">"))
            return Failed(QStringLiteral("Out of memory"));
    }
    // The attachment's size is taken now, as the send starts, and held to;
    // it is encoded while the connection is made and the texts go out.
    MessageStream message;
    if (!message.open(mail))
        return Failed(message.failure());
    message.encodeAhead();

    CURL *e = easy.get();
    char errorText[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    curl_easy_setopt(e, CURLOPT_CURLU, url.get());
    curl_easy_setopt(e, CURLOPT_USE_SSL, static_cast<long>(plan.tlsRequired || plan.implicitTls ? CURLUSESSL_ALL : CURLUSESSL_TRY));
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, plan.verifyCertificate ? 1L : 0L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, plan.verifyCertificate ? 2L : 0L);
    const QByteArray caFile = QFile::encodeName(options.certificateAuthorityFile);
    if (!caFile.isEmpty())
        curl_easy_setopt(e, CURLOPT_CAINFO, caFile.constData());

    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, static_cast<long>(options.connectTimeout.count()));
    curl_easy_setopt(e, CURLOPT_SERVER_RESPONSE_TIMEOUT, static_cast<long>(options.stallTimeout.count()));
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, static_cast<long>(options.stallTimeout.count()));
    curl_easy_setopt(e, CURLOPT_SOCKOPTFUNCTION, &SessionWatch::rememberSocket);
    curl_easy_setopt(e, CURLOPT_SOCKOPTDATA, &session);
    // Closed at the end of the transfer, while these callbacks still watch it,
    // not later by libcurl's own handle for cached connections.
    curl_easy_setopt(e, CURLOPT_FORBID_REUSE, 1L);
    // The commands reach the debug callback only when verbose; it prints nothing.
    curl_easy_setopt(e, CURLOPT_DEBUGFUNCTION, &SessionWatch::watch);
    curl_easy_setopt(e, CURLOPT_DEBUGDATA, &session);
    curl_easy_setopt(e, CURLOPT_VERBOSE, 1L);

    if (credentials) {
        curl_easy_setopt(e, CURLOPT_USERNAME, credentials->userName.constData());
        if (credentials->bearerToken) {
            // Mail providers take XOAUTH2. libcurl would pick OAUTHBEARER
            // when a server offers both, whatever CURLOPT_HTTPAUTH says, so
            // the mechanism is named in the login options instead.
            curl_easy_setopt(e, CURLOPT_XOAUTH2_BEARER, credentials->bearerToken);
            curl_easy_setopt(e, CURLOPT_LOGIN_OPTIONS, "AUTH=XOAUTH2");
        } else {
            curl_easy_setopt(e, CURLOPT_PASSWORD, credentials->password ? credentials->password : "");
        }
    }
    const QByteArray from = "<" + mail.envelopeFrom + ">";
    curl_easy_setopt(e, CURLOPT_MAIL_FROM, from.constData());
    curl_easy_setopt(e, CURLOPT_MAIL_RCPT, recipients.get());
    // Headers and all: libcurl adds nothing to the message.
    curl_easy_setopt(e, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(e, CURLOPT_READFUNCTION, &ReadMessage);
    curl_easy_setopt(e, CURLOPT_READDATA, &message);
    curl_easy_setopt(e, CURLOPT_SEEKFUNCTION, &RewindMessage);
    curl_easy_setopt(e, CURLOPT_SEEKDATA, &message);
    curl_easy_setopt(e, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(message.size()));

    const CURLcode code = curl_easy_perform(e);
    // Drop libcurl's copies of the password and token before the handle goes.
    curl_easy_setopt(e, CURLOPT_PASSWORD, nullptr);
    curl_easy_setopt(e, CURLOPT_XOAUTH2_BEARER, nullptr);
    TransportResult result;
    result.sent = code == CURLE_OK;
    if (code == CURLE_LOGIN_DENIED) {
        result.loginRefused = true;
        result.loginRefusal = QString::fromLatin1(!session.tokenRefusal.isEmpty() ? session.tokenRefusal : session.lastRefusal);
    }
    if (!result.sent)
        result.mayWorkLater = MayWorkLater(code, session.lastRefusal) && message.failure().isEmpty();
    if (!result.sent && !session.tokenRefusal.isEmpty() && session.lastRefusal.isEmpty()) {
        result.failure = QStringLiteral("The server refused the token: %1").arg(QString::fromLatin1(session.tokenRefusal));
    } else if (!result.sent) {
        long response = 0;
        curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &response);
        // An attachment that stopped says why better than libcurl's
        // "aborted", and the server's last answer has nothing to do with it.
        if (!message.failure().isEmpty()) {
            result.failure = message.failure();
        } else if (!session.lastRefusal.isEmpty()) {
            result.failure = QStringLiteral("The server answered: %1").arg(QString::fromLatin1(session.lastRefusal));
        } else {
            result.failure = QString::fromUtf8(errorText[0] ? errorText : curl_easy_strerror(code));
            if (response)
                result.failure += QStringLiteral(" (server said %1)").arg(response);
        }
    }
    // The handle goes first: it points at the URL, the lists and the message.
    easy.reset();
    return result;
}
