// The VBScript/JScript pattern dialect, read into PCRE2's own syntax.
// Internal to the regex module.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillmoss::regex {

// What the rest of the module needs to know about a pattern besides its PCRE2
// form: the literal runs every match must contain lets the search skip places
// where no match can start.
struct Translation {
    std::u16string pcre2;    // the pattern in PCRE2 syntax (no callout, no wrapper)
    uint32_t groupCount = 0;
    // No match ever consumes a line feed, so each line can be searched alone.
    bool lineLocal = false;
    // Every match contains these runs, in this order and without overlap
    // (with IgnoreCase, each unit stands for its case variants).
    std::vector<std::u16string> requiredRuns;
    // Every match ends with the last required run and nothing in the pattern
    // looks past the consumed text ($, \b, \B, lookahead), so the subject may
    // be cut right after that run's last occurrence.
    bool endsWithLastRun = false;
};

// Nullopt when the dialect rejects the pattern (unbalanced parentheses or
// brackets, a quantifier with nothing to repeat, "(?" other than "(?:",
// "(?=" and "(?!", a reversed range or a trailing backslash), and when a
// repeat count is beyond what the engine can count (65535). IgnoreCase
// changes the translation: non-ASCII letters are spelled out with their case
// variants.
std::optional<Translation> translatePattern(std::u16string_view pattern, bool ignoreCase);

}  // namespace quillmoss::regex
