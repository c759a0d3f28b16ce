#include "http/url.h"

#include <gtest/gtest.h>

namespace quillmoss {
namespace {

struct UrlCase {
    const char* url;
    const char* host;
    const char* hostWithPort;
    int32_t port;
    const char* path;
};

class UrlDecomposition : public ::testing::TestWithParam<UrlCase> {};

TEST_P(UrlDecomposition, HostPortAndPath) {
    const UrlCase& c = GetParam();
    EXPECT_EQ(urlHost(c.url).bytes(), c.host);
    EXPECT_EQ(urlHost(c.url, false, true).bytes(), c.hostWithPort);
    EXPECT_EQ(urlPort(c.url), c.port);
    EXPECT_EQ(urlPath(c.url).bytes(), c.path);
}

INSTANTIATE_TEST_SUITE_P(
    Urls, UrlDecomposition,
    ::testing::Values(
        UrlCase{"http://Example.COM:8080/Search?q=A", "example.com", "example.com:8080", 8080,
                "/Search?q=A"},
        UrlCase{"https://example.com", "example.com", "example.com", 443, "/"},
        // The scheme test works on the lower-cased text.
        UrlCase{"HTTPS://example.com/x", "example.com", "example.com", 443, "/x"},
        UrlCase{"example.com/a/b", "example.com", "example.com", 80, "/a/b"},
        // A query is recognised only behind a "/".
        UrlCase{"http://example.com?q=1", "example.com?q=1", "example.com?q=1", 80, "/"},
        UrlCase{"http://example.com:abc/", "example.com", "example.com:abc", 0, "/"},
        // The path keeps the URL's own case and starts at the first "/" after the host.
        UrlCase{"HTTP://Example.com/Path/example.com/Q", "example.com", "example.com", 80,
                "/Path/example.com/Q"},
        UrlCase{"127.0.0.1:47810/search?q=%E4", "127.0.0.1", "127.0.0.1:47810", 47810,
                "/search?q=%E4"},
        UrlCase{"", "", "", 80, "/"}));

TEST(UrlHost, RegisteredDomainKeepsLastTwoLabelsBeforeThePortIsCut) {
    struct {
        const char* url;
        bool keepPort;
        const char* host;
    } cases[] = {
        {"http://a.b.example.com/", false, "example.com"},
        {"http://localhost/", false, "localhost"},
        {"http://192.168.1.10/", false, "1.10"},
        {"http://sub.example.com:8080/x", false, "example.com"},
        {"http://sub.example.com:8080/x", true, "example.com:8080"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(urlHost(c.url, true, c.keepPort).bytes(), c.host) << c.url;
    }
}

}  // namespace
}  // namespace quillmoss
