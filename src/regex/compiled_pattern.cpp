#define PCRE2_CODE_UNIT_WIDTH 16
#include "regex/compiled_pattern.h"

#include <pcre2.h>

#include <algorithm>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace quillmoss::regex {
namespace {

constexpr PCRE2_SIZE kJitStackStart = 32 * 1024;
constexpr PCRE2_SIZE kJitStackMax = 8 * 1024 * 1024;
constexpr uint32_t kHeapLimitKiB = 64 * 1024;  // the interpreter's backtracking memory, when JIT is unavailable

// The dialect's options, as PCRE2 spells them:
// - No UTF: the dialect counts UTF-16 units, and so does PCRE2 without UTF
//   ("." takes one unit, an empty match moves one unit on). It is also
//   several times faster, and there is no UTF check to repeat on every call
//   of the global loop. Non-ASCII case variants are spelled out by the
//   translation instead; PCRE2's own caseless tables fold A-Z with a-z only.
// - NEWLINE_LF (set in the compile context): "." excludes the line feed only,
//   and a line break for "^" and "$" is a line feed only. VBScript defines
//   "." this way; JScript would also exclude \r, U+2028 and U+2029.
// - DOLLAR_ENDONLY: without Multiline, "$" matches at the very end only, not
//   before a final line feed.
// - ALT_CIRCUMFLEX: with Multiline, "^" also matches after a final line feed.
// - MATCH_UNSET_BACKREF: a backreference to a group that took no part
//   matches the empty string.
// - ALLOW_EMPTY_CLASS: "[]" matches nothing and "[^]" any character.
// \d \w \s \b stay ASCII (no PCRE2_UCP), as the dialect defines them:
// [0-9], [A-Za-z0-9_], [ \f\n\r\t\v].
constexpr uint32_t kCompileOptions = PCRE2_DOLLAR_ENDONLY | PCRE2_ALT_CIRCUMFLEX | PCRE2_MATCH_UNSET_BACKREF |
                                     PCRE2_ALLOW_EMPTY_CLASS | PCRE2_NEVER_UTF | PCRE2_NEVER_UCP |
                                     PCRE2_NEVER_BACKSLASH_C;

bool isAsciiLetter(char16_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Whether the engine could take `have` for the pattern's literal `want`.
// It may say yes where the engine says no (that only skips fewer starts),
// never the other way round. With IgnoreCase, ASCII letters fold among
// themselves and a non-ASCII unit only ever matches non-ASCII variants.
bool mayEqual(char16_t want, char16_t have, bool ignoreCase) {
    if (want == have) return true;
    if (!ignoreCase) return false;
    if (want < 0x80) return isAsciiLetter(want) && have < 0x80 && (want | 0x20) == (have | 0x20);
    return have >= 0x80;
}

#ifdef __SSE2__
__m128i loadUnits(const char16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
#endif

// The first line feed in s[from, n), or n.
size_t findLineFeed(std::u16string_view s, size_t from) {
    const char16_t* p = s.data();
    const size_t n = s.size();
    size_t i = from;
#ifdef __SSE2__
    const __m128i lf = _mm_set1_epi16(0x0A);
    for (; i + 8 <= n; i += 8) {
        const int mask = _mm_movemask_epi8(_mm_cmpeq_epi16(loadUnits(p + i), lf));
        if (mask != 0) return i + (static_cast<unsigned>(__builtin_ctz(static_cast<unsigned>(mask))) >> 1);
    }
#endif
    for (; i < n; ++i)
        if (p[i] == 0x0A) return i;
    return n;
}

// The last j in [from, to) with p[j] equal to a or b.
size_t findLastOf(const char16_t* p, size_t from, size_t to, char16_t a, char16_t b) {
    size_t i = to;
#ifdef __SSE2__
    const __m128i va = _mm_set1_epi16(static_cast<short>(a));
    const __m128i vb = _mm_set1_epi16(static_cast<short>(b));
    while (i >= from + 8) {
        const __m128i v = loadUnits(p + i - 8);
        const int mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(v, va), _mm_cmpeq_epi16(v, vb)));
        if (mask != 0) return i - 8 + ((31u - static_cast<unsigned>(__builtin_clz(static_cast<unsigned>(mask)))) >> 1);
        i -= 8;
    }
#endif
    while (i > from) {
        --i;
        if (p[i] == a || p[i] == b) return i;
    }
    return kUnset;
}

// The last place q in [from, limit - run.size()] where run may occur.
size_t lastOccurrence(std::u16string_view s, std::u16string_view run, size_t from, size_t limit, bool ignoreCase) {
    const size_t m = run.size();
    if (limit < from + m) return kUnset;
    const char16_t last = run[m - 1];
    const auto matchesAt = [&](size_t q) {
        for (size_t k = 0; k + 1 < m; ++k)
            if (!mayEqual(run[k], s[q + k], ignoreCase)) return false;
        return true;
    };
    if (ignoreCase && last >= 0x80) {
        for (size_t q = limit - m + 1; q-- > from;)
            if (mayEqual(last, s[q + m - 1], ignoreCase) && matchesAt(q)) return q;
        return kUnset;
    }
    char16_t a = last, b = last;
    if (ignoreCase && isAsciiLetter(last)) {
        a = static_cast<char16_t>(last | 0x20);
        b = static_cast<char16_t>(last & ~0x20);
    }
    size_t end = limit;  // the run's last unit lies before this
    for (;;) {
        const size_t j = findLastOf(s.data(), from + m - 1, end, a, b);
        if (j == kUnset) return kUnset;
        if (matchesAt(j + 1 - m)) return j + 1 - m;
        end = j;
    }
}

struct Watch {
    std::chrono::steady_clock::time_point deadline;
    bool expired = false;
};

// Called by the engine at every start position it tries, inside a single
// pcre2_match call: a long unanchored scan stops at the deadline too.
int checkDeadline(pcre2_callout_block*, void* data) {
    auto* watch = static_cast<Watch*>(data);
    if (std::chrono::steady_clock::now() < watch->deadline) return 0;
    watch->expired = true;
    return PCRE2_ERROR_CALLOUT;
}

}  // namespace

struct CompiledPattern::Engine {
    pcre2_code* code = nullptr;
    pcre2_match_data* matchData = nullptr;
    pcre2_match_context* context = nullptr;
    pcre2_jit_stack* jitStack = nullptr;
    bool jit = false;
    bool usesOffsetLimit = false;

    ~Engine() {
        pcre2_jit_stack_free(jitStack);
        pcre2_match_context_free(context);
        pcre2_match_data_free(matchData);
        pcre2_code_free(code);
    }
};

std::unique_ptr<CompiledPattern> CompiledPattern::compile(const Translation& translation,
                                                          const MatchOptions& options) {
    // The callout at the front runs at each start position the engine
    // tries; the group keeps it in front of every alternative.
    std::u16string wrapped = u"(?C)(?:";
    wrapped += translation.pcre2;
    wrapped += u')';

    uint32_t flags = kCompileOptions;
    if (options.ignoreCase) flags |= PCRE2_CASELESS;
    if (options.multiline) flags |= PCRE2_MULTILINE;
    const bool usesOffsetLimit = !translation.requiredRuns.empty();
    if (usesOffsetLimit) flags |= PCRE2_USE_OFFSET_LIMIT;

    auto engine = std::make_unique<Engine>();
    pcre2_compile_context* cc = pcre2_compile_context_create(nullptr);
    if (cc == nullptr) return nullptr;
    pcre2_set_newline(cc, PCRE2_NEWLINE_LF);
    int error = 0;
    PCRE2_SIZE errorOffset = 0;
    engine->code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(wrapped.data()), wrapped.size(), flags, &error,
                                 &errorOffset, cc);
    pcre2_compile_context_free(cc);
    if (engine->code == nullptr) return nullptr;

    engine->jit = pcre2_jit_compile(engine->code, PCRE2_JIT_COMPLETE) == 0;
    engine->usesOffsetLimit = usesOffsetLimit;
    engine->matchData = pcre2_match_data_create_from_pattern(engine->code, nullptr);
    engine->context = pcre2_match_context_create(nullptr);
    if (engine->matchData == nullptr || engine->context == nullptr) return nullptr;
    if (engine->jit) {
        engine->jitStack = pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr);
        if (engine->jitStack == nullptr) return nullptr;
        pcre2_jit_stack_assign(engine->context, nullptr, engine->jitStack);
    }
    pcre2_set_heap_limit(engine->context, kHeapLimitKiB);
    return std::unique_ptr<CompiledPattern>(new CompiledPattern(std::move(engine), translation, options.ignoreCase));
}

CompiledPattern::CompiledPattern(std::unique_ptr<Engine> engine, const Translation& translation, bool ignoreCase)
    : engine_(std::move(engine)),
      groupCount_(translation.groupCount),
      lineLocal_(translation.lineLocal),
      endsWithLastRun_(translation.endsWithLastRun),
      ignoreCase_(ignoreCase),
      runs_(translation.requiredRuns) {}

CompiledPattern::~CompiledPattern() = default;

SearchOutcome CompiledPattern::search(std::u16string_view subject, bool global, const SearchLimits& limits) {
    SearchOutcome out;
    Watch watch{limits.deadline};
    pcre2_set_callout(engine_->context, checkDeadline, &watch);
    // The interpreter takes several times longer per step than JIT code.
    pcre2_set_match_limit(engine_->context, engine_->jit ? limits.stepsPerStart : limits.stepsPerStart / 4);

    const auto* units = reinterpret_cast<PCRE2_SPTR>(subject.data());
    const size_t n = subject.size();
    const size_t pairs = groupCount_ + 1;
    const bool prune = limits.skipImpossibleStarts && !runs_.empty();

    // Where a match may start and end, worked out once per line (or once for
    // the whole subject when a match may cross lines). Every match holds the
    // required runs in order, so the last place the first run can take with
    // the others after it bounds the start, and when the pattern ends in the
    // last run, the end of that run's last occurrence bounds the end.
    struct Region {
        bool valid = false;
        bool hopeless = false;
        size_t end = 0;
        size_t startBound = 0;
        size_t cut = 0;
    } region;
    auto plan = [&](size_t from) {
        region = Region{};
        region.valid = true;
        region.end = n;
        if (lineLocal_) {
            region.end = findLineFeed(subject, from);
        }
        // Only a pattern that never looks past its match may see a shortened
        // subject; any other keeps the whole of it, "$" and lookaheads included.
        region.cut = n;
        size_t limit = region.end;
        for (size_t i = runs_.size(); i-- > 0;) {
            const size_t q = lastOccurrence(subject, runs_[i], from, limit, ignoreCase_);
            if (q == kUnset) {
                region.hopeless = true;
                return;
            }
            if (i + 1 == runs_.size() && endsWithLastRun_) region.cut = q + runs_[i].size();
            limit = q;
        }
        region.startBound = limit;
    };

    size_t pos = 0;
    uint32_t rounds = 0;
    while (pos <= n) {
        if ((++rounds & 63) == 0 && std::chrono::steady_clock::now() >= limits.deadline) {
            out.stoppedEarly = true;
            break;
        }
        size_t length = n;
        PCRE2_SIZE offsetLimit = PCRE2_UNSET;
        if (prune) {
            if (!region.valid || pos > region.end) plan(pos);
            if (region.hopeless || pos > region.startBound) {
                if (!lineLocal_ || region.end >= n) break;
                pos = region.end + 1;
                region.valid = false;
                continue;
            }
            length = region.cut;
            offsetLimit = region.startBound;
        }
        if (engine_->usesOffsetLimit) pcre2_set_offset_limit(engine_->context, offsetLimit);
        const int rc = pcre2_match(engine_->code, units, length, pos, 0, engine_->matchData,
                                   engine_->context);
        if (rc == PCRE2_ERROR_NOMATCH) {
            if (!prune || !lineLocal_ || region.end >= n) break;
            pos = region.end + 1;
            region.valid = false;
            continue;
        }
        if (rc < 0) {
            // The deadline, a step or memory limit: what was found stays.
            out.stoppedEarly = true;
            break;
        }
        const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(engine_->matchData);
        for (size_t i = 0; i < 2 * pairs; ++i) out.offsets.push_back(ov[i] == PCRE2_UNSET ? kUnset : ov[i]);
        ++out.matchCount;
        if (!global) break;
        const size_t start = ov[0];
        const size_t end = ov[1];
        if (end > start) {
            pos = end;
            continue;
        }
        // An empty match: go on one unit further, as the dialect does
        // (PCRE2's own loop would first retry here for a non-empty match).
        if (end >= n) break;
        pos = end + 1;
    }
    if (watch.expired) out.stoppedEarly = true;
    pcre2_set_callout(engine_->context, nullptr, nullptr);
    return out;
}

}  // namespace quillmoss::regex
