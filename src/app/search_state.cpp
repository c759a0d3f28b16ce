#include "app/search_state.h"

#include <cassert>
#include <memory>

namespace quillmoss {
namespace {

std::unique_ptr<SearchState> state;
bool released = false;

}  // namespace

void createSearchState() {
    assert(!state && !released);
    state = std::make_unique<SearchState>();
}

void releaseSearchState() {
    if (released) return;
    released = true;
    std::lock_guard lock(searchStateMutex());
    state.reset();
}

bool searchStateExists() {
    std::lock_guard lock(searchStateMutex());
    return state != nullptr;
}

SearchState& searchState() {
    assert(state);
    return *state;
}

std::mutex& searchStateMutex() {
    static std::mutex mutex;
    return mutex;
}

}  // namespace quillmoss
