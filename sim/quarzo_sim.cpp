// quarzo-sim: a virtual MSP430 whose bootstrap loader answers on a pseudo-terminal, and whose JTAG port
// can be reached through a virtual parallel-port cable on a Unix socket.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "core/file_format.h"
#include "core/firmware_file.h"
#include "core/memory_image.h"
#include "sim/jtag_target.h"
#include "sim/lpt_server.h"
#include "sim/pyrel_device.h"
#include "sim/pty_server.h"
#include "sim/rom_bsl.h"
#include "sim/sim_device.h"

namespace {

std::atomic<bool> gStop{false};

void OnSignal(int) {
    gStop.store(true);
}

const char kUsage[] =
    "Usage: quarzo-sim [options]\n"
    "Serves a virtual MSP430's bootstrap loader on a pseudo-terminal; the first line printed is its path.\n"
    "  --device NAME        device to simulate (default MSP430F149)\n"
    "  --bsl-version X.YY   loader version: 1.10, 1.30, 1.40, 1.60, 1.61 or 2.xx (default: the part's\n"
    "                       own; a part without a loader ROM does not answer on the line)\n"
    "  --load FILE          initial flash contents (Intel HEX, TI TXT or binary)\n"
    "  --state FILE         memory loaded at start when the file exists and written at exit; a blown\n"
    "                       fuse is kept in FILE.fuse\n"
    "  --link PATH          a symbolic link to the pseudo-terminal\n"
    "  --lpt PATH           also serve the chip's JTAG port as a parallel-port cable on a Unix socket\n"
    "  --pyrel              a fuse-blow device on that cable\n"
    "  --pyrel-id HEX       its identification bytes: hardware, software, date, serial (default 1234650A)\n"
    "  --trace FILE         every frame received and every answer, in hex, and the time the target\n"
    "                       works before answering (BUSY microseconds); JTAG instruction and data\n"
    "                       shifts as \"IR nn\" and \"DR in out\"\n"
    "  --vacant-word HEX    what reading memory the part does not have returns (default 3FFF)\n"
    "  --pace               time the answers like a real line at the loader's speed\n";

struct Options {
    std::string device = "MSP430F149";
    std::string version;  // empty: the part's own loader
    std::string load, state, link, trace, lpt;
    std::string vacant = "3FFF";
    std::string pyrelId = "1234650A";
    bool pace = false;
    bool pyrel = false;
};

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](std::string& to) {
            if (i + 1 >= argc) return false;
            to = argv[++i];
            return true;
        };
        bool ok = true;
        if (arg == "--device")
            ok = value(o.device);
        else if (arg == "--bsl-version")
            ok = value(o.version);
        else if (arg == "--load")
            ok = value(o.load);
        else if (arg == "--state")
            ok = value(o.state);
        else if (arg == "--link")
            ok = value(o.link);
        else if (arg == "--trace")
            ok = value(o.trace);
        else if (arg == "--lpt")
            ok = value(o.lpt);
        else if (arg == "--pyrel")
            o.pyrel = true;
        else if (arg == "--pyrel-id")
            ok = value(o.pyrelId) && o.pyrelId.size() == 8 &&
                 o.pyrelId.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
        else if (arg == "--vacant-word")
            ok = value(o.vacant) && !o.vacant.empty() && o.vacant.size() <= 4 &&
                 o.vacant.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
        else if (arg == "--pace")
            o.pace = true;
        else
            ok = false;
        if (!ok) {
            std::fprintf(stderr, "quarzo-sim: bad option \"%s\"\n%s", arg.c_str(), kUsage);
            return false;
        }
    }
    return true;
}

bool LoadInto(quarzo::sim::SimDevice& device, const std::string& path) {
    quarzo::MemoryImage image;
    quarzo::FirmwareFile file(image);
    int format = quarzo::FormatFromExtension(path);
    if (file.Load(path, format == quarzo::kFormatUnknown ? quarzo::kFormatTiTxt : format) <= 0) {
        std::fprintf(stderr, "quarzo-sim: cannot load \"%s\" (error %d)\n", path.c_str(), file.TakeError());
        return false;
    }
    device.LoadImage(image);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace quarzo::sim;
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    Options o;
    if (!ParseOptions(argc, argv, o)) return 2;
    const SimPart* part = FindSimPart(o.device);
    BslBehaviour behaviour;
    if (part == nullptr) {
        std::fprintf(stderr, "quarzo-sim: unknown device \"%s\"; known devices: %s\n", o.device.c_str(),
                     SimPartNames().c_str());
        return 2;
    }
    if (o.version.empty() && part->bslVersion == 0) {
        behaviour.version = 0;
        behaviour.present = false;
        std::fprintf(stderr,
                     "quarzo-sim: the %s has no bootstrap loader: nothing answers on the serial line "
                     "(--bsl-version gives it one)\n",
                     part->name);
    } else if (o.version.empty()) {
        char name[24];
        std::snprintf(name, sizeof(name), "%x.%02x", part->bslVersion >> 8, part->bslVersion & 0xFF);
        o.version = name;
    }
    if (behaviour.present && !BehaviourForVersion(o.version, behaviour)) {
        std::fprintf(stderr, "quarzo-sim: unknown loader version \"%s\"\n", o.version.c_str());
        return 2;
    }
    SimDevice device(*part, behaviour.version);
    device.SetVacantWord(static_cast<uint16_t>(std::stoul(o.vacant, nullptr, 16)));
    if (!o.state.empty() && access(o.state.c_str(), F_OK) == 0 && !LoadInto(device, o.state)) return 1;
    if (!o.load.empty() && !LoadInto(device, o.load)) return 1;

    RomBsl target(device, behaviour);
    FILE* trace = nullptr;
    if (!o.trace.empty()) {
        trace = std::fopen(o.trace.c_str(), "w");
        if (!trace) {
            std::fprintf(stderr, "quarzo-sim: cannot write \"%s\"\n", o.trace.c_str());
            return 1;
        }
        target.trace = [trace](const char* direction, const std::vector<uint8_t>& bytes) {
            std::fputs(direction, trace);
            for (uint8_t b : bytes) std::fprintf(trace, " %02X", b);
            std::fputc('\n', trace);
            std::fflush(trace);
        };
        target.onBusy = [trace](uint32_t busyUs) { std::fprintf(trace, "BUSY %u\n", busyUs); };
    }

    std::mutex chipLock;
    JtagTarget jtag(device);
    jtag.Unplug();  // powered from elsewhere until a cable client drives the supply
    PyrelDevice pyrel;
    if (o.pyrel) {
        for (size_t i = 0; i < pyrel.identification.size(); ++i)
            pyrel.identification[i] = static_cast<uint8_t>(std::stoul(o.pyrelId.substr(2 * i, 2), nullptr, 16));
        jtag.pyrel = &pyrel;
    }
    const std::string fuseFile = o.state.empty() ? "" : o.state + ".fuse";
    if (!fuseFile.empty() && access(fuseFile.c_str(), F_OK) == 0) jtag.fuseBlown = true;
    if (trace) {
        jtag.trace = [trace](const std::string& line) {
            std::fprintf(trace, "%s\n", line.c_str());
        };
        target.Cpu().Flash().trace = jtag.trace;
    }
    LptServer lptServer(jtag, chipLock);
    if (!o.lpt.empty() && !lptServer.Create(o.lpt)) return 1;

    PtyServer server(target);
    server.SetChipLock(&chipLock);
    if (!server.Create()) return 1;
    server.SetPace(o.pace);
    if (!o.link.empty()) {
        // Never over something that is there: it may be another simulator's link, or a real device,
        // and the link is deleted at exit. symlink() itself refuses an existing path (EEXIST).
        if (symlink(server.DevicePath().c_str(), o.link.c_str()) != 0) {
            int error = errno;
            std::fprintf(
                stderr, "quarzo-sim: cannot link \"%s\": %s\n", o.link.c_str(),
                error == EEXIST ? "it exists; remove it first or choose another path" : std::strerror(error));
            return 1;
        }
    }
    std::printf("%s\n", server.DevicePath().c_str());
    std::fflush(stdout);

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::thread cable;
    if (!o.lpt.empty()) cable = std::thread([&] { lptServer.Serve(gStop); });
    server.Serve(gStop);
    gStop.store(true);
    if (cable.joinable()) cable.join();

    // Every flash operation the chip saw, through the cable or by its own code.
    FlashController* flashes[] = {&jtag.Flash(), &target.Cpu().Flash()};
    uint32_t operations = 0, outside = 0, incomplete = 0;
    for (FlashController* f : flashes) {
        f->Conclude();
        operations += f->operations;
        outside += f->outOfRangeOperations;
        incomplete += f->incompleteOperations;
    }
    std::fprintf(stderr, "flash clock: %u operations, %u outside 257-476 kHz\n", operations, outside);
    std::fprintf(stderr, "flash incomplete: %u operations\n", incomplete);

    int status = 0;
    if (!o.link.empty()) unlink(o.link.c_str());
    if (!o.state.empty()) {
        quarzo::MemoryImage image;
        device.StoreFlash(image);
        quarzo::FirmwareFile file(image);
        int format = quarzo::FormatFromExtension(o.state);
        if (file.Save(o.state, format == quarzo::kFormatUnknown ? quarzo::kFormatTiTxt : format) <= 0) {
            std::fprintf(stderr, "quarzo-sim: cannot save \"%s\"\n", o.state.c_str());
            status = 1;
        }
    }
    if (!fuseFile.empty()) {
        // The fuse stays blown for the next run; a chip whose fuse is whole leaves no file.
        if (jtag.fuseBlown) {
            FILE* f = std::fopen(fuseFile.c_str(), "w");
            bool saved = f != nullptr && std::fputs("blown\n", f) >= 0;
            if (f != nullptr && std::fclose(f) != 0) saved = false;
            if (!saved) {
                std::fprintf(stderr, "quarzo-sim: cannot save \"%s\"\n", fuseFile.c_str());
                status = 1;
            }
        } else {
            unlink(fuseFile.c_str());
        }
    }
    if (trace) std::fclose(trace);
    return status;
}
