#include "weather/BulletinChain.h"

#include <system_error>

#include "weather/StationFile.h"

namespace zeb::weather {

BulletinChain::BulletinChain(BulletinOutput& output, Setup setup)
    : output_(output), framer_(output_, setup.synopDir) {
    store_.file = setup.synopDir / kStationFileName;
    store_.queue = setup.files;
    if (setup.data != nullptr)
        scanner_ =
            std::make_unique<TextScanner>(*setup.data, output_, &store_, std::move(setup.formats));
}

// Whatever the chain handed to the queue refers to the chain's store.
BulletinChain::~BulletinChain() { flush(); }

void BulletinChain::flush() {
    if (store_.queue != nullptr) store_.queue->drain();
}

void BulletinChain::setSitor(bool on) { sitor_ = on; }

void BulletinChain::character(std::uint8_t ch) {
    if (!sitor_) {
        if (scanner_) scanner_->character(ch);
        return;
    }
    const bool inMessage = framer_.inMessage();
    const unsigned starts = output_.starts;
    framer_.frameChar(ch);
    const bool ended = inMessage && (!framer_.inMessage() || output_.starts != starts);
    if (ended && framer_.lastMessage() && messageListener_)
        messageListener_(*framer_.lastMessage());
}

void BulletinChain::characterLost() {
    if (sitor_) framer_.characterLost();
}

void BulletinChain::reset() {
    if (scanner_) scanner_->reset();
    framer_.reset();
}

void BulletinChain::endOfReception() {
    if (scanner_) scanner_->endOfReception();
    framer_.endOfReception();
}

void BulletinChain::setClock(std::function<TimeKey()> clock) {
    framer_.setClock(clock);
    if (scanner_) scanner_->setClock(std::move(clock));
}

void BulletinChain::setMidBulletin(bool on) {
    if (scanner_) scanner_->setMidBulletin(on);
}

void BulletinChain::setNavtexSelection(const NavtexSelection& selection) {
    framer_.setSelection(selection);
}

std::string BulletinChain::lastStoreError() const {
    std::lock_guard lock(store_.errorMutex);
    return store_.lastError;
}

void BulletinChain::Store::store(const SynopRecord& record) {
    runOn(queue, [this, record] {
        // The folder is made when the first report comes, not before.
        std::error_code ec;
        if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ec);
        if (auto appended = appendStationRecord(file, record); appended) {
            ++stored;
        } else {
            std::lock_guard lock(errorMutex);
            lastError = appended.error().message;
            ++failed;
        }
    });
}

}  // namespace zeb::weather
