#include "engine/command_line.h"

#include <gtest/gtest.h>

#include "support/recording_log_sink.h"

namespace quarzo {
namespace {

using testing::RecordingLogSink;
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
    Tokens("   ", sink, false);                                              // refused without a line
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

// A whole line with its file, -pi and -o is run by the programmer's and the console's tests.
TEST(ParseCommandLine, ActionsFilesAndOptions) {
    CommandLinePlan plan = Parse("+rr");  // repeated letters are harmless; r needs no file
    EXPECT_TRUE(plan.accepted);
    EXPECT_EQ(plan.actions, kActionRead);
    EXPECT_FALSE(plan.file);
    EXPECT_FALSE(plan.adapter);

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
        {"-RAW=LPTx", kAdapterRawJtag, 3, ""},
        {"-BSL=COM12", kAdapterBsl, 11, ""},
        {"-BSL=com256", kAdapterBsl, 255, ""},  // lower case is fine
#ifndef _WIN32
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

}  // namespace
}  // namespace quarzo
