#include "FaxDisplays.h"

#include <QMetaObject>

#include "FaxPage.h"
#include "PictureWindow.h"
#include "SpectrumLink.h"
#include "ui/MessageBoxes.h"

namespace zeb::nimba {

namespace {
constexpr int kMsgPictureFileFailed = 19;
constexpr int kMsgNoMemory = 17;  // also what an input filter that cannot be made shows
}  // namespace

int faxStateStringId(fax::FaxState state) {
    switch (state) {
        case fax::FaxState::WaitStart: return 31;
        case fax::FaxState::Phasing: return 32;
        case fax::FaxState::PhasingEnd: return 33;
        case fax::FaxState::Receiving: return 34;
    }
    return 31;
}

// The decoder's events. They arrive on the capture thread (or on the UI
// thread for settings changes) with the decoder's lock held, so they only
// record what happened and post; nothing here calls the decoder.
class FaxDisplays::Events : public fax::FaxEvents {
public:
    explicit Events(FaxDisplays& owner) : d_(owner) {}

    void stateChanged(fax::FaxState state) override {
        QMetaObject::invokeMethod(
            &d_, [this, state] { d_.onStateChanged(state); }, Qt::QueuedConnection);
    }

    void rowsChanged(int first, int last) override {
        if (first > last) return;
        int seen = d_.dirtyFirst_.load();
        while (first < seen && !d_.dirtyFirst_.compare_exchange_weak(seen, first)) {
        }
        seen = d_.dirtyLast_.load();
        while (last > seen && !d_.dirtyLast_.compare_exchange_weak(seen, last)) {
        }
        postRows();
    }

    void pictureScrolled() override {
        d_.dirtyAll_.store(true);
        postRows();
    }

    void previewRowChanged(int /*row*/) override {
        if (!d_.previewPending_.exchange(true))
            QMetaObject::invokeMethod(
                &d_, [this] { d_.flushPreview(); }, Qt::QueuedConnection);
    }

    void pictureBegun(const std::filesystem::path& work) override {
        const QString path = QString::fromStdString(work.string());
        QMetaObject::invokeMethod(
            &d_, [this, path] { emit d_.pictureFileBegun(path); }, Qt::QueuedConnection);
    }

    void pictureEnded(const fax::PictureOutcome& outcome) override {
        const QString path = QString::fromStdString(outcome.picture.string());
        QMetaObject::invokeMethod(
            &d_, [this, path] { emit d_.pictureFileEnded(path); }, Qt::QueuedConnection);
    }

    void pictureFileFailed(const Error& /*error*/) override {
        // One box for a burst of failures: the next is queued only after the
        // user has closed this one.
        if (d_.failurePending_.exchange(true)) return;
        QMetaObject::invokeMethod(
            &d_,
            [this] {
                if (d_.context_.messages) d_.context_.messages->showMessage(kMsgPictureFileFailed);
                d_.failurePending_.store(false);
            },
            Qt::QueuedConnection);
    }

    void inputFilterFailed() override {
        QMetaObject::invokeMethod(
            &d_,
            [this] {
                if (d_.context_.messages) d_.context_.messages->showMessage(kMsgNoMemory);
            },
            Qt::QueuedConnection);
    }

    // The BMP error's name in its own box, as the picture routines show it.
    void previewFailed(const Error& error) override {
        const QString name = QString::fromStdString(error.code.message());
        QMetaObject::invokeMethod(
            &d_,
            [this, name] {
                ui::MessageBoxes boxes(QString::fromLatin1(fax::kBmpMessageTitle.data(),
                                                           fax::kBmpMessageTitle.size()));
                if (d_.context_.messages) boxes.setOwner(d_.context_.messages->owner());
                boxes.showText(name);
            },
            Qt::QueuedConnection);
    }

    void lineProfile(std::span<const float> values) override {
        if (!d_.context_.signal || !d_.context_.signal->publish(values)) return;
        QMetaObject::invokeMethod(
            &d_, [this] { emit d_.signalRefreshRequested(); }, Qt::QueuedConnection);
    }

    void slantMeasured(double /*ppm*/) override {
        // The page reads the value from the decoder when it gets round to it.
        if (!d_.slantPending_.exchange(true))
            QMetaObject::invokeMethod(
                &d_,
                [this] {
                    d_.slantPending_.store(false);
                    if (d_.page_) d_.page_->refreshSlant();
                },
                Qt::QueuedConnection);
    }

    void decoderOffRequested() override {
        QMetaObject::invokeMethod(
            &d_, [this] { emit d_.decoderOffRequested(); }, Qt::QueuedConnection);
    }

private:
    void postRows() {
        if (!d_.rowsPending_.exchange(true))
            QMetaObject::invokeMethod(
                &d_, [this] { d_.flushRows(); }, Qt::QueuedConnection);
    }

    FaxDisplays& d_;
};

FaxDisplays::FaxDisplays(PageContext& context, QObject* parent)
    : QObject(parent), context_(context), events_(std::make_unique<Events>(*this)) {}

FaxDisplays::~FaxDisplays() = default;

fax::FaxEvents& FaxDisplays::events() { return *events_; }

void FaxDisplays::setDecoder(fax::FaxDecoder* decoder) {
    decoder_ = decoder;
    if (decoder_) decoder_->setLineProfileOpen(context_.signalWindowOpen());
}

void FaxDisplays::markSpectrum() {
    if (decoder_ && context_.spectrum) context_.spectrum->setMarkers(decoder_->markers());
}

void FaxDisplays::setPage(FaxPage* page) { page_ = page; }

void FaxDisplays::setLineProfileOpen(bool open) {
    if (decoder_) decoder_->setLineProfileOpen(open);
}

void FaxDisplays::faxStarted() {
    if (pictureWanted_) openPictureWindow();
    refreshPage();
}

void FaxDisplays::faxStopped() {
    // The window goes, the wish stays for the next start.
    closePictureWindow();
    refreshPage();
}

void FaxDisplays::togglePictureWindow() {
    if (window_) {
        pictureWanted_ = false;
        closePictureWindow();
    } else {
        pictureWanted_ = true;
        if (decoder_ && decoder_->running()) openPictureWindow();
    }
    refreshPage();
}

void FaxDisplays::openPictureWindow() {
    if (window_ || !decoder_) return;
    window_ = std::make_unique<PictureWindow>(*decoder_, context_.bundle,
                                              ui::messageTitle(ui::Program::Nimba));
    connect(window_.get(), &PictureWindow::closed, this, &FaxDisplays::onPictureWindowClosed);
    window_->show();
}

void FaxDisplays::closePictureWindow() {
    if (!window_) return;
    window_->disconnect(this);
    // Not deleted at once: this may run inside one of the window's own events.
    window_.release()->deleteLater();
}

void FaxDisplays::onPictureWindowClosed() {
    pictureWanted_ = false;
    closePictureWindow();
    refreshPage();
}

void FaxDisplays::refreshPage() {
    if (FaxPage* page = page_.data()) page->refresh();
}

void FaxDisplays::onStateChanged(fax::FaxState state) {
    FaxPage* page = page_.data();
    if (!page || !decoder_ || !decoder_->running()) return;
    // The states in the order they were passed, so a short phasing still
    // shows; the button follows the state as it is now.
    context_.setStatus(context_.string(faxStateStringId(state)));
    page->refreshManualStart();
}

void FaxDisplays::flushRows() {
    rowsPending_.store(false);
    const bool all = dirtyAll_.exchange(false);
    const int first = dirtyFirst_.exchange(INT_MAX);
    const int last = dirtyLast_.exchange(INT_MIN);
    if (!window_) return;
    if (all)
        window_->updateAll();
    else
        window_->updateRows(first, last);
}

void FaxDisplays::flushPreview() {
    previewPending_.store(false);
    if (FaxPage* page = page_.data()) page->refreshPreview();
}

}  // namespace zeb::nimba
