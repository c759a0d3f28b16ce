// The demo site's built-in catalogue: a few hundred made-up results with
// deterministic info-hashes and file lists. Texts are UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillmoss::demo {

struct FileEntry {
    std::string path;
    uint64_t bytes = 0;
};

struct CatalogueEntry {
    std::string name;
    std::string infoHash;  // 40 upper-case hex digits
    std::vector<FileEntry> files;
};

// Built once, on first use; never changes afterwards (safe from any thread).
const std::vector<CatalogueEntry>& catalogue();

// Entries whose name holds the keyword, ASCII letters compared without case;
// an empty keyword matches every entry. Catalogue order.
std::vector<const CatalogueEntry*> findEntries(std::string_view keyword);

// The entry's magnet link as a client uses it (not HTML-escaped).
std::string magnetLink(const CatalogueEntry& entry);

// "1.37 GB", "842.5 MB", "12 KB", "512 B".
std::string formatSize(uint64_t bytes);

// Percent-encodes every byte except A-Z a-z 0-9 - . _ ~.
std::string percentEncode(std::string_view bytes);

}  // namespace quillmoss::demo
