// The process-wide, in-memory cookie store behind exchanges whose caller keeps
// no cookie text. Each exchange copies the store into its own easy handle and
// merges the handle's cookies back afterwards; libcurl's share interface is
// not used because it does not support handles on concurrent threads sharing
// cookies. Lines are in libcurl's cookie-list (Netscape) form. Thread-safe.
#pragma once

#include <string>
#include <vector>

namespace quillmoss::detail {

std::vector<std::string> cookieStoreSnapshot();

// Applies what one exchange did: `before` is the snapshot it started with,
// `after` its handle's cookies at the end. Cookies it dropped go, cookies it
// set or changed are stored; what other exchanges changed meanwhile stays.
void cookieStoreMerge(const std::vector<std::string>& before,
                      const std::vector<std::string>& after);

void cookieStoreClear();

}  // namespace quillmoss::detail
