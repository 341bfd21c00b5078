// Reading and writing back a typical M4A (three minutes of stereo audio), and the tag rewrite
// that every exported file goes through. The files are made by the ffmpeg tool at the start
// in a temporary folder of their own, removed at the end.
#include "isomedia/MP4M4ATagWriter.h"
#include "isomedia/MP4Movies.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The input files, made once.
class Inputs {
public:
    static Inputs& get()
    {
        static Inputs inputs;
        return inputs;
    }
    ~Inputs()
    {
        std::error_code ignored;
        if (!folder_.empty())
            fs::remove_all(folder_, ignored);
    }

    // "aac": 128 kbit/s AAC of a tone; "alac": Apple Lossless of quiet noise, as a recording
    // compresses; both with the movie atom in front. Empty when ffmpeg could not make it.
    std::string path(const std::string& codec) const { return codec == "aac" ? aac_ : alac_; }
    std::string output() const { return (folder_ / "out.m4a").string(); }

private:
    Inputs()
    {
        std::string pattern = (fs::temp_directory_path() / "isomedia-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            return;
        folder_ = pattern;
        aac_ = make("aac", "sine=frequency=440:duration=180:sample_rate=44100", "-c:a aac -b:a 128k");
        alac_ = make("alac", "anoisesrc=color=pink:amplitude=0.05:duration=180:sample_rate=44100", "-c:a alac");
    }

    std::string make(const std::string& name, const std::string& source, const std::string& codec)
    {
        std::string file = (folder_ / (name + ".m4a")).string();
        std::string command = "ffmpeg -hide_banner -loglevel error -y -f lavfi -i '" + source + "' -ac 2 " + codec
            + " -movflags +faststart '" + file + "'";
        return std::system(command.c_str()) == 0 ? file : std::string();
    }

    fs::path folder_;
    std::string aac_, alac_;
};

std::vector<char> readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

const char* codecName(int64_t index)
{
    return index == 0 ? "aac" : "alac";
}

// Parse the whole file from memory into a tree of atoms and serialise it again: the library's
// own work, without the disk.
void ParseAndWriteBackInMemory(benchmark::State& state)
{
    std::string input = Inputs::get().path(codecName(state.range(0)));
    if (input.empty()) {
        state.SkipWithError("ffmpeg could not make the input file");
        return;
    }
    std::vector<char> bytes = readAll(input);
    MP4Handle in = nullptr, out = nullptr;
    MP4NewHandle(uint32_t(bytes.size()), &in);
    std::copy(bytes.begin(), bytes.end(), in->data);
    MP4NewHandle(0, &out);
    for (auto _ : state) {
        MP4Movie movie = nullptr;
        if (MP4NewMovieFromHandle(&movie, in, 0) != MP4Success || MP4PutMovieIntoHandle(movie, out) != MP4Success) {
            state.SkipWithError("the movie could not be read or written");
            break;
        }
        MP4DisposeMovie(movie);
        benchmark::DoNotOptimize(out->data);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
    state.SetLabel(std::string(codecName(state.range(0))) + ", " + std::to_string(bytes.size() / 1024) + " KiB");
    MP4DisposeHandle(in);
    MP4DisposeHandle(out);
}
BENCHMARK(ParseAndWriteBackInMemory)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Open the file, write it back to another file (a temporary file, flushed to disk and renamed).
void OpenAndWriteFile(benchmark::State& state)
{
    std::string input = Inputs::get().path(codecName(state.range(0)));
    if (input.empty()) {
        state.SkipWithError("ffmpeg could not make the input file");
        return;
    }
    std::string output = Inputs::get().output();
    for (auto _ : state) {
        MP4Movie movie = nullptr;
        if (MP4OpenMovieFile(&movie, input.c_str(), 0) != MP4Success
            || MP4WriteMovieToFile(movie, output.c_str()) != MP4Success) {
            state.SkipWithError("the movie could not be read or written");
            break;
        }
        MP4DisposeMovie(movie);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(fs::file_size(input)));
    state.SetLabel(codecName(state.range(0)));
}
BENCHMARK(OpenAndWriteFile)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The rewrite an exported file goes through: tags and gapless information in, file written back.
void TagRewrite(benchmark::State& state)
{
    std::string input = Inputs::get().path(codecName(state.range(0)));
    if (input.empty()) {
        state.SkipWithError("ffmpeg could not make the input file");
        return;
    }
    const MP4TagDictionary tags = {{"title", "A Title"}, {"artist", "An Artist"}, {"album", "An Album"},
        {"genre", "Ambient"}, {"copyright", "2024 Someone"}, {"comments", "a comment"}, {"encoder", "clipdeck"},
        {"year", "2024"}};
    const MP4PacketTableInfo packetTable{int64_t(180) * 44100, 2112, 0};
    std::string output = Inputs::get().output();
    for (auto _ : state) {
        if (MP4M4ATagWriter::writeM4ATags(tags, &packetTable, input, output) != MP4Success) {
            state.SkipWithError("the tags could not be written");
            break;
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(fs::file_size(input)));
    state.SetLabel(codecName(state.range(0)));
}
BENCHMARK(TagRewrite)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
