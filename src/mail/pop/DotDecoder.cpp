#include "mail/pop/DotDecoder.h"

#include <cstring>

namespace kervo {

qsizetype DotDecoder::feed(const char* data, qsizetype size, QByteArray& out) {
    qsizetype i = 0;
    while (i < size && state_ != State::Done) {
        switch (state_) {
            case State::LineStart:
                if (data[i] == '.') {
                    state_ = State::Dot;
                    ++i;
                } else {
                    state_ = State::InLine;
                }
                break;
            case State::InLine: {
                // Everything up to the next line that begins with a dot goes out in one piece.
                qsizetype end = i;
                for (;;) {
                    const void* found =
                        std::memchr(data + end, '\n', static_cast<size_t>(size - end));
                    if (found == nullptr) {
                        end = size;
                        break;
                    }
                    end = static_cast<const char*>(found) - data + 1;
                    if (end == size || data[end] == '.') {
                        state_ = State::LineStart;
                        break;
                    }
                }
                out.append(data + i, end - i);
                i = end;
                break;
            }
            case State::Dot:
                if (data[i] == '\r') {
                    state_ = State::DotCr;
                    ++i;
                } else if (data[i] == '\n') {
                    state_ = State::Done;  // a server that ends its lines with a bare LF
                    ++i;
                } else {
                    state_ = State::InLine;  // the dot was stuffing: it goes, the line stays
                }
                break;
            case State::DotCr:
                if (data[i] == '\n') {
                    state_ = State::Done;
                    ++i;
                } else {
                    out.append('\r');
                    state_ = State::InLine;
                }
                break;
            case State::Done:
                break;
        }
    }
    return i;
}

}  // namespace kervo
