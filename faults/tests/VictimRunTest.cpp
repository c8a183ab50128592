#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <csignal>

#include "VictimRun.h"

namespace kervo::faults {
namespace {

using namespace std::chrono_literals;

struct Case {
    const char* name;
    const char* script;
    std::optional<std::chrono::microseconds> killAfter;
    VictimOutcome::End end;
    int exitCode;
    int signal;
    const char* output;
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

class RunVictim : public ::testing::TestWithParam<Case> {};

TEST_P(RunVictim, program_endsAsReported) {
    const Case& c = GetParam();
    QTemporaryDir dir;
    const VictimOutcome outcome =
        runVictim(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QString::fromUtf8(c.script)},
                  dir.filePath(QStringLiteral("out")), c.killAfter, 60s);
    EXPECT_EQ(outcome.end, c.end);
    EXPECT_EQ(outcome.exitCode, c.exitCode);
    EXPECT_EQ(outcome.signal, c.signal);
    EXPECT_EQ(outcome.output.toStdString(), c.output);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RunVictim,
    ::testing::Values(Case{"exitsWithCode", "echo saved; echo oops >&2; exit 3", std::nullopt,
                           VictimOutcome::End::Exited, 3, 0, "saved\noops"},
                      // A kill due at once lands whatever the program is doing.
                      Case{"killDue", "exec sleep 1000", 0us, VictimOutcome::End::Killed, -1,
                           SIGKILL, ""},
                      Case{"crashesByItself", "kill -SEGV $$", std::nullopt,
                           VictimOutcome::End::Crashed, -1, SIGSEGV, ""}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace kervo::faults
