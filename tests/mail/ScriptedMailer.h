#pragma once

#include <QStringList>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>

#include "mail/MailComponent.h"

namespace kervo::test {

// A mail component that plays back a script and records every call, so that a test can see the
// order in which one poll used it.
class ScriptedMailer : public MailComponent {
  public:
    // What the next RcvMail calls return, one entry per call; afterwards "no mail".
    std::vector<FetchResult> fetches;
    // Texts per element (subject, body); a missing element cannot be read (as a file gone).
    std::map<QString, QStringList> mails;
    // How many reads of an element fail as a read error would, before it reads.
    std::map<QString, int> failingReads;
    // Called inside ReadMail before it answers, on the poll's worker thread.
    std::function<void(const QString&)> onRead;
    // Called inside MarkAnalysed, on the interface thread.
    std::function<void(const QString&)> onMark;
    // When set, RcvMail waits until release() is called, but never longer than kHoldLimit: a
    // poll that waits on a held fetch (one started while another runs) then fails the test's
    // checks instead of hanging it. A hold that ran out is counted in holdsExpired.
    bool holdFetch = false;
    static constexpr std::chrono::seconds kHoldLimit{15};
    std::atomic<int> holdsExpired{0};

    std::vector<QString> calls;  // "RcvMail", "ReadMail:x", "MarkAnalysed:x", "Purge"
    QStringList folders;
    std::atomic<int> inside{0};
    std::atomic<int> mostInside{0};

    FetchResult RcvMail(const QString& server, const QString& user, const QString& password,
                        const QString& command, const QString& folder) override {
        const int now = ++inside;
        if (now > mostInside) {
            mostInside = now;
        }
        {
            std::unique_lock lock(mutex_);
            logCall(QStringLiteral("RcvMail"), folder);
            lastLogon = {server, user, password, command};
            if (!released_.wait_for(lock, kHoldLimit, [this] {
                    return !holdFetch || lettingAllGo_ || releasedCount_ > 0;
                })) {
                ++holdsExpired;
            }
            if (releasedCount_ > 0) {
                --releasedCount_;
            }
        }
        FetchResult result;
        if (fetchIndex_ < fetches.size()) {
            result = fetches[fetchIndex_++];
        }
        --inside;
        return result;
    }

    ReadResult ReadMail(const QString& element, const QString& header,
                        const QString& folder) override {
        logCall(QStringLiteral("ReadMail:") + element, folder);
        lastHeader = header;
        if (onRead) {
            onRead(element);
        }
        const auto it = mails.find(element);
        int& failures = failingReads[element];
        if (it == mails.end() || failures > 0) {
            --failures;
            return {{}, {}, element + QStringLiteral(" cannot be read: Too many open files")};
        }
        return {it->second.value(0), it->second.value(1), {}};
    }

    void MarkAnalysed(const QString& element, const QString&) override {
        logCall(QStringLiteral("MarkAnalysed:") + element);
        if (onMark) {
            onMark(element);
        }
    }

    // The calls of one kind ("ReadMail:", "MarkAnalysed:"), in order, without the prefix.
    std::vector<QString> callsOf(const QString& kind) const {
        std::vector<QString> out;
        for (const QString& call : calls) {
            if (call.startsWith(kind)) {
                out.push_back(call.mid(kind.size()));
            }
        }
        return out;
    }

    void PurgeAnalysed(const QString&) override { logCall(QStringLiteral("Purge")); }

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
    QString lastHeader;

  private:
    void logCall(const QString& what, const QString& folder = {}) {
        std::lock_guard lock(logMutex_);
        calls.push_back(what);
        if (!folder.isNull()) {
            folders << folder;
        }
    }

    std::mutex mutex_;
    std::mutex logMutex_;
    std::condition_variable released_;
    int releasedCount_ = 0;
    bool lettingAllGo_ = false;
    size_t fetchIndex_ = 0;
};

}  // namespace kervo::test
