#include "demo-site/pages.h"

namespace quillmoss::demo {
namespace {

char foldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

size_t findFolded(std::string_view text, std::string_view sought, size_t from) {
    for (size_t i = from; i + sought.size() <= text.size(); ++i) {
        size_t k = 0;
        while (k < sought.size() && foldAscii(text[i + k]) == foldAscii(sought[k])) ++k;
        if (k == sought.size()) return i;
    }
    return std::string_view::npos;
}

// The name as HTML, every occurrence of the keyword in bold, as index sites
// tend to show it.
std::string highlightedName(std::string_view name, std::string_view keyword) {
    if (keyword.empty()) return htmlEscape(name);
    std::string html;
    size_t done = 0;
    for (size_t at = findFolded(name, keyword, 0); at != std::string_view::npos;
         at = findFolded(name, keyword, done)) {
        html += htmlEscape(name.substr(done, at - done));
        html += "<b>";
        html += htmlEscape(name.substr(at, keyword.size()));
        html += "</b>";
        done = at + keyword.size();
    }
    html += htmlEscape(name.substr(done));
    return html;
}

uint64_t totalBytes(const CatalogueEntry& entry) {
    uint64_t total = 0;
    for (const FileEntry& file : entry.files) total += file.bytes;
    return total;
}

std::string pageLink(const std::string& encodedKeyword, int pageIndex) {
    // Only the q-first form: a "&amp;q=" on a line is what marks a result name.
    return "/search?q=" + encodedKeyword + "&amp;p=" + std::to_string(pageIndex);
}

const char* const kHead =
    "<!DOCTYPE html>\n"
    "<html lang=\"zh-CN\">\n"
    "<head>\n"
    "<meta charset=\"utf-8\">\n"
    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\n";

const char* const kStyle =
    "<style>\n"
    "body{font-family:sans-serif;margin:0 auto;max-width:960px;color:#222}\n"
    ".top{padding:8px;background:#eef5e9}\n"
    ".result{border-bottom:1px solid #ddd;padding:6px 0}\n"
    ".name a{font-size:15px;color:#1a4d2e}\n"
    ".files pre{background:#fbedbb;padding:4px;margin:4px 0}\n"
    ".pager td{padding:0 8px}\n"
    "</style>\n";

std::string searchForm(std::string_view keyword) {
    return "<div class=\"top\"><form action=\"/search\" method=\"get\">"
           "<input type=\"hidden\" name=\"info_hash\" value=\"\">"
           "<input type=\"text\" name=\"q\" value=\"" + htmlEscape(keyword) + "\">"
           "<button type=\"submit\">搜索</button></form></div>\n";
}

}  // namespace

std::string htmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string renderResultPage(const ResultPage& page) {
    const std::string keywordHtml = htmlEscape(page.keyword);
    const std::string keywordUrl = percentEncode(page.keyword);

    std::string html;
    html.reserve(2048 + page.results.size() * 1400);
    html += kHead;
    html += "<title>" + keywordHtml + " - Quillmoss 演示索引</title>\n";
    html += kStyle;
    html += "</head>\n<body>\n";
    html += searchForm(page.keyword);
    html += "<p class=\"count\">共找到 " + std::to_string(page.totalResults) + " 个结果</p>\n";
    if (page.results.empty()) {
        html += page.totalResults == 0 ? "<p class=\"none\">没有找到相关资源，请换个关键字试试。</p>\n"
                                       : "<p class=\"none\">这一页没有结果。</p>\n";
    }

    for (const CatalogueEntry* entry : page.results) {
        const std::string magnetHtml = htmlEscape(magnetLink(*entry));
        html += "<div class=\"result\">\n";
        // The name and the magnet link each on a line of their own.
        html += "<table class=\"name\"><tr><td><a href=\"/detail?hash=" + entry->infoHash + "&amp;q=" +
                keywordUrl + "\">" + highlightedName(entry->name, page.keyword) +
                "</a></td></tr></table>\n";
        html += "<div class=\"links\"><a class=\"magnet\" onclick=\"return copyLink(this, f)\" href=\"" +
                magnetHtml + "\" title=\"magnet链接下载\">磁力链接</a></div>\n";
        html += "<div class=\"files\">[云端下载] <b>文件列表</b>（" + std::to_string(entry->files.size()) +
                " 个文件，共 " + formatSize(totalBytes(*entry)) + "）<pre>\n";
        for (const FileEntry& file : entry->files)
            html += htmlEscape(file.path) + "  " + formatSize(file.bytes) + "\n";
        html += "</pre></div>\n";
        html += "<div class=\"play\"><a href=\"/?u=" + magnetHtml + "\">在线云点播</a></div>\n";
        html += "</div>\n";
    }

    if (page.pageCount > 0) {
        const int index = page.pageNumber - 1;
        html += "<table class=\"pager\"><tr><td class=\"prev\">";
        if (index > 0) html += "<a href=\"" + pageLink(keywordUrl, index - 1) + "\">&laquo;</a> ";
        html += "上一个</td><td>" + std::to_string(page.pageNumber) + "/" + std::to_string(page.pageCount) +
                "</td><td class=\"next\">";
        if (page.pageNumber < page.pageCount)
            html += "<a href=\"" + pageLink(keywordUrl, index + 1) + "\">&raquo;</a> ";
        html += "下一个</td></tr></table>\n";
    }
    html += "</body>\n</html>\n";
    return html;
}

std::string renderCloudPlayPage(std::string_view link) {
    std::string html = kHead;
    html += "<title>在线云点播 - Quillmoss 演示</title>\n</head>\n<body>\n";
    html += "<h1>在线云点播</h1>\n<p>收到的链接：</p>\n<pre class=\"link\">" + htmlEscape(link) + "</pre>\n";
    html += link.empty() ? "<p>没有收到链接。</p>\n" : "<p>这是演示站点，不会真的播放。</p>\n";
    html += "</body>\n</html>\n";
    return html;
}

std::string renderDetailPage(const CatalogueEntry& entry) {
    std::string html = kHead;
    html += "<title>" + htmlEscape(entry.name) + " - Quillmoss 演示索引</title>\n";
    html += kStyle;
    html += "</head>\n<body>\n";
    html += searchForm("");
    html += "<h1>" + htmlEscape(entry.name) + "</h1>\n";
    html += "<p>特征码：" + entry.infoHash + "</p>\n";
    html += "<p><a href=\"" + htmlEscape(magnetLink(entry)) + "\">磁力链接</a></p>\n<pre>\n";
    for (const FileEntry& file : entry.files) html += htmlEscape(file.path) + "  " + formatSize(file.bytes) + "\n";
    html += "</pre>\n</body>\n</html>\n";
    return html;
}

std::string renderHomePage() {
    std::string html = kHead;
    html += "<title>Quillmoss 演示索引</title>\n";
    html += kStyle;
    html += "</head>\n<body>\n";
    html += searchForm("");
    html += "<p>演示索引站点，共收录 " + std::to_string(catalogue().size()) + " 个资源。</p>\n";
    html += "</body>\n</html>\n";
    return html;
}

std::string renderErrorPage(std::string_view message) {
    std::string html = kHead;
    html += "<title>出错了</title>\n</head>\n<body>\n<p>" + htmlEscape(message) + "</p>\n</body>\n</html>\n";
    return html;
}

}  // namespace quillmoss::demo
