#include "platform/BinaryPropertyListKeys.h"

#include <algorithm>
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
        const auto root = number(trailer + 16, 8);
        if (!root || *root >= *count)
            return false;
        objectCount_ = *count;
        offsetTable_ = *table;
        rootObject_ = *root;
        return true;
    }

    uint64_t objectCount() const { return objectCount_; }
    uint64_t rootObject() const { return rootObject_; }

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
    uint64_t rootObject_ = 0;
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

// What reading a list makes of it. The library reading a binary list makes a fresh copy of
// an object for every reference to it, so an array that lists one big dictionary or string
// many times becomes that many copies: a message of a megabyte could ask for gigabytes.
// Writers share only small, repeated values (keys, numbers, short strings), so a list that
// reads into far more objects or bytes than it holds is refused. Both readers (the library
// and our conversion after it) also recurse once per level of nesting: a list nested deeper
// than any real one is refused before it can exhaust the stack.
constexpr uint64_t kMaximumSharedCopies = uint64_t(1) << 20;
constexpr uint64_t kMaximumSharedBytes = uint64_t(16) << 20;
constexpr std::size_t kMaximumNesting = 512;

struct Expansion {
    uint64_t objects = 0;
    uint64_t bytes = 0;
    void add(const Expansion& other, uint64_t cap)
    {
        objects = std::min(cap, objects + other.objects);
        bytes = std::min(cap, bytes + other.bytes);
    }
};

// The references an array (0xA) or dictionary (0xD: keys, then values) holds: where they
// start and how many; none for any other object, or for a container running off the data
// (the library refuses that one itself).
std::pair<uint64_t, uint64_t> containerReferences(const BinaryListReader& list, uint64_t offset)
{
    const auto marker = list.marker(offset);
    if (!marker || ((*marker >> 4) != 0xA && (*marker >> 4) != 0xD))
        return {0, 0};
    const auto lengthAndContents = list.lengthAndContents(offset);
    if (!lengthAndContents)
        return {0, 0};
    auto [count, references] = *lengthAndContents;
    if ((*marker >> 4) == 0xD) {
        if (count > UINT64_MAX / 2)
            return {0, 0};
        count *= 2;
    }
    if (count > UINT64_MAX / list.referenceWidth() || !list.holds(references, count * list.referenceWidth()))
        return {0, 0};
    return {references, count};
}

// The bytes of a string (0x5 ASCII, 0x6 UTF-16, 0x7 UTF-8) or data (0x4) object.
uint64_t payloadBytes(const BinaryListReader& list, uint64_t offset)
{
    const auto marker = list.marker(offset);
    if (!marker)
        return 0;
    const unsigned type = *marker >> 4;
    if (type != 0x4 && type != 0x5 && type != 0x6 && type != 0x7)
        return 0;
    const auto lengthAndContents = list.lengthAndContents(offset);
    if (!lengthAndContents)
        return 0;
    const uint64_t length = lengthAndContents->first;
    return type == 0x6 ? std::min(length, UINT64_MAX / 2) * 2 : length;
}

// True when the list read from its root object would be too big (or too deeply nested, or
// would refer to itself, which the library refuses anyway). Each object is measured once
// and its size reused for every further reference, so the walk reads every object and
// reference of the list at most once, without recursion.
bool expandsTooFar(const BinaryListReader& list, uint64_t dataSize)
{
    const uint64_t maximumObjects = list.objectCount() + kMaximumSharedCopies;
    const uint64_t maximumBytes = dataSize + kMaximumSharedBytes;
    const uint64_t cap = std::max(maximumObjects, maximumBytes) + 1;
    enum : uint8_t { Unvisited, Open, Measured };
    std::vector<uint8_t> state(list.objectCount(), Unvisited);
    std::vector<Expansion> size(list.objectCount());
    struct Frame {
        uint64_t index;
        uint64_t references;
        uint64_t count;
        uint64_t next;
    };
    std::vector<Frame> stack;
    const auto open = [&](uint64_t index) {
        const auto offset = list.objectOffset(index);
        state[index] = Open;
        size[index] = {1, offset ? payloadBytes(list, *offset) : 0};
        const auto [references, count] = offset ? containerReferences(list, *offset) : std::pair<uint64_t, uint64_t>{0, 0};
        stack.push_back({index, references, count, 0});
    };
    open(list.rootObject());
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next == frame.count) {
            state[frame.index] = Measured;
            const Expansion measured = size[frame.index];
            stack.pop_back();
            if (!stack.empty())
                size[stack.back().index].add(measured, cap);
            continue;
        }
        const auto child = list.reference(frame.references + frame.next * list.referenceWidth());
        ++frame.next;
        if (!child || *child >= list.objectCount())
            continue; // a reference out of the list: the library refuses it
        if (state[*child] == Open)
            return true;
        if (state[*child] == Measured) {
            size[frame.index].add(size[*child], cap);
            continue;
        }
        if (stack.size() >= kMaximumNesting)
            return true;
        open(*child);
    }
    const Expansion& whole = size[list.rootObject()];
    return whole.objects > maximumObjects || whole.bytes > maximumBytes;
}

} // namespace

bool binaryListIsUnsafeToRead(const QByteArray& data)
{
    BinaryListReader list(data);
    if (!list.readTrailer())
        return false;
    if (expandsTooFar(list, uint64_t(data.size())))
        return true;
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
