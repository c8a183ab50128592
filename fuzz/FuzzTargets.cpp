#include "FuzzTargets.h"

#include <algorithm>
#include <array>

namespace kervo::fuzz {

namespace {

constexpr std::array kTargets = {
    FuzzTarget{"settings", &runSettings},
    FuzzTarget{"mime", &runMime},
    FuzzTarget{"header", &runHeader},
    FuzzTarget{"imap", &runImapResponse},
};

}  // namespace

std::span<const FuzzTarget> fuzzTargets() {
    return kTargets;
}

const FuzzTarget* findFuzzTarget(std::string_view name) {
    const auto* found = std::find_if(kTargets.begin(), kTargets.end(),
                                     [name](const FuzzTarget& t) { return t.name == name; });
    return found == kTargets.end() ? nullptr : found;
}

}  // namespace kervo::fuzz
