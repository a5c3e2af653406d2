// The fax parameter record, the correction table and the values derived from
// them: stored layout, validation of damaged values, slant arithmetic.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "common/ProfileFile.h"
#include "fax/FaxConfig.h"
#include "support/TestEnv.h"

namespace zeb::fax {
namespace {

TEST(FaxConfig, default_record_has_the_stored_layout) {
    const auto b = serialize(FaxConfig{});
    ASSERT_EQ(b.size(), 48u);
    const auto u16 = [&](int at) {
        return b[static_cast<std::size_t>(at)] | (b[static_cast<std::size_t>(at + 1)] << 8);
    };
    EXPECT_EQ(u16(12), 1900);
    EXPECT_EQ(u16(14), 800);
    EXPECT_EQ(u16(16), 1200);
    EXPECT_EQ(u16(18), 64);
    EXPECT_EQ(u16(20), 576);
    EXPECT_EQ(u16(22), 120);
    EXPECT_EQ(u16(28), 300);
    EXPECT_EQ(u16(30), 450);
    EXPECT_EQ(b[32], 5);
    EXPECT_EQ(b[35], 1);
    EXPECT_EQ(b[37], 0);
    EXPECT_EQ(b[40], 1);
    float rate;
    std::memcpy(&rate, &b[24], 4);  // little-endian host
    EXPECT_FLOAT_EQ(rate, 0.32834467f);
}

TEST(FaxConfig, round_trip_keeps_reserved_bytes) {
    FaxConfig c;
    c.reserved0[3] = 0xAB;
    c.reserved41[6] = 0x11;
    c.ioc = 288;
    c.phasingPolarity = 1;
    EXPECT_EQ(parseConfig(serialize(c)), c);
}

TEST(FaxConfig, validate_replaces_values_that_would_break_the_decoder) {
    // A "CONFIG" of 24 digits: 12 bytes, everything after them zero.
    std::array<std::uint8_t, 12> shortRecord{};
    FaxConfig c = parseConfig(shortRecord);
    EXPECT_GT(validate(c), 0);
    EXPECT_EQ(c.ioc, 576);
    EXPECT_EQ(c.lpm, 120);
    EXPECT_EQ(c.center, 1900);
    EXPECT_EQ(c.shift, 800);
    EXPECT_EQ(c.bandwidth, 1200);
    EXPECT_EQ(c.filterOrder, 0);  // 0 is a valid order: filter off
    EXPECT_EQ(c.phasingWidth, 5);

    FaxConfig odd;
    odd.filterOrder = 60;
    odd.ioc = 81;
    odd.lpm = 0;
    odd.bandwidth = 300;  // below the shift of 800
    validate(odd);
    EXPECT_EQ(odd.filterOrder, 64);
    EXPECT_EQ(odd.ioc, 576);
    EXPECT_EQ(odd.lpm, 120);
    EXPECT_EQ(odd.bandwidth, 800);
    FaxConfig good;
    EXPECT_EQ(validate(good), 0);
}

TEST(FaxConfig, bandwidth_below_the_shift_is_raised) {
    EXPECT_EQ(bandwidthForShift(300, 800), 800);
    EXPECT_EQ(bandwidthForShift(1200, 800), 1200);
}

TEST(FaxConfig, derived_values_of_every_ioc) {
    const std::array<int, 4> widths{839, 905, 1106, 1810};
    const std::array<int, 4> heights{1258, 1357, 1659, 2715};
    for (std::size_t i = 0; i < kIocValues.size(); ++i) {
        FaxConfig c;
        c.ioc = static_cast<std::uint16_t>(kIocValues[i]);
        const Derived d = derive(c, CorrectionTable{});
        EXPECT_EQ(d.width, widths[i]);
        EXPECT_EQ(d.height, heights[i]);
    }
    const Derived d = derive(FaxConfig{}, CorrectionTable{});
    EXPECT_NEAR(d.whiteHalf, 2.39674, 1e-5);
    EXPECT_NEAR(d.blackHalf, 3.675, 1e-5);
    EXPECT_NEAR(d.greyFactor, 12.517, 1e-3);
}

// At the nominal rate the W pixels of a line fill exactly one line period,
// in every mode: a picture from a perfect sound card comes out straight.
TEST(FaxConfig, nominal_rate_fills_the_line_period_in_every_mode) {
    for (int ioc : kIocValues) {
        for (int lpm : kLpmValues) {
            FaxConfig c;
            c.ioc = static_cast<std::uint16_t>(ioc);
            c.lpm = static_cast<std::uint16_t>(lpm);
            const Derived d = derive(c, CorrectionTable{});
            const double lineSeconds = d.width / static_cast<double>(d.pixelRate) / 11025.0;
            // Less than a thousandth of a pixel per line.
            EXPECT_NEAR(lineSeconds * lpm / 60.0, 1.0, 1e-3 / d.width) << ioc << "/" << lpm;
        }
    }
}

TEST(CorrectionTable, lookup_store_and_modes_outside_the_lists) {
    CorrectionTable t;
    EXPECT_EQ(t.lookup(576, 120), 0.0f);
    t.store(576, 120, 0.3283f);
    EXPECT_FLOAT_EQ(t.lookup(576, 120), 0.3283f);
    EXPECT_FLOAT_EQ(t.at(3 * 6 + 3), 0.3283f);  // row IOC 576, column LPM 120
    t.store(500, 120, 0.5f);
    t.store(576, 100, 0.5f);
    EXPECT_EQ(t.lookup(500, 120), 0.0f);
    t.store(288, 60, INFINITY);
    EXPECT_EQ(t.lookup(288, 60), 0.0f);
    const CorrectionTable back = CorrectionTable::parse(t.serialize());
    for (std::size_t i = 0; i < CorrectionTable::kEntries; ++i) EXPECT_EQ(back.at(i), t.at(i));
}

TEST(CorrectionTable, apply_to_all_modes_keeps_the_sample_rate_of_the_current_entry) {
    CorrectionTable t;
    const float c = nominalPixelRate(576, 120) * (1.0f - 50e-6f);
    t.store(576, 120, c);
    t.applyToAllModes(576, 120);
    for (int ioc : kIocValues) {
        for (int lpm : kLpmValues) {
            EXPECT_NEAR(t.lookup(ioc, lpm) / nominalPixelRate(ioc, lpm), 1.0 - 50e-6, 2e-7)
                << ioc << "/" << lpm;
        }
    }
    // No entry for the current mode: every mode back to nominal (no infinities).
    t.store(576, 120, 0.0f);
    t.applyToAllModes(576, 120);
    for (std::size_t i = 0; i < CorrectionTable::kEntries; ++i) EXPECT_EQ(t.at(i), 0.0f);
    t.store(576, 120, 0.3f);
    t.applyToAllModes(576, 7);  // LPM outside the list
    EXPECT_EQ(t.lookup(576, 120), 0.0f);
}

TEST(CorrectionTable, a_sound_card_error_sets_every_mode) {
    for (const double ppm : {-200.0, 0.0, 75.0}) {
        CorrectionTable t;
        t.setSampleRateError(ppm);
        for (int ioc : kIocValues)
            for (int lpm : kLpmValues)
                EXPECT_NEAR(t.lookup(ioc, lpm) * (1.0 + ppm * 1e-6) / nominalPixelRate(ioc, lpm),
                            1.0, 2e-7)
                    << ppm << " " << ioc << "/" << lpm;
        EXPECT_NEAR(sampleRateErrorPpm(nominalLineSamples(120) * (1.0 + ppm * 1e-6), 120), ppm,
                    1e-6);
    }
}

TEST(FaxSettings, ini_round_trip_short_config_and_missing_table) {
    test::TempDir dir;
    ProfileFile profile(dir / "NIMBA.INI");
    FaxConfig c;
    c.ioc = 288;
    c.startTone = 675;
    CorrectionTable t;
    t.store(288, 120, 0.1642f);
    ASSERT_TRUE(writeSettings(profile, c, t));
    const std::string text = test::readFile(dir / "NIMBA.INI");
    EXPECT_NE(text.find("[FAXPARAM]"), std::string::npos);
    EXPECT_NE(text.find("CONFIG=000000000000000000000000"), std::string::npos);

    FaxConfig read;
    CorrectionTable readTable;
    readSettings(profile, read, readTable);
    EXPECT_EQ(read.ioc, 288);
    EXPECT_EQ(read.startTone, 675);
    EXPECT_FLOAT_EQ(readTable.lookup(288, 120), 0.1642f);

    test::writeFile(dir / "NIMBA.INI", "[FAXPARAM]\nCONFIG=000000000000000000000000\n");
    readSettings(profile, read, readTable);
    EXPECT_EQ(read.ioc, 576);  // validated after the zero fill
    EXPECT_EQ(read.lpm, 120);
    EXPECT_EQ(readTable.lookup(288, 120), 0.0f);  // unreadable table: all zero

    // Without the key the record keeps its values.
    test::writeFile(dir / "NIMBA.INI", "[FAXPARAM]\n");
    FaxConfig kept;
    kept.lpm = 60;
    readSettings(profile, kept, readTable);
    EXPECT_EQ(kept.lpm, 60);
}

// Each input device has its own table; a device without one uses the
// common table; the automatic slant is on unless switched off.
TEST(FaxSettings, correction_table_per_input_device_and_auto_slant_key) {
    test::TempDir dir;
    ProfileFile profile(dir / "NIMBA.INI");
    const FaxConfig c;
    CorrectionTable common, card;
    common.setSampleRateError(10.0);
    card.setSampleRateError(-120.0);
    ASSERT_TRUE(writeSettings(profile, c, common));
    ASSERT_TRUE(writeSettings(profile, c, card, "hw:CARD=PCH,0"));
    EXPECT_TRUE(readAutoSlant(profile));
    ASSERT_TRUE(writeAutoSlant(profile, false));
    EXPECT_FALSE(readAutoSlant(profile));
    EXPECT_NE(test::readFile(dir / "NIMBA.INI").find("CORRTABLE.hw:CARD_PCH,0="),
              std::string::npos);

    const std::map<std::string, const CorrectionTable*> cases{
        {"", &common}, {"hw:CARD=PCH,0", &card}, {"file:/tmp/other.wav", &common}};
    for (const auto& [device, expected] : cases) {
        FaxConfig read;
        CorrectionTable table;
        readSettings(profile, read, table, device);
        EXPECT_FLOAT_EQ(table.lookup(576, 120), expected->lookup(576, 120)) << device;
    }
}

// Tones a broadcast uses at some LPM (Hz · 120 / LPM) and clock errors up to
// 1 % are kept; a tone no line of the IOC holds, tones one line would match
// as both, and implausible correction entries are replaced, each reported.
TEST(FaxSettings, unusable_tones_and_corrections_are_replaced) {
    struct Tones {
        int ioc, start, stop, wantStart, wantStop;
    };
    for (const Tones& k : {Tones{288, 675, 450, 675, 450}, Tones{576, 150, 225, 150, 225},
                           Tones{576, 750, 1125, 750, 1125}, Tones{576, 149, 450, 300, 450},
                           Tones{576, 300, 65535, 300, 450}, Tones{288, 1350, 450, 300, 450},
                           Tones{576, 446, 450, 300, 450}, Tones{288, 675, 680, 675, 450}}) {
        FaxConfig c;
        c.ioc = static_cast<std::uint16_t>(k.ioc);
        c.startTone = static_cast<std::uint16_t>(k.start);
        c.stopTone = static_cast<std::uint16_t>(k.stop);
        std::vector<Refusal> refused;
        validate(c, &refused);
        EXPECT_EQ(c.startTone, k.wantStart) << k.start << "/" << k.stop;
        EXPECT_EQ(c.stopTone, k.wantStop) << k.start << "/" << k.stop;
        EXPECT_EQ(refused.size(), k.start == k.wantStart && k.stop == k.wantStop ? 0u : 1u);
    }
    const float nominal = nominalPixelRate(576, 120);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (const auto& [entry, kept] :
         std::initializer_list<std::pair<float, bool>>{{0.0f, true},
                                                       {nominal * 1.0099f, true},
                                                       {nominal * 0.9901f, true},
                                                       {nominal * 1.0101f, false},
                                                       {-nominal, false},
                                                       {nan, false},
                                                       {INFINITY, false}}) {
        std::array<std::uint8_t, CorrectionTable::kBytes> bytes{};
        std::memcpy(&bytes[(3 * 6 + 3) * 4], &entry, 4);  // IOC 576, LPM 120
        std::vector<Refusal> refused;
        const float read = CorrectionTable::parse(bytes, &refused).lookup(576, 120);
        EXPECT_EQ(std::bit_cast<std::uint32_t>(read),
                  std::bit_cast<std::uint32_t>(kept ? entry : 0.0f))
            << entry;
        EXPECT_EQ(refused.size(), kept ? 0u : 1u) << entry;
    }
}

}  // namespace
}  // namespace zeb::fax
