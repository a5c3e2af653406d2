// The wire form of bus messages: exact layout, round trips, and rejection of
// every kind of damaged or hostile datagram.
#include "common/bus/Bus.h"

#include <gtest/gtest.h>

#include <limits>
#include <ostream>
#include <random>

namespace zeb::bus {

// Test output names a message by its kind and name rather than its bytes.
void PrintTo(const Message& m, std::ostream* os) {
    static const char* const kinds[] = {"?", "Close", "Activate", "Registered", "User"};
    const auto k = static_cast<std::size_t>(m.kind);
    *os << (k < std::size(kinds) ? kinds[k] : "?");
    if (!m.name.empty()) *os << " " << m.name;
    *os << " (" << m.payload.size() << " payload bytes)";
}

namespace {

Message registered(std::string name, std::int64_t w = 0, std::int64_t l = 0) {
    Message m;
    m.kind = MessageKind::Registered;
    m.name = std::move(name);
    m.wParam = w;
    m.lParam = l;
    return m;
}

std::vector<std::uint8_t> encoded(const Message& m) {
    auto bytes = encode(m);
    EXPECT_TRUE(bytes.ok()) << (bytes.ok() ? "" : bytes.error().message);
    return bytes.ok() ? *bytes : std::vector<std::uint8_t>{};
}

TEST(BusMessage, LayoutIsLittleEndianWithTheDocumentedOffsets) {
    Message m = registered("AB", -2, 0x1122334455667788);
    m.id = 0x01020304;
    m.payload = {0x09};
    const std::vector<std::uint8_t> expected = {
        'Z',  'B',  1,    3,                             // magic, version, kind
        2,    'A',  'B',                                 // name
        0x04, 0x03, 0x02, 0x01,                          // id
        0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,  // wParam -2
        0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11,  // lParam
        1,    0,                                         // payload length
        0x09};
    EXPECT_EQ(encoded(m), expected);
}

class BusMessageRoundTrip : public ::testing::TestWithParam<Message> {};

TEST_P(BusMessageRoundTrip, DecodesToTheSameMessage) {
    const auto bytes = encoded(GetParam());
    ASSERT_LE(bytes.size(), kMaxMessageBytes);
    auto back = decode(bytes);
    ASSERT_TRUE(back.ok()) << back.error().message;
    EXPECT_EQ(*back, GetParam());
}

TEST_P(BusMessageRoundTrip, EveryTruncationAndAnyExtraByteIsRejected) {
    const auto bytes = encoded(GetParam());
    for (std::size_t n = 0; n < bytes.size(); ++n) {
        auto r = decode(std::span(bytes).first(n));
        ASSERT_FALSE(r.ok()) << "prefix of " << n << " bytes accepted";
        EXPECT_EQ(r.error().code, BusError::Malformed);
    }
    auto longer = bytes;
    longer.push_back(0);
    EXPECT_FALSE(decode(longer).ok());
}

Message userMessage() {
    Message m;
    m.kind = MessageKind::User;
    m.id = 2;
    m.wParam = std::numeric_limits<std::int64_t>::min();
    m.lParam = std::numeric_limits<std::int64_t>::max();
    for (int i = 0; i < 256; ++i) m.payload.push_back(static_cast<std::uint8_t>(i));
    return m;
}

Message largest() {
    Message m = registered(std::string(kMaxNameBytes, 'N'), 1, 2);
    m.payload.assign(kMaxPayloadBytes, 0xA5);
    return m;
}

INSTANTIATE_TEST_SUITE_P(Kinds, BusMessageRoundTrip,
                         ::testing::Values(Message{MessageKind::Close, "", 0, 0, 0, {}},
                                           Message{MessageKind::Activate, "", 0, 0, 0, {}},
                                           registered("ZEB_EXIT_PROG"),
                                           registered("RIGMAN_NMEA_IN", 42, 0),
                                           registered("KORSA NMEA_VIRTUAL_COM", 5, -1),
                                           userMessage(), largest()));

TEST(BusMessage, DamagedHeadersAreRejected) {
    const auto good = encoded(registered("ZEB_EXIT_PROG"));
    struct Damage {
        const char* what;
        std::size_t offset;
        std::uint8_t value;
    };
    const Damage cases[] = {
        {"magic", 0, 'X'},       {"magic", 1, 'b'},
        {"version 0", 2, 0},     {"version 2", 2, 2},
        {"kind 0", 3, 0},        {"kind 5", 3, 5},
        {"kind 255", 3, 255},    {"longer name", 4, 14},
        {"shorter name", 4, 12}, {"control byte in name", 5, '\n'},
    };
    for (const auto& c : cases) {
        auto bad = good;
        bad[c.offset] = c.value;
        auto r = decode(bad);
        ASSERT_FALSE(r.ok()) << c.what;
        EXPECT_EQ(r.error().code, BusError::Malformed) << c.what;
    }
}

TEST(BusMessage, NamesAndPayloadsOutsideTheLimitsAreNeitherSentNorAccepted) {
    // Refused by the sender...
    EXPECT_EQ(encode(registered(std::string(kMaxNameBytes + 1, 'N'))).error().code,
              BusError::BadName);
    EXPECT_EQ(encode(registered("")).error().code, BusError::BadName);
    EXPECT_EQ(encode(registered("TAB\tNAME")).error().code, BusError::BadName);
    Message closeWithName{MessageKind::Close, "X", 0, 0, 0, {}};
    EXPECT_EQ(encode(closeWithName).error().code, BusError::BadName);
    Message big = registered("N");
    big.payload.resize(kMaxPayloadBytes + 1);
    EXPECT_EQ(encode(big).error().code, BusError::TooLarge);
    Message unknown;
    unknown.kind = static_cast<MessageKind>(9);
    EXPECT_FALSE(encode(unknown).ok());

    // ...and by the receiver when somebody builds them by hand.
    auto longName = encoded(registered(std::string(kMaxNameBytes, 'N')));
    longName[4] = kMaxNameBytes + 1;
    longName.insert(longName.begin() + 5, 'N');
    EXPECT_EQ(decode(longName).error().code, BusError::Malformed);

    auto bigPayload = encoded(registered("N"));
    const std::uint16_t n = kMaxPayloadBytes + 1;
    bigPayload[bigPayload.size() - 2] = static_cast<std::uint8_t>(n & 0xFF);
    bigPayload[bigPayload.size() - 1] = static_cast<std::uint8_t>(n >> 8);
    bigPayload.resize(bigPayload.size() + n);
    EXPECT_FALSE(decode(bigPayload).ok());

    auto closeNamed = encoded(Message{MessageKind::Close, "", 0, 0, 0, {}});
    closeNamed[4] = 1;
    closeNamed.insert(closeNamed.begin() + 5, 'X');
    EXPECT_EQ(decode(closeNamed).error().code, BusError::Malformed);
}

// Whatever bytes arrive, decoding neither crashes nor reads outside them
// (the sanitizer build checks that), and what it accepts is exactly the
// encoding of the message it returns: there is one wire form per message.
TEST(BusMessage, ArbitraryBytesAreDecodedSafelyAndOnlyCanonicalFormsAccepted) {
    std::mt19937 rng(20040603);
    std::uniform_int_distribution<int> byte(0, 255);
    const auto valid = encoded(userMessage());
    int accepted = 0;
    for (int i = 0; i < 20000; ++i) {
        std::vector<std::uint8_t> bytes;
        if (i % 2 == 0) {
            bytes.resize(std::uniform_int_distribution<std::size_t>(0, 1300)(rng));
            for (auto& b : bytes) b = static_cast<std::uint8_t>(byte(rng));
            if (bytes.size() >= 3 && i % 4 == 0) bytes[0] = 'Z', bytes[1] = 'B', bytes[2] = 1;
        } else {
            bytes = valid;
            for (int k = 0; k < 1 + i % 3; ++k)
                bytes[std::uniform_int_distribution<std::size_t>(0, bytes.size() - 1)(rng)] =
                    static_cast<std::uint8_t>(byte(rng));
        }
        auto m = decode(bytes);
        if (!m.ok()) continue;
        ++accepted;
        EXPECT_EQ(encoded(*m), bytes);
    }
    EXPECT_GT(accepted, 0);  // the mutations of parameter bytes stay valid
}

}  // namespace
}  // namespace zeb::bus
