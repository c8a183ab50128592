#include "mail/mime/LineEnds.h"

#include <bit>
#include <cstring>
#include <vector>

namespace kervo::mime {

qsizetype countLineFeeds(QByteArrayView bytes) {
    qsizetype count = 0;
    const char* at = bytes.data();
    const char* const end = at + bytes.size();
    while (at < end) {
        const void* lf = std::memchr(at, '\n', size_t(end - at));
        if (lf == nullptr) {
            break;
        }
        ++count;
        at = static_cast<const char*>(lf) + 1;
    }
    return count;
}

void toCrLf(QString& text) {
    // The bare line feeds are marked in a bitmap on the way forward (one bit per character), so
    // that the way back, which widens the text, finds them without searching again.
    const qsizetype size = text.size();
    std::vector<quint64> bare;
    qsizetype count = 0;
    for (qsizetype lf = text.indexOf(u'\n'); lf >= 0; lf = text.indexOf(u'\n', lf + 1)) {
        if (lf == 0 || text.at(lf - 1) != u'\r') {
            if (bare.empty()) {
                bare.resize(size_t(size / 64 + 1));
            }
            bare[size_t(lf / 64)] |= quint64(1) << (lf % 64);
            ++count;
        }
    }
    if (count == 0) {
        return;
    }
    text.resize(size + count);
    QChar* data = text.data();
    qsizetype end = size;  // characters [.., end) of the original are still to move
    qsizetype shift = count;
    for (size_t word = bare.size(); word-- > 0 && shift > 0;) {
        for (quint64 bits = bare[word]; bits != 0;
             bits &= ~(quint64(1) << (63 - std::countl_zero(bits)))) {
            const qsizetype lf = qsizetype(word) * 64 + (63 - std::countl_zero(bits));
            std::memmove(data + lf + 1 + shift, data + lf + 1,
                         size_t(end - lf - 1) * sizeof(QChar));
            data[lf + shift] = u'\n';
            data[lf + shift - 1] = u'\r';
            --shift;
            end = lf;
        }
    }
}

}  // namespace kervo::mime
