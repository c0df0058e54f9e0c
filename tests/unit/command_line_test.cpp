#include "engine/command_line.h"

#include <gtest/gtest.h>

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

TEST(Tokenizer, BlanksQuotesAndEmptyQuotes) {
    RecordingLogSink sink;
    EXPECT_EQ(Tokens("+v \"long name.hex\"  -BSL=COM1", sink), (Strings{"+v", "long name.hex", "-BSL=COM1"}));
    EXPECT_EQ(Tokens("a \"\" b", sink), (Strings{"a", "", "b"}));
    EXPECT_EQ(Tokens("ab\"cd \"x y\"z", sink), (Strings{"ab\"cd", "x y", "z"}));
    EXPECT_EQ(Tokens("\tfile\r\n", sink), (Strings{"file"}));
    EXPECT_EQ(Tokens("f\xC3\xAFle.hex +p", sink), (Strings{"f\xC3\xAFle.hex", "+p"}));  // high bytes unquoted
    Tokens("", sink, false);
    Tokens("   ", sink, false);
    EXPECT_TRUE(sink.Lines().empty());
}

TEST(Tokenizer, OpenQuoteAndTooManyTokensAreRefusedWithOneLine) {
    RecordingLogSink sink;
    Tokens("+v \"long name.hex -BSL=COM1", sink, false);
    EXPECT_EQ(sink.Lines(),
              (Strings{"1 long name.hex -BSL=COM1 - Invalid argument. End quote \" not found"}));

    sink.Clear();
    std::string many;
    for (int i = 0; i < Programmer::kMaxArguments; ++i) many += "t ";
    EXPECT_EQ(Tokens(many, sink).size(), 128u);
    Tokens(many + "one-more", sink, false);
    EXPECT_EQ(sink.Lines(), (Strings{"1 Too many arguments"}));
}

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
    Programmer programmer_;
};

TEST_F(CommandLineRun, EachRejectionHasItsOneLine) {
    const struct {
        std::string text;
        std::string line;
    } cases[] = {
        {"+e -RAW=LPT9", "1 Invalid adapter option \"-RAW=LPT9\""},
        {"+e -x", "1 Unknown options \"-x\""},
        {"+", "1 Invalid action argument"},
        {"+eE", "1 Unknown action specifier 'E'"},
        {"a.txt b.txt", "1 Unknown argument - b.txt"},
        {"+pv", "1 Input filename not specified"},
        {"+r -o", "1 Output filename not specified"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RunLine(c.text), kRunCommandLineRejected) << c.text;
        EXPECT_EQ(sink_.Lines(), Strings{c.line}) << c.text;
    }
}

TEST_F(CommandLineRun, AFileAloneLoadsAndRunsNothing) {
    EXPECT_EQ(RunLine(File("file.txt")), kRunComplete);
    EXPECT_EQ(sink_.Lines(),
              (Strings{"0 Loading TI TXT file \"" + dir_.File("file.txt") + "\"...", "0 Load 3 bytes."}));
    EXPECT_EQ(sink_.Events().back(), "end");
}

TEST_F(CommandLineRun, ActionsRunInTheirOwnOrderWhateverTheLetters) {
    EXPECT_EQ(RunLine("+vpbe " + File("file.txt")), kRunComplete);
    Strings lines = sink_.Lines();
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(lines[2], "0 Initialize...");
    EXPECT_EQ(lines[5], "0 Erase complete.");
    EXPECT_EQ(lines.back(), "0 Verify complete.");
    EXPECT_EQ(RunLine("+rr"), kRunComplete);  // repeated letters are harmless; r needs no file
    EXPECT_EQ(sink_.Lines().back(), "0 Read complete.");
}

TEST_F(CommandLineRun, AdapterOptionsSelectAndSetThePort) {
    programmer_.Bsl().portPaths[2] = "/dev/quarzo-no-such-port";
    EXPECT_EQ(RunLine("+e -bsl=com3"), kRunActionFailed);  // lower case is fine; the port cannot open here
    EXPECT_EQ(programmer_.Kind(), kAdapterBsl);
    EXPECT_EQ(programmer_.Bsl().link.portIndex, 2u);
    EXPECT_EQ(sink_.Lines().back(), "1 Init failed. Could not open port.");

    EXPECT_EQ(RunLine("+ebpv " + File("file.txt") + " -RAW=LPTx"), kRunActionFailed);
    EXPECT_EQ(programmer_.Kind(), kAdapterRawJtag);
    EXPECT_EQ(programmer_.RawJtag().portIndex, 3);

    // Only one adapter option is taken; a second is an unknown option.
    EXPECT_EQ(RunLine("+e -RAW=LPT2 -FET=TIUSB"), kRunCommandLineRejected);
    EXPECT_EQ(sink_.Lines(), Strings{"1 Unknown options \"-FET=TIUSB\""});
    EXPECT_EQ(programmer_.RawJtag().portIndex, 1);
    EXPECT_EQ(programmer_.FetDll().portIndex, 0u);

#ifndef _WIN32
    // A device path names the serial port for this run; a COM name afterwards forgets it.
    EXPECT_EQ(RunLine("+e -BSL=/dev/quarzo-no-such-tty"), kRunActionFailed);
    EXPECT_EQ(programmer_.Bsl().devicePath, "/dev/quarzo-no-such-tty");
    char name[Adapter::kNameSize];
    programmer_.Bsl().GetName(name);
    EXPECT_STREQ(name, "BSL(/dev/quarzo-no-such-tty)");
    EXPECT_EQ(RunLine("+e -BSL=COM3"), kRunActionFailed);
    EXPECT_EQ(programmer_.Bsl().devicePath, "");
    // Only the serial loader takes a path; a relative one is no port name either.
    EXPECT_EQ(RunLine("+e -RAW=/dev/parport0"), kRunCommandLineRejected);
    EXPECT_EQ(RunLine("+e -BSL=ttyS0"), kRunCommandLineRejected);
    EXPECT_EQ(sink_.Lines(), Strings{"1 Invalid adapter option \"-BSL=ttyS0\""});
    // The vendor's Linux library takes a device path for its port name too.
    RunLine("+e -FET=/dev/ttyACM0");
    EXPECT_EQ(programmer_.Kind(), kAdapterFetDll);
    EXPECT_EQ(programmer_.FetDll().devicePath, "/dev/ttyACM0");
#endif

    // A load failure leaves the adapter as it was, but the port index is already stored.
    programmer_.SelectAdapter(kAdapterNull);
    EXPECT_EQ(RunLine("missing.hex -FET=LPT2"), kRunCommandLineRejected);
    EXPECT_EQ(programmer_.Kind(), kAdapterNull);
    EXPECT_EQ(programmer_.FetDll().portIndex, 1u);
}

TEST_F(CommandLineRun, PiLeavesOutInformationMemory) {
    EXPECT_EQ(RunLine("+e -pi"), kRunComplete);
    EXPECT_FALSE(programmer_.includeInfo);
}

TEST_F(CommandLineRun, ASecondPlusTokenIsReadAsAFile) {
    EXPECT_EQ(RunLine("+e +b"), kRunCommandLineRejected);
    EXPECT_EQ(sink_.Lines().back(), "1 Load failed. Error: Can't open file.");
}

TEST_F(CommandLineRun, OutputFileIsWrittenOnlyAfterSuccess) {
    EXPECT_EQ(RunLine(File("file.txt") + " -o " + File("out.hex")), kRunComplete);
    EXPECT_EQ(testing::ReadFile(dir_.File("out.hex")), ":04F00000001122FFDA\r\n:00000001FF\r\n");
    EXPECT_EQ(sink_.Lines().back(), "0 Save complete.");

    EXPECT_EQ(RunLine("+b -O " + File("never.txt") + " " + File("file.txt") + " -BSL=COM1"),
              kRunActionFailed);
    EXPECT_FALSE(std::filesystem::exists(dir_.File("never.txt")));

    EXPECT_EQ(RunLine(File("file.txt") + " -o " + File("no/such/dir.txt")), kRunActionFailed);
    EXPECT_EQ(sink_.Lines().back(), "1 Save failed. Can't open file.");
}

TEST(CommandLineHelp, HasTheUsageAndExamples) {
    std::string help = kCommandLineHelp;
    EXPECT_EQ(help.rfind("Usage:  quarzo {+<action>} [sourcefile] [<options>]\n\n", 0), 0u);
    EXPECT_NE(help.find("   quarzo +v \"long filename.hex\" -RAW=LPT2\n"), std::string::npos);
    EXPECT_EQ(help.substr(help.size() - 33), "  quarzo +r \"psw.txt\" -BSL=COM1\n\n");
    EXPECT_EQ(std::count(help.begin(), help.end(), '\n'), 32);
}

}  // namespace
}  // namespace quarzo
