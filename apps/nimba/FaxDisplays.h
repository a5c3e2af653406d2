// The fax decoder's link to the user interface: the decoder's events, which
// arrive on the capture thread with the decoder's lock held, are posted to the
// user-interface thread and turned into repaints of the picture window and the
// panel's preview, status texts, message boxes and the signal window.
//
// Repaints are coalesced: the capture thread widens an atomic range of dirty
// rows and posts one flush only when none is pending, so a fast stream of
// row events never floods the event queue. Message 19 (the work file failed)
// is shown once per failure burst: further failures while the box is queued
// or open are not queued again.
//
// The events go through a member object (events()) because the Qt signal
// decoderOffRequested() has the name of the event it answers.
//
// One object lives for the whole run. It owns the picture window (created
// while the fax decoder runs and the window is wanted) and knows the fax page
// while one exists.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <climits>
#include <memory>

#include "PageContext.h"
#include "fax/FaxDecoder.h"

namespace zeb::nimba {

class FaxPage;
class PictureWindow;

// The status text of a reception state (strings 31 … 34).
int faxStateStringId(fax::FaxState state);

class FaxDisplays : public QObject {
    Q_OBJECT
public:
    explicit FaxDisplays(PageContext& context, QObject* parent = nullptr);
    ~FaxDisplays() override;

    // What the decoder is constructed with.
    fax::FaxEvents& events();
    // The decoder events() belongs to (set after constructing it).
    void setDecoder(fax::FaxDecoder* decoder);
    fax::FaxDecoder* decoder() const { return decoder_; }
    PageContext& context() const { return context_; }

    // Marks the decoder's filter pass band and tones (FaxDecoder::markers())
    // on the program's spectrum analyser: after every change of the decoder's
    // settings and whenever the fax page is shown, since the display is
    // shared with the other decoders' pages, which mark their own.
    void markSpectrum();

    // The main program: the fax decoder was started / stopped.
    void faxStarted();
    void faxStopped();
    // Opens or closes the picture window (the panel's preview button).
    void togglePictureWindow();
    bool pictureWindowWanted() const { return pictureWanted_; }
    PictureWindow* pictureWindow() const { return window_.get(); }

    // The signal window was opened or closed: the decoder hands out its line
    // profile only while it is open.
    void setLineProfileOpen(bool open);

    // The fax page registers itself while it exists.
    void setPage(FaxPage* page);
    FaxPage* page() const { return page_.data(); }

signals:
    // A width change left the decoder without a picture buffer; the main
    // window switches the decoder off (mode 0).
    void decoderOffRequested();
    // New line-profile values wait in the signal buffer (refresh the signal
    // window).
    void signalRefreshRequested();
    // A picture file was begun / ended (the received list may want to know).
    void pictureFileBegun(const QString& workPath);
    void pictureFileEnded(const QString& picturePath);

private:
    class Events;
    friend class Events;

    void onStateChanged(fax::FaxState state);
    void flushRows();
    void flushPreview();
    void openPictureWindow();
    void closePictureWindow();
    void onPictureWindowClosed();
    void refreshPage();

    PageContext& context_;
    std::unique_ptr<Events> events_;
    fax::FaxDecoder* decoder_ = nullptr;
    QPointer<FaxPage> page_;
    std::unique_ptr<PictureWindow> window_;
    bool pictureWanted_ = false;

    // Dirty rows of the picture: [first, last], empty when first > last.
    std::atomic<int> dirtyFirst_{INT_MAX};
    std::atomic<int> dirtyLast_{INT_MIN};
    std::atomic<bool> dirtyAll_{false};
    std::atomic<bool> rowsPending_{false};
    std::atomic<bool> previewPending_{false};
    std::atomic<bool> slantPending_{false};
    std::atomic<bool> failurePending_{false};
};

}  // namespace zeb::nimba
