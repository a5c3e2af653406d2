#include "common/ProfileFile.h"

#include "common/AtomicFile.h"
#include "common/FindFile.h"
#include "common/Format.h"
#include "common/Text.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <charconv>
#include <climits>
#include <cmath>
#include <ctime>
#include <mutex>

namespace zeb {
namespace {

// Serialises read-modify-write cycles of settings files between programs: a
// lock on the directory, because the file itself is replaced by each write.
class DirectoryLock {
public:
    explicit DirectoryLock(const std::filesystem::path& dir)
        : fd_(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (fd_ >= 0) ::flock(fd_, LOCK_EX);
    }
    ~DirectoryLock() {
        if (fd_ >= 0) ::close(fd_);  // closing releases the lock
    }
    DirectoryLock(const DirectoryLock&) = delete;
    DirectoryLock& operator=(const DirectoryLock&) = delete;

private:
    int fd_;
};

}  // namespace

std::string formatInt(long long value) { return std::to_string(value); }

std::string formatReal(double value) { return formatFixed(value, 6); }

int parseIntPrefix(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT_MAX) value = INT_MAX;
    return static_cast<int>(value);
}

double parseRealPrefix(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    // from_chars also takes "inf" and "nan"; those are no settings values.
    if (i >= text.size() || !((text[i] >= '0' && text[i] <= '9') || text[i] == '.')) return 0.0;
    double value = 0.0;
    const auto res = std::from_chars(text.data() + i, text.data() + text.size(), value,
                                     std::chars_format::general);
    if (res.ec == std::errc::result_out_of_range) {
        // Overflow and underflow: from_chars leaves the value unset.
        value = 0.0;
    } else if (res.ec != std::errc() || !std::isfinite(value)) {
        return 0.0;
    }
    return negative ? -value : value;
}

std::size_t ProfileFile::buildPath(std::string_view directory, std::string_view fileName) {
    std::filesystem::path dir =
        directory.empty() ? std::filesystem::current_path() : std::filesystem::path(directory);
    const std::string name = toUpperAscii(fileName);
    path_ = findFileNoCase(dir, name);
    return path_.string().size();
}

struct ProfileFile::Cache {
    std::mutex mutex;
    std::filesystem::path path;
    struct stat identity {};
    bool settled = false;
    std::shared_ptr<const IniDocument> document;
};

std::shared_ptr<ProfileFile::Cache> ProfileFile::makeCache() { return std::make_shared<Cache>(); }

namespace {
bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}
}  // namespace

std::shared_ptr<const IniDocument> ProfileFile::document() const {
    std::lock_guard lock(cache_->mutex);
    struct stat now {};
    if (::stat(path_.c_str(), &now) != 0) {
        cache_->document.reset();
        return std::make_shared<const IniDocument>();
    }
    if (cache_->document && cache_->settled && cache_->path == path_ &&
        sameFile(cache_->identity, now))
        return cache_->document;
    // Stated before it is read: a change during the read is seen next time.
    // A file changed within the last second may change again without its
    // time of change moving (file times advance in clock ticks): it is read
    // again each time until it has settled.
    struct timespec clock {};
    ::clock_gettime(CLOCK_REALTIME, &clock);
    cache_->settled = clock.tv_sec - now.st_mtim.tv_sec > 1;
    auto text = readWholeFile(path_);
    if (!text) {
        cache_->document.reset();
        return std::make_shared<const IniDocument>();
    }
    cache_->document = std::make_shared<const IniDocument>(*text);
    cache_->path = path_;
    cache_->identity = now;
    return cache_->document;
}

IniDocument ProfileFile::load() const { return *document(); }

bool ProfileFile::hasKey(std::string_view key) const {
    return document()->get(section_, key).has_value();
}

int ProfileFile::readInt(std::string_view key, int defaultValue) const {
    const auto value = document()->get(section_, key);
    return value ? parseIntPrefix(*value) : defaultValue;
}

double ProfileFile::readReal(std::string_view key, double defaultValue) const {
    const auto value = document()->get(section_, key);
    return value ? parseRealPrefix(*value) : defaultValue;
}

std::string ProfileFile::readText(std::string_view key, std::string_view defaultValue,
                                  std::size_t maxChars) const {
    const auto value = document()->get(section_, key);
    std::string text = value ? *value : std::string(defaultValue);
    if (text.size() > maxChars) text.resize(maxChars);
    return text;
}

std::size_t ProfileFile::readBytes(std::string_view key, std::span<std::uint8_t> buffer) const {
    const auto value = document()->get(section_, key);
    if (!value) return 0;
    std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
    std::size_t count = 0;
    for (; count < buffer.size() && 2 * count + 1 < value->size(); ++count) {
        const int hi = hexDigit((*value)[2 * count]);
        const int lo = hexDigit((*value)[2 * count + 1]);
        if (hi < 0 || lo < 0) break;
        buffer[count] = static_cast<std::uint8_t>(hi * 16 + lo);
    }
    return count;
}

template <class Edit>
Result<void> ProfileFile::modify(Edit edit) {
    const std::filesystem::path dir = path_.has_parent_path() ? path_.parent_path() : ".";
    DirectoryLock lock(dir);
    auto text = readWholeFile(path_);
    if (!text && text.error().systemError() != ENOENT) return text.error();
    IniDocument doc(text ? *text : std::string());
    const std::string before = doc.text();
    if (auto result = edit(doc); !result) return result;
    const std::string after = doc.text();
    if (after == before) return success();
    return writeFileAtomically(path_, after);
}

Result<void> ProfileFile::writeText(std::string_view key, std::string_view text) {
    return modify([&](IniDocument& doc) { return doc.set(section_, key, text); });
}

Result<void> ProfileFile::writeInt(std::string_view key, int value) {
    return writeText(key, formatInt(value));
}

Result<void> ProfileFile::writeReal(std::string_view key, double value) {
    return writeText(key, formatReal(value));
}

Result<void> ProfileFile::writeBytes(std::string_view key, std::span<const std::uint8_t> bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (std::uint8_t b : bytes) {
        text += kHex[b >> 4];
        text += kHex[b & 15];
    }
    return writeText(key, text);
}

Result<void> ProfileFile::removeKey(std::string_view key) {
    return modify([&](IniDocument& doc) {
        doc.removeKey(section_, key);
        return success();
    });
}

Result<void> ProfileFile::removeSection() {
    return modify([&](IniDocument& doc) {
        doc.removeSection(section_);
        return success();
    });
}

}  // namespace zeb
