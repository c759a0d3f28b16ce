// Shared helpers of the libFuzzer targets: checks that abort (so libFuzzer
// keeps the input as a crash) and bounded ways to draw texts and positions.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>

#include "text/text.h"

namespace quillmoss::fuzzing {

[[noreturn]] inline void checkFailed(const char* file, int line, const char* what) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
    std::abort();
}

#define FUZZ_CHECK(cond)                                                          \
    do {                                                                          \
        if (!(cond)) ::quillmoss::fuzzing::checkFailed(__FILE__, __LINE__, #cond); \
    } while (0)

inline bool holdsNoZero(std::string_view bytes) { return bytes.find('\0') == std::string_view::npos; }
inline bool holdsNoZero(const Text& text) { return holdsNoZero(text.view()); }

// Raw bytes, zeros included; Text's constructor decides what survives.
inline std::string consumeBytes(FuzzedDataProvider& fdp, size_t maxBytes) {
    return fdp.ConsumeRandomLengthString(maxBytes);
}

inline Text consumeText(FuzzedDataProvider& fdp, size_t maxBytes) {
    return Text(std::string_view(consumeBytes(fdp, maxBytes)));
}

// A position or count: mostly near the text, sometimes at the int32 edges,
// where off-by-one and overflow faults live.
inline int32_t consumePosition(FuzzedDataProvider& fdp, int32_t length) {
    static constexpr int32_t kEdges[] = {
        std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::min() + 1, -1, 0, 1,
        std::numeric_limits<int32_t>::max() - 1, std::numeric_limits<int32_t>::max()};
    switch (fdp.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
    case 1:
        return fdp.ConsumeIntegralInRange<int32_t>(-3, length + 3);
    case 2:
        return kEdges[fdp.ConsumeIntegralInRange<size_t>(0, std::size(kEdges) - 1)];
    default:
        return fdp.ConsumeIntegral<int32_t>();
    }
}

inline std::optional<int32_t> consumeOptionalPosition(FuzzedDataProvider& fdp, int32_t length) {
    if (!fdp.ConsumeBool()) return std::nullopt;
    return consumePosition(fdp, length);
}

}  // namespace quillmoss::fuzzing
