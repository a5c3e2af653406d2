#include "stations/CodeNames.h"

#include "common/Text.h"

#include <array>

namespace zeb::stations {
namespace {

struct Name {
    int code;
    std::string_view text;
};

constexpr std::array kCountries = {
    Name{0, "International"},  Name{1, "Germany"},      Name{2, "United Kingdom"},
    Name{3, "Greece"},         Name{4, "Russia"},       Name{5, "USA"},
    Name{6, "Canada"},         Name{7, "Japan"},        Name{8, "Republic of Korea"},
    Name{9, "China"},          Name{10, "Thailand"},    Name{11, "Australia"},
    Name{12, "Chile"},         Name{13, "Brazil"},      Name{14, "South Africa"},
    Name{15, "Singapore"},     Name{16, "Netherlands"}, Name{17, "Belgium"},
    Name{18, "Norway"},        Name{19, "Sweden"},      Name{20, "Estonia"},
    Name{21, "Faroe Islands"}, Name{22, "Ireland"},     Name{23, "France"},
    Name{24, "Turkey"},
};

constexpr std::array kTypes = {
    Name{0, "Other"},
    Name{1, "Weather fax"},
    Name{2, "Weather RTTY"},
    Name{3, "NAVTEX"},
    Name{4, "Maritime safety information"},
    Name{5, "News"},
};

// Codes 0-2 are CW, 5-7 fax, 11 audio recording, every other code a
// teleprinter mode; 16 is SITOR-B.
constexpr std::array kModulations = {
    Name{0, "CW"},      Name{3, "RTTY"},    Name{4, "RTTY other"},       Name{5, "Fax J3C"},
    Name{6, "Fax F1C"}, Name{7, "Fax F3C"}, Name{11, "Audio recording"}, Name{16, "SITOR-B"},
};

template <class Table>
std::string_view lookUp(const Table& table, int code) {
    for (const Name& n : table)
        if (n.code == code) return n.text;
    return {};
}

template <class Table>
std::optional<std::uint8_t> reverse(const Table& table, std::string_view text) {
    for (const Name& n : table)
        if (equalsNoCase(n.text, trim(text))) return static_cast<std::uint8_t>(n.code);
    return std::nullopt;
}

}  // namespace

std::string_view countryName(int code) { return lookUp(kCountries, code); }
std::string_view typeName(int code) { return lookUp(kTypes, code); }
std::string_view modulationLabel(int code) { return lookUp(kModulations, code); }

std::optional<std::uint8_t> countryCode(std::string_view name) { return reverse(kCountries, name); }
std::optional<std::uint8_t> typeCode(std::string_view name) { return reverse(kTypes, name); }
std::optional<std::uint8_t> modulationCode(std::string_view label) {
    return reverse(kModulations, label);
}

}  // namespace zeb::stations
