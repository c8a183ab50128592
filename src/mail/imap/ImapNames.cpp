// How mailbox names and sets of UIDs are written in IMAP commands.
#include <algorithm>

#include "mail/imap/ImapSession.h"

namespace kervo {

QByteArray imapMailboxName(const QString& name) {
    QByteArray out = "\"";
    QString wide;  // the run of characters beyond printable ASCII being gathered
    auto flush = [&] {
        if (wide.isEmpty()) {
            return;
        }
        QByteArray utf16;
        for (const QChar c : wide) {
            utf16 += char(c.unicode() >> 8);
            utf16 += char(c.unicode() & 0xff);
        }
        QByteArray base64 = utf16.toBase64(QByteArray::OmitTrailingEquals);
        base64.replace('/', ',');
        out += '&' + base64 + '-';
        wide.clear();
    };
    for (const QChar c : name) {
        if (c.unicode() >= 0x20 && c.unicode() <= 0x7e) {
            flush();
            if (c == u'&') {
                out += "&-";
            } else {
                if (c == u'"' || c == u'\\') {
                    out += '\\';
                }
                out += char(c.unicode());
            }
        } else {
            wide += c;
        }
    }
    flush();
    return out + '"';
}

QList<QByteArray> uidSets(std::vector<qint64> uids, qsizetype maxBytes) {
    std::sort(uids.begin(), uids.end());
    uids.erase(std::unique(uids.begin(), uids.end()), uids.end());
    QList<QByteArray> sets;
    QByteArray set;
    for (std::size_t i = 0; i < uids.size();) {
        std::size_t last = i;
        while (last + 1 < uids.size() && uids[last + 1] == uids[last] + 1) {
            ++last;
        }
        QByteArray range = QByteArray::number(uids[i]);
        if (last > i) {
            range += ':' + QByteArray::number(uids[last]);
        }
        if (!set.isEmpty() && set.size() + range.size() + 1 > maxBytes) {
            sets.append(set);
            set.clear();
        }
        set += (set.isEmpty() ? "" : ",") + range;
        i = last + 1;
    }
    if (!set.isEmpty()) {
        sets.append(set);
    }
    return sets;
}

}  // namespace kervo
