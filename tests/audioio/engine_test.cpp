// Stream engine logic against the scripted fake device.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstring>
#include <vector>

#include "audioio/AudioError.h"
#include "audioio/Streams.h"
#include "dsp/Monitor.h"
#include "fake_device.h"

namespace zeb::audio {
namespace {

using test::eventually;
using test::FakeBackend;

struct PeriodCase {
    std::uint32_t rate;
    std::uint32_t block;
    int period;
};

class BlockPeriod : public ::testing::TestWithParam<PeriodCase> {};

TEST_P(BlockPeriod, UsesRealDivisionAndRounds) {
    const PeriodCase c = GetParam();
    EXPECT_EQ(computeBlockPeriodMs(c.rate, c.block), c.period);
}

INSTANTIATE_TEST_SUITE_P(Rates, BlockPeriod,
                         ::testing::Values(PeriodCase{11025, 1024, 93},  // not 100
                                           PeriodCase{8000, 1024, 128}, PeriodCase{44100, 1024, 23},
                                           PeriodCase{11025, 512, 46}, PeriodCase{48000, 480, 10},
                                           PeriodCase{0, 1024, 0}));

TEST(WaveStreamOpen, ProgramConfigurationSetsPeriodAndQueuesEveryInputBlock) {
    auto backend = std::make_shared<FakeBackend>();
    CaptureStream capture(backend);
    ASSERT_TRUE(capture.openDefault()) << audioErrorMessage(lastAudioError());
    EXPECT_EQ(blockPeriodMs(), 93);
    EXPECT_EQ(capture.blockBytes(), 2048u);
    EXPECT_EQ(capture.format().avgBytesPerSec, 22050u);
    auto& s = *backend->script;
    EXPECT_EQ(s.locked([&] { return s.queued.size(); }), 128u);
    EXPECT_EQ(s.starts, 0);  // open does not start recording
    EXPECT_TRUE(capture.close());
    EXPECT_EQ(s.prepared, 0);
    EXPECT_EQ(s.closes, 1);
}

class MissingDevice : public ::testing::TestWithParam<bool> {};

TEST_P(MissingDevice, FailsBeforeAnyObjectIsCreated) {
    const bool output = GetParam();
    auto backend = std::make_shared<FakeBackend>();
    backend->script->hasInput = false;
    backend->script->hasOutput = false;
    WaveStream stream(backend);
    EXPECT_FALSE(stream.open(output, 11025, 1024, 128, 1, 16));
    const AudioError e = lastAudioError();
    EXPECT_EQ(e.code, output ? AudioErrorCode::NoOutputDevice : AudioErrorCode::NoInputDevice);
    EXPECT_EQ(e.line, output ? 63 : 64);
    EXPECT_EQ(e.source, kEngineSource);
    EXPECT_EQ(backend->script->devicesCreated, 0);
    EXPECT_TRUE(stream.close());
}

INSTANTIATE_TEST_SUITE_P(Directions, MissingDevice, ::testing::Bool());

struct HalfwayCase {
    const char* name;
    bool output;
    int openResult;
    int failPrepareAt;
    int failAddBufferAt;
    AudioErrorCode code;
    int line;
    int preparedBeforeFailure;
    int deviceCloses;
};

class OpenFailsHalfway : public ::testing::TestWithParam<HalfwayCase> {};

TEST_P(OpenFailsHalfway, CloseReleasesExactlyWhatWasAcquired) {
    const HalfwayCase c = GetParam();
    auto backend = std::make_shared<FakeBackend>();
    auto& s = *backend->script;
    s.openResult = c.openResult;
    s.failPrepareAt = c.failPrepareAt;
    s.failAddBufferAt = c.failAddBufferAt;
    WaveStream stream(backend);
    EXPECT_FALSE(stream.open(c.output, 11025, 1024, 128, 1, 16));
    AudioError e = lastAudioError();
    EXPECT_EQ(e.code, c.code);
    EXPECT_EQ(e.line, c.line);
    EXPECT_EQ(e.deviceResult, c.openResult != 0 ? c.openResult : s.failResult);
    EXPECT_EQ(s.prepared, c.preparedBeforeFailure);

    EXPECT_TRUE(stream.close()) << audioErrorMessage(lastAudioError());
    EXPECT_EQ(s.prepared, 0);
    EXPECT_EQ(s.unprepareCalls, c.preparedBeforeFailure);  // only headers that were prepared
    EXPECT_EQ(s.closes, c.deviceCloses);
    EXPECT_FALSE(stream.isOpen());
    EXPECT_TRUE(stream.close());  // a second close finds nothing left
    EXPECT_EQ(s.closes, c.deviceCloses);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, OpenFailsHalfway,
    ::testing::Values(
        HalfwayCase{"InputDeviceOpen", false, -16, -1, -1, AudioErrorCode::InputDevice, 80, 0, 0},
        HalfwayCase{"OutputDeviceOpen", true, -16, -1, -1, AudioErrorCode::OutputDevice, 80, 0, 0},
        HalfwayCase{"InputPrepare", false, 0, 5, -1, AudioErrorCode::InputDevice, 89, 5, 1},
        HalfwayCase{"OutputPrepare", true, 0, 5, -1, AudioErrorCode::OutputDevice, 86, 5, 1},
        HalfwayCase{"AddBuffer", false, 0, -1, 7, AudioErrorCode::InputDevice, 90, 8, 1}),
    [](const auto& param) { return std::string(param.param.name); });

// An output stream on the fake device with the ring already full.
class OutputQueue : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(stream_.open(true, 11025, 1024, 128, 1, 16));
        for (std::uintptr_t i = 0; i < 128; ++i) ASSERT_TRUE(stream_.write(block(0), 1000 + i));
        ASSERT_EQ(stream_.queuedOutput(), 128);
        ASSERT_EQ(stream_.heldCount(), 0);
    }

    const std::uint8_t* block(std::uint8_t fill) {
        data_.fill(fill);
        return data_.data();
    }
    std::vector<std::uintptr_t> written() {
        return s().locked([&] { return s().writtenUsers; });
    }
    test::FakeScript& s() { return *backend_->script; }
    // The device plays one block; the service thread then counts it as returned.
    void freeOneSlot() {
        const int before = stream_.queuedOutput();
        ASSERT_TRUE(s().completeOne());
        ASSERT_TRUE(eventually([&] { return stream_.queuedOutput() == before - 1; }));
    }

    std::shared_ptr<FakeBackend> backend_ = std::make_shared<FakeBackend>();
    MonitorStream stream_{backend_};
    std::array<std::uint8_t, 2048> data_{};
};

TEST_F(OutputQueue, FullDeviceHoldsTheBlockAndTheNextWriteReplacesIt) {
    EXPECT_TRUE(stream_.write(block(1), 1));  // refused by the full device: held
    EXPECT_EQ(stream_.heldCount(), 1);
    EXPECT_TRUE(stream_.write(block(2), 2));  // held block 1 refused again: dropped, 2 held
    EXPECT_EQ(stream_.heldCount(), 1);
    EXPECT_EQ(written().size(), 128u);

    freeOneSlot();
    EXPECT_TRUE(stream_.write(nullptr));  // takes the held block
    ASSERT_EQ(written().size(), 129u);
    EXPECT_EQ(written().back(), 2u);
    EXPECT_EQ(stream_.heldCount(), 0);
    EXPECT_FALSE(stream_.write(nullptr));  // nothing left to take
}

TEST_F(OutputQueue, HeldStoreGivesTheMostRecentBlockFirst) {
    ASSERT_TRUE(stream_.holdBlock(block(0xA), 0xA));
    ASSERT_TRUE(stream_.holdBlock(block(0xB), 0xB));
    freeOneSlot();
    EXPECT_TRUE(stream_.write(block(0xC), 0xC));
    EXPECT_EQ(written().back(), 0xBu);  // B goes to the device, C is held
    EXPECT_EQ(stream_.heldCount(), 2);
    freeOneSlot();
    EXPECT_TRUE(stream_.write(nullptr));
    EXPECT_EQ(written().back(), 0xCu);
    freeOneSlot();
    EXPECT_TRUE(stream_.write(nullptr));
    EXPECT_EQ(written().back(), 0xAu);
}

TEST_F(OutputQueue, WrittenBytesReachTheDeviceUnchanged) {
    freeOneSlot();
    ASSERT_TRUE(stream_.write(block(0x5A), 7));
    BlockHeader* h = s().locked([&] { return s().queued.back(); });
    EXPECT_EQ(h->user, 7u);
    for (std::uint32_t i = 0; i < h->bufferLength; ++i) ASSERT_EQ(h->data[i], 0x5A) << i;
}

TEST(CaptureWrite, InputStreamRefusesWritesAndChangesNothing) {
    auto backend = std::make_shared<FakeBackend>();
    CaptureStream capture(backend);
    ASSERT_TRUE(capture.openDefault());
    std::array<std::uint8_t, 2048> data{};
    const auto before = backend->script->locked([&] { return backend->script->queued.size(); });
    EXPECT_FALSE(capture.write(data.data()));
    EXPECT_FALSE(capture.write(nullptr));
    EXPECT_FALSE(capture.holdBlock(data.data()));
    EXPECT_EQ(capture.heldCount(), 0);
    EXPECT_EQ(backend->script->locked([&] { return backend->script->queued.size(); }), before);
    EXPECT_TRUE(backend->script->writtenUsers.empty());
}

TEST(WaveStreamOpen, OpeningAgainClosesTheFirstDeviceFirst) {
    auto backend = std::make_shared<FakeBackend>();
    CaptureStream capture(backend);
    ASSERT_TRUE(capture.openDefault());
    ASSERT_TRUE(capture.openDefault());
    EXPECT_EQ(backend->script->closes, 1);
    EXPECT_EQ(backend->script->prepared, 128);
    EXPECT_TRUE(capture.close());
    EXPECT_EQ(backend->script->closes, 2);
    EXPECT_EQ(backend->script->prepared, 0);
}

TEST(MonitorStart, FifthBlockWrittenStartsPlayback) {
    auto backend = std::make_shared<FakeBackend>();
    MonitorStream monitor(backend);
    ASSERT_TRUE(monitor.openDefault());
    auto& s = *backend->script;
    EXPECT_EQ(s.stops, 1);  // paused at once
    dsp::MonitorFeed feed(monitor);
    feed.switchOn();
    std::array<float, dsp::kMonitorBlock> samples{};
    for (int i = 1; i <= 6; ++i) {
        feed.feed(samples);
        EXPECT_EQ(s.starts, i >= 5 ? 1 : 0) << "after block " << i;
    }
    EXPECT_EQ(monitor.queuedOutput(), 6);
    std::array<float, 1024> loud{};
    loud[100] = -40000.0f;  // saturates
    EXPECT_TRUE(monitor.writeSamples(loud));
    EXPECT_EQ(monitor.peak(), 32768);
}

// A capture stream started on the fake device with a recording routine.
class CaptureFeed : public ::testing::Test {
protected:
    void SetUp() override {
        capture_.setRoutine(DecoderMode::Rtty, [this](std::span<const float> b) {
            seen_.assign(b.begin(), b.end());
            ++calls_[2];
        });
        for (DecoderMode m : {DecoderMode::Fax, DecoderMode::Cw, DecoderMode::Recorder,
                              DecoderMode::Unused, DecoderMode::None}) {
            capture_.setRoutine(
                m, [this, m](std::span<const float>) { ++calls_[static_cast<int>(m)]; });
        }
        ASSERT_TRUE(capture_.openDefault());
        ASSERT_TRUE(capture_.start());
    }
    void TearDown() override { EXPECT_TRUE(capture_.close()); }

    // Writes a ramp into the oldest queued block and completes it.
    void deliver(std::int16_t first) {
        auto& s = *backend_->script;
        s.locked([&] {
            auto* p = reinterpret_cast<std::int16_t*>(s.queued.front()->data);
            for (int i = 0; i < 1024; ++i) p[i] = static_cast<std::int16_t>(first + i);
            return 0;
        });
        ASSERT_TRUE(s.completeOne());
    }

    std::shared_ptr<FakeBackend> backend_ = std::make_shared<FakeBackend>();
    CaptureStream capture_{backend_};
    std::vector<float> seen_;
    std::array<std::atomic<int>, kDecoderModeCount> calls_{};
};

TEST_F(CaptureFeed, ConvertsTheBlockAndCallsOnlyTheActiveRoutine) {
    capture_.setMode(DecoderMode::Rtty);
    deliver(-512);
    ASSERT_TRUE(eventually([&] { return capture_.blocksHandled() == 1; }));
    {
        std::lock_guard lock(capture_.blockMutex());
        ASSERT_EQ(seen_.size(), 1024u);
        EXPECT_EQ(seen_.front(), -512.0f);
        EXPECT_EQ(seen_.back(), 511.0f);
        EXPECT_EQ(capture_.peak(), 512);
        capture_.setMode(DecoderMode::Unused);
    }
    deliver(0);
    capture_.setMode(DecoderMode::None);
    ASSERT_TRUE(eventually([&] { return capture_.blocksHandled() == 2; }));
    deliver(0);
    ASSERT_TRUE(eventually([&] { return capture_.blocksHandled() == 3; }));
    EXPECT_EQ(capture_.peak(), 1023);  // level of the last block, 0 … 1023
    EXPECT_EQ(calls_[2], 1);
    EXPECT_EQ(calls_[0], 0);
    EXPECT_EQ(calls_[4], 0);
    // Every block goes back to the device for recording.
    auto& s = *backend_->script;
    EXPECT_TRUE(eventually([&] { return s.locked([&] { return s.queued.size(); }) == 128u; }));
}

TEST_F(CaptureFeed, BlockWhoseMutexWaitTimesOutIsSkippedAndRequeued) {
    capture_.setMode(DecoderMode::Rtty);
    auto& s = *backend_->script;
    BlockHeader* first = s.locked([&] { return s.queued.front(); });
    {
        std::lock_guard lock(capture_.blockMutex());  // held longer than 4 × P
        deliver(0);
        ASSERT_TRUE(eventually([&] { return capture_.skippedBlocks() == 1; }));
        EXPECT_TRUE(eventually([&] { return s.locked([&] { return s.queued.back(); }) == first; }));
    }
    EXPECT_EQ(calls_[2], 0);
    EXPECT_EQ(capture_.blocksHandled(), 0u);
    deliver(0);
    EXPECT_TRUE(eventually([&] { return calls_[2] == 1; }));
    EXPECT_EQ(capture_.skippedBlocks(), 1u);
}

TEST(StreamClose, AStuckHandlerIsLeftBehindAndReported) {
    // The routine blocks far longer than close waits (2 × 2 × P).
    auto backend = std::make_shared<FakeBackend>();
    auto capture = std::make_unique<CaptureStream>(backend);
    std::atomic<bool> release{false};
    std::atomic<bool> inside{false};
    capture->setRoutine(DecoderMode::Cw, [&](std::span<const float>) {
        inside = true;
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    });
    capture->setMode(DecoderMode::Cw);
    ASSERT_TRUE(capture->openDefault());
    ASSERT_TRUE(capture->start());
    ASSERT_TRUE(backend->script->completeOne());
    ASSERT_TRUE(eventually([&] { return inside.load(); }));
    EXPECT_FALSE(capture->close());
    const AudioError e = lastAudioError();
    EXPECT_EQ(e.code, AudioErrorCode::ServiceThread);
    EXPECT_EQ(e.line, 135);
    EXPECT_EQ(backend->script->closes, 1);
    // The abandoned thread finishes its block and ends without touching the
    // stream's freed state.
    release = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    capture.reset();
}

}  // namespace
}  // namespace zeb::audio
