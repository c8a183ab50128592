// Every input a fuzzer once tripped over, kept under fuzz/regressions/<target>/, run through the
// same entry point in the ordinary (and the sanitizer) build, so that a fault once found stays
// found.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <string>

#include "FuzzTargets.h"

namespace kervo::fuzz {
namespace {

TEST(Replay, savedFindings_runWithoutProblem) {
    QDirIterator folders(QStringLiteral(KERVO_FUZZ_DIR "/regressions"),
                         QDir::Dirs | QDir::NoDotAndDotDot);
    while (folders.hasNext()) {
        const QString folder = folders.next();
        const std::string name = QFileInfo(folder).fileName().toStdString();
        // A finding filed under a name no target has would never be replayed.
        const FuzzTarget* target = findFuzzTarget(name);
        ASSERT_NE(target, nullptr) << "no fuzz target called " << name;
        QDirIterator inputs(folder, QDir::Files);
        while (inputs.hasNext()) {
            const QString path = inputs.next();
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
            EXPECT_EQ(target->run(file.readAll()).toStdString(), std::string())
                << path.toStdString();
        }
    }
}

}  // namespace
}  // namespace kervo::fuzz
