#pragma once

#include <atomic>
#include <functional>

#include "mail/MailComponent.h"
#include "support/BenchSupport.h"

namespace kervo::bench {

// Passes every call on to the real component and keeps count: how long the fetches took and
// how many mails were read. onFirstRead runs at the first read of a poll, on the poll's worker
// thread, when the reading of the fetched mails begins.
class CountingMailer final : public MailComponent {
  public:
    explicit CountingMailer(MailComponent& inner) : inner_(inner) {}

    FetchResult RcvMail(const QString& mailServer, const QString& mailUser,
                        const QString& mailPassword, const QString& command,
                        const QString& folder) override {
        const qint64 start = monotonicNs();
        FetchResult result = inner_.RcvMail(mailServer, mailUser, mailPassword, command, folder);
        fetchNs_ += monotonicNs() - start;
        if (result.failed()) {
            ++failedFetches_;
        }
        readingStarted_ = false;
        return result;
    }
    [[nodiscard]] ReadResult ReadMail(const QString& element, const QString& header,
                                      const QString& folder) override {
        if (!readingStarted_.exchange(true) && onFirstRead) {
            onFirstRead();
        }
        ++reads_;
        return inner_.ReadMail(element, header, folder);
    }
    void MarkAnalysed(const QString& element, const QString& folder) override {
        inner_.MarkAnalysed(element, folder);
    }
    void PurgeAnalysed(const QString& folder) override { inner_.PurgeAnalysed(folder); }

    double fetchSeconds() const { return static_cast<double>(fetchNs_.load()) / 1e9; }
    qint64 reads() const { return reads_; }
    qint64 failedFetches() const { return failedFetches_; }

    std::function<void()> onFirstRead;

  private:
    MailComponent& inner_;
    std::atomic<qint64> fetchNs_{0};
    std::atomic<qint64> failedFetches_{0};
    std::atomic<bool> readingStarted_{false};
    std::atomic<qint64> reads_{0};
};

}  // namespace kervo::bench
