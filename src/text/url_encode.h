#pragma once

#include "text/text.h"

namespace quillmoss {

// Percent-encodes every byte but (with keepSafe) - . 0-9 A-Z a-z, always as
// two upper-case digits; with asUtf8 the UTF-8 form of the text is encoded.
Text urlEncode(const Text& text, bool keepSafe = false, bool asUtf8 = false);

}  // namespace quillmoss
