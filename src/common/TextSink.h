// Where decoders put what they decode. Decoders run on the capture thread and
// never draw: the programs implement these sinks by posting owned copies to
// their user-interface thread; the command line and the tests collect the
// text directly.
#pragma once

#include <string>
#include <string_view>

namespace zeb {

class TextSink {
public:
    virtual ~TextSink() = default;
    // Decoded text as Windows-1252 bytes: one character, or a group such as a
    // prosign "<AR>". Line ends are "\r\n" or "\n" as the decoder produces them.
    virtual void text(std::string_view bytes) = 0;
};

// Collects everything in one string (command line, tests).
class StringTextSink : public TextSink {
public:
    void text(std::string_view bytes) override { collected_.append(bytes); }
    const std::string& collected() const { return collected_; }
    void clear() { collected_.clear(); }

private:
    std::string collected_;
};

}  // namespace zeb
