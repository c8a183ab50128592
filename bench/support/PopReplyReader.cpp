#include "support/PopReplyReader.h"

#include <algorithm>
#include <cstring>

namespace kervo::bench {

void PopReplyReader::expect(Kind kind, qsizetype count) {
    if (count <= 0) {
        return;
    }
    if (!expected_.empty() && expected_.back().first == kind) {
        expected_.back().second += count;
    } else {
        expected_.emplace_back(kind, count);
    }
    outstanding_ += count;
}

void PopReplyReader::replyDone() {
    if (--expected_.front().second == 0) {
        expected_.pop_front();
    }
    --outstanding_;
    state_ = State::Status;
}

bool PopReplyReader::statusComplete() {
    QByteArrayView line(status_);
    if (line.endsWith('\n')) {
        line.chop(1);
    }
    if (line.endsWith('\r')) {
        line.chop(1);
    }
    const bool ok = line.startsWith("+OK");
    if (!ok && !line.startsWith("-ERR")) {
        error_ = QStringLiteral("the server answered \"%1\"")
                     .arg(QString::fromLatin1(line.first(std::min<qsizetype>(line.size(), 80))));
        return false;
    }
    handler_.statusLine(ok, line);
    status_.clear();
    if (ok && expected_.front().first == Kind::MultiLine) {
        state_ = State::LineStart;
    } else {
        replyDone();
    }
    return true;
}

bool PopReplyReader::feed(const char* data, qsizetype size) {
    qsizetype i = 0;
    while (i < size) {
        switch (state_) {
            case State::Status: {
                if (expected_.empty()) {
                    error_ = QStringLiteral("the server sent more than was asked for");
                    return false;
                }
                const void* found = std::memchr(data + i, '\n', static_cast<size_t>(size - i));
                const qsizetype end = found ? static_cast<const char*>(found) - data + 1 : size;
                status_.append(data + i, end - i);
                i = end;
                if (status_.size() > kMaxStatusLine) {
                    error_ =
                        QStringLiteral("a status line is longer than %1 bytes").arg(kMaxStatusLine);
                    return false;
                }
                if (found && !statusComplete()) {
                    return false;
                }
                break;
            }
            case State::LineStart:
                if (data[i] == '.') {
                    state_ = State::Dot;
                    ++i;
                } else {
                    state_ = State::InLine;
                }
                break;
            case State::InLine: {
                const void* found = std::memchr(data + i, '\n', static_cast<size_t>(size - i));
                const qsizetype end = found ? static_cast<const char*>(found) - data + 1 : size;
                handler_.bodyData(data + i, end - i);
                i = end;
                if (found) {
                    state_ = State::LineStart;
                }
                break;
            }
            case State::Dot:
                if (data[i] == '\r') {
                    state_ = State::DotCr;
                    ++i;
                } else if (data[i] == '\n') {
                    ++i;
                    handler_.bodyEnd();
                    replyDone();
                } else {
                    state_ = State::InLine;  // a stuffed dot: it goes, the line stays
                }
                break;
            case State::DotCr:
                if (data[i] == '\n') {
                    ++i;
                    handler_.bodyEnd();
                    replyDone();
                } else {
                    handler_.bodyData("\r", 1);
                    state_ = State::InLine;
                }
                break;
        }
    }
    return true;
}

}  // namespace kervo::bench
