// Section FAXPARAM of the settings file is edited by hand: any text must give
// a fax record and correction table the decoder can work with (finite, positive
// derived values), and both must write and read back unchanged. The same bytes
// read as the binary records must serialize back to what was read.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <string_view>

#include "fax/FaxConfig.h"

using namespace zeb::fax;

namespace {

bool usable(const FaxConfig& c, const CorrectionTable& t) {
    const Derived d = derive(c, t);
    for (std::size_t i = 0; i < CorrectionTable::kEntries; ++i)
        if (!(t.at(i) == 0.0f || (t.at(i) > 0.0f && t.at(i) < 1.0f))) return false;
    return d.width > 0 && d.height > 0 && d.pixelRate > 0.0f && d.pixelRate < 1.0f &&
           d.whiteHalf > 0.0f && d.blackHalf > d.whiteHalf && std::isfinite(d.greyFactor);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    if (size >= kConfigSize &&
        !std::ranges::equal(serialize(parseConfig(bytes)), bytes.first(kConfigSize)))
        std::abort();
    const auto table = CorrectionTable::parse(bytes).serialize();
    if (CorrectionTable::parse(table).serialize() != table) std::abort();

    // Each write of the settings is flushed to the disk: tmpfs keeps that fast.
    static const std::filesystem::path path =
        (std::filesystem::is_directory("/dev/shm") ? std::filesystem::path("/dev/shm")
                                                   : std::filesystem::temp_directory_path()) /
        ("zeb-fuzz-fax-" + std::to_string(::getpid()));
    // The section opens the file so that the search starts inside it; the
    // input may close it, open others or open it again.
    std::ofstream(path, std::ios::binary)
        << "[FAXPARAM]\n"
        << std::string_view(reinterpret_cast<const char*>(data), size);
    zeb::ProfileFile profile(path);
    FaxConfig config;
    CorrectionTable corrections;
    readSettings(profile, config, corrections, "hw:1");
    if (validate(config) != 0 || !usable(config, corrections)) std::abort();
    corrections.applyToAllModes(config.ioc, config.lpm);
    if (!usable(config, corrections)) std::abort();
    if (writeSettings(profile, config, corrections, "hw:1")) {
        FaxConfig again;
        CorrectionTable againTable;
        readSettings(profile, again, againTable, "hw:1");
        if (serialize(again) != serialize(config) ||
            againTable.serialize() != corrections.serialize())
            std::abort();
    }
    std::filesystem::remove(path);
    return 0;
}
