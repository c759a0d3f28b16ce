#include "regex/regex_matcher.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <string_view>

#include "regex/compiled_pattern.h"
#include "regex/dialect.h"
#include "regex/gbk_units.h"
#include "text/codepage.h"

namespace quillmoss {
namespace {

// A hostile page must not hold a search for long: the whole execute (its
// conversions included) gets 50 ms per MiB of subject, never less than 50 ms,
// and a single start position at most this many engine steps (some 20 ms of
// JIT code), so on a 1 MiB subject execute returns well within 100 ms.
// Larger pages get proportionally more, so that a long but honest page is
// not cut short.
#if defined(__SANITIZE_THREAD__)
// ThreadSanitizer slows matching some tenfold; without the headroom honest
// test pages would be cut short there.
constexpr double kBudgetMsPerMiB = 50.0 * 20;
#else
constexpr double kBudgetMsPerMiB = 50.0;
#endif
constexpr uint32_t kStepsPerStart = 3'000'000;

std::chrono::steady_clock::duration searchBudget(const Text& subject) {
    const double mib = static_cast<double>(subject.size()) / (1 << 20);
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double, std::milli>(kBudgetMsPerMiB * std::max(1.0, mib)));
}

// "#引号" in GBK: the marker that quotePlaceholder turns into a double quote.
const Text kQuoteMarker(std::string_view("#\xD2\xFD\xBA\xC5"));

bool isDigit(char16_t c) { return c >= '0' && c <= '9'; }

}  // namespace

struct RegexMatcher::State {
    bool hasEngine = false;  // an execute has set a pattern
    bool accepted = false;   // ... and the pattern was accepted and run
    bool ignoreCase = true;
    bool global = true;
    std::u16string pattern;
    Text subject;
    std::u16string units;    // the subject as the engine saw it
    uint32_t groupCount = 0;
    regex::SearchOutcome found;
    // Byte offsets of each match's start and end in the subject, when every
    // character up to the last match converts back to its own bytes.
    bool sliced = false;
    std::vector<size_t> matchBytes;

    size_t pairs() const { return groupCount + 1; }
    const size_t* matchOffsets(int32_t index) const {
        return &found.offsets[static_cast<size_t>(index - 1) * 2 * pairs()];
    }
    bool hasMatch(int32_t index) const {
        return index >= 1 && static_cast<size_t>(index) <= found.matchCount;
    }
    Text unitsText(size_t start, size_t end) const {
        return utf16ToGbk(std::u16string_view(units).substr(start, end - start));
    }
    Text bytesText(size_t start, size_t end) const { return Text(subject.view().substr(start, end - start)); }
    void mapMatches() {
        regex::GbkUnitCursor cursor(subject.view(), units);
        matchBytes.reserve(2 * found.matchCount);
        for (int32_t m = 1; hasMatch(m); ++m) {
            const size_t* ov = matchOffsets(m);
            for (int k = 0; k < 2; ++k) {
                if (!cursor.advanceTo(ov[k])) {
                    matchBytes.clear();
                    return;
                }
                matchBytes.push_back(cursor.byte());
            }
        }
        sliced = true;
    }
    // The byte offset of a found text, searched in the GBK subject from the
    // match's UTF-16 index taken as a 1-based byte position.
    int32_t locate(const Text& sought, size_t firstIndex) const {
        const int32_t k = findText(subject, sought, static_cast<int32_t>(firstIndex), ignoreCase);
        return k < 0 ? -2 : k - 1;
    }
};

RegexMatcher::RegexMatcher() : state_(std::make_unique<State>()) {}

RegexMatcher::~RegexMatcher() = default;

bool RegexMatcher::execute(const Text& pattern, const Text& subject, const ExecuteOptions& options) {
    const auto deadline = std::chrono::steady_clock::now() + searchBudget(subject);
    *state_ = State{};
    State& st = *state_;
    st.ignoreCase = !options.caseSensitive.value_or(false);
    const bool multiline = options.multiline.value_or(true);
    st.global = options.global.value_or(true);

    const Text effective = options.quotePlaceholder.value_or(false)
                               ? replaceText(pattern, kQuoteMarker, Text("\""))
                               : pattern;
    st.pattern = gbkToUtf16(effective);
    st.hasEngine = true;

    const std::optional<regex::Translation> translation = regex::translatePattern(st.pattern, st.ignoreCase);
    if (!translation) return false;
    auto compiled = regex::CompiledPattern::compile(*translation, {st.ignoreCase, multiline});
    if (!compiled) return false;

    st.units = gbkToUtf16(subject);
    regex::SearchLimits limits;
    limits.deadline = deadline;
    limits.stepsPerStart = kStepsPerStart;
    st.found = compiled->search(st.units, st.global, limits);
    st.groupCount = compiled->groupCount();
    st.subject = subject;
    st.mapMatches();
    st.accepted = true;
    return true;
}

Text RegexMatcher::pattern() const {
    return state_->hasEngine ? utf16ToGbk(state_->pattern) : Text();
}

Text RegexMatcher::replace(const Text& replacement) const {
    const State& st = *state_;
    if (!st.accepted) return Text();
    const std::u16string rep = gbkToUtf16(replacement);
    const std::u16string_view subject(st.units);
    std::u16string out;
    out.reserve(subject.size());
    size_t copied = 0;
    for (int32_t m = 1; st.hasMatch(m); ++m) {
        const size_t* ov = st.matchOffsets(m);
        out.append(subject.substr(copied, ov[0] - copied));
        auto group = [&](uint32_t g) {
            if (ov[2 * g] != regex::kUnset) out.append(subject.substr(ov[2 * g], ov[2 * g + 1] - ov[2 * g]));
        };
        for (size_t i = 0; i < rep.size(); ++i) {
            const char16_t c = rep[i];
            if (c != u'$' || i + 1 >= rep.size()) {
                out.push_back(c);
                continue;
            }
            const char16_t d = rep[i + 1];
            if (d == u'$') {
                out.push_back(u'$');
                ++i;
            } else if (d == u'&') {
                group(0);
                ++i;
            } else if (d == u'`') {
                out.append(subject.substr(0, ov[0]));
                ++i;
            } else if (d == u'\'') {
                out.append(subject.substr(ov[1]));
                ++i;
            } else if (isDigit(d)) {
                // Two digits when they name a group, else one, else a plain "$".
                const uint32_t one = d - u'0';
                if (i + 2 < rep.size() && isDigit(rep[i + 2])) {
                    const uint32_t two = one * 10 + (rep[i + 2] - u'0');
                    if (two >= 1 && two <= st.groupCount) {
                        group(two);
                        i += 2;
                        continue;
                    }
                }
                if (one >= 1 && one <= st.groupCount) {
                    group(one);
                    ++i;
                } else {
                    out.push_back(u'$');
                }
            } else {
                out.push_back(u'$');
            }
        }
        copied = ov[1];
    }
    out.append(subject.substr(copied));
    return utf16ToGbk(out);
}

int32_t RegexMatcher::matchCount() const { return static_cast<int32_t>(state_->found.matchCount); }

Text RegexMatcher::matchText(int32_t index, int32_t* position) const {
    const State& st = *state_;
    if (!st.hasMatch(index)) {
        if (position != nullptr) *position = -2;
        return Text();
    }
    const size_t* ov = st.matchOffsets(index);
    const size_t k = 2 * static_cast<size_t>(index - 1);
    Text text = st.sliced ? st.bytesText(st.matchBytes[k], st.matchBytes[k + 1]) : st.unitsText(ov[0], ov[1]);
    if (position != nullptr) *position = st.locate(text, ov[0]);
    return text;
}

Text RegexMatcher::subMatchText(int32_t matchIndex, int32_t groupIndex, int32_t* position) const {
    const State& st = *state_;
    if (!st.hasMatch(matchIndex) || groupIndex < 1 || static_cast<uint32_t>(groupIndex) > st.groupCount) {
        if (position != nullptr) *position = -2;
        return Text();
    }
    const size_t* ov = st.matchOffsets(matchIndex);
    const size_t g = static_cast<size_t>(groupIndex);
    Text text;
    if (ov[2 * g] != regex::kUnset) {
        // A group never starts before its match (the dialect has no lookbehind).
        bool cut = false;
        if (st.sliced) {
            regex::GbkUnitCursor cursor(st.subject.view(), st.units, ov[0],
                                        st.matchBytes[2 * static_cast<size_t>(matchIndex - 1)]);
            if (cursor.advanceTo(ov[2 * g])) {
                const size_t from = cursor.byte();
                if (cursor.advanceTo(ov[2 * g + 1])) {
                    text = st.bytesText(from, cursor.byte());
                    cut = true;
                }
            }
        }
        if (!cut) text = st.unitsText(ov[2 * g], ov[2 * g + 1]);
    }
    if (position != nullptr) *position = st.locate(text, ov[0]);
    return text;
}

int32_t RegexMatcher::subMatchCount() const {
    return state_->found.matchCount > 0 ? static_cast<int32_t>(state_->groupCount) : 0;
}

bool RegexMatcher::stoppedEarly() const { return state_->found.stoppedEarly; }

}  // namespace quillmoss
