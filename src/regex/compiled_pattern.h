// A translated pattern compiled by PCRE2 (16-bit units, JIT) and the
// global search loop over it. Internal to the regex module; one object is
// used by one thread at a time.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "regex/dialect.h"

namespace quillmoss::regex {

struct MatchOptions {
    bool ignoreCase = true;
    bool multiline = true;
};

struct SearchLimits {
    // The whole search stops here, keeping what it found.
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
    // Engine steps allowed at one start position (PCRE2's match limit).
    uint32_t stepsPerStart = 3'000'000;
    // Off only to check that skipping impossible starts changes no result.
    bool skipImpossibleStarts = true;
};

inline constexpr size_t kUnset = static_cast<size_t>(-1);

struct SearchOutcome {
    // (groupCount + 1) start/end pairs per match, in UTF-16 units; kUnset
    // for a group that took no part.
    std::vector<size_t> offsets;
    size_t matchCount = 0;
    bool stoppedEarly = false;
};

class CompiledPattern {
public:
    // Null when PCRE2 does not accept the translated pattern.
    static std::unique_ptr<CompiledPattern> compile(const Translation& translation, const MatchOptions& options);
    ~CompiledPattern();
    CompiledPattern(const CompiledPattern&) = delete;
    CompiledPattern& operator=(const CompiledPattern&) = delete;

    uint32_t groupCount() const { return groupCount_; }

    // All matches left to right (only the first unless global); after an
    // empty match the search goes on one unit further.
    SearchOutcome search(std::u16string_view subject, bool global, const SearchLimits& limits);

private:
    struct Engine;
    explicit CompiledPattern(std::unique_ptr<Engine> engine, const Translation& translation, bool ignoreCase);

    std::unique_ptr<Engine> engine_;
    uint32_t groupCount_;
    bool lineLocal_;
    bool endsWithLastRun_;
    bool ignoreCase_;
    std::vector<std::u16string> runs_;
};

}  // namespace quillmoss::regex
