#include "audio/engine/CAAudioChannelLayout.h"

#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

size_t layoutBytes(UInt32 descriptions) { return AudioChannelLayoutByteSize(descriptions); }

// Tags chosen by channel count; the second column is the surround choice.
AudioChannelLayoutTag tagForChannels(UInt32 channels, bool surround)
{
    switch (channels) {
    case 1: return 0x640001;
    case 2: return surround ? 0x6A0002 : 0x650002;
    case 4: return surround ? 0x6B0004 : 0x6C0004;
    case 5: return surround ? 0x760005 : 0x6D0005;
    case 6: return surround ? 0x8B0006 : 0x6E0006;
    case 7: return 0x8C0007;
    case 8: return 0x6F0008;
    default: return 0;
    }
}

} // namespace

CAAudioChannelLayout::RefCountedLayout* CAAudioChannelLayout::RefCountedLayout::CreateWithNumberChannelDescriptions(
    UInt32 descriptions)
{
    const size_t bytes = layoutBytes(descriptions);
    void* block = std::calloc(1, offsetof(RefCountedLayout, mStorage) + bytes);
    if (!block)
        throw std::bad_alloc();
    auto* object = new (block) RefCountedLayout();
    object->mByteSize = UInt32(bytes);
    object->layout()->mNumberChannelDescriptions = descriptions;
    return object;
}

CAAudioChannelLayout::RefCountedLayout* CAAudioChannelLayout::RefCountedLayout::CreateWithLayout(
    const AudioChannelLayout* layout)
{
    if (!layout)
        return CreateWithNumberChannelDescriptions(0);
    RefCountedLayout* object = CreateWithNumberChannelDescriptions(layout->mNumberChannelDescriptions);
    std::memcpy(object->layout(), layout, layoutBytes(layout->mNumberChannelDescriptions));
    return object;
}

void CAAudioChannelLayout::RefCountedLayout::release()
{
    if (mRefCount.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        this->~RefCountedLayout();
        std::free(this);
    }
}

CAAudioChannelLayout::CAAudioChannelLayout() : mLayout(RefCountedLayout::CreateWithNumberChannelDescriptions(0)) {}

CAAudioChannelLayout::CAAudioChannelLayout(UInt32 channels, bool chooseSurround)
{
    const AudioChannelLayoutTag tag = tagForChannels(channels, chooseSurround);
    if (tag) {
        mLayout = RefCountedLayout::CreateWithNumberChannelDescriptions(0);
        mLayout->layout()->mChannelLayoutTag = tag;
        return;
    }
    mLayout = RefCountedLayout::CreateWithNumberChannelDescriptions(channels);
    for (UInt32 i = 0; i < channels; ++i)
        mLayout->layout()->mChannelDescriptions[i].mChannelLabel = kAudioChannelLabel_Unknown;
}

CAAudioChannelLayout::CAAudioChannelLayout(AudioChannelLayoutTag tag)
    : mLayout(RefCountedLayout::CreateWithNumberChannelDescriptions(0))
{
    mLayout->layout()->mChannelLayoutTag = tag;
}

CAAudioChannelLayout::CAAudioChannelLayout(const AudioChannelLayout* layout)
    : mLayout(RefCountedLayout::CreateWithLayout(layout))
{
}

CAAudioChannelLayout::CAAudioChannelLayout(const CAAudioChannelLayout& other) : mLayout(other.mLayout)
{
    mLayout->retain();
}

CAAudioChannelLayout::~CAAudioChannelLayout() { mLayout->release(); }

CAAudioChannelLayout& CAAudioChannelLayout::operator=(const CAAudioChannelLayout& other)
{
    if (mLayout != other.mLayout) {
        other.mLayout->retain();
        mLayout->release();
        mLayout = other.mLayout;
    }
    return *this;
}

CAAudioChannelLayout& CAAudioChannelLayout::operator=(AudioChannelLayoutTag tag)
{
    RefCountedLayout* fresh = RefCountedLayout::CreateWithNumberChannelDescriptions(0);
    fresh->layout()->mChannelLayoutTag = tag;
    mLayout->release();
    mLayout = fresh;
    return *this;
}

CAAudioChannelLayout& CAAudioChannelLayout::operator=(const AudioChannelLayout* layout)
{
    if (layout == mLayout->layout())
        return *this;
    RefCountedLayout* fresh = RefCountedLayout::CreateWithLayout(layout);
    mLayout->release();
    mLayout = fresh;
    return *this;
}

bool CAAudioChannelLayout::operator==(const CAAudioChannelLayout& other) const
{
    if (mLayout == other.mLayout)
        return true;
    return Size() == other.Size() &&
           std::memcmp(mLayout->layout(), other.mLayout->layout(),
                       layoutBytes(mLayout->layout()->mNumberChannelDescriptions)) == 0;
}

UInt32 CAAudioChannelLayout::NumberChannels() const
{
    const AudioChannelLayout& layout = Layout();
    if (layout.mChannelLayoutTag == kAudioChannelLayoutTag_UseChannelBitmap)
        return UInt32(std::popcount(layout.mChannelBitmap));
    if (layout.mChannelLayoutTag == kAudioChannelLayoutTag_UseChannelDescriptions)
        return layout.mNumberChannelDescriptions;
    return layout.mChannelLayoutTag & 0xFFFF;
}

void CAAudioChannelLayout::Print(std::ostream& out) const
{
    const AudioChannelLayout& layout = Layout();
    char line[256];
    std::snprintf(line, sizeof line, "\tTag=0x%X, ", unsigned(layout.mChannelLayoutTag));
    out << line;
    if (layout.mChannelLayoutTag == kAudioChannelLayoutTag_UseChannelBitmap) {
        std::snprintf(line, sizeof line, "Using Bitmap:0x%X\n", unsigned(layout.mChannelBitmap));
        out << line;
        return;
    }
    std::snprintf(line, sizeof line, "Num Chan Descs=%d\n", int(layout.mNumberChannelDescriptions));
    out << line;
    for (UInt32 i = 0; i < layout.mNumberChannelDescriptions; ++i) {
        const AudioChannelDescription& d = layout.mChannelDescriptions[i];
        std::snprintf(line, sizeof line, "\t\tLabel=%d, Flags=0x%X, ", int(d.mChannelLabel), unsigned(d.mChannelFlags));
        out << line;
        std::snprintf(line, sizeof line, "[az=%f,el=%f,dist=%f]\n", double(d.mCoordinates[0]),
                      double(d.mCoordinates[1]), double(d.mCoordinates[2]));
        out << line;
    }
}

AudioChannelLayout* CAAudioChannelLayout::CreateLayout(UInt32 numberChannelDescriptions)
{
    auto* layout = static_cast<AudioChannelLayout*>(std::calloc(1, layoutBytes(numberChannelDescriptions)));
    if (!layout)
        throw std::bad_alloc();
    layout->mNumberChannelDescriptions = numberChannelDescriptions;
    for (UInt32 i = 0; i < numberChannelDescriptions; ++i)
        layout->mChannelDescriptions[i].mChannelLabel = kAudioChannelLabel_Unknown;
    return layout;
}

void CAAudioChannelLayout::FreeLayout(AudioChannelLayout* layout) { std::free(layout); }
