// The HTML the demo site serves (UTF-8). Kept apart from the server so that
// benchmarks and tests can build pages of any size in the same layout.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "demo-site/catalogue.h"

namespace quillmoss::demo {

inline constexpr int kResultsPerPage = 10;

struct ResultPage {
    std::string keyword;                        // as the user typed it (UTF-8)
    std::vector<const CatalogueEntry*> results;  // the results shown on this page
    int totalResults = 0;
    int pageNumber = 1;   // 1-based, as the pager shows it
    int pageCount = 0;    // 0: no pager is written
};

// &, <, >, " and ' as character references.
std::string htmlEscape(std::string_view text);

// One result page: per result a name line, a magnet line and a file-list block,
// then the pager. Names and links each sit on a line of their own.
std::string renderResultPage(const ResultPage& page);

// The answer to the cloud-play address: shows the link it was given.
std::string renderCloudPlayPage(std::string_view link);

// One result on its own: name, magnet link and file list.
std::string renderDetailPage(const CatalogueEntry& entry);

std::string renderHomePage();
std::string renderErrorPage(std::string_view message);

}  // namespace quillmoss::demo
