// Test-only overrides for the result actions. Not for the tool itself.
#pragma once

#include <optional>

#include "actions/scheme_handler.h"
#include "text/text.h"

namespace quillmoss {

// Replaces the built-in cloud-play address; nullopt restores it.
void setCloudPlayBaseForTesting(std::optional<Text> base);

// Replaces the query that tells whether a link's scheme has a handler;
// nullopt restores the default (xdg-mime, 2 s).
void setHandlerQueryForTesting(std::optional<HandlerQuery> query);

}  // namespace quillmoss
