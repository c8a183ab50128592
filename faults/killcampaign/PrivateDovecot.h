#pragma once

#include <QByteArray>
#include <QString>

namespace kervo::faults {

// A POP3 server of the campaign's own, started with demo/start-dovecot.sh in a folder of its
// own, holding one mailbox that the campaign fills by delivering straight into its maildir.
class PrivateDovecot {
  public:
    static constexpr const char* kUser = "watch";
    static constexpr const char* kPassword = "campaign-pw";

    PrivateDovecot(QString script, QString runDir);
    ~PrivateDovecot();
    PrivateDovecot(const PrivateDovecot&) = delete;
    PrivateDovecot& operator=(const PrivateDovecot&) = delete;

    // Why a server cannot run here, empty when it can.
    static QString unavailableReason();

    bool start(QString& why);
    void stop();

    QString address() const;  // as line 6 of kervo.ini writes it
    QString maildir() const;

    // Puts a mail into the mailbox the way a delivery agent does: written into tmp/, handed to
    // the server's user, then moved into new/ whole.
    bool deliver(const QByteArray& mail, QString& why);

  private:
    QString script_;
    QString runDir_;
    int port_ = 0;
    qint64 pid_ = 0;
    int delivered_ = 0;
};

}  // namespace kervo::faults
