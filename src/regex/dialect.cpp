#include "regex/dialect.h"

#include <unicode/uniset.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cstdio>

namespace quillmoss::regex {
namespace {

constexpr uint32_t kInfinite = UINT32_MAX;
constexpr uint32_t kMaxRepeat = 65535;  // PCRE2's largest repeat count
constexpr int kMaxNesting = 250;        // PCRE2's default nesting limit; also bounds our recursion
constexpr size_t kMaxRunLength = 32;    // a longer run is kept by its tail, which is still required

enum class Kind { Char, Any, Class, LineStart, LineEnd, WordBoundary, NotWordBoundary, Group, Look, BackRef };

// A class member: a range of code units, or one of \d \D \w \W \s \S.
struct ClassItem {
    char32_t lo = 0;
    char32_t hi = 0;
    char16_t escape = 0;
};

struct Node;
using Sequence = std::vector<Node>;
using Alternatives = std::vector<Sequence>;

struct Node {
    Kind kind = Kind::Char;
    char32_t cp = 0;        // Char
    bool flag = false;      // Class: negated; Group: capturing; Look: negative
    uint32_t number = 0;    // BackRef
    std::vector<ClassItem> items;
    Alternatives alts;      // Group, Look
    uint32_t min = 1;
    uint32_t max = 1;
    bool lazy = false;

    bool once() const { return min == 1 && max == 1; }
};

bool isDigit(char16_t c) { return c >= '0' && c <= '9'; }
bool isOctal(char16_t c) { return c >= '0' && c <= '7'; }
bool isAsciiLetter(char16_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

int hexValue(char16_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Counts the capturing groups up front: whether "\12" is a backreference or
// an octal escape depends on how many groups the whole pattern has.
uint32_t countGroups(std::u16string_view p) {
    uint32_t count = 0;
    bool inClass = false;
    for (size_t i = 0; i < p.size();) {
        const char16_t c = p[i];
        if (c == '\\') {
            i += 2;
        } else if (inClass) {
            if (c == ']') inClass = false;
            ++i;
        } else if (c == '[') {
            inClass = true;
            ++i;
            if (i < p.size() && p[i] == '^') ++i;
            if (i < p.size() && p[i] == ']') {  // "[]" and "[^]" are complete classes
                inClass = false;
                ++i;
            }
        } else {
            if (c == '(' && !(i + 1 < p.size() && p[i + 1] == '?')) ++count;
            ++i;
        }
    }
    return count;
}

class Parser {
public:
    Parser(std::u16string_view pattern, uint32_t totalGroups) : p_(pattern), totalGroups_(totalGroups) {}

    bool parse(Alternatives& out) {
        if (!parseAlternatives(out, 0)) return false;
        return pos_ == p_.size();  // a stray ')' stops the top level early
    }

private:
    bool more(size_t at = 0) const { return pos_ + at < p_.size(); }
    char16_t peek(size_t at = 0) const { return more(at) ? p_[pos_ + at] : 0; }

    bool parseAlternatives(Alternatives& out, int depth) {
        if (depth > kMaxNesting) return false;
        out.emplace_back();
        for (;;) {
            if (!parseSequence(out.back(), depth)) return false;
            if (peek() != '|' || !more()) return true;
            ++pos_;
            out.emplace_back();
        }
    }

    bool parseSequence(Sequence& seq, int depth) {
        while (more()) {
            const char16_t c = peek();
            if (c == '|' || c == ')') return true;
            Node node;
            bool quantifiable = true;
            switch (c) {
            case '^': node.kind = Kind::LineStart; quantifiable = false; ++pos_; break;
            case '$': node.kind = Kind::LineEnd; quantifiable = false; ++pos_; break;
            case '.': node.kind = Kind::Any; ++pos_; break;
            case '(':
                if (!parseGroup(node, depth)) return false;
                break;
            case '[':
                if (!parseClass(node)) return false;
                break;
            case '\\':
                if (!parseEscape(node, quantifiable)) return false;
                break;
            case '*': case '+': case '?':
                return false;  // nothing to repeat
            case '{':
                if (quantifierAt(pos_)) return false;
                node.cp = '{';  // not a quantifier: a plain brace
                ++pos_;
                break;
            default:
                node.cp = readLiteral();
                break;
            }
            uint32_t min = 1, max = 1;
            bool lazy = false;
            bool tooBig = false;
            if (readQuantifier(min, max, lazy, tooBig)) {
                if (!quantifiable || tooBig || min > max) return false;
                node.min = min;
                node.max = max;
                node.lazy = lazy;
            }
            seq.push_back(std::move(node));
        }
        return true;
    }

    // The dialect counts UTF-16 units: a surrogate pair is two characters.
    char32_t readLiteral() { return p_[pos_++]; }

    bool quantifierAt(size_t i) const {
        if (i >= p_.size() || p_[i] != '{') return false;
        ++i;
        size_t digits = 0;
        while (i < p_.size() && isDigit(p_[i])) ++i, ++digits;
        if (digits == 0) return false;
        if (i < p_.size() && p_[i] == ',') {
            ++i;
            while (i < p_.size() && isDigit(p_[i])) ++i;
        }
        return i < p_.size() && p_[i] == '}';
    }

    uint32_t readNumber(bool& tooBig) {
        uint32_t value = 0;
        while (more() && isDigit(peek())) {
            value = std::min<uint32_t>(value * 10 + (peek() - '0'), kMaxRepeat + 1);
            ++pos_;
        }
        if (value > kMaxRepeat) tooBig = true;
        return value;
    }

    bool readQuantifier(uint32_t& min, uint32_t& max, bool& lazy, bool& tooBig) {
        if (!more()) return false;
        switch (peek()) {
        case '*': min = 0; max = kInfinite; ++pos_; break;
        case '+': min = 1; max = kInfinite; ++pos_; break;
        case '?': min = 0; max = 1; ++pos_; break;
        case '{':
            if (!quantifierAt(pos_)) return false;
            ++pos_;
            min = readNumber(tooBig);
            max = min;
            if (peek() == ',') {
                ++pos_;
                max = isDigit(peek()) ? readNumber(tooBig) : kInfinite;
            }
            ++pos_;  // '}'
            break;
        default:
            return false;
        }
        if (peek() == '?' && more()) {
            lazy = true;
            ++pos_;
        }
        return true;
    }

    bool parseGroup(Node& node, int depth) {
        ++pos_;  // '('
        if (peek() == '?' && more()) {
            switch (peek(1)) {
            case ':': node.kind = Kind::Group; node.flag = false; break;
            case '=': node.kind = Kind::Look; node.flag = false; break;
            case '!': node.kind = Kind::Look; node.flag = true; break;
            default: return false;  // named groups, inline flags, lookbehind... are not of this dialect
            }
            pos_ += 2;
        } else {
            node.kind = Kind::Group;
            node.flag = true;
            node.number = ++groupsSeen_;
        }
        if (!parseAlternatives(node.alts, depth + 1)) return false;
        if (peek() != ')' || !more()) return false;
        ++pos_;
        return true;
    }

    // \xhh and \uhhhh; without their digits they stand for the letter itself.
    bool readHex(size_t at, int digits, char32_t& value) const {
        value = 0;
        for (int k = 0; k < digits; ++k) {
            const int h = more(at + k) ? hexValue(peek(at + k)) : -1;
            if (h < 0) return false;
            value = value * 16 + static_cast<char32_t>(h);
        }
        return true;
    }

    // A legacy octal escape from the digit at pos_: up to three digits while
    // the value stays below 256.
    char32_t readOctal() {
        const char16_t first = p_[pos_++];
        char32_t value = first - '0';
        const int maxMore = first <= '3' ? 2 : 1;
        for (int k = 0; k < maxMore && more() && isOctal(peek()); ++k) value = value * 8 + (p_[pos_++] - '0');
        return value;
    }

    // The escapes both contexts share. Returns false when the escape is not one of them.
    bool readCharacterEscape(char32_t& cp) {
        const char16_t e = peek(1);
        switch (e) {
        case 'f': cp = 0x0C; pos_ += 2; return true;
        case 'n': cp = 0x0A; pos_ += 2; return true;
        case 'r': cp = 0x0D; pos_ += 2; return true;
        case 't': cp = 0x09; pos_ += 2; return true;
        case 'v': cp = 0x0B; pos_ += 2; return true;
        case 'x':
        case 'u': {
            const int digits = e == 'x' ? 2 : 4;
            if (readHex(2, digits, cp)) {
                pos_ += 2 + digits;
            } else {
                cp = e;
                pos_ += 2;
            }
            return true;
        }
        default:
            return false;
        }
    }

    bool parseEscape(Node& node, bool& quantifiable) {
        if (!more(1)) return false;  // a pattern cannot end in a backslash
        const char16_t e = peek(1);
        node.kind = Kind::Char;
        switch (e) {
        case 'b': node.kind = Kind::WordBoundary; quantifiable = false; pos_ += 2; return true;
        case 'B': node.kind = Kind::NotWordBoundary; quantifiable = false; pos_ += 2; return true;
        case 'd': case 'D': case 'w': case 'W': case 's': case 'S':
            node.kind = Kind::Class;
            node.items.push_back(ClassItem{0, 0, e});
            pos_ += 2;
            return true;
        case 'c':
            if (isAsciiLetter(peek(2)) && more(2)) {
                node.cp = peek(2) % 32;
                pos_ += 3;
            } else {
                node.cp = '\\';  // "\c" without a letter is a backslash; the c follows as itself
                pos_ += 1;
            }
            return true;
        case '0':
            if (!isDigit(peek(2)) || !more(2)) {
                node.cp = 0;
                pos_ += 2;
            } else {
                ++pos_;
                node.cp = readOctal();
            }
            return true;
        default:
            break;
        }
        if (isDigit(e)) {
            size_t end = pos_ + 1;
            uint64_t value = 0;
            while (end < p_.size() && isDigit(p_[end])) {
                value = std::min<uint64_t>(value * 10 + (p_[end] - '0'), UINT32_MAX);
                ++end;
            }
            if (value <= totalGroups_) {
                node.kind = Kind::BackRef;
                node.number = static_cast<uint32_t>(value);
                pos_ = end;
            } else if (isOctal(e)) {
                ++pos_;
                node.cp = readOctal();
            } else {
                node.cp = e;  // \8 and \9 without such a group are the digits
                pos_ += 2;
            }
            return true;
        }
        char32_t cp = 0;
        if (readCharacterEscape(cp)) {
            node.cp = cp;
            return true;
        }
        ++pos_;  // any other escaped character is itself
        node.cp = readLiteral();
        return true;
    }

    // One class member; isEscape tells a \d-like escape from a character.
    bool parseClassAtom(ClassItem& item) {
        if (!more()) return false;
        if (peek() != '\\') {
            const char32_t cp = readLiteral();
            item = ClassItem{cp, cp, 0};
            return true;
        }
        if (!more(1)) return false;
        const char16_t e = peek(1);
        char32_t cp = 0;
        switch (e) {
        case 'b': cp = 0x08; pos_ += 2; break;
        case 'd': case 'D': case 'w': case 'W': case 's': case 'S':
            item = ClassItem{0, 0, e};
            pos_ += 2;
            return true;
        case 'c': {
            const char16_t n = peek(2);
            if (more(2) && (isAsciiLetter(n) || isDigit(n) || n == '_')) {
                cp = n % 32;
                pos_ += 3;
            } else {
                cp = '\\';
                pos_ += 1;
            }
            break;
        }
        default:
            if (isOctal(e)) {
                ++pos_;
                cp = readOctal();
            } else if (!readCharacterEscape(cp)) {
                ++pos_;
                cp = readLiteral();
            }
            break;
        }
        item = ClassItem{cp, cp, 0};
        return true;
    }

    bool parseClass(Node& node) {
        node.kind = Kind::Class;
        ++pos_;  // '['
        if (peek() == '^' && more()) {
            node.flag = true;
            ++pos_;
        }
        for (;;) {
            if (!more()) return false;  // unterminated
            if (peek() == ']') {
                ++pos_;
                return true;
            }
            ClassItem first;
            if (!parseClassAtom(first)) return false;
            if (peek() == '-' && more(1) && peek(1) != ']') {
                ++pos_;
                ClassItem last;
                if (!parseClassAtom(last)) return false;
                if (first.escape != 0 || last.escape != 0) {
                    // A range cannot end in \d and the like: the dash is itself.
                    node.items.push_back(first);
                    node.items.push_back(ClassItem{'-', '-', 0});
                    node.items.push_back(last);
                } else {
                    if (first.lo > last.lo) return false;
                    node.items.push_back(ClassItem{first.lo, last.lo, 0});
                }
            } else {
                node.items.push_back(first);
            }
        }
    }

    std::u16string_view p_;
    size_t pos_ = 0;
    uint32_t totalGroups_;
    uint32_t groupsSeen_ = 0;
};

// ---- letter case ----

// The dialect's IgnoreCase compares characters by their upper case: a
// character stands for itself when its upper case is more than one unit, and
// a non-ASCII character never takes an ASCII upper case (so KELVIN SIGN does
// not match k, nor LONG S s).
char16_t canonical(char16_t c) {
    if (c < 0x80) return (c >= 'a' && c <= 'z') ? static_cast<char16_t>(c - 0x20) : c;
    UChar upper[4];
    UErrorCode err = U_ZERO_ERROR;
    const UChar in = c;
    const int32_t n = u_strToUpper(upper, 4, &in, 1, "", &err);
    if (U_FAILURE(err) || n != 1 || upper[0] < 0x80) return c;
    return upper[0];
}

// The characters whose case can matter: everything else folds to itself.
const icu::UnicodeSet& caseSensitive() {
    static const icu::UnicodeSet* set = [] {
        UErrorCode err = U_ZERO_ERROR;
        auto* s = new icu::UnicodeSet(UNICODE_STRING_SIMPLE("[:Case_Sensitive:]"), err);
        if (U_FAILURE(err)) s->clear();
        s->remove(0, 0x7F);  // ASCII letters are folded by PCRE2's own tables
        s->freeze();
        return s;
    }();
    return *set;
}

// The non-ASCII units that IgnoreCase lets match some member of `members`,
// beyond the members themselves. ASCII is left to PCRE2, whose caseless
// tables fold exactly A-Z with a-z; the two never mix under the dialect's rule.
icu::UnicodeSet caseVariants(const icu::UnicodeSet& members) {
    icu::UnicodeSet relevant(members);
    relevant.retainAll(caseSensitive());
    icu::UnicodeSet added;
    if (relevant.isEmpty()) return added;
    icu::UnicodeSet candidates(relevant);
    candidates.closeOver(USET_CASE_INSENSITIVE);
    candidates.removeAll(members);
    candidates.retain(0x80, 0xFFFF);
    const int32_t ranges = candidates.getRangeCount();
    for (int32_t r = 0; r < ranges; ++r) {
        for (UChar32 d = candidates.getRangeStart(r); d <= candidates.getRangeEnd(r); ++d) {
            // d joins when some member shares its upper case.
            icu::UnicodeSet partners(d, d);
            partners.closeOver(USET_CASE_INSENSITIVE);
            partners.retainAll(relevant);
            const char16_t key = canonical(static_cast<char16_t>(d));
            const int32_t pr = partners.getRangeCount();
            bool joins = false;
            for (int32_t k = 0; k < pr && !joins; ++k)
                for (UChar32 a = partners.getRangeStart(k); a <= partners.getRangeEnd(k) && !joins; ++a)
                    joins = a <= 0xFFFF && canonical(static_cast<char16_t>(a)) == key;
            if (joins) added.add(d);
        }
    }
    return added;
}

// ---- writing the PCRE2 form ----

void appendUnit(std::u16string& out, char32_t cp) {
    if ((cp >= '0' && cp <= '9') || (cp >= 'a' && cp <= 'z') || (cp >= 'A' && cp <= 'Z')) {
        out.push_back(static_cast<char16_t>(cp));
        return;
    }
    char buf[16];
    const int n = std::snprintf(buf, sizeof buf, "\\x{%X}", static_cast<unsigned>(cp));
    out.append(buf, buf + n);
}

void appendAscii(std::u16string& out, const char* s) {
    while (*s) out.push_back(static_cast<char16_t>(*s++));
}

void appendNumber(std::u16string& out, uint32_t n) { appendAscii(out, std::to_string(n).c_str()); }

void appendRange(std::u16string& out, char32_t lo, char32_t hi) {
    appendUnit(out, lo);
    if (hi != lo) {
        out.push_back(u'-');
        appendUnit(out, hi);
    }
}

void appendSet(std::u16string& out, const icu::UnicodeSet& set) {
    const int32_t ranges = set.getRangeCount();
    for (int32_t r = 0; r < ranges; ++r)
        appendRange(out, static_cast<char32_t>(set.getRangeStart(r)), static_cast<char32_t>(set.getRangeEnd(r)));
}

class Writer {
public:
    explicit Writer(bool ignoreCase) : ignoreCase_(ignoreCase) {}

    void alternatives(std::u16string& out, const Alternatives& alts) {
        for (size_t i = 0; i < alts.size(); ++i) {
            if (i > 0) out.push_back(u'|');
            for (const Node& node : alts[i]) this->node(out, node);
        }
    }

private:
    void character(std::u16string& out, char32_t cp) {
        if (ignoreCase_ && cp >= 0x80) {
            const icu::UnicodeSet variants = caseVariants(icu::UnicodeSet(static_cast<UChar32>(cp), static_cast<UChar32>(cp)));
            if (!variants.isEmpty()) {
                out.push_back(u'[');
                appendUnit(out, cp);
                appendSet(out, variants);
                out.push_back(u']');
                return;
            }
        }
        appendUnit(out, cp);
    }

    void characterClass(std::u16string& out, const Node& node) {
        if (!node.flag && node.items.size() == 1 && node.items[0].escape != 0) {
            out.push_back(u'\\');
            out.push_back(node.items[0].escape);
            return;
        }
        out.push_back(u'[');
        if (node.flag) out.push_back(u'^');
        icu::UnicodeSet members;
        bool allNonAscii = false;  // \D \W \S hold every non-ASCII unit already
        for (const ClassItem& item : node.items) {
            if (item.escape != 0) {
                out.push_back(u'\\');
                out.push_back(item.escape);
                allNonAscii = allNonAscii || item.escape == 'D' || item.escape == 'W' || item.escape == 'S';
            } else {
                appendRange(out, item.lo, item.hi);
                members.add(static_cast<UChar32>(item.lo), static_cast<UChar32>(item.hi));
            }
        }
        if (ignoreCase_ && !allNonAscii) appendSet(out, caseVariants(members));
        out.push_back(u']');
    }

    void node(std::u16string& out, const Node& node) {
        switch (node.kind) {
        case Kind::Char: character(out, node.cp); break;
        case Kind::Any: out.push_back(u'.'); break;
        case Kind::Class: characterClass(out, node); break;
        case Kind::LineStart: out.push_back(u'^'); break;
        case Kind::LineEnd: out.push_back(u'$'); break;
        case Kind::WordBoundary: appendAscii(out, "\\b"); break;
        case Kind::NotWordBoundary: appendAscii(out, "\\B"); break;
        case Kind::Group:
            appendAscii(out, node.flag ? "(" : "(?:");
            alternatives(out, node.alts);
            out.push_back(u')');
            break;
        case Kind::Look:
            appendAscii(out, node.flag ? "(?!" : "(?=");
            alternatives(out, node.alts);
            out.push_back(u')');
            break;
        case Kind::BackRef:
            appendAscii(out, "\\g{");
            appendNumber(out, node.number);
            out.push_back(u'}');
            break;
        }
        if (node.once()) return;
        if (node.min == 0 && node.max == kInfinite) {
            out.push_back(u'*');
        } else if (node.min == 1 && node.max == kInfinite) {
            out.push_back(u'+');
        } else if (node.min == 0 && node.max == 1) {
            out.push_back(u'?');
        } else {
            out.push_back(u'{');
            appendNumber(out, node.min);
            if (node.max != node.min) {
                out.push_back(u',');
                if (node.max != kInfinite) appendNumber(out, node.max);
            }
            out.push_back(u'}');
        }
        if (node.lazy) out.push_back(u'?');
    }

    bool ignoreCase_;
};

// ---- what every match must look like ----

bool classTakesLineFeed(const Node& node) {
    bool member = false;
    for (const ClassItem& item : node.items) {
        switch (item.escape) {
        case 0: member = member || (item.lo <= 0x0A && item.hi >= 0x0A); break;
        case 's': case 'D': case 'W': member = true; break;
        default: break;  // \S \d \w never match a line feed
        }
    }
    return node.flag ? !member : member;
}

bool takesLineFeed(const Alternatives& alts);

bool takesLineFeed(const Node& node) {
    if (node.max == 0) return false;
    switch (node.kind) {
    case Kind::Char: return node.cp == 0x0A;
    case Kind::Class: return classTakesLineFeed(node);
    case Kind::Group: return takesLineFeed(node.alts);
    case Kind::BackRef: return true;  // repeats a capture, which a lookahead may have taken past the line
    default: return false;  // "." stops at a line feed; assertions take nothing
    }
}

bool takesLineFeed(const Alternatives& alts) {
    for (const Sequence& seq : alts)
        for (const Node& node : seq)
            if (takesLineFeed(node)) return true;
    return false;
}

bool looksPastMatch(const Alternatives& alts);

bool looksPastMatch(const Node& node) {
    switch (node.kind) {
    case Kind::LineEnd: case Kind::WordBoundary: case Kind::NotWordBoundary: case Kind::Look: return true;
    case Kind::Group: return looksPastMatch(node.alts);
    default: return false;
    }
}

bool looksPastMatch(const Alternatives& alts) {
    for (const Sequence& seq : alts)
        for (const Node& node : seq)
            if (looksPastMatch(node)) return true;
    return false;
}

void flushRun(std::u16string& run, std::vector<std::u16string>& runs) {
    if (run.empty()) return;
    if (run.size() > kMaxRunLength) run.erase(0, run.size() - kMaxRunLength);
    runs.push_back(std::move(run));
    run.clear();
}

// Literal characters that follow each other in every match, read through
// groups that are neither repeated nor alternatives.
void collectRuns(const Sequence& seq, std::vector<std::u16string>& runs, std::u16string& run) {
    for (const Node& node : seq) {
        if (node.once() && node.kind == Kind::Char) {
            run.push_back(static_cast<char16_t>(node.cp));
        } else if (node.once() && node.kind == Kind::Group && node.alts.size() == 1) {
            collectRuns(node.alts[0], runs, run);
        } else {
            flushRun(run, runs);
        }
    }
}

}  // namespace

std::optional<Translation> translatePattern(std::u16string_view pattern, bool ignoreCase) {
    Translation t;
    t.groupCount = countGroups(pattern);
    Alternatives alts;
    Parser parser(pattern, t.groupCount);
    if (!parser.parse(alts)) return std::nullopt;

    Writer(ignoreCase).alternatives(t.pcre2, alts);
    t.lineLocal = !takesLineFeed(alts);
    if (alts.size() == 1) {
        std::u16string run;
        collectRuns(alts[0], t.requiredRuns, run);
        const bool endsInRun = !run.empty();
        flushRun(run, t.requiredRuns);
        t.endsWithLastRun = endsInRun && !looksPastMatch(alts);
    }
    return t;
}

}  // namespace quillmoss::regex
