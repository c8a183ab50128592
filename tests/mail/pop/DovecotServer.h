#pragma once

#include <sys/types.h>

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace kervo::test {

// A real Dovecot POP3 server for one test on 127.0.0.1, configured from scratch in a temporary
// folder: POP3 with STLS on one port, POP3S on another, a self-signed certificate, one user
// whose plaintext password also allows APOP, and a maildir filled directly. As root the
// server's own unprivileged users serve the logins and the mail.
class DovecotServer {
  public:
    static constexpr const char* kUser = "alice";
    static constexpr const char* kPassword = "Pa55-w0rd!";

    ~DovecotServer() { stop(); }

    // Why the server cannot run here, empty when it can.
    static QString unavailableReason();

    bool start(QString& why);
    // Takes the server down; start() brings it back on the same ports with the same mailbox.
    void stop();
    int popPort() const { return popPort_; }
    int popsPort() const { return popsPort_; }
    QString caFile() const { return dir_.filePath(QStringLiteral("cert.pem")); }
    QString pin() const { return pin_; }  // sha256//<base64> of the server's key
    QString log() const;

    // Delivers a mail to the end of the mailbox.
    bool addMail(const QByteArray& content);
    int mailCount() const;

  private:
    QString maildir() const;
    void handOver(const QString& path) const;

    QTemporaryDir dir_;
    QProcess process_;
    int popPort_ = 0;
    int popsPort_ = 0;
    QString pin_;
    uid_t mailUid_ = 0;
    gid_t mailGid_ = 0;
    int delivered_ = 0;
};

}  // namespace kervo::test
