// Where UTF-16 positions of a converted GBK text fall in its bytes, so that
// match texts can be cut out of the GBK subject instead of being converted
// back one by one. Internal to the regex module.
#pragma once

#include <cstddef>
#include <string_view>

namespace quillmoss::regex {

// Walks a GBK text and the UTF-16 units it converted to, forwards only.
// It trusts nothing: each character must be ASCII or a two-byte character
// that converts to exactly that unit and back to the same two bytes, so a
// cut is byte for byte what converting the units back would give. Anything
// else (a malformed byte, the one-byte euro sign) ends the walk, and the
// caller converts instead.
class GbkUnitCursor {
public:
    GbkUnitCursor(std::string_view bytes, std::u16string_view units, size_t unit = 0, size_t byte = 0)
        : bytes_(bytes), units_(units), unit_(unit), byte_(byte) {}

    // Moves to `unit` (not before the current one); false when the walk cannot vouch for it.
    bool advanceTo(size_t unit);
    size_t byte() const { return byte_; }

private:
    std::string_view bytes_;
    std::u16string_view units_;
    size_t unit_;
    size_t byte_;
    bool broken_ = false;
};

}  // namespace quillmoss::regex
