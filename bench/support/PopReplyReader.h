#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <deque>
#include <utility>

namespace kervo::bench {

class PopReplyHandler {
  public:
    virtual ~PopReplyHandler() = default;
    // The first line of every reply, without its line end.
    virtual void statusLine(bool ok, QByteArrayView line) = 0;
    // The content of a multi-line reply as it streams in, extra dots removed, line ends as sent.
    virtual void bodyData(const char* data, qsizetype size) = 0;
    virtual void bodyEnd() = 0;
};

// Splits the byte stream of pipelined POP3 replies in the order the commands were sent. The
// caller says which replies to expect; a multi-line reply whose status is -ERR has no body.
class PopReplyReader {
  public:
    enum class Kind { SingleLine, MultiLine };
    static constexpr qsizetype kMaxStatusLine = 8192;

    explicit PopReplyReader(PopReplyHandler& handler) : handler_(handler) {}

    void expect(Kind kind, qsizetype count);
    // Consumes everything given. False on a status line that is neither +OK nor -ERR, one that
    // is too long, or bytes when no reply is expected; error() then says which.
    bool feed(const char* data, qsizetype size);
    qsizetype outstanding() const { return outstanding_; }
    const QString& error() const { return error_; }

  private:
    enum class State { Status, LineStart, InLine, Dot, DotCr };
    bool statusComplete();
    void replyDone();

    PopReplyHandler& handler_;
    std::deque<std::pair<Kind, qsizetype>> expected_;
    qsizetype outstanding_ = 0;
    State state_ = State::Status;
    QByteArray status_;
    QString error_;
};

}  // namespace kervo::bench
