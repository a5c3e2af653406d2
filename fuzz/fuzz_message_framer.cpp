// The SITOR-B message framer on arbitrary received characters (byte FF stands
// for a lost character; the first byte picks the station selection). Nothing
// may read outside its buffers, every save must follow a start mark, and the
// lines, counts and the record of messages must stay bounded.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "weather/MessageFramer.h"

using namespace zeb::weather;

namespace {

class CheckingOutput : public BulletinOutput {
public:
    void appendText(std::string_view text) override {
        if (text.size() > 200) std::abort();
    }
    void markStart(Collected) override { marked = true; }
    void saveCollected(Collected, bool) override {
        if (!marked) std::abort();
        marked = false;
    }
    void playWarningTone() override {}
    bool marked = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    CheckingOutput output;
    MessageFramer framer(output);
    if (data[0] < 26) framer.setSelection({*LetterSet::parse(std::string(1, 'A' + data[0])), {}});
    constexpr zeb::TimeKey kStep = 7200;  // each message two hours after the one before
    zeb::TimeKey now = 1700000000;
    framer.setClock([&now] { return now += kStep; });
    int fed = 0;
    for (std::size_t i = 1; i < size; ++i, ++fed) {
        if (data[i] == 0xFF)
            framer.characterLost();
        else
            framer.frameChar(data[i]);
        if (const auto& m = framer.lastMessage();
            m && (m->lost < 0 || m->lost > m->characters || m->characters > fed + 1 ||
                  (m->id && m->id->text().size() != 4)))
            std::abort();
    }
    // Messages of more than 72 hours ago are forgotten.
    if (framer.log().entries().size() > kNavtexMemorySeconds / kStep + 1) std::abort();
    framer.reset();
    if (framer.inMessage()) std::abort();
    return 0;
}
