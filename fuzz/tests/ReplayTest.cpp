// Every input a fuzzer once tripped over, and the fixtures the fuzzers start from, run through
// the same entry points in the ordinary (and the sanitizer) build.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <string>

#include "FuzzTargets.h"
#include "SettingsMemory.h"

namespace kervo::fuzz {
namespace {

struct Input {
    QString origin;
    QByteArray bytes;
};

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void addFolder(QList<Input>& out, const QString& folder, const QStringList& patterns = {}) {
    QDirIterator it(folder, patterns, QDir::Files);
    while (it.hasNext()) {
        const QString path = it.next();
        out.append({path, readAll(path)});
    }
}

const QString kSource = QString::fromUtf8(KERVO_SOURCE_DIR);

// The header lines of the mail fixtures, folding included.
QList<Input> headerLines() {
    QList<Input> out;
    QList<Input> mails;
    addFolder(mails, kSource + QStringLiteral("/tests/mail/mime/data"), {QStringLiteral("*.eml")});
    for (const Input& mail : mails) {
        for (QByteArray line : mail.bytes.split('\n')) {
            if (line.endsWith('\r')) {
                line.chop(1);
            }
            if (line.isEmpty()) {
                break;  // the end of the header block
            }
            if (line.startsWith(' ') || line.startsWith('\t')) {
                if (!out.isEmpty()) {
                    out.last().bytes += "\r\n" + line;
                }
            } else if (const qsizetype colon = line.indexOf(':'); colon > 0) {
                out.append({mail.origin, line.mid(colon + 1)});
            }
        }
    }
    return out;
}

QList<Input> inputsFor(const std::string& target) {
    QList<Input> out;
    addFolder(out, QStringLiteral(KERVO_FUZZ_DIR "/regressions/") + QString::fromStdString(target));
    if (target == "mime") {
        addFolder(out, kSource + QStringLiteral("/tests/mail/mime/data"),
                  {QStringLiteral("*.eml")});
    } else if (target == "header") {
        out.append(headerLines());
    } else {
        // The sample settings, and the demo's, whose template differs only in its placeholders.
        for (const auto& [folder, kervoName] :
             {std::pair{QStringLiteral("/samples/"), QStringLiteral("kervo.ini")},
              std::pair{QStringLiteral("/demo/"), QStringLiteral("kervo.ini.in")}}) {
            const QByteArray kervo = readAll(kSource + folder + kervoName);
            const QByteArray servers = readAll(kSource + folder + QStringLiteral("server.ini"));
            out.append({kSource + folder, joinSettingsInput(kervo, servers)});
        }
    }
    return out;
}

class Replay : public ::testing::TestWithParam<std::string> {};

TEST_P(Replay, savedInputs_runWithoutProblem) {
    const FuzzTarget* target = findFuzzTarget(GetParam());
    ASSERT_NE(target, nullptr);
    const QList<Input> inputs = inputsFor(GetParam());
    ASSERT_FALSE(inputs.isEmpty()) << "no inputs found for " << GetParam();
    for (const Input& input : inputs) {
        EXPECT_EQ(target->run(input.bytes).toStdString(), std::string())
            << input.origin.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, Replay, ::testing::ValuesIn([] {
                             std::vector<std::string> names;
                             for (const FuzzTarget& target : fuzzTargets()) {
                                 names.emplace_back(target.name);
                             }
                             return names;
                         }()),
                         [](const auto& p) { return p.param; });

}  // namespace
}  // namespace kervo::fuzz
