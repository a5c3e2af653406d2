// Bytes of every model's operations, checked against the command formats
// written out by hand.
#include "rig_fakes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace zeb::rig {
namespace {

using test::RecordingSink;
using test::T;
using Log = std::vector<std::string>;
namespace M = ModeFlag;

struct Case {
    const char* what;
    int model;
    std::function<void(Receiver&)> action;
    Log expected;
};

Log run(int model, const std::function<void(Receiver&)>& action) {
    RecordingSink sink;
    const ReceiverProfile& profile = receiverProfile(model);
    Receiver receiver(profile, sink, Receiver::initialState(profile));
    action(receiver);
    return sink.log;
}

std::function<void(Receiver&)> freq(double khz) {
    return [khz](Receiver& r) { (void)r.setFrequency(khz); };
}
std::function<void(Receiver&)> mode(unsigned m) {
    return [m](Receiver& r) { (void)r.setMode(m); };
}
std::function<void(Receiver&)> freqMode(double khz, unsigned m) {
    return [khz, m](Receiver& r) {
        (void)r.setFrequency(khz);
        (void)r.setMode(m);
    };
}

const Case kCases[] = {
    // Kenwood
    {"kenwood freq", 9, freq(7050.5), {T("FA00007050500;")}},
    {"kenwood rtty", 9, mode(M::Rtty), {T("MD6;")}},
    {"kenwood fm", 9, mode(M::Fm), {T("MD4;")}},
    {"kenwood no wfm", 9, mode(M::Wfm), {}},
    {"kenwood 100 GHz does not fit", 9, freq(100000000.0), {}},
    {"kenwood negative", 9, freq(-1.0), {}},
    // JRC
    {"nrd535 freq Hz", 8, freq(7050.5), {T("H1\rF07050500\r")}},
    {"nrd535 9 digits refused", 8, freq(100000.0), {}},
    {"nrd525 freq 10 Hz", 16, freq(7050.5), {T("H1\rF00705050\r")}},
    {"nrd545 freq 10 digits", 17, freq(7050.5), {T("H1\rF0007050500\r")}},
    {"nrd535 cw", 8, mode(M::Cw), {T("H1\r"), "wait 50", T("D1\r"), "wait 50"}},
    {"nrd535 mode 32", 8, mode(M::Mode32), {T("H1\r"), "wait 50", T("D6\r"), "wait 50"}},
    {"nrd535 no wfm", 8, mode(M::Wfm), {}},
    {"nrd545 wfm", 17, mode(M::Wfm), {T("H1\r"), "wait 50", T("D9\r"), "wait 50"}},
    {"nrd535 power", 8, [](Receiver& r) { r.power(true), r.power(false); }, {T("H1\r"), T("H0\r")}},
    {"nrd545 power",
     17,
     [](Receiver& r) { r.power(true), r.power(false); },
     {T("T1\r"), T("T0\r")}},
    {"nrd545 attenuator",
     17,
     [](Receiver& r) { r.setAttenuator(true), r.setAttenuator(false); },
     {T("A"), T("A")}},
    // AOR AR-3000
    {"ar3000 freq usb", 4, freq(7050.5), {T("0007.05050U\r")}},
    {"ar3000 mode resends", 4, freqMode(145500, M::Fm), {T("0145.50000U\r"), T("0145.50000N\r")}},
    {"ar3000 top", 4, freq(2036000), {T("2036.00000U\r")}},
    {"ar3000 below range", 4, freq(99.9), {}},
    {"ar3000 unknown mode", 4, freqMode(7000, M::Rtty), {T("0007.00000U\r")}},
    {"ar3000 mode before any frequency", 4, mode(M::Lsb), {}},
    // AOR AR-5000
    {"ar5000 14.2 kHz refused", 5, freq(14.2), {}},
    {"ar5000 30 kHz", 5, freq(30), {T("VA30000\r\n")}},
    {"ar5000 top beyond 32 bits", 5, freq(2600000), {T("VA2600000000\r\n")}},
    {"ar5000 cw", 5, mode(M::Cw), {T("MD4\r\n")}},
    {"ar5000 fm", 5, mode(M::Fm), {T("MD0\r\n")}},
    {"ar5000 filters",
     5,
     [](Receiver& r) {
         for (int v : {0, 3, 6, 15, 30, 110, 220, 4, 1}) r.setFilter(v);
     },
     {T("BW0\r\n"), T("BW1\r\n"), T("BW2\r\n"), T("BW3\r\n"), T("BW4\r\n"), T("BW5\r\n"),
      T("BW6\r\n")}},
    {"ar5000 squelch",
     5,
     [](Receiver& r) { r.setSquelch(55), r.setSquelch(255); },
     {T("RQ200\r\n"), T("RQ000\r\n")}},
    // AOR AR-8200
    {"ar8200 freq", 21, freq(145500), {T("RF0145500000\r"), "wait 200"}},
    {"ar8200 am narrow", 21, mode(M::AmNarrow), {T("MD8\r"), "wait 200"}},
    {"ar8200 wfm", 21, mode(M::Wfm), {T("MD0\r"), "wait 200"}},
    {"ar8200 attenuator",
     21,
     [](Receiver& r) { r.setAttenuator(true), r.setAttenuator(false); },
     {T("AT1\r"), "wait 200", T("AT0\r"), "wait 200"}},
    // AOR AR-7030: W = 7050 × 376.63522 = 2655278 = 0x28842E
    {"ar7030 freq", 6, freq(7050), {"81 50 31 4A 32 68 38 64 32 6E 21 2C 80"}},
    {"ar7030 above range", 6, freq(32016.5), {}},
    {"ar7030 am", 6, mode(M::Am), {"81 50 31 4D 30 61 22 80"}},
    {"ar7030 lsb", 6, mode(M::Lsb), {"81 50 31 4D 30 68 22 80"}},
    {"ar7030 volume",
     6,
     [](Receiver& r) { r.setVolume(255), r.setVolume(0); },
     {"83 50 31 4E 34 61 22 80", "83 50 31 4E 30 6F 22 80"}},
    // Lowe HF-250
    {"hf250 freq", 3, freq(7050.5), {T("FU0705050\r")}},
    {"hf250 top", 3, freq(29999.9), {T("FU2999990\r")}},
    {"hf250 above", 3, freq(30000), {}},
    {"hf250 modes",
     3,
     [](Receiver& r) {
         for (unsigned m : {M::Lsb, M::Mode512, M::Mode1024, M::Mode2048, M::Fm, M::Rtty})
             r.setMode(m);
     },
     {T("MU5\r"), T("MU2\r"), T("MU7\r"), T("MU8\r"), T("MU6\r")}},
    // Drake R8E
    {"drake freq", 15, freq(7050.5), {T("F0705050\r")}},
    {"drake below", 15, freq(99), {}},
    {"drake modes",
     15,
     [](Receiver& r) { r.setMode(M::Rtty), r.setMode(M::Am); },
     {T("M3\r"), T("M6\r")}},
    {"drake filters",
     15,
     [](Receiver& r) {
         for (int v : {0, 1, 2, 4, 6, 3}) r.setFilter(v);
     },
     {T("W0\r"), T("W1\r"), T("W2\r"), T("W4\r"), T("W6\r")}},
    {"drake attenuator",
     15,
     [](Receiver& r) { r.setAttenuator(true), r.setAttenuator(false); },
     {T("G-\r"), T("G0\r")}},
    // Icom PCR
    {"pcr1000 freq", 12, freq(7050.5), {T("K00007050500010000")}},
    {"pcr1000 filter resends",
     12,
     [](Receiver& r) { r.setFrequency(7050.5), r.setFilter(50); },
     {T("K00007050500010000"), T("K00007050500010300")}},
    {"pcr1000 unknown filter keeps code",
     12,
     [](Receiver& r) { r.setFrequency(7050.5), r.setFilter(230), r.setFilter(7); },
     {T("K00007050500010000"), T("K00007050500010400"), T("K00007050500010400")}},
    {"pcr1000 mode resends",
     12,
     freqMode(145500, M::Wfm),
     {T("K00145500000010000"), T("K00145500000060000")}},
    {"pcr100 am only",
     22,
     [](Receiver& r) { r.setFrequency(7050.5), r.setFilter(6); },
     {T("K00007050500020000"), T("K00007050500020100")}},
    {"pcr below", 12, freq(9.9), {}},
    {"pcr levels",
     12,
     [](Receiver& r) { r.setVolume(255), r.setSquelch(16), r.setAttenuator(true); },
     {T("J40FF"), T("J4110"), T("J4701")}},
    {"pcr power",
     12,
     [](Receiver& r) { r.power(true), r.power(false); },
     {T("H101\r\n"),       T("G301\r\n"), T("J4101"),   T("J5100"), T("J5000"),   T("J4380"),
      T("J4500"),          T("J4600"),    T("J4700"),   T("J4A80"), T("LD82000"), T("ME00001"),
      T("C8050000001000"), T("J8001"),    T("J8100"),   T("J8200"), T("J8300"),   T("J4085"),
      "poll start",        "poll stop",   T("H100\r\n")}},
    // Icom marine sentences
    {"m710 freq", 11, freq(7050.5), {T("$PICOA,90,50,RXF,7.050500\r\n")}},
    {"m710 above", 11, freq(29999.5), {}},
    {"m710 mode",
     11,
     [](Receiver& r) { r.setMode(M::Cw), r.setMode(M::Fm); },
     {T("$PICOA,90,50,MODE,CW\r\n")}},
    // SEA sentences: checksum from FF over everything after "$" up to "*"
    {"sea mode", 27, mode(M::Usb), {T("$PSEAS,16,U*D3\r")}},
    {"sea freq", 27, freq(7050.5), {T("$PSEAS,15,,7050500,7050500,,R*D7\r")}},
    {"sea transmit clamped", 27, freq(500), {T("$PSEAS,15,,500000,1600000,,R*E5\r")}},
    {"sea no fm", 27, mode(M::Fm), {}},
    // CI-V
    {"r72 freq", 10, freq(14250.5), {"FE FE 32 E0 05 00 05 25 14 FD"}},
    {"r72 above", 10, freq(30000.5), {}},
    {"r72 wfm", 10, mode(M::Wfm), {"FE FE 32 E0 01 06 FD"}},
    {"r72 power is a Yaesu block",
     10,
     [](Receiver& r) { r.power(true), r.power(false); },
     {"00 00 00 01 20", "00 00 00 00 20"}},
    {"746 freq", 14, freq(14250.5), {"FE FE 56 E0 05 00 05 25 14 00 FD"}},
    {"746 gap", 14, freq(100000), {}},
    {"746 above gap", 14, freq(108000), {"FE FE 56 E0 05 00 00 00 08 01 FD"}},
    {"746 top of 60 MHz", 14, freq(60000), {"FE FE 56 E0 05 00 00 00 60 00 FD"}},
    {"746 below", 14, freq(299), {}},
    {"746 rtty", 14, mode(M::Rtty), {"FE FE 56 E0 06 04 FD"}},
    {"746 no wfm", 14, mode(M::Wfm), {}},
    {"746 volume squelch",
     14,
     [](Receiver& r) { r.setVolume(255), r.setSquelch(7); },
     {"FE FE 56 E0 14 01 02 55 FD", "wait 100", "FE FE 56 E0 14 03 00 07 FD", "wait 100"}},
    // Yaesu
    {"frg100 freq", 7, freq(14250), {"00 50 42 01 0A"}},
    {"frg100 power",
     7,
     [](Receiver& r) { r.power(true), r.power(false); },
     {"00 00 00 01 20", "00 00 00 00 20"}},
    {"frg100 cw narrow", 7, mode(M::CwNarrow), {"00 00 00 03 0C"}},
    {"frg100 1 GHz does not fit", 7, freq(1000000), {}},
    {"ft900 no power", 23, [](Receiver& r) { r.power(true); }, {}},
    {"ft900 freq", 23, freq(14250), {"00 50 42 01 0A"}},
    {"ft847 freq", 18, freq(14250), {"01 42 50 00 01"}},
    {"ft847 am narrow", 18, mode(M::AmNarrow), {"84 00 00 00 07"}},
    {"ft847 power",
     18,
     [](Receiver& r) { r.power(true), r.power(false); },
     {"00 00 00 00 00", "00 00 00 00 80"}},
    {"ft980 freq", 19, freq(14250), {"00 50 42 01 08"}},
    {"ft980 fm", 19, mode(M::Fm), {"00 00 00 17 0A"}},
    {"ft980 power",
     19,
     [](Receiver& r) { r.power(true), r.power(false); },
     {"00 00 00 00 80", "00 00 00 00 00"}},
    {"frg8800 25 Hz bit", 20, freq(7050.025), {"02 50 70 00 01"}},
    {"frg8800 96 Hz stays below 100", 20, freq(7050.096), {"08 50 70 00 01"}},
    {"frg8800 cw narrow", 20, mode(M::CwNarrow), {"00 00 00 0B 80"}},
    {"frg8800 power",
     20,
     [](Receiver& r) { r.power(true), r.power(false); },
     {"00 00 00 00 00", "00 00 00 80 00"}},
    {"vr5000 big-endian word", 30, freq(145500), {"00 DE 03 F0 01"}},
    {"vr5000 top excluded", 30, freq(2600000), {}},
    {"vr5000 wfm", 30, mode(M::Wfm), {"48 04 00 00 07"}},
    {"vr5000 fm", 30, mode(M::Fm), {"88 43 00 00 07"}},
    // Skanti
    {"skanti freq", 13, freq(7050.5), {"C2 24 07 05 05 00 C2 00"}},
    {"skanti mode resends",
     13,
     freqMode(7050.5, M::Cw),
     {"C2 24 07 05 05 00 C2 00", "C2 44 07 05 05 00 C2 00"}},
    {"skanti lsb unknown", 13, freqMode(7050.5, M::Lsb), {"C2 24 07 05 05 00 C2 00"}},
    // Values no format can carry
    {"yaesu negative", 7, freq(-0.01), {}},
    {"ci-v not a number", 10, freq(std::nan("")), {}},
    {"pcr infinite", 12, freq(HUGE_VAL), {}},
    {"sea beyond 32 bits", 27, freq(2200000), {}},
    {"frg8800 1 GHz", 20, freq(1000000), {}},
    // Values the format carries but the receiver cannot tune
    {"ts-570 4.29 GHz", 9, freq(4294967), {}},
    {"nrd-545 4.29 GHz", 17, freq(4294967), {}},
    {"ar8200 4.29 GHz", 21, freq(4294967), {}},
    // no Remote
    {"no remote",
     0,
     [](Receiver& r) { r.setFrequency(7000), r.setMode(M::Lsb), r.power(true); },
     {}},
};

TEST(ReceiverOpsTest, EveryModelWritesTheDocumentedBytes) {
    for (const Case& c : kCases) {
        EXPECT_EQ(run(c.model, c.action), c.expected) << c.what;
    }
}

TEST(ReceiverOpsTest, RefusedFrequencyAndModeLeaveTheState) {
    RecordingSink sink;
    const ReceiverProfile& profile = receiverProfile(5);
    Receiver r(profile, sink, Receiver::initialState(profile));
    EXPECT_TRUE(r.setFrequency(7000));
    EXPECT_FALSE(r.setFrequency(14.2));
    EXPECT_DOUBLE_EQ(r.state().frequencyKhz, 7000);
    EXPECT_TRUE(r.setMode(M::Lsb));
    EXPECT_FALSE(r.setMode(M::Wfm));
    EXPECT_EQ(r.state().mode, M::Lsb);
    EXPECT_FALSE(r.setVolume(10));  // no volume on this model
}

TEST(ReceiverOpsTest, EveryModelTunesTheShortwaveBandsAndNothingAboveItsRange) {
    for (const ReceiverProfile& p : receiverProfiles()) {
        if (p.ops.set_frequency == nullptr) continue;
        for (const double khz : {2000.0, 7050.5, 29000.0, p.highKhz + 1.0, 4294967.0}) {
            RecordingSink sink;
            Receiver r(p, sink, Receiver::initialState(p));
            EXPECT_EQ(r.setFrequency(khz), khz < 30000.0) << p.name << " " << khz;
        }
    }
}

TEST(ReceiverOpsTest, Ic746UsesAddress86WhateverIsConfigured) {
    EXPECT_EQ(Receiver::initialState(receiverProfile(14), 0x40).icomRadio, 86);
    EXPECT_EQ(Receiver::initialState(receiverProfile(10), 0x40).icomRadio, 0x40);
}

// Pulse train of one key spelled out: runs of FF after each 00.
std::vector<std::uint8_t> pulses(std::initializer_list<int> runs) {
    std::vector<std::uint8_t> one;
    for (int n : runs) {
        one.push_back(0x00);
        one.insert(one.end(), static_cast<std::size_t>(n), 0xFF);
    }
    std::vector<std::uint8_t> out;
    for (int i = 0; i < 6; ++i) out.insert(out.end(), one.begin(), one.end());
    out.insert(out.end(), 400, 0xFF);
    return out;
}

TEST(KeypadTest, PulseCodeOfKeysAndRawValues) {
    // 24 = 11000: two long, three short, then the gap.
    EXPECT_EQ(keypadPulseCode(24, 5), pulses({9, 9, 6, 6, 6, 18}));
    EXPECT_EQ(keypadPulseCode(24, 5).size(), 6u * 60 + 400);
    // 128 as eight bits: 10000000.
    EXPECT_EQ(keypadPulseCode(128, 8), pulses({9, 6, 6, 6, 6, 6, 6, 6, 18}));
}

TEST(KeypadTest, Hf150FrequencyWithFineTune) {
    // 10000.5 kHz: entry, five digits (no enter), fine tune, v = 128, enter.
    const Log log = run(1, freq(10000.5));
    const Log expected = {
        test::hexOf(pulses({9, 9, 6, 6, 6, 18})),  // 24 entry
        test::hexOf(pulses({9, 9, 6, 9, 9, 18})),  // 27 "1"
        test::hexOf(pulses({9, 6, 9, 6, 6, 18})),  // 20 "0"
        test::hexOf(pulses({9, 6, 9, 6, 6, 18})),
        test::hexOf(pulses({9, 6, 9, 6, 6, 18})),
        test::hexOf(pulses({9, 6, 9, 6, 6, 18})),
        test::hexOf(pulses({9, 9, 9, 9, 9, 18})),           // 31 fine tune
        test::hexOf(pulses({9, 6, 6, 6, 6, 6, 6, 6, 18})),  // 128
        test::hexOf(pulses({9, 6, 6, 6, 6, 18})),           // 16 enter
    };
    EXPECT_EQ(log, expected);
}

TEST(KeypadTest, Hf225ShortFrequencyHasEnterAndNoFineTune) {
    // 50.7 kHz: "050" then enter.
    const Log log = run(2, freq(50.7));
    const Log expected = {
        test::hexOf(pulses({9, 9, 6, 6, 6, 18})),  // 24
        test::hexOf(pulses({9, 6, 9, 6, 6, 18})),  // 20 "0"
        test::hexOf(pulses({9, 6, 9, 9, 6, 18})),  // 22 "5"
        test::hexOf(pulses({9, 6, 9, 6, 6, 18})),  // 20 "0"
        test::hexOf(pulses({9, 6, 6, 6, 6, 18})),  // 16
    };
    EXPECT_EQ(log, expected);
    EXPECT_TRUE(run(2, freq(29999.5)).empty());
    EXPECT_TRUE(run(1, freq(29.9)).empty());
}

TEST(KeypadTest, Hf150ModeKeys) {
    EXPECT_EQ(run(1, mode(M::Mode2048)), Log{test::hexOf(pulses({6, 9, 6, 9, 9, 18}))});  // 11
    EXPECT_TRUE(run(1, mode(M::Cw)).empty());
    EXPECT_TRUE(run(2, mode(M::Lsb)).empty());
}

TEST(ReceiverProfileTest, FilterLabelValues) {
    EXPECT_EQ(filterLabelValue("0.5 KHz"), 0);
    EXPECT_EQ(filterLabelValue("1.8 KHz"), 1);
    EXPECT_EQ(filterLabelValue("230 KHz"), 230);
    EXPECT_EQ(filterLabelValue("KHz"), 0);
}

}  // namespace
}  // namespace zeb::rig
