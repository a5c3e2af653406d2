#include "common/ReceivedFile.h"

#include "common/AtomicFile.h"
#include "common/Text.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <map>
#include <mutex>
#include <span>
#include <utility>

namespace zeb {
namespace {

struct KindInfo {
    ReceivedKind kind;
    std::string_view prefix;  // without the '_'
    std::string_view extension;
    std::string_view dir;
};

constexpr std::array<KindInfo, 7> kKinds{{
    {ReceivedKind::Fax, "FAX", "BMP", kFaxDir},
    {ReceivedKind::FaxThumbnail, "FAX", "BMM", kFaxDir},
    {ReceivedKind::FaxWork, "FAX", "BMX", kFaxDir},
    {ReceivedKind::Warning, "WARN", "RTF", kSynopDir},
    {ReceivedKind::Information, "INFO", "RTF", kSynopDir},
    {ReceivedKind::Audio, "AUDIO", "WAV", kSynopDir},
    {ReceivedKind::AudioGsm, "AUDIO", "GSM", kSynopDir},
}};

const KindInfo& info(ReceivedKind kind) {
    for (const KindInfo& k : kKinds)
        if (k.kind == kind) return k;
    return kKinds[0];
}

// Reads exactly `digits` decimal digits at `pos`.
bool readField(std::string_view s, std::size_t& pos, int digits, int& out) {
    if (pos + static_cast<std::size_t>(digits) > s.size()) return false;
    int value = 0;
    for (int i = 0; i < digits; ++i) {
        const char c = s[pos + static_cast<std::size_t>(i)];
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    pos += static_cast<std::size_t>(digits);
    out = value;
    return true;
}

bool readChar(std::string_view s, std::size_t& pos, char c) {
    if (pos >= s.size() || s[pos] != c) return false;
    ++pos;
    return true;
}

std::span<const ReceivedKind> family(ReceivedKind kind) {
    static constexpr ReceivedKind kFax[] = {ReceivedKind::Fax, ReceivedKind::FaxThumbnail,
                                            ReceivedKind::FaxWork};
    static constexpr ReceivedKind kAudio[] = {ReceivedKind::Audio, ReceivedKind::AudioGsm};
    static constexpr ReceivedKind kWarning[] = {ReceivedKind::Warning};
    static constexpr ReceivedKind kInformation[] = {ReceivedKind::Information};
    switch (kind) {
        case ReceivedKind::Fax:
        case ReceivedKind::FaxThumbnail:
        case ReceivedKind::FaxWork: return kFax;
        case ReceivedKind::Audio:
        case ReceivedKind::AudioGsm: return kAudio;
        case ReceivedKind::Warning: return kWarning;
        case ReceivedKind::Information: return kInformation;
    }
    return {};
}

}  // namespace

std::string_view directoryOf(ReceivedKind kind) { return info(kind).dir; }

bool isLocalTime(ReceivedKind kind) {
    return kind == ReceivedKind::Audio || kind == ReceivedKind::AudioGsm;
}

std::string fileName(ReceivedKind kind, const NameTime& t) {
    const KindInfo& k = info(kind);
    char buf[64];
    std::snprintf(buf, sizeof buf, "_%d-%02d-%02d_%02d-%02d.", t.year, t.month, t.day, t.hour,
                  t.minute);
    return std::string(k.prefix) + buf + std::string(k.extension);
}

std::filesystem::path relativePath(ReceivedKind kind, const NameTime& time) {
    return std::filesystem::path(std::string(directoryOf(kind))) / fileName(kind, time);
}

std::optional<ReceivedName> parseFileName(std::string_view name) {
    for (const KindInfo& k : kKinds)
        if (auto t = parseFileName(k.kind, name)) return ReceivedName{k.kind, *t};
    return std::nullopt;
}

std::optional<NameTime> parseFileName(ReceivedKind kind, std::string_view name) {
    const KindInfo& k = info(kind);
    const std::size_t stem = k.prefix.size() + 1;
    if (name.size() != stem + 16 + 1 + k.extension.size()) return std::nullopt;
    if (!equalsNoCase(name.substr(0, k.prefix.size()), k.prefix) || name[k.prefix.size()] != '_')
        return std::nullopt;
    if (!equalsNoCase(name.substr(name.size() - k.extension.size()), k.extension))
        return std::nullopt;
    NameTime t;
    std::size_t pos = stem;
    if (!(readField(name, pos, 4, t.year) && readChar(name, pos, '-') &&
          readField(name, pos, 2, t.month) && readChar(name, pos, '-') &&
          readField(name, pos, 2, t.day) && readChar(name, pos, '_') &&
          readField(name, pos, 2, t.hour) && readChar(name, pos, '-') &&
          readField(name, pos, 2, t.minute) && readChar(name, pos, '.')))
        return std::nullopt;
    if (!isValid(t)) return std::nullopt;
    return t;
}

TimeKey keyOf(const ReceivedName& name) {
    if (isLocalTime(name.kind)) {
        if (auto key = localTimeKey(name.time)) return *key;
    }
    return timeKey(name.time);
}

std::optional<NameTime> firstFreeTime(const std::filesystem::path& workDir, ReceivedKind kind,
                                      const NameTime& time, int maxMinutes) {
    NameTime t = time;
    t.second = 0;
    // Stepping is done on the name's own fields (UTC or local alike), one
    // minute at a time through the calendar.
    TimeKey key = timeKey(t);
    for (int i = 0; i < maxMinutes; ++i, key += 60) {
        const NameTime candidate = breakDown(key);
        bool taken = false;
        std::error_code ec;
        for (ReceivedKind member : family(kind))
            taken = taken || std::filesystem::exists(workDir / relativePath(member, candidate), ec);
        if (!taken) return candidate;
    }
    return std::nullopt;
}

Result<std::filesystem::path> writeReceivedFile(const std::filesystem::path& dir, ReceivedKind kind,
                                                const NameTime& time, std::string_view bytes,
                                                int maxMinutes) {
    // What this process found last for the kind in this directory: every
    // minute from `from` up to `taken` is taken. A request inside that span
    // starts after it, so that a busy day does not test every name again.
    struct Span {
        TimeKey from = 0, taken = 0;
    };
    static std::mutex mutex;
    static std::map<std::pair<std::string, int>, Span> spans;
    const auto slot = std::make_pair(dir.string(), static_cast<int>(kind));

    NameTime t = time;
    t.second = 0;
    const TimeKey requested = timeKey(t);
    TimeKey key = requested, from = requested;
    {
        const std::lock_guard lock(mutex);
        if (const auto it = spans.find(slot);
            it != spans.end() && it->second.from <= requested && requested <= it->second.taken) {
            from = it->second.from;
            key = it->second.taken + 60;
        }
    }
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    for (int i = 0; i < maxMinutes; ++i, key += 60) {
        const NameTime candidate = breakDown(key);
        bool taken = false;
        for (ReceivedKind member : family(kind))
            taken = taken || std::filesystem::exists(dir / fileName(member, candidate), ec);
        if (taken) continue;
        const std::filesystem::path path = dir / fileName(kind, candidate);
        auto written = writeNewFileAtomically(path, bytes);
        if (written) {
            const std::lock_guard lock(mutex);
            spans[slot] = Span{from, key};
            return path;
        }
        // Another program took the name a moment ago: the next minute.
        if (written.error().systemError() != EEXIST) return written.error();
    }
    return Error{EEXIST, "No free file name for " + fileName(kind, breakDown(requested)) + " in " +
                             dir.string() + "."};
}

}  // namespace zeb
