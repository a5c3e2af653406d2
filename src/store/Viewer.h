// Which of the suite's viewers shows an entry of the received-file store, and
// the window class by which a running viewer is found again.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "store/ReceivedStore.h"

namespace zeb::store {

struct Viewer {
    std::string program;            // executable name, e.g. "zebfaxv"
    std::vector<std::string> args;  // one argv element each, never a shell line
    std::string windowClass;
};

// Fax: zebfaxv with the picture's file name; warning or information bulletin:
// zebwarnv with the RTF file's name; observations: zebsynv with the key in
// decimal; recording: zebplay with the file name. The file name is the
// entry's own; an entry without a path gets the name formatted from its time.
// nullopt for a kind no viewer shows.
std::optional<Viewer> viewerFor(const Entry& entry);

}  // namespace zeb::store
