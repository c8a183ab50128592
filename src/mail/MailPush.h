#pragma once

#include <QString>
#include <functional>

#include "mail/Mailbox.h"

namespace kervo {

// How the word of new mail between polls stands. Every member has its default, so that a state
// can be written with only what matters, e.g. {Kind::Listening}.
struct PushState {
    enum class Kind {
        Off,           // no push: polled at the ticks only (POP3, or a server that cannot tell)
        Listening,     // the server tells of new mail the moment it arrives
        Reconnecting,  // the push connection was lost; the next attempt in retryInSeconds
    };
    Kind kind = Kind::Off;
    int retryInSeconds = 0;
    QString reason{};  // why the connection was lost, for the log; never the password
};

// Word from the mail server, between polls, that mail has arrived. Runs on a thread of its own;
// its listener's callbacks come from that thread.
class MailPush {
  public:
    struct Listener {
        std::function<void()> mailArrived;  // also once after a reconnect, to catch up
        std::function<void(const PushState&)> stateChanged;
    };
    virtual ~MailPush() = default;
    virtual void start(const MailAccount& account, Listener listener) = 0;
    virtual void stop() = 0;  // returns once no callback runs any more, nor will
};

}  // namespace kervo
