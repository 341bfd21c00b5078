#include "platform/BinaryPropertyListKeys.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace PropertyList {
namespace {

// The layout of a binary list: "bplist00", the objects, a table of their offsets, and a
// 32-byte trailer naming the widths of offsets and object references, the number of
// objects and where the offset table starts. All numbers are big-endian.
class BinaryListReader {
public:
    explicit BinaryListReader(const QByteArray& data)
        : bytes_(reinterpret_cast<const uint8_t*>(data.constData())), size_(uint64_t(data.size()))
    {
    }

    bool readTrailer()
    {
        if (size_ < 8 + 32)
            return false;
        const uint64_t trailer = size_ - 32;
        offsetWidth_ = bytes_[trailer + 6];
        referenceWidth_ = bytes_[trailer + 7];
        const auto count = number(trailer + 8, 8);
        const auto table = number(trailer + 24, 8);
        if (!count || !table || offsetWidth_ == 0 || offsetWidth_ > 8 || referenceWidth_ == 0 || referenceWidth_ > 8)
            return false;
        // Both checks keep the product below from overflowing.
        if (*table > trailer || *count > (trailer - *table) / offsetWidth_)
            return false;
        objectCount_ = *count;
        offsetTable_ = *table;
        return true;
    }

    uint64_t objectCount() const { return objectCount_; }

    std::optional<uint64_t> objectOffset(uint64_t index) const
    {
        if (index >= objectCount_)
            return std::nullopt;
        return number(offsetTable_ + index * offsetWidth_, offsetWidth_);
    }

    std::optional<uint8_t> marker(uint64_t offset) const
    {
        if (offset >= size_)
            return std::nullopt;
        return bytes_[offset];
    }

    // The length an object's marker gives, and where the object's contents start: a low
    // nibble of 0xF means an integer object holding the length follows the marker.
    std::optional<std::pair<uint64_t, uint64_t>> lengthAndContents(uint64_t offset) const
    {
        const auto first = marker(offset);
        if (!first)
            return std::nullopt;
        if ((*first & 0x0F) != 0x0F)
            return std::pair<uint64_t, uint64_t>{*first & 0x0Fu, offset + 1};
        const auto integer = marker(offset + 1);
        if (!integer || (*integer & 0xF0) != 0x10 || (*integer & 0x0F) > 3)
            return std::nullopt;
        const unsigned width = 1u << (*integer & 0x0F);
        const auto length = number(offset + 2, width);
        if (!length)
            return std::nullopt;
        return std::pair<uint64_t, uint64_t>{*length, offset + 2 + width};
    }

    std::optional<uint64_t> reference(uint64_t offset) const { return number(offset, referenceWidth_); }
    unsigned referenceWidth() const { return referenceWidth_; }

    bool holds(uint64_t offset, uint64_t length) const { return offset <= size_ && length <= size_ - offset; }
    uint8_t byte(uint64_t offset) const { return bytes_[offset]; }

private:
    std::optional<uint64_t> number(uint64_t offset, unsigned width) const
    {
        if (!holds(offset, width))
            return std::nullopt;
        uint64_t value = 0;
        for (unsigned i = 0; i < width; ++i)
            value = (value << 8) | bytes_[offset + i];
        return value;
    }

    const uint8_t* bytes_;
    uint64_t size_;
    unsigned offsetWidth_ = 0;
    unsigned referenceWidth_ = 0;
    uint64_t objectCount_ = 0;
    uint64_t offsetTable_ = 0;
};

// Counts the bytes and references a check reads. Objects of a well-formed list lie apart and
// its keys are checked once each, so a check reads about the list's size; a list whose
// objects overlap or repeat could make it read its size many times over.
struct WorkBudget {
    uint64_t left;
    bool spend(uint64_t amount)
    {
        if (amount > left)
            return false;
        left -= amount;
        return true;
    }
};

enum class Check { Clean, HasNul, TooMuchWork };

Check stringHoldsNul(const BinaryListReader& list, uint64_t offset, WorkBudget& budget)
{
    const auto marker = list.marker(offset);
    if (!marker)
        return Check::Clean;
    const unsigned type = *marker >> 4;
    if (type != 0x5 && type != 0x6 && type != 0x7)
        return Check::Clean;
    const auto lengthAndContents = list.lengthAndContents(offset);
    if (!lengthAndContents)
        return Check::Clean;
    const auto [length, contents] = *lengthAndContents;
    // ASCII and UTF-8 strings count bytes; UTF-16 strings count 16-bit units.
    const uint64_t unit = type == 0x6 ? 2 : 1;
    if (length > UINT64_MAX / unit || !list.holds(contents, length * unit))
        return Check::Clean;
    if (!budget.spend(length))
        return Check::TooMuchWork;
    for (uint64_t i = 0; i < length; ++i) {
        const uint64_t at = contents + i * unit;
        if (list.byte(at) == 0 && (unit == 1 || list.byte(at + 1) == 0))
            return Check::HasNul;
    }
    return Check::Clean;
}

// keyChecked marks the objects already checked as keys: keys shared by many dictionaries
// (as writers share them) are read once.
Check dictionaryHasKeyWithNul(const BinaryListReader& list, uint64_t offset, std::vector<bool>& keyChecked,
                              WorkBudget& budget)
{
    const auto lengthAndContents = list.lengthAndContents(offset);
    if (!lengthAndContents)
        return Check::Clean;
    const auto [count, keys] = *lengthAndContents;
    if (count > UINT64_MAX / list.referenceWidth() || !list.holds(keys, count * list.referenceWidth()))
        return Check::Clean;
    if (!budget.spend(count))
        return Check::TooMuchWork;
    for (uint64_t i = 0; i < count; ++i) {
        const auto key = list.reference(keys + i * list.referenceWidth());
        if (!key)
            return Check::Clean;
        const auto keyOffset = list.objectOffset(*key);
        if (!keyOffset || keyChecked[*key])
            continue;
        keyChecked[*key] = true;
        const Check check = stringHoldsNul(list, *keyOffset, budget);
        if (check != Check::Clean)
            return check;
    }
    return Check::Clean;
}

} // namespace

bool binaryListHasUnsafeKeys(const QByteArray& data)
{
    BinaryListReader list(data);
    if (!list.readTrailer())
        return false;
    std::vector<bool> keyChecked(list.objectCount(), false);
    WorkBudget budget{4 * uint64_t(data.size()) + 4096};
    // Every dictionary of the list is an object of the offset table, so one pass over the
    // table sees every key.
    for (uint64_t index = 0; index < list.objectCount(); ++index) {
        const auto offset = list.objectOffset(index);
        if (!offset)
            return false;
        const auto marker = list.marker(*offset);
        if (marker && (*marker >> 4) == 0xD && dictionaryHasKeyWithNul(list, *offset, keyChecked, budget) != Check::Clean)
            return true;
    }
    return false;
}

} // namespace PropertyList
