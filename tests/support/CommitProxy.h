#pragma once
#include <QByteArray>
#include <QString>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

// A pass-through proxy between the program and the test server: it listens
// on a socket folder of its own (the program takes a socket folder as its
// server) and forwards every byte to the server's socket. Armed, it lets the
// next COMMIT through to the server and then drops the server's reply and
// closes that connection, as a network that failed at that moment would:
// the server has committed, the program never hears it.
class CommitProxy {
public:
    explicit CommitProxy(const QString &serverFolder); // the real server's socket folder
    ~CommitProxy();
    CommitProxy(const CommitProxy &) = delete;
    CommitProxy &operator=(const CommitProxy &) = delete;

    QString folder() const { return m_folder; } // give this to the program as its server
    void dropNextCommitReply() { m_armed = true; }
    // The same for the next reply of the server that holds `marker` (a
    // statement that commits on its own, e.g. a write function answering
    // 'saved'): the server has committed, the program never hears it.
    void dropNextReplyHolding(const QByteArray &marker);
    int dropped() const { return m_dropped; }
    // While on, no server answers: every connection through the proxy is
    // closed and new ones are closed as soon as they come.
    void cut(bool on) { m_cut = on; }

private:
    void acceptLoop();
    void pipe(int client);

    QString m_folder;
    QString m_server;
    int m_listen = -1;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_armed{false};
    std::atomic<bool> m_cut{false};
    std::atomic<bool> m_markerArmed{false};
    QByteArray m_marker; // set before m_markerArmed
    std::atomic<int> m_dropped{0};
    std::thread m_acceptor;
    std::vector<std::thread> m_pipes;
};
