#pragma once

#include <atomic>
#include <functional>

#include "mail/Mailbox.h"
#include "support/BenchSupport.h"

namespace kervo::bench {

// Passes every call on to the real mailbox and keeps count: how long the fetches took and how
// many mails were read. onFirstRead runs at the first read of a poll, on the poll's reading
// thread, when the reading of the fetched mails begins (at the first batch saved).
class CountingMailer final : public Mailbox {
  public:
    explicit CountingMailer(Mailbox& inner) : inner_(inner) {}

    FetchOutcome fetchAll(const MailAccount& account, const SavedMails& saved) override {
        // The reading begins while the fetch goes on, at its first saved batch.
        readingStarted_ = false;
        const qint64 start = monotonicNs();
        FetchOutcome result = inner_.fetchAll(account, saved);
        fetchNs_ += monotonicNs() - start;
        if (!result.ended.ok()) {
            ++failedFetches_;
        }
        return result;
    }
    Result<ReportText> readReport(const QString& file) override {
        if (!readingStarted_.exchange(true) && onFirstRead) {
            onFirstRead();
        }
        ++reads_;
        return inner_.readReport(file);
    }
    void markAnalysed(const QString& file) override { inner_.markAnalysed(file); }
    void purgeAnalysed() override { inner_.purgeAnalysed(); }

    double fetchSeconds() const { return static_cast<double>(fetchNs_.load()) / 1e9; }
    qint64 reads() const { return reads_; }
    qint64 failedFetches() const { return failedFetches_; }

    std::function<void()> onFirstRead;

  private:
    Mailbox& inner_;
    std::atomic<qint64> fetchNs_{0};
    std::atomic<qint64> failedFetches_{0};
    std::atomic<bool> readingStarted_{false};
    std::atomic<qint64> reads_{0};
};

}  // namespace kervo::bench
