#include "http/cookie_store.h"

#include <map>
#include <mutex>
#include <set>
#include <string_view>

namespace quillmoss::detail {

namespace {

struct Store {
    std::mutex mutex;
    std::map<std::string, std::string> lines;  // key (domain, path, name) -> the cookie line
};

// Never destroyed: a worker may still finish an exchange while the process exits.
Store& theStore() {
    static Store* const store = new Store;
    return *store;
}

// Fields: domain, tailmatch, path, secure, expires, name, value. A cookie is
// the same cookie when domain, path and name agree, whether or not it is
// marked HttpOnly.
std::string cookieKey(std::string_view line) {
    constexpr std::string_view httpOnly = "#HttpOnly_";
    if (line.substr(0, httpOnly.size()) == httpOnly) line.remove_prefix(httpOnly.size());
    std::string fields[6];
    std::size_t start = 0;
    for (int i = 0; i < 6; ++i) {
        std::size_t tab = line.find('\t', start);
        if (tab == std::string_view::npos) {
            if (i == 5) fields[5] = std::string(line.substr(start));
            break;
        }
        fields[i] = std::string(line.substr(start, tab - start));
        start = tab + 1;
    }
    return fields[0] + '\t' + fields[2] + '\t' + fields[5];
}

}  // namespace

std::vector<std::string> cookieStoreSnapshot() {
    Store& s = theStore();
    std::lock_guard lock(s.mutex);
    std::vector<std::string> lines;
    lines.reserve(s.lines.size());
    for (const auto& [key, line] : s.lines) lines.push_back(line);
    return lines;
}

void cookieStoreMerge(const std::vector<std::string>& before,
                      const std::vector<std::string>& after) {
    std::map<std::string, const std::string*> was;
    for (const std::string& line : before) was[cookieKey(line)] = &line;
    std::set<std::string> still;

    Store& s = theStore();
    std::lock_guard lock(s.mutex);
    for (const std::string& line : after) {
        std::string key = cookieKey(line);
        still.insert(key);
        auto old = was.find(key);
        if (old != was.end() && *old->second == line) continue;  // untouched by this exchange
        s.lines[key] = line;
    }
    for (const auto& [key, line] : was) {
        if (still.count(key) != 0) continue;
        // Deleted or expired during this exchange, unless another one has
        // stored a newer value meanwhile.
        auto it = s.lines.find(key);
        if (it != s.lines.end() && it->second == *line) s.lines.erase(it);
    }
}

void cookieStoreClear() {
    Store& s = theStore();
    std::lock_guard lock(s.mutex);
    s.lines.clear();
}

}  // namespace quillmoss::detail
