// Any program of the user may connect to a conversation service and send any
// bytes: the server must hand its handler whole payloads, answer in whole
// frames or hang up, and keep no connection after the client is gone. The
// bytes are also read as a mailslot name, which must stay inside the bus,
// and as the size limit beside a mailslot.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/LittleEndian.h"
#include "common/bus/Conversation.h"
#include "common/bus/ConversationWire.h"

using namespace zeb::bus;

namespace {

struct Handler : ConversationHandler {
    bool acceptTopic(std::string_view topic) override { return topic != "NO"; }
    PokeAnswer poke(std::string_view, std::uint32_t format,
                    std::span<const std::uint8_t> data) override {
        if (data.size() > kMaxFrameBytes) std::abort();
        return format % 2 ? PokeAnswer::Acknowledged : PokeAnswer::NotProcessed;
    }
    std::optional<std::vector<std::uint8_t>> request(std::string_view,
                                                     std::uint32_t format) override {
        if (format % 3 == 0) return std::nullopt;
        return std::vector<std::uint8_t>(format % (kMaxFrameBytes + 2));
    }
};

std::filesystem::path busDirectory;
void removeBusDirectory() { std::filesystem::remove_all(busDirectory); }

ConversationServer& server() {
    static Handler handler;
    static ConversationServer s = [] {
        busDirectory =
            std::filesystem::temp_directory_path() / ("zeb-fuzz-bus-" + std::to_string(::getpid()));
        ::setenv("ZEB_BUS_DIR", busDirectory.c_str(), 1);
        std::atexit(removeBusDirectory);  // after the server is gone
        return std::move(ConversationServer::create("S", handler).value());
    }();
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ConversationServer& s = server();
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto path = mailslotPath(text)) {
        const auto inside = path->lexically_relative(directory() / "mailslot");
        if (inside.empty() || *inside.begin() == "..") std::abort();
    }
    // The size limit a mailslot's creator writes beside it, read by every writer.
    const auto limitFile = directory() / "mailslot" / "M.max";
    std::ofstream(limitFile) << text.substr(0, 40);
    const auto written = writeMailslot("M", {data, std::min<std::size_t>(size, 100)});
    std::filesystem::remove(limitFile);  // a new file each time: no flush on truncation
    if (written ||
        (written.error().code != BusError::Malformed &&
         written.error().code != BusError::TooLarge && written.error().code != BusError::NotFound))
        std::abort();
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = (directory() / "dde" / "S").string();
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) std::abort();
    (void)::send(fd, data, size, MSG_DONTWAIT | MSG_NOSIGNAL);
    ::shutdown(fd, SHUT_WR);
    for (int i = 0; i < 64 && (i == 0 || s.connectionCount() != 0); ++i) s.process();
    if (s.connectionCount() != 0) std::abort();
    std::vector<std::uint8_t> answers;
    std::uint8_t chunk[4096];
    for (ssize_t n; (n = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT)) > 0;)
        answers.insert(answers.end(), chunk, chunk + n);
    ::close(fd);
    // Whole answer frames; the last one may be cut where the server hung up.
    for (std::size_t at = 0; at + kFrameHeaderBytes <= answers.size();) {
        const auto type = static_cast<FrameType>(answers[at]);
        const std::uint32_t length = zeb::le::get32(&answers[at + 1]);
        if (type < FrameType::Connected || type > FrameType::NoData || type == FrameType::Poke ||
            type == FrameType::Request || (type != FrameType::Data && length != 0) ||
            length > kMaxFrameBytes)
            std::abort();
        at += kFrameHeaderBytes + length;
    }
    return 0;
}
