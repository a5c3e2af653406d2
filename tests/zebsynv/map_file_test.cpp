// The world map file: TopoJSON as world-atlas ships it converted into coast
// outlines and borders, the compact file written and read back, and files
// that are not a world map.
#include "MapFile.h"
#include "Stations.h"

#include <gtest/gtest.h>

#include "support/TestEnv.h"

namespace zeb::zebsynv::test {
namespace {

// Two squares side by side sharing their middle edge (arc 1), quantized
// with a scale of 0.5 and a translation of (-10, 40): arc 0 is the left
// square's outer edge, arc 2 the right square's.
const QByteArray kCountries = R"({"type": "Topology",
  "transform": {"scale": [0.5, 0.5], "translate": [-10, 40]},
  "objects": {"countries": {"type": "GeometryCollection", "geometries": [
    {"type": "Polygon", "arcs": [[0, 1]]},
    {"type": "Polygon", "arcs": [[2, -2]]}]}},
  "arcs": [[[10, 0], [-10, 0], [0, 10], [10, 0]],
           [[10, 10], [0, -10]],
           [[10, 0], [10, 0], [0, 10], [-10, 0]]]})";

// The land as one polygon made of two arcs, the second walked backwards.
const QByteArray kLand = R"({"type": "Topology",
  "transform": {"scale": [0.5, 0.5], "translate": [-10, 40]},
  "objects": {"land": {"type": "GeometryCollection", "geometries": [
    {"type": "MultiPolygon", "arcs": [[[0, -2]]]}]}},
  "arcs": [[[0, 0], [20, 0], [0, 10]],
           [[0, 0], [0, 10], [20, 0]]]})";

TEST(WorldMapFile, ConvertsQuantizedDeltaEncodedArcs) {
    const auto map = convertTopoJson(kLand, kCountries);
    ASSERT_TRUE(map.ok()) << map.error().message;
    ASSERT_EQ(map->count(LineKind::Coast), 1u);
    ASSERT_EQ(map->count(LineKind::Border), 1u);
    // The ring: arc 0 forwards, then arc 1 backwards without its repeated joint.
    const std::vector<LonLat> ring{{-10, 40}, {0, 40}, {0, 45}, {-10, 45}, {-10, 40}};
    EXPECT_EQ(map->lines[0].points, ring);
    // Only the edge both countries use is a border: x = 5 * 0.5 - 10.
    const std::vector<LonLat> border{{-5, 45}, {-5, 40}};
    EXPECT_EQ(map->lines[1].points, border);
}

TEST(WorldMapFile, RoundTripsThroughItsFile) {
    const auto map = convertTopoJson(kLand, kCountries);
    ASSERT_TRUE(map.ok());
    const std::string bytes = encodeWorldMap(*map);
    EXPECT_EQ(bytes.substr(0, 8), std::string(kWorldMapMagic));
    zeb::test::TempDir dir;
    zeb::test::writeFile(dir / kWorldMapFile, bytes);
    const auto back = readWorldMap(dir / kWorldMapFile);
    ASSERT_TRUE(back.ok()) << back.error().message;
    EXPECT_EQ(back->lines, map->lines);
}

TEST(WorldMapFile, RefusesWhatIsNoWorldMap) {
    const std::string good = encodeWorldMap(*convertTopoJson(kLand, {}));
    const std::string outside =
        encodeWorldMap(WorldMap{{Polyline{LineKind::Border, {{0, 50}, {200, 50}}}}});
    const struct {
        const char* name;
        std::string bytes;
        const char* message;
    } cases[] = {
        {"empty", "", "not a world map file"},
        {"another file", "GIF89a" + std::string(20, '\0'), "not a world map file"},
        {"cut off", good.substr(0, good.size() - 3), "cut off"},
        {"a point outside the globe", outside, "outside the globe"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto map = decodeWorldMap(c.bytes);
        ASSERT_FALSE(map.ok());
        EXPECT_NE(map.error().message.find(c.message), std::string::npos) << map.error().message;
    }
    const struct {
        const char* name;
        QByteArray land;
        const char* message;
    } topo[] = {
        {"not JSON", "{", "not JSON"},
        {"not a topology", R"({"type": "FeatureCollection"})", "not a TopoJSON"},
        {"no land", R"({"type": "Topology", "objects": {}})", "no object \"land\""},
        {"an arc missing", R"({"type": "Topology", "objects": {"land": {"type": "Polygon",
            "arcs": [[3]]}}, "arcs": []})",
         "does not exist"},
    };
    for (const auto& c : topo) {
        SCOPED_TRACE(c.name);
        const auto map = convertTopoJson(c.land, {});
        ASSERT_FALSE(map.ok());
        EXPECT_NE(map.error().message.find(c.message), std::string::npos) << map.error().message;
    }
}

TEST(StationPlots, DrawThePresentWeatherOfEachDecade) {
    const struct {
        int ww;
        WeatherGlyph glyph;
    } cases[] = {
        {0, WeatherGlyph::None},  {10, WeatherGlyph::Fog},     {17, WeatherGlyph::Thunderstorm},
        {45, WeatherGlyph::Fog},  {51, WeatherGlyph::Drizzle}, {63, WeatherGlyph::Rain},
        {73, WeatherGlyph::Snow}, {81, WeatherGlyph::Showers}, {95, WeatherGlyph::Thunderstorm},
        {25, WeatherGlyph::None},
    };
    for (const auto& c : cases) EXPECT_EQ(weatherGlyph(c.ww), c.glyph) << c.ww;
}

}  // namespace
}  // namespace zeb::zebsynv::test
