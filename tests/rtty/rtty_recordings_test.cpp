// Recordings through zebdecode: most of the known text of real recordings
// must come out (skipped when the reference data or the program is absent),
// and the kinds of input it is given are read or refused.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/ChildProcess.h"
#include "support/RttyGenerator.h"
#include "support/TestEnv.h"
#include "support/WavFile.h"

namespace zeb::rtty {
namespace {

// Characters of `expected` found in order in `got` (longest common
// subsequence), as a fraction of the expected length.
double matchedFraction(const std::string& expected, const std::string& got) {
    std::vector<int> prev(got.size() + 1, 0), cur(got.size() + 1, 0);
    for (char e : expected) {
        for (std::size_t j = 1; j <= got.size(); ++j) {
            cur[j] = e == got[j - 1] ? prev[j - 1] + 1 : std::max(prev[j], cur[j - 1]);
        }
        std::swap(prev, cur);
    }
    return expected.empty() ? 1.0 : prev[got.size()] / static_cast<double>(expected.size());
}

struct Recording {
    const char* name;
    const char* file;
    std::vector<std::string> args;
    const char* text;
};

std::ostream& operator<<(std::ostream& os, const Recording& r) { return os << r.name; }

class RttyRecordings : public ::testing::TestWithParam<Recording> {};

TEST_P(RttyRecordings, MostOfTheKnownTextIsDecoded) {
    const auto data = test::sharedData();
    if (!data) GTEST_SKIP() << "reference data absent";
    const std::filesystem::path file = *data / "recordings" / GetParam().file;
    if (!std::filesystem::exists(file)) GTEST_SKIP() << file << " absent";
    const std::filesystem::path program =
        std::filesystem::path(test::testSetting("ZEB_TEST_SUITE_DIR")) / "zebdecode";
    if (!std::filesystem::exists(program)) GTEST_SKIP() << "zebdecode not built";

    std::vector<std::string> argv{program.string()};
    argv.insert(argv.end(), GetParam().args.begin(), GetParam().args.end());
    argv.push_back(file.string());
    test::ChildProcess child(argv);
    const std::string out = child.readOutput(std::chrono::seconds(30));
    EXPECT_EQ(child.waitExit(), 0);
    EXPECT_GE(matchedFraction(GetParam().text, out), 0.95) << out;
}

const char* const kNavtexText =
    "NOW IS THE TIME FOR ALL GOOD MEN TO COME TO THE AID OF THEIR COUNTRY.";

// Only the keying rate and shift are given: the decoder finds the tones and
// the polarity itself.
INSTANTIATE_TEST_SUITE_P(
    Files, RttyRecordings,
    ::testing::Values(
        Recording{"Wikipedia45Bd",
                  "rtty/wikipedia_RTTY_ogg_8k_u8.wav",
                  {"rtty", "--plain", "--baud", "45.45", "--shift", "170"},
                  "WELCOME TO WIKIPEDIA, THE FREE ENCYCLOPEDIA THAT ANYONE CAN EDIT."},
        Recording{"Wikipedia45BdMarkAndSpace",
                  "rtty/wikipedia_RTTY_ogg_8k_u8.wav",
                  {"rtty", "--plain", "-b", "45.45", "--mark", "915", "--space", "1085"},
                  "WELCOME TO WIKIPEDIA, THE FREE ENCYCLOPEDIA THAT ANYONE CAN EDIT."},
        Recording{"GrRadioteletype2085Hz",
                  "rtty/bitglue_gr-radioteletype_rtty.wav",
                  {"rtty", "--plain", "--baud", "45.45", "--shift", "170"},
                  "CQ CQ DE W8II W8II CQ CQ DE W8II W8II CQ K"},
        Recording{"NavtexExample", "navtex/navtex_example.wav", {"sitor", "--plain"}, kNavtexText},
        Recording{"Pd0wmNavtex48k",
                  "navtex/pd0wm_navtex_example.wav",
                  {"sitor", "--plain", "--shift", "184"},
                  kNavtexText},
        Recording{"NavtexExampleMainDesign",
                  "navtex/navtex_example.wav",
                  {"sitor", "--variant", "main", "--center", "915", "--invert", "--letters"},
                  kNavtexText}),
    [](const auto& tpi) { return std::string(tpi.param.name); });

// Parameters outside the settings ranges are refused with exit status 2
// (the upper tone must stay at or below 4000 Hz).
class RttyCommandLine : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(RttyCommandLine, OutOfRangeParameterIsAUsageError) {
    const std::filesystem::path program =
        std::filesystem::path(test::testSetting("ZEB_TEST_SUITE_DIR")) / "zebdecode";
    if (!std::filesystem::exists(program)) GTEST_SKIP() << "zebdecode not built";
    std::vector<std::string> argv{program.string()};
    argv.insert(argv.end(), GetParam().begin(), GetParam().end());
    argv.push_back("-");
    test::ChildProcess child(argv);
    EXPECT_EQ(child.waitExit(), 2);
}

INSTANTIATE_TEST_SUITE_P(Options, RttyCommandLine,
                         ::testing::Values(std::vector<std::string>{"rtty", "--baud", "0"},
                                           std::vector<std::string>{"rtty", "--baud", "301"},
                                           std::vector<std::string>{"rtty", "--baud", "29.5"},
                                           std::vector<std::string>{"sitor", "--shift", "40"},
                                           std::vector<std::string>{"rtty", "--center", "3900"},
                                           std::vector<std::string>{"rtty", "--stop", "1.2"},
                                           std::vector<std::string>{"rtty", "--variant", "other"},
                                           std::vector<std::string>{"rtty", "--squelch", "-1"},
                                           std::vector<std::string>{"sitor", "--sync"},
                                           std::vector<std::string>{"sitor", "--stations", "ab"},
                                           std::vector<std::string>{"sitor", "--subjects", "E1"},
                                           std::vector<std::string>{"rtty", "--stations", "A"},
                                           std::vector<std::string>{"rtty", "--mark", "915"},
                                           std::vector<std::string>{"rtty", "--tones", "900,910"},
                                           std::vector<std::string>{"rtty", "--raw", "8000,s24"},
                                           std::vector<std::string>{"cw", "-b", "45"}));

// Every option a mode's help documents is one its parser takes: given with
// a value (or none) and a missing recording, the complaint is the recording.
TEST(ZebdecodeOptions, EveryDocumentedOptionIsTaken) {
    const std::filesystem::path program =
        std::filesystem::path(test::testSetting("ZEB_TEST_SUITE_DIR")) / "zebdecode";
    if (!std::filesystem::exists(program)) GTEST_SKIP() << "zebdecode not built";
    const std::regex option("^  (?:-[a-zA-Z], )?--([a-z-]+)( [A-Z])?");
    // "--dir 1" makes its folder, the others the suite's working directory.
    test::TempDir dir;
    test::ScopedCwd cwd(dir.path());
    test::ScopedEnv home{"ZEB_HOME", (dir / "home").string()};
    int checked = 0;
    for (const char* mode : {"rtty", "sitor", "cw", "fax", "text"}) {
        test::ChildProcess help({program.string(), mode, "--help"});
        const std::string text = help.readOutput();
        EXPECT_EQ(help.waitExit(), 0) << mode;
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
            std::smatch m;
            if (!std::regex_search(line, m, option) || m[1] == "help" || m[1] == "input") continue;
            std::vector<std::string> argv{"/bin/sh",        "-c", "exec \"$0\" \"$@\" 2>&1",
                                          program.string(), mode, "--" + m[1].str()};
            if (m[2].matched) argv.push_back("1");
            argv.push_back("/nonexistent/recording.wav");
            test::ChildProcess run(argv);
            const std::string said = run.readOutput(std::chrono::seconds(10));
            EXPECT_EQ(run.waitExit(), 2) << mode << " --" << m[1];
            EXPECT_EQ(said.find("unknown option"), std::string::npos) << mode << ": " << said;
            EXPECT_EQ(said.find("needs a value"), std::string::npos) << mode << ": " << said;
            ++checked;
        }
    }
    EXPECT_GE(checked, 30);
}

// What is given as the recording: a file, a FIFO, or things that are no
// recording, each refused with exit status 2 before anything is printed;
// noise decodes nothing (status 1). Nothing is made in the working folder
// when nothing is saved.
TEST(RttyInput, AFifoIsReadAsAStreamAndWhatIsNoRecordingIsRefused) {
    const std::filesystem::path program =
        std::filesystem::path(test::testSetting("ZEB_TEST_SUITE_DIR")) / "zebdecode";
    if (!std::filesystem::exists(program)) GTEST_SKIP() << "zebdecode not built";
    test::TempDir dir;
    test::FskSignal signal;
    signal.ebN0Db = 20;
    const std::string text = "RYRY CQ DE TEST TEST K";
    test::writeFile(dir / "good.wav",
                    test::wavBytes(test::fskAudio(
                        test::ita2Frames(test::ita2Codes(text + "\r\n"), 1.5, 0, 50), signal)));
    test::writeFile(dir / "empty.wav", "");
    std::mt19937 rng(3);
    std::normal_distribution<float> gauss(0.0f, 3000.0f);
    std::vector<float> noise(11025 * 5);
    for (float& v : noise) v = gauss(rng);
    test::writeFile(dir / "noise.wav", test::wavBytes(noise));
    test::writeFile(dir / "1hz.wav", test::wavBytes(std::vector<float>(100, 0.0f), 1));
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);

    const struct {
        const char* input;
        int status;
        bool decodes;
    } cases[] = {
        {"good.wav", 0, true},     {"fifo", 0, true}, {"noise.wav", 1, false},
        {"missing.wav", 2, false}, {".", 2, false},   {"empty.wav", 2, false},
        {"1hz.wav", 2, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        std::thread writer;
        if (std::string(c.input) == "fifo")
            writer = std::thread([&] {
                std::ofstream(dir / "fifo", std::ios::binary) << test::readFile(dir / "good.wav");
            });
        test::ChildProcess child({program.string(), "rtty", "--dir", (dir / "work").string(),
                                  "--baud", "50", "--center", "1275", "--shift", "450",
                                  (dir / c.input).string()});
        const std::string out = child.readOutput(std::chrono::seconds(30));
        EXPECT_EQ(child.waitExit(), c.status);
        EXPECT_EQ(out.find("CQ DE TEST") != std::string::npos, c.decodes) << out;
        if (!c.decodes) EXPECT_EQ(out, "");
        EXPECT_FALSE(std::filesystem::exists(dir / "work" / "SYNOP"));
        if (writer.joinable()) writer.join();
    }
}

// A live reception through a pipe: the writer sends the first half and waits
// until the first line has come out before it sends the rest, as a receiver
// would. WAV and raw samples at other rates alike.
TEST(RttyInput, StandardInputIsDecodedAsItArrives) {
    const std::filesystem::path program =
        std::filesystem::path(test::testSetting("ZEB_TEST_SUITE_DIR")) / "zebdecode";
    if (!std::filesystem::exists(program)) GTEST_SKIP() << "zebdecode not built";
    test::FskSignal signal;
    signal.ebN0Db = 20;
    const std::vector<float> audio = test::fskAudio(
        test::ita2Frames(
            test::ita2Codes(
                "\r\nCQ CQ DE TEST\r\nSECOND LINE, SENT WHEN THE FIRST HAS COME OUT\r\n"),
            1.5, 0, 50),
        signal);
    // The 11025 Hz signal at another rate (linear interpolation: the tones lie
    // far below either rate) as raw little-endian samples.
    const auto raw = [&](int rate, bool asFloat) {
        std::string bytes;
        const double step = 11025.0 / rate;
        for (double t = 0; t + 1 < static_cast<double>(audio.size()); t += step) {
            const auto i = static_cast<std::size_t>(t);
            const double v = (audio[i] + (audio[i + 1] - audio[i]) * (t - static_cast<double>(i)));
            if (asFloat) {
                const float f = static_cast<float>(v / 32768.0);
                bytes.append(reinterpret_cast<const char*>(&f), 4);
            } else {
                const auto s =
                    static_cast<std::int16_t>(std::lround(std::clamp(v, -32768.0, 32767.0)));
                bytes.append(reinterpret_cast<const char*>(&s), 2);
            }
        }
        return bytes;
    };
    const struct {
        const char* name;
        std::string bytes;
        const char* rawOption;  // "" for WAV
    } cases[] = {
        {"wav", test::wavBytes(audio), ""},
        {"s16le 8000", raw(8000, false), "8000"},
        {"f32le 48000", raw(48000, true), "48000,f32le"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
        std::atomic<bool> seen{false};
        std::thread writer([&] {
            std::ofstream out(dir / "pipe", std::ios::binary);
            const std::size_t half = c.bytes.size() * 6 / 10;
            out.write(c.bytes.data(), static_cast<std::streamsize>(half)).flush();
            for (int i = 0; i < 100 && !seen; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            out.write(c.bytes.data() + half, static_cast<std::streamsize>(c.bytes.size() - half));
        });
        std::string command = "exec \"$0\" rtty --plain -b 50 -s 450 -c 1275 --polarity normal";
        if (*c.rawOption) command += std::string(" --raw ") + c.rawOption;
        test::ChildProcess child(
            {"/bin/sh", "-c", command + " - < \"$1\"", program.string(), (dir / "pipe").string()});
        // What comes out while the writer waits (it waits 10 s at most).
        const std::string first = child.readOutput(std::chrono::seconds(4));
        seen = true;
        writer.join();
        EXPECT_NE(first.find("CQ CQ DE TEST"), std::string::npos) << "before the writer finished";
        const std::string all = first + child.readOutput(std::chrono::seconds(20));
        EXPECT_NE(all.find("THE FIRST HAS COME OUT"), std::string::npos) << all;
        EXPECT_EQ(child.waitExit(), 0);
    }
}

}  // namespace
}  // namespace zeb::rtty
