// Whole broadcasts through the decoder: a generated test chart from start
// signal to stop signal, clean and impaired, and the recordings beside the
// project. Each case records what came out (left edge, mean grey error,
// skew) as test properties.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <numeric>
#include <random>

#include "common/ProfileFile.h"
#include "fax/Bmp.h"
#include "fax/FaxDecoder.h"
#include "fax/LineAnalysis.h"
#include "fax_test_support.h"
#include "support/Blocks.h"
#include "support/FaxGenerator.h"
#include "support/TestEnv.h"

namespace zeb::fax {
namespace {

using test::RecordingEvents;

struct Decoded {
    std::vector<FaxState> states;
    std::vector<PictureOutcome> outcomes;
    std::optional<Bitmap> picture;
    std::optional<double> measuredPpm;
};

struct Options {
    bool autoSlant = true;
    bool scheduled = false;  // Receiving from the first sample on
};

Decoded decode(const std::vector<float>& audio, const CorrectionTable& table,
               Options options = {}) {
    zeb::test::TempDir dir;
    RecordingEvents events;
    FaxDecoder decoder(events, dir.path());
    decoder.setClock([] { return NameTime{2026, 12, 7, 12, 0, 0}; });
    decoder.setCorrectionTable(table);
    decoder.setAutoSlant(options.autoSlant);
    decoder.setReceptionActive(options.scheduled);
    EXPECT_TRUE(decoder.start());
    zeb::test::forEachBlock<kBlockLength>(audio, [&](auto block) { decoder.processBlock(block); });
    const auto ppm = decoder.measuredPpm();
    decoder.stop();
    Decoded d{events.states, events.outcomes, std::nullopt, ppm};
    for (const auto& o : events.outcomes) {
        if (o.kind == PictureOutcome::Kind::Saved) {
            auto bm = readBmpFile(o.picture);
            if (bm) d.picture = std::move(*bm);
        }
    }
    return d;
}

// The grey index a chart value should decode to.
int expectedIndex(int value) {
    return std::clamp(static_cast<int>(std::lround((255 - value) / 17.0)), 0, 15);
}

struct Match {
    int rowOffset = 0;         // picture row j shows chart row j + rowOffset
    double leftEdge = 0;       // median column where chart column 0 lies
    double skew = 0;           // change of that column from the first to the last row
    double meanGreyError = 0;  // in grey levels, at the best alignment of each row
};

// Aligns each decoded row with the chart by trying shifts of ±80 columns.
// The chart fills `lineFraction` of each line from `margin` (a fraction of
// the line) on; the rest of a line, if any, is not compared.
Match compare(const Bitmap& pic, const zeb::test::GreyPicture& chart, double lineFraction = 1.0,
              double margin = 0.0) {
    const double span = pic.width * lineFraction, from = pic.width * margin;
    const auto expected = [&](int x, int row) {
        if (x < from || x >= from + span) return -1;
        const int cx =
            std::clamp(static_cast<int>((x - from) / span * chart.width), 0, chart.width - 1);
        return expectedIndex(chart.at(cx, row));
    };
    const auto rowError = [&](int j, int row, int shift) {
        double e = 0;
        int n = 0;
        for (int x = 0; x < pic.width; x += 3) {
            const int want = expected(x, row);
            if (want < 0) continue;
            const int px = ((x + shift) % pic.width + pic.width) % pic.width;
            e += std::abs(pic.index(px, j) - want);
            ++n;
        }
        return e / std::max(n, 1);
    };
    Match best;
    double bestError = 1e9;
    const int rows = std::min(pic.height, chart.height);
    for (int offset = -2; offset <= 8; ++offset) {
        double e = 0;
        int n = 0;
        for (int j = 5; j < rows - 10; j += 5) {
            if (j + offset < 0 || j + offset >= chart.height) continue;
            double rowBest = 1e9;
            for (int s = -80; s <= 80; s += 4)
                rowBest = std::min(rowBest, rowError(j, j + offset, s));
            e += rowBest;
            ++n;
        }
        if (n > 0 && e / n < bestError) {
            bestError = e / n;
            best.rowOffset = offset;
        }
    }
    std::vector<double> shifts, errors;
    for (int j = 1; j < pic.height && j + best.rowOffset < chart.height; ++j) {
        if (j + best.rowOffset < 0) continue;
        int bestShift = 0;
        double bestRow = 1e9;
        for (int s = -80; s <= 80; ++s) {
            const double e = rowError(j, j + best.rowOffset, s);
            if (e < bestRow) {
                bestRow = e;
                bestShift = s;
            }
        }
        shifts.push_back(bestShift);
        errors.push_back(bestRow);
    }
    const auto median = [](std::vector<double> v) {
        std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
        return v[v.size() / 2];
    };
    best.leftEdge = median(shifts);
    // Skew: the median shift of the last 15 rows against that of the first 15
    // (medians, so that a few noisy rows do not count).
    const std::size_t k = std::min<std::size_t>(15, shifts.size() / 2);
    best.skew = median({shifts.end() - static_cast<std::ptrdiff_t>(k), shifts.end()}) -
                median({shifts.begin(), shifts.begin() + static_cast<std::ptrdiff_t>(k)});
    best.meanGreyError =
        std::accumulate(errors.begin(), errors.end(), 0.0) / static_cast<double>(errors.size());
    return best;
}

void record(const char* name, const Match& m) {
    ::testing::Test::RecordProperty(std::string(name) + "_left_edge", std::to_string(m.leftEdge));
    ::testing::Test::RecordProperty(std::string(name) + "_grey_error",
                                    std::to_string(m.meanGreyError));
    ::testing::Test::RecordProperty(std::string(name) + "_skew", std::to_string(m.skew));
    std::printf("%s: left edge %.1f px, mean grey error %.3f levels, skew %.1f px, row offset %d\n",
                name, m.leftEdge, m.meanGreyError, m.skew, m.rowOffset);
}

CorrectionTable tableFor(double ppm) {
    CorrectionTable t;
    t.store(576, 120, static_cast<float>(1810.0 / (5512.5 * (1.0 + ppm * 1e-6))));
    return t;
}

const zeb::test::GreyPicture& chart() {
    static const auto c = zeb::test::testChart(1810, 150);
    return c;
}

TEST(FaxEndToEnd, clean_chart_from_start_tone_to_stop_tone) {
    zeb::test::FaxSignal signal;
    signal.leadSeconds = 0.3;  // the decoder's lines start anywhere in the broadcast's
    const auto audio = zeb::test::faxAudio(chart(), signal);
    const Decoded d = decode(audio, tableFor(0));
    const std::vector<FaxState> expected{FaxState::WaitStart, FaxState::Phasing,
                                         FaxState::PhasingEnd, FaxState::Receiving,
                                         FaxState::WaitStart};
    EXPECT_EQ(d.states, expected);
    ASSERT_EQ(d.outcomes.size(), 1u);
    ASSERT_TRUE(d.picture);
    EXPECT_EQ(d.picture->width, 1810);
    EXPECT_NEAR(d.picture->height, 150, 8);
    const Match m = compare(*d.picture, chart());
    record("clean", m);
    EXPECT_LE(std::abs(m.leftEdge), 2);
    EXPECT_LT(m.meanGreyError, 0.6);
    EXPECT_LE(std::abs(m.skew), 2);
}

// The same broadcast received by sound cards that run fast or slow, at
// 10 dB: with the default settings (no correction entry) the automatic slant
// measures the card's error from the phasing lines and the picture, and the
// picture comes out straight with its left edge at the line start. Switched
// off, the error leans the picture by 1810 · ppm pixels per line, and a
// correction entry for that card straightens it again.
class FaxSoundCard : public ::testing::TestWithParam<double> {};

TEST_P(FaxSoundCard, pictures_come_out_straight_without_calibration) {
    const double ppm = GetParam();
    zeb::test::FaxSignal signal;
    signal.leadSeconds = 0.7;
    signal.snrDb = 10.0;
    signal.ppm = ppm;
    signal.offsetHz = 15.0;
    signal.seed = 7;
    const auto audio = zeb::test::faxAudio(chart(), signal);
    const std::string name = "snr10_" + std::to_string(static_cast<int>(ppm)) + "ppm";

    const Decoded automatic = decode(audio, CorrectionTable{});
    ASSERT_TRUE(automatic.picture);
    const Match m = compare(*automatic.picture, chart());
    record((name + "_auto").c_str(), m);
    EXPECT_LE(std::abs(m.leftEdge), 3);
    EXPECT_LE(std::abs(m.skew), 2);
    EXPECT_LT(m.meanGreyError, 1.6);
    ASSERT_TRUE(automatic.measuredPpm);
    EXPECT_NEAR(*automatic.measuredPpm, ppm, 10);

    const Decoded off = decode(audio, CorrectionTable{}, {.autoSlant = false});
    ASSERT_TRUE(off.picture);
    const Match ms = compare(*off.picture, chart());
    record((name + "_off").c_str(), ms);
    // (The skew is taken between the medians of the first and last 15 rows.)
    const double lean = 1810 * ppm * 1e-6 * (off.picture->height - 15);
    EXPECT_NEAR(ms.skew, lean, 3 + 0.1 * std::abs(lean));
    EXPECT_FALSE(off.measuredPpm);

    const Decoded entry = decode(audio, tableFor(ppm), {.autoSlant = false});
    ASSERT_TRUE(entry.picture);
    const Match me = compare(*entry.picture, chart());
    record((name + "_entry").c_str(), me);
    EXPECT_LE(std::abs(me.leftEdge), 4);
    EXPECT_LE(std::abs(me.skew), 3);
}

INSTANTIATE_TEST_SUITE_P(Ppm, FaxSoundCard, ::testing::Values(-200.0, -50.0, 0.0, 50.0, 200.0));

// The phasing lines alone tell the sound card's error: right after them,
// before the picture has said anything, the measurement is in and the line
// starts at the pulse.
TEST(FaxEndToEnd, slant_measured_from_the_phasing_lines) {
    zeb::test::GreyPicture blank;  // white lines: nothing to compare
    blank.width = 1810;
    blank.height = 4;
    blank.pixels.assign(1810 * 4, 255);
    for (const double ppm : {-200.0, -50.0, 0.0, 50.0, 200.0}) {
        zeb::test::FaxSignal signal;
        signal.leadSeconds = 0.37;
        signal.snrDb = 10.0;
        signal.ppm = ppm;
        signal.phasingLines = 60;
        signal.stopSeconds = 0.0;
        zeb::test::TempDir dir;
        RecordingEvents events;
        FaxDecoder decoder(events, dir.path());
        ASSERT_TRUE(decoder.start());
        zeb::test::forEachBlock<kBlockLength>(zeb::test::faxAudio(blank, signal),
                                              [&](auto block) { decoder.processBlock(block); });
        ASSERT_EQ(decoder.state(), FaxState::Receiving) << ppm;
        const auto measured = decoder.measuredPpm();
        ASSERT_TRUE(measured) << ppm;
        EXPECT_NEAR(*measured, ppm, 5) << ppm;
        decoder.stop();
    }
}

// A picture that begins without start signal and phasing (a scheduled
// reception that joins a broadcast) straightens from its own content: after
// some tens of lines its lines stand straight below each other.
TEST(FaxEndToEnd, a_picture_without_phasing_straightens_from_its_content) {
    const auto tall = zeb::test::testChart(1810, 240);
    zeb::test::FaxSignal signal;
    signal.startSeconds = 0.0;
    signal.phasingLines = 0;
    signal.stopSeconds = 0.0;
    signal.snrDb = 15.0;
    signal.ppm = 150.0;
    const Decoded d =
        decode(zeb::test::faxAudio(tall, signal), CorrectionTable{}, {.scheduled = true});
    ASSERT_TRUE(d.picture);
    ASSERT_TRUE(d.measuredPpm);
    EXPECT_NEAR(*d.measuredPpm, 150.0, 10);
    // The last 120 rows against the chart rows they show.
    const Match whole = compare(*d.picture, tall);
    Bitmap tail = *d.picture;
    const int first = tail.height - 120;
    tail.pixels.erase(tail.pixels.begin(),
                      tail.pixels.begin() + static_cast<std::ptrdiff_t>(first) * tail.stride());
    tail.height = 120;
    zeb::test::GreyPicture tailChart = tall;
    const int chartFirst = first + whole.rowOffset;
    ASSERT_GE(chartFirst, 0);
    tailChart.pixels.erase(
        tailChart.pixels.begin(),
        tailChart.pixels.begin() + static_cast<std::ptrdiff_t>(chartFirst) * tall.width);
    tailChart.height = tall.height - chartFirst;
    const Match m = compare(tail, tailChart);
    record("no_phasing_tail", m);
    EXPECT_LE(std::abs(m.skew), 2);
    // The whole picture leans less than an uncorrected one would in its
    // first 60 lines alone.
    EXPECT_LT(std::abs(whole.skew), 1810 * 150e-6 * 60);
}

// Start and stop signals are found down to 5 dB SNR in 3 kHz (the
// generator's SNR counts the noise over 5512.5 Hz: 2.6 dB less).
TEST(FaxEndToEnd, start_and_stop_signals_at_5_db_in_3_khz) {
    zeb::test::FaxSignal signal;
    signal.leadSeconds = 0.4;
    signal.snrDb = 5.0 - 10.0 * std::log10(5512.5 / 3000.0);
    signal.seed = 11;
    const Decoded d = decode(zeb::test::faxAudio(chart(), signal), CorrectionTable{});
    const std::vector<FaxState> expected{FaxState::WaitStart, FaxState::Phasing,
                                         FaxState::PhasingEnd, FaxState::Receiving,
                                         FaxState::WaitStart};
    EXPECT_EQ(d.states, expected);
    ASSERT_EQ(d.outcomes.size(), 1u);
    EXPECT_NEAR(d.outcomes[0].rows, chart().height, 8);
}

// The signal goes away in the middle of a picture (fading, a receiver
// switched off): after some tens of lines of noise or silence the picture is
// ended and saved, not left open until the next stop signal.
TEST(FaxEndToEnd, a_broken_picture_is_ended_and_saved) {
    for (const bool silence : {false, true}) {
        zeb::test::FaxSignal signal;
        signal.snrDb = 10.0;
        signal.stopSeconds = 0.0;  // no stop signal: the broadcast just stops
        signal.tailSeconds = 0.0;
        auto audio = zeb::test::faxAudio(chart(), signal);
        // 25 s (50 lines) of noise at the level the broadcast had, or silence.
        std::mt19937 rng(3);
        std::normal_distribution<float> noise(0.0f, 8000.0f / std::sqrt(2.0f));
        for (int i = 0; i < 25 * 11025; ++i) audio.push_back(silence ? 0.0f : noise(rng));
        zeb::test::TempDir dir;
        RecordingEvents events;
        FaxDecoder decoder(events, dir.path());
        ASSERT_TRUE(decoder.start());
        zeb::test::forEachBlock<kBlockLength>(audio,
                                              [&](auto block) { decoder.processBlock(block); });
        // Ended before the recording was.
        EXPECT_EQ(decoder.state(), FaxState::WaitStart) << silence;
        ASSERT_EQ(events.outcomes.size(), 1u) << silence;
        EXPECT_EQ(events.outcomes[0].kind, PictureOutcome::Kind::Saved) << silence;
        EXPECT_GE(events.outcomes[0].rows, chart().height - 5) << silence;
        EXPECT_LE(events.outcomes[0].rows, chart().height + kLostSignalLines + 2) << silence;
        decoder.stop();
        EXPECT_EQ(events.outcomes.size(), 1u) << silence;
    }
}

TEST(FaxEndToEnd, ioc_288_with_its_675_hz_start_signal) {
    zeb::test::FaxSignal signal;
    signal.ioc = 288;
    signal.leadSeconds = 0.2;
    const auto c = zeb::test::testChart(905, 110);
    zeb::test::TempDir dir;
    RecordingEvents events;
    FaxDecoder decoder(events, dir.path());
    FaxConfig config;
    config.ioc = 288;
    config.startTone = 675;
    decoder.setConfig(config);
    CorrectionTable t;
    t.store(288, 120, static_cast<float>(905.0 / 5512.5));
    decoder.setCorrectionTable(t);
    ASSERT_TRUE(decoder.start());
    zeb::test::forEachBlock<kBlockLength>(zeb::test::faxAudio(c, signal),
                                          [&](auto block) { decoder.processBlock(block); });
    decoder.stop();
    ASSERT_EQ(events.outcomes.size(), 1u);
    auto bm = readBmpFile(events.outcomes[0].picture);
    ASSERT_TRUE(bm);
    EXPECT_EQ(bm->width, 905);
    const Match m = compare(*bm, c);
    record("ioc288", m);
    EXPECT_LE(std::abs(m.leftEdge), 2);
    EXPECT_LT(m.meanGreyError, 0.8);
}

// Settings that silenced the decoder (tones that never come, a correction
// entry that lays down no pixels or far too many) are replaced by their
// defaults when loaded, with a warning that names them, and the broadcast is
// received from its start signal to its stop signal.
TEST(FaxEndToEnd, unusable_settings_fall_back_to_the_defaults) {
    struct Case {
        std::uint16_t startTone, stopTone;
        float entry;  // IOC 576, LPM 120
        const char* refused;
    };
    const auto audio = zeb::test::faxAudio(zeb::test::testChart(1810, 110), {});
    for (const Case& k :
         {Case{0, 450, 0.0f, "CONFIG start tone 0 "},
          Case{300, 65535, 0.0f, "CONFIG stop tone 65535 "},
          Case{450, 450, 0.0f, "CONFIG start tone 450 "},
          Case{300, 450, 1e-30f, "CORRTABLE correction IOC 576 LPM 120 1e-30 "},
          Case{300, 450, 0.9999999f, "CORRTABLE correction IOC 576 LPM 120 0.9999999 "}}) {
        zeb::test::TempDir dir;
        ProfileFile profile(dir / "NIMBA.INI");
        FaxConfig config;
        config.startTone = k.startTone;
        config.stopTone = k.stopTone;
        std::array<std::uint8_t, CorrectionTable::kBytes> table{};
        std::memcpy(&table[(3 * 6 + 3) * 4], &k.entry, 4);
        profile.setSection("FAXPARAM");
        ASSERT_TRUE(profile.writeBytes("CONFIG", serialize(config)));
        ASSERT_TRUE(profile.writeBytes("CORRTABLE", table));
        RecordingEvents events;
        FaxDecoder decoder(events, dir.path());
        decoder.setProfile(&profile);
        ASSERT_TRUE(decoder.start());
        const auto refused = decoder.refusedSettings();
        ASSERT_EQ(refused.size(), 1u) << k.refused;
        EXPECT_NE(describe(refused[0]).find(k.refused), std::string::npos) << describe(refused[0]);
        zeb::test::forEachBlock<kBlockLength>(audio, [&](auto b) { decoder.processBlock(b); });
        // Ended by the stop signal, not by the end of the recording.
        EXPECT_EQ(events.states.back(), FaxState::WaitStart) << k.refused;
        ASSERT_EQ(events.outcomes.size(), 1u) << k.refused;
        EXPECT_NEAR(events.outcomes[0].rows, 110, 5) << k.refused;
        decoder.stop();
    }
}

// ---- recordings beside the project ----

// 16-bit PCM mono WAV samples and their rate; empty when unreadable.
std::vector<float> readWav(const std::filesystem::path& path, int& rate) {
    const std::string b = zeb::test::readFile(path);
    std::vector<float> out;
    if (b.size() < 12 || b.compare(0, 4, "RIFF") != 0 || b.compare(8, 4, "WAVE") != 0) return out;
    const auto u16 = [&](std::size_t at) {
        return static_cast<std::uint8_t>(b[at]) | (static_cast<std::uint8_t>(b[at + 1]) << 8);
    };
    const auto u32 = [&](std::size_t at) {
        return static_cast<std::uint32_t>(u16(at)) |
               (static_cast<std::uint32_t>(u16(at + 2)) << 16);
    };
    int channels = 0, bits = 0;
    for (std::size_t at = 12; at + 8 <= b.size();) {
        const std::uint32_t size = u32(at + 4);
        if (b.compare(at, 4, "fmt ") == 0 && at + 24 <= b.size()) {
            channels = u16(at + 10);
            rate = static_cast<int>(u32(at + 12));
            bits = u16(at + 22);
        } else if (b.compare(at, 4, "data") == 0 && channels == 1 && bits == 16) {
            const std::size_t n = std::min<std::size_t>(size, b.size() - at - 8) / 2;
            for (std::size_t i = 0; i < n; ++i)
                out.push_back(static_cast<float>(static_cast<std::int16_t>(u16(at + 8 + 2 * i))));
            return out;
        }
        at += 8 + size + (size & 1);
    }
    return out;
}

// Linear interpolation to 11025 Hz (the recordings hold nothing of interest
// above 3 kHz).
std::vector<float> to11025(const std::vector<float>& in, int rate) {
    if (rate == 11025 || rate <= 0) return in;
    std::vector<float> out;
    const double step = rate / 11025.0;
    for (double t = 0; t + 1 < static_cast<double>(in.size()); t += step) {
        const auto i = static_cast<std::size_t>(t);
        const double f = t - static_cast<double>(i);
        out.push_back(static_cast<float>(in[i] * (1 - f) + in[i + 1] * f));
    }
    return out;
}

zeb::test::GreyPicture readPgm(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxval = 0;
    zeb::test::GreyPicture p;
    in >> magic >> p.width >> p.height >> maxval;
    in.get();
    p.pixels.resize(static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height));
    in.read(reinterpret_cast<char*>(p.pixels.data()),
            static_cast<std::streamsize>(p.pixels.size()));
    if (magic != "P5" || !in) return {};
    return p;
}

TEST(FaxRecordings, synthetic_broadcast_with_its_exact_picture) {
    const auto data = zeb::test::sharedData();
    if (!data) GTEST_SKIP() << "reference data absent";
    const auto dir = *data / "recordings" / "wefax";
    if (!std::filesystem::exists(dir / "synth_wefax_clean.wav")) GTEST_SKIP() << "recording absent";
    int rate = 0;
    const auto samples = readWav(dir / "synth_wefax_clean.wav", rate);
    const auto audio = to11025(samples, rate);
    ASSERT_FALSE(audio.empty());
    const auto truth = readPgm(dir / "synth_wefax_clean.pgm");
    ASSERT_EQ(truth.width, 1809);
    // That broadcast begins each line with the phasing pulse's white margin
    // (5 %) and spreads its 1809 columns over the other 95 % (bars of 100
    // columns arrive 95 pixels wide); its lines last 5512 samples, not
    // 5512.5, as from a sound card 91 ppm slow. The automatic slant finds
    // that; without it the picture leans until a slant entry of 1810 / 5512
    // straightens it.
    CorrectionTable measured;
    measured.store(576, 120, 1810.0f / 5512.0f);
    struct Case {
        const char* name;
        CorrectionTable table;
        bool autoSlant;
        bool straight;
    };
    for (const Case& c : {Case{"synth_clean_default", CorrectionTable{}, true, true},
                          Case{"synth_clean_no_auto_slant", CorrectionTable{}, false, false},
                          Case{"synth_clean_slant_entry", measured, false, true}}) {
        const Decoded d = decode(audio, c.table, {.autoSlant = c.autoSlant});
        ASSERT_TRUE(d.picture) << c.name;
        std::printf("%s: %d states, picture %dx%d\n", c.name, static_cast<int>(d.states.size()),
                    d.picture->width, d.picture->height);
        const Match m = compare(*d.picture, truth, 0.95, 0.05);
        record(c.name, m);
        if (c.straight) {
            EXPECT_LT(m.meanGreyError, 1.0) << c.name;
            // Whole-pixel medians of 15 rows: the exact entry gives 3 too.
            EXPECT_LE(std::abs(m.skew), 3) << c.name;
            EXPECT_LE(std::abs(m.leftEdge), 3) << c.name;
        } else {
            EXPECT_GT(std::abs(m.skew), 10) << c.name;
        }
        if (c.autoSlant) {
            ASSERT_TRUE(d.measuredPpm);
            EXPECT_NEAR(*d.measuredPpm, (5512.0 / 5512.5 - 1) * 1e6, 5);
        }
    }
}

TEST(FaxRecordings, one_second_cuts_give_the_expected_tone_values) {
    const auto data = zeb::test::sharedData();
    if (!data) GTEST_SKIP() << "reference data absent";
    const auto dir = *data / "recordings" / "wefax";
    int found = 0;
    for (const auto& [file, tone] :
         {std::pair{"wojlin_start_tone.wav", 300}, std::pair{"wojlin_start_tone_noisy.wav", 300},
          std::pair{"wojlin_start_tone_start.wav", 300}, std::pair{"wojlin_stop_tone.wav", 450},
          std::pair{"wojlin_image.wav", 0}}) {
        if (!std::filesystem::exists(dir / file)) continue;
        ++found;
        int rate = 0;
        const auto samples = readWav(dir / file, rate);
        const auto audio = to11025(samples, rate);
        ASSERT_FALSE(audio.empty()) << file;
        zeb::test::TempDir work;
        RecordingEvents events;
        FaxDecoder decoder(events, work.path());
        ASSERT_TRUE(decoder.start());
        std::string seen;
        int matches = 0, lines = 0, row = 0;
        zeb::test::forEachBlock<kBlockLength>(audio, [&](auto block) {
            decoder.processBlock(block);
            if (decoder.row() != row) {
                row = decoder.row();
                ++lines;
                const auto v = decoder.lastToneValues();
                seen += " " + std::to_string(v.first) + "/" + std::to_string(v.second);
                if (tone > 0 && toneMatches(v, tone)) ++matches;
            }
        });
        std::printf("%s (%d Hz): tone values per line:%s\n", file, rate, seen.c_str());
        ::testing::Test::RecordProperty(file, seen);
        // The first line starts at an arbitrary point of the recording; every
        // complete line of a tone must match it.
        if (tone > 0 && lines >= 2) {
            EXPECT_GE(matches, lines - 1) << file << seen;
        }
    }
    if (found == 0) GTEST_SKIP() << "recordings absent";
}

}  // namespace
}  // namespace zeb::fax
