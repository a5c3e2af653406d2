// The demodulator, the line analysis and the reception states, driven with
// synthetic tones laid on the decoder's own line grid.
#include <gtest/gtest.h>

#include "dsp/Status.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <thread>

#include "fax/FaxDecoder.h"
#include "fax/LineAnalysis.h"
#include "fax_test_support.h"
#include "support/TestEnv.h"

namespace zeb::fax {
namespace {

using test::kLineSamples;
using test::RecordingEvents;
using test::Synth;

struct Fixture {
    zeb::test::TempDir dir;
    RecordingEvents events;
    FaxDecoder decoder{events, dir.path()};

    explicit Fixture(bool exactRate = true, FaxConfig config = {}) {
        decoder.setConfig(config);
        if (exactRate) decoder.setCorrectionTable(test::exactRateTable(config.ioc, config.lpm));
        EXPECT_TRUE(decoder.start());
    }
};

// The decoder prepares its line transform when it starts and when the width
// changes; a rejected preparation would reach the program's error handler,
// which ends the program.
TEST(FaxDemodulator, start_and_width_change_report_no_signal_processing_error) {
    dsp::clearStatus();
    Fixture f;
    EXPECT_EQ(dsp::lastStatus(), dsp::kStatusOk);
    FaxConfig narrow = f.decoder.config();
    narrow.ioc = 288;
    f.decoder.setConfig(narrow);
    EXPECT_EQ(dsp::lastStatus(), dsp::kStatusOk);
}

TEST(FaxDemodulator, grey_levels_of_the_black_centre_and_white_tones) {
    const std::map<double, std::pair<int, int>> cases{
        {1500.0, {15, 15}}, {2300.0, {0, 1}}, {1900.0, {5, 7}}};
    for (const auto& [hz, range] : cases) {
        Fixture f;
        Synth s;
        s.tone(3 * kLineSamples, hz);
        s.feed(f.decoder);
        ASSERT_GE(f.decoder.row(), 2);
        std::map<int, int> histogram;
        for (int x = 0; x < 1810; ++x) ++histogram[f.decoder.picture().pixel(x, 1)];
        for (const auto& [grey, n] : histogram) {
            EXPECT_GE(grey, range.first) << hz << " Hz";
            EXPECT_LE(grey, range.second) << hz << " Hz";
        }
        // 2300 Hz lies exactly on the edge of level 0 ((Tw − Tw)·K + 0.5), so the
        // interpolated crossings put some pixels at 1; most are 0.
        const auto mode = std::max_element(histogram.begin(), histogram.end(),
                                           [](auto a, auto b) { return a.second < b.second; });
        EXPECT_EQ(mode->first, hz == 1500.0 ? 15 : hz == 2300.0 ? 0 : 6) << hz << " Hz";
    }
}

TEST(FaxDemodulator, at_the_nominal_rate_a_line_of_1810_pixels_takes_half_a_second) {
    Fixture f(false);
    Synth s;
    s.tone(1000 * kBlockLength, 1900);
    s.feed(f.decoder);
    // 185.76 lines of 5512.5 samples; at 5514 samples a line (the broadcast's
    // 576·π pixels) it would be 185.71, 90 pixels less.
    const double pixels = f.decoder.row() * 1810.0 + f.decoder.column();
    EXPECT_NEAR(pixels, 1000 * kBlockLength / kLineSamples * 1810.0, 3);
}

TEST(FaxDemodulator, silence_neither_writes_pixels_nor_piles_them_up) {
    Fixture f;
    const std::vector<float> zero(kBlockLength, 0.0f);
    for (int i = 0; i < 2000; ++i)  // three minutes of digital silence
        f.decoder.processBlock(std::span<const float, kBlockLength>(zero.data(), kBlockLength));
    EXPECT_EQ(f.decoder.row(), 0);
    Synth s;
    s.tone(kBlockLength, 2300);
    s.feed(f.decoder);
    // At most one line was waiting: one line completes, not a hundred.
    EXPECT_LE(f.decoder.row(), 1);
}

// Start signal: black/white alternation, analysed per line.
TEST(FaxReception, five_lines_of_300_hz_start_phasing_at_120_lpm_not_at_60) {
    {
        Fixture f;
        Synth s;
        s.alternation(4 * kLineSamples + 200, 300);
        s.feed(f.decoder);
        EXPECT_EQ(f.decoder.state(), FaxState::WaitStart);
        const auto tones = f.decoder.lastToneValues();
        EXPECT_TRUE((tones.first >= 294 && tones.first <= 306) ||
                    (tones.second >= 294 && tones.second <= 306))
            << tones.first << " " << tones.second;
        s.alternation(kLineSamples + 1200, 300);
        s.feed(f.decoder);
        EXPECT_EQ(f.decoder.state(), FaxState::Phasing);
    }
    {
        FaxConfig c;
        c.lpm = 60;
        Fixture f(true, c);
        Synth s;
        s.alternation(8 * 2 * kLineSamples, 300);
        s.feed(f.decoder);
        EXPECT_EQ(f.decoder.state(), FaxState::WaitStart);
        const auto tones = f.decoder.lastToneValues();
        EXPECT_TRUE(std::abs(tones.first - 600) <= 10 || std::abs(tones.second - 600) <= 10)
            << tones.first << " " << tones.second;
    }
}

TEST(FaxReception, fifty_one_lines_without_phasing_end_phasing_without_a_shift) {
    Fixture f;
    Synth s;
    s.alternation(5 * kLineSamples, 300);
    // A black bar at columns 0 … 99 on mid grey: no white pulse anywhere.
    const auto barLines = [&](double lines) {
        s.add(lines * kLineSamples, [](double n) {
            const double u = std::fmod(n / kLineSamples, 1.0);
            return u < 100.0 / 1810 ? 1500.0 : 1900.0;
        });
    };
    barLines(50.5);
    s.feed(f.decoder);
    EXPECT_EQ(f.decoder.state(), FaxState::Phasing);
    barLines(4);
    s.feed(f.decoder);
    EXPECT_EQ(f.events.states.at(f.events.states.size() - 2), FaxState::PhasingEnd);
    EXPECT_EQ(f.decoder.state(), FaxState::Receiving);
    const int row = f.decoder.row() - 1;
    EXPECT_EQ(f.decoder.picture().pixel(50, row), 15);
    EXPECT_LT(f.decoder.picture().pixel(150, row), 10);
}

// The line starts where the pulse starts: its margin stays together at the
// left of the picture.
TEST(FaxReception, three_phasing_lines_move_the_pulse_leading_edge_to_column_0) {
    for (const double pulseAt : {0.3, 0.97, 0.01}) {  // also pulses that straddle the line end
        Fixture f;
        Synth s;
        s.alternation(5 * kLineSamples, 300);
        const auto phasing = [&](double lines) {
            s.add(lines * kLineSamples, [=](double n) {
                const double u = std::fmod(n / kLineSamples - pulseAt + 1.0, 1.0);
                return u < 0.05 ? 2300.0 : 1500.0;
            });
        };
        phasing(3.5);
        s.feed(f.decoder);
        EXPECT_EQ(f.decoder.state(), FaxState::PhasingEnd) << pulseAt;
        phasing(3);
        // Picture lines: black bar at the left edge.
        s.add(4 * kLineSamples, [=](double n) {
            double u = std::fmod(n / kLineSamples - pulseAt + 1.0, 1.0);
            return u < 100.0 / 1810 ? 1500.0 : 2300.0;
        });
        s.feed(f.decoder);
        ASSERT_EQ(f.decoder.state(), FaxState::Receiving) << pulseAt;
        // Where the bar starts and ends, counted around the line.
        const int row = f.decoder.row() - 1;
        const auto black = [&](int x) {
            return f.decoder.picture().pixel((x + 1810) % 1810, row) >= 12;
        };
        int start = 0;
        while (start > -200 && black(start - 1)) --start;
        while (start < 200 && !black(start)) ++start;
        int end = start;
        while (end < start + 300 && black(end + 1)) ++end;
        EXPECT_LE(std::abs(start), 3) << pulseAt;
        EXPECT_NEAR(end, 99, 4) << pulseAt;
    }
}

TEST(FaxReception, stop_tone_needs_five_consecutive_lines) {
    Fixture f;
    f.decoder.manualStartStop();
    ASSERT_EQ(f.decoder.state(), FaxState::Receiving);
    Synth s;
    s.tone(10 * kLineSamples, 1900);
    s.alternation(4 * kLineSamples, 450);
    s.tone(3 * kLineSamples, 1900);
    s.feed(f.decoder);
    EXPECT_EQ(f.decoder.state(), FaxState::Receiving);
    EXPECT_TRUE(f.events.outcomes.empty());
    s.alternation(5 * kLineSamples, 450);
    s.tone(kLineSamples, 1900);
    s.feed(f.decoder);
    EXPECT_EQ(f.decoder.state(), FaxState::WaitStart);
    ASSERT_EQ(f.events.outcomes.size(), 1u);
    EXPECT_EQ(f.events.outcomes[0].kind, PictureOutcome::Kind::Discarded);  // 22 lines
}

TEST(FaxReception, scheduled_reception_starts_receiving_and_restarts_at_the_stop_tone) {
    zeb::test::TempDir dir;
    RecordingEvents events;
    FaxDecoder decoder(events, dir.path());
    decoder.setCorrectionTable(test::exactRateTable());
    decoder.setReceptionActive(true);
    ASSERT_TRUE(decoder.start());
    EXPECT_EQ(decoder.state(), FaxState::Receiving);
    EXPECT_TRUE(decoder.pictureFileOpen());
    Synth s;
    s.tone(3 * kLineSamples, 1900);
    s.alternation(5 * kLineSamples, 450);
    s.tone(kLineSamples, 1900);
    s.feed(decoder);
    EXPECT_EQ(decoder.state(), FaxState::Receiving);
    EXPECT_EQ(events.outcomes.size(), 1u);
    EXPECT_EQ(events.begun.size(), 2u);
    EXPECT_TRUE(decoder.pictureFileOpen());
}

TEST(FaxReception, ioc_change_restarts_lpm_change_keeps_the_buffer) {
    Fixture f;
    f.decoder.manualStartStop();
    Synth s;
    s.tone(3.5 * kLineSamples, 1900);
    s.feed(f.decoder);
    const int row = f.decoder.row();
    ASSERT_EQ(row, 3);
    FaxConfig c = f.decoder.config();
    c.lpm = 60;
    f.decoder.setConfig(c);
    EXPECT_EQ(f.decoder.row(), row);
    EXPECT_EQ(f.decoder.picture().width(), 1810);
    EXPECT_EQ(f.decoder.state(), FaxState::Receiving);
    c.ioc = 288;
    f.decoder.setConfig(c);
    EXPECT_EQ(f.decoder.state(), FaxState::WaitStart);
    EXPECT_FALSE(f.decoder.pictureFileOpen());
    EXPECT_EQ(f.decoder.picture().width(), 905);
    EXPECT_EQ(f.decoder.picture().height(), 1357);
    EXPECT_EQ(f.decoder.row(), 0);
    EXPECT_EQ(f.decoder.column(), 0);
    s.tone(3 * 2 * kLineSamples, 1900);
    s.feed(f.decoder);  // still decodes at the new width
    EXPECT_GE(f.decoder.row(), 2);
}

TEST(FaxReception, slant_step_and_apply_to_all_modes) {
    zeb::test::TempDir dir;
    RecordingEvents events;
    FaxDecoder d(events, dir.path());
    const float nominal = nominalPixelRate(576, 120);
    EXPECT_FLOAT_EQ(d.derived().pixelRate, nominal);
    d.slantStep(1);
    EXPECT_FLOAT_EQ(d.correctionTable().lookup(576, 120), nominal - 2.0e-7f);
    EXPECT_FLOAT_EQ(d.derived().pixelRate, nominal - 2.0e-7f);
    d.slantStep(-3);
    EXPECT_FLOAT_EQ(d.correctionTable().lookup(576, 120), nominal - 2.0e-7f + 6.0e-7f);
    d.applySlantToAllModes();
    const double ratio = d.correctionTable().lookup(576, 120) / nominal;
    EXPECT_NEAR(d.correctionTable().lookup(288, 60) / nominalPixelRate(288, 60), ratio, 1e-7);
    EXPECT_NEAR(d.correctionTable().lookup(267, 240) / nominalPixelRate(267, 240), ratio, 1e-7);
    FaxConfig c = d.config();
    c.ioc = 352;
    c.lpm = 90;
    d.setConfig(c);
    EXPECT_NEAR(d.derived().pixelRate / nominalPixelRate(352, 90), ratio, 1e-7);
}

TEST(FaxReception, settings_are_validated_when_applied) {
    zeb::test::TempDir dir;
    RecordingEvents events;
    FaxDecoder d(events, dir.path());
    FaxConfig c;
    c.shift = 800;
    c.bandwidth = 400;
    c.ioc = 0;
    EXPECT_EQ(d.setConfig(c).bandwidth, 800);
    EXPECT_EQ(d.config().ioc, 576);
    EXPECT_EQ(d.derived().width, 1810);
}

TEST(FaxReception, start_and_stop_load_and_save_the_settings) {
    zeb::test::TempDir dir;
    ProfileFile profile(dir / "NIMBA.INI");
    FaxConfig stored;
    stored.ioc = 288;
    ASSERT_TRUE(writeSettings(profile, stored, CorrectionTable{}));
    RecordingEvents events;
    FaxDecoder d(events, dir.path());
    d.setProfile(&profile);
    ASSERT_TRUE(d.start());
    EXPECT_EQ(d.picture().width(), 905);
    EXPECT_EQ(events.states.back(), FaxState::WaitStart);
    d.slantStep(1);
    d.stop();
    FaxConfig read;
    CorrectionTable table;
    readSettings(profile, read, table);
    EXPECT_EQ(read.ioc, 288);
    EXPECT_FLOAT_EQ(table.lookup(288, 120), nominalPixelRate(288, 120) - 2.0e-7f);
    // A stopped decoder ignores blocks.
    const std::vector<float> block(kBlockLength, 1000.0f);
    d.processBlock(std::span<const float, kBlockLength>(block.data(), kBlockLength));
    EXPECT_FALSE(d.running());
}

TEST(FaxLineAnalysis, transform_length_and_tone_values) {
    EXPECT_EQ(transformLength(839), 512);
    EXPECT_EQ(transformLength(905), 512);
    EXPECT_EQ(transformLength(1106), 1024);
    EXPECT_EQ(transformLength(1810), 1024);
    EXPECT_EQ(transformLength(100), 256);
    EXPECT_EQ(toneValue(576, 84, 1024), 297);
    EXPECT_EQ(toneValue(576, 126, 1024), 445);
    EXPECT_TRUE(toneMatches({0, 297}, 300));
    EXPECT_FALSE(toneMatches({294, 306}, 300));  // strictly inside 300 ± 6
    EXPECT_TRUE(toneMatches({445, 900}, 450));
}

TEST(FaxLineAnalysis, peak_search_finds_the_two_strongest_pairs) {
    std::vector<float> m(512, 1.0f);
    m[84] = 50.0f;
    m[85] = 40.0f;
    m[200] = 30.0f;
    m[300] = 20.0f;
    const auto peaks = findTwoPeaks(m);
    EXPECT_EQ(peaks.first, 84);
    EXPECT_EQ(peaks.second, 200);
    // The last pair s(510) is read as the neighbour of s(508), so a peak at
    // 508 is found.
    std::vector<float> edge(512, 1.0f);
    edge[508] = 9.0f;
    edge[20] = 5.0f;
    EXPECT_EQ(findTwoPeaks(edge), (std::pair<int, int>{20, 508}));
    EXPECT_EQ(findTwoPeaks(std::vector<float>(6, 1.0f)), (std::pair<int, int>{0, 0}));
}

TEST(FaxLineAnalysis, phasing_position_and_tolerance) {
    std::vector<std::int16_t> line(1810, 15);
    EXPECT_EQ(phasingPosition(line, 5, false), 0);
    for (int x = 500; x < 590; ++x) line[static_cast<std::size_t>(x)] = 0;  // 90 white pixels
    EXPECT_EQ(phasingPosition(line, 5, false), 544);
    for (int x = 590; x < 620; ++x) line[static_cast<std::size_t>(x)] = 1;  // 120: too wide
    EXPECT_EQ(phasingPosition(line, 5, false), 0);
    // A pulse split over the line end is one pulse around column 0.
    std::vector<std::int16_t> split(1810, 15);
    for (int x = 0; x < 30; ++x) split[static_cast<std::size_t>(x)] = 0;
    for (int x = 1750; x < 1810; ++x) split[static_cast<std::size_t>(x)] = 0;
    EXPECT_EQ(phasingPosition(split, 5, false), 1794);
    // Black pulse polarity.
    std::vector<std::int16_t> inverse(1810, 0);
    for (int x = 100; x < 190; ++x) inverse[static_cast<std::size_t>(x)] = 15;
    EXPECT_EQ(phasingPosition(inverse, 5, true), 144);
}

}  // namespace
}  // namespace zeb::fax

namespace zeb::fax {
namespace {

// The capture thread decodes while the user-interface thread changes the
// width, starts and ends pictures, stops and starts, and paints: no pixel may
// land outside the buffer and no picture may end twice (the sanitizer build
// checks the memory side).
TEST(FaxThreads, settings_changes_and_paints_while_blocks_are_decoded) {
    zeb::test::TempDir dir;
    RecordingEvents events;
    FaxDecoder decoder(events, dir.path());
    decoder.setPreviewSize(100, 40);
    ASSERT_TRUE(decoder.start());
    std::atomic<bool> done{false};
    std::thread capture([&] {
        Synth local;
        while (!done.load()) {
            local.alternation(3 * kLineSamples, 300);
            local.tone(2 * kLineSamples, 1700);
            local.feed(decoder);
        }
    });
    for (int i = 0; i < 40; ++i) {
        FaxConfig c = decoder.config();
        c.ioc = static_cast<std::uint16_t>(i % 3 == 0 ? 288 : i % 3 == 1 ? 576 : 267);
        c.filterOrder = static_cast<std::uint16_t>(i % 2 ? 32 : 128);
        decoder.setConfig(c);
        decoder.manualStartStop();
        (void)decoder.picture().snapshot();
        (void)decoder.preview().snapshot();
        if (i % 10 == 9) {
            decoder.stop();
            ASSERT_TRUE(decoder.start());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    done.store(true);
    capture.join();
    decoder.stop();
    EXPECT_TRUE(decoder.picture().valid());
    // Every picture begun was ended exactly once.
    EXPECT_EQ(events.outcomes.size(), events.begun.size());
}

}  // namespace
}  // namespace zeb::fax
