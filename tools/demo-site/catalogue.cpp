#include "demo-site/catalogue.h"

#include <array>
#include <cstdio>

namespace quillmoss::demo {
namespace {

// Each title gives ten entries: episodes for a series, releases otherwise.
struct Title {
    const char* name;
    bool series;
    const char* extension;  // of the main file
};

// Made-up titles in Chinese and English; several hold '&', '<', '"' or '\''
// so that the pages carry character references.
constexpr std::array<Title, 30> kTitles{{
    {"长安十二时辰", true, "mkv"},
    {"觉醒年代", true, "mp4"},
    {"琅琊榜", true, "mkv"},
    {"大明王朝1566", true, "mkv"},
    {"舌尖上的中国 第二季", true, "mp4"},
    {"西游记 86版 修复版", true, "mkv"},
    {"红楼梦 87版", true, "rmvb"},
    {"中国好声音 & 好歌曲", true, "mp4"},
    {"流浪地球", false, "mkv"},
    {"哪吒之魔童降世", false, "mkv"},
    {"功夫熊猫 Kung Fu Panda", false, "mkv"},
    {"周杰伦 - 七里香 无损音乐", false, "flac"},
    {"邓丽君 精选集 & 演唱会", false, "ape"},
    {"三体 广播剧 全集", false, "mp3"},
    {"中文 Linux 入门教程", false, "pdf"},
    {"Ubuntu 22.04 LTS Desktop amd64", false, "iso"},
    {"Debian 12 netinst & DVD", false, "iso"},
    {"Tom & Jerry Classic Collection", true, "mkv"},
    {"Big Buck Bunny", false, "mp4"},
    {"Sintel Open Movie", false, "mkv"},
    {"Rock & Roll Anthems <Live>", false, "flac"},
    {"Planet Earth Documentary", true, "mkv"},
    {"Cosmos \"A Spacetime Odyssey\"", true, "mkv"},
    {"The Art of Computer Programming", false, "pdf"},
    {"Simon & Garfunkel - Central Park Concert", false, "flac"},
    {"Night of the Living Dead (1968)", false, "avi"},
    {"Nosferatu 1922 Restored", false, "mkv"},
    {"Don't Look Back Public Domain", false, "mp4"},
    {"Open Source Music Pack 2023", false, "ogg"},
    {"Blender Tutorial Series", true, "mp4"},
}};

constexpr std::array<const char*, 10> kReleases{
    "720p WEB-DL", "1080p BluRay", "2160p 4K HDR", "1080p 国语中字", "DVDRip",
    "HDTV x264", "x265 10bit", "Remux", "高清 双语字幕", "AAC 5.1"};

uint64_t splitMix(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

std::string hexHash(uint64_t seed) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string hash;
    uint64_t state = seed;
    while (hash.size() < 40) {
        uint64_t word = splitMix(state);
        for (int i = 0; i < 16 && hash.size() < 40; ++i, word >>= 4) hash += kDigits[word & 0xF];
    }
    return hash;
}

std::vector<CatalogueEntry> build() {
    std::vector<CatalogueEntry> entries;
    entries.reserve(kTitles.size() * 10);
    uint64_t index = 0;
    for (const Title& title : kTitles) {
        for (int v = 0; v < 10; ++v, ++index) {
            CatalogueEntry entry;
            char variant[64];
            if (title.series) std::snprintf(variant, sizeof variant, " 第%02d集", v + 1);
            else std::snprintf(variant, sizeof variant, " %s", kReleases[static_cast<size_t>(v)]);
            entry.name = std::string(title.name) + variant;
            entry.infoHash = hexHash(index * 7919 + 17);

            uint64_t state = index + 1000;
            uint64_t mainSize = 50'000'000 + splitMix(state) % 4'000'000'000ULL;
            entry.files.push_back({entry.name + "." + title.extension, mainSize});
            const uint64_t extras = splitMix(state) % 4;
            if (extras >= 1) entry.files.push_back({"说明.txt", 200 + splitMix(state) % 4000});
            if (extras >= 2) entry.files.push_back({"Sample/sample." + std::string(title.extension),
                                                    1'000'000 + splitMix(state) % 30'000'000});
            if (extras >= 3) entry.files.push_back({"封面 & 海报/cover.jpg", 80'000 + splitMix(state) % 900'000});
            entries.push_back(std::move(entry));
        }
    }
    return entries;
}

char foldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool containsFolded(std::string_view text, std::string_view sought) {
    if (sought.empty()) return true;
    if (sought.size() > text.size()) return false;
    // Byte-wise comparison is exact for UTF-8: a match can only begin on a
    // character boundary, because trail bytes never equal lead bytes.
    for (size_t i = 0; i + sought.size() <= text.size(); ++i) {
        size_t k = 0;
        while (k < sought.size() && foldAscii(text[i + k]) == foldAscii(sought[k])) ++k;
        if (k == sought.size()) return true;
    }
    return false;
}

}  // namespace

const std::vector<CatalogueEntry>& catalogue() {
    static const std::vector<CatalogueEntry> entries = build();
    return entries;
}

std::vector<const CatalogueEntry*> findEntries(std::string_view keyword) {
    std::vector<const CatalogueEntry*> found;
    for (const CatalogueEntry& entry : catalogue())
        if (containsFolded(entry.name, keyword)) found.push_back(&entry);
    return found;
}

std::string percentEncode(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (unsigned char c : bytes) {
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                                c == '-' || c == '.' || c == '_' || c == '~';
        if (unreserved) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kDigits[c >> 4];
            out += kDigits[c & 0xF];
        }
    }
    return out;
}

std::string magnetLink(const CatalogueEntry& entry) {
    return "magnet:?xt=urn:btih:" + entry.infoHash + "&dn=" + percentEncode(entry.name) +
           "&tr=" + percentEncode("udp://tracker.quillmoss.invalid:6969/announce") +
           "&tr=" + percentEncode("http://open.demo.invalid:8080/announce");
}

std::string formatSize(uint64_t bytes) {
    static constexpr std::array<const char*, 4> kUnits{"KB", "MB", "GB", "TB"};
    if (bytes < 1024) return std::to_string(bytes) + " B";
    double value = static_cast<double>(bytes) / 1024.0;
    size_t unit = 0;
    while (value >= 1024.0 && unit + 1 < kUnits.size()) {
        value /= 1024.0;
        ++unit;
    }
    char text[32];
    if (unit == 0) std::snprintf(text, sizeof text, "%.0f %s", value, kUnits[unit]);
    else std::snprintf(text, sizeof text, "%.2f %s", value, kUnits[unit]);
    return text;
}

}  // namespace quillmoss::demo
