// The libFuzzer entry of one target; KERVO_FUZZ_TARGET names it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const kervo::fuzz::FuzzTarget* const target =
        kervo::fuzz::findFuzzTarget(KERVO_FUZZ_TARGET);
    if (target == nullptr) {
        std::fprintf(stderr, "no fuzz target called %s\n", KERVO_FUZZ_TARGET);
        std::abort();
    }
    const QString problem =
        target->run(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!problem.isEmpty()) {
        // A broken promise is reported like a crash, so that libFuzzer keeps the input.
        std::fprintf(stderr, "%s: %s\n", KERVO_FUZZ_TARGET, problem.toUtf8().constData());
        std::abort();
    }
    return 0;
}
