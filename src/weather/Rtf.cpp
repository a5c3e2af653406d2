#include "weather/Rtf.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <optional>
#include <utility>

#include "common/Codepage.h"
#include "common/Text.h"

namespace zeb::weather {
namespace {

constexpr int kMaxDepth = 64;
constexpr int kMaxHalfPoints = 32767;
constexpr int kReaderDefaultHalfPoints = 24;  // what RTF readers assume without \fs
constexpr char kHex[] = "0123456789abcdef";

bool isControlByte(unsigned char c) { return c < 0x20 || c == 0x7F; }

void appendHexEscape(std::string& out, unsigned char c) {
    out += "\\'";
    out += kHex[c >> 4];
    out += kHex[c & 0xF];
}

// Font names end at ";" in the font table, so a ";" in a face is escaped.
std::string escapeFace(std::string_view face) {
    std::string out;
    for (const char ch : face) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\\' || c == '{' || c == '}') {
            out += '\\';
            out += ch;
        } else if (c >= 0x80 || c == ';') {
            appendHexEscape(out, c);
        } else if (!isControlByte(c)) {
            out += ch;
        }
    }
    return out;
}

void appendText(std::string& out, std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            out += "\\par\r\n";
        } else if (c == '\t') {
            out += "\\tab ";
        } else if (c == '\\' || c == '{' || c == '}') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x80) {
            appendHexEscape(out, c);
        } else if (!isControlByte(c)) {
            out += static_cast<char>(c);
        }
    }
}

// Windows-1252 byte for a Unicode code point, '?' where it has none.
unsigned char toWindows1252(std::uint32_t cp) {
    const int b = cp1252Byte(cp);
    return static_cast<unsigned char>(b < 0 ? '?' : b);
}

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Destinations whose content is no document text. Everything behind "\*" is
// skipped as well.
bool isSkippedDestination(std::string_view word) {
    static constexpr std::string_view kWords[] = {"info",         "stylesheet",
                                                  "pict",         "header",
                                                  "headerl",      "headerr",
                                                  "headerf",      "footer",
                                                  "footerl",      "footerr",
                                                  "footerf",      "fldinst",
                                                  "object",       "objdata",
                                                  "listtable",    "listoverridetable",
                                                  "revtbl",       "rsidtbl",
                                                  "generator",    "filetbl",
                                                  "themedata",    "colorschememapping",
                                                  "latentstyles", "datastore",
                                                  "footnote",     "annotation",
                                                  "atnid",        "atnauthor",
                                                  "nonshppict",   "shp",
                                                  "shpinst",      "xmlnstbl",
                                                  "mmathPr",      "pgdsctbl",
                                                  "pgdsc",        "private",
                                                  "userprops",    "docvar",
                                                  "bkmkstart",    "bkmkend",
                                                  "xe",           "tc",
                                                  "txe",          "template",
                                                  "comment",      "author",
                                                  "operator",     "title",
                                                  "subject",      "keywords",
                                                  "doccomm",      "company"};
    return std::find(std::begin(kWords), std::end(kWords), word) != std::end(kWords);
}

// The Windows-1252 character of a control word that stands for one
// (\emdash, \lquote, ...); 0 for any other word.
char specialCharacter(std::string_view word) {
    static constexpr std::pair<std::string_view, char> kCharacters[] = {
        {"emdash", '\x97'}, {"endash", '\x96'},    {"bullet", '\x95'},   {"lquote", '\x91'},
        {"rquote", '\x92'}, {"ldblquote", '\x93'}, {"rdblquote", '\x94'}};
    for (const auto& [name, c] : kCharacters)
        if (name == word) return c;
    return 0;
}

enum class Destination { Text, FontTable, ColourTable, Skip };

struct GroupState {
    Destination destination = Destination::Text;
    int font = -1;  // -1: the default font (\deff)
    int halfPoints = kReaderDefaultHalfPoints;
    int colour = 0;  // index into the colour table
    bool bold = false;
    bool italic = false;
    int unicodeSkip = 1;  // \ucN: fallback characters after \uN

    void resetCharacter() {
        font = -1;
        halfPoints = kReaderDefaultHalfPoints;
        colour = 0;
        bold = false;
        italic = false;
    }
};

class Reader {
public:
    explicit Reader(std::string_view in) : in_(in) {}

    Result<RtfDocument> run(std::size_t start) {
        pos_ = start;
        while (pos_ < in_.size()) {
            const char c = in_[pos_];
            if (c == '{') {
                ++pos_;
                if (stack_.size() >= kMaxDepth) {
                    return Error{EINVAL, "The RTF text nests groups deeper than 64 levels."};
                }
                stack_.push_back(stack_.empty() ? GroupState{} : stack_.back());
                pendingSkip_ = 0;
            } else if (c == '}') {
                ++pos_;
                if (!stack_.empty()) {
                    if (stack_.back().destination == Destination::FontTable) commitFont();
                    stack_.pop_back();
                }
                pendingSkip_ = 0;
                if (stack_.empty()) break;  // end of the document group
            } else if (c == '\\') {
                ++pos_;
                control();
            } else if (c == '\r' || c == '\n') {
                ++pos_;  // line ends in RTF source are no text
            } else {
                ++pos_;
                if (!stack_.empty()) character(static_cast<unsigned char>(c));
            }
        }
        return std::move(doc_);
    }

private:
    GroupState& state() { return stack_.back(); }

    // Reads the letters and the optional numeric parameter of a control word
    // after the backslash, and the space that may end it.
    void control() {
        if (pos_ >= in_.size() || stack_.empty()) return;  // truncated: nothing to do
        const char c = in_[pos_];
        if (!isLetter(c)) {
            ++pos_;
            symbol(c);
            return;
        }
        const std::size_t begin = pos_;
        while (pos_ < in_.size() && isLetter(in_[pos_])) ++pos_;
        const std::string_view word = in_.substr(begin, pos_ - begin);
        bool negative = false;
        if (pos_ + 1 < in_.size() && in_[pos_] == '-' && isDigit(in_[pos_ + 1])) {
            negative = true;
            ++pos_;
        }
        std::optional<long long> param;
        if (pos_ < in_.size() && isDigit(in_[pos_])) {
            long long v = 0;
            while (pos_ < in_.size() && isDigit(in_[pos_])) {
                if (v < 100000000000LL) v = v * 10 + (in_[pos_] - '0');  // saturates
                ++pos_;
            }
            param = negative ? -v : v;
        }
        if (pos_ < in_.size() && in_[pos_] == ' ') ++pos_;
        controlWord(word, param);
    }

    static int clampInt(long long v) {
        return static_cast<int>(std::clamp<long long>(v, -2147483647LL - 1, 2147483647LL));
    }

    void symbol(char c) {
        GroupState& s = state();
        if (c == '\'') {
            // \'hh: two hex digits. A broken escape is dropped together with
            // the one hex digit it may have; whatever follows is read as usual.
            int v = 0;
            int digits = 0;
            while (digits < 2 && pos_ < in_.size() && hexDigit(in_[pos_]) >= 0) {
                v = v * 16 + hexDigit(in_[pos_]);
                ++pos_;
                ++digits;
            }
            if (digits == 2) character(static_cast<unsigned char>(v), true);
            return;
        }
        if (c == '*') {
            s.destination = Destination::Skip;
            return;
        }
        if (s.destination == Destination::Text && pendingSkip_ > 0) {
            --pendingSkip_;
            return;
        }
        switch (c) {
            case '\\':
            case '{':
            case '}': character(static_cast<unsigned char>(c), true); break;
            case '~': emit('\xA0'); break;
            case '_': emit('-'); break;
            case '\r':
            case '\n':
                emit('\n');  // a backslash before a line end is a \par
                break;
            case '\t': emit('\t'); break;
            default:  // \- (optional hyphen), \| \: and unknown symbols
                break;
        }
    }

    void controlWord(std::string_view word, std::optional<long long> param) {
        GroupState& s = state();
        const long long p = param.value_or(1);
        if (word == "bin") {
            // Binary data: skipped raw, never beyond the input.
            const auto n = static_cast<std::size_t>(std::max<long long>(0, param.value_or(0)));
            pos_ += std::min(n, in_.size() - pos_);
            return;
        }
        if (s.destination == Destination::Skip || destinationWord(word)) return;
        if (s.destination == Destination::FontTable) {
            fontTableWord(word, p);
            return;
        }
        if (s.destination == Destination::ColourTable) {
            colourTableWord(word, p);
            return;
        }
        if (word == "uc") {
            s.unicodeSkip = static_cast<int>(std::clamp<long long>(p, 0, 1000));
            return;
        }
        if (word == "u") {
            if (!param) return;
            const unsigned char c = unicodeByte(*param);
            if (c == '\t' || !isControlByte(c)) emit(static_cast<char>(c));
            pendingSkip_ = s.unicodeSkip;
            return;
        }
        if (pendingSkip_ > 0) {
            --pendingSkip_;
            return;
        }
        textWord(word, p);
    }

    // A word that starts a destination: true when it was one.
    bool destinationWord(std::string_view word) {
        GroupState& s = state();
        if (isSkippedDestination(word)) {
            s.destination = Destination::Skip;
        } else if (word == "fonttbl") {
            s.destination = Destination::FontTable;
            fontNumber_.reset();
            fontName_.clear();
        } else if (word == "colortbl") {
            s.destination = Destination::ColourTable;
        } else {
            return false;
        }
        return true;
    }

    // \fN starts a font table entry; \uN is a character of its name.
    void fontTableWord(std::string_view word, long long p) {
        if (word == "f") {
            commitFont();
            fontNumber_ = clampInt(p);
        } else if (word == "u") {
            const unsigned char c = unicodeByte(p);
            if (!isControlByte(c)) fontName_ += static_cast<char>(c);
            pendingSkip_ = state().unicodeSkip;
        }
    }

    void colourTableWord(std::string_view word, long long p) {
        const auto component = static_cast<std::uint32_t>(std::clamp<long long>(p, 0, 255));
        if (word == "red") {
            red_ = component;
        } else if (word == "green") {
            green_ = component;
        } else if (word == "blue") {
            blue_ = component;
        } else {
            return;
        }
        colourSet_ = true;
    }

    // A word of the document text: paragraph and cell ends, the character
    // format, special characters. \pard and every other word change nothing
    // the document holds.
    void textWord(std::string_view word, long long p) {
        GroupState& s = state();
        if (word == "par" || word == "line" || word == "sect" || word == "page" || word == "row") {
            emit('\n');
        } else if (word == "tab" || word == "cell") {
            emit('\t');
        } else if (word == "plain") {
            s.resetCharacter();
        } else if (word == "deff") {
            defaultFont_ = clampInt(p);
        } else if (word == "f") {
            s.font = clampInt(p);
        } else if (word == "fs") {
            if (p >= 1) s.halfPoints = static_cast<int>(std::min<long long>(p, kMaxHalfPoints));
        } else if (word == "cf") {
            s.colour = clampInt(p);
        } else if (word == "b") {
            s.bold = p != 0;
        } else if (word == "i") {
            s.italic = p != 0;
        } else if (const char c = specialCharacter(word); c != 0) {
            emit(c);
        }
    }

    static unsigned char unicodeByte(long long v) {
        if (v < -32768 || v > 0xFFFF) return '?';
        if (v < 0) v += 65536;  // \u is a signed 16-bit number
        return toWindows1252(static_cast<std::uint32_t>(v));
    }

    // A text byte (literal or \'hh) in the current destination. An escaped
    // ";" belongs to a font name instead of ending it.
    void character(unsigned char c, bool escaped = false) {
        GroupState& s = state();
        switch (s.destination) {
            case Destination::Skip: return;
            case Destination::FontTable:
                if (pendingSkip_ > 0) {
                    --pendingSkip_;
                } else if (c == ';' && !escaped) {
                    commitFont();
                } else if (!isControlByte(c)) {
                    fontName_ += static_cast<char>(c);
                }
                return;
            case Destination::ColourTable:
                if (c == ';') {
                    colours_.push_back(colourSet_ ? std::optional<std::uint32_t>(
                                                        (red_ << 16) | (green_ << 8) | blue_)
                                                  : std::nullopt);
                    red_ = green_ = blue_ = 0;
                    colourSet_ = false;
                }
                return;
            case Destination::Text:
                if (pendingSkip_ > 0) {
                    --pendingSkip_;
                    return;
                }
                if (c == '\t' || !isControlByte(c)) emit(static_cast<char>(c));
                return;
        }
    }

    void commitFont() {
        if (fontNumber_ && !fontName_.empty()) fonts_[*fontNumber_] = fontName_;
        fontName_.clear();
    }

    RtfFormat currentFormat() {
        const GroupState& s = state();
        RtfFormat f;
        const int font = s.font >= 0 ? s.font : defaultFont_;
        if (const auto it = fonts_.find(font); it != fonts_.end()) {
            f.face = it->second;
        } else if (const auto def = fonts_.find(defaultFont_); def != fonts_.end()) {
            f.face = def->second;
        }
        f.halfPoints = s.halfPoints;
        if (s.colour >= 0 && static_cast<std::size_t>(s.colour) < colours_.size() &&
            colours_[static_cast<std::size_t>(s.colour)]) {
            f.colour = *colours_[static_cast<std::size_t>(s.colour)];
        }
        f.bold = s.bold;
        f.italic = s.italic;
        return f;
    }

    // Document text in the current format; adjacent text of equal format
    // shares one run.
    void emit(char c) {
        if (state().destination != Destination::Text) return;
        RtfFormat f = currentFormat();
        if (doc_.runs.empty() || doc_.runs.back().format != f) {
            doc_.runs.push_back(RtfRun{std::move(f), {}});
        }
        doc_.runs.back().text += c;
    }

    std::string_view in_;
    std::size_t pos_ = 0;
    std::vector<GroupState> stack_;
    int pendingSkip_ = 0;
    int defaultFont_ = 0;
    std::map<int, std::string> fonts_;
    std::optional<int> fontNumber_;
    std::string fontName_;
    std::vector<std::optional<std::uint32_t>> colours_;  // nullopt: the "auto" colour
    std::uint32_t red_ = 0, green_ = 0, blue_ = 0;
    bool colourSet_ = false;
    RtfDocument doc_;
};

}  // namespace

std::string RtfDocument::plainText() const {
    std::string out;
    for (const auto& run : runs) out += run.text;
    return out;
}

std::string writeRtf(const RtfDocument& document) {
    std::vector<std::string> faces;
    std::vector<std::uint32_t> colours;
    for (const auto& run : document.runs) {
        if (std::find(faces.begin(), faces.end(), run.format.face) == faces.end()) {
            faces.push_back(run.format.face);
        }
        const std::uint32_t colour = run.format.colour & 0xFFFFFF;
        if (std::find(colours.begin(), colours.end(), colour) == colours.end()) {
            colours.push_back(colour);
        }
    }
    if (faces.empty()) faces.push_back(RtfFormat{}.face);

    std::string out = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl";
    for (std::size_t i = 0; i < faces.size(); ++i) {
        out += "{\\f" + std::to_string(i) + "\\fnil\\fcharset0 " + escapeFace(faces[i]) + ";}";
    }
    // Entry 0 stays the "auto" colour; the runs' colours follow from 1 on,
    // black included, so that no viewer substitutes its own text colour.
    out += "}\r\n{\\colortbl;";
    for (const std::uint32_t c : colours) {
        out += "\\red" + std::to_string((c >> 16) & 0xFF) + "\\green" +
               std::to_string((c >> 8) & 0xFF) + "\\blue" + std::to_string(c & 0xFF) + ";";
    }
    out += "}\r\n\\pard";
    for (const auto& run : document.runs) {
        if (run.text.empty()) continue;
        const auto& f = run.format;
        const auto face = std::find(faces.begin(), faces.end(), f.face) - faces.begin();
        const auto colour =
            std::find(colours.begin(), colours.end(), f.colour & 0xFFFFFF) - colours.begin() + 1;
        out += "\\plain\\f" + std::to_string(face) + "\\fs" +
               std::to_string(std::clamp(f.halfPoints, 1, kMaxHalfPoints)) + "\\cf" +
               std::to_string(colour);
        if (f.bold) out += "\\b";
        if (f.italic) out += "\\i";
        out += ' ';
        appendText(out, run.text);
    }
    out += "}\r\n";
    return out;
}

Result<RtfDocument> readRtf(std::string_view rtf) {
    std::size_t start = 0;
    if (rtf.substr(0, 3) == "\xEF\xBB\xBF") start = 3;  // a UTF-8 mark some editors put first
    while (start < rtf.size() &&
           (rtf[start] == ' ' || rtf[start] == '\t' || rtf[start] == '\r' || rtf[start] == '\n')) {
        ++start;
    }
    if (rtf.substr(start, 5) != "{\\rtf") return Error{EINVAL, "The text is not in RTF format."};
    return Reader(rtf).run(start);
}

std::string toCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
            out += "\r\n";
        } else if (text[i] == '\n') {
            out += "\r\n";
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace zeb::weather
