// Test-only hooks of the search commands. The tool itself never calls these.
#pragma once

#include <functional>
#include <optional>

#include "text/text.h"

namespace quillmoss {

// indexSiteBase() returns `base` instead of the built-in site; nullopt
// restores the built-in one.
void setIndexSiteBaseForTesting(std::optional<Text> base);

// Reports are stamped with clock() instead of currentTime(); an empty
// function restores the real clock.
void setReportClockForTesting(std::function<DateTime()> clock);

}  // namespace quillmoss
