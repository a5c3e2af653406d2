// The command families of the supported receivers and the model table.
//
// The table is data: one entry per model names its modes, controls, steps,
// filters, family operations, family variant and receive range. A family
// function reads what sets its models apart from the entry's variant, never
// from the model number. The receiver checks the entry's range before a
// frequency reaches a family; most families check it again, so that a
// frequency re-sent after a mode or filter change is held to it too.
//
// Frequencies arrive in kHz. Two integers are derived from them, both by
// adding 0.5 and truncating: H, the frequency in Hz, and T, in units of 10 Hz.
// They are held in 64 bits, and a frequency that is negative or has more
// digits than a command's field carries is refused like one outside the
// model's range: nothing is sent.
#include "rig/ReceiverProfile.h"

#include "common/Format.h"

#include <array>
#include <cmath>
#include <initializer_list>
#include <optional>
#include <utility>

namespace zeb::rig {

namespace {

using std::chrono::milliseconds;
using Bytes = std::vector<std::uint8_t>;
using ModeCode = std::pair<unsigned, int>;  // a flag (or label value) and its code
using CodeTable = std::initializer_list<ModeCode>;

bool sendBytes(OpContext& c, const Bytes& bytes) { return c.out.send(bytes); }

bool sendText(OpContext& c, std::string_view text) {
    const Bytes bytes(text.begin(), text.end());
    return c.out.send(bytes);
}

// kHz × scale, rounded as the formats want; nothing for values no field holds.
std::optional<std::int64_t> scaled(double khz, double scale) {
    if (!std::isfinite(khz) || khz < 0.0 || khz > 1.0e12) return std::nullopt;
    return static_cast<std::int64_t>(khz * scale + 0.5);
}
std::optional<std::int64_t> hertz(double khz) { return scaled(khz, 1000.0); }
std::optional<std::int64_t> tens(double khz) { return scaled(khz, 100.0); }

bool fits(std::int64_t value, int digits) {
    std::int64_t limit = 1;
    for (int i = 0; i < digits; ++i) limit *= 10;
    return value >= 0 && value < limit;
}

// Decimal text of at least `width` digits, zero-padded ("%0*d").
std::string padded(std::int64_t value, int width) {
    std::string text = std::to_string(value);
    if (text.size() < static_cast<std::size_t>(width)) {
        text.insert(0, static_cast<std::size_t>(width) - text.size(), '0');
    }
    return text;
}

std::string fixed(double value, int decimals) { return formatFixed(value, decimals); }

std::string hex2(int value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[(value >> 4) & 15], kDigits[value & 15]};
}

int clampLevel(int level) { return level < 0 ? 0 : (level > 255 ? 255 : level); }

std::uint8_t bcd(int high, int low) { return static_cast<std::uint8_t>(high << 4 | low); }

// The n decimal digits of a value that fits, most significant first.
std::vector<int> digitsOf(std::int64_t value, int n) {
    std::vector<int> d(static_cast<std::size_t>(n));
    for (int i = n - 1; i >= 0; --i) {
        d[static_cast<std::size_t>(i)] = static_cast<int>(value % 10);
        value /= 10;
    }
    return d;
}

int codeOf(unsigned mode, std::span<const ModeCode> table) {
    for (const auto& [flag, code] : table) {
        if (flag == mode) return code;
    }
    return -1;
}

int codeOf(unsigned mode, CodeTable table) { return codeOf(mode, {table.begin(), table.size()}); }

// Re-sends the current frequency after a mode or filter change (models that
// carry the mode in the frequency command).
void resendFrequency(OpContext& c) {
    if (c.profile.ops.set_frequency != nullptr) {
        (void)c.profile.ops.set_frequency(c, c.state.frequencyKhz);
    }
}

// ---- Kenwood text (TS-570D) ----

bool kenwoodFrequency(OpContext& c, double khz) {
    const auto h = hertz(khz);
    if (!h || !fits(*h, 11)) return false;
    return sendText(c, "FA" + padded(*h, 11) + ";");
}

bool kenwoodMode(OpContext& c, unsigned mode) {
    const int code = codeOf(mode, {{ModeFlag::Lsb, 1},
                                   {ModeFlag::Usb, 2},
                                   {ModeFlag::Cw, 3},
                                   {ModeFlag::Fm, 4},
                                   {ModeFlag::Am, 5},
                                   {ModeFlag::Rtty, 6}});
    if (code < 0) return false;
    sendText(c, "MD" + std::to_string(code) + ";");
    return true;
}

// ---- JRC text (NRD-535, NRD-525, NRD-545) ----

void jrcPower(OpContext& c, bool on) {
    sendText(c, std::string(1, c.profile.variant.jrc.powerLetter) + (on ? "1\r" : "0\r"));
}

bool jrcFrequency(OpContext& c, double khz) {
    const JrcVariant& v = c.profile.variant.jrc;
    const auto value = v.tenHzUnits ? tens(khz) : hertz(khz);
    if (!value || !fits(*value, v.digits)) return false;
    return sendText(c, "H1\rF" + padded(*value, v.digits) + "\r");
}

bool jrcMode(OpContext& c, unsigned mode) {
    int code = codeOf(mode, {{ModeFlag::Rtty, 0},
                             {ModeFlag::Cw, 1},
                             {ModeFlag::Usb, 2},
                             {ModeFlag::Lsb, 3},
                             {ModeFlag::Am, 4},
                             {ModeFlag::Fm, 5},
                             {ModeFlag::Mode32, 6}});
    if (code < 0 && mode == ModeFlag::Wfm) code = c.profile.variant.jrc.wfmCode;
    if (code < 0) return false;
    if (!sendText(c, "H1\r")) return true;
    c.out.wait(milliseconds(50));
    if (!sendText(c, "D" + std::to_string(code) + "\r")) return true;
    c.out.wait(milliseconds(50));
    return true;
}

void jrcAttenuator(OpContext& c, bool /*on*/) { sendText(c, "A"); }

// ---- AOR AR-3000 text ----

int ar3000Letter(unsigned mode) {
    return codeOf(mode, {{ModeFlag::Lsb, 'L'},
                         {ModeFlag::Usb, 'U'},
                         {ModeFlag::Cw, 'C'},
                         {ModeFlag::Am, 'A'},
                         {ModeFlag::Fm, 'N'},
                         {ModeFlag::Wfm, 'W'}});
}

bool ar3000Frequency(OpContext& c, double khz) {
    if (!c.profile.tunes(khz)) return false;
    const int letter = ar3000Letter(c.state.mode);
    if (letter < 0) return false;
    std::string mhz = fixed(khz * 0.001, 5);
    if (mhz.size() < 10) mhz.insert(0, 10 - mhz.size(), '0');
    return sendText(c, mhz + static_cast<char>(letter) + "\r");
}

bool storeAndResend(OpContext& c, unsigned mode, bool known) {
    if (!known) return false;
    c.state.mode = mode;
    resendFrequency(c);
    return true;
}

bool ar3000Mode(OpContext& c, unsigned mode) {
    return storeAndResend(c, mode, ar3000Letter(mode) >= 0);
}

// ---- AOR AR-5000 text ----

bool ar5000Frequency(OpContext& c, double khz) {
    if (!c.profile.tunes(khz)) return false;
    return sendText(c, "VA" + std::to_string(*hertz(khz)) + "\r\n");
}

bool ar5000Mode(OpContext& c, unsigned mode) {
    const int code = codeOf(mode, {{ModeFlag::Fm, 0},
                                   {ModeFlag::Am, 1},
                                   {ModeFlag::Lsb, 2},
                                   {ModeFlag::Usb, 3},
                                   {ModeFlag::Cw, 4}});
    if (code < 0) return false;
    sendText(c, "MD" + std::to_string(code) + "\r\n");
    return true;
}

void ar5000Filter(OpContext& c, int value) {
    const int code = codeOf(static_cast<unsigned>(value),
                            {{0, 0}, {3, 1}, {6, 2}, {15, 3}, {30, 4}, {110, 5}, {220, 6}});
    if (value < 0 || code < 0) return;
    sendText(c, "BW" + std::to_string(code) + "\r\n");
}

void ar5000Squelch(OpContext& c, int level) {
    sendText(c, "RQ" + padded(255 - clampLevel(level), 3) + "\r\n");
}

// ---- AOR AR-8200 text ----

bool ar8200Frequency(OpContext& c, double khz) {
    const auto h = hertz(khz);
    if (!h || !fits(*h, 10)) return false;
    const bool sent = sendText(c, "RF" + padded(*h, 10) + "\r");
    c.out.wait(milliseconds(200));
    return sent;
}

bool ar8200Mode(OpContext& c, unsigned mode) {
    const int code = codeOf(mode, {{ModeFlag::Wfm, 0},
                                   {ModeFlag::Fm, 1},
                                   {ModeFlag::Am, 2},
                                   {ModeFlag::Usb, 3},
                                   {ModeFlag::Lsb, 4},
                                   {ModeFlag::Cw, 5},
                                   {ModeFlag::AmNarrow, 8}});
    if (code < 0) return false;
    sendText(c, "MD" + std::to_string(code) + "\r");
    c.out.wait(milliseconds(200));
    return true;
}

void ar8200Attenuator(OpContext& c, bool on) {
    sendText(c, on ? "AT1\r" : "AT0\r");
    c.out.wait(milliseconds(200));
}

// ---- Lowe HF-250 text ----

bool hf250Frequency(OpContext& c, double khz) {
    if (!c.profile.tunes(khz)) return false;
    return sendText(c, "FU" + padded(*tens(khz), 7) + "\r");
}

bool hf250Mode(OpContext& c, unsigned mode) {
    const int code = codeOf(mode, {{ModeFlag::Lsb, 5},
                                   {ModeFlag::Usb, 1},
                                   {ModeFlag::Cw, 3},
                                   {ModeFlag::Am, 4},
                                   {ModeFlag::Mode512, 2},
                                   {ModeFlag::Fm, 6},
                                   {ModeFlag::Mode1024, 7},
                                   {ModeFlag::Mode2048, 8}});
    if (code < 0) return false;
    sendText(c, "MU" + std::to_string(code) + "\r");
    return true;
}

// ---- Drake text (R8E; the link writes it byte by byte) ----

bool drakeFrequency(OpContext& c, double khz) {
    if (!c.profile.tunes(khz)) return false;
    return sendText(c, "F" + padded(*tens(khz), 7) + "\r");
}

bool drakeMode(OpContext& c, unsigned mode) {
    const int code = codeOf(mode, {{ModeFlag::Usb, 1},
                                   {ModeFlag::Lsb, 2},
                                   {ModeFlag::Rtty, 3},
                                   {ModeFlag::Cw, 4},
                                   {ModeFlag::Fm, 5},
                                   {ModeFlag::Am, 6}});
    if (code < 0) return false;
    sendText(c, "M" + std::to_string(code) + "\r");
    return true;
}

void drakeFilter(OpContext& c, int value) {
    if (value != 0 && value != 1 && value != 2 && value != 4 && value != 6) return;
    sendText(c, "W" + std::to_string(value) + "\r");
}

void drakeAttenuator(OpContext& c, bool on) { sendText(c, on ? "G-\r" : "G0\r"); }

// ---- Icom PCR text (PCR1000, PCR100) ----

bool ssbOrCw(unsigned mode) {
    return mode == ModeFlag::Lsb || mode == ModeFlag::Usb || mode == ModeFlag::Cw;
}

// The mode code the frequency command carries for the current mode.
int pcrModeCode(const PcrVariant& v, unsigned mode) {
    if (v.amOnly && ssbOrCw(mode)) mode = ModeFlag::Am;
    return codeOf(mode, {{ModeFlag::Lsb, 0},
                         {ModeFlag::Usb, 1},
                         {ModeFlag::Am, 2},
                         {ModeFlag::Cw, 3},
                         {ModeFlag::Fm, 5},
                         {ModeFlag::Wfm, 6}});
}

bool pcrFrequency(OpContext& c, double khz) {
    if (!c.profile.tunes(khz)) return false;
    const int mode = pcrModeCode(c.profile.variant.pcr, c.state.mode);
    if (mode < 0) return false;
    return sendText(c, "K" + padded(*hertz(khz), 11) + padded(mode, 2) +
                           padded(c.state.pcrFilterCode, 2) + "00");
}

// The PCR100 sends a stored SSB or CW mode as AM but refuses to select one.
bool pcrMode(OpContext& c, unsigned mode) {
    const PcrVariant& v = c.profile.variant.pcr;
    const bool demodulates = !(v.amOnly && ssbOrCw(mode)) && pcrModeCode(v, mode) >= 0;
    return storeAndResend(c, mode, demodulates);
}

void pcrFilter(OpContext& c, int value) {
    const int wanted = c.profile.variant.pcr.amOnly && value == 3 ? 6 : value;
    const int code =
        codeOf(static_cast<unsigned>(wanted), {{3, 0}, {6, 1}, {15, 2}, {50, 3}, {230, 4}});
    if (value >= 0 && code >= 0) c.state.pcrFilterCode = code;
    resendFrequency(c);
}

void pcrVolume(OpContext& c, int level) { sendText(c, "J40" + hex2(clampLevel(level))); }
void pcrSquelch(OpContext& c, int level) { sendText(c, "J41" + hex2(clampLevel(level))); }
void pcrAttenuator(OpContext& c, bool on) { sendText(c, on ? "J4701" : "J4700"); }

void pcrPower(OpContext& c, bool on) {
    if (!on) {
        c.out.stopStatusPoll();
        sendText(c, "H100\r\n");
        return;
    }
    static constexpr std::string_view kPowerOn[] = {
        "H101\r\n",       "G301\r\n", "J4101", "J5100", "J5000",   "J4380",
        "J4500",          "J4600",    "J4700", "J4A80", "LD82000", "ME00001",
        "C8050000001000", "J8001",    "J8100", "J8200", "J8300",   "J4085"};
    for (std::string_view command : kPowerOn) {
        if (!sendText(c, command)) return;
    }
    c.out.startStatusPoll();
}

// ---- Icom marine sentences (IC-M710) ----

bool marineFrequency(OpContext& c, double khz) {
    if (!c.profile.tunes(khz)) return false;
    return sendText(
        c, "$PICOA,90," + padded(c.state.icomRadio, 2) + ",RXF," + fixed(khz * 0.001, 6) + "\r\n");
}

bool marineMode(OpContext& c, unsigned mode) {
    const char* name = mode == ModeFlag::Lsb   ? "LSB"
                       : mode == ModeFlag::Usb ? "USB"
                       : mode == ModeFlag::Cw  ? "CW"
                       : mode == ModeFlag::Am  ? "AM"
                                               : nullptr;
    if (name == nullptr) return false;
    sendText(c, "$PICOA,90," + padded(c.state.icomRadio, 2) + ",MODE," + name + "\r\n");
    return true;
}

// ---- SEA sentences (SEA 235) ----

bool sendSea(OpContext& c, std::string sentence) {
    // The two "X" after "*" carry the checksum.
    const std::size_t star = sentence.find('*');
    const std::uint8_t sum = seaChecksum(sentence);
    sentence.replace(star + 1, 2, hex2(sum));
    return sendText(c, sentence);
}

bool seaFrequency(OpContext& c, double khz) {
    const auto rx = hertz(khz);
    if (!rx || *rx > 2147483647) return false;
    const double txKhz = khz < 1600 ? 1600 : (khz > 30000 ? 30000 : khz);
    const auto tx = *hertz(txKhz);
    return sendSea(c, "$PSEAS,15,," + std::to_string(*rx) + "," + std::to_string(tx) + ",,R*XX\r");
}

bool seaMode(OpContext& c, unsigned mode) {
    const int letter = codeOf(
        mode,
        {{ModeFlag::Lsb, 'L'}, {ModeFlag::Usb, 'U'}, {ModeFlag::Cw, 'C'}, {ModeFlag::Am, 'M'}});
    if (letter < 0) return false;
    sendSea(c, std::string("$PSEAS,16,") + static_cast<char>(letter) + "*XX\r");
    return true;
}

// ---- Icom CI-V frames (IC-R72, IC-746) ----

Bytes civFrame(const OpContext& c, const Bytes& body) {
    Bytes frame;
    frame.reserve(body.size() + 5);
    frame.push_back(0xFE);
    frame.push_back(0xFE);
    frame.push_back(static_cast<std::uint8_t>(c.state.icomRadio));
    frame.push_back(static_cast<std::uint8_t>(c.state.icomController));
    for (std::uint8_t b : body) frame.push_back(b);
    frame.push_back(0xFD);
    return frame;
}

bool civFrequency(OpContext& c, double khz) {
    if (!c.profile.tunes(khz)) return false;
    // H as ten digits d0..d9, sent from the least significant pair up.
    const auto d = digitsOf(*hertz(khz), 10);
    Bytes body{0x05};
    for (int i = 0; i < c.profile.variant.civ.frequencyBytes && i < 5; ++i) {
        const auto low = static_cast<std::size_t>(9 - 2 * i);
        body.push_back(bcd(d[low - 1], d[low]));
    }
    return sendBytes(c, civFrame(c, body));
}

bool civMode(OpContext& c, unsigned mode) {
    const CivVariant& v = c.profile.variant.civ;
    int code = codeOf(mode, {{ModeFlag::Lsb, 0},
                             {ModeFlag::Usb, 1},
                             {ModeFlag::Am, 2},
                             {ModeFlag::Cw, 3},
                             {ModeFlag::Rtty, 4},
                             {ModeFlag::Fm, 5}});
    if (code < 0 && mode == ModeFlag::Wfm) code = v.wfmCode;
    if (code < 0) return false;
    sendBytes(c, civFrame(c, {v.modeCommand, static_cast<std::uint8_t>(code)}));
    return true;
}

void civLevel(OpContext& c, std::uint8_t sub, int level) {
    const auto d = digitsOf(clampLevel(level), 4);
    sendBytes(c, civFrame(c, {0x14, sub, bcd(d[0], d[1]), bcd(d[2], d[3])}));
    c.out.wait(milliseconds(100));
}

void civVolume(OpContext& c, int level) { civLevel(c, 0x01, level); }
void civSquelch(OpContext& c, int level) { civLevel(c, 0x03, level); }

// ---- Yaesu 5-byte blocks ----

using Block = std::array<std::uint8_t, 5>;

std::uint8_t u8(std::int64_t v) { return static_cast<std::uint8_t>(v); }

// How the frequency is written into the first four bytes.
enum class YaesuDigits {
    BcdLowFirst,   // T as BCD, the 100 Hz and 10 Hz digits first
    BcdHighFirst,  // T as BCD, the 10 MHz and 1 MHz digits first
    Bcd25Hz,       // as BcdLowFirst, with a 25 Hz bit in place of the 10 Hz digit
    Binary,        // T as a 32-bit number, most significant byte first
};

struct YaesuLayout {
    Block powerOn;
    Block powerOff;
    YaesuDigits digits;
    std::uint8_t frequencyOp;
    int modeAt;     // first byte of the mode code
    int modeWidth;  // bytes of the mode code, most significant first
    std::uint8_t modeOp;
    std::span<const ModeCode> modes;
};

constexpr ModeCode kYaesuModesA[] = {
    {ModeFlag::Lsb, 0}, {ModeFlag::Usb, 1},      {ModeFlag::Cw, 2}, {ModeFlag::CwNarrow, 3},
    {ModeFlag::Am, 4},  {ModeFlag::AmNarrow, 5}, {ModeFlag::Fm, 6}};
constexpr ModeCode kYaesuModesB[] = {{ModeFlag::Lsb, 0x00},      {ModeFlag::Usb, 0x01},
                                     {ModeFlag::CwNarrow, 0x82}, {ModeFlag::Cw, 0x02},
                                     {ModeFlag::AmNarrow, 0x84}, {ModeFlag::Am, 0x04},
                                     {ModeFlag::Fm, 0x08}};
constexpr ModeCode kYaesuModesC[] = {{ModeFlag::Lsb, 0x10}, {ModeFlag::Usb, 0x11},
                                     {ModeFlag::Cw, 0x12},  {ModeFlag::CwNarrow, 0x13},
                                     {ModeFlag::Am, 0x14},  {ModeFlag::AmNarrow, 0x15},
                                     {ModeFlag::Fm, 0x17}};
constexpr ModeCode kYaesuModesD[] = {
    {ModeFlag::Am, 0}, {ModeFlag::Lsb, 1},      {ModeFlag::Usb, 2},        {ModeFlag::Cw, 3},
    {ModeFlag::Fm, 4}, {ModeFlag::AmNarrow, 8}, {ModeFlag::CwNarrow, 0x0B}};
// The VR-5000 has no narrow CW: its mode bytes are LSB 00, USB 01, CW 02,
// AM 04, AM narrow 84, AM wide 44, FM 88 and WFM 48 (Hamlib,
// rigs/yaesu/vr5000.c); CW narrow 82 is the FT-847's code.
constexpr ModeCode kYaesuModesE[] = {{ModeFlag::Lsb, 0x0021}, {ModeFlag::Usb, 0x0121},
                                     {ModeFlag::Cw, 0x0221},  {ModeFlag::AmNarrow, 0x8403},
                                     {ModeFlag::Am, 0x0403},  {ModeFlag::Fm, 0x8843},
                                     {ModeFlag::Wfm, 0x4804}};

// Indexed by YaesuVariant.
constexpr YaesuLayout kYaesuLayouts[] = {
    {.powerOn = {0x00, 0x00, 0x00, 0x01, 0x20},
     .powerOff = {0x00, 0x00, 0x00, 0x00, 0x20},
     .digits = YaesuDigits::BcdLowFirst,
     .frequencyOp = 0x0A,
     .modeAt = 3,
     .modeWidth = 1,
     .modeOp = 0x0C,
     .modes = kYaesuModesA},
    {.powerOn = {0x00, 0x00, 0x00, 0x00, 0x00},
     .powerOff = {0x00, 0x00, 0x00, 0x00, 0x80},
     .digits = YaesuDigits::BcdHighFirst,
     .frequencyOp = 0x01,
     .modeAt = 0,
     .modeWidth = 1,
     .modeOp = 0x07,
     .modes = kYaesuModesB},
    {.powerOn = {0x00, 0x00, 0x00, 0x00, 0x80},
     .powerOff = {0x00, 0x00, 0x00, 0x00, 0x00},
     .digits = YaesuDigits::BcdLowFirst,
     .frequencyOp = 0x08,
     .modeAt = 3,
     .modeWidth = 1,
     .modeOp = 0x0A,
     .modes = kYaesuModesC},
    {.powerOn = {0x00, 0x00, 0x00, 0x00, 0x00},
     .powerOff = {0x00, 0x00, 0x00, 0x80, 0x00},
     .digits = YaesuDigits::Bcd25Hz,
     .frequencyOp = 0x01,
     .modeAt = 3,
     .modeWidth = 1,
     .modeOp = 0x80,
     .modes = kYaesuModesD},
    {.powerOn = {0x00, 0x00, 0x00, 0x00, 0x00},
     .powerOff = {0x00, 0x00, 0x00, 0x00, 0x80},
     .digits = YaesuDigits::Binary,
     .frequencyOp = 0x01,
     .modeAt = 0,
     .modeWidth = 2,
     .modeOp = 0x07,
     .modes = kYaesuModesE},
};

static_assert(std::size(kYaesuLayouts) == static_cast<std::size_t>(YaesuVariant::E) + 1);

const YaesuLayout& yaesuLayout(const OpContext& c) {
    return kYaesuLayouts[static_cast<std::size_t>(c.profile.variant.yaesu)];
}

bool sendBlock(OpContext& c, const Block& block) { return c.out.send(block); }

void yaesuPower(OpContext& c, bool on) {
    const YaesuLayout& layout = yaesuLayout(c);
    sendBlock(c, on ? layout.powerOn : layout.powerOff);
}

// The four frequency bytes; nothing for a value the layout cannot carry.
std::optional<Block> yaesuFrequencyBytes(YaesuDigits digits, double khz) {
    if (digits == YaesuDigits::Binary) {
        const auto t = tens(khz);
        if (!t || *t > 0xFFFFFFFF) return std::nullopt;
        return Block{u8(*t >> 24), u8(*t >> 16), u8(*t >> 8), u8(*t)};
    }
    if (digits == YaesuDigits::Bcd25Hz) {
        // The 100 Hz and higher digits and the 25 Hz bit both come from the
        // unrounded Hz value, so the two never disagree.
        const auto h = hertz(khz);
        if (!h || !fits(*h / 10, 8)) return std::nullopt;
        const auto t = digitsOf(*h / 10, 8);
        const auto r = *h % 100;
        const int bit = r < 25 ? 1 : (r < 50 ? 2 : (r < 75 ? 4 : 8));
        return Block{bcd(t[6], bit), bcd(t[4], t[5]), bcd(t[2], t[3]), bcd(t[0], t[1])};
    }
    const auto value = tens(khz);
    if (!value || !fits(*value, 8)) return std::nullopt;
    const auto t = digitsOf(*value, 8);
    if (digits == YaesuDigits::BcdHighFirst) {
        return Block{bcd(t[0], t[1]), bcd(t[2], t[3]), bcd(t[4], t[5]), bcd(t[6], t[7])};
    }
    return Block{bcd(t[6], t[7]), bcd(t[4], t[5]), bcd(t[2], t[3]), bcd(t[0], t[1])};
}

bool yaesuFrequency(OpContext& c, double khz) {
    const YaesuLayout& layout = yaesuLayout(c);
    auto block = yaesuFrequencyBytes(layout.digits, khz);
    if (!block) return false;
    (*block)[4] = layout.frequencyOp;
    return sendBlock(c, *block);
}

bool yaesuMode(OpContext& c, unsigned mode) {
    const YaesuLayout& layout = yaesuLayout(c);
    const int m = codeOf(mode, layout.modes);
    if (m < 0) return false;
    Block block{0x00, 0x00, 0x00, 0x00, layout.modeOp};
    for (int i = 0; i < layout.modeWidth; ++i) {
        block[static_cast<std::size_t>(layout.modeAt + i)] =
            u8(m >> (8 * (layout.modeWidth - 1 - i)));
    }
    sendBlock(c, block);
    return true;
}

// ---- AOR AR-7030 byte commands ----

bool ar7030Frequency(OpContext& c, double khz) {
    if (!c.profile.tunes(khz)) return false;
    const auto w = static_cast<std::uint32_t>(khz * 376.63522 + 0.5);
    auto nib = [w](int shift) { return static_cast<std::uint8_t>((w >> shift) & 15); };
    return sendBytes(
        c, {0x81, 0x50, 0x31, 0x4A, static_cast<std::uint8_t>(0x30 + nib(20)),
            static_cast<std::uint8_t>(0x60 + nib(16)), static_cast<std::uint8_t>(0x30 + nib(12)),
            static_cast<std::uint8_t>(0x60 + nib(8)), static_cast<std::uint8_t>(0x30 + nib(4)),
            static_cast<std::uint8_t>(0x60 + nib(0)), 0x21, 0x2C, 0x80});
}

bool ar7030Mode(OpContext& c, unsigned mode) {
    const int m = codeOf(mode, {{ModeFlag::Lsb, 8},
                                {ModeFlag::Usb, 7},
                                {ModeFlag::Cw, 5},
                                {ModeFlag::Am, 1},
                                {ModeFlag::Fm, 3}});
    if (m < 0) return false;
    sendBytes(c, {0x81, 0x50, 0x31, 0x4D, 0x30, static_cast<std::uint8_t>(0x60 + m), 0x22, 0x80});
    return true;
}

void ar7030Volume(OpContext& c, int level) {
    const int v = clampLevel(level) * 50 / 255 + 15;
    sendBytes(c, {0x83, 0x50, 0x31, 0x4E, static_cast<std::uint8_t>(0x30 + (v >> 4)),
                  static_cast<std::uint8_t>(0x60 + (v & 15)), 0x22, 0x80});
}

// ---- Skanti byte commands (TRP7000) ----

bool skantiFrequency(OpContext& c, double khz) {
    if (!c.profile.tunes(khz)) return false;
    const auto h = digitsOf(*hertz(khz), 8);
    const std::uint8_t modeByte =
        c.state.mode == ModeFlag::Cw ? 0x44 : (c.state.mode == ModeFlag::Am ? 0x34 : 0x24);
    return sendBytes(c, {0xC2, modeByte, bcd(h[0], h[1]), bcd(h[2], h[3]), bcd(h[4], h[5]),
                         bcd(h[6], h[7]), 0xC2, 0x00});
}

bool skantiMode(OpContext& c, unsigned mode) {
    const bool known = mode == ModeFlag::Usb || mode == ModeFlag::Cw || mode == ModeFlag::Am;
    return storeAndResend(c, mode, known);
}

// ---- Keypad pulse code (Lowe HF-150, HF-225) ----

constexpr unsigned kDigitKeys[10] = {20, 27, 23, 19, 26, 22, 18, 25, 21, 17};
constexpr unsigned kEntryKey = 24;
constexpr unsigned kEnterKey = 16;
constexpr unsigned kFineTuneKey = 31;

bool sendKey(OpContext& c, unsigned code, int bits = 5) {
    return c.out.send(keypadPulseCode(code, bits));
}

bool keypadFrequency(OpContext& c, double khz) {
    if (!c.profile.tunes(khz)) return false;
    const auto whole = static_cast<std::int64_t>(khz);
    const std::string digits = padded(whole, 3);
    c.out.setUrgent(true);
    bool ok = sendKey(c, kEntryKey);
    for (char d : digits) {
        if (ok) ok = sendKey(c, kDigitKeys[d - '0']);
    }
    if (ok && digits.size() < 5) ok = sendKey(c, kEnterKey);
    if (ok && c.profile.variant.keypad.fineTune) {
        const auto v = static_cast<int>((khz - static_cast<double>(whole)) * 256.0);
        if (v >= 0 && v <= 255) {
            ok = sendKey(c, kFineTuneKey) && sendKey(c, static_cast<unsigned>(v), 8) &&
                 sendKey(c, kEnterKey);
        }
    }
    c.out.setUrgent(false);
    return ok;
}

bool keypadMode(OpContext& c, unsigned mode) {
    const int key = codeOf(mode, {{ModeFlag::Lsb, 4},
                                  {ModeFlag::Usb, 5},
                                  {ModeFlag::AmNarrow, 6},
                                  {ModeFlag::Am, 7},
                                  {ModeFlag::Mode256, 8},
                                  {ModeFlag::Mode512, 9},
                                  {ModeFlag::Mode1024, 10},
                                  {ModeFlag::Mode2048, 11}});
    if (key < 0) return false;
    c.out.setUrgent(true);
    sendKey(c, static_cast<unsigned>(key));
    c.out.setUrgent(false);
    return true;
}

// ---- The model table ----

constexpr LineSettings line(std::int32_t baud, int data, char parity, int stop) {
    return LineSettings{baud, static_cast<std::uint8_t>(data),
                        static_cast<std::uint8_t>(parity == 'O' ? 1 : (parity == 'E' ? 2 : 0)),
                        static_cast<std::uint8_t>(stop == 2 ? 2 : 0)};
}

constexpr ReceiverOps kKeypadOps{.set_frequency = keypadFrequency, .set_mode = keypadMode};
constexpr ReceiverOps kKeypadFrequencyOps{.set_frequency = keypadFrequency};
constexpr ReceiverOps kHf250Ops{.set_frequency = hf250Frequency, .set_mode = hf250Mode};
constexpr ReceiverOps kAr3000Ops{.set_frequency = ar3000Frequency, .set_mode = ar3000Mode};
constexpr ReceiverOps kAr5000Ops{.set_frequency = ar5000Frequency,
                                 .set_mode = ar5000Mode,
                                 .set_filter = ar5000Filter,
                                 .set_squelch = ar5000Squelch};
constexpr ReceiverOps kAr7030Ops{
    .set_frequency = ar7030Frequency, .set_mode = ar7030Mode, .set_volume = ar7030Volume};
constexpr ReceiverOps kAr8200Ops{
    .set_frequency = ar8200Frequency, .set_mode = ar8200Mode, .set_attenuator = ar8200Attenuator};
constexpr ReceiverOps kYaesuOps{
    .power = yaesuPower, .set_frequency = yaesuFrequency, .set_mode = yaesuMode};
constexpr ReceiverOps kYaesuNoPowerOps{.set_frequency = yaesuFrequency, .set_mode = yaesuMode};
constexpr ReceiverOps kJrcOps{
    .power = jrcPower, .set_frequency = jrcFrequency, .set_mode = jrcMode};
constexpr ReceiverOps kJrcAttenuatorOps{.power = jrcPower,
                                        .set_frequency = jrcFrequency,
                                        .set_mode = jrcMode,
                                        .set_attenuator = jrcAttenuator};
constexpr ReceiverOps kKenwoodOps{.set_frequency = kenwoodFrequency, .set_mode = kenwoodMode};
// The IC-R72 is switched on and off with a Yaesu block (variant A).
constexpr ReceiverOps kCivYaesuPowerOps{
    .power = yaesuPower, .set_frequency = civFrequency, .set_mode = civMode};
constexpr ReceiverOps kCivLevelOps{.set_frequency = civFrequency,
                                   .set_mode = civMode,
                                   .set_volume = civVolume,
                                   .set_squelch = civSquelch};
constexpr ReceiverOps kMarineOps{.set_frequency = marineFrequency, .set_mode = marineMode};
constexpr ReceiverOps kPcrOps{.power = pcrPower,
                              .set_frequency = pcrFrequency,
                              .set_mode = pcrMode,
                              .set_filter = pcrFilter,
                              .set_attenuator = pcrAttenuator,
                              .set_volume = pcrVolume,
                              .set_squelch = pcrSquelch};
constexpr ReceiverOps kSkantiOps{.set_frequency = skantiFrequency, .set_mode = skantiMode};
constexpr ReceiverOps kDrakeOps{.set_frequency = drakeFrequency,
                                .set_mode = drakeMode,
                                .set_filter = drakeFilter,
                                .set_attenuator = drakeAttenuator};
constexpr ReceiverOps kSeaOps{.set_frequency = seaFrequency, .set_mode = seaMode};

constexpr std::string_view kAr5000Filters[] = {"0.5 KHz", "3 KHz",   "6 KHz",  "15 KHz",
                                               "30 KHz",  "110 KHz", "220 KHz"};
constexpr std::string_view kPcr1000Filters[] = {"3 KHz", "6 KHz", "15 KHz", "50 KHz", "230 KHz"};
constexpr std::string_view kPcr100Filters[] = {"6 KHz", "15 KHz", "50 KHz", "230 KHz"};
constexpr std::string_view kDrakeFilters[] = {"0.5 KHz", "1.8 KHz", "2.3 KHz", "4 KHz", "6 KHz"};

namespace M = ModeFlag;
namespace F = Feature;

constexpr std::uint32_t kSsbCwAm = M::Lsb | M::Usb | M::Cw | M::Am;
constexpr std::uint32_t kYaesuModes = kSsbCwAm | M::CwNarrow | M::AmNarrow | M::Fm;
constexpr std::uint32_t kJrcModes = kSsbCwAm | M::Rtty | M::Mode32 | M::Fm;
constexpr std::uint32_t kPcrControls = F::Attenuator | F::Filter | F::Volume | F::Squelch;

// Each set: the named step and every coarser one but 50 Hz.
constexpr std::uint8_t kStepsFrom1KHz = Step::KHz1 | Step::KHz10 | Step::KHz100 | Step::MHz1;
constexpr std::uint8_t kStepsFrom100Hz = Step::Hz100 | kStepsFrom1KHz;
constexpr std::uint8_t kStepsFrom10Hz = Step::Hz10 | kStepsFrom100Hz;
constexpr std::uint8_t kStepsFrom1Hz = Step::Hz1 | kStepsFrom10Hz;

// Receive ranges in kHz are the makers' data (generous where a model has
// options), no wider than the command family carries. A model's steps are
// those its frequency command can express.
constexpr ReceiverProfile kProfiles[] = {
    {.model = 1,
     .name = "Lowe HF-150 control",
     .line = line(33600, 8, 'O', 1),
     .features = M::Lsb | M::Usb | M::AmNarrow | M::Am | M::Mode256 | M::Mode512 | M::Mode1024 |
                 M::Mode2048,
     .steps = kStepsFrom10Hz,
     .ops = kKeypadOps,
     .variant = {.keypad = {.fineTune = true}},
     .lowKhz = 30,
     .highKhz = 29999},
    // The keypad takes whole kHz only.
    {.model = 2,
     .name = "Lowe HF-225 control",
     .line = line(33600, 8, 'O', 1),
     .steps = kStepsFrom1KHz,
     .ops = kKeypadFrequencyOps,
     .lowKhz = 30,
     .highKhz = 29999},
    {.model = 3,
     .name = "Lowe HF-250 control",
     .line = line(1200, 8, 'N', 2),
     .features = kSsbCwAm | M::Mode512 | M::Mode1024 | M::Mode2048 | M::Fm,
     .steps = kStepsFrom10Hz,
     .ops = kHf250Ops,
     .lowKhz = 30,
     .highKhz = 29999.9},
    {.model = 4,
     .name = "AOR AR-3000 control",
     .line = line(4800, 8, 'N', 2),
     .features = kSsbCwAm | M::Fm | M::Wfm,
     .steps = kStepsFrom100Hz,
     .ops = kAr3000Ops,
     .lowKhz = 100,
     .highKhz = 2036000},
    {.model = 5,
     .name = "AOR AR-5000 control",
     .line = line(9600, 8, 'N', 2),
     .features = kSsbCwAm | M::Fm | F::Filter | F::Squelch,
     .steps = kStepsFrom1Hz,
     .filterLabels = kAr5000Filters,
     .ops = kAr5000Ops,
     .lowKhz = 30,
     .highKhz = 2600000},
    {.model = 6,
     .name = "AOR AR-7030 control",
     .line = line(1200, 8, 'N', 1),
     .features = kSsbCwAm | M::Fm | F::Volume,
     .steps = kStepsFrom10Hz,
     .ops = kAr7030Ops,
     .lowKhz = 0,
     .highKhz = 32016},
    {.model = 7,
     .name = "Yaesu FRG-100 control",
     .line = line(4800, 8, 'N', 2),
     .features = kYaesuModes,
     .steps = kStepsFrom10Hz,
     .ops = kYaesuOps,
     .variant = {.yaesu = YaesuVariant::A},
     .lowKhz = 50,
     .highKhz = 30000},
    {.model = 8,
     .name = "JRC NRD-535 control",
     .line = line(4800, 8, 'N', 2),
     .features = kJrcModes,
     .steps = kStepsFrom10Hz,
     .ops = kJrcOps,
     .variant = {.jrc = {.powerLetter = 'H', .tenHzUnits = false, .digits = 8}},
     .lowKhz = 100,
     .highKhz = 30000},
    {.model = 9,
     .name = "Kenwood TS-570D control",
     .line = line(4800, 8, 'N', 2),
     .features = kSsbCwAm | M::Rtty | M::Fm,
     .steps = kStepsFrom10Hz,
     .ops = kKenwoodOps,
     .lowKhz = 30,
     .highKhz = 60000},
    {.model = 10,
     .name = "Icom IC-R72 control",
     .line = line(1200, 8, 'N', 2),
     .features = kSsbCwAm | M::Rtty | M::Fm | M::Wfm,
     .steps = kStepsFrom10Hz,
     .ops = kCivYaesuPowerOps,
     .variant = {.civ = {.frequencyBytes = 4, .modeCommand = 0x01, .wfmCode = 0x06},
                 .yaesu = YaesuVariant::A},
     .lowKhz = 30,
     .highKhz = 30000},
    {.model = 11,
     .name = "Icom IC-M710 control",
     .line = line(4800, 8, 'N', 1),
     .features = kSsbCwAm,
     .steps = kStepsFrom10Hz,
     .ops = kMarineOps,
     .lowKhz = 30,
     .highKhz = 29999},
    {.model = 12,
     .name = "Icom IC-PCR1000 control",
     .line = line(9600, 8, 'N', 2),
     .features = kSsbCwAm | M::Fm | M::Wfm | kPcrControls,
     .steps = kStepsFrom1Hz,
     .filterLabels = kPcr1000Filters,
     .ops = kPcrOps,
     .variant = {.pcr = {.amOnly = false}},
     .lowKhz = 10,
     .highKhz = 1300000},
    {.model = 13,
     .name = "SKANTI TRP7000 control",
     .line = line(2400, 8, 'O', 1),
     .features = M::Usb | M::Cw | M::Am,
     .steps = kStepsFrom10Hz,
     .ops = kSkantiOps,
     .lowKhz = 10,
     .highKhz = 30000},
    {.model = 14,
     .name = "Icom IC-746 control",
     .line = line(1200, 8, 'N', 2),
     .features = kSsbCwAm | M::Rtty | M::Fm | F::Volume | F::Squelch,
     .steps = kStepsFrom10Hz,
     .ops = kCivLevelOps,
     .variant = {.civ = {.frequencyBytes = 5, .modeCommand = 0x06, .fixedRadio = 86}},
     .lowKhz = 300,
     .highKhz = 174000,
     .gapAboveKhz = 60000,
     .gapBelowKhz = 108000},
    {.model = 15,
     .name = "DRAKE R8E control",
     .line = line(9600, 7, 'E', 1),
     .handshake = Handshake::Hardware,
     .writeStyle = WriteStyle::ByteByByte,
     .features = kSsbCwAm | M::Rtty | M::Fm | F::Attenuator | F::Filter,
     .steps = kStepsFrom10Hz,
     .filterLabels = kDrakeFilters,
     .ops = kDrakeOps,
     .lowKhz = 100,
     .highKhz = 30000},
    {.model = 16,
     .name = "JRC NRD-525 control",
     .line = line(1200, 8, 'N', 2),
     .features = kJrcModes,
     .steps = kStepsFrom10Hz,
     .ops = kJrcOps,
     .variant = {.jrc = {.powerLetter = 'H', .tenHzUnits = true, .digits = 8}},
     .lowKhz = 90,
     .highKhz = 34000},
    {.model = 17,
     .name = "JRC NRD-545 control",
     .line = line(4800, 8, 'N', 2),
     .features = kJrcModes | M::Wfm | F::Attenuator,
     .steps = kStepsFrom1Hz,
     .ops = kJrcAttenuatorOps,
     .variant = {.jrc = {.powerLetter = 'T', .tenHzUnits = false, .digits = 10, .wfmCode = 9}},
     .lowKhz = 100,
     .highKhz = 30000},
    // The frequency goes out in 10 Hz units: no 1 Hz step.
    {.model = 18,
     .name = "Yaesu FT-847 control",
     .line = line(4800, 8, 'N', 2),
     .features = kYaesuModes,
     .steps = kStepsFrom10Hz,
     .ops = kYaesuOps,
     .variant = {.yaesu = YaesuVariant::B},
     .lowKhz = 100,
     .highKhz = 512000},
    {.model = 19,
     .name = "Yaesu FT-980 control",
     .line = line(4800, 8, 'N', 2),
     .features = kYaesuModes,
     .steps = kStepsFrom10Hz,
     .ops = kYaesuOps,
     .variant = {.yaesu = YaesuVariant::C},
     .lowKhz = 150,
     .highKhz = 30000},
    // The FRG-8800 has no step list of its own; the stored step still tunes.
    {.model = 20,
     .name = "Yaesu FRG-8800 control",
     .line = line(4800, 8, 'N', 2),
     .features = kYaesuModes,
     .steps = 0,
     .ops = kYaesuOps,
     .variant = {.yaesu = YaesuVariant::D},
     .lowKhz = 150,
     .highKhz = 174000},
    {.model = 21,
     .name = "AOR AR 8200 control",
     .line = line(9600, 8, 'N', 2),
     .features = kSsbCwAm | M::AmNarrow | M::Fm | M::Wfm | F::Attenuator,
     .steps = Step::Hz50 | kStepsFrom100Hz,
     .ops = kAr8200Ops,
     .lowKhz = 100,
     .highKhz = 2040000},
    {.model = 22,
     .name = "Icom IC-PCR100 control",
     .line = line(9600, 8, 'N', 2),
     .features = M::Am | M::Fm | M::Wfm | kPcrControls,
     .steps = kStepsFrom1KHz,
     .filterLabels = kPcr100Filters,
     .ops = kPcrOps,
     .variant = {.pcr = {.amOnly = true}},
     .lowKhz = 10,
     .highKhz = 1300000},
    {.model = 23,
     .name = "Yaesu FT-900 control",
     .line = line(4800, 8, 'N', 2),
     .features = kYaesuModes,
     .steps = kStepsFrom10Hz,
     .ops = kYaesuNoPowerOps,
     .variant = {.yaesu = YaesuVariant::A},
     .lowKhz = 100,
     .highKhz = 30000},
    // The mode sentence has letters for LSB, USB, CW and AM only.
    {.model = 27,
     .name = "SEA 235 control",
     .line = line(9600, 8, 'N', 2),
     .features = kSsbCwAm,
     .steps = kStepsFrom10Hz,
     .ops = kSeaOps,
     .lowKhz = 100,
     .highKhz = 30000},
    // 10 Hz units up to the last step below 2600 MHz; no 1 Hz step.
    {.model = 30,
     .name = "Yaesu VR-5000 control",
     .line = line(4800, 8, 'N', 2),
     .features = kSsbCwAm | M::AmNarrow | M::Fm | M::Wfm,
     .steps = kStepsFrom10Hz,
     .ops = kYaesuOps,
     .variant = {.yaesu = YaesuVariant::E},
     .lowKhz = 100,
     .highKhz = 2599999.99},
};

constexpr ReceiverProfile kNoRemote{
    .model = 0, .name = "no Remote", .line = line(9600, 8, 'N', 1), .steps = kStepsFrom10Hz};

}  // namespace

std::span<const ReceiverProfile> receiverProfiles() { return kProfiles; }

const ReceiverProfile& receiverProfile(int model) {
    for (const ReceiverProfile& p : receiverProfiles()) {
        if (p.model == model) return p;
    }
    return kNoRemote;
}

int filterLabelValue(std::string_view label) {
    int value = 0;
    for (char ch : label) {
        if (ch < '0' || ch > '9' || value > 100000000) break;
        value = value * 10 + (ch - '0');
    }
    return value;
}

std::vector<std::uint8_t> keypadPulseCode(unsigned code, int bits) {
    std::vector<std::uint8_t> out;
    for (int repeat = 0; repeat < 6; ++repeat) {
        for (int bit = bits - 1; bit >= 0; --bit) {
            out.push_back(0x00);
            out.insert(out.end(), ((code >> bit) & 1U) != 0 ? 9 : 6, 0xFF);
        }
        out.push_back(0x00);
        out.insert(out.end(), 18, 0xFF);
    }
    out.insert(out.end(), 400, 0xFF);
    return out;
}

std::uint8_t seaChecksum(std::string_view sentence) {
    unsigned sum = 0xFF;
    for (std::size_t i = 1; i < sentence.size(); ++i) {
        sum ^= static_cast<unsigned char>(sentence[i]);
        if (sentence[i] == '*') break;
    }
    return static_cast<std::uint8_t>(sum);
}

}  // namespace zeb::rig
