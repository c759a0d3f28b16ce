// The result list, the page label and the status summary after a fetch.
// Each works on the SearchState and the controls; the caller holds
// searchStateMutex() (the control operations never block, so this is short).
#pragma once

#include <cstdint>

#include "text/text.h"

namespace quillmoss {

// One row per result name, the name in column 0 and the link at the same
// position in column 1 (empty when the page has fewer links than names).
void fillResultList();

// After a first page: currentPage 1, the page count from the site's pager
// into the label and totalPages, and the summary.
void reportFirstPage();

// After a move to another page: the label from currentPage and totalPages,
// and the summary. Runs before the command moves currentPage.
void reportPage();

// "<date-time>\r\n搜索完成：本页共有资源<rows>个\r\n          预计共有资源：<estimate>个"
Text statusSummary(const DateTime& when, int32_t rows, double estimate);

// The local time reports are stamped with (search/search_testing.h can fix it).
DateTime reportTime();

}  // namespace quillmoss
