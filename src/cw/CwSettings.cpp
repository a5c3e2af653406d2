#include "cw/CwSettings.h"

#include "common/AtomicFile.h"
#include "common/ReceivedFile.h"

#include <algorithm>
#include <cstdio>
#include <system_error>

namespace zeb::cw {

namespace {

constexpr std::uint32_t kMaskSize = 0x80000000u;
constexpr std::uint32_t kMaskColour = 0x40000000u;
constexpr std::uint32_t kMaskFace = 0x20000000u;
constexpr std::uint8_t kFixedPitchModern = 0x21;
constexpr int kDefaultHeightTwips = 150;

void putLe32(FontRecord& r, std::size_t at, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i) r[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t getLe32(const FontRecord& r, std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(r[at + i]) << (8 * i);
    return v;
}

}  // namespace

ToneBand readToneBand(ProfileFile& profile) {
    profile.setSection(kCwSection);
    ToneBand band;
    band.center = std::clamp(profile.readInt("CENTER", band.center), kMinCenter, kMaxCenter);
    band.width = std::clamp(profile.readInt("WIDTH", band.width), kMinWidth, kMaxWidth);
    return band;
}

Result<void> writeToneBand(ProfileFile& profile, ToneBand band) {
    profile.setSection(kCwSection);
    if (auto r = profile.writeInt("CENTER", band.center); !r) return r;
    return profile.writeInt("WIDTH", band.width);
}

CwOptions readCwOptions(ProfileFile& profile) {
    profile.setSection(kCwSection);
    CwOptions options;
    if (profile.readInt("DEMOD", 1) == 0) options.variant = CwVariant::Filter;
    if (profile.readInt("AUTOCENTER", 1) == 0) options.autoCenter = false;
    return options;
}

Result<void> writeCwOptions(ProfileFile& profile, CwOptions options) {
    profile.setSection(kCwSection);
    if (auto r = profile.writeInt("DEMOD", static_cast<int>(options.variant)); !r) return r;
    return profile.writeInt("AUTOCENTER", options.autoCenter ? 1 : 0);
}

FontRecord defaultFontRecord() {
    FontRecord r{};
    putLe32(r, 0, static_cast<std::uint32_t>(r.size()));
    putLe32(r, 4, kMaskSize | kMaskColour | kMaskFace);
    putLe32(r, 12, kDefaultHeightTwips);
    putLe32(r, 20, 0);  // black
    r[25] = kFixedPitchModern;
    return r;
}

FontRecord readFontRecord(ProfileFile& profile) {
    profile.setSection(kCwSection);
    FontRecord r = defaultFontRecord();
    if (profile.readBytes("FONT", r) != r.size()) r = defaultFontRecord();
    return r;
}

Result<void> writeFontRecord(ProfileFile& profile, const FontRecord& record) {
    profile.setSection(kCwSection);
    return profile.writeBytes("FONT", record);
}

int fontHeightTwips(const FontRecord& record) {
    const auto h = static_cast<std::int32_t>(getLe32(record, 12));
    return h > 0 && h < 20000 ? h : kDefaultHeightTwips;
}

std::string textToRtf(std::string_view text, int heightTwips) {
    const int halfPoints = std::max(2, (heightTwips + 5) / 10);
    std::string out =
        "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fmodern\\fprq1 Courier New;}}\r\n"
        "\\f0\\fs" +
        std::to_string(halfPoints) + " ";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
            out += "\\par\r\n";
        } else if (c == '\n') {
            out += "\\par\r\n";
        } else if (c == '\\' || c == '{' || c == '}') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x80 || c < 0x20) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\'%02x", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    out += "\\par\r\n}\r\n";
    return out;
}

Result<std::filesystem::path> saveWarningText(const std::filesystem::path& workDir,
                                              std::string_view text, const NameTime& now,
                                              int heightTwips) {
    return writeReceivedFile(workDir / kSynopDir, ReceivedKind::Warning, now,
                             textToRtf(text, heightTwips));
}

Result<std::filesystem::path> stopAndSave(CwDecoder& decoder, bool receptionActive,
                                          const std::filesystem::path& workDir,
                                          std::string_view text, const NameTime& now) {
    std::filesystem::path saved;
    Result<std::filesystem::path> result = saved;
    // Nothing received (silence, or only spaces) is no warning file.
    const bool blank = text.find_first_not_of(" \t\r\n") == std::string_view::npos;
    if (decoder.running() && receptionActive && !blank)
        result = saveWarningText(workDir, text, now);
    decoder.stop();
    return result;
}

}  // namespace zeb::cw
