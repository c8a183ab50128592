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
                const void* found = std::memchr(data + i, '\n', static_cast<size_t>(size - i));
                if (found == nullptr) {
                    out.append(data + i, size - i);
                    i = size;
                } else {
                    const qsizetype end = static_cast<const char*>(found) - data + 1;
                    out.append(data + i, end - i);
                    i = end;
                    state_ = State::LineStart;
                }
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
