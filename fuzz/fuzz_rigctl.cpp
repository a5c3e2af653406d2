// Any program on the machine may connect to the rigctl port and send any
// bytes: a session must answer in whole lines without control bytes, with no code
// but Hamlib's few, hand the radio only finite, non-negative frequencies and
// modes it offers, and answer the same however the bytes are cut into reads.
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "rig/ReceiverProfile.h"
#include "rig/RigctlServer.h"

using namespace zeb::rig;

namespace {

class Radio : public RigctlTarget {
public:
    explicit Radio(std::uint8_t seed)
        : features_(seed & 1 ? ModeFlag::All : ModeFlag::Usb | ModeFlag::CwNarrow),
          strength_(seed & 2 ? std::optional<int>(-40 + seed) : std::nullopt),
          hz_(seed & 4 ? NAN : 7e6) {}
    double frequencyHz() const override { return hz_; }
    bool setFrequencyHz(double hz) override {
        if (!std::isfinite(hz) || hz < 0) std::abort();
        if (hz > highHz()) return false;
        hz_ = hz;
        return true;
    }
    unsigned mode() const override { return mode_; }
    bool setMode(unsigned flag) override {
        if (std::popcount(flag) != 1 || (flag & features_) == 0) std::abort();
        mode_ = flag;
        return true;
    }
    std::uint32_t features() const override { return features_; }
    double lowHz() const override { return 0; }
    double highHz() const override { return 30e6; }
    std::optional<int> strengthDb() const override { return strength_; }

private:
    std::uint32_t features_;
    std::optional<int> strength_;
    double hz_;
    unsigned mode_ = ModeFlag::Usb;
};

// Lines without control bytes; a line that starts with "RPRT " carries one of
// the codes the session uses (echoed arguments never start a line).
void checkAnswers(std::string_view out) {
    if (!out.empty() && out.back() != '\n') std::abort();
    for (const char c : out)
        if (c != '\n' && (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)) std::abort();
    for (std::size_t at = 0; at < out.size();) {
        const std::size_t end = out.find('\n', at);
        const std::string_view line = out.substr(at, end - at);
        at = end + 1;
        if (!line.starts_with("RPRT ")) continue;
        const std::string_view code = line.substr(5);
        if (code != "0" && code != "-1" && code != "-9" && code != "-11") std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
    Radio whole(data[0]), pieces(data[0]);
    RigctlSession wholeSession(whole), piecesSession(pieces);
    std::string wholeOut, piecesOut;
    const bool wholeOpen = wholeSession.receive(input, wholeOut);
    bool piecesOpen = true;
    const std::size_t step = data[0] % 13 + 1;
    for (std::size_t at = 0; at < input.size() && piecesOpen; at += step)
        piecesOpen = piecesSession.receive(input.substr(at, step), piecesOut);
    if (wholeOpen != piecesOpen) std::abort();
    if (wholeOpen) {  // the client stops sending
        wholeSession.finish(wholeOut);
        piecesSession.finish(piecesOut);
    }
    if (wholeOut != piecesOut) std::abort();
    if (whole.frequencyHz() != pieces.frequencyHz() && !std::isnan(whole.frequencyHz()))
        std::abort();
    checkAnswers(wholeOut);
    return 0;
}
