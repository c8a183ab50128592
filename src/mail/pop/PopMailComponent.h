#pragma once

#include <QSet>
#include <QString>
#include <functional>

#include "mail/MailComponent.h"
#include "mail/mime/MimeReader.h"
#include "mail/pop/PopChannel.h"

namespace kervo {

// The mail component on POP3. RcvMail saves every waiting mail into the mail folder and
// deletes it from the server only once it is safely on disk: a fetch that fails at any point
// loses no report, at worst one is analysed twice. The server address forms are those of
// parseServerAddress.
class PopMailComponent final : public MailComponent {
  public:
    PopMailComponent();
    ~PopMailComponent() override;
    PopMailComponent(const PopMailComponent&) = delete;
    PopMailComponent& operator=(const PopMailComponent&) = delete;

    // Set before the first fetch; not while one runs. The largest mail saved is also the most
    // of a mail file that is read.
    void setTimeouts(const PopTimeouts& timeouts) { timeouts_ = timeouts; }
    void setMaxMailBytes(qint64 bytes) { maxMailBytes_ = bytes; }
    // Bytes free at a folder, negative when unknown; the disk's own figure by default.
    void setFreeSpaceProbe(std::function<qint64(const QString&)> probe) {
        freeSpace_ = std::move(probe);
    }

    FetchResult RcvMail(const QString& mailServer, const QString& mailUser,
                        const QString& mailPassword, const QString& command,
                        const QString& folder) override;
    [[nodiscard]] ReadResult ReadMail(const QString& element, const QString& header,
                                      const QString& folder) override;
    void MarkAnalysed(const QString& element, const QString& folder) override;
    void PurgeAnalysed(const QString& folder) override;

  private:
    FetchResult fetch(const QString& mailServer, const QString& mailUser,
                      const QString& mailPassword, const QString& folder);

    PopTimeouts timeouts_;
    qint64 maxMailBytes_ = kDefaultMaxMailBytes;
    std::function<qint64(const QString&)> freeSpace_;
    // What earlier fetches already told the operator. Only the fetching thread touches these.
    QString logOnMethod_;
    QSet<QString> skippedReported_;
};

}  // namespace kervo
