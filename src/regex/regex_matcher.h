// Regular expressions in the VBScript/JScript dialect on PCRE2 (16-bit units,
// JIT). An object is used on one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "text/text.h"

namespace quillmoss {

// An omitted option takes its default: caseSensitive off, multiline on,
// global on, quotePlaceholder off.
struct ExecuteOptions {
    std::optional<bool> caseSensitive;
    std::optional<bool> multiline;
    std::optional<bool> global;
    std::optional<bool> quotePlaceholder;
};

class RegexMatcher {
public:
    RegexMatcher();
    virtual ~RegexMatcher();
    RegexMatcher(const RegexMatcher&) = delete;
    RegexMatcher& operator=(const RegexMatcher&) = delete;

    // False when the pattern is rejected.
    virtual bool execute(const Text& pattern, const Text& subject, const ExecuteOptions& options = {});
    virtual Text pattern() const;
    virtual Text replace(const Text& replacement = Text()) const;
    virtual int32_t matchCount() const;
    // Indexes are 1-based; position receives the 0-based byte offset in the
    // subject (-2 when not found).
    virtual Text matchText(int32_t index, int32_t* position = nullptr) const;
    virtual Text subMatchText(int32_t matchIndex, int32_t groupIndex, int32_t* position = nullptr) const;
    virtual int32_t subMatchCount() const;

    // True when the last execute ran out of its time budget (or an engine
    // limit) and kept only the matches found before that point; execute
    // still returns true, and replace() works from those matches.
    bool stoppedEarly() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace quillmoss
