#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "app/Result.h"
#include "mail/transport/ChannelReader.h"

namespace kervo {

// One value of a server response: an atom (numbers and flags included), a string (quoted or a
// literal), a parenthesised list, NIL, or a message body that went to its sink instead.
struct ImapItem {
    enum class Kind { Atom, String, List, Nil, Body };
    Kind kind = Kind::Atom;
    QByteArray text;              // Atom and String
    std::vector<ImapItem> items;  // List

    // An atom spelt so, in any case.
    bool is(QByteArrayView atom) const;
    // An atom of decimal digits, up to 18 of them.
    std::optional<qint64> number() const;
};

// One whole response: a tagged or untagged line (with what its literals carried), or a
// continuation request.
struct ImapResponse {
    enum class Kind { Untagged, Tagged, Continuation };
    Kind kind = Kind::Untagged;
    QByteArray tag;              // Tagged only
    QByteArray status;           // "OK", "NO", "BAD", "BYE" or "PREAUTH" in capitals; else empty
    std::vector<ImapItem> code;  // what the status's [...] held, e.g. {UIDVALIDITY, 42}
    QByteArray text;             // the human text of a status or a continuation
    std::vector<ImapItem> data;  // untagged data, e.g. {3, EXISTS} or {3, FETCH, (...)}
    bool bodySeen = false;       // a message body went to its sink (or was dropped)
    Result<void> body;           // whether the sink kept all of it
};

// Where a message body literal of `size` bytes goes, asked before a byte of it is read: a sink,
// or an Error when it is not to be kept here (too large, no room); it is then read and dropped.
using BodyTarget = std::function<Result<MailSink*>(qint64 size)>;

// Reads whole responses off the reader with a real tokenizer: atoms, quoted strings with their
// escapes, literals {n} and {n+} (split across reads as the network splits them), nested lists
// and NIL. Bounded: each line between literals, each literal that is not a message body, and a
// response as a whole have a cap, and a message body larger than bodyLimit is refused before
// it is read; beyond a cap, or on anything that is no response, the dialogue is lost.
class ImapResponseReader {
  public:
    static constexpr qsizetype kMaxLine = 1024 * 1024;
    static constexpr qsizetype kMaxResponse = 8 * 1024 * 1024;  // all lines and short literals
    static constexpr qsizetype kMaxLiteral = 64 * 1024;         // a literal that is no body
    static constexpr int kMaxDepth = 16;                        // lists inside lists

    explicit ImapResponseReader(ChannelReader& in) : in_(in) {}

    // The next response; lines must come within timeoutMs, a body's bytes within the stall
    // timeout. A body literal (after BODY[...], BINARY[...] or RFC822) goes to `body` when it is
    // given; one beyond bodyLimit loses the dialogue, unread.
    Result<ImapResponse> read(const QString& what, int timeoutMs, const BodyTarget& body = {},
                              qint64 bodyLimit = 0);

  private:
    ChannelReader& in_;
};

}  // namespace kervo
