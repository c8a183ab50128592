#pragma once

#include <sys/types.h>

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <vector>

#include "app/Result.h"

namespace kervo::test {

// A port of 127.0.0.1 held for one server from before it starts until it is gone. The socket is
// bound with SO_REUSEADDR and never listens: the server's own listener (bound the same way) can
// share the port, while no other program that asks the system for a free port is handed it.
class PortReservation {
  public:
    PortReservation();
    ~PortReservation();
    PortReservation(PortReservation&& other) noexcept;
    PortReservation& operator=(PortReservation&& other) noexcept;
    PortReservation(const PortReservation&) = delete;
    PortReservation& operator=(const PortReservation&) = delete;

    int port() const { return port_; }

  private:
    int fd_ = -1;
    int port_ = 0;
};

// A real Dovecot mail server of one test's or one tool's own on 127.0.0.1, configured from
// scratch in a temporary folder: one user whose plaintext password also allows APOP, a maildir
// filled directly, a fresh self-signed certificate, and per protocol a plain listener (STLS
// offered) and one that starts with TLS. As root the server's own unprivileged users serve the
// logins and the mail.
class DovecotServer {
  public:
    static constexpr const char* kUser = "alice";
    static constexpr const char* kPassword = "Pa55-w0rd!";

    // The server's folder is a temporary one, removed with the server; or one made inside
    // parentFolder and left there for whoever owns that folder to keep or remove.
    explicit DovecotServer(const QString& parentFolder = {});
    ~DovecotServer();
    DovecotServer(const DovecotServer&) = delete;
    DovecotServer& operator=(const DovecotServer&) = delete;

    // Why the server cannot run here, empty when it can.
    static QString unavailableReason();

    // Returns once the server greets on its plain listeners with the greeting of this very
    // server, so that a test never talks to another program that took its port.
    Result<void> start();
    // Takes the server down; start() brings it back on the same ports with the same mailbox.
    void stop();

    int popPort() const { return portOf(kPop3, false); }
    int popsPort() const { return portOf(kPop3, true); }
    int imapPort() const { return portOf(kImap, false); }
    int imapsPort() const { return portOf(kImap, true); }
    QString caFile() const { return dir_.filePath(QStringLiteral("cert.pem")); }
    QString pin() const { return pin_; }  // sha256//<base64> of the server's key
    // The text with {pop}, {pops}, {imap}, {imaps}, {cafile} and {pin} filled in.
    QString filledIn(const QString& text) const;
    QString log() const;
    // Whether the log shows text within timeoutMs: the server writes its log from a process of
    // its own, a moment after what it records, so a look right after a session may come early.
    bool logShows(const QString& text, int timeoutMs = 10'000);
    QString maildir() const;

    // Puts a mail at the end of the mailbox the way a delivery agent does: written into tmp/,
    // handed to the server's user, then moved into new/ whole.
    Result<void> addMail(const QByteArray& content);
    int mailCount() const;
    // Makes the server forget the UIDs of the mailbox, as when it is rebuilt: with the server
    // stopped, its UID list and indexes go; the next start numbers every mail anew under a new
    // UIDVALIDITY.
    void forgetUids();

  private:
    // The protocols the server speaks, as the configuration names them. Another protocol is
    // one more row: its listeners, configuration and readiness follow from the row.
    struct Protocol {
        const char* name;          // for `protocols =`, and the server's program of that name
        const char* plainName;     // the listener that greets in plain text
        const char* tlsName;       // the listener that starts with TLS
        const char* package;       // the Debian package that brings the protocol
        const char* greetingMark;  // how the plain greeting starts
    };
    static constexpr Protocol kProtocols[] = {
        {"pop3", "pop3", "pop3s", "dovecot-pop3d", "+OK"},
        {"imap", "imap", "imaps", "dovecot-imapd", "* OK"},
    };
    static constexpr int kPop3 = 0;
    static constexpr int kImap = 1;

    int portOf(int protocol, bool tls) const;
    QString config(const QString& user) const;
    Result<void> launch();
    Result<void> waitUntilGreeting();
    void handOver(const QString& path) const;

    QTemporaryDir dir_;
    QProcess process_;
    std::vector<PortReservation> ports_;  // per protocol: plain, then TLS
    QString greeting_;                    // unique to this server
    QString pin_;
    uid_t mailUid_ = 0;
    gid_t mailGid_ = 0;
    int delivered_ = 0;
    bool portTaken_ = false;  // the last launch failed because another program had a port
};

}  // namespace kervo::test
