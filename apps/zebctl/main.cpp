// zebctl: the suite bus from a shell.
//
//   zebctl list                           the classes of the running programs
//   zebctl close CLASS                    close a program as the launcher does
//   zebctl broadcast NAME [WPARAM LPARAM] send a registered message to all
//   zebctl poke SERVICE CODE [TEXT|--hex BYTES]  a command to a service
//   zebctl request SERVICE [--hex]        the service's answer to the last poke
#include "common/Version.h"
#include "common/bus/Bus.h"
#include "common/bus/ReceiverLink.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <optional>
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
    "  poke SERVICE CODE [TEXT | --hex BYTES]\n"
    "                                  send command CODE (0 to 65535) with TEXT\n"
    "                                  (sent with its terminating NUL) or the\n"
    "                                  hexadecimal BYTES to the service on topic\n"
    "                                  COMMAND; prints \"acknowledged\" (status 0)\n"
    "                                  or \"not processed\" (status 1)\n"
    "  request SERVICE [--hex]         print the service's answer to the last poke\n"
    "                                  as text, or as hexadecimal bytes; status 1\n"
    "                                  when it has none\n"
    "\n"
    "options:\n"
    "  -h, --help                      show this text\n"
    "  -V, --version                   print the version\n"
    "\n"
    "Class names may contain blanks: zebctl close \"ZEB-FAX Viewer\"\n"
    "Tune the receiver: zebctl poke \"RECEIVER CONTROL\" 3 7050.500\n"
    "Read it back:      zebctl poke \"RECEIVER CONTROL\" 102 && zebctl request \"RECEIVER "
    "CONTROL\" --hex\n"
    "A service is reached only when it runs; nothing is started.\n";

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

std::optional<std::vector<std::uint8_t>> parseHex(std::string_view text) {
    std::vector<std::uint8_t> bytes;
    std::string digits;
    for (char c : text)
        if (c != ' ' && c != ':') digits.push_back(c);
    if (digits.size() % 2 != 0) return std::nullopt;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        unsigned value = 0;
        const auto r = std::from_chars(digits.data() + i, digits.data() + i + 2, value, 16);
        if (r.ec != std::errc() || r.ptr != digits.data() + i + 2) return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(value));
    }
    return bytes;
}

zeb::Result<zeb::bus::ConversationClient> openService(const std::string& service) {
    return zeb::bus::ConversationClient::connect(service, zeb::bus::kReceiverTopic);
}

int poke(const std::vector<std::string>& args) {
    std::int64_t code = 0;
    if (!parseInteger(args[2], code) || code < 0 || code > 65535)
        return usageError("CODE must be a number from 0 to 65535.");
    std::vector<std::uint8_t> record;
    const auto command = static_cast<std::uint16_t>(code);
    if (args.size() == 5 && args[3] == "--hex") {
        const auto bytes = parseHex(args[4]);
        if (!bytes) return usageError("BYTES must be pairs of hexadecimal digits.");
        record = zeb::bus::encodeCommand(command, *bytes);
    } else if (args.size() == 4) {
        record = zeb::bus::encodeTextCommand(command, args[3]);
    } else if (args.size() == 3) {
        record = zeb::bus::encodeCommand(command);
    } else {
        return usageError("poke takes SERVICE CODE and TEXT or --hex BYTES.");
    }
    auto client = openService(args[1]);
    auto answer = client ? client->poke(zeb::bus::kReceiverFormat, record)
                         : zeb::Result<zeb::bus::PokeAnswer>(client.error());
    if (!answer) {
        std::fprintf(stderr, "zebctl: %s\n", answer.error().message.c_str());
        return 2;
    }
    const bool acknowledged = *answer == zeb::bus::PokeAnswer::Acknowledged;
    std::puts(acknowledged ? "acknowledged" : "not processed");
    return acknowledged ? 0 : 1;
}

int request(const std::vector<std::string>& args) {
    const bool hex = args.size() == 3 && args[2] == "--hex";
    if (args.size() == 3 && !hex) return usageError("request takes SERVICE and optionally --hex.");
    auto client = openService(args[1]);
    auto answer = client ? client->request(zeb::bus::kReceiverFormat)
                         : zeb::Result<std::optional<std::vector<std::uint8_t>>>(client.error());
    if (!answer) {
        std::fprintf(stderr, "zebctl: %s\n", answer.error().message.c_str());
        return 2;
    }
    if (!*answer) return 1;
    const auto& bytes = **answer;
    if (hex) {
        for (std::size_t i = 0; i < bytes.size(); ++i)
            std::printf("%s%02X", i ? " " : "", static_cast<unsigned>(bytes[i]));
        std::printf("\n");
    } else {
        const auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
        std::printf("%s\n", std::string(bytes.begin(), end).c_str());
    }
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
    if (command == "poke") {
        if (args.size() < 3) return usageError("poke takes SERVICE CODE and TEXT or --hex BYTES.");
        return poke(args);
    }
    if (command == "request") {
        if (args.size() < 2 || args.size() > 3)
            return usageError("request takes SERVICE and optionally --hex.");
        return request(args);
    }
    return usageError("unknown command '" + command + "'.");
}
