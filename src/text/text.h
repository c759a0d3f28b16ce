// The text model every module shares: GBK byte strings, counted byte buffers,
// 1-based text arrays and local date-times, with the primitives over them.
// Positions are 1-based, -1 means "not found". All functions are pure and may
// be called from any thread.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillmoss {

// GBK (code page 936) bytes; never holds 0x00. Built from bytes, it ends
// before the first zero byte. An absent text and the empty text are one value.
class Text {
public:
    Text() = default;
    // ASCII literals only: Chinese literals go through gbkFromUtf8().
    Text(const char* bytes);  // NOLINT(google-explicit-constructor)
    explicit Text(std::string_view bytes);
    explicit Text(std::string&& bytes);

    const std::string& bytes() const { return bytes_; }
    std::string_view view() const { return bytes_; }
    const char* data() const { return bytes_.data(); }
    const char* c_str() const { return bytes_.c_str(); }
    int32_t size() const { return static_cast<int32_t>(bytes_.size()); }
    bool empty() const { return bytes_.empty(); }

    Text& operator+=(const Text& other);
    friend Text operator+(Text a, const Text& b) { a += b; return a; }
    friend bool operator==(const Text&, const Text&) = default;

private:
    std::string bytes_;
};

// Counted bytes that may hold 0x00. Absent and empty are one value.
class ByteBuffer {
public:
    ByteBuffer() = default;
    explicit ByteBuffer(std::string_view bytes) : bytes_(bytes) {}
    explicit ByteBuffer(std::string&& bytes) : bytes_(std::move(bytes)) {}

    const std::string& bytes() const { return bytes_; }
    std::string& bytes() { return bytes_; }
    std::string_view view() const { return bytes_; }
    const char* data() const { return bytes_.data(); }
    int32_t size() const { return static_cast<int32_t>(bytes_.size()); }
    bool empty() const { return bytes_.empty(); }

    ByteBuffer& operator+=(const ByteBuffer& other) { bytes_ += other.bytes_; return *this; }
    friend ByteBuffer operator+(ByteBuffer a, const ByteBuffer& b) { a += b; return a; }
    friend bool operator==(const ByteBuffer&, const ByteBuffer&) = default;

private:
    std::string bytes_;
};

// Texts numbered from 1 to size(). Reading outside 1..size() asserts in debug
// builds and gives an empty text otherwise.
class TextArray {
public:
    int32_t size() const { return static_cast<int32_t>(items_.size()); }
    bool empty() const { return items_.empty(); }
    const Text& at(int32_t index) const;
    void append(const Text& text) { items_.push_back(text); }
    void append(Text&& text) { items_.push_back(std::move(text)); }
    void clear() { items_.clear(); }
    void reserve(int32_t n) { items_.reserve(n > 0 ? static_cast<size_t>(n) : 0); }

    std::vector<Text>::const_iterator begin() const { return items_.begin(); }
    std::vector<Text>::const_iterator end() const { return items_.end(); }
    friend bool operator==(const TextArray&, const TextArray&) = default;

private:
    std::vector<Text> items_;
};

struct DateTime {
    int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    friend bool operator==(const DateTime&, const DateTime&) = default;
};

// Searching (character-stepping: a match never begins on a trail byte).
int32_t findText(const Text& text, const Text& sought,
                 std::optional<int32_t> start = std::nullopt, bool ignoreCase = false);
int32_t findTextLast(const Text& text, const Text& sought,
                     std::optional<int32_t> start = std::nullopt, bool ignoreCase = false);

// Slicing (bytes, may split a double-byte character).
int32_t textLength(const Text& text);
Text textLeft(const Text& text, int32_t n);
Text textRight(const Text& text, int32_t n);
Text textMid(const Text& text, int32_t start, int32_t n);

// Cleaning and case.
Text trimSpaces(const Text& text);
Text removeSpaces(const Text& text);
Text toLower(const Text& text);

// Splitting and replacing.
TextArray splitText(const Text& text, const Text& delimiter = Text(","),
                    std::optional<int32_t> maxParts = std::nullopt);
Text replaceText(const Text& text, const Text& sought, const Text& replacement = Text(),
                 std::optional<int32_t> start = std::nullopt,
                 std::optional<int32_t> count = std::nullopt, bool matchCase = true);

// Conversions.
int32_t toInt(const Text& text);
int32_t toInt(int32_t value);
int32_t toInt(double value);
Text toText(int32_t value);
Text toText(double value);
Text toText(const DateTime& value);
Text toText(const ByteBuffer& value);
Text toText(const Text& value);
Text toHexText(int32_t value);
Text charFromCode(int32_t code);
Text blankText(int32_t n);
ByteBuffer toBytes(const Text& text);

// Byte buffers.
int32_t bytesLength(const ByteBuffer& buffer);
ByteBuffer bytesLeft(const ByteBuffer& buffer, int32_t n);
ByteBuffer blankBytes(int32_t n);
int32_t findBytes(const ByteBuffer& buffer, const ByteBuffer& sought,
                  std::optional<int32_t> start = std::nullopt);

// Other.
int32_t bitOr(std::initializer_list<int32_t> values);
DateTime currentTime();
// The directory of the running executable, without a trailing separator.
Text runDirectory();

}  // namespace quillmoss
