// zebdecode cw: Morse telegraphy from a recording.
#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

#include "Commands.h"
#include "common/TextSink.h"
#include "common/TimeKey.h"
#include "cw/CwDecoder.h"
#include "cw/CwSettings.h"

namespace zeb::zebdecode {

namespace {

constexpr const char* kCwHelp =
    "usage: zebdecode cw [--center HZ] [--width HZ] [--save DIR] FILE|-\n"
    "\n"
    "Decodes Morse telegraphy from a recording and prints the text. The speed is\n"
    "learnt from the signal, starting at about 26 words per minute.\n"
    "\n"
    "options:\n"
    "  --center HZ  tone frequency, the centre of the filter (500-2000, default 1275)\n"
    "  --width HZ   half width of the filter: it passes CENTER-WIDTH to CENTER+WIDTH\n"
    "               (20-500, default 100)\n"
    "  --save DIR   also save the text as DIR/SYNOP/WARN_yyyy-mm-dd_hh-mi.RTF (UTC now,\n"
    "               the next free minute when that name exists), as the main program\n"
    "               does when a scheduled CW reception ends\n"
    "  --help       this text\n";

// Prints decoded text as it comes and keeps a copy for --save.
class StdoutSink : public TextSink {
public:
    void text(std::string_view bytes) override {
        std::fwrite(bytes.data(), 1, bytes.size(), stdout);
        collected_.append(bytes);
    }
    const std::string& collected() const { return collected_; }

private:
    std::string collected_;
};

}  // namespace

int runCw(const std::vector<std::string>& args) {
    if (std::find(args.begin(), args.end(), "--help") != args.end()) {
        std::fputs(kCwHelp, stdout);
        return kExitOk;
    }
    ParsedArgs parsed;
    if (auto error = parseArgs(args, {"center", "width", "save"}, {}, parsed)) return fail(*error);

    cw::ToneBand band;
    std::string saveDir;
    for (const auto& [name, value] : parsed.options) {
        if (name == "center") {
            const auto v = parseNumber(value, cw::kMinCenter, cw::kMaxCenter);
            if (!v) return fail("--center must be a frequency from 500 to 2000 Hz");
            band.center = static_cast<int>(*v + 0.5);
        } else if (name == "width") {
            const auto v = parseNumber(value, cw::kMinWidth, cw::kMaxWidth);
            if (!v) return fail("--width must be a half width from 20 to 500 Hz");
            band.width = static_cast<int>(*v + 0.5);
        } else if (name == "save") {
            if (value.empty()) return fail("--save needs a directory");
            saveDir = value;
        }
    }

    StdoutSink sink;
    cw::CwDecoder decoder(sink);
    if (!decoder.start(band)) return fail("the CW filters cannot be created");
    const auto feed = [&](std::span<const float> block) {
        decoder.processBlock(
            std::span<const float, cw::kBlockLength>(block.data(), cw::kBlockLength));
    };
    if (auto error = decodeRecording(parsed.input, feed)) return fail(*error);

    // Silence after the recording, long enough for the word timeout of
    // 8 dot lengths, posts the character still being collected.
    std::array<float, cw::kBlockLength> silence{};
    const int blocks =
        std::min(200, (8 * decoder.tracker().dotLength() + 2 * cw::KeyTracker::kHysteresis) /
                              cw::kBlockLength +
                          2);
    const auto pending = [&] {
        return !decoder.tracker().inGap() || !decoder.tracker().elements().empty();
    };
    for (int i = 0; i < blocks && pending(); ++i) feed(silence);
    std::fputs("\n", stdout);

    if (!saveDir.empty()) {
        auto saved = cw::stopAndSave(decoder, true, saveDir, sink.collected(), breakDown(now()));
        if (!saved) return fail(saved.error().message);
        std::fprintf(stderr, "zebdecode: saved %s\n", saved->c_str());
    }
    return kExitOk;
}

}  // namespace zeb::zebdecode
