// Host, port and path of fuzzed URLs. Every input gives a value; the pieces
// must be consistent with each other and with the URL they came from.
#include <string>

#include "fuzz_support.h"
#include "http/url.h"
#include "text/text.h"

using namespace quillmoss;
using fuzzing::holdsNoZero;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider fdp(data, size);
    const bool registeredDomainOnly = fdp.ConsumeBool();
    // Schemes in odd cases are where the lower-cased and the original text part.
    static constexpr const char* kSchemes[] = {"", "http://", "https://", "HTTPS://", "HtTp://", "ftp://"};
    const Text url = Text(kSchemes[fdp.ConsumeIntegralInRange<size_t>(0, std::size(kSchemes) - 1)]) +
                     fuzzing::consumeText(fdp, 1024);

    const Text host = urlHost(url, registeredDomainOnly, false);
    const Text hostPort = urlHost(url, registeredDomainOnly, true);
    FUZZ_CHECK(holdsNoZero(host) && holdsNoZero(hostPort));
    FUZZ_CHECK(toLower(host) == host && toLower(hostPort) == hostPort);
    // Cutting the port only ever shortens the host.
    FUZZ_CHECK(hostPort.view().substr(0, host.view().size()) == host.view());
    FUZZ_CHECK(host.size() <= url.size() && hostPort.size() <= url.size());

    const Text plainHost = urlHost(url);
    FUZZ_CHECK(plainHost == urlHost(url, false, false));
    const int32_t port = urlPort(url);
    if (findTextLast(urlHost(url, false, true), Text(":")) == -1) FUZZ_CHECK(port == 80 || port == 443);

    const Text path = urlPath(url);
    FUZZ_CHECK(!path.empty() && path.view().front() == '/' && holdsNoZero(path));
    // The path is the URL's own tail, in its own letter case, or "/".
    FUZZ_CHECK(path == Text("/") || url.view().ends_with(path.view()));
    return 0;
}
