#include "store/ReceivedStore.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string_view>

#include "common/LittleEndian.h"
#include "common/ReceivedFile.h"
#include "weather/Rtf.h"
#include "weather/StationFile.h"

namespace zeb::store {
namespace {

namespace fs = std::filesystem;
using RecordSpan = std::span<const std::uint8_t, weather::kSynopRecordSize>;

// The observation time of a record (SynopRecord::reportTime): unsigned
// 32-bit little endian at this offset. Read in place, because listing and
// clean-up look at every record and need nothing else of it.
constexpr std::size_t kReportTimeOffset = 12;

// A bulletin's label lies in its first lines; more than this is never read,
// so that a huge file under a bulletin's name cannot stall the listing. The
// RTF reader closes what a cut leaves open.
constexpr std::size_t kLabelReadLimit = 256 * 1024;

// The kinds of names the store owns. The picture being received (.BMX) is
// not among them: it is never listed, aged or deleted.
constexpr std::array<ReceivedKind, 6> kStoreKinds{
    ReceivedKind::Fax,         ReceivedKind::FaxThumbnail, ReceivedKind::Warning,
    ReceivedKind::Information, ReceivedKind::Audio,        ReceivedKind::AudioGsm,
};

// A store file found in its folder.
struct Found {
    ReceivedName name;
    fs::path path;  // relative to the working directory
    bool regular = false;
};

TimeKey recordKey(RecordSpan bytes) {
    return fromStored32(le::get32(bytes.data() + kReportTimeOffset));
}

fs::path stationPath() { return fs::path(std::string(kSynopDir)) / weather::kStationFileName; }

Error systemError(const std::string& what, const fs::path& path, int err) {
    return Error{err, "Cannot " + what + " \"" + path.string() + "\": " + std::strerror(err) + "."};
}

// The listed kind of a received kind; nullopt for the fax's companion files.
std::optional<EntryKind> entryKindOf(ReceivedKind kind) {
    switch (kind) {
        case ReceivedKind::Fax: return EntryKind::Fax;
        case ReceivedKind::Warning: return EntryKind::Warning;
        case ReceivedKind::Information: return EntryKind::Information;
        case ReceivedKind::Audio:
        case ReceivedKind::AudioGsm: return EntryKind::Audio;
        case ReceivedKind::FaxThumbnail:
        case ReceivedKind::FaxWork: return std::nullopt;
    }
    return std::nullopt;
}

// The store kind a name has in `folder`, if any: a warning's name in FAX/ is
// no warning.
std::optional<ReceivedName> parseIn(std::string_view folder, std::string_view name) {
    for (const ReceivedKind kind : kStoreKinds) {
        if (directoryOf(kind) != folder) continue;
        if (auto time = parseFileName(kind, name)) return ReceivedName{kind, *time};
    }
    return std::nullopt;
}

// Every store file of one folder; a folder that is missing or cannot be read
// has none. Directories are passed over whatever their names.
std::vector<Found> scanFolder(const fs::path& workDir, std::string_view folder) {
    std::vector<Found> found;
    std::error_code ec;
    fs::directory_iterator it(workDir / folder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code typeError;
        if (it->is_directory(typeError)) continue;
        const std::string name = it->path().filename().string();
        if (auto parsed = parseIn(folder, name)) {
            found.push_back(
                {*parsed, fs::path(std::string(folder)) / name, it->is_regular_file(typeError)});
        }
    }
    return found;
}

// Line `index` (from 0) of an RTF file's plain text, cut to kMaxLabel bytes;
// empty when the file cannot be read or has no such line.
std::string readLabel(const fs::path& file, std::size_t index) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return {};
    std::error_code ec;
    const auto size = fs::file_size(file, ec);
    std::string rtf(ec ? kLabelReadLimit : std::min<std::uintmax_t>(size, kLabelReadLimit), '\0');
    in.read(rtf.data(), static_cast<std::streamsize>(rtf.size()));
    rtf.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    auto document = weather::readRtf(rtf);
    if (!document) return {};
    const std::string text = document->plainText();
    std::size_t start = 0;
    for (std::size_t i = 0; i < index; ++i) {
        start = text.find('\n', start);
        if (start == std::string::npos) return {};
        ++start;
    }
    const std::size_t end = std::min(text.find('\n', start), text.size());
    return text.substr(start, std::min(end - start, kMaxLabel));
}

void addFiles(const fs::path& workDir, std::string_view folder, std::vector<Entry>& out) {
    for (const Found& f : scanFolder(workDir, folder)) {
        const auto kind = entryKindOf(f.name.kind);
        if (!kind || !f.regular) continue;
        Entry entry;
        entry.kind = *kind;
        entry.key = keyOf(f.name);
        entry.time = f.name.time;
        entry.path = f.path;
        if (entry.kind == EntryKind::Warning) entry.label = readLabel(workDir / f.path, 1);
        if (entry.kind == EntryKind::Information) entry.label = readLabel(workDir / f.path, 2);
        out.push_back(std::move(entry));
    }
}

// True when the station file is known to be absent; an error while finding
// out is left for the reader to report.
bool stationFileMissing(const fs::path& file) {
    std::error_code ec;
    return !fs::exists(file, ec) && !ec;
}

void addObservations(const fs::path& workDir, std::vector<Entry>& out) {
    const fs::path file = workDir / stationPath();
    // Looking does not leave a lock file behind where there is no station file.
    if (stationFileMissing(file)) return;
    auto records = weather::readStationRecords(file);
    if (!records) return;
    std::map<TimeKey, std::size_t> counts;
    for (const auto& record : *records) ++counts[recordKey(record)];
    for (const auto& [key, count] : counts) {
        Entry entry;
        entry.kind = EntryKind::Observations;
        entry.key = key;
        entry.time = breakDown(key);
        entry.records = count;
        out.push_back(std::move(entry));
    }
}

bool listedBefore(const Entry& a, const Entry& b) {
    if (a.key != b.key) return a.key < b.key;
    if (a.kind != b.kind) return a.kind < b.kind;
    return a.path.native() < b.path.native();
}

// Removes one file of the store; one already gone is no failure.
void removeFile(const fs::path& workDir, const fs::path& relative, Report& report) {
    const fs::path full = workDir / relative;
    if (::unlink(full.c_str()) == 0) {
        ++report.files;
        return;
    }
    const int err = errno;
    if (err != ENOENT) report.failures.push_back({relative, systemError("delete", full, err)});
}

// Rewrites the station file without the records whose key `doomed` accepts.
void removeRecords(const fs::path& workDir, const std::function<bool(TimeKey)>& doomed,
                   Report& report) {
    const fs::path file = workDir / stationPath();
    if (stationFileMissing(file)) return;
    auto removed = weather::removeStationRecords(
        file, [&doomed](RecordSpan bytes) { return doomed(recordKey(bytes)); });
    if (!removed) {
        report.failures.push_back({stationPath(), removed.error()});
        return;
    }
    report.records += *removed;
}

// The received name of an entry's file: its path must be FOLDER/NAME with a
// name of the entry's kind in the kind's folder.
std::optional<ReceivedName> fileOf(const Entry& entry) {
    const std::vector<fs::path> parts(entry.path.begin(), entry.path.end());
    if (parts.size() != 2) return std::nullopt;
    const auto parsed = parseIn(parts[0].string(), parts[1].string());
    if (!parsed || entryKindOf(parsed->kind) != entry.kind) return std::nullopt;
    return parsed;
}

void deleteFile(const fs::path& workDir, const Entry& entry,
                std::optional<std::vector<Found>>& faxFolder, Report& report) {
    const auto name = fileOf(entry);
    if (!name) {
        report.failures.push_back(
            {entry.path, Error{EINVAL, "\"" + entry.path.string() + "\" is no received file."}});
        return;
    }
    removeFile(workDir, entry.path, report);
    if (name->kind != ReceivedKind::Fax) return;
    // The reduced companion of the picture: found by its name's time, so a
    // companion whose name differs only in case goes too.
    if (!faxFolder) faxFolder = scanFolder(workDir, kFaxDir);
    for (const Found& f : *faxFolder) {
        if (f.name.kind == ReceivedKind::FaxThumbnail && f.name.time == name->time) {
            removeFile(workDir, f.path, report);
        }
    }
}

}  // namespace

std::vector<Entry> listReceived(const fs::path& workDir) {
    std::vector<Entry> entries;
    addFiles(workDir, kFaxDir, entries);
    addFiles(workDir, kSynopDir, entries);
    addObservations(workDir, entries);
    std::sort(entries.begin(), entries.end(), listedBefore);
    return entries;
}

Result<std::vector<weather::SynopRecordBytes>> recordsAt(const fs::path& workDir, TimeKey key) {
    std::vector<weather::SynopRecordBytes> matching;
    const fs::path file = workDir / stationPath();
    if (stationFileMissing(file)) return matching;
    auto records = weather::readStationRecords(file);
    if (!records) return records.error();
    for (const auto& record : *records) {
        if (recordKey(record) == key) matching.push_back(record);
    }
    return matching;
}

Report deleteEntries(const fs::path& workDir, std::span<const Entry> entries) {
    Report report;
    std::set<TimeKey> observationKeys;
    std::optional<std::vector<Found>> faxFolder;  // read once, when a fax is deleted
    for (const Entry& entry : entries) {
        if (entry.kind == EntryKind::Observations) {
            observationKeys.insert(entry.key);
        } else {
            deleteFile(workDir, entry, faxFolder, report);
        }
    }
    // All observation times in one rewrite of the station file.
    if (!observationKeys.empty()) {
        removeRecords(
            workDir, [&observationKeys](TimeKey key) { return observationKeys.count(key) > 0; },
            report);
    }
    return report;
}

Report cleanUp(const fs::path& workDir, int hours, TimeKey now) {
    Report report;
    if (hours <= 0) return report;
    const TimeKey limit = now - static_cast<TimeKey>(hours) * 3600;
    removeRecords(
        workDir, [limit](TimeKey key) { return key < limit; }, report);
    // Names are collected before anything is removed: a directory changed
    // while it is being read may show an entry twice or not at all.
    for (const std::string_view folder : {kFaxDir, kSynopDir}) {
        for (const Found& f : scanFolder(workDir, folder)) {
            if (keyOf(f.name) < limit) removeFile(workDir, f.path, report);
        }
    }
    return report;
}

}  // namespace zeb::store
