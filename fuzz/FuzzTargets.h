#pragma once

#include <QByteArrayView>
#include <QString>
#include <span>
#include <string_view>

namespace kervo::fuzz {

// One fuzzed entry point. run feeds the bytes to the code under test and returns what went
// wrong beyond a crash (a broken promise of that code), or nothing when all is well. The same
// functions serve the libFuzzer executables and the replay of saved inputs in the test suite.
struct FuzzTarget {
    std::string_view name;
    QString (*run)(QByteArrayView input);
};

std::span<const FuzzTarget> fuzzTargets();
const FuzzTarget* findFuzzTarget(std::string_view name);

// The targets themselves.
QString runSettings(QByteArrayView input);
QString runMime(QByteArrayView input);
QString runHeader(QByteArrayView input);
QString runImapResponse(QByteArrayView input);

}  // namespace kervo::fuzz
