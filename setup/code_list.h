// The init list of a setup: items of target initialisation, each kept as one item text from
// which type, address, value and comment are derived.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tov::setup {

inline constexpr size_t kItemTypeCount = 23;
// Mnemonics by item type: NOP, DELAY, WM8, WM16, WM32, WGPR, WCPSR, then WCP15 down to WCP0.
extern const std::array<std::string_view, kItemTypeCount> kMnemonics;
// The item dialog's labels of the same types.
extern const std::array<std::string_view, kItemTypeCount> kItemLabels;

enum ItemType : uint32_t {
    kNop = 0,
    kDelay = 1,
    kWm8 = 2,
    kWm16 = 3,
    kWm32 = 4,
    kWgpr = 5,
    kWcpsr = 6,
    kWcp15 = 7,
    kWcp0 = 22,
};

// Longest comment an item keeps.
inline constexpr size_t kMaxComment = 100;

// What an item text says.
struct ItemFields {
    uint32_t type = kNop;
    uint32_t address = 0;
    uint32_t value = 0;
    std::string comment;
    bool operator==(const ItemFields&) const = default;
};

// One init item: its item text "MNEMONIC\tAAAAAAAA\tVVVVVVVV\tcomment".
class CCodeItem {
public:
    explicit CCodeItem(std::string text) : text_(std::move(text)) {}
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

// The ordered init list; it owns its items.
class CCodeList {
public:
    size_t size() const { return items_.size(); }
    bool empty() const { return items_.empty(); }
    const CCodeItem& at(size_t index) const { return *items_.at(index); }
    void append(CCodeItem item) { items_.push_back(std::make_unique<CCodeItem>(std::move(item))); }
    void removeAll() { items_.clear(); }
    // The item texts in order, for comparing lists.
    std::vector<std::string> texts() const;

private:
    std::vector<std::unique_ptr<CCodeItem>> items_;
};

// Builds the item text from the type's mnemonic, the numbers and the comment cut to 100.
CCodeItem makeItem(uint32_t type, uint32_t address, uint32_t value, std::string_view comment);
// Splits an item text; an unknown mnemonic reads as WM32.
ItemFields readItem(const CCodeItem& item);
// The item a display line (or a pasted line) describes, read leniently: the first three
// fields in any case, numbers in any C base, unknown mnemonics as NOP.
CCodeItem itemFromDisplayLine(std::string_view line);
// The line the init-list editor shows for an item.
std::string displayLine(const CCodeItem& item);
// The mnemonic of a type; types outside the table have none.
std::string_view mnemonicOf(uint32_t type);

}  // namespace tov::setup
