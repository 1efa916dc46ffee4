#include "PythonFixture.h"

#include "signin/RedirectListener.h"
#include "signin/SignInEndpoints.h"
#include "signin/SignInFlow.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTcpSocket>
#include <QUrlQuery>
#include <QtTest>

#include <sys/resource.h>

#include <memory>

using namespace std::chrono_literals;

// The loopback listener that takes the browser's answer, as any other local
// process can reach it: stray answers, idle connections and a flood of them.
namespace {

struct Fetched {
    int status = 0;
    QByteArray page;
    bool finished = false;
};

// A GET as a browser sends it, waited for.
Fetched Fetch(QNetworkAccessManager &network, const QUrl &url, int timeoutMs = 10000)
{
    std::unique_ptr<QNetworkReply> reply(network.get(QNetworkRequest(url)));
    Fetched out;
    out.finished = QTest::qWaitFor([&] { return reply->isFinished(); }, timeoutMs);
    out.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    out.page = reply->readAll();
    return out;
}

QUrl RedirectUri(const QUrl &authorizationUrl)
{
    return QUrl(QUrlQuery(authorizationUrl).queryItemValue(QStringLiteral("redirect_uri"), QUrl::FullyDecoded));
}

QUrl Answer(quint16 port, const QString &query)
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1/?%2").arg(port).arg(query));
}

// tests/fixtures/connection_flood.py, ended by its process id when done.
class ConnectionFlood {
public:
    ~ConnectionFlood()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(5000)) {
                m_process.kill();
                m_process.waitForFinished(5000);
            }
        }
    }
    bool start(quint16 port, int count, bool churn)
    {
        QStringList arguments{QStringLiteral(QUORVANE_TEST_DATA_DIR "/fixtures/connection_flood.py"),
                              QStringLiteral("--port"), QString::number(port), QStringLiteral("--count"),
                              QString::number(count)};
        if (churn)
            arguments << QStringLiteral("--churn");
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(QUORVANE_TEST_PYTHON), arguments);
        // The listener must go on running its event loop while the flood
        // connects, or the connections would only queue in the system.
        return QTest::qWaitFor([&] { return m_process.canReadLine() || m_process.state() == QProcess::NotRunning; }, 60000) &&
               m_process.readLine().startsWith("ready");
    }

private:
    QProcess m_process;
};

} // namespace

class SignInListenerTest : public QObject {
    Q_OBJECT

private slots:
    // Any local process may knock with an answer of its own; the sign-in
    // under way answers it with an error page and goes on to take the
    // browser's.
    void strayAnswersLeaveTheSignInWaiting_data()
    {
        QTest::addColumn<QString>("query");
        QTest::newRow("another state") << QStringLiteral("code=stolen&state=guessed");
        QTest::newRow("no state") << QStringLiteral("code=stolen");
        QTest::newRow("empty state") << QStringLiteral("code=stolen&state=");
        QTest::newRow("a refusal with another state") << QStringLiteral("error=access_denied&state=guessed");
    }
    void strayAnswersLeaveTheSignInWaiting()
    {
        QFETCH(QString, query);
        PythonFixture server(QStringLiteral("oauth_server.py"));
        QVERIFY2(server.start(), qPrintable(server.error()));
        QList<QUrl> opened;
        SignInFlow flow([&opened](const QUrl &url) {
            opened.append(url);
            return true;
        });
        QSignalSpy ended(&flow, &SignInFlow::finished);
        flow.start(ResolveSignInEndpoints({QStringLiteral("custom"), QStringLiteral("quorvane-test-client"), {}, {},
                                           server.url(QStringLiteral("/authorize")), server.url(QStringLiteral("/token")),
                                           QStringLiteral("mail offline_access")}),
                   QStringLiteral("desk@example.org"));
        QCOMPARE(opened.size(), 1);
        const quint16 port = quint16(RedirectUri(opened.at(0)).port());

        QNetworkAccessManager network;
        const Fetched stray = Fetch(network, Answer(port, query));
        QVERIFY(stray.finished);
        QCOMPARE(stray.status, 400);
        QVERIFY2(stray.page.contains("does not belong to the sign-in under way"), stray.page.constData());
        QVERIFY(flow.running());
        QCOMPARE(ended.count(), 0);
        // A second stray one is turned away as well.
        QCOMPARE(Fetch(network, Answer(port, query)).status, 400);
        QVERIFY(flow.running());
        QCOMPARE(server.events(QStringLiteral("token")).size(), 0);

        // The browser this sign-in sent out comes back with the right state.
        const Fetched browser = Fetch(network, opened.at(0), 30000);
        QVERIFY(browser.finished);
        QCOMPARE(browser.status, 200);
        QVERIFY(browser.page.contains("You are signed in"));
        QCOMPARE(ended.count(), 1);
        const SignInOutcome outcome = ended.at(0).at(0).value<SignInOutcome>();
        QVERIFY2(outcome.signedIn, qPrintable(outcome.message));
        QVERIFY(!outcome.tokens.refreshToken.isEmpty());
    }

    // A connection that sends no request, or never finishes one, is let go
    // after the time allowed, and only a few are held at once.
    void idleConnectionsAreDropped()
    {
        RedirectListener listener;
        listener.setRequestTimeout(500ms);
        listener.setConnectionLimit(3);
        QVERIFY(listener.listen(QStringLiteral("127.0.0.1")));
        std::vector<std::unique_ptr<QTcpSocket>> idle;
        for (int i = 0; i < 5; ++i) {
            idle.push_back(std::make_unique<QTcpSocket>());
            idle.back()->connectToHost(QHostAddress::LocalHost, listener.port());
            QVERIFY(idle.back()->waitForConnected(3000));
        }
        // Half a request, and then nothing.
        idle.back()->write("GET /?code=c&state=s HTTP/1.1\r\nHost: 127.0.0.1\r\n");
        QTRY_COMPARE(listener.openConnections(), 3);
        QTest::qWait(100);
        QVERIFY(listener.openConnections() <= 3);
        // The oldest, which sent nothing, made room; the one sending stays
        // until its time is up.
        QTRY_COMPARE(idle.front()->state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(idle.back()->state(), QAbstractSocket::ConnectedState);
        for (const auto &socket : idle)
            QTRY_COMPARE_WITH_TIMEOUT(socket->state(), QAbstractSocket::UnconnectedState, 5000);
        QCOMPARE(listener.openConnections(), 0);

        // The listener still takes an answer after all that.
        QSignalSpy received(&listener, &RedirectListener::received);
        connect(&listener, &RedirectListener::received, &listener, [&listener] { listener.respond(true, QString()); });
        QNetworkAccessManager network;
        const Fetched answer = Fetch(network, Answer(listener.port(), QStringLiteral("code=c&state=s")));
        QCOMPARE(answer.status, 200);
        QCOMPARE(received.count(), 1);
    }

    // 1,100 idle connections from another process, more than this process
    // may have files open: the browser's answer still gets through, whether
    // the flood only holds its connections or opens a new one for each that
    // is dropped.
    void floodLeavesTheBrowserAWay_data()
    {
        QTest::addColumn<bool>("churn");
        QTest::newRow("held") << false;
        QTest::newRow("reopened") << true;
    }
    void floodLeavesTheBrowserAWay()
    {
        QFETCH(bool, churn);
        rlimit files{};
        getrlimit(RLIMIT_NOFILE, &files);
        if (files.rlim_cur > 1024)
            QSKIP("runs under prlimit --nofile=1024 as test_signin_listener_flood");
        RedirectListener listener;
        listener.expectState("the-state");
        QVERIFY(listener.listen(QStringLiteral("127.0.0.1")));
        QSignalSpy received(&listener, &RedirectListener::received);
        connect(&listener, &RedirectListener::received, &listener, [&listener] { listener.respond(true, QString()); });

        ConnectionFlood flood;
        QVERIFY(flood.start(listener.port(), 1100, churn));
        QTest::qWait(500);
        QVERIFY(listener.openConnections() <= 8);

        QNetworkAccessManager network;
        const Fetched answer = Fetch(network, Answer(listener.port(), QStringLiteral("code=c&state=the-state")), 15000);
        QVERIFY2(answer.finished, "the browser's answer was not taken");
        QCOMPARE(answer.status, 200);
        QCOMPARE(received.count(), 1);
        QCOMPARE(received.at(0).at(0).value<RedirectParameters>().code, QStringLiteral("c"));
        QVERIFY(listener.openConnections() <= 8);
    }
};

QTEST_MAIN(SignInListenerTest)
#include "test_signin_listener.moc"
