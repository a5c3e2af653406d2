// The main program as a child process, started from the staged suite in a data
// root of its own: start-up and shutdown with their settings file, the single
// instance on the suite bus, and recordings decoded end to end into the same
// received files as zebdecode writes.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/TimeKey.h"
#include "common/bus/Bus.h"
#include "support/Broadcasts.h"
#include "support/ChildProcess.h"
#include "support/FaxGenerator.h"
#include "support/RttyGenerator.h"
#include "support/TestEnv.h"
#include "support/WavFile.h"
#include "weather/Rtf.h"
#include "weather/StationFile.h"

namespace zeb::nimba {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr const char* kClass = "Nimbarra";

// The staged suite: ZEB_TEST_SUITE_DIR, else the one of this build.
fs::path suiteDir() { return test::suiteProgram("nimba").parent_path(); }

// Sections of a settings file as text: section → key → value.
using IniText = std::map<std::string, std::map<std::string, std::string>>;

IniText parseIni(const std::string& text) {
    IniText ini;
    std::string section;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            section = line.substr(1, line.size() - 2);
            ini[section];
        } else if (const auto eq = line.find('='); eq != std::string::npos) {
            ini[section][line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    return ini;
}

// The files of `dir` whose names start with `prefix` and end with `suffix`.
std::vector<fs::path> filesIn(const fs::path& dir, const std::string& prefix,
                              const std::string& suffix = "") {
    std::vector<fs::path> found;
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) return found;
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        if (name.rfind(prefix, 0) == 0 && name.size() >= suffix.size() &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            found.push_back(e.path());
    }
    std::sort(found.begin(), found.end());
    return found;
}

// An RTF file's bytes with the font face and size left out: each program
// writes the font its text shows (NIMBA the window's, zebdecode its default).
std::string rtfWithoutFont(const fs::path& rtfFile) {
    std::string rtf = test::readFile(rtfFile);
    for (auto [key, ends] : {std::pair{"\\fcharset0 ", ";"}, std::pair{"\\fs", "\\ "}}) {
        for (std::size_t at = rtf.find(key); at != std::string::npos; at = rtf.find(key, at)) {
            at += std::strlen(key);
            rtf.erase(at, rtf.find_first_of(ends, at) - at);
        }
    }
    return rtf;
}

std::string plainTextOf(const fs::path& rtfFile) {
    auto doc = weather::readRtf(test::readFile(rtfFile));
    EXPECT_TRUE(doc.ok()) << rtfFile;
    return doc.ok() ? doc->plainText() : std::string();
}

// Every case gets a data root, a bus directory and a file for the program's
// standard error of its own.
class NimbaProcess : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(program_)) GTEST_SKIP() << "nimba not built: " << program_;
        if (!fs::exists(suiteDir() / "NIMBAEN.DLL") || !fs::exists(suiteDir() / "DATA"))
            GTEST_SKIP() << "language bundle or reference data not staged";
        stageDataRoot(work_);
    }

    static fs::path busDirIn(const test::TempDir& root) {
        const fs::path dir = root / "bus";
        fs::create_directories(dir);
        ::chmod(dir.c_str(), 0700);
        return dir;
    }

    // A data root as the installed suite has it: language bundle and reference data.
    static void stageDataRoot(const fs::path& dir, bool bundle = true) {
        fs::create_directories(dir);
        fs::copy(suiteDir() / "DATA", dir / "DATA", fs::copy_options::recursive);
        if (bundle) fs::copy_file(suiteDir() / "NIMBAEN.DLL", dir / "NIMBAEN.DLL");
    }

    // Starts the program in the data root (or in `cwd`), its standard error
    // into stderr_.
    std::unique_ptr<test::ChildProcess> start(const std::vector<std::string>& args,
                                              const fs::path& cwd = {},
                                              const fs::path& program = {}) const {
        std::vector<std::string> argv{
            "/bin/sh",
            "-c",
            "cd \"$1\" && err=\"$2\" && shift 2 && exec \"$@\" 2>\"$err\"",
            "sh",
            (cwd.empty() ? work_ : cwd).string(),
            stderr_.string(),
            (program.empty() ? program_ : program).string()};
        argv.insert(argv.end(), args.begin(), args.end());
        return std::make_unique<test::ChildProcess>(argv);
    }

    // Starts the program on no sound input and waits until it runs its event
    // loop: it owns its class and has opened the capture stream (which
    // creates SYNOP/).
    std::unique_ptr<test::ChildProcess> startRunning(std::vector<std::string> args = {}) const {
        args.insert(args.begin(), {"--input", "null", "--output", "null"});
        auto child = start(args);
        EXPECT_TRUE(test::eventually(
            [&] { return bus::classExists(kClass) && fs::exists(work_ / "SYNOP"); }, 30s))
            << "nimba did not come up; stderr: " << test::readFile(stderr_);
        return child;
    }

    // "zebctl close Nimbarra": its exit status.
    std::optional<int> closeWithZebctl() const {
        test::ChildProcess ctl({(suiteDir() / "zebctl").string(), "close", kClass});
        (void)ctl.readOutput(10s);
        return ctl.waitExit(10s);
    }

    // Decodes a recording with nimba and waits for its end.
    void decodeWithNimba(const std::string& wav, const std::string& mode) const {
        auto child =
            start({"--input", wav, "--output", "null", "--mode", mode, "--fast", "--quit-at-end"});
        const std::string out = child->readOutput(300s);
        EXPECT_EQ(child->waitExit(60s), 0) << out << test::readFile(stderr_);
    }

    // Runs zebdecode with `args`; its standard output.
    static std::string runZebdecode(const std::vector<std::string>& args) {
        std::vector<std::string> argv{(suiteDir() / "zebdecode").string()};
        argv.insert(argv.end(), args.begin(), args.end());
        test::ChildProcess child(argv);
        const std::string out = child.readOutput(300s);
        EXPECT_EQ(child.waitExit(60s), 0) << out;
        return out;
    }

    IniText settings() const { return parseIni(test::readFile(work_ / "NIMBA.INI")); }

    test::TempDir root_;
    fs::path busDir_ = busDirIn(root_);
    test::ScopedEnv bus_{"ZEB_BUS_DIR", busDir_.string()};
    test::ScopedEnv platform_{"QT_QPA_PLATFORM", "offscreen"};
    fs::path work_ = root_ / "work";
    fs::path stderr_ = root_ / "stderr.txt";
    fs::path program_ = suiteDir() / "nimba";
};

// ---- start-up and shutdown ----

using NimbaProcessLifecycle = NimbaProcess;

TEST_F(NimbaProcessLifecycle, WithoutSettingsFileAClosedRunWritesTheDefaults) {
    auto child = startRunning();
    EXPECT_EQ(closeWithZebctl(), 0);
    ASSERT_EQ(child->waitExit(30s), 0) << test::readFile(stderr_);
    EXPECT_FALSE(bus::classExists(kClass));

    const IniText ini = settings();
    ASSERT_TRUE(ini.contains("PARAM")) << test::readFile(work_ / "NIMBA.INI");
    const std::map<std::string, std::string> param{
        {"LINEVOL", "50"}, {"WAVEVOL", "50"}, {"SPKVOL", "10"},         {"LINEMUTE", "1"},
        {"DELTIME", "0"},  {"ZEBPEAK", "0"},  {"RECOFFSET", "0.000000"}};
    for (const auto& [key, value] : param) {
        ASSERT_TRUE(ini.at("PARAM").contains(key)) << key;
        EXPECT_EQ(ini.at("PARAM").at(key), value) << key;
    }
    ASSERT_TRUE(ini.contains("TIMER"));
    EXPECT_EQ(ini.at("TIMER").at("NAME"), "");
    EXPECT_EQ(ini.at("TIMER").at("ACTIVE"), "0");
    // The RTTY decoder keeps its parameters too: the defaults of the file.
    ASSERT_TRUE(ini.contains("RTTYPARAM"));
    const std::map<std::string, std::string> rtty{
        {"MODE", "0"},      {"BAUD", "75"},       {"INVERS", "0"},      {"SHIFT", "425"},
        {"CENTER", "1275"}, {"BITS", "1.500000"}, {"SPEED", "1.000000"}};
    for (const auto& [key, value] : rtty) {
        ASSERT_TRUE(ini.at("RTTYPARAM").contains(key)) << key;
        EXPECT_EQ(ini.at("RTTYPARAM").at(key), value) << key;
    }
}

TEST_F(NimbaProcessLifecycle, SettingsOfAnExistingFileSurviveARun) {
    test::writeFile(work_ / "NIMBA.INI",
                    "[PARAM]\nLINEVOL=33\nWAVEVOL=71\nSPKVOL=0\nLINEMUTE=0\nDELTIME=48\n"
                    "ZEBPEAK=1\nRECOFFSET=1.500000\nOTHERKEY=kept as it was\n"
                    "[TIMER]\nNAME=\nACTIVE=0\n[IPCRPARAM]\nPORT=none\n"
                    "[SOMETHINGELSE]\nA=1\nB=two words\n");
    auto child = startRunning();
    EXPECT_EQ(closeWithZebctl(), 0);
    ASSERT_EQ(child->waitExit(30s), 0) << test::readFile(stderr_);

    const IniText ini = settings();
    const auto& param = ini.at("PARAM");
    EXPECT_EQ(param.at("LINEVOL"), "33");
    EXPECT_EQ(param.at("WAVEVOL"), "71");
    EXPECT_EQ(param.at("SPKVOL"), "0");
    EXPECT_EQ(param.at("LINEMUTE"), "0");
    EXPECT_EQ(param.at("DELTIME"), "48");
    EXPECT_EQ(param.at("ZEBPEAK"), "1");
    EXPECT_EQ(param.at("RECOFFSET"), "1.500000");
    EXPECT_EQ(param.at("OTHERKEY"), "kept as it was");
    ASSERT_TRUE(ini.contains("SOMETHINGELSE"));
    EXPECT_EQ(ini.at("SOMETHINGELSE").at("A"), "1");
    EXPECT_EQ(ini.at("SOMETHINGELSE").at("B"), "two words");
}

TEST_F(NimbaProcessLifecycle, OutOfRangeVolumesFallBackToTheirDefaults) {
    test::writeFile(work_ / "NIMBA.INI",
                    "[PARAM]\nLINEVOL=101\nWAVEVOL=-1\nSPKVOL=100\n[IPCRPARAM]\nPORT=none\n");
    auto child = startRunning();
    EXPECT_EQ(closeWithZebctl(), 0);
    ASSERT_EQ(child->waitExit(30s), 0) << test::readFile(stderr_);
    const IniText ini = settings();
    const auto& param = ini.at("PARAM");
    EXPECT_EQ(param.at("LINEVOL"), "50");
    EXPECT_EQ(param.at("WAVEVOL"), "50");
    EXPECT_EQ(param.at("SPKVOL"), "100");
}

TEST_F(NimbaProcessLifecycle, SecondStartEndsAtOnceAndTheFirstKeepsRunning) {
    auto first = startRunning();
    auto second = start({"--input", "null", "--output", "null"});
    EXPECT_EQ(second->waitExit(30s), 0);
    EXPECT_FALSE(first->waitExit(500ms).has_value());
    EXPECT_TRUE(bus::classExists(kClass));
    EXPECT_EQ(closeWithZebctl(), 0);
    EXPECT_EQ(first->waitExit(30s), 0);
}

class NimbaProcessSignal : public NimbaProcess, public ::testing::WithParamInterface<int> {};

TEST_P(NimbaProcessSignal, ClosesCleanlyAndWritesItsSettings) {
    auto child = startRunning();
    child->signal(GetParam());
    ASSERT_EQ(child->waitExit(30s), 0) << test::readFile(stderr_);
    EXPECT_FALSE(bus::classExists(kClass));
    EXPECT_FALSE(fs::exists(busDir_ / "class" / kClass));
    const IniText ini = settings();
    ASSERT_TRUE(ini.contains("PARAM"));
    EXPECT_EQ(ini.at("PARAM").at("LINEVOL"), "50");
    ASSERT_TRUE(ini.contains("TIMER"));
    // The class is free for the next start.
    auto next = startRunning();
    EXPECT_EQ(closeWithZebctl(), 0);
    EXPECT_EQ(next->waitExit(30s), 0);
}

INSTANTIATE_TEST_SUITE_P(Signals, NimbaProcessSignal, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const auto& p) { return std::string(sigabbrev_np(p.param)); });

TEST_F(NimbaProcessLifecycle, MissingLanguageBundleIsReportedOnStandardError) {
    // A copy of the program where no bundle lies beside it either.
    fs::remove(work_ / "NIMBAEN.DLL");
    const fs::path alone = root_ / "bin" / "nimba";
    fs::create_directories(alone.parent_path());
    fs::copy_file(program_, alone);
    auto child = start({"--input", "null", "--output", "null"}, {}, alone);
    EXPECT_TRUE(test::eventually(
        [&] {
            return test::readFile(stderr_).find("unable to load resources") != std::string::npos;
        },
        30s))
        << test::readFile(stderr_);
    // Nobody sees a box here: the program ends at once, naming where it looked.
    EXPECT_EQ(child->waitExit(30s), 1);
    const std::string said = test::readFile(stderr_);
    EXPECT_NE(said.find(work_.string()), std::string::npos) << said;
    EXPECT_NE(said.find((root_ / "bin").string()), std::string::npos) << said;
    // The settings are not touched without a bundle.
    EXPECT_FALSE(fs::exists(work_ / "NIMBA.INI"));
}

TEST_F(NimbaProcessLifecycle, BadCommandLineIsAUsageError) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--mode", "sstv"}, {"--page", "7"}, {"--input"}, {"--bogus"}}) {
        auto child = start(args);
        EXPECT_EQ(child->waitExit(30s), 2) << args.front();
    }
    EXPECT_FALSE(fs::exists(work_ / "NIMBA.INI"));
}

// ---- where the suite lives ----

using NimbaProcessPlaces = NimbaProcess;

// Started from a directory that is no suite directory, the program makes its
// working directory under ZEB_HOME, seeds it with the shipped reference data
// and finds its language bundle beside itself; a recording that is not there
// ends the start at once, named, with a non-zero status.
TEST_F(NimbaProcessPlaces, FromAnywhereTheSuiteDirectoryIsMadeAndABadInputIsNamed) {
    const fs::path elsewhere = root_ / "elsewhere";
    const fs::path home = root_ / "home";
    fs::create_directories(elsewhere);
    test::ScopedEnv zebHome{"ZEB_HOME", home.string()};
    test::FskSignal signal;
    signal.baud = 50;
    signal.markHz = 1275;
    signal.spaceHz = 1725;
    signal.ebN0Db = 18;
    const fs::path wav = root_ / "dwd.wav";
    test::writeFile(
        wav,
        test::wavBytes(test::fskAudio(
            test::ita2Frames(test::ita2Codes(test::dwdBroadcastText()), 1.5, 0, 100), signal)));
    const std::vector<std::string> common{"--output", "null",   "--mode",
                                          "rtty",     "--fast", "--quit-at-end"};

    // The user's settings may be there already; the reference data is not.
    fs::create_directories(home);
    test::writeFile(home / "NIMBA.INI",
                    "[RTTYPARAM]\nMODE=0\nBAUD=50\nSHIFT=450\nCENTER=1275\nINVERS=0\nBITS=1.5\n["
                    "IPCRPARAM]\nPORT=none\n");

    auto args = common;
    args.insert(args.begin(), {"--input", wav.string()});
    auto child = start(args, elsewhere);
    const std::string out = child->readOutput(300s);
    EXPECT_EQ(child->waitExit(60s), 0) << out << test::readFile(stderr_);
    EXPECT_TRUE(fs::exists(home / "DATA" / "RCFRQ.DAT"));
    EXPECT_TRUE(fs::exists(home / "SYNOP" / weather::kStationFileName));
    EXPECT_TRUE(fs::is_empty(elsewhere));

    const fs::path missing = root_ / "no-such-recording.wav";
    args = common;
    args.insert(args.begin(), {"--input", missing.string()});
    child = start(args, elsewhere);
    (void)child->readOutput(30s);
    EXPECT_EQ(child->waitExit(10s), 1);
    EXPECT_NE(test::readFile(stderr_).find(missing.string()), std::string::npos)
        << test::readFile(stderr_);
}

// ---- recordings decoded end to end ----

using NimbaProcessRtty = NimbaProcess;

TEST_F(NimbaProcessRtty, DwdBroadcastGivesTheSameFilesAsZebdecode) {
    const std::string text = test::dwdBroadcastText();
    test::FskSignal signal;
    signal.baud = 50;
    signal.markHz = 1275 + 12;  // a receiver tuned 12 Hz off
    signal.spaceHz = 1725 + 12;
    signal.ebN0Db = 18;
    const fs::path wav = root_ / "dwd.wav";
    test::writeFile(wav, test::wavBytes(test::fskAudio(
                             test::ita2Frames(test::ita2Codes(text), 1.5, 0, 100), signal)));

    test::writeFile(work_ / "NIMBA.INI",
                    "[RTTYPARAM]\nMODE=0\nBAUD=50\nSHIFT=450\nCENTER=1275\nINVERS=0\nBITS=1.5\n["
                    "IPCRPARAM]\nPORT=none\n");
    decodeWithNimba(wav.string(), "rtty");

    const fs::path other = root_ / "zebdecode";
    stageDataRoot(other, false);
    const std::string out = runZebdecode({"rtty", "--baud", "50", "--shift", "450", "--center",
                                          "1275", "--dir", other.string(), wav.string()});

    const fs::path stations = work_ / "SYNOP" / weather::kStationFileName;
    ASSERT_TRUE(fs::exists(stations)) << test::readFile(stderr_);
    EXPECT_EQ(test::readFile(stations),
              test::readFile(other / "SYNOP" / weather::kStationFileName));

    auto records = weather::readStationRecords(stations);
    ASSERT_TRUE(records.ok());
    std::vector<weather::SynopRecord> decoded;
    for (const auto& bytes : *records) decoded.push_back(weather::decode(bytes));
    ASSERT_EQ(decoded.size(), 4u) << out;
    EXPECT_EQ(decoded[0].station.number, 10637);
    EXPECT_EQ(decoded[0].airTemperature, 102);
    EXPECT_EQ(decoded[1].station.number, 10384);
    EXPECT_EQ(decoded[1].dewPoint, -3);
    EXPECT_EQ(decoded[2].station.number, 10147);
    EXPECT_TRUE(decoded[2].presence & weather::presence::kNil);
    EXPECT_EQ(decoded[3].kind, weather::kKindShip);
    EXPECT_EQ(decoded[3].station.name, "DBBH");
    EXPECT_EQ(decoded[3].seaTemperature, 123);

    const auto warnings = filesIn(work_ / "SYNOP", "WARN_", ".RTF");
    const auto expected = filesIn(other / "SYNOP", "WARN_", ".RTF");
    ASSERT_EQ(warnings.size(), 1u);
    ASSERT_EQ(expected.size(), 1u);
    // The same chain in both programs: the same text, descriptions included.
    EXPECT_EQ(rtfWithoutFont(warnings[0]), rtfWithoutFont(expected[0]));
    const std::string warning = plainTextOf(warnings[0]);
    EXPECT_EQ(warning.rfind("FQDL01 EDZW", 0), 0u) << warning;
    EXPECT_NE(warning.find("GALE WARNING GERMAN BIGHT WEST 8 BEAUFORT"), std::string::npos);

    // The decoder's parameters are kept for the next start.
    const IniText ini = settings();
    const auto& rtty = ini.at("RTTYPARAM");
    EXPECT_EQ(rtty.at("BAUD"), "50");
    EXPECT_EQ(rtty.at("SHIFT"), "450");
    EXPECT_EQ(rtty.at("CENTER"), "1275");
}

TEST_F(NimbaProcessRtty, NavtexMessageIsSavedAsAnInformationFile) {
    const std::string message =
        "ZCZC FA01\n"
        "NAV WARNING 123 GERMAN BIGHT\n"
        "LIGHTBUOY OFF STATION\n"
        "NNNN\n";
    test::FskSignal signal;
    signal.baud = 100;
    signal.markHz = 1275;
    signal.spaceHz = 1275 + 170;
    signal.ebN0Db = 25;
    const auto slots = test::fecSlots(test::ccir476Words(message), 20, false);
    const fs::path wav = root_ / "navtex.wav";
    test::writeFile(wav, test::wavBytes(test::fskAudio(test::sitorElements(slots, 14.0), signal)));

    test::writeFile(work_ / "NIMBA.INI",
                    "[RTTYPARAM]\nMODE=2\nBAUD=100\nSHIFT=170\nCENTER=1275\nINVERS=0\n[IPCRPARAM]"
                    "\nPORT=none\n");
    decodeWithNimba(wav.string(), "rtty");

    const auto infos = filesIn(work_ / "SYNOP", "INFO_", ".RTF");
    ASSERT_EQ(infos.size(), 1u) << test::readFile(stderr_);
    const std::string info = plainTextOf(infos[0]);
    EXPECT_NE(info.find("NAV WARNING 123 GERMAN BIGHT"), std::string::npos) << info;
    EXPECT_NE(info.find("LIGHTBUOY OFF STATION"), std::string::npos) << info;
    EXPECT_TRUE(filesIn(work_ / "SYNOP", "WARN_").empty());

    // zebdecode frames the same message into the same text.
    const fs::path other = root_ / "zebdecode";
    stageDataRoot(other, false);
    (void)runZebdecode({"sitor", "--center", "1275", "--dir", other.string(), wav.string()});
    const auto expected = filesIn(other / "SYNOP", "INFO_", ".RTF");
    ASSERT_EQ(expected.size(), 1u);
    EXPECT_EQ(rtfWithoutFont(infos[0]), rtfWithoutFont(expected[0]));
}

TEST_F(NimbaProcessRtty, RealNavtexRecordingWithoutMessageFramesLeavesNoFile) {
    const auto data = test::sharedData();
    if (!data) GTEST_SKIP() << "reference data absent";
    const fs::path wav = *data / "recordings" / "navtex" / "navtex_example.wav";
    if (!fs::exists(wav)) GTEST_SKIP() << wav << " absent";
    // 100 Bd, 170 Hz shift, the lower tone at 915 Hz and space.
    test::writeFile(
        work_ / "NIMBA.INI",
        "[RTTYPARAM]\nMODE=2\nBAUD=100\nSHIFT=170\nCENTER=915\nINVERS=1\n[IPCRPARAM]\nPORT=none\n");
    decodeWithNimba(wav.string(), "rtty");
    EXPECT_TRUE(filesIn(work_ / "SYNOP", "INFO_").empty());
    EXPECT_TRUE(filesIn(work_ / "SYNOP", "WARN_").empty());
    const IniText ini = settings();
    const auto& rtty = ini.at("RTTYPARAM");
    EXPECT_EQ(rtty.at("MODE"), "2");
    EXPECT_EQ(rtty.at("CENTER"), "915");
    EXPECT_EQ(rtty.at("INVERS"), "1");
}

using NimbaProcessFax = NimbaProcess;

TEST_F(NimbaProcessFax, BroadcastGivesTheSamePictureAsZebdecode) {
    test::FaxSignal signal;
    signal.leadSeconds = 0.4;
    signal.snrDb = 25;
    const fs::path wav = root_ / "fax.wav";
    test::writeFile(wav, test::wavBytes(test::faxAudio(test::testChart(1810, 200), signal)));

    decodeWithNimba(wav.string(), "fax");
    const fs::path other = root_ / "zebdecode";
    stageDataRoot(other, false);
    (void)runZebdecode({"fax", "--dir", other.string(), wav.string()});

    // The minute in the names may differ when the runs straddle one.
    for (const char* suffix : {".BMP", ".BMM"}) {
        const auto got = filesIn(work_ / "FAX", "FAX_", suffix);
        const auto expected = filesIn(other / "FAX", "FAX_", suffix);
        ASSERT_EQ(got.size(), 1u) << suffix << test::readFile(stderr_);
        ASSERT_EQ(expected.size(), 1u) << suffix;
        EXPECT_TRUE(test::readFile(got[0]) == test::readFile(expected[0]))
            << got[0] << " differs from " << expected[0];
    }
    // The work file of the growing picture goes once the picture is saved.
    EXPECT_TRUE(filesIn(work_ / "FAX", "FAX_", ".BMX").empty());
}

using NimbaProcessRecorder = NimbaProcess;

// The recorder as a --mode: the whole recording reaches the file, in the
// default GSM 6.10 and in the PCM a user may choose, with sizes a player reads.
TEST_F(NimbaProcessRecorder, ARecordingIsWrittenWhole) {
    std::vector<float> audio(11025 * 3 + 500);
    for (std::size_t i = 0; i < audio.size(); ++i)
        audio[i] = static_cast<float>(6000.0 * std::sin(0.57 * static_cast<double>(i)));
    const fs::path wav = root_ / "tone.wav";
    test::writeFile(wav, test::wavBytes(audio));
    const struct {
        const char* settings;
        const char* codec;
    } cases[] = {{"", "GSM"}, {"[PARAM]\nACODEC=01000100112B000022560000020010000000\n", "PCM"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.codec);
        fs::remove_all(work_ / "SYNOP");
        test::writeFile(work_ / "NIMBA.INI", std::string("[IPCRPARAM]\nPORT=none\n") + c.settings);
        decodeWithNimba(wav.string(), "record");
        const auto files = filesIn(work_ / "SYNOP", "AUDIO_", ".WAV");
        ASSERT_EQ(files.size(), 1u) << test::readFile(stderr_);
        const std::string bytes = test::readFile(files[0]);
        ASSERT_GE(bytes.size(), 44u);
        const auto riff = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[4])) |
                          static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[5])) << 8 |
                          static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[6])) << 16 |
                          static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[7])) << 24;
        EXPECT_EQ(riff + 8u, bytes.size()) << "RIFF size";
        if (std::system("command -v sox >/dev/null 2>&1") != 0) continue;
        test::ChildProcess sox(
            {"/bin/sh", "-c", "sox --i -s \"$1\"; sox --i -e \"$1\"", "sh", files[0].string()});
        const std::string info = sox.readOutput(30s);
        ASSERT_EQ(sox.waitExit(10s), 0) << info;
        const long samples = std::stol(info);
        EXPECT_GE(samples, static_cast<long>(audio.size()));
        EXPECT_LT(samples, static_cast<long>(audio.size()) + 1024 + 320);
        EXPECT_NE(info.find(std::string(c.codec) == "GSM" ? "GSM" : "Signed"), std::string::npos)
            << info;
    }
}

}  // namespace
}  // namespace zeb::nimba
