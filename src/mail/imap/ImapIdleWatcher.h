#pragma once

#include <QString>
#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "mail/MailPush.h"
#include "mail/transport/MailChannel.h"

namespace kervo {

class CurlImapConnection;
struct ServerAddress;

// Holds a connection of its own to an IMAP mailbox in IDLE (RFC 2177) and says the moment the
// server reports a new message; the fetch itself runs on the fetch's own connection, as at a
// tick. IDLE is renewed well inside the half hour after which a server may drop an idle client.
// A lost connection is tried again after a delay that doubles up to a ceiling, and each
// connection that comes up says "mail arrived" once, so that what came while nobody listened
// is fetched at once. A POP3 address, or a server that offers no IDLE, leaves the push Off: the
// ticks alone poll.
class ImapIdleWatcher final : public MailPush {
  public:
    struct Timing {
        int renewMs = 25 * 60 * 1000;
        int firstRetryMs = 1'000;
        int maxRetryMs = 60'000;
        // How long a wait in IDLE lasts before the watcher looks whether it is to stop; a stop
        // also ends the wait at once, this only bounds it.
        int stopCheckMs = 1'000;
    };

    explicit ImapIdleWatcher(MailTimeouts timeouts, Timing timing);
    explicit ImapIdleWatcher(MailTimeouts timeouts = {});
    ~ImapIdleWatcher() override;
    ImapIdleWatcher(const ImapIdleWatcher&) = delete;
    ImapIdleWatcher& operator=(const ImapIdleWatcher&) = delete;

    void start(const MailAccount& account, Listener listener) override;
    void stop() override;

  private:
    // Why a connection ended: the watcher stops, or it is to be tried again.
    enum class Ended { Stop, Retry, NoIdle };
    void run(MailAccount account, const Listener& listener);
    Ended listen(const ServerAddress& address, const MailAccount& account, const Listener& listener,
                 QString& why, bool& listened);
    // listened: IDLE was taken up, and the listener told so.
    Ended idleUntilLost(class ImapSession& session, const Listener& listener, QString& why,
                        bool& listened);
    bool stopping();
    // Waits up to ms unless told to stop first; false when told to stop.
    bool pause(int ms);

    const MailTimeouts timeouts_;
    const Timing timing_;
    std::thread thread_;
    std::mutex lock_;
    std::condition_variable wake_;
    bool stop_ = false;
    CurlImapConnection* connection_ = nullptr;  // the one open now, for stop() to interrupt
};

}  // namespace kervo
