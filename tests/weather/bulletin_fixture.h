// Shared pieces of the bulletin tests: a small set of reference data, an
// output that records what the scanner asks for, a fixed clock and a NAVTEX
// transmission through the SITOR-B handler.
#pragma once

#include <string>
#include <vector>

#include "common/TextSink.h"
#include "common/TimeKey.h"
#include "support/RttyGenerator.h"
#include "teleprinter/CharacterHandlers.h"
#include "teleprinter/CodeTables.h"
#include "weather/BulletinOutput.h"
#include "weather/TextScanner.h"
#include "weather/WeatherData.h"

namespace zeb::weather::test {

inline StationEntry station(std::int32_t number, std::int16_t region, std::int16_t elevation,
                            std::int16_t latitude, std::int16_t longitude, const char* cccc,
                            std::string name) {
    StationEntry e;
    e.number = number;
    e.region = region;
    e.elevation = elevation;
    e.latitude = latitude;
    e.longitude = longitude;
    for (int i = 0; i < 4; ++i) e.indicator[i] = cccc[i];
    e.name = std::move(name);
    return e;
}

inline WeatherData sampleData() {
    WeatherData d;
    d.stations.add(station(10637, 1062, 111, -3007, 521, "EDDF", "Frankfurt/Main"));
    d.stations.add(station(10384, 1062, 49, -3148, 803, "EDDT", "Berlin-Tegel"));
    d.stations.add(station(10641, 1062, 98, -3006, 526, "EDZW", "Offenbach"));
    d.types.parse(
        "SM Main synoptic observations\nSI Intermediate synoptic observations\n"
        "SN Non-standard synoptic observations\nFQ Warnings\nWW Warnings\n");
    d.areas.parse("DL Germany\nVD Ships, Atlantic, north of 5 N and west of 35 W\n");
    d.texts.parse(
        "1062 Germany\nER00 Unreadable ship identification\nER01 Unknown heading\n"
        "ER02 Unknown station\nRRAM Delayed\nWMA0 Wind (estimated)\nWMA1 Wind (anemometer)\n"
        "PSTA Station pressure\nPSEA Sea-level pressure\nLDAA Pressure tendency\n"
        "LDA2 Rising steadily\nLTMP Air temperature\nTTMP Dew point\nMTMP Sea temperature\n"
        "RELF Relative humidity\nTMIN Minimum temperature\nTMAX Maximum temperature\n"
        "NDSX Precipitation\nNDS1 in the last 6 hours\nHSXX Visibility\nHS66 16 km\n"
        "SRUF Ship\nSREG Buoy\nBEDX Total cloud cover\nBED8 sky overcast\n"
        "TWHX Lowest cloud base\nTWH9 2500 m or more, or no clouds\n"
        "GGWW Present weather\nGW61 Slight rain\nWOT6 stratocumulus\nTW30 900 m\n");
    return d;
}

// The scanner's requests in order, each as one readable line.
class RecordingOutput : public BulletinOutput {
public:
    void appendText(std::string_view text) override {
        events.push_back("text:" + std::string(text));
        texts += text;
    }
    void markStart(Collected kind) override {
        events.push_back(kind == Collected::Warning ? "mark:warning" : "mark:info");
    }
    void saveCollected(Collected kind, bool beforeCurrentLine) override {
        events.push_back(std::string(kind == Collected::Warning ? "save:warning" : "save:info") +
                         (beforeCurrentLine ? ":before" : ""));
    }
    void playWarningTone() override { events.push_back("tone"); }

    int count(const std::string& event) const {
        int n = 0;
        for (const auto& e : events) n += e == event ? 1 : 0;
        return n;
    }

    std::vector<std::string> events;
    std::string texts;
};

class VectorStore : public ReportStore {
public:
    void store(const SynopRecord& record) override { records.push_back(record); }
    std::vector<SynopRecord> records;
};

// 6 December 2026, 13:30 UTC: after the 12 UTC observations of the 6th.
inline TimeKey sampleNow() { return timeKey({2026, 12, 6, 13, 30, 0}); }

inline void feed(TextScanner& scanner, std::string_view text) {
    for (char c : text) scanner.scanChar(static_cast<std::uint8_t>(c));
}

// Sends `text` as a NAVTEX station does and decodes it with the filter designs'
// SITOR-B handler; both copies of `lost` characters of the body (no shift,
// line end or "NNNN") are destroyed. False when the text is too short.
inline bool transmitSitor(TextSink& display, teleprinter::CharacterSink& sink, std::string text,
                          int lost = 0) {
    for (char& c : text) c = c == '\r' ? '\n' : c;
    const std::vector<int> words = zeb::test::ccir476Words(text);
    std::vector<std::size_t> body;  // words that may be lost
    bool header = true;
    for (std::size_t i = 0; i + 12 < words.size(); ++i) {
        const std::uint8_t ch = teleprinter::kSitorLetters[static_cast<std::size_t>(words[i])];
        const bool control =
            ch == 10 || ch == 13 || ch == teleprinter::kSitorLtrs || ch == teleprinter::kSitorFigs;
        if (!header && !control) body.push_back(i);
        header = header && ch != 10;
    }
    if (static_cast<std::size_t>(lost) > body.size()) return false;
    std::vector<int> damaged = words;
    for (int k = 0; k < lost; ++k) damaged[body[body.size() * k / lost]] = 0x7F;
    teleprinter::ShiftState shift;
    teleprinter::SitorHandler handler(shift, {&display, &sink});
    for (int slot : zeb::test::fecSlots(damaged, 4, false)) handler.handle(slot);
    return true;
}

}  // namespace zeb::weather::test
