// Shared set-up of the exchange tests: short limits, an empty cookie store,
// no abort left over from an earlier test.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "http/fetch.h"
#include "http/fetch_testing.h"
#include "support/test_server.h"

namespace quillmoss {

inline constexpr char kDefaultAgent[] =
    "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1; Vexel; .NET CLR 2.0.50727; "
    ".NET CLR 3.0.04506.648; .NET CLR 3.5.21022)";

class FetchTest : public ::testing::Test {
protected:
    void SetUp() override {
        initHttp();
        resetFetchAbortForTesting();
        clearCookieStoreForTesting();
        setTrustedCertificatesForTesting("");
        setFetchLimitsForTesting(shortLimits());
    }
    void TearDown() override {
        setFetchLimitsForTesting(defaultFetchLimits());
        setTrustedCertificatesForTesting("");
        resetFetchAbortForTesting();
        clearCookieStoreForTesting();
    }

    static FetchLimits shortLimits() {
        FetchLimits limits;
        limits.connectTimeout = std::chrono::milliseconds(1000);
        limits.stallTimeout = std::chrono::milliseconds(400);
        return limits;
    }

    static Text fetch(const std::string& url, FetchOptions options = {}) {
        return fetchUrl(Text(url), options);
    }

    // The request's header block after the Host line, which names the port.
    static std::string afterHost(const testsupport::RecordedRequest& request) {
        const std::string& h = request.headers;
        std::size_t end = h.find("\r\n");
        EXPECT_EQ(h.compare(0, 6, "Host: "), 0) << h;
        return end == std::string::npos ? h : h.substr(end + 2);
    }
};

}  // namespace quillmoss
