// Merges fuzzed cookie texts and checks what the merge promises: both
// variables rewritten, no spaces, no deleted cookie, no repeated entry, and
// nothing in the result that neither side held.
#include <set>
#include <string>

#include "fuzz_support.h"
#include "http/cookies.h"
#include "text/text.h"

using namespace quillmoss;
using fuzzing::holdsNoZero;

namespace {

// Cookie-looking bytes: fuzzed pieces glued with the separators that matter.
Text consumeCookieText(FuzzedDataProvider& fdp) {
    static constexpr const char* kGlue[] = {";", "; ", "=", "=deleted", " ", "\xA1\xA1", ";;", ""};
    Text out;
    const int pieces = fdp.ConsumeIntegralInRange<int>(0, 12);
    for (int i = 0; i < pieces; ++i) {
        out += fuzzing::consumeText(fdp, 12);
        out += Text(kGlue[fdp.ConsumeIntegralInRange<size_t>(0, std::size(kGlue) - 1)]);
    }
    return out;
}

std::set<std::string> entriesOf(const Text& text, const char* separator) {
    std::set<std::string> entries;
    for (const Text& e : splitText(text, Text(separator))) entries.insert(e.bytes());
    return entries;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider fdp(data, size);
    const Text oldBefore = consumeCookieText(fdp);
    const Text freshBefore = consumeCookieText(fdp);
    Text old = oldBefore;
    Text fresh = freshBefore;
    const Text merged = mergeCookies(old, fresh);

    FUZZ_CHECK(holdsNoZero(merged) && merged == old);
    FUZZ_CHECK(fresh == removeSpaces(freshBefore));

    const auto candidates = [&] {
        auto all = entriesOf(fresh, ";");
        all.merge(entriesOf(removeSpaces(oldBefore), ";"));
        return all;
    }();
    std::set<std::string> seen;
    for (const Text& entry : splitText(merged, Text("; "))) {
        FUZZ_CHECK(removeSpaces(entry) == entry);
        FUZZ_CHECK(textRight(entry, 8) != Text("=deleted"));
        FUZZ_CHECK(seen.insert(entry.bytes()).second);
        FUZZ_CHECK(candidates.count(entry.bytes()) == 1);
    }
    // A fresh cookie always wins over an old one of the same name.
    const TextArray freshEntries = splitText(fresh, Text(";"));
    for (const Text& o : splitText(removeSpaces(oldBefore), Text(";"))) {
        if (hasCookieNamed(freshEntries, cookieName(o)) && entriesOf(fresh, ";").count(o.bytes()) == 0)
            FUZZ_CHECK(seen.count(o.bytes()) == 0);
    }

    // The helpers on their own.
    const Text entry = fuzzing::consumeText(fdp, 32);
    const Text name = cookieName(entry);
    // (Not trimSpaces(name) == name: trimming drops a dangling lead byte and
    // keeps the blanks before it, so a second trim can cut more.)
    FUZZ_CHECK(holdsNoZero(name) && name.size() <= entry.size());
    TextArray items;
    for (const Text& e : splitText(oldBefore, Text(";"))) items.append(e);
    const int32_t index = indexOfText(items, entry);
    FUZZ_CHECK(index == -1 || (index >= 1 && index <= items.size() && items.at(index) == entry));
    if (index == -1) {
        for (const Text& e : items) FUZZ_CHECK(e != entry);
    }
    FUZZ_CHECK(hasCookieNamed(items, name) == [&] {
        for (const Text& e : items)
            if (cookieName(e) == name) return true;
        return false;
    }());
    const Text separator = fuzzing::consumeText(fdp, 3);
    const Text unique = dropRepeats(oldBefore, separator);
    FUZZ_CHECK(holdsNoZero(unique) && unique.size() <= oldBefore.size());
    return 0;
}
