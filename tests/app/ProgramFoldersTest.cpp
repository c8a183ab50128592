#include <gtest/gtest.h>

#include "app/ProgramFolders.h"
#include "support/Printing.h"

namespace kervo {
namespace {

using namespace Qt::StringLiterals;

struct FolderCase {
    const char* name;
    FolderFacts facts;
    const char* settings;
    const char* mail;
};

using kervo::test::PrintTo;

// A user at home in /home/op, started in /srv/watch, the program in /opt/kervo.
FolderFacts usual() {
    FolderFacts facts;
    facts.currentDir = u"/srv/watch"_s;
    facts.executableDir = u"/opt/kervo"_s;
    facts.installedBinDir = u"/usr/bin"_s;
    facts.home = u"/home/op"_s;
    return facts;
}

FolderFacts with(const std::function<void(FolderFacts&)>& change) {
    FolderFacts facts = usual();
    change(facts);
    return facts;
}

class Folders : public ::testing::TestWithParam<FolderCase> {};

TEST_P(Folders, facts_chooseSettingsAndMailFolders) {
    const FolderCase& c = GetParam();
    const ProgramFolders folders = chooseFolders(c.facts);
    EXPECT_EQ(folders.settings, QString::fromUtf8(c.settings))
        << folders.settingsReason.toStdString();
    EXPECT_EQ(folders.mail, QString::fromUtf8(c.mail)) << folders.mailReason.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Rules, Folders,
    ::testing::Values(FolderCase{"currentFolderHoldsSettings_readThere",
                                 with([](FolderFacts& f) { f.currentHoldsSettings = true; }),
                                 "/srv/watch", "/home/op/.local/state/kervo/mail"},
                      FolderCase{"settingsOption_winsOverCurrentFolder", with([](FolderFacts& f) {
                                     f.currentHoldsSettings = true;
                                     f.settingsOption = u"../etc/kervo/"_s;
                                 }),
                                 "/srv/etc/kervo", "/home/op/.local/state/kervo/mail"},
                      FolderCase{"noSettingsHere_xdgConfigHome",
                                 with([](FolderFacts& f) { f.xdgConfigHome = u"/cfg"_s; }),
                                 "/cfg/kervo", "/home/op/.local/state/kervo/mail"},
                      FolderCase{"noSettingsHereNoXdg_homeDotConfig", usual(),
                                 "/home/op/.config/kervo", "/home/op/.local/state/kervo/mail"},
                      FolderCase{"relativeXdgFolders_ignored", with([](FolderFacts& f) {
                                     f.xdgConfigHome = u"cfg"_s;
                                     f.xdgStateHome = u"state"_s;
                                 }),
                                 "/home/op/.config/kervo", "/home/op/.local/state/kervo/mail"},
                      FolderCase{"writableExecutableFolder_mailBeside", with([](FolderFacts& f) {
                                     f.executableDirWritable = true;
                                     f.xdgStateHome = u"/st"_s;
                                 }),
                                 "/home/op/.config/kervo", "/opt/kervo/mail"},
                      FolderCase{"readOnlyExecutableFolder_xdgStateHome",
                                 with([](FolderFacts& f) { f.xdgStateHome = u"/st"_s; }),
                                 "/home/op/.config/kervo", "/st/kervo/mail"},
                      FolderCase{"installedProgramWritableBin_neverMailInBin",
                                 with([](FolderFacts& f) {
                                     f.executableDir = u"/usr/bin/"_s;
                                     f.executableDirWritable = true;  // as root
                                 }),
                                 "/home/op/.config/kervo", "/home/op/.local/state/kervo/mail"},
                      FolderCase{"installedUnderOtherPrefix_neverMailInBin",
                                 with([](FolderFacts& f) {
                                     f.executableDir = u"/home/op/.local/bin"_s;
                                     f.executableDirWritable = true;
                                     f.installedFilesBeside = true;
                                 }),
                                 "/home/op/.config/kervo", "/home/op/.local/state/kervo/mail"}),
    kervo::test::rowName);

}  // namespace
}  // namespace kervo
