// zebctl: the suite bus from a shell.
//
//   zebctl list                           the classes of the running programs
//   zebctl close CLASS                    close a program as the launcher does
//   zebctl broadcast NAME [WPARAM LPARAM] send a registered message to all
#include "common/Version.h"
#include "common/bus/Bus.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int kUsageError = 64;  // EX_USAGE

constexpr const char* kHelp =
    "Usage: zebctl COMMAND [ARGUMENTS]\n"
    "\n"
    "Lists, closes and messages the running programs of the suite through the\n"
    "suite bus ($ZEB_BUS_DIR, else $XDG_RUNTIME_DIR/zeb, else /tmp/zeb-<uid>).\n"
    "\n"
    "commands:\n"
    "  list                            print the window class of every running\n"
    "                                  program, one per line\n"
    "  close CLASS                     ask the program that owns CLASS to close and\n"
    "                                  wait up to 2 s; exit status 0 when it went\n"
    "                                  away, 1 when it is still running or the\n"
    "                                  request could not be delivered, 2 when no\n"
    "                                  program owned the class\n"
    "  broadcast NAME [WPARAM LPARAM]  send the registered message NAME with two\n"
    "                                  integer parameters (default 0) to every\n"
    "                                  program and print how many it reached\n"
    "\n"
    "options:\n"
    "  -h, --help                      show this text\n"
    "  -V, --version                   print the version\n"
    "\n"
    "Class names may contain blanks: zebctl close \"ZEB-FAX Viewer\"\n";

int usageError(const std::string& why) {
    std::fprintf(stderr, "zebctl: %s\nTry 'zebctl --help'.\n", why.c_str());
    return kUsageError;
}

bool parseInteger(std::string_view text, std::int64_t& value) {
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

int list() {
    if (auto dir = zeb::bus::ensureDirectory(); !dir) {
        std::fprintf(stderr, "zebctl: %s\n", dir.error().message.c_str());
        return 1;
    }
    for (const auto& name : zeb::bus::listClasses()) std::printf("%s\n", name.c_str());
    return 0;
}

int close(const std::string& className) {
    const auto result = zeb::bus::closeByClass(className);
    if (!result) {
        std::fprintf(stderr, "zebctl: %s\n", result.error().message.c_str());
        return 1;
    }
    switch (*result) {
        case zeb::bus::CloseResult::Closed: return 0;
        case zeb::bus::CloseResult::StillRunning:
            std::fprintf(stderr, "zebctl: the program of class \"%s\" is still running.\n",
                         className.c_str());
            return 1;
        case zeb::bus::CloseResult::NotRunning:
            std::fprintf(stderr, "zebctl: no program owns the class \"%s\".\n", className.c_str());
            return 2;
    }
    return 1;
}

int broadcast(const std::vector<std::string>& args) {
    std::int64_t wParam = 0, lParam = 0;
    if (args.size() == 4 && (!parseInteger(args[2], wParam) || !parseInteger(args[3], lParam)))
        return usageError("WPARAM and LPARAM must be integers.");
    zeb::bus::Message probe;
    probe.kind = zeb::bus::MessageKind::Registered;
    probe.name = args[1];
    if (auto encoded = zeb::bus::encode(probe); !encoded)
        return usageError(encoded.error().message);
    if (auto dir = zeb::bus::ensureDirectory(); !dir) {
        std::fprintf(stderr, "zebctl: %s\n", dir.error().message.c_str());
        return 1;
    }
    std::printf("%d\n", zeb::bus::broadcast(args[1], wParam, lParam));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return usageError("a command is missing.");
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (command == "--version" || command == "-V") {
        std::puts(zeb::versionLine("zebctl").c_str());
        return 0;
    }
    if (command == "list") {
        if (args.size() != 1) return usageError("list takes no arguments.");
        return list();
    }
    if (command == "close") {
        if (args.size() != 2) return usageError("close takes one class name.");
        return close(args[1]);
    }
    if (command == "broadcast") {
        if (args.size() != 2 && args.size() != 4)
            return usageError("broadcast takes a message name and optionally WPARAM and LPARAM.");
        return broadcast(args);
    }
    return usageError("unknown command '" + command + "'.");
}
