// The bulletin scanner, the report parser and the description on arbitrary
// received characters: random text, truncated groups, overlong lines. The
// first byte picks the scanner's clock; every byte after it is received.
#include <cstddef>
#include <cstdint>
#include <string>

#include "weather/TextScanner.h"

namespace {

using namespace zeb::weather;

class NullOutput : public BulletinOutput {
public:
    void appendText(std::string_view text) override { total += text.size(); }
    void markStart(Collected) override {}
    void saveCollected(Collected, bool) override {}
    void playWarningTone() override {}
    std::size_t total = 0;
};

class CheckingStore : public ReportStore {
public:
    void store(const SynopRecord& record) override {
        const SynopRecordBytes bytes = encode(record);
        // What a viewer reads back must describe without trouble.
        const SynopRecord back = decode(bytes);
        if (back.station.name.size() > kMaxStationName) __builtin_trap();
    }
};

const WeatherData& data() {
    static const WeatherData d = [] {
        WeatherData w;
        StationEntry e;
        e.number = 10637;
        e.region = 1062;
        e.indicator = {'E', 'D', 'Z', 'W'};
        e.name = std::string(51, 'N');
        w.stations.add(e);
        w.types.parse("SM Synoptic\nFQ Warning\nSN Ships\n");
        w.areas.parse("DL Germany\nVD Atlantic\n");
        std::string texts = "1062 " + std::string(251, 'G') + "\n";
        for (const char* key : {"ER00", "ER01", "ER02", "WMA1", "PSTA", "KURX", "SRUF", "SREG",
                                "TW//", "BED/", "WCL/", "GW99", "TWH/"})
            texts += std::string(key) + " " + std::string(251, 'x') + "\n";
        w.texts.parse(texts);
        return w;
    }();
    return d;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size == 0) return 0;
    NullOutput output;
    CheckingStore store;
    TextScanner scanner(data(), output, &store);
    const zeb::TimeKey now = 1700000000 + static_cast<zeb::TimeKey>(bytes[0]) * 86400 * 7;
    scanner.setClock([now] { return now; });
    for (std::size_t i = 1; i < size; ++i) scanner.scanChar(bytes[i]);
    const std::string description =
        describeReport(scanner.record(), true, data().texts, ReportFormats::english());
    if (description.size() > kMaxDescription) __builtin_trap();
    return 0;
}
