// The files below DATA and the records of STATION.DAT can be replaced or
// damaged by hand: the same bytes are read as the station table, as text
// tables and as a record. Entries keep their limits; a record written and
// read again keeps its values, and its description stays within its limit.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

#include "common/LittleEndian.h"
#include "weather/ReportDescription.h"
#include "weather/WeatherData.h"

using namespace zeb::weather;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    StationTable stations;
    if (stations.parse(bytes) && stations.size() == 0) std::abort();
    if (size >= kStationEntryHeader) {
        const auto number = static_cast<std::int32_t>(zeb::le::get32(data));
        for (auto e : {stations.find(number), stations.findByIndicator(bytes.substr(14, 4))}) {
            std::array<std::uint8_t, kStationEntrySize> area{};
            if (e) encodeStationEntry(*e, area);
            if (e && (e->name.size() > kMaxStationName || !(decodeStationEntry(area) == *e)))
                std::abort();
        }
    }
    TextTable texts(4);
    texts.parse(bytes);
    TextTable types(2);
    types.parse(bytes);
    for (const char* key : {"SM", "ER00", "1062"})
        if (texts.lookup(key).size() > kMaxEntryText || types.lookup(key).size() > kMaxEntryText)
            std::abort();

    SynopRecordBytes raw{};
    std::copy_n(data, std::min(size, raw.size()), raw.begin());
    const SynopRecord record = decode(raw);
    const SynopRecordBytes written = encode(record);
    SynopRecord cut = record;  // a text area without a zero reads as 80 bytes, writes as 79
    for (std::string* text : {&cut.headingTypeText, &cut.headingAreaText, &cut.bbbText})
        text->resize(std::min(text->size(), kRecordTextSize - 1));
    if (!(decode(written) == cut) || encode(cut) != written) std::abort();
    for (bool first : {false, true})
        if (describeReport(record, first, texts, ReportFormats::english()).size() > kMaxDescription)
            std::abort();
    return 0;
}
