// Which addresses taken from a page may be handed to the desktop. Qt-free;
// pure, any thread.
#pragma once

#include "text/text.h"

namespace quillmoss {

// A download link: the scheme (letter case ignored) is magnet:, thunder: or
// ed2k:, starting at the first byte. Only these reach the desktop's handler.
bool isDownloadLink(const Text& address);

// An http:// or https:// address (letter case ignored), for the default browser.
bool isWebAddress(const Text& address);

}  // namespace quillmoss
