// Cutting the detail blocks, result names and magnet links out of a result
// page. The functions of a page text are pure and may run on any thread; the
// no-argument forms work on the SearchState.
#pragma once

#include "text/text.h"

namespace quillmoss {

// The three lists of one page. They are filled independently of each other
// and may differ in length; position ties them together.
struct ParsedPage {
    TextArray detailTexts;
    TextArray resultNames;
    TextArray resultLinks;
};

// Every block between "[云端下载]" and "</pre>", trimmed, in page order, up to
// the first empty one. The blocks stay HTML.
TextArray detailBlocksOf(const Text& page);
// One name per match of the name pattern, as the page displays it: tags
// dropped, character references decoded (possibly empty).
TextArray resultNamesOf(const Text& page);
// One link per match of the link pattern: the href value with its character
// references decoded, so "&amp;" is the '&' the page means (possibly empty).
TextArray resultLinksOf(const Text& page);
// All three, in the order above.
ParsedPage parsePage(const Text& page);

// Refill detailTexts, resultNames or resultLinks from pageText. Each takes
// searchStateMutex() itself, and not while it parses; do not hold it.
void parseDetailBlocks();
void parseResultNames();
void parseResultLinks();

}  // namespace quillmoss
