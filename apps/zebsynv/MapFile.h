// The world map of the observation map: coastlines and country borders as
// polylines in degrees, kept in a compact little-endian file ("WORLD.MAP")
// that the build converts from Natural Earth's TopoJSON (the npm package
// world-atlas) and stages beside the language bundles.
//
//   bytes 0..7   "ZEBMAP1\0"
//   bytes 8..11  number of polylines (uint32)
//   per polyline: kind (uint8), point count (uint32), then per point the
//                longitude and latitude as float32 degrees (east, north positive)
//
// GUI-free except for the conversion, which reads the JSON with Qt Core.
#pragma once

#include <QByteArray>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "common/Result.h"

namespace zeb::zebsynv {

inline constexpr const char* kWorldMapFile = "WORLD.MAP";
inline constexpr std::string_view kWorldMapMagic{"ZEBMAP1\0", 8};

enum class LineKind : std::uint8_t {
    Coast = 1,   // a closed outline of land (first point repeated at the end)
    Border = 2,  // a stretch of border between two countries
};

struct LonLat {
    float lon = 0;
    float lat = 0;
    bool operator==(const LonLat&) const = default;
};

struct Polyline {
    LineKind kind = LineKind::Coast;
    std::vector<LonLat> points;
    bool operator==(const Polyline&) const = default;
};

struct WorldMap {
    std::vector<Polyline> lines;
    std::size_t count(LineKind kind) const;
};

std::string encodeWorldMap(const WorldMap& map);
// Fails naming what is wrong: another file, a cut-off file, a point outside
// the globe.
Result<WorldMap> decodeWorldMap(std::string_view bytes);
Result<WorldMap> readWorldMap(const std::filesystem::path& path);

// Converts world-atlas TopoJSON: the rings of the "land" object of `land`
// become coast outlines; the arcs of the "countries" object of `countries`
// that two countries share become borders. The quantized arcs are decoded
// with the topology's transform (delta-encoded positions times scale plus
// translate). An empty `countries` gives no borders.
Result<WorldMap> convertTopoJson(const QByteArray& land, const QByteArray& countries);

}  // namespace zeb::zebsynv
