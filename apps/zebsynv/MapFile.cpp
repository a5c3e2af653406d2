#include "MapFile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <algorithm>
#include <cerrno>
#include <cmath>

#include "common/AtomicFile.h"
#include "common/LittleEndian.h"

namespace zeb::zebsynv {
namespace {

constexpr std::size_t kHeaderSize = 12;
constexpr std::size_t kLineHeaderSize = 5;
constexpr std::size_t kPointSize = 8;

Error bad(std::string text) { return Error{EINVAL, std::move(text)}; }

using Arc = std::vector<LonLat>;

// The arcs of a topology in degrees: quantized arcs hold a first position
// and then differences, each times the scale plus the translation.
Result<std::vector<Arc>> decodeArcs(const QJsonObject& topology) {
    const QJsonObject transform = topology.value(QLatin1String("transform")).toObject();
    const QJsonArray scale = transform.value(QLatin1String("scale")).toArray();
    const QJsonArray translate = transform.value(QLatin1String("translate")).toArray();
    const bool quantized = scale.size() == 2 && translate.size() == 2;
    const double sx = quantized ? scale[0].toDouble() : 1, sy = quantized ? scale[1].toDouble() : 1;
    const double tx = quantized ? translate[0].toDouble() : 0;
    const double ty = quantized ? translate[1].toDouble() : 0;
    std::vector<Arc> arcs;
    for (const QJsonValue& arcValue : topology.value(QLatin1String("arcs")).toArray()) {
        Arc arc;
        double x = 0, y = 0;
        for (const QJsonValue& pointValue : arcValue.toArray()) {
            const QJsonArray p = pointValue.toArray();
            if (p.size() < 2) return bad("an arc holds a position without two numbers");
            x = quantized ? x + p[0].toDouble() : p[0].toDouble();
            y = quantized ? y + p[1].toDouble() : p[1].toDouble();
            arc.push_back({static_cast<float>(x * sx + tx), static_cast<float>(y * sy + ty)});
        }
        arcs.push_back(std::move(arc));
    }
    return arcs;
}

// An arc index: i, or ~i for arc i walked backwards.
std::size_t arcIndex(int i) { return static_cast<std::size_t>(i < 0 ? ~i : i); }

// The rings (lists of arc indices) of the polygons of one object.
std::vector<QJsonArray> ringsOf(const QJsonObject& object) {
    std::vector<QJsonArray> rings;
    const auto addPolygon = [&rings](const QJsonArray& polygon) {
        for (const QJsonValue& ring : polygon) rings.push_back(ring.toArray());
    };
    QJsonArray geometries = object.value(QLatin1String("geometries")).toArray();
    if (geometries.isEmpty()) geometries.append(object);
    for (const QJsonValue& g : geometries) {
        const QJsonObject geometry = g.toObject();
        const QString type = geometry.value(QLatin1String("type")).toString();
        const QJsonArray arcs = geometry.value(QLatin1String("arcs")).toArray();
        if (type == QLatin1String("Polygon")) addPolygon(arcs);
        if (type == QLatin1String("MultiPolygon"))
            for (const QJsonValue& polygon : arcs) addPolygon(polygon.toArray());
    }
    return rings;
}

Result<QJsonObject> parseTopology(const QByteArray& json, const char* object) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        return bad("not JSON: " + error.errorString().toStdString());
    const QJsonObject topology = document.object();
    if (topology.value(QLatin1String("type")).toString() != QLatin1String("Topology"))
        return bad("not a TopoJSON topology");
    if (!topology.value(QLatin1String("objects")).toObject().contains(QLatin1String(object)))
        return bad(std::string("the topology has no object \"") + object + "\"");
    return topology;
}

QJsonObject objectOf(const QJsonObject& topology, const char* name) {
    return topology.value(QLatin1String("objects"))
        .toObject()
        .value(QLatin1String(name))
        .toObject();
}

Result<void> addCoasts(const QJsonObject& topology, WorldMap& map) {
    auto arcs = decodeArcs(topology);
    if (!arcs) return arcs.error();
    for (const QJsonArray& ring : ringsOf(objectOf(topology, "land"))) {
        Polyline line{LineKind::Coast, {}};
        for (const QJsonValue& value : ring) {
            const int i = value.toInt();
            if (arcIndex(i) >= arcs->size()) return bad("a ring names an arc that does not exist");
            Arc arc = (*arcs)[arcIndex(i)];
            if (i < 0) std::reverse(arc.begin(), arc.end());
            // Consecutive arcs share their joining position.
            const auto from = line.points.empty() || arc.empty() ? arc.begin() : arc.begin() + 1;
            line.points.insert(line.points.end(), from, arc.end());
        }
        if (line.points.size() >= 2) map.lines.push_back(std::move(line));
    }
    return {};
}

Result<void> addBorders(const QJsonObject& topology, WorldMap& map) {
    auto arcs = decodeArcs(topology);
    if (!arcs) return arcs.error();
    std::vector<int> uses(arcs->size(), 0);
    for (const QJsonArray& ring : ringsOf(objectOf(topology, "countries")))
        for (const QJsonValue& value : ring) {
            const std::size_t at = arcIndex(value.toInt());
            if (at >= uses.size()) return bad("a ring names an arc that does not exist");
            ++uses[at];
        }
    for (std::size_t i = 0; i < arcs->size(); ++i)
        if (uses[i] >= 2 && (*arcs)[i].size() >= 2)
            map.lines.push_back({LineKind::Border, std::move((*arcs)[i])});
    return {};
}

}  // namespace

std::size_t WorldMap::count(LineKind kind) const {
    return static_cast<std::size_t>(std::count_if(
        lines.begin(), lines.end(), [kind](const Polyline& l) { return l.kind == kind; }));
}

std::string encodeWorldMap(const WorldMap& map) {
    std::size_t size = kHeaderSize;
    for (const Polyline& line : map.lines)
        size += kLineHeaderSize + line.points.size() * kPointSize;
    std::string bytes(size, '\0');
    le::Writer w({reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size()});
    w.bytes(0, kWorldMapMagic.data(), kWorldMapMagic.size());
    w.u32(8, static_cast<std::uint32_t>(map.lines.size()));
    std::size_t at = kHeaderSize;
    for (const Polyline& line : map.lines) {
        w.u8(at, static_cast<std::uint8_t>(line.kind));
        w.u32(at + 1, static_cast<std::uint32_t>(line.points.size()));
        at += kLineHeaderSize;
        for (const LonLat& p : line.points) {
            w.f32(at, p.lon);
            w.f32(at + 4, p.lat);
            at += kPointSize;
        }
    }
    return bytes;
}

Result<WorldMap> decodeWorldMap(std::string_view bytes) {
    if (bytes.size() < kHeaderSize || bytes.substr(0, kWorldMapMagic.size()) != kWorldMapMagic)
        return bad("not a world map file");
    const le::Reader r({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
    const std::uint32_t count = r.u32(8);
    WorldMap map;
    std::size_t at = kHeaderSize;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (bytes.size() - at < kLineHeaderSize) return bad("the world map file is cut off");
        const std::uint8_t kind = r.u8(at);
        const std::uint32_t points = r.u32(at + 1);
        at += kLineHeaderSize;
        if (kind != 1 && kind != 2) return bad("the world map file holds an unknown line kind");
        if ((bytes.size() - at) / kPointSize < points) return bad("the world map file is cut off");
        Polyline line{static_cast<LineKind>(kind), std::vector<LonLat>(points)};
        for (LonLat& p : line.points) {
            p = {r.f32(at), r.f32(at + 4)};
            at += kPointSize;
            if (!(std::abs(p.lon) <= 180.5f && std::abs(p.lat) <= 90.5f))
                return bad("the world map file holds a point outside the globe");
        }
        map.lines.push_back(std::move(line));
    }
    return map;
}

Result<WorldMap> readWorldMap(const std::filesystem::path& path) {
    auto bytes = readWholeFile(path);
    if (!bytes) return bytes.error();
    return decodeWorldMap(*bytes);
}

Result<WorldMap> convertTopoJson(const QByteArray& land, const QByteArray& countries) {
    WorldMap map;
    auto landTopology = parseTopology(land, "land");
    if (!landTopology) return Error{EINVAL, "land: " + landTopology.error().message};
    if (auto added = addCoasts(*landTopology, map); !added) return added.error();
    if (countries.isEmpty()) return map;
    auto countryTopology = parseTopology(countries, "countries");
    if (!countryTopology) return Error{EINVAL, "countries: " + countryTopology.error().message};
    if (auto added = addBorders(*countryTopology, map); !added) return added.error();
    return map;
}

}  // namespace zeb::zebsynv
