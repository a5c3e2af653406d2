// StringTable: numbered user-visible texts, looked up by the core libraries
// without knowing where they come from (the program's language bundle, or a
// fixed table in tests and command-line tools).
#pragma once

#include <map>
#include <string>

namespace zeb {

class StringTable {
public:
    virtual ~StringTable() = default;
    // The UTF-8 text of string `id`; empty when the table has none.
    virtual std::string text(int id) const = 0;
};

// A table held in memory.
class MapStringTable : public StringTable {
public:
    MapStringTable() = default;
    explicit MapStringTable(std::map<int, std::string> texts) : texts_(std::move(texts)) {}
    void set(int id, std::string text) { texts_[id] = std::move(text); }
    std::string text(int id) const override {
        auto it = texts_.find(id);
        return it == texts_.end() ? std::string() : it->second;
    }

private:
    std::map<int, std::string> texts_;
};

}  // namespace zeb
