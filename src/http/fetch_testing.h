// Test-only hooks of the HTTP exchange. The tool itself never calls these.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace quillmoss {

struct FetchLimits {
    std::chrono::milliseconds connectTimeout{15000};
    std::chrono::milliseconds stallTimeout{30000};  // no byte in or out for this long
    int64_t maxBodyBytes = int64_t{64} << 20;
    int64_t maxHeaderBytes = int64_t{1} << 20;      // one response's header block
    int32_t maxRedirects = 10;
    int32_t maxMoves = 10;                          // repetitions after a 301 answer
};

// The built-in limits.
FetchLimits defaultFetchLimits();
// Applies to exchanges that start afterwards; defaultFetchLimits() restores.
void setFetchLimitsForTesting(const FetchLimits& limits);

// Undoes abortAllFetches(), so that later exchanges run again.
void resetFetchAbortForTesting();

// Empties the process-wide cookie store.
void clearCookieStoreForTesting();

// Trust these PEM certificates instead of the system's CA store (empty:
// the system's store again).
void setTrustedCertificatesForTesting(const std::string& pem);

}  // namespace quillmoss
