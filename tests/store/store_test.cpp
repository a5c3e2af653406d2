#include "store/ReceivedStore.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "common/ReceivedFile.h"
#include "store/Viewer.h"
#include "support/TestEnv.h"
#include "weather/Rtf.h"
#include "weather/StationFile.h"

namespace zeb::store {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

constexpr TimeKey kHour = 3600;
const TimeKey kBase = timeKey({2024, 5, 6, 12, 0});  // FAX_2024-05-06_12-00
const fs::path kStation = fs::path("SYNOP") / weather::kStationFileName;

// Sets TZ for the test and makes the C library read it; restores both.
class ScopedZone {
public:
    explicit ScopedZone(const char* zone) : env_("TZ", zone) { tzset(); }

private:
    struct Reread {
        ~Reread() { tzset(); }
    } reread_;  // destroyed last, after TZ is restored
    test::ScopedEnv env_;
};

// A record whose observation time is `key`, told apart by its station number.
std::string recordBytes(TimeKey key, std::int32_t station) {
    weather::SynopRecord r;
    r.reportTime = static_cast<std::uint32_t>(key);
    r.station.number = station;
    const auto b = weather::encode(r);
    return std::string(reinterpret_cast<const char*>(b.data()), b.size());
}

std::string rtfOf(const std::string& text) {
    weather::RtfDocument doc;
    doc.runs.push_back({weather::RtfFormat{}, text});
    return weather::writeRtf(doc);
}

void put(const TempDir& dir, const fs::path& relative, const std::string& bytes = "x") {
    fs::create_directories((dir.path() / relative).parent_path());
    test::writeFile(dir.path() / relative, bytes);
}

fs::path named(ReceivedKind kind, TimeKey key) { return relativePath(kind, breakDown(key)); }

// Only strict names of each folder's own kinds are listed, observations are
// counted per key over whole records, and entries of one key keep one order.
TEST(ReceivedStore, ListsStrictNamesAndObservationTimesInKeyOrder) {
    ScopedZone zone("UTC0");
    TempDir dir;
    for (const char* name :
         {"FAX/FAX_2024-05-06_12-00.BMP", "FAX/FAX_2024-05-06_12-00.BMM",
          "FAX/FAX_2024-05-06_11-00.BMP", "FAX/FAX_2024-05-06_13-00.BMX", "FAX/FAX_old.BMP",
          "FAX/FAX_2024-13-01_10-00.BMP", "FAX/WARN_2024-05-06_10-00.RTF",
          "SYNOP/WARN_2024-05-06_12-00.RTF", "SYNOP/INFO_2024-05-06_12-00.RTF",
          "SYNOP/AUDIO_2024-05-06_12-00.WAV", "SYNOP/AUDIO_2024-05-06_12-00.GSM",
          "SYNOP/AUDIO_2024-05-06_1200.WAV", "SYNOP/FAX_2024-05-06_08-00.BMP"}) {
        put(dir, name);
    }
    fs::create_directories(dir / "FAX/FAX_2024-05-06_09-00.BMP");  // a folder, not a picture
    const TimeKey early = kBase - 2 * kHour;
    put(dir, kStation,
        recordBytes(kBase, 1) + recordBytes(early, 2) + recordBytes(kBase, 3) +
            recordBytes(early, 4) + recordBytes(early, 5) +
            recordBytes(kBase + kHour, 6).substr(0, 100));  // an interrupted append

    struct Row {
        EntryKind kind;
        TimeKey key;
        const char* path;
        std::size_t records;
    };
    const Row expected[] = {
        {EntryKind::Observations, early, "", 3},
        {EntryKind::Fax, kBase - kHour, "FAX/FAX_2024-05-06_11-00.BMP", 0},
        {EntryKind::Fax, kBase, "FAX/FAX_2024-05-06_12-00.BMP", 0},
        {EntryKind::Warning, kBase, "SYNOP/WARN_2024-05-06_12-00.RTF", 0},
        {EntryKind::Information, kBase, "SYNOP/INFO_2024-05-06_12-00.RTF", 0},
        {EntryKind::Audio, kBase, "SYNOP/AUDIO_2024-05-06_12-00.GSM", 0},
        {EntryKind::Audio, kBase, "SYNOP/AUDIO_2024-05-06_12-00.WAV", 0},
        {EntryKind::Observations, kBase, "", 2},
    };
    const auto entries = listReceived(dir.path());
    ASSERT_EQ(entries.size(), std::size(expected));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(entries[i].kind, expected[i].kind);
        EXPECT_EQ(entries[i].key, expected[i].key);
        EXPECT_EQ(entries[i].path, fs::path(expected[i].path));
        EXPECT_EQ(entries[i].records, expected[i].records);
        EXPECT_EQ(entries[i].time, breakDown(expected[i].key));
        // Each opens in its viewer with its own file name, observations with their key.
        const auto viewer = viewerFor(entries[i]);
        ASSERT_TRUE(viewer.has_value());
        EXPECT_EQ(viewer->args, std::vector<std::string>{
                                    entries[i].path.empty() ? std::to_string(entries[i].key)
                                                            : entries[i].path.filename().string()});
    }

    // The preview's records of one time, in file order.
    auto records = recordsAt(dir.path(), kBase);
    ASSERT_TRUE(records.ok()) << records.error().message;
    ASSERT_EQ(records->size(), 2u);
    EXPECT_EQ(weather::decode((*records)[0]).station.number, 1);
    EXPECT_EQ(weather::decode((*records)[1]).station.number, 3);

    EXPECT_TRUE(listReceived(dir / "nowhere").empty());
    EXPECT_TRUE(recordsAt(dir / "nowhere", kBase)->empty());
    EXPECT_FALSE(fs::exists(dir / "nowhere"));
}

// A warning's label is the second line of its text, an information
// bulletin's the third; a file that gives none is listed without a label.
TEST(ReceivedStore, BulletinsAreLabelledFromTheirText) {
    const std::string longLine(300, '\xB0');
    const struct {
        const char* file;
        std::string content;
        std::string label;
    } cases[] = {
        {"WARN_2024-05-06_10-00.RTF", rtfOf("ZCZC WA12\nGALE WARNING\nNW 8\n"), "GALE WARNING"},
        {"INFO_2024-05-06_10-01.RTF", rtfOf("ZCZC\nNAVAREA I\nNOTICE\nEND\n"), "NOTICE"},
        {"WARN_2024-05-06_10-03.RTF", rtfOf("ZCZC\n" + longLine + "\n"), longLine.substr(0, 254)},
        {"INFO_2024-05-06_10-04.RTF", rtfOf("ONE\nTWO\n"), ""},
        {"WARN_2024-05-06_10-06.RTF", "plain text\nnot rtf\n", ""},
    };
    TempDir dir;
    for (const auto& c : cases) put(dir, fs::path("SYNOP") / c.file, c.content);
    const auto entries = listReceived(dir.path());
    ASSERT_EQ(entries.size(), std::size(cases));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].path.filename(), cases[i].file);
        EXPECT_EQ(entries[i].label, cases[i].label) << cases[i].file;
    }
}

TEST(ReceivedStore, DeletesListedEntriesAndRefusesOtherNames) {
    TempDir dir;
    const fs::path doomed[] = {named(ReceivedKind::Fax, kBase),
                               named(ReceivedKind::FaxThumbnail, kBase),
                               named(ReceivedKind::Warning, kBase)};
    const fs::path kept[] = {named(ReceivedKind::FaxWork, kBase),
                             named(ReceivedKind::Fax, kBase + kHour),
                             named(ReceivedKind::FaxThumbnail, kBase + kHour), "FAX/FAX_old.BMP",
                             fileName(ReceivedKind::Fax, breakDown(kBase))};
    for (const auto& p : doomed) put(dir, p);
    for (const auto& p : kept) put(dir, p);
    const std::string other = recordBytes(kBase + kHour, 3);
    put(dir, kStation, recordBytes(kBase, 1) + other + recordBytes(kBase, 2));

    // Entries that name no received file of their kind in its folder come
    // first: they are refused and do not stop the others.
    std::vector<Entry> entries;
    for (const auto& [kind, path] : {std::pair{EntryKind::Fax, kept[3]},
                                     {EntryKind::Warning, kept[1]},
                                     {EntryKind::Fax, kept[0]},
                                     {EntryKind::Fax, kept[4]}}) {
        entries.push_back(Entry{kind, kBase, breakDown(kBase), path, 0, ""});
    }
    for (const Entry& e : listReceived(dir.path())) {
        if (e.key == kBase) entries.push_back(e);  // the fax, the warning, the observations
    }
    const Report report = deleteEntries(dir.path(), entries);
    EXPECT_EQ(report.files, 3u);
    EXPECT_EQ(report.records, 2u);
    ASSERT_EQ(report.failures.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(report.failures[i].path, entries[i].path);
    for (const auto& p : doomed) EXPECT_FALSE(fs::exists(dir.path() / p)) << p;
    for (const auto& p : kept) EXPECT_TRUE(fs::exists(dir.path() / p)) << p;
    EXPECT_EQ(test::readFile(dir.path() / kStation), other);

    // Deleting again finds nothing and fails nowhere.
    const Report again = deleteEntries(dir.path(), std::span(entries).subspan(4));
    EXPECT_EQ(again.files + again.records + again.failures.size(), 0u);
}

// One tree of files, each marked whether a clean-up of 48 hours ages it.
TEST(ReceivedStore, CleanUpAgesStrictNamesOnly) {
    ScopedZone zone("EST5");  // local time is UTC - 5 h, without summer time
    const TimeKey now = timeKey({2024, 5, 10, 12, 0});
    const auto ago = [now](int hours) { return now - hours * kHour; };
    const auto local = [](ReceivedKind kind, TimeKey key) {
        return relativePath(kind, breakDownLocal(key));
    };
    const std::pair<fs::path, bool> tree[] = {
        {named(ReceivedKind::Fax, ago(49)), true},
        {named(ReceivedKind::FaxThumbnail, ago(49)), true},
        {named(ReceivedKind::Fax, ago(47)), false},
        {named(ReceivedKind::FaxThumbnail, ago(47)), false},
        {named(ReceivedKind::FaxThumbnail, ago(50)), true},  // without its picture
        {named(ReceivedKind::FaxWork, ago(100)), false},
        {"FAX/FAX_old.BMP", false},
        {"FAX/FAX_2024-13-01_10-00.BMP", false},
        {named(ReceivedKind::Warning, ago(49)), true},
        {named(ReceivedKind::Information, ago(47)), false},
        {local(ReceivedKind::Audio, ago(49)), true},
        {local(ReceivedKind::AudioGsm, ago(45)), false},  // 50 hours old when read as UTC
        {fileName(ReceivedKind::Fax, breakDown(ago(100))), false},
        {fs::path("OTHER") / fileName(ReceivedKind::Warning, breakDown(ago(100))), false},
    };
    const std::string records[] = {recordBytes(ago(49), 1), recordBytes(ago(47), 2),
                                   recordBytes(ago(49), 3), recordBytes(ago(48), 4)};
    const std::string station =
        records[0] + records[1] + records[2] + records[3] + recordBytes(now, 5).substr(0, 200);

    enum class Station { Records, Missing, Unreadable };
    const struct {
        int hours;
        Station station;
    } cases[] = {{48, Station::Records},
                 {0, Station::Records},
                 {-24, Station::Records},
                 {48, Station::Missing},
                 {48, Station::Unreadable}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.hours << " h, station " << static_cast<int>(c.station));
        TempDir dir;
        for (const auto& [path, aged] : tree) put(dir, path);
        if (c.station == Station::Records) put(dir, kStation, station);
        if (c.station == Station::Unreadable) fs::create_directories(dir.path() / kStation);

        const Report report = cleanUp(dir.path(), c.hours, now);
        std::size_t removed = 0;
        for (const auto& [path, aged] : tree) {
            const bool gone = c.hours > 0 && aged;
            removed += gone ? 1 : 0;
            EXPECT_EQ(fs::exists(dir.path() / path), !gone) << path;
        }
        EXPECT_EQ(report.files, removed);
        // An unreadable station file is reported; a missing one stays missing.
        EXPECT_EQ(report.failures.size(), c.station == Station::Unreadable ? 1u : 0u);
        if (c.station == Station::Missing) {
            EXPECT_FALSE(fs::exists(dir.path() / kStation));
        }
        if (c.station != Station::Records) continue;
        // Records below the limit go, the partial tail with them; the one at
        // the limit stays.
        EXPECT_EQ(report.records, c.hours > 0 ? 2u : 0u);
        EXPECT_EQ(test::readFile(dir.path() / kStation),
                  c.hours > 0 ? records[1] + records[3] : station);
    }
}

TEST(Viewers, EachKindOpensItsViewerWithOneArgument) {
    const NameTime t{2024, 5, 6, 7, 8, 0};
    const struct {
        EntryKind kind;
        const char* path;
        const char* program;
        const char* argument;
        const char* windowClass;
    } cases[] = {
        {EntryKind::Fax, "", "zebfaxv", "FAX_2024-05-06_07-08.BMP", "ZEB-FAX Viewer"},
        {EntryKind::Warning, "", "zebwarnv", "WARN_2024-05-06_07-08.RTF", "ZEB-Warn-View"},
        {EntryKind::Information, "SYNOP/INFO_2024-05-06_07-08.RTF", "zebwarnv",
         "INFO_2024-05-06_07-08.RTF", "ZEB-Warn-View"},
        {EntryKind::Audio, "SYNOP/AUDIO_2024-05-06_07-08.GSM", "zebplay",
         "AUDIO_2024-05-06_07-08.GSM", "ZEB-Audioplayer"},
        {EntryKind::Observations, "", "zebsynv", "1714979280", "ZEB-WorldMap"},
    };
    for (const auto& c : cases) {
        const auto viewer = viewerFor(Entry{c.kind, timeKey(t), t, c.path, 0, ""});
        ASSERT_TRUE(viewer.has_value()) << c.argument;
        EXPECT_EQ(viewer->program, c.program);
        EXPECT_EQ(viewer->args, std::vector<std::string>{c.argument});
        EXPECT_EQ(viewer->windowClass, c.windowClass);
    }
    Entry unknown;
    unknown.kind = static_cast<EntryKind>(99);
    EXPECT_FALSE(viewerFor(unknown).has_value());
}

// A clean-up killed at any moment of its rewrite of the station file leaves
// either the old file or the new one, whole records only: never a mix, never
// a lost record.
TEST(StoreCleanUp, AKillDuringTheRewriteLosesNothing) {
    test::TempDir dir;
    const TimeKey now = timeKey({2026, 12, 8, 12, 0});
    std::string before, after;
    for (int i = 0; i < 4000; ++i) {
        const bool old = i % 3 == 0;
        const std::string record = recordBytes(old ? now - 100 * 3600 : now - 3600, i);
        before += record;
        if (!old) after += record;
    }
    const std::filesystem::path station = dir.path() / "SYNOP" / weather::kStationFileName;
    std::filesystem::create_directories(station.parent_path());
    for (int round = 0; round < 16; ++round) {
        test::writeFile(station, before);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            (void)cleanUp(dir.path(), 48, now);
            ::_exit(0);
        }
        // From killing it at once to letting it finish (some 40 ms).
        ::usleep(static_cast<useconds_t>(round * round * 400));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        const std::string left = test::readFile(station);
        EXPECT_TRUE(left == before || left == after)
            << "round " << round << ": " << left.size() << " bytes";
    }
}

}  // namespace
}  // namespace zeb::store
