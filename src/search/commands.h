// The search and paging commands. Each runs on the worker (app/worker.h),
// one at a time, and reaches the window only through app/controls.h.
#pragma once

#include "text/text.h"

namespace quillmoss {

void searchFirstPage();
void fetchFirstPage();
void showPreviousPage();
void showNextPage();

// Scheme and host of the index site, without a trailing slash.
Text indexSiteBase();

}  // namespace quillmoss
