// ProfileFile: the settings-file accessor of every program of the suite. It
// holds the file's path and the current section; callers set the section
// before a run of reads or writes.
//
// Reads never fail: an absent file, section or key gives the default. The
// file is parsed once and parsed again only when it changed on disk (another
// name, size or time of change), so a run of reads costs one stat() each.
// Writes replace the file atomically (see AtomicFile.h) and report failures. Numbers
// are read and written in the "C" convention ("7050.000000"), whatever the
// desktop's locale, because other programs and older installations read them.
#pragma once

#include "common/IniDocument.h"
#include "common/Result.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace zeb {

class ProfileFile {
public:
    ProfileFile() = default;
    explicit ProfileFile(std::filesystem::path path) : path_(std::move(path)) {}

    // Path = directory (the current directory when empty) + "/" + file name.
    // Only the file name is upper-cased ("nimba.ini" → "NIMBA.INI"); when no
    // file of exactly that name exists but one differing only in case does
    // (a settings file copied from Windows), that one is used. Returns the
    // length of the path.
    std::size_t buildPath(std::string_view directory, std::string_view fileName);

    const std::filesystem::path& path() const { return path_; }
    void setPath(std::filesystem::path path) { path_ = std::move(path); }

    const std::string& section() const { return section_; }
    void setSection(std::string_view section) { section_ = section; }

    // Decimal integer: the leading integer part of the value (blanks, sign,
    // digits); a value that is no number gives 0; out-of-range values are
    // clamped to int.
    int readInt(std::string_view key, int defaultValue) const;
    // Decimal number; a value that is no (finite) number gives 0.
    double readReal(std::string_view key, double defaultValue) const;
    // Text of at most maxChars bytes (longer values are cut).
    std::string readText(std::string_view key, std::string_view defaultValue = {},
                         std::size_t maxChars = 255) const;
    // Byte record stored as two hexadecimal digits per byte. Absent key: returns
    // 0 and leaves `buffer` as it is, so a built-in default survives. Present
    // key: zeroes `buffer`, then converts pairs of hexadecimal digits until the
    // buffer is full or a pair is not hexadecimal; returns the number of bytes
    // converted (less than buffer.size() tells a short or damaged record).
    std::size_t readBytes(std::string_view key, std::span<std::uint8_t> buffer) const;
    // True when the key exists in the current section.
    bool hasKey(std::string_view key) const;

    Result<void> writeInt(std::string_view key, int value);      // "%d"
    Result<void> writeReal(std::string_view key, double value);  // "%f", six decimals
    Result<void> writeText(std::string_view key, std::string_view text);
    Result<void> writeBytes(std::string_view key,
                            std::span<const std::uint8_t> bytes);  // "%02X" each
    Result<void> removeKey(std::string_view key);
    Result<void> removeSection();

    // The whole file as a document (empty when it is missing or unreadable).
    IniDocument load() const;

private:
    template <class Edit>
    Result<void> modify(Edit edit);
    // The parsed file as it is on disk now.
    std::shared_ptr<const IniDocument> document() const;

    std::filesystem::path path_;
    std::string section_;
    // Shared by copies (it is keyed by the path) and safe to use from
    // several threads.
    struct Cache;
    std::shared_ptr<Cache> cache_ = makeCache();
    static std::shared_ptr<Cache> makeCache();
};

// Locale-independent number texts as the settings files hold them.
std::string formatInt(long long value);
std::string formatReal(double value);  // six decimals, like "%f"
int parseIntPrefix(std::string_view text);
double parseRealPrefix(std::string_view text);

}  // namespace zeb
