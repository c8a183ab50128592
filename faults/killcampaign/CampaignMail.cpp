#include "CampaignMail.h"

namespace kervo::faults {

namespace {

// Lines the dot-stuffing of the transfer must undo exactly, among ordinary report lines.
constexpr const char* kSpecialLines[] = {
    ".",
    "..",
    ".leading dot",
    "..two leading dots",
    " .",
    "From the checker",
    "\xe6\x94\xb9\xe3\x81\x96\xe3\x82\x93\xe6\xa4\x9c\xe6\x9f\xbb: \xe7\x95\xb0\xe5\xb8\xb8\xe3"
    "\x81\xaa\xe3\x81\x97",  // UTF-8 Japanese text
    "",
};

}  // namespace

QByteArray campaignMail(int seq, qsizetype bodyBytes, quint32 salt) {
    const QByteArray number = QByteArray::number(seq);
    QByteArray mail =
        "Return-Path: <checker@kervo.test>\n"
        "From: checker@kervo.test\n"
        "To: watch@kervo.test\n"
        "Subject: host" +
        number + " integrity report " + number +
        "\n"
        "Message-ID: <" +
        number + "." + QByteArray::number(salt, 16) +
        "@kervo.test>\n"
        "X-Kervo-Seq: " +
        number +
        "\n"
        "Content-Type: text/plain; charset=UTF-8\n"
        "\n";
    std::minstd_rand random(salt ^ static_cast<quint32>(seq) * 2654435761u);
    int line = 0;
    while (mail.size() < bodyBytes) {
        ++line;
        const auto pick = random() % 16;
        if (pick < std::size(kSpecialLines)) {
            mail += kSpecialLines[pick];
        } else if (pick == 15) {
            mail += QByteArray(900, 'x');  // near the longest line a mail may carry
        } else {
            mail += "/srv/data/file" + QByteArray::number(line) + " changed, sum " +
                    QByteArray::number(static_cast<quint32>(random()), 16);
        }
        mail += '\n';
    }
    mail += "end of report " + number + "\n";
    return mail;
}

QByteArray asFetched(const QByteArray& delivered) {
    QByteArray out;
    out.reserve(delivered.size() + delivered.size() / 20 + 2);
    for (qsizetype i = 0; i < delivered.size(); ++i) {
        if (delivered[i] == '\n' && (i == 0 || delivered[i - 1] != '\r')) {
            out += '\r';
        }
        out += delivered[i];
    }
    if (!out.isEmpty() && !out.endsWith("\r\n")) {
        out += "\r\n";
    }
    return out;
}

std::optional<int> campaignSeq(QByteArrayView mail) {
    static constexpr QByteArrayView kName("x-kervo-seq:");
    qsizetype at = 0;
    while (at < mail.size()) {
        qsizetype end = mail.indexOf('\n', at);
        if (end < 0) {
            end = mail.size();
        }
        QByteArrayView line = mail.sliced(at, end - at);
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        if (line.isEmpty()) {
            return std::nullopt;  // the body begins
        }
        if (line.size() > kName.size() &&
            line.first(kName.size()).compare(kName, Qt::CaseInsensitive) == 0) {
            bool ok = false;
            const int seq = line.sliced(kName.size()).trimmed().toInt(&ok);
            return ok ? std::optional(seq) : std::nullopt;
        }
        at = end + 1;
    }
    return std::nullopt;
}

std::vector<qsizetype> mixedSizes(int n, std::mt19937& random) {
    std::vector<qsizetype> sizes;
    sizes.reserve(static_cast<size_t>(n));
    std::uniform_int_distribution<int> percent(0, 99);
    for (int i = 0; i < n; ++i) {
        const int p = percent(random);
        const auto between = [&random](qsizetype low, qsizetype high) {
            return std::uniform_int_distribution<qsizetype>(low, high)(random);
        };
        sizes.push_back(p < 70   ? between(200, 4'000)
                        : p < 95 ? between(20'000, 100'000)
                                 : between(500'000, 1'500'000));
    }
    return sizes;
}

}  // namespace kervo::faults
