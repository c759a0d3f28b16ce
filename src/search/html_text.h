// Turning bits of a result page's HTML into what a browser shows of them.
// GBK in, GBK out; pure; any thread.
#pragma once

#include "text/text.h"

namespace quillmoss {

// Character references replaced by the characters they stand for: numeric
// ones (&#38; &#x26;) and named ones (at least amp, lt, gt, quot, apos, nbsp).
// A character GBK cannot hold becomes '?'; &nbsp; becomes a plain space. A
// reference that is unknown or has no ';' stays as written.
Text decodeCharacterReferences(const Text& html);

// The text a browser displays for an HTML fragment: tags and comments are
// dropped, each run of white space becomes one blank (none at the ends), and
// character references are decoded.
Text htmlToDisplayText(const Text& html);

}  // namespace quillmoss
