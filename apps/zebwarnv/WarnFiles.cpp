#include "WarnFiles.h"

#include "ui/ViewerProgram.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "common/SuiteDirs.h"
#include "weather/Rtf.h"

namespace zeb::zebwarnv {

namespace fs = std::filesystem;

namespace {

// "The text is not in RTF format." → "the text is not in RTF format": the
// reader's sentence as the reason after "… cannot be read: ".
std::string reasonOf(std::string message) {
    if (!message.empty() && message.back() == '.') message.pop_back();
    if (message.size() > 1 && std::isupper(static_cast<unsigned char>(message[0])) &&
        std::islower(static_cast<unsigned char>(message[1])))
        message[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(message[0])));
    return message;
}

// The digits of a control word's number at `i`; moves `i` past them.
long long numberAt(std::string_view rtf, std::size_t& i) {
    const bool negative = i < rtf.size() && rtf[i] == '-';
    if (negative) ++i;
    long long value = 0;
    while (i < rtf.size() && std::isdigit(static_cast<unsigned char>(rtf[i]))) {
        value = std::min<long long>(value * 10 + (rtf[i] - '0'), 1ll << 40);
        ++i;
    }
    return negative ? -value : value;
}

}  // namespace

Result<fs::path> viewerWorkDir(const std::optional<fs::path>& chosen) {
    return ui::viewerWorkDir(chosen, kSynopDir);
}

fs::path resolveBulletin(const fs::path& workDir, const std::string& argument) {
    return ui::resolveViewerFile(workDir, kSynopDir, argument);
}

std::optional<ReceivedName> bulletinName(const fs::path& file) {
    auto name = parseFileName(file.filename().string());
    if (!name || (name->kind != ReceivedKind::Warning && name->kind != ReceivedKind::Information))
        return std::nullopt;
    return name;
}

std::vector<BulletinEntry> listBulletins(const fs::path& dir) {
    std::vector<BulletinEntry> found;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const auto name = bulletinName(it->path());
        std::error_code typeError;
        if (!name || !it->is_regular_file(typeError)) continue;
        BulletinEntry entry{it->path(), name->kind, name->time, {}};
        if (auto text = ui::readViewerFile(it->path(), kMaxBulletinFileBytes, kLabelReadBytes,
                                           "a bulletin")) {
            if (auto document = weather::readRtf(*text))
                entry.label =
                    lineOf(document->plainText(), name->kind == ReceivedKind::Warning ? 1 : 2);
        }
        found.push_back(std::move(entry));
    }
    std::sort(found.begin(), found.end(), [](const BulletinEntry& a, const BulletinEntry& b) {
        const TimeKey ka = timeKey(a.time), kb = timeKey(b.time);
        if (ka != kb) return ka > kb;
        if (a.kind != b.kind) return a.kind == ReceivedKind::Warning;
        return a.path.filename() > b.path.filename();
    });
    return found;
}

bool rtfIsComplete(std::string_view rtf) {
    int depth = 0;
    bool opened = false;
    for (std::size_t i = 0; i < rtf.size(); ++i) {
        const char c = rtf[i];
        if (c == '{') {
            ++depth;
            opened = true;
        } else if (c == '}') {
            if (--depth == 0) return true;
        } else if (c == '\\' && i + 1 < rtf.size()) {
            if (rtf.compare(i + 1, 3, "bin") != 0) {
                ++i;  // an escaped character: "\{", "\}", "\\" count as text
                continue;
            }
            std::size_t at = i + 4;
            const long long skip = numberAt(rtf, at);
            if (at < rtf.size() && rtf[at] == ' ') ++at;
            if (skip > 0 && static_cast<unsigned long long>(skip) > rtf.size() - at) return false;
            i = at + static_cast<std::size_t>(std::max(skip, 0ll)) - 1;
        }
    }
    return opened && depth == 0;
}

Result<std::string> loadBulletin(const fs::path& path, std::uintmax_t maxBytes) {
    auto bytes = ui::readViewerFile(path, maxBytes, maxBytes, "a bulletin");
    if (!bytes) return bytes.error();
    if (bytes->empty()) return Error{EINVAL, "the file is empty"};
    auto document = weather::readRtf(*bytes);
    if (!document) return Error{document.error().code, reasonOf(document.error().message)};
    if (!rtfIsComplete(*bytes))
        return Error{EINVAL, "the file ends before its RTF document does (it is cut off)"};
    return document->plainText();
}

std::string lineOf(std::string_view text, std::size_t index) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < index; ++i) {
        start = text.find('\n', start);
        if (start == std::string_view::npos) return {};
        ++start;
    }
    std::size_t end = std::min(text.find('\n', start), text.size());
    if (end > start && text[end - 1] == '\r') --end;
    return std::string(text.substr(start, std::min(end - start, kMaxLabelBytes)));
}

}  // namespace zeb::zebwarnv
