#include "common/FindFile.h"

#include <string>
#include <system_error>

#include "common/Text.h"

namespace zeb {

std::filesystem::path findFileNoCase(const std::filesystem::path& dir, std::string_view name) {
    const std::filesystem::path exact = dir / std::string(name);
    std::error_code ec;
    if (std::filesystem::exists(exact, ec)) return exact;
    std::filesystem::path best;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string candidate = it->path().filename().string();
        if (equalsNoCase(candidate, name) && (best.empty() || candidate < best.filename().string()))
            best = it->path();
    }
    return best.empty() ? exact : best;
}

}  // namespace zeb
