// The parallel port on Linux: which path fails and why, and the virtual-cable protocol on a real socket.
#include "platform/port_io.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <thread>

#include "support/temp_dir.h"

namespace quarzo {
namespace {

using platform::MakeParallelPortIo;

TEST(ParallelPortIo, SaysWhichPathFailedAndWhy) {
    testing::TempDir dir;
    auto port = MakeParallelPortIo();
    EXPECT_FALSE(port->OpenDriver());  // nothing chosen yet: nothing opened
    EXPECT_EQ(port->ReadPort(0x379), 0xFFu);

    port->Select(0x378, dir.File("missing"));
    EXPECT_FALSE(port->OpenDriver());
    EXPECT_EQ(port->FailureReason(), dir.File("missing") + ": No such file or directory");

    std::ofstream(dir.File("plain")) << "x";
    port->Select(0x378, dir.File("plain"));
    EXPECT_FALSE(port->OpenDriver());
    EXPECT_EQ(port->FailureReason(), dir.File("plain") + ": not a parallel-port device or socket");

    // A character device that is no parallel port cannot be claimed.
    port->Select(0x378, "/dev/null");
    EXPECT_FALSE(port->OpenDriver());
    EXPECT_EQ(port->FailureReason().rfind("/dev/null (claiming the port): ", 0), 0u) << port->FailureReason();
    EXPECT_FALSE(port->Ready());
    EXPECT_FALSE(port->WritePort(0x378, 1));
}

TEST(ParallelPortIo, SpeaksTheCableProtocolOnASocket) {
    testing::TempDir dir;
    std::string path = dir.File("cable");
    int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ASSERT_EQ(listen(listener, 1), 0);

    std::vector<uint8_t> received;
    std::thread far([&] {
        int client = accept(listener, nullptr, nullptr);
        received.resize(36);
        received.resize(
            static_cast<size_t>(std::max<ssize_t>(0, recv(client, received.data(), 36, MSG_WAITALL))));
        uint8_t status = 0x20;
        send(client, &status, 1, 0);
        close(client);
    });

    auto port = MakeParallelPortIo();
    port->Select(0x278, path);
    ASSERT_TRUE(port->OpenDriver()) << port->FailureReason();
    EXPECT_TRUE(port->WritePort(0x278, 0xF1));
    EXPECT_TRUE(port->WritePort(0x27A, 0x0C));
    EXPECT_EQ(port->ReadPort(0x279), 0x20u);  // the writes go out with the read
    far.join();
    // Three messages of twelve bytes: the cable's far end (quarzo-sim, run through it by the cable's
    // integration test) decodes them.
    EXPECT_EQ(received.size(), 36u);

    // The far end gone: reads give 0xFF and the port is no longer ready.
    EXPECT_EQ(port->ReadPort(0x279), 0xFFu);
    EXPECT_FALSE(port->Ready());
    close(listener);
}

}  // namespace
}  // namespace quarzo
