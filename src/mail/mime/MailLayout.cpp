#include "mail/mime/MailLayout.h"

#include <cerrno>
#include <deque>

#include "mail/mime/HeaderDecoding.h"

namespace kervo::mime {

namespace {

constexpr qint64 kReadBlock = 64 * 1024;
// A longer line is looked at only this far: far enough to know what it is, and a header value
// longer than this is no subject anyone reads.
constexpr qsizetype kLineLook = 1024 * 1024;

bool isWsp(char c) {
    return c == ' ' || c == '\t';
}

// Where the colon of a "name: value" line is, with a name of visible ASCII (spaces allowed, as
// the parser allows them); nothing when the line is no header field.
std::optional<qsizetype> fieldColon(QByteArrayView line) {
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0) {
        return std::nullopt;
    }
    for (qsizetype i = 0; i < colon; ++i) {
        const auto c = static_cast<unsigned char>(line[i]);
        if ((c < 0x21 || c > 0x7e) && !isWsp(line[i])) {
            return std::nullopt;
        }
    }
    return colon;
}

// Learns the layout from the mail's lines, fed one at a time in order.
class LayoutScanner {
  public:
    explicit LayoutScanner(QByteArray wanted) : wanted_(std::move(wanted)) {}

    // One line without its line break, starting at begin; next is where the line after it
    // starts. False once nothing more is to be learnt.
    bool line(qint64 begin, QByteArrayView text, qint64 next) {
        if (lines_++ == 0 && text.startsWith("From ")) {
            return true;  // an mbox envelope line belongs to no header
        }
        if (text.isEmpty()) {
            if (!ended_) {
                endHeader(begin, fields_ ? next : 0, fields_);
            }
            endWanted();
            return false;  // the header ends here, for the wanted header too
        }
        if (isWsp(text[0])) {
            if (inWanted_) {
                value_.append("\r\n");
                value_.append(text.data(), text.size());
            }
            if (!fields_ && !ended_) {
                endHeader(begin, 0, false);  // an indented first line: no header at all
            }
            return true;
        }
        endWanted();
        if (ended_ && layout.header) {
            return false;
        }
        const std::optional<qsizetype> colon = fieldColon(text);
        if (!colon) {
            if (!ended_) {
                endHeader(begin, fields_ ? begin : 0, false);
            }
            return true;  // lines that are no header are passed over, as findRawHeader does
        }
        if (!ended_) {
            fields_ = true;
            noteFieldStart(begin);
        }
        if (!layout.header && !wanted_.isEmpty() &&
            text.first(*colon).trimmed().compare(wanted_, Qt::CaseInsensitive) == 0) {
            inWanted_ = true;
            value_ = text.sliced(*colon + 1).toByteArray();
        }
        return true;
    }

    void finish(qint64 size) {
        if (!ended_) {
            endHeader(size, fields_ ? size : 0, fields_);
        }
        endWanted();
    }

    MailLayout layout;

  private:
    void endWanted() {
        if (inWanted_) {
            layout.header = std::move(value_);
            inWanted_ = false;
        }
    }

    void noteFieldStart(qint64 begin) {
        constexpr qint64 kHalf = kParsedHeaderBytes / 2;
        if (begin <= kHalf) {
            headCut_ = begin;
        }
        tailStarts_.push_back(begin);
        while (tailStarts_.front() < begin - kHalf) {
            tailStarts_.pop_front();
        }
    }

    void endHeader(qint64 end, qint64 bodyStart, bool wellFormed) {
        ended_ = true;
        layout.headerEnd = end;
        layout.bodyStart = bodyStart;
        layout.wellFormed = wellFormed;
        layout.headKeep = end;
        layout.tailKeep = end;
        if (end <= kParsedHeaderBytes || headCut_ <= 0) {
            return;
        }
        qint64 tail = end;
        for (const qint64 start : tailStarts_) {
            if (start >= end - kParsedHeaderBytes / 2) {
                tail = start;
                break;
            }
        }
        if (headCut_ < tail) {
            layout.headKeep = headCut_;
            layout.tailKeep = tail;
        }
    }

    QByteArray wanted_;
    qint64 lines_ = 0;
    bool fields_ = false;
    bool ended_ = false;
    bool inWanted_ = false;
    QByteArray value_;
    qint64 headCut_ = 0;
    std::deque<qint64> tailStarts_;
};

QByteArrayView withoutCr(QByteArrayView line) {
    return line.endsWith('\r') ? line.chopped(1) : line;
}

}  // namespace

Result<MailLayout> scanLayout(const MailReadFn& read, const QString& headerName) {
    LayoutScanner scanner(normalisedHeaderName(headerName));
    QByteArray buffer;     // the unfinished line, then what was read after it
    qint64 bufferAt = 0;   // where buffer starts in the mail
    qint64 skipping = -1;  // start of an overlong line whose rest is being passed over
    QByteArray block(kReadBlock, Qt::Uninitialized);
    bool more = true;
    while (more) {
        const qint64 got = read(block.data(), kReadBlock);
        if (got < 0) {
            return Error{qt_error_string(errno)};
        }
        if (got == 0) {
            if (skipping < 0 && !buffer.isEmpty()) {
                scanner.line(bufferAt, withoutCr(buffer), bufferAt + buffer.size());
            }
            scanner.finish(bufferAt + buffer.size());
            break;
        }
        buffer.append(block.constData(), got);
        qsizetype pos = 0;
        while (more) {
            const qsizetype lf = buffer.indexOf('\n', pos);
            if (lf < 0) {
                break;
            }
            if (skipping >= 0) {
                skipping = -1;  // the overlong line was already seen; the next one starts here
            } else {
                const QByteArrayView text(buffer.constData() + pos, lf - pos);
                more = scanner.line(bufferAt + pos, withoutCr(text), bufferAt + lf + 1);
            }
            pos = lf + 1;
        }
        if (more && skipping < 0 && buffer.size() - pos > kLineLook) {
            // Only the start of an overlong line is looked at; its end is found by its line feed.
            scanner.line(bufferAt + pos, QByteArrayView(buffer.constData() + pos, kLineLook), -1);
            skipping = bufferAt + pos;
            pos = buffer.size();
        } else if (skipping >= 0) {
            pos = buffer.size();
        }
        buffer.remove(0, pos);
        bufferAt += pos;
    }
    return std::move(scanner.layout);
}

}  // namespace kervo::mime
