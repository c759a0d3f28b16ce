#include "http/cookies.h"

namespace quillmoss {

Text mergeCookies(Text& old, Text& fresh) {
    old = removeSpaces(old);
    fresh = removeSpaces(fresh);
    TextArray oldEntries = splitText(old, ";");
    TextArray entries = splitText(fresh, ";");
    // `entries` grows inside the loop, so of two old entries with one name
    // only the first is taken over.
    const int32_t oldCount = oldEntries.size();
    for (int32_t i = 1; i <= oldCount; ++i) {
        const Text& entry = oldEntries.at(i);
        if (!hasCookieNamed(entries, cookieName(entry))) entries.append(entry);
    }
    Text merged;
    for (const Text& entry : entries) {
        if (textRight(entry, 8) != Text("=deleted")) merged += entry + "; ";
    }
    merged = textLeft(merged, textLength(merged) - 2);
    merged = dropRepeats(merged, "; ");
    old = merged;
    return merged;
}

Text cookieName(const Text& entry) {
    int32_t k = findText(entry, "=");
    return trimSpaces(k == -1 ? entry : textLeft(entry, k - 1));
}

bool hasCookieNamed(const TextArray& entries, const Text& name) {
    for (const Text& entry : entries) {
        if (cookieName(entry) == name) return true;
    }
    return false;
}

Text dropRepeats(const Text& text, const Text& separator) {
    TextArray seen;
    Text out;
    for (const Text& piece : splitText(text, separator)) {
        if (indexOfText(seen, piece) == -1) {
            seen.append(piece);
            out += piece + separator;
        }
    }
    return textLeft(out, textLength(out) - textLength(separator));
}

int32_t indexOfText(const TextArray& items, const Text& t) {
    for (int32_t i = 1; i <= items.size(); ++i) {
        if (items.at(i) == t) return i;
    }
    return -1;
}

}  // namespace quillmoss
