#include <gtest/gtest.h>

#include "app/link_schemes.h"

namespace quillmoss {
namespace {

TEST(LinkSchemes, TellDownloadLinksAndWebAddressesByTheirScheme) {
    const struct {
        std::string_view address;
        bool download;
        bool web;
    } cases[] = {
        {"magnet:?xt=urn:btih:AB", true, false},
        {"MaGnEt:?xt=urn:btih:AB", true, false},
        {"thunder://QUFodHRw", true, false},
        {"THUNDER://x", true, false},
        {"ed2k://|file|a|1|H|/", true, false},
        {"Ed2K://|file|a|1|H|/", true, false},
        {"http://127.0.0.1/", false, true},
        {"HTTPS://example.org", false, true},
        {"magnet", false, false},
        {"magne:?x", false, false},
        {" magnet:?xt", false, false},
        {"xmagnet:?xt", false, false},
        {"http:/x", false, false},
        {"httpx://x", false, false},
        {"file:///etc/passwd", false, false},
        {"javascript:alert(1)", false, false},
        {"about:blank", false, false},
        {"", false, false},
        // A GBK character whose bytes fold onto no ASCII letter.
        {"\xCD\xAD" "agnet:", false, false},
    };
    for (const auto& c : cases) {
        const Text address(c.address);
        EXPECT_EQ(isDownloadLink(address), c.download) << c.address;
        EXPECT_EQ(isWebAddress(address), c.web) << c.address;
    }
}

}  // namespace
}  // namespace quillmoss
