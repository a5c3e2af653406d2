#include "store/Viewer.h"

#include <array>
#include <string_view>

#include "common/ReceivedFile.h"

namespace zeb::store {
namespace {

struct ViewerInfo {
    EntryKind kind;
    std::string_view program;
    std::string_view windowClass;
};

constexpr std::array<ViewerInfo, 5> kViewers{{
    {EntryKind::Fax, "zebfaxv", "ZEB-FAX Viewer"},
    {EntryKind::Warning, "zebwarnv", "ZEB-Warn-View"},
    {EntryKind::Information, "zebwarnv", "ZEB-Warn-View"},
    {EntryKind::Audio, "zebplay", "ZEB-Audioplayer"},
    {EntryKind::Observations, "zebsynv", "ZEB-WorldMap"},
}};

// The file's name as the viewer is given it (the viewers look in their own
// folder of the working directory).
std::string fileArgument(const Entry& entry) {
    if (!entry.path.empty()) return entry.path.filename().string();
    switch (entry.kind) {
        case EntryKind::Fax: return fileName(ReceivedKind::Fax, entry.time);
        case EntryKind::Warning: return fileName(ReceivedKind::Warning, entry.time);
        case EntryKind::Information: return fileName(ReceivedKind::Information, entry.time);
        case EntryKind::Audio: return fileName(ReceivedKind::Audio, entry.time);
        case EntryKind::Observations: break;
    }
    return {};
}

}  // namespace

std::optional<Viewer> viewerFor(const Entry& entry) {
    for (const ViewerInfo& info : kViewers) {
        if (info.kind != entry.kind) continue;
        Viewer viewer{std::string(info.program), {}, std::string(info.windowClass)};
        viewer.args.push_back(entry.kind == EntryKind::Observations ? std::to_string(entry.key)
                                                                    : fileArgument(entry));
        return viewer;
    }
    return std::nullopt;
}

}  // namespace zeb::store
