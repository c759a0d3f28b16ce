#include "http/url.h"

#include "text/markers.h"

namespace quillmoss {

Text urlHost(const Text& url, bool registeredDomainOnly, bool keepPort) {
    Text s = toLower(url);
    // A trailing "/" guarantees that the host is followed by one.
    if (textRight(s, 1) != Text("/")) s += "/";
    if (textLeft(s, 8) == Text("https://")) {
        s = textBetween(s, "https://", "/");
    } else {
        if (findText(s, "http://") == -1) s = Text("http://") + s;
        s = textBetween(s, "http://", "/");
    }
    if (registeredDomainOnly) {
        TextArray pieces = splitText(s, ".");
        if (pieces.size() >= 2) {
            s = pieces.at(pieces.size() - 1) + "." + pieces.at(pieces.size());
        }
    }
    if (keepPort || findText(s, ":") == -1) return s;
    return textLeft(s, findText(s, ":") - 1);
}

int32_t urlPort(const Text& url) {
    Text hostAndPort = urlHost(url, false, true);
    int32_t k = findTextLast(hostAndPort, ":");
    if (k != -1) return toInt(textRight(hostAndPort, textLength(hostAndPort) - k));
    return textLeft(toLower(url), 5) == Text("https") ? 443 : 80;
}

Text urlPath(const Text& url) {
    Text host = urlHost(url);
    int32_t a = findText(url, host, 1, true);
    int32_t b = findText(url, "/", a, true);
    if (b <= 0) return "/";
    return textRight(url, textLength(url) - b + 1);
}

}  // namespace quillmoss
