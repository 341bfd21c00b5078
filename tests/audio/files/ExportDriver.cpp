#include "ExportDriver.h"

#include "audio/files/ZEPAudioConverter.h"
#include "audio/files/ZEPAudioFileWriting.h"

#include <QByteArray>

#include <algorithm>

namespace clipdeck::test {

namespace {

// Hands out the planar float audio in the slices the encoder asks for.
class PlanarSource : public ZEPAudioConverterDataSource {
public:
    PlanarSource(const std::vector<float>& left, const std::vector<float>& right) : mLeft(left), mRight(right) {}
    OSStatus converter(ZEPAudioConverter*, UInt32* readPackets, AudioBufferList* bufferList,
                       AudioStreamPacketDescription**) override
    {
        const UInt32 count = UInt32(std::min<size_t>(*readPackets, mLeft.size() - mPosition));
        bufferList->mBuffers[0].mData = const_cast<float*>(mLeft.data() + mPosition);
        bufferList->mBuffers[1].mData = const_cast<float*>(mRight.data() + mPosition);
        bufferList->mBuffers[0].mDataByteSize = bufferList->mBuffers[1].mDataByteSize = count * 4;
        mPosition += count;
        *readPackets = count;
        return noErr;
    }

private:
    const std::vector<float>& mLeft;
    const std::vector<float>& mRight;
    size_t mPosition = 0;
};

} // namespace

OSStatus exportAudio(ZEPAudioConverter& encoder, ZEPAudioFileWriting& writer, const std::vector<float>& left,
                     const std::vector<float>& right)
{
    PlanarSource source(left, right);
    OSStatus status = encoder.getReadyToEncode();
    if (status != noErr)
        return status;
    encoder.setDataSource(&source);
    QByteArray cookie;
    if (encoder.getCompressionMagicCookie(&cookie) == noErr && !cookie.isEmpty())
        writer.setMagicCookie(cookie.constData(), UInt32(cookie.size()));
    if ((status = writer.enterThread()) != noErr || (status = writer.beginWritingSession()) != noErr)
        return status;
    const UInt32 packetSize = std::max<UInt32>(encoder.maxmimumOutputPacketSize(), 1);
    std::vector<UInt8> buffer(std::max<UInt32>(16384, packetSize));
    std::vector<AudioStreamPacketDescription> descriptions(32768);
    for (;;) {
        StackAudioBufferList<1> list;
        list.mBuffers[0] = {2, UInt32(buffer.size()), buffer.data()};
        UInt32 packets = std::min<UInt32>(32768, UInt32(buffer.size()) / packetSize);
        status = encoder.fillComplexBuffer(list.list(), descriptions.data(), &packets);
        if (status != noErr)
            break;
        if (packets == 0)
            break;
        status = writer.writeBytes(buffer.data(), list.mBuffers[0].mDataByteSize, packets,
                                   encoder.outputIsExternallyFramed() ? descriptions.data() : nullptr, 0);
        if (status != noErr)
            break;
    }
    encoder.setDataSource(nullptr);
    AudioConverterPrimeInfo prime;
    encoder.getPrimeInfo(&prime);
    writer.writePrimeInfo(prime, encoder.primeMethod());
    const OSStatus ended = writer.endWritingSession();
    writer.exitThread();
    return status != noErr ? status : ended;
}

AudioStreamBasicDescription defaultOutputFor(UInt32 fileType)
{
    AudioStreamBasicDescription description;
    ZEPAudioConverter::defaultOutputDescription(&description, fileType);
    return description;
}

} // namespace clipdeck::test
