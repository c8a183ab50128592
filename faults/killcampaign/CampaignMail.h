#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <optional>
#include <random>
#include <vector>

namespace kervo::faults {

// Mail number seq of the campaign as delivered into the server's maildir: LF line ends, an
// X-Kervo-Seq header and a Message-ID that name it, and a body of about bodyBytes bytes that
// holds what the transfer must carry through untouched (lines that begin with a dot, a lone
// dot, long lines, UTF-8 text). salt varies the body between campaigns.
QByteArray campaignMail(int seq, qsizetype bodyBytes, quint32 salt);

// The mail as the fetch must save it: the server sends CR LF line ends and the client keeps
// what was sent.
QByteArray asFetched(const QByteArray& delivered);

// The number in the X-Kervo-Seq header of the header block; nothing when there is none.
std::optional<int> campaignSeq(QByteArrayView mail);

// Body sizes for a mailbox of n mails: mostly small reports, a quarter of some tens of
// kilobytes, and about one in twenty of half a megabyte or more.
std::vector<qsizetype> mixedSizes(int n, std::mt19937& random);

}  // namespace kervo::faults
