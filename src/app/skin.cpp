#include "app/skin.h"

#include <QApplication>
#include <QFile>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

#include <array>
#include <atomic>
#include <cstdio>

namespace quillmoss {
namespace {

constexpr std::string_view kMagicLine = ".SHE 1";

struct RoleName {
    std::string_view name;
    QPalette::ColorRole role;
};

constexpr std::array kRoles{
    RoleName{"window", QPalette::Window},
    RoleName{"window-text", QPalette::WindowText},
    RoleName{"base", QPalette::Base},
    RoleName{"alternate-base", QPalette::AlternateBase},
    RoleName{"text", QPalette::Text},
    RoleName{"button", QPalette::Button},
    RoleName{"button-text", QPalette::ButtonText},
    RoleName{"bright-text", QPalette::BrightText},
    RoleName{"highlight", QPalette::Highlight},
    RoleName{"highlighted-text", QPalette::HighlightedText},
    RoleName{"link", QPalette::Link},
    RoleName{"link-visited", QPalette::LinkVisited},
    RoleName{"light", QPalette::Light},
    RoleName{"midlight", QPalette::Midlight},
    RoleName{"mid", QPalette::Mid},
    RoleName{"dark", QPalette::Dark},
    RoleName{"shadow", QPalette::Shadow},
    RoleName{"tooltip-base", QPalette::ToolTipBase},
    RoleName{"tooltip-text", QPalette::ToolTipText},
    RoleName{"placeholder-text", QPalette::PlaceholderText},
};

std::atomic<int32_t> attached{0};

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// Well-formed UTF-8 without control characters other than tab.
bool isCleanUtf8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            if (c < 0x20 && c != '\t') return false;
            if (c == 0x7F) return false;
            ++i;
            continue;
        }
        size_t extra = 0;
        uint32_t code = 0;
        if (c >= 0xC2 && c <= 0xDF) { extra = 1; code = c & 0x1F; }
        else if (c >= 0xE0 && c <= 0xEF) { extra = 2; code = c & 0x0F; }
        else if (c >= 0xF0 && c <= 0xF4) { extra = 3; code = c & 0x07; }
        else return false;
        if (i + extra >= s.size()) return false;
        for (size_t k = 1; k <= extra; ++k) {
            const auto t = static_cast<unsigned char>(s[i + k]);
            if ((t & 0xC0) != 0x80) return false;
            code = (code << 6) | (t & 0x3F);
        }
        if ((extra == 2 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
            (extra == 3 && (code < 0x10000 || code > 0x10FFFF)))
            return false;
        i += extra + 1;
    }
    return true;
}

bool containsIgnoringCase(std::string_view text, std::string_view sought) {
    if (sought.size() > text.size()) return false;
    for (size_t i = 0; i + sought.size() <= text.size(); ++i) {
        bool same = true;
        for (size_t k = 0; k < sought.size() && same; ++k) {
            char c = text[i + k];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            same = c == sought[k];
        }
        if (same) return true;
    }
    return false;
}

std::optional<uint32_t> parseHexColor(std::string_view s) {
    if (s.size() != 7 || s[0] != '#') return std::nullopt;
    uint32_t value = 0;
    for (char c : s.substr(1)) {
        uint32_t digit;
        if (c >= '0' && c <= '9') digit = static_cast<uint32_t>(c - '0');
        else if (c >= 'a' && c <= 'f') digit = static_cast<uint32_t>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F') digit = static_cast<uint32_t>(c - 'A' + 10);
        else return std::nullopt;
        value = value * 16 + digit;
    }
    return value;
}

const RoleName* findRole(std::string_view name) {
    for (const RoleName& r : kRoles) {
        if (r.name == name) return &r;
    }
    return nullptr;
}

std::optional<SkinColor> parseColor(std::string_view rest) {
    const size_t blank = rest.find(' ');
    if (blank == std::string_view::npos) return std::nullopt;
    std::string_view target = rest.substr(0, blank);
    const std::string_view value = trimBlanks(rest.substr(blank + 1));
    SkinColor color;
    if (const size_t colon = target.find(':'); colon != std::string_view::npos) {
        color.group = std::string(target.substr(0, colon));
        if (color.group != "active" && color.group != "inactive" && color.group != "disabled")
            return std::nullopt;
        target = target.substr(colon + 1);
    }
    if (findRole(target) == nullptr) return std::nullopt;
    const std::optional<uint32_t> rgb = parseHexColor(value);
    if (!rgb) return std::nullopt;
    color.role = std::string(target);
    color.rgb = *rgb;
    return color;
}

// Braces must balance; url() and @import would make Qt read files.
bool isSafeStyleSheet(std::string_view css) {
    if (containsIgnoringCase(css, "url(") || containsIgnoringCase(css, "@import")) return false;
    int depth = 0;
    for (char c : css) {
        if (c == '{') ++depth;
        if (c == '}' && --depth < 0) return false;
    }
    return depth == 0;
}

void applySkin(const SkinDefinition& skin) {
    // The skins are drawn against Fusion, which follows the palette everywhere.
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) QApplication::setStyle(fusion);
    QPalette palette = QApplication::style()->standardPalette();
    for (const SkinColor& color : skin.colors) {
        const QColor value(QRgb(color.rgb));
        const QPalette::ColorRole role = findRole(color.role)->role;
        if (color.group.empty()) palette.setColor(role, value);
        else if (color.group == "active") palette.setColor(QPalette::Active, role, value);
        else if (color.group == "inactive") palette.setColor(QPalette::Inactive, role, value);
        else palette.setColor(QPalette::Disabled, role, value);
    }
    QApplication::setPalette(palette);
    qApp->setStyleSheet(QString::fromUtf8(skin.styleSheet.data(),
                                          static_cast<qsizetype>(skin.styleSheet.size())));
}

}  // namespace

const std::vector<std::string_view>& skinColorRoles() {
    static const std::vector<std::string_view> names = [] {
        std::vector<std::string_view> v;
        for (const RoleName& r : kRoles) v.push_back(r.name);
        return v;
    }();
    return names;
}

std::optional<SkinDefinition> parseSkin(std::string_view bytes) {
    if (bytes.substr(0, 4) != ".SHE") return std::nullopt;
    SkinDefinition skin;
    bool named = false;
    bool first = true;
    while (!bytes.empty()) {
        const size_t end = bytes.find('\n');
        std::string_view line = bytes.substr(0, end);
        bytes = end == std::string_view::npos ? std::string_view() : bytes.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (first) {
            if (line != kMagicLine) return std::nullopt;
            first = false;
            continue;
        }
        if (!isCleanUtf8(line)) return std::nullopt;
        line = trimBlanks(line);
        if (line.empty() || line.front() == '#') continue;
        const size_t blank = line.find(' ');
        const std::string_view keyword = line.substr(0, blank);
        const std::string_view rest =
            blank == std::string_view::npos ? std::string_view() : trimBlanks(line.substr(blank + 1));
        if (keyword == "name") {
            if (named || rest.empty()) return std::nullopt;
            skin.name = std::string(rest);
            named = true;
        } else if (keyword == "color") {
            std::optional<SkinColor> color = parseColor(rest);
            if (!color) return std::nullopt;
            skin.colors.push_back(std::move(*color));
        } else if (keyword == "style") {
            if (rest.empty()) return std::nullopt;
            skin.styleSheet.append(rest).push_back('\n');
        } else {
            return std::nullopt;
        }
    }
    if (first || !named || !isSafeStyleSheet(skin.styleSheet)) return std::nullopt;
    return skin;
}

ByteBuffer builtInSkin(int32_t number) {
    if (number < 1 || number > kSkinCount) return {};
    char path[32];
    std::snprintf(path, sizeof path, ":/skins/%02d.she", static_cast<int>(number));
    QFile file(QString::fromLatin1(path));
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = file.readAll();
    return ByteBuffer(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
}

bool attachSkin(int32_t number) {
    const ByteBuffer skin = builtInSkin(number);
    const std::optional<SkinDefinition> definition = parseSkin(skin.view());
    if (!definition) return false;
    applySkin(*definition);
    attached.store(number);
    return true;
}

int32_t attachedSkin() { return attached.load(); }

}  // namespace quillmoss
