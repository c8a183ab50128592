#include "mail/imap/ImapIdleWatcher.h"

#include <QDeadlineTimer>
#include <exception>

#include "mail/imap/CurlImapConnection.h"
#include "mail/imap/ImapSession.h"
#include "mail/transport/FolderMailbox.h"
#include "mail/transport/ServerAddress.h"

namespace kervo {

ImapIdleWatcher::ImapIdleWatcher(MailTimeouts timeouts, Timing timing)
    : timeouts_(timeouts), timing_(timing) {}

ImapIdleWatcher::ImapIdleWatcher(MailTimeouts timeouts) : ImapIdleWatcher(timeouts, Timing{}) {}

ImapIdleWatcher::~ImapIdleWatcher() {
    stop();
}

void ImapIdleWatcher::start(const MailAccount& account, Listener listener) {
    stop();
    {
        const std::lock_guard<std::mutex> held(lock_);
        stop_ = false;
    }
    thread_ = std::thread([this, account, listener = std::move(listener)] {
        try {
            run(account, listener);
        } catch (const std::exception& e) {
            // The ticks still poll; the push only goes quiet, and says why.
            listener.stateChanged(
                {PushState::Kind::Off, 0,
                 QStringLiteral("the IMAP push failed: %1").arg(QString::fromUtf8(e.what()))});
        } catch (...) {
            listener.stateChanged(
                {PushState::Kind::Off, 0, QStringLiteral("the IMAP push failed")});
        }
    });
}

void ImapIdleWatcher::stop() {
    {
        const std::lock_guard<std::mutex> held(lock_);
        stop_ = true;
        if (connection_ != nullptr) {
            connection_->interrupt();
        }
    }
    wake_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

bool ImapIdleWatcher::stopping() {
    const std::lock_guard<std::mutex> held(lock_);
    return stop_;
}

bool ImapIdleWatcher::pause(int ms) {
    std::unique_lock<std::mutex> held(lock_);
    return !wake_.wait_for(held, std::chrono::milliseconds(ms), [this] { return stop_; });
}

void ImapIdleWatcher::run(MailAccount account, const Listener& listener) {
    const Result<ServerAddress> parsed = parseServerAddress(account.server);
    if (!parsed.ok() || parsed.value().protocol != MailProtocol::Imap) {
        // The polls say what is wrong with the address; POP3 has no push.
        listener.stateChanged({PushState::Kind::Off});
        return;
    }
    int delayMs = timing_.firstRetryMs;
    while (!stopping()) {
        QString why;
        bool listened = false;
        const Ended ended = listen(parsed.value(), account, listener, why, listened);
        if (ended == Ended::Stop) {
            return;
        }
        why = withoutSecret(why, account.password);
        if (ended == Ended::NoIdle) {
            listener.stateChanged({PushState::Kind::Off, 0, why});
            return;
        }
        // A connection that came up and listened starts the delays afresh.
        if (listened) {
            delayMs = timing_.firstRetryMs;
        }
        listener.stateChanged({PushState::Kind::Reconnecting, (delayMs + 999) / 1000, why});
        if (!pause(delayMs)) {
            return;
        }
        delayMs = std::min(delayMs * 2, timing_.maxRetryMs);
    }
}

// One connection, from its log-on until it is lost or the watcher stops.
ImapIdleWatcher::Ended ImapIdleWatcher::listen(const ServerAddress& address,
                                               const MailAccount& account, const Listener& listener,
                                               QString& why, bool& listened) {
    CurlImapConnection connection;
    {
        const std::lock_guard<std::mutex> held(lock_);
        if (stop_) {
            return Ended::Stop;
        }
        connection_ = &connection;
    }
    struct Forget {
        ImapIdleWatcher& watcher;
        ~Forget() {
            const std::lock_guard<std::mutex> held(watcher.lock_);
            watcher.connection_ = nullptr;
        }
    } forget{*this};

    if (Result<void> opened = connection.open(address, account.user, account.password, timeouts_);
        !opened.ok()) {
        why = opened.error().message;
        return stopping() ? Ended::Stop : Ended::Retry;
    }
    ImapSession session(connection, timeouts_, QStringLiteral("mail server ") + address.display());
    if (Result<void> asked = session.readCapabilities(); !asked.ok()) {
        why = asked.error().message;
        return stopping() ? Ended::Stop : Ended::Retry;
    }
    if (!session.offers("IDLE")) {
        why = QStringLiteral(
                  "the mail server %1 offers no IDLE: new mail is fetched at the "
                  "polls only")
                  .arg(address.display());
        (void)session.logout();
        return Ended::NoIdle;
    }
    if (Result<SelectedMailbox> selected = session.select(address.mailbox); !selected.ok()) {
        why = selected.error().message;
        return stopping() ? Ended::Stop : Ended::Retry;
    }
    return idleUntilLost(session, listener, why, listened);
}

ImapIdleWatcher::Ended ImapIdleWatcher::idleUntilLost(ImapSession& session,
                                                      const Listener& listener, QString& why,
                                                      bool& listened) {
    while (!stopping()) {
        if (Result<void> begun = session.beginIdle(); !begun.ok()) {
            why = begun.error().message;
            return stopping() ? Ended::Stop : Ended::Retry;
        }
        if (!listened) {
            // Listening from here on; whatever came before is fetched now.
            listener.stateChanged({PushState::Kind::Listening});
            listener.mailArrived();
            listened = true;
        }
        const QDeadlineTimer renewal(timing_.renewMs);
        while (!renewal.hasExpired()) {
            const int wait =
                static_cast<int>(std::min<qint64>(renewal.remainingTime(), timing_.stopCheckMs));
            const Result<IdleNews> news = session.waitInIdle(wait);
            if (stopping()) {
                return Ended::Stop;
            }
            if (!news.ok()) {
                why = news.error().message;
                return Ended::Retry;
            }
            if (news.value() == IdleNews::NewMail) {
                listener.mailArrived();
            }
        }
        if (Result<void> ended = session.endIdle(); !ended.ok()) {
            why = ended.error().message;
            return stopping() ? Ended::Stop : Ended::Retry;
        }
    }
    return Ended::Stop;
}

}  // namespace kervo
