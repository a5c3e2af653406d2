#include "RecorderChain.h"

#include "BlockLock.h"
#include "ui/SpectrumView.h"

namespace zeb::nimba {

std::vector<std::uint8_t> readCodecRecord(ProfileFile& profile) {
    profile.setSection(kRecorderSection);
    std::vector<std::uint8_t> record(kCodecRecordSize, 0);
    // A short or damaged record is not guessed at: the default is taken.
    if (profile.readBytes(kCodecKey, record) != record.size()) return audio::defaultCodecRecord();
    return record;
}

RecorderChain::RecorderChain(ChainViews views, std::filesystem::path workDir, Hooks hooks)
    : views_(views), workDir_(std::move(workDir)), hooks_(std::move(hooks)) {}

bool RecorderChain::start() {
    if (recorder_.recording()) return true;
    audio::RecorderStart request;
    request.workDir = workDir_;
    request.localTime = hooks_.localTime();
    request.codecRecord =
        views_.profile ? readCodecRecord(*views_.profile) : audio::defaultCodecRecord();
    // The capture thread calls processBlock only once the mode is set, after
    // this start; the lock keeps a block of a previous recording out all the same.
    Result<std::filesystem::path> started = [&] {
        BlockLock lock(views_.blockMutex);
        return recorder_.start(request);
    }();
    if (!started) {
        hooks_.failed(started.error().message);
        return false;
    }
    lastFile_ = *started;
    failureSaid_ = false;
    if (recorder_.fellBack()) {
        hooks_.note("The chosen recording format cannot be written here; recording as " +
                    recorder_.codec().longName + " " + recorder_.codec().formatName + ".");
    }
    return true;
}

void RecorderChain::stop() {
    if (!recorder_.recording()) return;
    Result<void> stopped;
    {
        BlockLock lock(views_.blockMutex);
        stopped = recorder_.stop();
    }
    if (!stopped) hooks_.note(stopped.error().message);
}

void RecorderChain::processBlock(std::span<const float> block) {
    if (!recorder_.recording() || hooks_.squelchClosed()) return;
    recorder_.block(block);
    if (recorder_.writeFailed() && !failureSaid_) {
        failureSaid_ = true;
        hooks_.writeFailed();
    }
    if (views_.signal && views_.signalOpen && views_.signalOpen->load()) {
        views_.signal->publish(block);
    }
}

}  // namespace zeb::nimba
