// The one process-wide record of the last search.
//
// Commands run one at a time on the worker (see worker.h), so only the worker
// writes the record; it takes searchStateMutex() for every write and keeps it
// only for short, non-blocking work (never across a fetch). The window thread
// takes it to read, so a result action always sees one consistent search.
#pragma once

#include <cstdint>
#include <mutex>

#include "text/text.h"

namespace quillmoss {

struct SearchState {
    Text pageText;
    TextArray detailTexts;
    TextArray resultNames;
    TextArray resultLinks;
    int32_t currentPage = 0;
    int32_t totalPages = 0;
};

void createSearchState();
// Runs at most once; later calls do nothing.
void releaseSearchState();

// Whether the state exists: created and not yet released.
bool searchStateExists();

// Valid between createSearchState() and releaseSearchState().
SearchState& searchState();
std::mutex& searchStateMutex();

}  // namespace quillmoss
