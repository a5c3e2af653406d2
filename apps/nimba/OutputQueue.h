// The one ordered road from the decoders on the capture thread to the text
// windows on the user-interface thread.
//
// Decoded characters, report descriptions, error lines, "mark the start of a
// bulletin", "save what was collected" and "sound the warning tone" travel as
// owned items in the order they were produced, so a mark or a save applies
// exactly to the text received before it, and a description is never
// overwritten before the window shows it. The capture thread appends under a
// short lock into storage reserved in advance (no allocation in steady
// operation); the first item after a drain asks the UI thread to drain again.
#pragma once

#include <QObject>
#include <QPointer>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "weather/BulletinOutput.h"
#include "weather/MessageFramer.h"

namespace zeb::nimba {

// Which text window an item is for.
enum class TextTarget : std::uint8_t { Rtty, Cw };

enum class ItemKind : std::uint8_t {
    Received,  // decoded characters
    Report,    // a whole text: report description, error line, prosign
    Mark,      // start collecting (arg: weather::Collected)
    Save,      // save what was collected (arg: kind; flag: before the current line;
               // text: the file name chosen by the framer, or empty)
    Tone,      // sound the warning tone
    Message,   // the message framer finished a message (offset: its index in
               // the batch's messages)
};

struct OutputItem {
    TextTarget target = TextTarget::Rtty;
    ItemKind kind = ItemKind::Received;
    std::uint8_t arg = 0;
    bool flag = false;
    std::uint32_t offset = 0;  // of the text in the batch's text storage
    std::uint32_t length = 0;
};

struct OutputBatch {
    std::vector<OutputItem> items;
    std::string text;
    // Few and far between: one per NAVTEX message.
    std::vector<weather::MessageFramer::Message> messages;
    void clear() {
        items.clear();
        text.clear();
        messages.clear();
    }
};

class OutputQueue {
public:
    OutputQueue();

    // Where the drain request goes: `receiver` gets the queued call `method`
    // (a slot or Q_INVOKABLE without arguments) once per batch.
    void setReceiver(QObject* receiver, const char* method);

    // Capture thread (or any thread).
    void pushText(TextTarget target, ItemKind kind, std::string_view text);
    void pushMark(TextTarget target, weather::Collected kind);
    void pushSave(TextTarget target, weather::Collected kind, bool beforeCurrentLine,
                  std::string_view fileName = {});
    void pushTone(TextTarget target);
    // Allocates: only for the rare end of a message.
    void pushMessage(TextTarget target, const weather::MessageFramer::Message& message);

    // UI thread: takes everything queued so far (the batch is cleared first).
    void take(OutputBatch& out);
    bool empty() const;

private:
    void push(OutputItem item, std::string_view text);
    void askToDrain(const QPointer<QObject>& receiver, const char* method);

    mutable std::mutex mutex_;
    OutputBatch pending_;
    QPointer<QObject> receiver_;
    const char* method_ = nullptr;
    std::atomic<bool> requested_{false};
};

}  // namespace zeb::nimba
