// Test helpers: temporary directories, environment variables, files.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace zeb::test {

// A fresh directory under /tmp, removed with everything in it at scope end.
// Paths are short on purpose: Unix socket paths must stay under 108 bytes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Sets (or with nullopt unsets) an environment variable; restores it at scope end.
class ScopedEnv {
public:
    ScopedEnv(std::string name, std::optional<std::string> value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

// Changes the current directory; restores it at scope end.
class ScopedCwd {
public:
    explicit ScopedCwd(const std::filesystem::path& dir);
    ~ScopedCwd();
    ScopedCwd(const ScopedCwd&) = delete;
    ScopedCwd& operator=(const ScopedCwd&) = delete;

private:
    std::filesystem::path old_;
};

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);

// Value of an environment variable the test build sets (ZEB_TEST_...), or "".
std::string testSetting(const char* name);

// The reference data beside the project, or nullopt when it is absent (tests
// that need it skip).
std::optional<std::filesystem::path> sharedData();

}  // namespace zeb::test
