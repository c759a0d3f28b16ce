// Cutting text out from between two markers. ASCII case is ignored unless
// matchCase is on.
#pragma once

#include <optional>

#include "text/text.h"

namespace quillmoss {

// The text between the first `front` at or after `start` and the next `back`.
// In both markers "#引号" stands for a double quote.
Text textBetween(const Text& text, const Text& front, const Text& back,
                 std::optional<int32_t> start = std::nullopt, bool matchCase = false);

struct ExtractOptions {
    bool matchCase = false;
    int32_t limit = 0;  // 0: no limit
    Text prefix;
    Text suffix;
    bool includeFront = false;
    bool includeBack = false;
    std::optional<int32_t> start;
};

// Every trimmed block between `front` and `back`, in order, into `target`
// (emptied first). Returns target.size().
int32_t extractAllBetween(const Text& text, const Text& front, const Text& back,
                          TextArray& target, const ExtractOptions& options = {});

}  // namespace quillmoss
