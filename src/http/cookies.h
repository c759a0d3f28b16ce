// Merging the cookies a response set into a caller's cookie text.
#pragma once

#include "text/text.h"

namespace quillmoss {

// Rewrites both in place: `old` receives the merged text, `fresh` loses its spaces.
Text mergeCookies(Text& old, Text& fresh);
Text cookieName(const Text& entry);
bool hasCookieNamed(const TextArray& entries, const Text& name);
Text dropRepeats(const Text& text, const Text& separator);
int32_t indexOfText(const TextArray& items, const Text& t);

}  // namespace quillmoss
