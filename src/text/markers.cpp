#include "text/markers.h"

#include "text/search.h"

namespace quillmoss {

namespace {

// "#引号" in GBK.
const Text kQuotePlaceholder("#\xD2\xFD\xBA\xC5");

}  // namespace

Text textBetween(const Text& text, const Text& front, const Text& back,
                 std::optional<int32_t> start, bool matchCase) {
    const Text f = replaceText(front, kQuotePlaceholder, Text("\""));
    const Text b = replaceText(back, kQuotePlaceholder, Text("\""));
    int32_t a = findText(text, f, start, !matchCase);
    if (a == -1) return Text();
    a += textLength(f);
    const int32_t e = findText(text, b, a, !matchCase);
    if (e == -1) return Text();
    return textMid(text, a, e - a);
}

int32_t extractAllBetween(const Text& text, const Text& front, const Text& back,
                          TextArray& target, const ExtractOptions& options) {
    using detail::Searcher;
    target.clear();
    const std::string_view s = text.view();
    const size_t n = s.size();
    const bool ignoreCase = !options.matchCase;
    // Both searchers only ever move forward, so the whole extraction walks
    // (and, ignoring case, folds) the text about once.
    Searcher fronts(s, front.view(), ignoreCase);
    Searcher backs(s, back.view(), ignoreCase);

    size_t p = options.start && *options.start > 1 ? static_cast<size_t>(*options.start - 1) : 0;
    size_t lastEnd = Searcher::npos;
    while (p < n) {
        // An empty marker is found at position 1, as findText reports it.
        const size_t blockFront = front.empty() ? 0 : fronts.find(p);
        if (blockFront == Searcher::npos) break;
        const size_t blockStart = blockFront + front.view().size();
        if (blockStart >= n) break;
        // The end marker is searched from the first byte after the start
        // marker, as textBetween does, so an end marker right behind the
        // start marker closes an empty block instead of being swallowed
        // into the next one.
        const size_t blockEnd = back.empty() ? 0 : backs.find(blockStart);
        if (blockEnd == Searcher::npos || blockEnd < blockStart) break;
        // With an empty start marker every round would find the same block
        // again; one is all there is.
        if (lastEnd != Searcher::npos && blockEnd <= lastEnd) break;
        lastEnd = blockEnd;

        const std::string_view piece = detail::trimmedRange(s.substr(blockStart, blockEnd - blockStart));
        if (piece.empty()) break;
        if (options.limit != 0 && static_cast<int64_t>(piece.size()) > options.limit) break;

        std::string block;
        block.reserve(piece.size() + options.prefix.bytes().size() + options.suffix.bytes().size() +
                      (options.includeFront ? front.bytes().size() : 0) +
                      (options.includeBack ? back.bytes().size() : 0));
        if (options.includeFront) block += front.bytes();
        block += options.prefix.bytes();
        block += piece;
        block += options.suffix.bytes();
        if (options.includeBack) block += back.bytes();
        target.append(Text(std::move(block)));
        // The end marker's own bytes may open the next block.
        p = blockEnd;
    }
    return target.size();
}

}  // namespace quillmoss
