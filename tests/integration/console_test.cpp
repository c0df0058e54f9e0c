// The real console program, run as a process with a settings file of its own, against quarzo-sim on a
// pseudo-terminal and against ports nobody answers on.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>
#include <sstream>
#include <thread>

#include "engine/command_line.h"
#include "quarzo_version.h"
#include "support/elf_builder.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace quarzo {
namespace {

using testing::Child;
using testing::Outcome;
using testing::ReadFile;
using testing::RunShell;
using testing::WriteFile;
using Strings = std::vector<std::string>;

const char kHex[] = ":0400000001020304F2\r\n:00000001FF\r\n";
const char kHexSaved[] = "@0000\r\n01 02 03 04\r\nq\r\n";

class Console : public ::testing::Test {
protected:
    // The console program in the test's folder with its own settings file and stdin empty, after a
    // wrapper (another user, a limit, the environment); redirect says where its stdout and stderr go.
    std::string Command(const std::string& args, const std::string& redirect,
                        const std::string& wrapper = "") {
        return "cd '" + dir_.Path().string() + "' && QUARZO_INI='" + ini_ + "' exec " + wrapper + QUARZO_CLI +
               " " + args + " </dev/null " + redirect;
    }
    // Its exit status and stdout.
    Outcome Run(const std::string& args, const std::string& wrapper = "") {
        return RunShell(Command(args, "2>/dev/null", wrapper));
    }
    // Its exit status and stderr.
    Outcome Errors(const std::string& args) { return RunShell(Command(args, "2>&1 >/dev/null")); }
    // Started beside the test, its output read as it comes.
    std::unique_ptr<Child> Start(const std::string& args) {
        return std::make_unique<Child>(Command(args, "2>/dev/null"));
    }
    // Stops a run once it logged text, after a moment more; what it wrote.
    Outcome StopAfter(Child& run, const std::string& text, int ms) {
        EXPECT_NE(run.ReadUntil(text).find(text), std::string::npos);
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        run.Signal(SIGINT);
        return run.Wait();
    }
    Strings Lines(const std::string& out) { return testing::UnstampedLines(out); }
    std::string Last(const Outcome& o) { return Lines(o.out).empty() ? "" : Lines(o.out).back(); }
    std::string Sim(const std::string& args) {
        sim_ = std::make_unique<testing::SimProcess>(QUARZO_SIM, args, dir_.File("sim.out"));
        EXPECT_FALSE(sim_->DevicePath().empty());
        return sim_->DevicePath();
    }

    testing::TempDir dir_;
    std::string ini_ = dir_.File("quarzo.ini");
    std::string blink_ = std::string(QUARZO_SOURCE_DIR) + "/examples/blink.txt";
    std::unique_ptr<testing::SimProcess> sim_;
};

// The options that do one thing and end: the help (also for no arguments at all), the version, the
// device list, and the FET's firmware update, which only its own option runs.
TEST_F(Console, OptionsThatDoOneThing) {
    std::string help = Run("--help").out;
    EXPECT_EQ(help.rfind(kCommandLineHelp, 0), 0u);  // the window's help first
    EXPECT_NE(help.find("Settings file: " + ini_), std::string::npos) << help;
    Outcome none = Run("");
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.out, help);
    EXPECT_EQ(Run("--version").out, "quarzo " QUARZO_VERSION_TEXT "\n");
    Outcome devices = Run("--list-devices");
    EXPECT_NE(devices.out.find(" 7  MSP430F149               60KB+256B Flash, 2KB RAM\n"), std::string::npos);
    Outcome update = Run("--update-fet -FET=TIUSB", "env QUARZO_FETLIB='" FAKE_FET_CURRENT "' ");
    EXPECT_EQ(update.status, 0);
    EXPECT_EQ(Lines(update.out), (Strings{"Updating the FET's firmware...", "Firmware update complete."}));
}

// The console's own options stand anywhere, each with its value; the rest is the command line, in its
// order, wherever they stand among its tokens.
TEST_F(Console, OwnOptionsStandAnywhereWithTheirValues) {
    WriteFile(dir_.File("file.txt"), "@F000\r\n00 11 22\r\nq\r\n");
    for (size_t at = 0; at <= 4; ++at) {
        SCOPED_TRACE(at);
        auto lineWith = [at](const std::string& options) {
            Strings tokens = {"+ebpvf", "file.txt", "-pi", "-o out.txt"};
            tokens.insert(tokens.begin() + static_cast<std::ptrdiff_t>(at), options);
            std::string line;
            for (const std::string& token : tokens) line += token + " ";
            return line;
        };
        Outcome o = Run(lineWith("--set Adapter=3 --yes --settings"));
        EXPECT_EQ(o.status, 0) << o.out;
        EXPECT_NE(o.out.find("Application/Adapter = 3\n"), std::string::npos) << o.out;
        // The run's log follows the settings listing.
        Strings lines = Lines(o.out.substr(o.out.rfind('\n', o.out.find("Command line:")) + 1));
        EXPECT_EQ(lines[0], "Command line: +ebpvf file.txt -pi -o out.txt");
        EXPECT_NE(std::find(lines.begin(), lines.end(), "Blow fuse complete."), lines.end()) << o.out;
        EXPECT_TRUE(std::filesystem::exists(dir_.File("out.txt")));
        std::filesystem::remove(dir_.File("out.txt"));

        Outcome help = Run(lineWith("-h"));
        EXPECT_EQ(help.status, 0);
        EXPECT_EQ(help.out.rfind(kCommandLineHelp, 0), 0u);
        Outcome device = Errors(lineWith("--device MSP430F1"));
        EXPECT_EQ(device.status, 1);
        EXPECT_EQ(device.out, "quarzo: unknown device \"MSP430F1\" (--list-devices lists them)\n");
    }
}

TEST_F(Console, SettingsAreListedChangedForOneRunAndSavedOnlyWhenAsked) {
    WriteFile(ini_, "; mine\r\n[IF_BSL]\r\nRST delay=5\r\n");
    Outcome o = Run("--settings");
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out.rfind("Settings file: " + ini_ + "\n", 0), 0u) << o.out;
    for (const char* listed : {"IF_BSL/RST delay = 5\n    Additional reset pulse delay in milliseconds\n",
                               "Ports/COM8 = /dev/ttyS7\nPorts/LPT1 = /dev/parport0\n"}) {
        EXPECT_NE(o.out.find(listed), std::string::npos) << listed;
    }
    EXPECT_EQ(o.out.find("WinSize"), std::string::npos);  // not the user's to set here

    o = Run("--set \"rst delay=30\" --set IF_FET/Port=3 --set Ports/COM12=/dev/ttyUSB0 --settings");
    for (const char* listed : {"IF_BSL/RST delay = 30\n", "IF_FET/Port = 3\n",
                               "Ports/COM8 = /dev/ttyS7\nPorts/COM12 = /dev/ttyUSB0\n"}) {
        EXPECT_NE(o.out.find(listed), std::string::npos) << listed;
    }
    EXPECT_EQ(ReadFile(ini_), "; mine\r\n[IF_BSL]\r\nRST delay=5\r\n");  // a run without --save-settings

    o = Run("--set \"IF_BSL/RST invert=True\" --set Ports/com12=/dev/ttyUSB0 --save-settings");
    EXPECT_EQ(o.status, 0);
    std::string saved = ReadFile(ini_);
    EXPECT_EQ(saved.rfind("; mine\r\n[IF_BSL]\r\nRST delay=5\r\n", 0), 0u) << saved;
    EXPECT_NE(saved.find("RST invert=-1\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("[Ports]\r\nCOM12=/dev/ttyUSB0\r\n"), std::string::npos) << saved;

    // A value out of range in the file, written by hand, leaves the default.
    WriteFile(ini_, "[IF_FET]\r\nTarget VCC=5\r\n");
    EXPECT_NE(Run("--settings").out.find("IF_FET/Target VCC = 3.2\n"), std::string::npos);
}

// Each file is loaded as what it is (by its extension, or by its content where the extension says
// nothing) and saved under exactly the name given, or refused before anything runs; saving never loses
// the file that was there, whatever goes wrong. A file alone runs nothing and saves no settings.
TEST_F(Console, FilesAreLoadedAsWhatTheyAreAndSavedWithoutLoss) {
    WriteFile(dir_.File("file.txt"), "@F000\r\n00 11 22\r\nq\r\n");
    Outcome alone = Run("file.txt");
    EXPECT_EQ(alone.status, 0);
    EXPECT_EQ(Lines(alone.out),
              (Strings{"Command line: file.txt", "Loading TI TXT file \"file.txt\"...", "Load 3 bytes."}));
    EXPECT_FALSE(std::filesystem::exists(ini_));

    const std::string at1100 = "@1100\r\n01 02 03 04\r\nq\r\n";
    const struct {
        std::string file, content, format, saved;
    } cases[] = {
        {"in file.hex", kHex, "Intel HEX", kHexSaved},
        {"fw.ihex", ":0411000001020304E1\r\n:00000001FF\r\n", "Intel HEX", at1100},
        {"fw.ti", "\r\n@1100\r\n01 02 03 04\r\nq\r\n", "TI TXT", at1100},
        {"firmware", testing::ElfBuilder().Add(0x1100, {0x01, 0x02, 0x03, 0x04}).Build(), "ELF", at1100},
        {"blob.raw", std::string("\x01\x02", 2), "Binary", "@0000\r\n01 02\r\nq\r\n"},
    };
    for (const auto& c : cases) {
        WriteFile(dir_.File(c.file), c.content);
        Outcome o = Run("'" + c.file + "' -o out.txt");
        EXPECT_EQ(o.status, 0) << o.out;
        Strings lines = Lines(o.out);
        EXPECT_EQ(lines[1] == "Warning: Unknown file type. Load as binary.", c.format == "Binary");
        EXPECT_NE(
            std::find(lines.begin(), lines.end(), "Loading " + c.format + " file \"" + c.file + "\"..."),
            lines.end())
            << o.out;
        EXPECT_EQ(ReadFile(dir_.File("out.txt")), c.saved) << c.file;
    }
    // With the setting off, the extension alone decides.
    Outcome o = Run("--set \"Autodetect format=0\" fw.ihex -o out.txt");
    EXPECT_EQ(Lines(o.out)[1], "Warning: Unknown file type. Load as binary.");
    EXPECT_EQ(ReadFile(dir_.File("out.txt")).rfind("@0000\r\n3A 30 34 31", 0), 0u);

    // A folder that is a file: found before the run.
    WriteFile(dir_.File("old.txt"), "the old file");
    size_t entries = dir_.EntryCount();
    o = Run("+e fw.ti -o old.txt/out.txt");
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(Lines(o.out), (Strings{"Command line: +e fw.ti -o old.txt/out.txt",
                                     "Cannot write \"old.txt/out.txt\": Not a directory"}));
    EXPECT_EQ(dir_.EntryCount(), entries);  // nothing written under any name

    // A full disk, as a file size limit gives it: the old file stays as it was.
    WriteFile(dir_.File("big.bin"), std::string(0x8000, 'U'));
    o = Run("big.bin -o old.txt", "prlimit --fsize=8192 ");
    EXPECT_EQ(o.status, 4) << o.out;
    EXPECT_EQ(Last(o), "Save failed. I\\O Error.");
    EXPECT_EQ(ReadFile(dir_.File("old.txt")), "the old file");

    // Names with a leading dash (after -o), blanks and non-ASCII characters.
    for (std::string name : {"-dash.txt", "--dash.txt", "out file \xC3\xBC.txt"}) {
        o = Run("'in file.hex' -o '" + name + "'");
        EXPECT_EQ(o.status, 0) << o.out;
        EXPECT_EQ(ReadFile(dir_.File(name)), kHexSaved);
    }
}

// Runs refused, or failed at their first step, end with their exit status and a line that says why: the
// log's last, or for the console's own options the one on stderr. A failed run loses nothing.
TEST_F(Console, RefusalsAndFailuresSayWhy) {
    std::string pty = Sim("--load '" + blink_ + "'");
    int dead = posix_openpt(O_RDWR | O_NOCTTY);  // a port nobody answers on
    ASSERT_GE(dead, 0);
    grantpt(dead);
    unlockpt(dead);
    std::string nobody = ptsname(dead);
    WriteFile(ini_, "[Ports]\r\nCOM1=/dev/quarzo-no-such-port\r\n");
    WriteFile(dir_.File("in.hex"), kHex);
    WriteFile(dir_.File("notes.out"), "not a program");
    WriteFile(dir_.File("outside.txt"), "@0E00\r\n11 22\r\nq\r\n");
    WriteFile(dir_.File("old.txt"), "the old file");
    std::string plain = dir_.File("plain"), guarded = dir_.File("guarded");
    WriteFile(plain, "");
    WriteFile(guarded, "");
    std::filesystem::permissions(guarded, std::filesystem::perms::owner_read);
    std::filesystem::permissions(dir_.Path(), std::filesystem::perms::all);
    // Root may open anything: the permission case then runs as nobody.
    std::string asUser = geteuid() == 0 ? "setpriv --reuid=nobody --regid=nogroup --clear-groups " : "";
    const struct {
        std::string args;
        int status;
        std::string line;
        std::string wrapper = "";  // before the program
    } cases[] = {
        {"--set Port=3", 1,
         "quarzo: --set \"Port\" is in several sections: IF_RAW/Port, IF_FET/Port, IF_BSL/Port"},
        {"--set \"RST delay=abc\"", 1, "quarzo: --set IF_BSL/RST delay: \"abc\" is not a valid value"},
        {"--set Colour=red", 1, "quarzo: --set no setting \"Colour\" (--settings lists them)"},
        {"--set", 1, "quarzo: --set needs KEY=VALUE (try --help)"},
        // A value that converts but that no adapter can use.
        {"--set \"Target VCC=5\"", 1, "quarzo: --set IF_FET/Target VCC: \"5\" is not within 1.8 to 3.6"},
        {"--set Ports/COM0=/dev/ttyUSB0", 1,
         "quarzo: --set \"Ports/COM0\": the ports are Ports/COM1 to Ports/COM256 and Ports/LPT1 to "
         "Ports/LPT3, each set to a device"},
        {"--update-fet +e", 1, "quarzo: --update-fet takes only -FET=PORT"},
        {"+v '\"open'", 1, "open - Invalid argument. End quote \" not found"},
        {"+ebpv in.hex -o back", 1,
         "Unknown output file type \"back\": the extensions written are .hex, .a43, .txt, .bin, .tsk, .dat"},
        {"+r -BSL=" + pty, 1, "+r needs -o FILE: the console keeps what it reads only in a file"},
        {"notes.out -o never.txt", 1, "Load failed. Error: Not an MSP430 ELF file."},
        // A port that cannot be opened is named with the system's reason, and what helps where that is
        // known.
        {"+e -BSL=COM1", 4,
         "Init failed. Could not open port /dev/quarzo-no-such-port: No such file or directory."},
        {"+e -BSL=" + plain, 4,
         "Init failed. Could not open port " + plain + ": Inappropriate ioctl for device."},
        {"+e -BSL=" + guarded, 4,
         "Init failed. Could not open port " + guarded +
             ": Permission denied (the user needs to be in the dialout group).",
         asUser},
        {"+ebpv in.hex -BSL=" + nobody, 4,
         "Init failed. No answer from the loader on " + nobody +
             ": check the wiring and the supply, or try --detect."},
        // A locked chip says what opens it; an image beyond the part's memory is refused before the erase.
        {"+r -o old.txt -BSL=" + pty, 4,
         "Read failed. Protected function. Password not match: the chip opens with the firmware file it "
         "holds (its interrupt vectors are the password), or after an erase."},
        {"+ebpv outside.txt -BSL=" + pty, 4,
         "The image does not fit the MSP430F149 (Info 0x1000-0x10FF, Main 0x1100-0xFFFF): 0x0E00-0x0E01 lie "
         "outside. Nothing was changed."},
        // The fuse is blown only where the adapter can, and without a terminal only with --yes.
        {"--set Adapter=3 +f", 4, "Operation canceled by user"},
        {"+f -BSL=" + pty, 4, "Blow fuse failed. The adapter BSL(" + pty + ") cannot blow the fuse."},
    };
    for (const auto& c : cases) {
        bool own = c.line.rfind("quarzo: ", 0) == 0;
        Outcome o = own ? Errors(c.args) : Run(c.args, c.wrapper);
        EXPECT_EQ(o.status, c.status) << c.args;
        EXPECT_EQ(own ? o.out : Last(o) + "\n", c.line + "\n") << c.args;
    }
    // --detect tries every wiring in turn (half a minute in all), each line reaching a pipe as it happens.
    auto detect = Start("--detect -BSL=" + nobody);
    StopAfter(*detect, "RST invert off, TST invert off, RST delay 0 ms: no answer", 0);
    close(dead);

    // Neither the read of the locked chip nor the image beyond its memory changed anything: the chip
    // still opens with its program; only a good read replaces the file.
    EXPECT_EQ(ReadFile(dir_.File("old.txt")), "the old file");
    Outcome read = Run("+r '" + blink_ + "' -o old.txt -BSL=" + pty);
    EXPECT_EQ(read.status, 0) << read.out;
    EXPECT_EQ(ReadFile(dir_.File("old.txt")).rfind("@1100\r\n31 40 00 0A", 0), 0u);
}

// Ctrl+C ends a run with the break and no failure, and a stopped verify lists no ranges (it compared
// only part of the image); while a run goes on, a second program finds its port in use.
TEST_F(Console, StoppedRunsAndAPortInUse) {
    std::string pty = Sim("--pace");
    auto first = Start("+r -o first.txt -BSL=" + pty);
    ASSERT_NE(first->ReadUntil("Reading device memory..").find("Reading device memory.."), std::string::npos);
    Outcome second = Run("+e -BSL=" + pty);
    EXPECT_EQ(second.status, 4);
    EXPECT_EQ(Last(second),
              "Init failed. Could not open port " + pty + ": port in use (another program has it open).");
    // Stopped here to save the test the rest of a paced read; it was not disturbed.
    Outcome o = StopAfter(*first, "Reading device memory..", 0);
    EXPECT_EQ(o.status, 4);
    EXPECT_EQ(o.out.find("failed"), std::string::npos) << o.out;
    EXPECT_EQ(Last(o), "Break current operation...");

    std::string image = "@1100\r\n";
    for (int i = 0; i < 0xEF00; ++i) image += i % 16 == 15 ? "00\r\n" : "00 ";
    WriteFile(dir_.File("zeros.txt"), image + "q\r\n");
    auto verify = Start("+v zeros.txt -BSL=" + pty);
    // Several blocks have been compared, and differ, before the stop.
    o = StopAfter(*verify, "Verifying", 1500);
    EXPECT_EQ(o.status, 4);
    EXPECT_EQ(o.out.find("Differs at"), std::string::npos) << o.out;
    EXPECT_EQ(Last(o), "Break current operation...");
}

TEST_F(Console, SavedSettingsKeepTheAdapterAndThePortOfTheCommandLine) {
    std::string pty = Sim("");
    Outcome o = Run("--detect --save-settings -BSL=" + pty);
    EXPECT_EQ(o.status, 0) << o.out;
    std::string saved = ReadFile(ini_);
    for (const std::string& part :
         Strings{"Adapter=2\r\n", "[IF_BSL]\r\nPort=8\r\n", "[Ports]\r\nCOM9=" + pty + "\r\n"}) {
        EXPECT_NE(saved.find(part), std::string::npos) << part << saved;
    }
    // The next run needs no adapter option.
    o = Run("+ebpv '" + blink_ + "'");
    EXPECT_EQ(o.status, 0) << o.out;
    EXPECT_EQ(Last(o), "Verify complete.");
    // A device that a port name already stands for is kept as that name.
    o = Run("--save-settings +v '" + blink_ + "' -BSL=" + pty);
    EXPECT_EQ(o.status, 0) << o.out;
    EXPECT_EQ(ReadFile(ini_).find("COM10="), std::string::npos) << ReadFile(ini_);
    // A failed run saves nothing.
    o = Run("--save-settings --set \"RST delay=7\" +e -BSL=/dev/quarzo-no-such-port");
    EXPECT_EQ(o.status, 4);
    EXPECT_EQ(ReadFile(ini_).find("RST delay=7"), std::string::npos);
}

// The command examples of a document: the lines of the README's shell blocks that start with quarzo,
// or the bold lines of a manual page's EXAMPLES section, as a reader would type them.
Strings Examples(const std::string& document) {
    std::istringstream lines(ReadFile(std::string(QUARZO_SOURCE_DIR) + "/" + document));
    Strings commands;
    bool manual = document.find(".1") != std::string::npos, inside = false;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(manual ? ".SH" : "```", 0) == 0) inside = line == (manual ? ".SH EXAMPLES" : "```sh");
        if (!inside || line.rfind(manual ? ".B " : "quarzo", 0) != 0) continue;
        if (manual) line = line.substr(3);
        for (size_t at; manual && (at = line.find("\\-")) != std::string::npos;) line.erase(at, 1);
        commands.push_back(line);
    }
    return commands;
}

// Every example of the README and the manual pages runs as printed, in a folder with the files they
// name, against quarzo-sim: the serial and parallel devices they name are its link and its cable,
// COM1 stands for it, and the FET library is the fake one.
TEST_F(Console, EveryExampleOfTheDocumentsRuns) {
    std::string link = dir_.File("ttyUSB0"), cable = dir_.File("parport0");
    std::string pty = Sim("--link '" + link + "' --lpt '" + cable + "'");
    // quarzo-sim makes no link over a path that exists: neither over a file nor over another's link.
    WriteFile(dir_.File("mine"), "mine");
    for (const std::string& taken : {dir_.File("mine"), link}) {
        Outcome o =
            RunShell("timeout 10 " + std::string(QUARZO_SIM) + " --link '" + taken + "' 2>&1 </dev/null");
        EXPECT_EQ(o.status, 1);
        EXPECT_EQ(o.out, "quarzo-sim: cannot link \"" + taken +
                             "\": it exists; remove it first or choose another path\n");
    }
    EXPECT_EQ(ReadFile(dir_.File("mine")), "mine");
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), pty);
    for (const char* example : {"blink.txt", "blink-f2274.txt"}) {
        std::filesystem::copy_file(std::string(QUARZO_SOURCE_DIR) + "/examples/" + example,
                                   dir_.File(example));
    }
    // The blinking program's first words and its vectors (the password of the chip it goes into), as a
    // compiler would give them.
    std::vector<uint8_t> vectors;
    for (int i = 0; i < 15; ++i) vectors.insert(vectors.end(), {0x1C, 0x11});
    vectors.insert(vectors.end(), {0x00, 0x11});
    WriteFile(dir_.File("firmware.elf"),
              testing::ElfBuilder().Add(0x1100, {0x31, 0x40, 0x00, 0x0A}).Add(0xFFE0, vectors).Build());
    std::string bin = std::filesystem::path(QUARZO_CLI).parent_path().string();
    std::string sim = std::filesystem::path(QUARZO_SIM).parent_path().string();
    const std::string environment = "cd '" + dir_.Path().string() + "' && export PATH='" + bin + ":" + sim +
                                    ":'\"$PATH\" QUARZO_INI='" + ini_ + "' QUARZO_FETLIB='" + FAKE_FET + "'";
    size_t count = 0;
    for (const char* document : {"README.md", "doc/quarzo.1", "doc/quarzo-sim.1"}) {
        WriteFile(ini_, "[Ports]\r\nCOM1=" + link + "\r\n");
        std::string script = environment + "\ntrap 'kill $(jobs -p) 2>/dev/null || true' EXIT\nset -ex\n";
        for (std::string command : Examples(document)) {
            for (const auto& [printed, here] : {std::pair<std::string, std::string>{"/dev/ttyUSB0", link},
                                                {"/dev/parport0", cable},
                                                {"/tmp/cable", dir_.File("cable")}}) {
                for (size_t at; (at = command.find(printed)) != std::string::npos;)
                    command.replace(at, printed.size(), here);
            }
            script += command + " </dev/null\n";
            ++count;
        }
        WriteFile(dir_.File("examples.sh"), script + "echo all ran\n");
        Outcome o = RunShell("bash '" + dir_.File("examples.sh") + "' 2>&1");
        EXPECT_EQ(o.status, 0) << document << ":\n" << o.out;
        EXPECT_NE(o.out.find("all ran"), std::string::npos) << document << ":\n" << o.out;
    }
    EXPECT_EQ(count, 16u);
}

}  // namespace
}  // namespace quarzo
