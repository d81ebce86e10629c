#include "CommitProxy.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtGlobal>

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
const char *kSocket = "/.s.PGSQL.5432";

sockaddr_un address(const QString &path)
{
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    const QByteArray p = path.toLocal8Bit();
    if (size_t(p.size()) >= sizeof(a.sun_path))
        qFatal("socket path too long: %s", p.constData());
    std::memcpy(a.sun_path, p.constData(), size_t(p.size()));
    return a;
}

bool sendAll(int fd, const char *data, size_t n)
{
    while (n > 0) {
        const ssize_t w = ::send(fd, data, n, MSG_NOSIGNAL);
        if (w <= 0)
            return false;
        data += w;
        n -= size_t(w);
    }
    return true;
}

quint32 be32(const char *p)
{
    return (quint32(quint8(p[0])) << 24) | (quint32(quint8(p[1])) << 16) | (quint32(quint8(p[2])) << 8) | quint32(quint8(p[3]));
}
} // namespace

CommitProxy::CommitProxy(const QString &serverFolder) : m_server(serverFolder + QLatin1String(kSocket))
{
    // A short folder of its own: socket paths are limited to about 100 bytes.
    char tmpl[] = "/tmp/tabel-proxy-XXXXXX";
    if (!mkdtemp(tmpl))
        qFatal("proxy: no folder");
    m_folder = QString::fromLocal8Bit(tmpl);
    m_listen = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const sockaddr_un a = address(m_folder + QLatin1String(kSocket));
    if (::bind(m_listen, reinterpret_cast<const sockaddr *>(&a), sizeof a) != 0 || ::listen(m_listen, 16) != 0)
        qFatal("proxy: cannot listen: %s", std::strerror(errno));
    m_acceptor = std::thread([this]() { acceptLoop(); });
}

CommitProxy::~CommitProxy()
{
    m_stop = true;
    ::shutdown(m_listen, SHUT_RDWR);
    ::close(m_listen);
    m_acceptor.join();
    for (std::thread &t : m_pipes)
        t.join();
    QDir(m_folder).removeRecursively();
}

void CommitProxy::dropNextReplyHolding(const QByteArray &marker)
{
    m_marker = marker;
    m_markerArmed = true;
}

void CommitProxy::acceptLoop()
{
    while (!m_stop) {
        pollfd p{m_listen, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        const int client = ::accept(m_listen, nullptr, nullptr);
        if (client < 0)
            continue;
        if (m_cut) {
            ::close(client);
            continue;
        }
        m_pipes.emplace_back([this, client]() { pipe(client); });
    }
}

// Forwards both ways; watches the program's messages for a COMMIT.
void CommitProxy::pipe(int client)
{
    const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const sockaddr_un a = address(m_server);
    if (::connect(server, reinterpret_cast<const sockaddr *>(&a), sizeof a) != 0) {
        ::close(client);
        ::close(server);
        return;
    }
    QByteArray fromClient;  // not yet parsed into whole messages
    bool startup = true;    // the first message has no type byte
    bool dropReply = false; // a COMMIT went through: its reply is dropped
    char buf[65536];
    while (!m_stop && !m_cut) {
        pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
        if (::poll(p, 2, 100) <= 0)
            continue;
        if (p[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = ::recv(client, buf, sizeof buf, 0);
            if (n <= 0 || !sendAll(server, buf, size_t(n)))
                break;
            fromClient.append(buf, n);
            for (;;) {
                const int head = startup ? 0 : 1;
                if (fromClient.size() < head + 4)
                    break;
                const quint32 len = be32(fromClient.constData() + head);
                if (quint32(fromClient.size()) < head + len)
                    break;
                if (!startup && fromClient.at(0) == 'Q') {
                    const QByteArray text = fromClient.mid(5, int(len) - 5).trimmed().toLower();
                    if (text.startsWith("commit") && m_armed.exchange(false))
                        dropReply = true;
                }
                fromClient.remove(0, int(head + len));
                startup = false;
            }
        }
        if (p[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = ::recv(server, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            if (!dropReply && m_markerArmed && QByteArray::fromRawData(buf, int(n)).contains(m_marker)
                && m_markerArmed.exchange(false))
                dropReply = true;
            if (dropReply) {
                // The server has committed; the program never hears it.
                ++m_dropped;
                break;
            }
            if (!sendAll(client, buf, size_t(n)))
                break;
        }
    }
    ::close(client);
    ::close(server);
}
