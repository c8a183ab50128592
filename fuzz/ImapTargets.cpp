// The IMAP response reader under fuzzing: whatever a server sends, split as the network splits it.
#include "FuzzTargets.h"
#include "mail/imap/ImapResponse.h"

namespace kervo::fuzz {

namespace {

// Hands out the input in pieces whose sizes the input's first byte chooses, then reports the
// connection closed.
class PiecesChannel final : public MailChannel {
  public:
    PiecesChannel(QByteArrayView bytes, qsizetype piece) : bytes_(bytes), piece_(piece) {}
    Result<void> sendAll(QByteArrayView /*bytes*/, int /*timeoutMs*/) override { return {}; }
    Received receive(char* buffer, qsizetype max, int /*timeoutMs*/) override {
        if (bytes_.isEmpty()) {
            return {Received::Status::Closed, 0, {}};
        }
        const qsizetype n = qMin(qMin(max, piece_), bytes_.size());
        std::copy_n(bytes_.data(), n, buffer);
        bytes_ = bytes_.sliced(n);
        return {Received::Status::Data, n, {}};
    }

  private:
    QByteArrayView bytes_;
    qsizetype piece_;
};

class CountingSink final : public MailSink {
  public:
    Result<void> write(const char* /*data*/, qsizetype size) override {
        bytes += size;
        return {};
    }
    qint64 bytes = 0;
};

}  // namespace

QString runImapResponse(QByteArrayView input) {
    if (input.isEmpty()) {
        return {};
    }
    PiecesChannel channel(input.sliced(1), 1 + static_cast<unsigned char>(input[0]) % 64);
    ChannelReader in(channel, MailTimeouts{}, QStringLiteral("fuzz"));
    ImapResponseReader reader(in);
    constexpr qint64 kBodyLimit = 4096;
    CountingSink sink;
    const BodyTarget target = [&sink](qint64 size) -> Result<MailSink*> {
        if (size > 1024) {
            return Error{QStringLiteral("too large here")};
        }
        return &sink;
    };
    for (int responses = 0; responses < 10'000; ++responses) {
        const Result<ImapResponse> read =
            reader.read(QStringLiteral("fuzzing"), 1000, target, kBodyLimit);
        // A response is whole and the dialogue in step, or the dialogue is lost: nothing between.
        if (read.ok() != in.usable()) {
            return QStringLiteral("a response read while the dialogue was %1")
                .arg(in.usable() ? QStringLiteral("in step") : QStringLiteral("lost"));
        }
        if (sink.bytes > 1024 * (responses + 1)) {
            return QStringLiteral("a body beyond what its target accepted reached the sink");
        }
        if (!read.ok()) {
            return {};
        }
    }
    return {};
}

}  // namespace kervo::fuzz
