// Build-time converter: world-atlas TopoJSON (land and countries) into the
// compact WORLD.MAP the observation map reads.
//   zebmapconv LAND.json COUNTRIES.json OUTPUT
#include "MapFile.h"

#include <QFile>

#include <cstdio>

#include "common/AtomicFile.h"

namespace {

bool readJson(const char* path, QByteArray& out) {
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "zebmapconv: %s: %s\n", path, file.errorString().toLocal8Bit().data());
        return false;
    }
    out = file.readAll();
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: zebmapconv LAND.json COUNTRIES.json OUTPUT\n");
        return 2;
    }
    QByteArray land, countries;
    if (!readJson(argv[1], land) || !readJson(argv[2], countries)) return 1;
    const auto map = zeb::zebsynv::convertTopoJson(land, countries);
    if (!map) {
        std::fprintf(stderr, "zebmapconv: %s\n", map.error().message.c_str());
        return 1;
    }
    const auto written = zeb::writeFileAtomically(argv[3], zeb::zebsynv::encodeWorldMap(*map));
    if (!written) {
        std::fprintf(stderr, "zebmapconv: %s: %s\n", argv[3], written.error().message.c_str());
        return 1;
    }
    std::printf("zebmapconv: %zu coast outlines, %zu borders\n",
                map->count(zeb::zebsynv::LineKind::Coast),
                map->count(zeb::zebsynv::LineKind::Border));
    return 0;
}
