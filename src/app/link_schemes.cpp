#include "app/link_schemes.h"

#include <initializer_list>
#include <string_view>

namespace quillmoss {
namespace {

// ASCII case folding only: a GBK lead byte must never compare equal to a letter.
bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

bool hasScheme(const Text& address, std::initializer_list<std::string_view> schemes) {
    for (std::string_view scheme : schemes) {
        if (startsWithIgnoringCase(address.view(), scheme)) return true;
    }
    return false;
}

}  // namespace

bool isDownloadLink(const Text& address) {
    return hasScheme(address, {"magnet:", "thunder:", "ed2k:"});
}

bool isWebAddress(const Text& address) { return hasScheme(address, {"http://", "https://"}); }

}  // namespace quillmoss
