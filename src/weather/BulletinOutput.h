// What the bulletin scanner, the report parser and the SITOR-B message framer
// ask of the received-text window. The decoders run on the capture thread: a
// program implements this by queueing owned items to its user-interface
// thread in the order they were asked for, behind the characters that were
// already posted, so a mark or a save applies exactly to the text received
// before it.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace zeb::weather {

enum class Collected { Warning = 0, Information = 1 };

class BulletinOutput {
public:
    virtual ~BulletinOutput() = default;
    // Inserts a whole text (a report description, an error line).
    virtual void appendText(std::string_view text) = 0;
    // Starts collecting a warning or message at the beginning of the line
    // being received (its heading line, or the "ZCZC" line).
    virtual void markStart(Collected kind) = 0;
    // Writes the text from the start mark to the end as
    // "SYNOP/WARN_….RTF" (warning) or "SYNOP/INFO_….RTF" (information).
    // With `beforeCurrentLine` the line being received is left out: it
    // already belongs to the next bulletin (its "ZCZC").
    virtual void saveCollected(Collected kind, bool beforeCurrentLine = false) = 0;
    // Writes the collected information under a name the caller chose in the
    // SYNOP folder ("INFO_….RTF"), replacing a file of that name: the message
    // framer names NAVTEX messages itself so that a better copy of a message
    // takes the place of the one saved before. An output without a folder of
    // its own may save as saveCollected does.
    virtual void saveCollectedAs(std::string_view fileName, bool beforeCurrentLine = false) {
        (void)fileName;
        saveCollected(Collected::Information, beforeCurrentLine);
    }
    // Sounds the warning tone sequence unless one is playing or the warning
    // sound is off.
    virtual void playWarningTone() = 0;
};

// The warning tone: (frequency in Hz, duration in ms) pairs, ended by a
// frequency of 0.
struct TonePair {
    std::uint16_t frequency;
    std::uint16_t milliseconds;
};
inline constexpr std::array<TonePair, 7> kWarningTone = {{
    {900, 120},
    {1100, 120},
    {1320, 120},
    {900, 120},
    {1100, 120},
    {1320, 120},
    {0, 0},
}};

}  // namespace zeb::weather
