#include "mail/imap/ImapResponse.h"

#include "app/TextSafety.h"

namespace kervo {

namespace {

bool isStatus(QByteArrayView word) {
    for (const char* status : {"OK", "NO", "BAD", "BYE", "PREAUTH"}) {
        if (word.compare(QByteArrayView(status), Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

// Whether a literal after this item is a message body.
bool introducesBody(const std::vector<ImapItem>& list) {
    if (list.empty() || list.back().kind != ImapItem::Kind::Atom) {
        return false;
    }
    const QByteArray name = list.back().text.toUpper();
    return name.startsWith("BODY[") || name.startsWith("BINARY[") || name == "RFC822";
}

// Takes one response apart, line by line: the tokens of each line, a literal wherever a line
// ends in one, then the line that carries on after it.
class Parser {
  public:
    Parser(ChannelReader& in, const QString& what, int timeoutMs, const BodyTarget& body,
           qint64 bodyLimit)
        : in_(in), what_(what), timeoutMs_(timeoutMs), body_(body), bodyLimit_(bodyLimit) {}

    Result<ImapResponse> run() {
        if (Result<void> got = nextLine(); !got.ok()) {
            return got.error();
        }
        ImapResponse out;
        if (line_.startsWith('+')) {
            out.kind = ImapResponse::Kind::Continuation;
            out.text = line_.mid(line_.startsWith("+ ") ? 2 : 1);
            return out;
        }
        const qsizetype space = line_.indexOf(' ');
        if (space <= 0) {
            return garbage();
        }
        out.tag = line_.left(space);
        out.kind = out.tag == "*" ? ImapResponse::Kind::Untagged : ImapResponse::Kind::Tagged;
        if (out.kind == ImapResponse::Kind::Tagged) {
            for (const char c : out.tag) {
                if (c <= ' ' || c > '~' || c == '(' || c == ')' || c == '{' || c == '"') {
                    return garbage();
                }
            }
        } else {
            out.tag.clear();
        }
        at_ = space + 1;
        const qsizetype wordEnd = line_.indexOf(' ', at_);
        const QByteArray word = line_.mid(at_, wordEnd < 0 ? -1 : wordEnd - at_);
        if (isStatus(word)) {
            out.status = word.toUpper();
            at_ += word.size();
            return statusText(std::move(out));
        }
        if (out.kind == ImapResponse::Kind::Tagged) {
            return garbage();  // a tagged response is always a status
        }
        stack_.emplace_back();
        if (Result<void> parsed = tokens(out); !parsed.ok()) {
            return parsed.error();
        }
        out.data = std::move(stack_.front());
        return out;
    }

  private:
    Error garbage() {
        return in_.broken(QStringLiteral("an answer to %1 that is no IMAP response: %2")
                              .arg(what_, displaySafe(QString::fromLatin1(line_.left(80)))));
    }

    Result<void> nextLine() {
        Result<QByteArray> line = in_.readLine(what_, timeoutMs_, ImapResponseReader::kMaxLine);
        if (!line.ok()) {
            return line.error();
        }
        line_ = std::move(line).value();
        at_ = 0;
        return count(line_.size() + 2);
    }

    Result<void> count(qsizetype bytes) {
        total_ += bytes;
        if (total_ > ImapResponseReader::kMaxResponse) {
            return in_.broken(QStringLiteral("a response to %1 longer than %2 bytes")
                                  .arg(what_)
                                  .arg(ImapResponseReader::kMaxResponse));
        }
        return {};
    }

    // The [code] and the text of a status response.
    Result<ImapResponse> statusText(ImapResponse out) {
        if (line_.mid(at_).startsWith(" [")) {
            at_ += 2;
            stack_.emplace_back();
            inCode_ = true;
            if (Result<void> parsed = tokens(out); !parsed.ok()) {
                return parsed.error();
            }
            out.code = std::move(stack_.front());
        }
        out.text = line_.mid(at_ < line_.size() && line_[at_] == ' ' ? at_ + 1 : at_);
        return out;
    }

    // Tokens up to the end of the response (or of the [code]).
    Result<void> tokens(ImapResponse& out) {
        for (;;) {
            while (at_ < line_.size() && line_[at_] == ' ') {
                ++at_;
            }
            if (at_ >= line_.size()) {
                if (stack_.size() != 1 || inCode_) {
                    return garbage();  // a list or a [code] left open
                }
                return {};
            }
            const char c = line_[at_];
            if (inCode_ && c == ']' && stack_.size() == 1) {
                ++at_;
                return {};
            }
            if (c == '(') {
                if (std::ssize(stack_) > ImapResponseReader::kMaxDepth) {
                    return garbage();
                }
                stack_.emplace_back();
                ++at_;
            } else if (c == ')') {
                if (stack_.size() < 2) {
                    return garbage();
                }
                ImapItem list{ImapItem::Kind::List, {}, std::move(stack_.back())};
                stack_.pop_back();
                stack_.back().push_back(std::move(list));
                ++at_;
            } else if (c == '"') {
                if (Result<void> quoted = quotedString(); !quoted.ok()) {
                    return quoted;
                }
            } else if (c == '{') {
                if (Result<void> literal = this->literal(out); !literal.ok()) {
                    return literal;
                }
            } else if (Result<void> atom = this->atom(); !atom.ok()) {
                return atom;
            }
        }
    }

    Result<void> quotedString() {
        QByteArray text;
        for (qsizetype i = at_ + 1; i < line_.size(); ++i) {
            char c = line_[i];
            if (c == '\\') {
                if (++i >= line_.size()) {
                    break;
                }
                c = line_[i];
            } else if (c == '"') {
                stack_.back().push_back({ImapItem::Kind::String, std::move(text), {}});
                at_ = i + 1;
                return {};
            }
            text += c;
        }
        return garbage();  // a quoted string never spans lines
    }

    Result<void> atom() {
        qsizetype i = at_;
        int brackets = 0;  // BODY[HEADER.FIELDS (A B)] is one atom, blanks and all
        for (; i < line_.size(); ++i) {
            const char c = line_[i];
            if (c == '[') {
                ++brackets;
            } else if (c == ']' && brackets > 0) {
                --brackets;
            } else if (brackets == 0 && (c == ' ' || c == '(' || c == ')' || c == '"' || c == '{' ||
                                         (c == ']' && inCode_))) {
                break;
            } else if (c < ' ' || c == 0x7f) {
                return garbage();
            }
        }
        if (i == at_) {
            return garbage();
        }
        ImapItem item{ImapItem::Kind::Atom, line_.mid(at_, i - at_), {}};
        if (item.is("NIL")) {
            item = ImapItem{ImapItem::Kind::Nil, {}, {}};
        }
        stack_.back().push_back(std::move(item));
        at_ = i;
        return {};
    }

    // {n} or {n+} at the end of the line, then n bytes, then the rest of the response.
    Result<void> literal(ImapResponse& out) {
        const qsizetype close = line_.indexOf('}', at_);
        if (inCode_ || close != line_.size() - 1) {
            return garbage();
        }
        QByteArrayView digits = QByteArrayView(line_).sliced(at_ + 1, close - at_ - 1);
        if (digits.endsWith('+')) {
            digits.chop(1);
        }
        const std::optional<qint64> size = decimalNumber(digits);
        if (!size) {
            return garbage();
        }
        if (body_ && introducesBody(stack_.back())) {
            if (Result<void> streamed = bodyLiteral(*size, out); !streamed.ok()) {
                return streamed;
            }
        } else {
            if (*size > ImapResponseReader::kMaxLiteral) {
                return in_.broken(QStringLiteral("a literal of %1 bytes in the answer to %2, "
                                                 "more than %3")
                                      .arg(*size)
                                      .arg(what_)
                                      .arg(ImapResponseReader::kMaxLiteral));
            }
            if (Result<void> counted = count(*size); !counted.ok()) {
                return counted;
            }
            QByteArray text;
            if (Result<void> read =
                    take(*size, [&](const char* data, qsizetype n) { text.append(data, n); });
                !read.ok()) {
                return read;
            }
            stack_.back().push_back({ImapItem::Kind::String, std::move(text), {}});
        }
        return nextLine();
    }

    Result<void> bodyLiteral(qint64 size, ImapResponse& out) {
        if (size > bodyLimit_) {
            return in_.broken(QStringLiteral("a message of %1 bytes in the answer to %2, beyond "
                                             "%3 bytes; it is not read")
                                  .arg(size)
                                  .arg(what_)
                                  .arg(bodyLimit_));
        }
        Result<MailSink*> target = body_(size);
        MailSink* sink = target.ok() ? target.value() : nullptr;
        out.bodySeen = true;
        out.body = target.ok() ? Result<void>() : Result<void>(target.error());
        stack_.back().push_back({ImapItem::Kind::Body, {}, {}});
        return take(size, [&](const char* data, qsizetype n) {
            if (sink != nullptr) {
                if (Result<void> kept = sink->write(data, n); !kept.ok()) {
                    out.body = kept;
                    sink = nullptr;  // the rest is read and dropped
                }
            }
        });
    }

    // Reads exactly `size` bytes, handing them on as they come.
    Result<void> take(qint64 size, const std::function<void(const char*, qsizetype)>& each) {
        while (size > 0) {
            if (in_.available() == 0) {
                if (Result<void> filled = in_.fill(what_, in_.timeouts().stallMs); !filled.ok()) {
                    return filled;
                }
            }
            const qsizetype n = qMin<qint64>(size, in_.available());
            each(in_.data(), n);
            in_.consume(n);
            size -= n;
        }
        return {};
    }

    ChannelReader& in_;
    const QString& what_;
    const int timeoutMs_;
    const BodyTarget& body_;
    const qint64 bodyLimit_;
    QByteArray line_;
    qsizetype at_ = 0;
    qsizetype total_ = 0;
    bool inCode_ = false;
    std::vector<std::vector<ImapItem>> stack_;  // the lists open, the response's own first
};

}  // namespace

bool ImapItem::is(QByteArrayView atom) const {
    return kind == Kind::Atom && QByteArrayView(text).compare(atom, Qt::CaseInsensitive) == 0;
}

std::optional<qint64> ImapItem::number() const {
    return kind == Kind::Atom ? decimalNumber(text) : std::nullopt;
}

Result<ImapResponse> ImapResponseReader::read(const QString& what, int timeoutMs,
                                              const BodyTarget& body, qint64 bodyLimit) {
    return Parser(in_, what, timeoutMs, body, bodyLimit).run();
}

}  // namespace kervo
