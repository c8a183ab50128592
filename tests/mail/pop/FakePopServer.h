#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace kervo::test {

// What the fake server does instead of answering normally when a command begins with `trigger`
// ("GREETING" stands for the greeting).
struct PopFault {
    enum class Action {
        Reply,         // answers `text` (a full line without CRLF) instead
        Close,         // closes the connection without answering
        Stall,         // never answers and never reads again
        CutMail,       // RETR only: "+OK" and the first half of the mail, then closes
        StallInMail,   // RETR only: "+OK" and the first half of the mail, then nothing
        OverlongLine,  // an endless line without any line end
    };
    QByteArray trigger;
    Action action = Action::Reply;
    QByteArray text;
    bool once = true;  // a later connection is served normally
};

// A POP3 server on 127.0.0.1 serving a fixed mailbox from its own thread, one connection at a
// time, that fails on purpose where a test asks it to. Mail numbers, deletion on DELE and
// commit on QUIT follow RFC 1939.
class FakePopServer {
  public:
    struct Mail {
        QByteArray uid;
        QByteArray content;  // with CRLF line ends, as the client must save it
    };

    FakePopServer(std::vector<Mail> mails, std::vector<PopFault> faults,
                  QByteArray password = "right");
    ~FakePopServer();
    FakePopServer(const FakePopServer&) = delete;
    FakePopServer& operator=(const FakePopServer&) = delete;

    // Listens on a free port; false with a reason when that failed.
    bool start(QString& why);
    int port() const { return port_; }

    // Every command line received, in order, over all connections.
    QList<QByteArray> commands() const;
    // Contents of the mails that a QUIT removed from the mailbox.
    QList<QByteArray> committedDeletions() const;
    // Contents of every mail a DELE was accepted for, committed or not.
    QList<QByteArray> acceptedDeletions() const;
    QList<QByteArray> remainingMails() const;

  private:
    void run();
    void serve(int client);
    bool sendAll(int client, const QByteArray& bytes);
    void waitUntilStopped(int client);
    const PopFault* faultFor(const QByteArray& command);

    mutable std::mutex mutex_;
    std::vector<Mail> mailbox_;
    std::vector<PopFault> faults_;
    std::vector<bool> faultUsed_;
    QByteArray password_;
    QList<QByteArray> commands_;
    QList<QByteArray> accepted_;
    QList<QByteArray> committed_;
    int listener_ = -1;
    int stopPipe_[2] = {-1, -1};
    int port_ = 0;
    std::thread thread_;
};

}  // namespace kervo::test
