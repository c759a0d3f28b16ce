// RegexMatcher with fuzzed patterns over fuzzed subjects and options. Every
// input must return within the matcher's budget; every position it reports
// must point at the text it reports.
#include <algorithm>
#include <chrono>
#include <string>

#include "fuzz_support.h"
#include "regex/regex_matcher.h"
#include "text/codepage.h"
#include "text/text.h"

using namespace quillmoss;
using fuzzing::holdsNoZero;

namespace {

std::optional<bool> consumeOption(FuzzedDataProvider& fdp) {
    if (!fdp.ConsumeBool()) return std::nullopt;
    return fdp.ConsumeBool();
}

char fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// A reported position is -2 (not found) or a place where the text stands.
bool pointsAt(const Text& subject, int32_t position, const Text& text, bool ignoreCase) {
    if (position == -2) return true;
    if (position < 0 || int64_t{position} + text.size() > subject.size()) return false;
    for (int32_t i = 0; i < text.size(); ++i) {
        char a = subject.view()[static_cast<size_t>(position + i)], b = text.view()[static_cast<size_t>(i)];
        if (ignoreCase) a = fold(a), b = fold(b);
        if (a != b) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider fdp(data, size);
    ExecuteOptions options;
    options.caseSensitive = consumeOption(fdp);
    options.multiline = consumeOption(fdp);
    options.global = consumeOption(fdp);
    options.quotePlaceholder = consumeOption(fdp);
    const Text pattern = fuzzing::consumeText(fdp, 256);
    Text subject = fuzzing::consumeText(fdp, 4096);
    // Long runs of one character are what makes backtracking explode.
    if (fdp.ConsumeBool()) {
        const char c = fdp.ConsumeIntegralInRange<char>(1, 127);
        subject = Text(std::string(fdp.ConsumeIntegralInRange<size_t>(0, 8192), c)) + subject;
    }
    const Text replacement = fuzzing::consumeText(fdp, 16);

    RegexMatcher matcher;
    FUZZ_CHECK(matcher.matchCount() == 0 && matcher.pattern().empty());
    const bool accepted = matcher.execute(pattern, subject, options);
    const int32_t count = matcher.matchCount();
    FUZZ_CHECK(count >= 0);
    if (!accepted) FUZZ_CHECK(count == 0);
    const bool ignoreCase = !options.caseSensitive.value_or(false);

    FUZZ_CHECK(matcher.matchText(0).empty() && matcher.matchText(count + 1).empty());
    const int32_t odd = fuzzing::consumePosition(fdp, count);
    if (odd < 1 || odd > count) FUZZ_CHECK(matcher.matchText(odd).empty());

    const int32_t groups = matcher.subMatchCount();
    FUZZ_CHECK(groups >= 0);
    // The first matches, and the last one, are read as the parse steps read them.
    for (int32_t i = 1; i <= count; i = (i == 16 && count > 17) ? count : i + 1) {
        int32_t position = -1;
        const Text match = matcher.matchText(i, &position);
        FUZZ_CHECK(holdsNoZero(match));
        FUZZ_CHECK(matcher.matchText(i) == match);
        FUZZ_CHECK(pointsAt(subject, position, match, ignoreCase));
        for (int32_t g = 0; g <= std::min(groups, 4) + 1; ++g) {
            int32_t groupPosition = -1;
            const Text group = matcher.subMatchText(i, g, &groupPosition);
            FUZZ_CHECK(holdsNoZero(group));
            if (g < 1 || g > groups) FUZZ_CHECK(group.empty());
            FUZZ_CHECK(pointsAt(subject, groupPosition, group, ignoreCase));
        }
    }
    FUZZ_CHECK(matcher.subMatchText(0, 1).empty() && matcher.subMatchText(count + 1, 1).empty());

    // replace() has no budget: "$`" and "$'" copy the subject once per
    // match, so its output grows with the square of the subject. Short
    // subjects keep that to a few million units.
    if (subject.size() <= 1024) {
        const Text replaced = matcher.replace(replacement);
        FUZZ_CHECK(holdsNoZero(replaced));
        // Without a match nothing is replaced (as far as the subject
        // survives the trip through UTF-16 unchanged).
        if (accepted && count == 0 && utf16ToGbk(gbkToUtf16(subject)) == subject) FUZZ_CHECK(replaced == subject);
    }
    FUZZ_CHECK(holdsNoZero(matcher.pattern()));

    // A second execute replaces everything the first left behind. Its search
    // stops at a wall-clock budget, which a thread that was held up (a busy
    // machine) can use up on a tiny subject; only a quick run is checked.
    const auto started = std::chrono::steady_clock::now();
    FUZZ_CHECK(matcher.execute(Text("x"), Text("axbx"), {}));
    if (std::chrono::steady_clock::now() - started < std::chrono::milliseconds(20))
        FUZZ_CHECK(matcher.matchCount() == 2 && matcher.matchText(2) == Text("x"));
    return 0;
}
