// smtp-sink --out DIR
//
// Listens on a free port of 127.0.0.1, prints it, and takes mail one
// connection at a time: answers EHLO, MAIL, RCPT, DATA and QUIT, reads the
// message to its final "." and answers 250. It offers no TLS and no login.
// For message N it writes, in this order:
//   DIR/message-N.json  as soon as the whole message is in, before the 250:
//                       {"rcpt_tos": [...], "bytes": B, "first_byte_at_ms": T1,
//                        "complete_at_ms": T2}, the times on CLOCK_MONOTONIC,
//                       T1 when the connection's first byte from the client
//                       came in; renamed into place, so it appears whole;
//   DIR/message-N.eml   the message as it was sent (dot-stuffing undone),
//                       after the 250.
// Nothing is parsed beyond the commands: the cost of taking a message is one
// read per 256 KiB and a search of its end for the final ".". Every
// connection reads into one buffer made and touched at start, so the first
// message costs what the later ones do: a buffer grown from nothing would
// make the first sender of a run wait for the sink's page faults.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

double NowMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

bool SendAll(int fd, const std::string &text)
{
    for (std::size_t at = 0; at < text.size();) {
        const ssize_t n = write(fd, text.data() + at, text.size() - at);
        if (n <= 0)
            return false;
        at += static_cast<std::size_t>(n);
    }
    return true;
}

bool WriteFile(const std::string &path, const std::string &bytes)
{
    const std::string part = path + ".part";
    FILE *f = std::fopen(part.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok && std::rename(part.c_str(), path.c_str()) == 0;
}

class Connection {
public:
    Connection(int fd, std::string out, int &count, std::string &buffer)
        : m_fd(fd), m_out(std::move(out)), m_count(count), m_buffer(buffer)
    {
        m_buffer.clear();
    }

    void serve()
    {
        if (!SendAll(m_fd, "220 sink ESMTP\r\n"))
            return;
        std::string line;
        while (readLine(line)) {
            std::string verb = line.substr(0, 4);
            for (char &c : verb)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            bool ok = true;
            if (verb == "EHLO")
                ok = SendAll(m_fd, "250-sink\r\n250-8BITMIME\r\n250 SIZE 0\r\n");
            else if (verb == "HELO" || verb == "MAIL" || verb == "NOOP")
                ok = SendAll(m_fd, "250 OK\r\n");
            else if (verb == "RSET") {
                m_recipients.clear();
                ok = SendAll(m_fd, "250 OK\r\n");
            } else if (verb == "RCPT") {
                const auto open = line.find('<'), close = line.find('>');
                m_recipients.push_back(open != std::string::npos && close > open ? line.substr(open + 1, close - open - 1) : "");
                ok = SendAll(m_fd, "250 OK\r\n");
            } else if (verb == "DATA") {
                ok = SendAll(m_fd, "354 go on\r\n") && takeMessage();
            } else if (verb == "QUIT") {
                SendAll(m_fd, "221 bye\r\n");
                return;
            } else {
                ok = SendAll(m_fd, "502 not here\r\n");
            }
            if (!ok)
                return;
        }
    }

private:
    // Fills m_buffer from the socket; false at the end of the connection.
    bool fill()
    {
        const std::size_t old = m_buffer.size();
        m_buffer.resize(old + kChunk);
        const ssize_t n = read(m_fd, m_buffer.data() + old, kChunk);
        m_buffer.resize(old + (n > 0 ? static_cast<std::size_t>(n) : 0));
        if (n > 0 && m_firstByteAt < 0)
            m_firstByteAt = NowMs();
        return n > 0;
    }

    bool readLine(std::string &line)
    {
        for (;;) {
            const std::size_t end = m_buffer.find("\r\n", m_scanned);
            if (end != std::string::npos) {
                line = m_buffer.substr(0, end);
                m_buffer.erase(0, end + 2);
                m_scanned = 0;
                return true;
            }
            m_scanned = m_buffer.size() > 0 ? m_buffer.size() - 1 : 0;
            if (!fill())
                return false;
        }
    }

    bool takeMessage()
    {
        static const std::string kEnd = "\r\n.\r\n";
        std::size_t from = 0;
        std::size_t end;
        // The message may also be empty: "." right after DATA.
        while ((end = m_buffer.rfind(".\r\n", 0) == 0 ? 0 : m_buffer.find(kEnd, from)) == std::string::npos) {
            from = m_buffer.size() >= kEnd.size() ? m_buffer.size() - kEnd.size() + 1 : 0;
            if (!fill())
                return false;
        }
        const bool empty = m_buffer.rfind(".\r\n", 0) == 0;
        const std::size_t length = empty ? 0 : end + 2;
        const std::size_t consumed = empty ? 3 : end + kEnd.size();
        const double completeAt = NowMs();

        const int n = ++m_count;
        const std::string base = m_out + "/message-" + std::to_string(n);
        std::string json = "{\"rcpt_tos\": [";
        for (std::size_t i = 0; i < m_recipients.size(); ++i)
            json += (i ? ", \"" : "\"") + m_recipients[i] + "\"";
        char times[160];
        std::snprintf(times, sizeof times, "], \"bytes\": %zu, \"first_byte_at_ms\": %.3f, \"complete_at_ms\": %.3f}\n",
                      length, m_firstByteAt, completeAt);
        json += times;
        m_recipients.clear();
        // Answered before the message is copied out: that copy is the sink's
        // own business, not the sender's.
        if (!WriteFile(base + ".json", json) || !SendAll(m_fd, "250 OK\r\n"))
            return false;
        const std::string message = m_buffer.substr(0, length);
        m_buffer.erase(0, consumed);
        m_scanned = 0;
        return WriteFile(base + ".eml", Unstuffed(message));
    }

    // The message as the sender had it: a line that starts with "." came with
    // one more.
    static std::string Unstuffed(const std::string &sent)
    {
        std::string message;
        message.reserve(sent.size());
        for (std::size_t at = 0; at < sent.size();) {
            if (sent[at] == '.')
                ++at;
            const std::size_t end = sent.find("\r\n", at);
            const std::size_t next = end == std::string::npos ? sent.size() : end + 2;
            message.append(sent, at, next - at);
            at = next;
        }
        return message;
    }

    static constexpr std::size_t kChunk = 256 * 1024;
    int m_fd;
    std::string m_out;
    int &m_count;
    std::string &m_buffer;
    std::size_t m_scanned = 0;
    std::vector<std::string> m_recipients;
    double m_firstByteAt = -1;
};

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3 || std::strcmp(argv[1], "--out") != 0) {
        std::fprintf(stderr, "usage: smtp-sink --out DIR\n");
        return 2;
    }
    const int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (server < 0 || bind(server, reinterpret_cast<sockaddr *>(&address), size) != 0 || listen(server, 4) != 0 ||
        getsockname(server, reinterpret_cast<sockaddr *>(&address), &size) != 0) {
        std::perror("smtp-sink");
        return 1;
    }
    std::printf("%d\n", ntohs(address.sin_port));
    std::fflush(stdout);
    int count = 0;
    // Room for a message with an attachment of some 40 MB, every page touched.
    std::string buffer(64u << 20, '\0');
    buffer.clear();
    for (;;) {
        const int client = accept4(server, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        Connection(client, argv[2], count, buffer).serve();
        close(client);
    }
}
