// zebdecode cw: Morse telegraphy from a recording.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "Commands.h"
#include "common/Format.h"
#include "common/TextSink.h"
#include "common/TimeKey.h"
#include "cw/CwDecoder.h"
#include "cw/CwSettings.h"

namespace zeb::zebdecode {

namespace {

constexpr const char* kCwHelp =
    "usage: zebdecode cw [--center auto|HZ] [--width HZ] [--variant matched|filter]\n"
    "                    [--dir DIR] FILE|-\n"
    "\n"
    "Decodes Morse telegraphy from a recording and prints the text. The speed is\n"
    "learnt from the signal (5 to 60 words per minute).\n"
    "\n"
    "options:\n"
    "  --center auto|HZ  auto (the default): the strongest keyed tone from 200 to\n"
    "                    3000 Hz is found and followed, and printed on stderr;\n"
    "                    HZ: the tone is looked for in HZ-WIDTH to HZ+WIDTH only\n"
    "                    (500-2000; with --variant filter, the filter's centre)\n"
    "  --width HZ        half width of that band (20-500, default 100)\n"
    "  --variant NAME    matched (the default): a filter matched to the dot length\n"
    "                    and timing that adapts to the sender; filter: a band-pass\n"
    "                    filter, a 20 Hz envelope and fixed timing ratios (this design\n"
    "                    starts at about 26 words per minute and needs --center)\n"
    "  --dir DIR         also save the text as DIR/SYNOP/WARN_yyyy-mm-dd_hh-mi.RTF (UTC\n"
    "                    now, the next free minute when that name exists), as the main\n"
    "                    program does when a scheduled CW reception ends; DIR is\n"
    "                    made when missing (--save DIR is the same)\n"
    "  --help            this text\n"
    "exit status: 0 text decoded, 1 none, 2 bad usage or a recording that cannot\n"
    "be read, 3 the text could not be saved\n";

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
    if (wantsHelp(args)) {
        std::fputs(kCwHelp, stdout);
        std::fputs(kInputHelp, stdout);
        return kExitOk;
    }
    ParsedArgs parsed;
    if (auto error = parseArgs(args, {"center", "width", "save", "dir", "variant"}, {}, parsed))
        return fail(*error);

    cw::ToneBand band;
    std::string saveDir;
    bool autoCenter = true;
    auto variant = cw::CwVariant::Matched;
    for (const auto& [name, value] : parsed.options) {
        if (name == "center" && value == "auto") {
            autoCenter = true;
        } else if (name == "variant") {
            if (value == "matched") {
                variant = cw::CwVariant::Matched;
            } else if (value == "filter") {
                variant = cw::CwVariant::Filter;
            } else {
                return fail("--variant must be matched or filter");
            }
        } else if (name == "center") {
            autoCenter = false;
            const auto v = parseNumber(value, cw::kMinCenter, cw::kMaxCenter);
            if (!v) return fail("--center must be auto or a frequency from 500 to 2000 Hz");
            band.center = static_cast<int>(*v + 0.5);
        } else if (name == "width") {
            const auto v = parseNumber(value, cw::kMinWidth, cw::kMaxWidth);
            if (!v) return fail("--width must be a half width from 20 to 500 Hz");
            band.width = static_cast<int>(*v + 0.5);
        } else if (name == "save" || name == "dir") {
            if (value.empty()) return fail("--" + name + " needs a directory");
            saveDir = value;
        }
    }

    StdoutSink sink;
    cw::CwDecoder decoder(sink);
    decoder.setVariant(variant, autoCenter);
    if (!decoder.start(band)) return fail("the CW filters cannot be created");
    bool reported = false;
    bool heard = false;
    const auto feed = [&](std::span<const float> block) {
        heard = true;
        decoder.processBlock(
            std::span<const float, cw::kBlockLength>(block.data(), cw::kBlockLength));
        if (!reported && variant == cw::CwVariant::Matched && decoder.matched().locked()) {
            note(formatPrintf("tone %.1f Hz", {decoder.matched().toneHz()}));
            reported = true;
        }
    };
    // What was decoded before a read error is still printed and saved.
    const auto error = decodeRecording(parsed, feed);
    if (error && !heard) return fail(*error);  // nothing read: nothing to finish or save
    decoder.finish();
    std::fputs("\n", stdout);
    if (variant == cw::CwVariant::Matched && !reported) {
        note("no keyed tone found");
    }

    if (!saveDir.empty()) {
        auto saved = cw::stopAndSave(decoder, true, saveDir, sink.collected(), breakDown(now()));
        if (!saved) {
            std::fprintf(stderr, "zebdecode: the received text is not saved: %s\n",
                         saved.error().message.c_str());
            return kExitNotSaved;
        }
        if (saved->empty()) {
            note("nothing received, no file saved");
        } else {
            std::fprintf(stderr, "zebdecode: saved %s\n", saved->c_str());
        }
    }
    if (error) return fail(*error);
    const std::string& text = sink.collected();
    const bool decoded = std::any_of(text.begin(), text.end(), [](char c) { return c != ' '; });
    return decoded ? kExitOk : kExitNothing;
}

}  // namespace zeb::zebdecode
