// textBetween and extractAllBetween over fuzzed texts and markers, checked
// against the same steps written out with findText, textMid and trimSpaces.
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "text/codepage.h"
#include "text/markers.h"
#include "text/text.h"

using namespace quillmoss;
using fuzzing::holdsNoZero;

namespace {

Text consumeMarker(FuzzedDataProvider& fdp) {
    // The markers the tool really uses, and a few that are hard on the rules:
    // empty, the quote placeholder, markers that overlap themselves.
    static const Text kMarkers[] = {
        gbkFromUtf8("[云端下载]"), Text("</pre>"), Text(">"), Text("</a>"), Text("=\""), Text("\" t"),
        gbkFromUtf8("上一个</td><td>"), Text("</td><"), Text("/"), Text(" "), Text("http://"),
        gbkFromUtf8("=#引号"), gbkFromUtf8("#引号"), Text("aa"), Text("|"), Text(""), Text("\xA1\xA1"),
        Text("User-Agent:"), Text("\r\n"), Text(";")};
    if (fdp.ConsumeBool()) return kMarkers[fdp.ConsumeIntegralInRange<size_t>(0, std::size(kMarkers) - 1)];
    return fuzzing::consumeText(fdp, 8);
}

Text between(const Text& text, const Text& front, const Text& back, std::optional<int32_t> start,
             bool matchCase) {
    const Text quote = gbkFromUtf8("#引号");
    const Text f = replaceText(front, quote, Text("\""));
    const Text b = replaceText(back, quote, Text("\""));
    int32_t a = findText(text, f, start, !matchCase);
    if (a == -1) return Text();
    a += textLength(f);
    const int32_t e = findText(text, b, a, !matchCase);
    return e == -1 ? Text() : textMid(text, a, e - a);
}

std::vector<Text> allBetween(const Text& text, const Text& front, const Text& back, const ExtractOptions& o) {
    std::vector<Text> blocks;
    std::optional<int32_t> p = o.start;
    int32_t lastEnd = -1;
    for (;;) {
        const int32_t at = findText(text, front, p, !o.matchCase);
        if (at == -1) break;
        const int32_t s = at + textLength(front);
        const int32_t q = findText(text, back, s, !o.matchCase);
        // An empty start marker is always found at 1: the same block again.
        if (q == -1 || q <= lastEnd) break;
        lastEnd = q;
        Text piece = trimSpaces(textMid(text, s, q - s));
        if (piece.empty() || (o.limit != 0 && textLength(piece) > o.limit)) break;
        piece = o.prefix + piece + o.suffix;
        if (o.includeFront) piece = front + piece;
        if (o.includeBack) piece = piece + back;
        blocks.push_back(piece);
        p = q;
    }
    return blocks;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider fdp(data, size);
    const Text front = consumeMarker(fdp);
    const Text back = consumeMarker(fdp);
    ExtractOptions options;
    options.matchCase = fdp.ConsumeBool();
    options.limit = fdp.ConsumeBool() ? fdp.ConsumeIntegralInRange<int32_t>(-1, 64) : 0;
    if (fdp.ConsumeBool()) options.prefix = fuzzing::consumeText(fdp, 4);
    if (fdp.ConsumeBool()) options.suffix = fuzzing::consumeText(fdp, 4);
    options.includeFront = fdp.ConsumeBool();
    options.includeBack = fdp.ConsumeBool();
    Text text = fuzzing::consumeText(fdp, 4096);
    if (fdp.ConsumeIntegralInRange<int>(0, 7) == 0) {
        // Past the window the case-folding search refills.
        const auto length = static_cast<size_t>((64 << 10) + fdp.ConsumeIntegralInRange<int>(-16, 16));
        text = text + Text(std::string(length, fdp.ConsumeBool() ? 'X' : '\x81')) + text;
    }
    options.start = fuzzing::consumeOptionalPosition(fdp, text.size());

    const Text one = textBetween(text, front, back, options.start, options.matchCase);
    FUZZ_CHECK(holdsNoZero(one));
    FUZZ_CHECK(one == between(text, front, back, options.start, options.matchCase));
    FUZZ_CHECK(textBetween(text, front, back) == between(text, front, back, std::nullopt, false));

    TextArray target;
    target.append(Text("left over from an earlier call"));
    const int32_t count = extractAllBetween(text, front, back, target, options);
    FUZZ_CHECK(count == target.size());
    const std::vector<Text> expected = allBetween(text, front, back, options);
    FUZZ_CHECK(count == static_cast<int32_t>(expected.size()));
    for (int32_t i = 1; i <= target.size(); ++i) {
        FUZZ_CHECK(holdsNoZero(target.at(i)));
        FUZZ_CHECK(target.at(i) == expected[static_cast<size_t>(i - 1)]);
    }
    return 0;
}
