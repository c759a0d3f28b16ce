// Host, port and path of a URL with or without a scheme. Never fails.
#pragma once

#include "text/text.h"

namespace quillmoss {

Text urlHost(const Text& url, bool registeredDomainOnly = false, bool keepPort = false);
int32_t urlPort(const Text& url);
Text urlPath(const Text& url);

}  // namespace quillmoss
