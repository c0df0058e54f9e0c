// Loading and saving a full image in each format, and the same conversion by srec_cat for comparison.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/file_format.h"
#include "core/firmware_file.h"

namespace {

using namespace quarzo;

constexpr uint32_t kImageBytes = MemoryImage::kEntryCount;

std::string BenchFile(int format) {
    static const std::string dir = [] {
        auto d = std::filesystem::temp_directory_path() / "quarzo-bench";
        std::filesystem::create_directories(d);
        return d.string();
    }();
    return dir + "/full." + SaveExtension(format);
}

void FillImage(MemoryImage& image) {
    uint32_t x = 12345;
    for (uint32_t a = 0; a < kImageBytes; ++a) {
        x = x * 1103515245 + 12345;
        image.SetByte(a, static_cast<uint8_t>(x >> 16));
    }
}

void WriteBenchFiles() {
    MemoryImage image;
    FillImage(image);
    FirmwareFile file(image);
    for (int format : {kFormatBinary, kFormatIntelHex, kFormatTiTxt}) file.Save(BenchFile(format), format);
}

void BM_Load(benchmark::State& state) {
    int format = static_cast<int>(state.range(0));
    MemoryImage image;
    FirmwareFile file(image);
    for (auto _ : state) {
        if (file.Load(BenchFile(format), format) != static_cast<int>(kImageBytes))
            state.SkipWithError("load failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kImageBytes);
    state.SetLabel(FormatName(format));
}

// A TI TXT file of the given size from 0x10000 down (a 60 KB firmware from 0x1000) as compilers write
// it: rows of 16 bytes under one "@" line. Written here rather than by the saver, so that the file does
// not depend on what the image holds.
std::string TiTxtFile(uint32_t size) {
    std::string path = BenchFile(kFormatTiTxt) + "." + std::to_string(size);
    uint32_t start = size < 0x10000 ? 0x10000 - size : 0;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fprintf(f, start > 0xFFFF ? "@%05X\r\n" : "@%04X\r\n", start);
    uint32_t x = 12345;
    for (uint32_t i = 0; i < size; ++i) {
        x = x * 1103515245 + 12345;
        std::fprintf(f, (i % 16 == 15 || i + 1 == size) ? "%02X\r\n" : "%02X ", (x >> 16) & 0xFF);
    }
    std::fputs("q\r\n", f);
    std::fclose(f);
    return path;
}

void BM_LoadTiTxtSize(benchmark::State& state) {
    uint32_t size = static_cast<uint32_t>(state.range(0));
    std::string path = TiTxtFile(size);
    MemoryImage image;
    FirmwareFile file(image);
    for (auto _ : state) {
        if (file.Load(path, kFormatTiTxt) <= 0) state.SkipWithError("load failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * size);
}

void BM_Save(benchmark::State& state) {
    int format = static_cast<int>(state.range(0));
    MemoryImage image;
    FillImage(image);
    FirmwareFile file(image);
    std::string path = BenchFile(format) + ".out";
    for (auto _ : state) {
        if (file.Save(path, format) <= 0) state.SkipWithError("save failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kImageBytes);
    state.SetLabel(FormatName(format));
}

// The walk over the present bytes that the fit check and a load's report of bytes beyond the part
// make: a full image (arg 1) and a 60 KB firmware in the 1 MB space (arg 0).
void BM_PresentBytes(benchmark::State& state) {
    MemoryImage image;
    if (state.range(0) != 0) FillImage(image);
    for (uint32_t a = 0x1100; a <= 0xFFFF; ++a) image.SetByte(a, 0x3F);
    for (auto _ : state) benchmark::DoNotOptimize(image.PresentBytes(0, kImageBytes - 1));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kImageBytes);
}

BENCHMARK(BM_PresentBytes)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Load)
    ->Arg(kFormatBinary)
    ->Arg(kFormatIntelHex)
    ->Arg(kFormatTiTxt)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadTiTxtSize)->Arg(60 * 1024)->Arg(1024 * 1024)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Save)
    ->Arg(kFormatBinary)
    ->Arg(kFormatIntelHex)
    ->Arg(kFormatTiTxt)
    ->Unit(benchmark::kMillisecond);

template <typename F>
double AverageSeconds(int repeats, F&& f) {
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < repeats; ++i) f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() / repeats;
}

// One load and one save of the same format (what "srec_cat in -fmt -o out -fmt" does), compared.
void CompareWithSrecCat() {
    const struct {
        int format;
        const char* srecName;
    } formats[] = {{kFormatBinary, "-binary"}, {kFormatIntelHex, "-intel"}, {kFormatTiTxt, "-ti-txt"}};
    std::printf("\nConversion of a full %u-byte image (load + save), against srec_cat:\n", kImageBytes);
    std::printf("%-10s %12s %12s %12s %8s\n", "format", "quarzo ms", "MB/s", "srec_cat ms", "ratio");
    for (const auto& f : formats) {
        MemoryImage image;
        FirmwareFile file(image);
        std::string in = BenchFile(f.format);
        double ours = AverageSeconds(20, [&] {
            file.Load(in, f.format);
            file.Save(in + ".conv", f.format);
        });
        std::string command = "srec_cat " + in + " " + f.srecName + " -o " + in + ".srec " + f.srecName;
        if (f.format == kFormatIntelHex) command += " -address-length=4";
        bool ok = true;
        double theirs = AverageSeconds(5, [&] { ok = ok && std::system(command.c_str()) == 0; });
        if (!ok) {
            std::printf("%-10s srec_cat failed: %s\n", FormatName(f.format), command.c_str());
            continue;
        }
        std::printf("%-10s %12.2f %12.1f %12.2f %7.1fx\n", FormatName(f.format), ours * 1e3,
                    2.0 * kImageBytes / ours / 1e6, theirs * 1e3, theirs / ours);
    }
}

}  // namespace

int main(int argc, char** argv) {
    WriteBenchFiles();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    CompareWithSrecCat();
    return 0;
}
