#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace kervo::test {

// A real Dovecot POP3 server for one test, on 127.0.0.1, configured from scratch in a temporary
// folder: plain POP3 with STLS on one port, POP3S on another, a self-signed certificate made
// for the run, one user whose plaintext password also allows APOP, and a maildir the test
// fills directly. Works for root (the server's own unprivileged users serve the logins and
// the mail) and for an ordinary user (everything runs as that user).
class DovecotServer {
  public:
    static constexpr const char* kUser = "alice";
    static constexpr const char* kPassword = "Pa55-w0rd!";

    DovecotServer() = default;
    ~DovecotServer();
    DovecotServer(const DovecotServer&) = delete;
    DovecotServer& operator=(const DovecotServer&) = delete;

    // Why the server cannot run here (not installed, its users missing), empty when it can.
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
    bool makeCertificate(QString& why);
    bool waitUntilListening(QString& why);
    QString maildir() const;
    void handOver(const QString& path) const;

    QTemporaryDir dir_;
    QProcess process_;
    int popPort_ = 0;
    int popsPort_ = 0;
    QString pin_;
    int mailUid_ = -1;
    int mailGid_ = -1;
    int delivered_ = 0;
};

}  // namespace kervo::test
