#include "stations/FrequencySource.h"

#include "common/Codepage.h"
#include "common/Text.h"
#include "stations/CodeNames.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <set>

namespace zeb::stations {
namespace {

constexpr std::size_t kFieldCount = 18;

std::vector<std::string_view> split(std::string_view line, char sep) {
    std::vector<std::string_view> parts;
    std::size_t from = 0;
    for (;;) {
        const auto at = line.find(sep, from);
        parts.push_back(trim(line.substr(from, at == std::string_view::npos ? at : at - from)));
        if (at == std::string_view::npos) break;
        from = at + 1;
    }
    return parts;
}

class LineParser {
public:
    LineParser(std::string_view source, std::size_t lineNo) : source_(source), lineNo_(lineNo) {}

    Error error(const std::string& what) const {
        return Error{EINVAL, std::string(source_) + ":" + std::to_string(lineNo_) + ": " + what};
    }

    template <class T>
    bool integer(std::string_view field, const char* name, T& out, std::string& problem) const {
        if (field.empty()) {
            out = 0;
            return true;
        }
        long long v = 0;
        const auto r = std::from_chars(field.data(), field.data() + field.size(), v);
        if (r.ec != std::errc{} || r.ptr != field.data() + field.size() ||
            v < static_cast<long long>(std::numeric_limits<T>::min()) ||
            v > static_cast<long long>(std::numeric_limits<T>::max())) {
            problem =
                std::string(name) + " \"" + std::string(field) + "\" is not a number in range";
            return false;
        }
        out = static_cast<T>(v);
        return true;
    }

    bool real(std::string_view field, const char* name, double& out, std::string& problem) const {
        if (field.empty()) {
            out = 0.0;
            return true;
        }
        const auto r = std::from_chars(field.data(), field.data() + field.size(), out);
        if (r.ec != std::errc{} || r.ptr != field.data() + field.size() || !std::isfinite(out)) {
            problem = std::string(name) + " \"" + std::string(field) + "\" is not a number";
            return false;
        }
        return true;
    }

private:
    std::string_view source_;
    std::size_t lineNo_;
};

std::optional<std::uint32_t> modeCode(std::string_view mode) {
    if (mode.empty()) return kModeNone;
    if (equalsNoCase(mode, "LSB")) return kModeLsb;
    if (equalsNoCase(mode, "USB")) return kModeUsb;
    if (equalsNoCase(mode, "AM")) return kModeAm;
    if (equalsNoCase(mode, "FM")) return kModeFm;
    return std::nullopt;
}

Result<StationRecord> parseLine(std::string_view line, const LineParser& p) {
    const auto hash = line.find('#');
    if (hash == std::string_view::npos || trim(line.substr(hash + 1)).empty())
        return p.error("the station has no source comment (\"# source\")");
    const auto fields = split(line.substr(0, hash), ';');
    if (fields.size() != kFieldCount)
        return p.error("expected " + std::to_string(kFieldCount) + " fields, found " +
                       std::to_string(fields.size()));

    StationRecord r;
    std::string problem;
    double kHz = 0.0;
    double stop = 0.0;
    std::uint16_t variant = 0;
    if (!p.integer(fields[0], "id", r.id, problem) || !p.real(fields[1], "kHz", kHz, problem) ||
        !p.integer(fields[8], "speed", r.speed, problem) ||
        !p.integer(fields[9], "shift", r.shiftHz, problem) ||
        !p.integer(fields[10], "centre", r.centreHz, problem) ||
        !p.integer(fields[11], "IOC", r.faxIoc, problem) ||
        !p.integer(fields[12], "start tone", r.faxStartTone, problem) ||
        !p.integer(fields[13], "stop tone", r.faxStopTone, problem) ||
        !p.real(fields[14], "stop bits", stop, problem) ||
        !p.integer(fields[15], "code variant", variant, problem))
        return p.error(problem);
    if (r.id < 1 || r.id > kMaxStationId) return p.error("id must be 1 to 8191");
    // No receiver the suite tunes reaches beyond 3 GHz.
    if (kHz <= 0.0 || kHz > kMaxFrequencyKhz)
        return p.error("the frequency must be above 0 and at most 3000000 kHz");
    if (variant > 2) return p.error("the code variant must be 0, 1 or 2");
    // The record keeps the stop bits as a 32-bit float: a larger value would become infinite.
    if (std::fabs(stop) > std::numeric_limits<float>::max())
        return p.error("stop bits \"" + std::string(fields[14]) + "\" is not a number in range");
    r.frequencyKhz = kHz;
    r.stopBits = static_cast<float>(stop);
    r.codeVariant = variant;

    struct Text {
        std::string_view field;
        const char* name;
        std::size_t size;
        void (*set)(StationRecord&, std::string_view);
    };
    for (const Text& t : {Text{fields[2], "call sign", kCallSignSize, &setCallSign},
                          Text{fields[3], "name", kNameSize, &setName},
                          Text{fields[17], "remark", kRemarkSize, &setRemark}}) {
        const auto bytes = utf8ToCp1252Exact(t.field);
        if (!bytes) return p.error(std::string(t.name) + " is not Windows-1252 text");
        if (bytes->size() > t.size)
            return p.error(std::string(t.name) + " \"" + std::string(t.field) +
                           "\" is longer than " + std::to_string(t.size) + " bytes");
        t.set(r, *bytes);
    }
    const auto country = countryCode(fields[4]);
    const auto type = typeCode(fields[5]);
    const auto modulation = modulationCode(fields[6]);
    const auto mode = modeCode(fields[7]);
    if (!country) return p.error("unknown country \"" + std::string(fields[4]) + "\"");
    if (!type) return p.error("unknown type \"" + std::string(fields[5]) + "\"");
    if (!modulation) return p.error("unknown modulation \"" + std::string(fields[6]) + "\"");
    if (!mode) return p.error("unknown receiver mode \"" + std::string(fields[7]) + "\"");
    r.country = *country;
    r.type = *type;
    r.modulation = *modulation;
    r.receiverMode = *mode;
    if (equalsNoCase(fields[16], "normal"))
        r.polarity = 1;
    else if (equalsNoCase(fields[16], "inverted"))
        r.polarity = 0;
    else
        return p.error("polarity must be \"normal\" or \"inverted\"");
    return r;
}

}  // namespace

Result<std::vector<StationRecord>> parseFrequencySource(std::string_view text,
                                                        std::string_view sourceName) {
    std::vector<StationRecord> records;
    std::set<std::uint32_t> ids;
    std::size_t lineNo = 0;
    std::size_t from = 0;
    while (from < text.size()) {
        auto end = text.find('\n', from);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = trim(text.substr(from, end - from));
        from = end + 1;
        ++lineNo;
        if (line.empty() || line.front() == '#') continue;
        const LineParser parser(sourceName, lineNo);
        auto record = parseLine(line, parser);
        if (!record) return record.error();
        if (!ids.insert(record->id).second)
            return parser.error("id " + std::to_string(record->id) + " is used twice");
        records.push_back(*record);
    }
    return records;
}

}  // namespace zeb::stations
