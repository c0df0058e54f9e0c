#include "engine/command_line.h"

#include <gtest/gtest.h>

#include "adapters/adapter_set.h"
#include "engine/programmer.h"
#include "support/recording_log_sink.h"
#include "support/temp_dir.h"

namespace quarzo {
namespace {

using testing::RecordingLogSink;
using testing::TempDir;
using Strings = std::vector<std::string>;

Strings Tokens(const std::string& text, RecordingLogSink& sink, bool expected = true) {
    Strings tokens;
    EXPECT_EQ(TokenizeCommandLine(text, tokens, sink), expected) << text;
    return tokens;
}

CommandLinePlan Parse(const std::string& text) {
    RecordingLogSink sink;
    return ParseCommandLine(Tokens(text, sink));
}

TEST(Tokenizer, BlanksQuotesAndRefusals) {
    RecordingLogSink sink;
    EXPECT_EQ(Tokens("+v \"long name.hex\"  -BSL=COM1", sink), (Strings{"+v", "long name.hex", "-BSL=COM1"}));
    EXPECT_EQ(Tokens("a \"\" b", sink), (Strings{"a", "", "b"}));
    EXPECT_EQ(Tokens("ab\"cd \"x y\"z", sink), (Strings{"ab\"cd", "x y", "z"}));
    EXPECT_EQ(Tokens("\tf\xC3\xAFle\r\n", sink), (Strings{"f\xC3\xAFle"}));  // high bytes unquoted
    Tokens("   ", sink, false);
    EXPECT_TRUE(sink.Lines().empty());

    Tokens("+v \"long name.hex -BSL=COM1", sink, false);
    std::string many;
    for (int i = 0; i < kMaxCommandLineTokens; ++i) many += "t ";
    EXPECT_EQ(Tokens(many, sink).size(), 128u);
    Tokens(many + "one-more", sink, false);
    EXPECT_EQ(sink.Lines(), (Strings{"1 long name.hex -BSL=COM1 - Invalid argument. End quote \" not found",
                                     "1 Too many arguments"}));
}

TEST(ParseCommandLine, EachRejectionHasItsOneLine) {
    const struct {
        std::string text;
        std::string line;
    } cases[] = {
        {"+e -RAW=LPT9", "Invalid adapter option \"-RAW=LPT9\""},
        {"+e -x", "Unknown options \"-x\""},
        {"+", "Invalid action argument"},
        {"+eE", "Unknown action specifier 'E'"},
        {"a.txt b.txt", "Unknown argument - b.txt"},
        {"+pv", "Input filename not specified"},
        {"+r -o", "Output filename not specified"},
        // Written under exactly the name given, so a name whose format is unknown is refused.
        {"+r -o back.srec",
         "Unknown output file type \"back.srec\": the extensions written are .hex, .a43, .txt, "
         ".bin, .tsk, .dat"},
        {"+e -RAW", "Invalid adapter option \"-RAW\""},  // no value is no port name
        {"+e -BSL=COM0", "Invalid adapter option \"-BSL=COM0\""},
        {"+e -BSL=COM257", "Invalid adapter option \"-BSL=COM257\""},
        // Only one adapter option is taken; a second is an unknown option.
        {"+e -RAW=LPT2 -FET=TIUSB", "Unknown options \"-FET=TIUSB\""},
#ifndef _WIN32
        // A device path is absolute; a relative one is no port.
        {"+e -RAW=parport0", "Invalid adapter option \"-RAW=parport0\""},
        {"+e -BSL=ttyS0", "Invalid adapter option \"-BSL=ttyS0\""},
#endif
    };
    for (const auto& c : cases) {
        CommandLinePlan plan = Parse(c.text);
        EXPECT_FALSE(plan.accepted) << c.text;
        EXPECT_EQ(plan.rejection, c.line) << c.text;
    }
}

TEST(ParseCommandLine, ActionsFilesAndOptions) {
    CommandLinePlan plan = Parse("+vpbe \"my file.txt\" -pi -o out.hex");
    EXPECT_TRUE(plan.accepted);
    EXPECT_EQ(plan.actions, kActionErase | kActionBlankCheck | kActionProgram | kActionVerify);
    EXPECT_EQ(plan.file, "my file.txt");
    EXPECT_EQ(plan.outputFile, "out.hex");
    EXPECT_TRUE(plan.excludeInfo);
    EXPECT_FALSE(plan.adapter);

    plan = Parse("+rr");  // repeated letters are harmless; r needs no file
    EXPECT_TRUE(plan.accepted);
    EXPECT_EQ(plan.actions, kActionRead);
    EXPECT_FALSE(plan.file);

    plan = Parse("+e +b");  // a second "+" token is the file name
    EXPECT_EQ(plan.file, "+b");
    plan = Parse("\"\"");  // so is an empty one: loading it fails later
    EXPECT_EQ(plan.file, "");
}

TEST(ParseCommandLine, AdapterOptionsNameAKindAndAPort) {
    const struct {
        std::string text;
        AdapterKind kind;
        int port;
        std::string path;
    } cases[] = {
        {"+e -bsl=com3", kAdapterBsl, 2, ""},  // lower case is fine
        {"-RAW=LPTx", kAdapterRawJtag, 3, ""},
        {"-FET=TIUSB", kAdapterFetDll, 3, ""},
        {"-BSL=COM12", kAdapterBsl, 11, ""},
        {"-BSL=com256", kAdapterBsl, 255, ""},
#ifndef _WIN32
        {"-BSL=/dev/quarzo-tty", kAdapterBsl, 0, "/dev/quarzo-tty"},
        {"-FET=/dev/ttyACM0", kAdapterFetDll, 0, "/dev/ttyACM0"},
        {"-RAW=/tmp/cable.sock", kAdapterRawJtag, 0, "/tmp/cable.sock"},
#endif
    };
    for (const auto& c : cases) {
        CommandLinePlan plan = Parse(c.text);
        EXPECT_TRUE(plan.accepted) << c.text;
        EXPECT_EQ(plan.adapter, c.kind) << c.text;
        EXPECT_EQ(plan.portIndex, c.port) << c.text;
        EXPECT_EQ(plan.devicePath, c.path) << c.text;
    }
}

// Command lines carried out by a Programmer with its adapters.
class CommandLineRun : public ::testing::Test {
protected:
    CommandLineRun() {
        programmer_.SetSink(&sink_);
        programmer_.SelectAdapter(kAdapterNull);
        testing::WriteFile(dir_.File("file.txt"), "@F000\r\n00 11 22\r\nq\r\n");
    }
    RunResult RunLine(const std::string& text) {
        sink_.Clear();
        if (!programmer_.StartCommandLine(text.c_str())) return -1;
        return programmer_.WaitForRun();
    }
    std::string File(const std::string& name) { return "\"" + dir_.File(name) + "\""; }

    TempDir dir_;
    RecordingLogSink sink_;
    AdapterSet adapters_;
    Programmer programmer_{adapters_.List()};
};

TEST_F(CommandLineRun, TheAdapterOptionSetsThePortAndSelectsAfterTheLoad) {
    adapters_.bsl.portPaths[2] = "/dev/quarzo-no-such-port";
    EXPECT_EQ(RunLine("+e -bsl=com3"), kRunActionFailed);  // the port cannot open here
    EXPECT_EQ(programmer_.Kind(), kAdapterBsl);
    EXPECT_EQ(adapters_.bsl.PortIndex(), 2u);
#ifndef _WIN32  // Windows opens COM3 itself (under Wine it may even exist)
    EXPECT_EQ(sink_.Lines().back().rfind("1 Init failed. Could not open port /dev/quarzo-no-such-port: ", 0),
              0u);
    // A device path names the serial port for this run; a COM name afterwards forgets it.
    EXPECT_EQ(RunLine("+e -BSL=/dev/quarzo-no-such-tty"), kRunActionFailed);
    char name[Adapter::kNameSize];
    adapters_.bsl.GetName(name);
    EXPECT_STREQ(name, "BSL(/dev/quarzo-no-such-tty)");
    EXPECT_EQ(adapters_.bsl.PortIndex(), 2u);
    EXPECT_EQ(RunLine("+e -BSL=COM3"), kRunActionFailed);
    EXPECT_EQ(adapters_.bsl.devicePath, "");
#endif

    // A load failure or a fault after the adapter option leaves the adapter as it was, but the port index
    // is already stored.
    programmer_.SelectAdapter(kAdapterNull);
    EXPECT_EQ(RunLine("missing.hex -FET=LPT2"), kRunCommandLineRejected);
    EXPECT_EQ(programmer_.Kind(), kAdapterNull);
    EXPECT_EQ(adapters_.fetDll.portIndex, 1u);
    EXPECT_EQ(RunLine("-RAW=LPT3 -x"), kRunCommandLineRejected);
    char rawName[Adapter::kNameSize];
    adapters_.rawJtag.GetName(rawName);
    EXPECT_STREQ(rawName, "FET RAW (LPT3)");
}

TEST_F(CommandLineRun, OutputFileIsWrittenOnlyAfterSuccess) {
    EXPECT_EQ(RunLine(File("file.txt") + " -pi -o " + File("out.hex")), kRunComplete);
    EXPECT_EQ(testing::ReadFile(dir_.File("out.hex")), ":04F00000001122FFDA\r\n:00000001FF\r\n");
    EXPECT_EQ(sink_.Lines().back(), "0 Save complete.");
    EXPECT_FALSE(programmer_.includeInfo);

    adapters_.bsl.portPaths[0] = "/dev/quarzo-no-such-port";
    EXPECT_EQ(RunLine("+b -O " + File("never.txt") + " " + File("file.txt") + " -BSL=COM1"),
              kRunActionFailed);
    EXPECT_FALSE(std::filesystem::exists(dir_.File("never.txt")));

    // A file that cannot be written is found before the run, and nothing is loaded.
    EXPECT_EQ(RunLine(File("file.txt") + " -o " + File("no/such/dir.txt")), kRunCommandLineRejected);
    EXPECT_EQ(sink_.Lines().back(),
              "1 Cannot write \"" + dir_.File("no/such/dir.txt") + "\": No such file or directory");
}

}  // namespace
}  // namespace quarzo
