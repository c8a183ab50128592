#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace kervo {

// The body of a multi-line POP3 answer as it streams in: finds the terminating "." line and
// removes the extra dot of every line that begins with one. Lines may end in CRLF or in a bare
// LF; line endings are kept as sent. Holds no line in memory, so a line of any length passes.
class DotDecoder {
  public:
    // Decodes from data until the terminator, appending the content to out. Returns how many
    // bytes were consumed; bytes after the terminator are left for the next answer.
    qsizetype feed(const char* data, qsizetype size, QByteArray& out);
    bool finished() const { return state_ == State::Done; }

  private:
    enum class State { LineStart, InLine, Dot, DotCr, Done };
    State state_ = State::LineStart;
};

}  // namespace kervo
