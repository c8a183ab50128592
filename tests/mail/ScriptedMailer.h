#pragma once

#include <QStringList>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <utility>

#include "mail/Mailbox.h"

namespace kervo::test {

// A mailbox that plays back a script and records every call, so that a test can see the order
// in which one poll used it.
class ScriptedMailer : public Mailbox {
  public:
    // What the next fetchAll calls return, one entry per call; afterwards "no mail".
    std::vector<FetchOutcome> fetches;
    // Texts per file (subject, body); a missing file cannot be read (as a file gone).
    std::map<QString, QStringList> mails;
    // How many reads of a file fail as a read error would, before it reads.
    std::map<QString, int> failingReads;
    // Called inside readReport before it answers, on the poll's worker thread.
    std::function<void(const QString&)> onRead;
    // Called inside markAnalysed, on the interface thread.
    std::function<void(const QString&)> onMark;
    // When set, fetchAll waits until release() is called, but never longer than kHoldLimit: a
    // poll that waits on a held fetch (one started while another runs) then fails the test's
    // checks instead of hanging it. A hold that ran out is counted in holdsExpired.
    bool holdFetch = false;
    static constexpr std::chrono::seconds kHoldLimit{15};
    std::atomic<int> holdsExpired{0};

    // Told as saved by the next fetch before it waits for its hold, as a batch made durable
    // early in a long fetch would be; the fetch still lists them among its files.
    QStringList tellFirst;

    std::vector<QString> calls;  // "fetchAll", "readReport:x", "markAnalysed:x", "purge"

    using Mailbox::fetchAll;
    FetchOutcome fetchAll(const MailAccount& account, const SavedMails& saved) override {
        {
            std::unique_lock lock(mutex_);
            logCall(QStringLiteral("fetchAll"));
            lastLogon = {account.server, account.user, account.password};
            if (saved && !tellFirst.isEmpty()) {
                saved(std::exchange(tellFirst, {}));
            }
            if (!released_.wait_for(lock, kHoldLimit, [this] {
                    return !holdFetch || lettingAllGo_ || releasedCount_ > 0;
                })) {
                ++holdsExpired;
            }
            if (releasedCount_ > 0) {
                --releasedCount_;
            }
        }
        FetchOutcome result;
        if (fetchIndex_ < fetches.size()) {
            result = fetches[fetchIndex_++];
        }
        return result;
    }

    Result<ReportText> readReport(const QString& file) override {
        logCall(QStringLiteral("readReport:") + file);
        if (onRead) {
            onRead(file);
        }
        const auto it = mails.find(file);
        int& failures = failingReads[file];
        if (it == mails.end() || failures > 0) {
            --failures;
            return Error{file + QStringLiteral(" cannot be read: Too many open files")};
        }
        return ReportText{it->second.value(0), it->second.value(1)};
    }

    void markAnalysed(const QString& file) override {
        logCall(QStringLiteral("markAnalysed:") + file);
        if (onMark) {
            onMark(file);
        }
    }

    // The calls of one kind ("readReport:", "markAnalysed:"), in order, without the prefix.
    std::vector<QString> callsOf(const QString& kind) const {
        std::vector<QString> out;
        for (const QString& call : calls) {
            if (call.startsWith(kind)) {
                out.push_back(call.mid(kind.size()));
            }
        }
        return out;
    }

    void purgeAnalysed() override { logCall(QStringLiteral("purge")); }

    void release() {
        std::lock_guard lock(mutex_);
        ++releasedCount_;
        released_.notify_all();
    }

    // Every fetch held now or later goes on at once: at the end of a test, so that no worker
    // outlives it waiting for a release that will not come.
    void releaseAll() {
        std::lock_guard lock(mutex_);
        lettingAllGo_ = true;
        released_.notify_all();
    }

    QStringList lastLogon;

  private:
    void logCall(const QString& what) {
        std::lock_guard lock(logMutex_);
        calls.push_back(what);
    }

    std::mutex mutex_;
    std::mutex logMutex_;
    std::condition_variable released_;
    int releasedCount_ = 0;
    bool lettingAllGo_ = false;
    size_t fetchIndex_ = 0;
};

}  // namespace kervo::test
