#pragma once
// Helpers of the ISO media tests: bytes in and out of files, big-endian atoms built by hand,
// and the ffmpeg/ffprobe tools that make and check real M4A files.

#include "isomedia/MP4Handle.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace isomedia_test {

using Bytes = std::vector<uint8_t>;

inline Bytes readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline void put32(Bytes& bytes, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.push_back(uint8_t(value >> shift));
}

inline uint32_t get32(const Bytes& bytes, size_t at)
{
    return (uint32_t(bytes[at]) << 24) | (uint32_t(bytes[at + 1]) << 16) | (uint32_t(bytes[at + 2]) << 8) | bytes[at + 3];
}

inline void set32(Bytes& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; i++)
        bytes[at + i] = uint8_t(value >> (24 - 8 * i));
}

// An atom: size, type, body.
inline Bytes atom(const char* type, const Bytes& body)
{
    Bytes bytes;
    put32(bytes, uint32_t(8 + body.size()));
    bytes.insert(bytes.end(), type, type + 4);
    bytes.insert(bytes.end(), body.begin(), body.end());
    return bytes;
}

inline Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes bytes;
    for (const Bytes& part : parts)
        bytes.insert(bytes.end(), part.begin(), part.end());
    return bytes;
}

// The types of the top-level atoms, in order.
inline std::vector<std::string> topLevelTypes(const Bytes& bytes)
{
    std::vector<std::string> types;
    for (size_t at = 0; at + 8 <= bytes.size();) {
        uint32_t size = get32(bytes, at);
        types.emplace_back(reinterpret_cast<const char*>(&bytes[at + 4]), 4);
        if (size < 8)
            break;
        at += size;
    }
    return types;
}

// The offset of the first atom of the type anywhere in the bytes (a plain search), or npos.
inline size_t findAtom(const Bytes& bytes, const char* type, size_t from = 0)
{
    for (size_t at = from + 4; at + 4 <= bytes.size(); at++) {
        if (std::equal(type, type + 4, bytes.begin() + long(at)))
            return at - 4;
    }
    return std::string::npos;
}

inline Bytes atomAt(const Bytes& bytes, size_t at)
{
    return Bytes(bytes.begin() + long(at), bytes.begin() + long(at + get32(bytes, at)));
}

// Runs a shell command; its standard output, and whether it exited 0.
inline bool run(const std::string& command, std::string* output = nullptr)
{
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return false;
    std::string text;
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        text.append(buffer, n);
    int status = ::pclose(pipe);
    if (output != nullptr)
        *output = text;
    return status == 0;
}

// A one-second stereo M4A made by ffmpeg: codec "aac" or "alac", the movie atom first or last.
inline bool makeM4A(const std::string& path, const std::string& codec, bool movieFirst)
{
    std::string command = "ffmpeg -hide_banner -loglevel error -y -f lavfi -i "
                          "'sine=frequency=440:duration=1:sample_rate=44100' -ac 2 -c:a "
        + codec + (codec == "aac" ? " -b:a 96k" : "") + (movieFirst ? " -movflags +faststart" : "") + " '" + path
        + "'";
    return run(command);
}

// Two interleaved AAC tracks, movie atom first: many chunks, so media data can be split between them.
inline bool makeTwoTrackM4A(const std::string& path)
{
    return run("ffmpeg -hide_banner -loglevel error -y -f lavfi -i 'sine=frequency=440:duration=1' -f lavfi -i "
               "'sine=frequency=220:duration=1' -map 0 -map 1 -ac 2 -c:a aac -b:a 96k -movflags +faststart '"
        + path + "'");
}

// The MD5 of one decoded audio stream ("0:a:0" is the first) as 32-bit float samples.
inline std::string decodedAudioMD5(const std::string& path, const std::string& stream = "0:a:0")
{
    std::string output;
    run("ffmpeg -hide_banner -loglevel error -i '" + path + "' -map " + stream + " -f f32le - | md5sum", &output);
    return output.substr(0, 32);
}

// The value of one format tag as ffprobe reads it.
inline std::string probeTag(const std::string& path, const std::string& key)
{
    std::string output;
    run("ffprobe -v error -show_entries format_tags='" + key + "' -of default=nw=1:nk=1 '" + path + "'", &output);
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r'))
        output.pop_back();
    return output;
}

// A library handle owned by the test.
class Handle {
public:
    explicit Handle(const Bytes& bytes = {})
    {
        MP4NewHandle(uint32_t(bytes.size()), &handle_);
        if (!bytes.empty())
            std::memcpy(handle_->data, bytes.data(), bytes.size());
    }
    // 32-bit values in the host's byte order, as sample tables take them.
    static Handle values(const std::vector<uint32_t>& values)
    {
        Handle handle;
        MP4SetHandleSize(handle.handle_, uint32_t(4 * values.size()));
        if (!values.empty())
            std::memcpy(handle.handle_->data, values.data(), 4 * values.size());
        return handle;
    }
    Handle(Handle&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
    Handle(const Handle&) = delete;
    ~Handle()
    {
        if (handle_ != nullptr)
            MP4DisposeHandle(handle_);
    }
    operator MP4Handle() const { return handle_; }
    Bytes bytes() const { return Bytes(handle_->data, handle_->data + handle_->size); }

private:
    MP4Handle handle_ = nullptr;
};

// What ffprobe reads of the packets of the first stream: decoding time, size, file position.
struct Packet {
    uint64_t dts = 0;
    uint32_t size = 0;
    uint64_t pos = 0;
    bool operator==(const Packet&) const = default;
};

inline std::vector<Packet> probePackets(const std::string& path)
{
    std::string output;
    run("ffprobe -v quiet -select_streams 0 -show_entries packet=dts,size,pos -of csv=p=0 '" + path + "'", &output);
    std::vector<Packet> packets;
    std::istringstream lines(output);
    Packet packet;
    char comma = 0;
    while (lines >> packet.dts >> comma >> packet.size >> comma >> packet.pos)
        packets.push_back(packet);
    return packets;
}

} // namespace isomedia_test
