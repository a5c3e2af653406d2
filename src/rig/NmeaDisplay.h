// NmeaDisplay: the position, time and motion that the receiver-control
// program's GPS panel shows, taken from the GGA, RMC and GLL sentences of a
// GPS that shares the receiver's serial line.
//
// A field is the text after the n-th comma up to the next comma, "*" or line
// end; a field a sentence does not have is empty. Numbers are plain decimals
// read into thousandths; a field that is empty, malformed or out of range
// leaves the value it would have set as it was.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zeb::rig {

// A latitude or longitude as NMEA writes it: whole degrees and minutes.
struct NmeaCoordinate {
    int degrees = 0;
    int minutes = 0;        // thousandths of a minute, 0..59999
    char hemisphere = ' ';  // 'N' or 'S', 'E' or 'W'; ' ' until a sentence names it
};

struct NmeaTime {
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
};

struct NmeaDate {
    int day = 1;
    int month = 1;
    int year = 0;  // two digits
};

// Each part stays empty until a sentence delivers it; later sentences replace
// the parts they carry and leave the others alone.
struct NmeaFix {
    std::optional<bool> valid;  // status of the last GLL
    std::optional<NmeaCoordinate> latitude;
    std::optional<NmeaCoordinate> longitude;
    std::optional<NmeaTime> time;
    std::optional<NmeaDate> date;
    std::optional<int> altitude;  // whole metres
    std::optional<int> satellites;
    std::optional<int> speed;   // thousandths of a knot
    std::optional<int> course;  // thousandths of a degree
};

class NmeaDisplay {
public:
    // Takes what the panel shows from one sentence ("$GPGGA,...", with or
    // without checksum and CR LF); returns whether it was a GGA, RMC or GLL.
    bool update(std::string_view sentence);

    const NmeaFix& fix() const { return fix_; }
    void reset() { fix_ = {}; }

private:
    NmeaFix fix_;
};

// The panel's texts; each is empty while the parts it shows are not known.
// "hh:mm:ss, dd.mm.yyyy" with the year in 2000..2099.
std::string formatTimeDate(const NmeaFix& fix);
std::string formatAltitude(const NmeaFix& fix);
std::string formatSatellites(const NmeaFix& fix);

// Formats a translator's `format` with latitude degrees, minutes (a double)
// and hemisphere (a one-character text), then the same for the longitude,
// e.g. "%d°%06.3f' %s  %d°%06.3f' %s". Safe against any format text.
std::string formatPosition(std::string_view format, const NmeaFix& fix);

}  // namespace zeb::rig
