// The window's skin: 33 built-in skins in a small text format of our own,
// applied to the application's palette and style sheet. Nothing is written to
// disk and nothing is loaded: a skin may not name a file or an address.
//
// Format: the bytes ".SHE", a blank and the format version "1", then lines of
// UTF-8 text (LF or CR LF). Blank lines and lines starting with '#' are
// skipped; every other line is one entry:
//   name <words>                   the skin's name (required, once)
//   color [group:]<role> #rrggbb   a palette colour; group is active, inactive
//                                  or disabled (all three when left out); role
//                                  is one of skinColorRoles()
//   style <style-sheet text>       one line of a Qt style sheet; the lines
//                                  together must balance their braces, and
//                                  url() and @import are refused
// Any other line makes the whole skin invalid.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/text.h"

namespace quillmoss {

inline constexpr int32_t kSkinCount = 33;
// The skin the window gets at start-up.
inline constexpr int32_t kStartupSkin = 9;

struct SkinColor {
    std::string group;  // "active", "inactive", "disabled" or empty for all three
    std::string role;
    uint32_t rgb = 0;   // 0xRRGGBB
};

struct SkinDefinition {
    std::string name;
    std::vector<SkinColor> colors;
    std::string styleSheet;
};

// The palette roles a skin may set: window, window-text, base, alternate-base,
// text, button, button-text, bright-text, highlight, highlighted-text, link,
// link-visited, light, midlight, mid, dark, shadow, tooltip-base, tooltip-text,
// placeholder-text.
const std::vector<std::string_view>& skinColorRoles();

// Parses a skin; nullopt when it is not well formed. Pure; any thread.
std::optional<SkinDefinition> parseSkin(std::string_view bytes);

// A fresh copy of built-in skin n (1 to kSkinCount); empty for another n.
ByteBuffer builtInSkin(int32_t number);

// Parses skin n and applies it to the application (window thread, a
// QApplication must exist). A skin that does not parse is ignored and the
// application keeps its look. Returns whether the skin was applied.
bool attachSkin(int32_t number);

// The number of the skin attached last, 0 when none is.
int32_t attachedSkin();

}  // namespace quillmoss
