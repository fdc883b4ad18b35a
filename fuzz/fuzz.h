#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "support/fakes.h"

namespace zebrik::fuzz {

// A broken rule is a finding like a crash: it is printed and the run aborts, so that
// libFuzzer keeps the input.
inline void Require(bool kept, std::string_view rule) {
    if (!kept) {
        std::fprintf(stderr, "==zebrik-fuzz== rule broken: %.*s\n", static_cast<int>(rule.size()),
                     rule.data());
        std::abort();
    }
}

// Text for the report: UTF-8 without NUL.
inline void RequireText(std::string_view text) {
    Require(testing::IsValidUtf8(text) && text.find('\0') == text.npos,
            "text that is not UTF-8 or holds a NUL");
}

// ZEBRIK_FUZZ_REPORT=1 shows the report of an input, to look into a finding. Only then does
// the watch keep the report and the trace: that costs a fifth of the speed.
inline const bool kShowReport = std::getenv("ZEBRIK_FUZZ_REPORT") != nullptr;

inline void Done(const testing::RuleWatch& watch) {
    if (kShowReport) {
        std::fwrite(watch.text.data(), 1, watch.text.size(), stdout);
    }
    Require(watch.broken.empty(), watch.broken);
}

}  // namespace zebrik::fuzz
