// What the status box says when a result page could not be fetched.
#pragma once

#include "http/fetch.h"
#include "text/text.h"

namespace quillmoss {

// A message in Chinese (GBK) naming the cause of a failed exchange, with the
// HTTP status when the site answered with an error. Plain text.
Text fetchFailureMessage(const FetchOutcome& outcome);

}  // namespace quillmoss
