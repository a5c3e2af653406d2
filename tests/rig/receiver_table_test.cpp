// Invariants over the receiver table, checked for every model: whatever an
// entry offers (modes, controls, filters, tuning steps, receive range) its
// command family carries out by sending bytes, and a mode it does not offer
// is refused with nothing sent. The table's numbers are not restated here;
// receiver_ops_test.cpp holds the bytes themselves.
#include "rig_fakes.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>

namespace zeb::rig {
namespace {

using test::RecordingSink;
using Log = std::vector<std::string>;

// Inside every model's range, and a whole MHz, so each step lands on its grid.
constexpr double kProbeKhz = 7000.0;

constexpr std::uint32_t kControls =
    Feature::Attenuator | Feature::Filter | Feature::Volume | Feature::Squelch;

// A receiver of one profile, tuned to the probe frequency when it tunes at
// all, with the bytes of that tuning cleared.
class Bench {
public:
    explicit Bench(const ReceiverProfile& p) : receiver_(p, sink_, Receiver::initialState(p)) {
        if (p.ops.set_frequency != nullptr) (void)receiver_.setFrequency(kProbeKhz);
        sink_.log.clear();
    }
    Receiver& receiver() { return receiver_; }
    // The commands sent since the last call, without the waits.
    Log sent() {
        Log commands;
        for (std::string& entry : std::exchange(sink_.log, {})) {
            if (entry.rfind("wait ", 0) != 0 && entry.rfind("poll ", 0) != 0) {
                commands.push_back(std::move(entry));
            }
        }
        return commands;
    }

private:
    RecordingSink sink_;
    Receiver receiver_;
};

TEST(ReceiverTableTest, ModelNumbersAndNamesAreUniqueAndFindTheirEntry) {
    EXPECT_EQ(receiverProfiles().size(), 25u);
    std::set<int> models;
    std::set<std::string_view> names;
    for (const ReceiverProfile& p : receiverProfiles()) {
        EXPECT_GT(p.model, 0) << p.name;
        EXPECT_TRUE(models.insert(p.model).second) << p.model;
        EXPECT_TRUE(names.insert(p.name).second) << p.model;
        EXPECT_FALSE(p.name.empty()) << p.model;
        EXPECT_LE(p.name.size(), 23u) << p.model;
        EXPECT_EQ(&receiverProfile(p.model), &p) << p.model;
        EXPECT_EQ(p.features & ~(ModeFlag::All | kControls), 0u) << p.model;
    }
    const ReceiverProfile& none = receiverProfile(24);
    EXPECT_EQ(none.model, 0);
    EXPECT_EQ(none.name, "no Remote");
    EXPECT_EQ(none.features, 0u);
    EXPECT_EQ(none.ops.set_frequency, nullptr);
    EXPECT_EQ(none.ops.set_mode, nullptr);
    EXPECT_EQ(none.ops.power, nullptr);
}

// Every mode bit, and the control bits above them, which are no modes.
TEST(ReceiverTableTest, EveryModelSendsTheModesItOffersAndRefusesTheOthers) {
    for (const ReceiverProfile& p : receiverProfiles()) {
        std::set<Log> distinct;
        int offeredCount = 0;
        for (int bit = 0; bit < 32; ++bit) {
            const unsigned mode = 1u << bit;
            const bool offered = (p.features & ModeFlag::All & mode) != 0;
            Bench bench(p);
            const unsigned before = bench.receiver().state().mode;
            const bool accepted = bench.receiver().setMode(mode);
            const Log sent = bench.sent();
            if (offered) {
                EXPECT_TRUE(accepted) << p.name << " mode " << mode;
                EXPECT_FALSE(sent.empty()) << p.name << " mode " << mode;
                EXPECT_EQ(bench.receiver().state().mode, mode) << p.name << " mode " << mode;
                // Two offered modes that send the same bytes would be one mode.
                EXPECT_TRUE(distinct.insert(sent).second) << p.name << " mode " << mode;
                ++offeredCount;
            } else {
                EXPECT_FALSE(accepted) << p.name << " mode " << mode;
                EXPECT_TRUE(sent.empty()) << p.name << " mode " << mode;
                EXPECT_EQ(bench.receiver().state().mode, before) << p.name << " mode " << mode;
            }
        }
        EXPECT_EQ(offeredCount == 0, p.ops.set_mode == nullptr) << p.name;
    }
}

TEST(ReceiverTableTest, EveryModelHasExactlyTheControlsItOffers) {
    for (const ReceiverProfile& p : receiverProfiles()) {
        const auto offers = [&p](std::uint32_t bit) { return (p.features & bit) != 0; };
        EXPECT_EQ(offers(Feature::Attenuator), p.ops.set_attenuator != nullptr) << p.name;
        EXPECT_EQ(offers(Feature::Filter), p.ops.set_filter != nullptr) << p.name;
        EXPECT_EQ(offers(Feature::Filter), !p.filterLabels.empty()) << p.name;
        EXPECT_EQ(offers(Feature::Volume), p.ops.set_volume != nullptr) << p.name;
        EXPECT_EQ(offers(Feature::Squelch), p.ops.set_squelch != nullptr) << p.name;

        Bench bench(p);
        Receiver& r = bench.receiver();
        if (offers(Feature::Attenuator)) {
            EXPECT_TRUE(r.setAttenuator(true) && !bench.sent().empty()) << p.name;
            EXPECT_TRUE(r.setAttenuator(false) && !bench.sent().empty()) << p.name;
        }
        if (offers(Feature::Volume)) {
            EXPECT_TRUE(r.setVolume(128) && !bench.sent().empty()) << p.name;
        }
        if (offers(Feature::Squelch)) {
            EXPECT_TRUE(r.setSquelch(128) && !bench.sent().empty()) << p.name;
        }
    }
}

// Each filter label selects a filter of its own.
TEST(ReceiverTableTest, EveryFilterLabelSendsItsOwnCommand) {
    for (const ReceiverProfile& p : receiverProfiles()) {
        std::set<Log> distinct;
        for (std::string_view label : p.filterLabels) {
            Bench bench(p);
            EXPECT_TRUE(bench.receiver().setFilter(filterLabelValue(label))) << p.name << label;
            const Log sent = bench.sent();
            EXPECT_FALSE(sent.empty()) << p.name << " " << label;
            EXPECT_TRUE(distinct.insert(sent).second) << p.name << " " << label;
        }
    }
}

// One step up from the probe frequency must reach the receiver as a different
// command; a step finer than the command's units would leave it where it was.
TEST(ReceiverTableTest, EveryModelsFrequencyCommandCarriesTheStepsItOffers) {
    for (const ReceiverProfile& p : receiverProfiles()) {
        for (const TuningStep& step : kTuningSteps) {
            if ((p.steps & step.flag) == 0) continue;
            ASSERT_NE(p.ops.set_frequency, nullptr) << p.name;
            Bench bench(p);
            ASSERT_TRUE(bench.receiver().setFrequency(kProbeKhz)) << p.name;
            const Log base = bench.sent();
            const double next = kProbeKhz + step.hz / 1000.0;
            EXPECT_TRUE(bench.receiver().setFrequency(next)) << p.name << " " << step.label;
            const Log stepped = bench.sent();
            EXPECT_FALSE(stepped.empty()) << p.name << " " << step.label;
            EXPECT_NE(stepped, base) << p.name << " " << step.label;
        }
    }
}

// The range in the entry is what the family tunes: both ends are sent, a
// little outside either end (or inside the gap) nothing is.
TEST(ReceiverTableTest, EveryModelTunesExactlyItsRange) {
    for (const ReceiverProfile& p : receiverProfiles()) {
        ASSERT_NE(p.ops.set_frequency, nullptr) << p.name;
        ASSERT_LT(p.lowKhz, p.highKhz) << p.name;
        std::vector<double> inside = {p.lowKhz, p.highKhz};
        std::vector<double> outside = {p.lowKhz - 0.01, p.highKhz + 0.01};
        if (p.gapBelowKhz > p.gapAboveKhz) {
            inside.insert(inside.end(), {p.gapAboveKhz, p.gapBelowKhz});
            outside.push_back((p.gapAboveKhz + p.gapBelowKhz) / 2);
        }
        for (const double khz : inside) {
            Bench bench(p);
            EXPECT_TRUE(bench.receiver().setFrequency(khz)) << p.name << " " << khz;
            EXPECT_FALSE(bench.sent().empty()) << p.name << " " << khz;
        }
        for (const double khz : outside) {
            Bench bench(p);
            EXPECT_FALSE(bench.receiver().setFrequency(khz)) << p.name << " " << khz;
            EXPECT_TRUE(bench.sent().empty()) << p.name << " " << khz;
            EXPECT_DOUBLE_EQ(bench.receiver().state().frequencyKhz, kProbeKhz) << p.name;
        }
    }
}

}  // namespace
}  // namespace zeb::rig
