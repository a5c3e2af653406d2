#include "ZebRttySettings.h"

#include "common/LittleEndian.h"
#include "rtty/RttySettings.h"

#include <algorithm>

#include <charconv>
#include <cstdio>

namespace zeb::zebrtty {

namespace {

constexpr std::size_t kColourAt = 20;  // COLORREF in the record
constexpr std::size_t kPitchAt = 27;   // pitch and family
constexpr std::uint32_t kMaskFaceColourSize = 0x20000000u | 0x40000000u | 0x80000000u;

// "a,b,c,d": the integers, nullopt when there are not `n` of them.
template <std::size_t N>
std::optional<std::array<int, N>> readInts(std::string_view text) {
    std::array<int, N> out{};
    for (std::size_t i = 0; i < N; ++i) {
        while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
        const auto r = std::from_chars(text.data(), text.data() + text.size(), out[i]);
        if (r.ec != std::errc()) return std::nullopt;
        text.remove_prefix(static_cast<std::size_t>(r.ptr - text.data()));
        while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
        if (i + 1 < N) {
            if (text.empty() || text.front() != ',') return std::nullopt;
            text.remove_prefix(1);
        }
    }
    return out;
}

std::optional<ui::FontRecordBytes> readRecord(const ProfileFile& file, const char* key) {
    ui::FontRecordBytes record{};
    if (file.readBytes(key, record) != record.size()) return std::nullopt;
    return record;
}

}  // namespace

ui::FontRecordBytes defaultFontRecord() {
    ui::FontRecordBytes r{};
    le::Writer w(r);
    w.u32(0, static_cast<std::uint32_t>(r.size()));
    w.u32(4, kMaskFaceColourSize);
    w.i32(12, 200);  // twips
    w.u8(kPitchAt, 0x21);
    return r;
}

ui::FontRecordBytes defaultReportRecord(const ui::FontRecordBytes& text) {
    ui::FontRecordBytes r = text;
    le::Writer(r).u32(kColourAt, 0x00008000u);  // RGB(0,128,0)
    return r;
}

std::array<int, 3> recordColour(const ui::FontRecordBytes& record) {
    const std::uint32_t c = le::get32(&record[kColourAt]);
    return {static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
            static_cast<int>((c >> 16) & 0xFF)};
}

ZebRttySettings readSettings(const ProfileFile& settingsFile, const ProfileFile& systemFile) {
    ZebRttySettings s;
    ProfileFile file = settingsFile;
    s.params = rtty::loadRttyParams(file, rtty::kRttySection, rtty::SettingsOwner::Rtty);
    // The raster's slider reaches 1 pixel per sample; more would leave its picture.
    s.params.speed = std::min(s.params.speed, 1.0f);
    file.setSection(rtty::kRttySection);
    if (auto rgb = readInts<3>(file.readText("BGCOLOR", "192,192,192")))
        for (std::size_t i = 0; i < 3; ++i) s.background[i] = std::clamp((*rgb)[i], 0, 255);
    s.font = readRecord(file, "FONT");
    s.reportFont = readRecord(file, "SYNFONT");
    file.setSection("WINDOW");
    for (std::size_t i = 0; i < kWindowKeys.size(); ++i)
        if (auto v = readInts<4>(file.readText(kWindowKeys[i], "0,0,0,0")))
            s.windows[i] = {(*v)[0], (*v)[1], (*v)[2], (*v)[3]};
    ProfileFile system = systemFile;
    system.setSection("SYSTEM");
    s.synopDir = system.readText("SYNOPDIR", "SYNOP");
    if (s.synopDir.empty()) s.synopDir = "SYNOP";
    // On unless switched off, as the launcher's settings dialog shows it.
    s.warnSound = system.readInt("WARNSOUND", 1) != 0;
    return s;
}

Result<void> writeAppearance(ProfileFile& file, const ZebRttySettings& s) {
    file.setSection("PARAM");
    char colour[48];
    std::snprintf(colour, sizeof colour, "%d,%d,%d", s.background[0], s.background[1],
                  s.background[2]);
    if (auto r = file.writeText("BGCOLOR", colour); !r) return r;
    if (s.font)
        if (auto r = file.writeBytes("FONT", *s.font); !r) return r;
    if (s.reportFont)
        if (auto r = file.writeBytes("SYNFONT", *s.reportFont); !r) return r;
    return {};
}

Result<void> writeSettings(ProfileFile& file, const ZebRttySettings& s) {
    if (auto r =
            rtty::saveRttyParams(file, rtty::kRttySection, rtty::SettingsOwner::Rtty, s.params);
        !r)
        return r;
    if (auto r = writeAppearance(file, s); !r) return r;
    file.setSection("WINDOW");
    for (std::size_t i = 0; i < kWindowKeys.size(); ++i) {
        const WindowPos& w = s.windows[i];
        if (w.empty()) continue;
        char text[64];
        std::snprintf(text, sizeof text, "%d,%d,%d,%d", w.left, w.top, w.right, w.bottom);
        if (auto r = file.writeText(kWindowKeys[i], text); !r) return r;
    }
    return {};
}

}  // namespace zeb::zebrtty
