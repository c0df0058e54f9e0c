// The POSIX serial port on a real pseudo-terminal: the test holds the other end.
#include "platform/serial_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>

#include "platform/clock.h"
#include "platform/posix/line_settings.h"

namespace quarzo {
namespace {

class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master_, 0);
        ASSERT_EQ(grantpt(master_), 0);
        ASSERT_EQ(unlockpt(master_), 0);
        // Through a link with a long name, as udev's /dev/serial/by-id/ names are.
        link_ = std::filesystem::temp_directory_path() /
                ("quarzo-serial-" + std::to_string(getpid()) + "-" + std::string(64, 'x'));
        std::filesystem::remove(link_);
        std::filesystem::create_symlink(ptsname(master_), link_);
        port_->SetName(link_.string());
        port_->SetParity(SerialPort::kParityEven);
        ASSERT_TRUE(port_->Open());
    }
    void TearDown() override {
        port_->Close();
        close(master_);
        std::filesystem::remove(link_);
    }
    void Send(std::initializer_list<uint8_t> bytes) {
        ASSERT_EQ(write(master_, bytes.begin(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        tcdrain(master_);
    }
    // The speed the line is set to, as another program sees it; the line is raw at every speed.
    speed_t SlaveSpeed() {
        termios tio{};
        int fd = open(port_->Name().c_str(), O_RDWR | O_NOCTTY);
        EXPECT_GE(fd, 0);
        tcgetattr(fd, &tio);
        close(fd);
        EXPECT_FALSE(tio.c_lflag & (ICANON | ECHO));
        return cfgetospeed(&tio);
    }

    int master_ = -1;
    std::filesystem::path link_;
    std::unique_ptr<SerialPort> port_ = CreateSystemSerialPort(SystemClock());
};

// Reads take all or nothing, the wait for a byte discards the others, writes reach the other end, and
// the speed changes on the open line.
TEST_F(SerialPortTest, ReadsWritesWaitsAndSpeedChanges) {
    Send({1, 2, 3});
    uint8_t buffer[5] = {};
    EXPECT_EQ(port_->Read(buffer, 5, 30), 0u);
    EXPECT_EQ(port_->WaitForInput(0, 0), 3u);  // nothing was consumed
    EXPECT_EQ(port_->Read(buffer, 3, 30), 3u);
    EXPECT_EQ(buffer[2], 3);

    Send({0x00, 0x90});
    EXPECT_TRUE(port_->WaitForByte(0x90, 200));
    EXPECT_EQ(port_->WaitForInput(0, 0), 0u);
    EXPECT_FALSE(port_->WaitForByte(0x90, 20));

    Send({7});
    EXPECT_TRUE(port_->Purge(SerialPort::kClearReceive));
    EXPECT_EQ(port_->WaitForInput(1, 20), 0u);

    const uint8_t frame[] = {0x80, 0x14, 0x04, 0x04};
    EXPECT_EQ(port_->Write(frame, 4), 4u);
    EXPECT_TRUE(port_->WriteByte(0x9B));
    EXPECT_EQ(port_->WaitForOutputEmpty(500), 0u);
    // A pseudo-terminal may hand the bytes over in more than one read.
    std::vector<uint8_t> got;
    for (int tries = 0; got.size() < 5 && tries < 100; ++tries) {
        pollfd p{master_, POLLIN, 0};
        uint8_t byte;
        if (poll(&p, 1, 10) > 0 && read(master_, &byte, 1) == 1) got.push_back(byte);
    }
    EXPECT_EQ(got, (std::vector<uint8_t>{0x80, 0x14, 0x04, 0x04, 0x9B}));

    // The speed changes without closing; the line stays raw (its flags are checked below).
    EXPECT_EQ(SlaveSpeed(), static_cast<speed_t>(B9600));
    EXPECT_TRUE(port_->ChangeSpeed(38400));
    EXPECT_EQ(SlaveSpeed(), static_cast<speed_t>(B38400));
    port_->SetBaudRate(9600);
    EXPECT_TRUE(port_->Configure());
    EXPECT_EQ(SlaveSpeed(), static_cast<speed_t>(B9600));
    EXPECT_TRUE(port_->IsOpen());
    EXPECT_FALSE(port_->SetDtr(true));  // a pseudo-terminal has no modem lines
}

// What a pseudo-terminal does not keep (parity) checked where it is computed: a loader answers only at
// 8 data bits, even parity, one stop bit.
TEST(SerialPort, LineSettingsForEverySpeedAndParity) {
    for (uint32_t baud : {9600u, 19200u, 38400u}) {
        for (uint8_t parity : {SerialPort::kParityNone, SerialPort::kParityOdd, SerialPort::kParityEven}) {
            termios tio{};
            tio.c_cflag = CSTOPB | CRTSCTS | HUPCL | PARODD | CS7;  // what another program may have left
            tio.c_iflag = IXON | IXOFF | INPCK;
            ASSERT_TRUE(platform::MakeLineSettings(tio, baud, parity));
            EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
            EXPECT_EQ((tio.c_cflag & PARENB) != 0, parity != SerialPort::kParityNone) << int(parity);
            EXPECT_EQ((tio.c_cflag & PARODD) != 0, parity == SerialPort::kParityOdd) << int(parity);
            EXPECT_FALSE(tio.c_cflag & (CSTOPB | CRTSCTS | HUPCL));
            EXPECT_TRUE((tio.c_cflag & (CLOCAL | CREAD)) == (CLOCAL | CREAD));
            EXPECT_FALSE(tio.c_iflag & (IXON | IXOFF | INPCK));
            EXPECT_EQ(cfgetospeed(&tio), baud == 9600 ? B9600 : baud == 19200 ? B19200 : B38400);
            EXPECT_EQ(cfgetispeed(&tio), cfgetospeed(&tio));
        }
    }
    termios tio{};
    EXPECT_FALSE(platform::MakeLineSettings(tio, 12345, SerialPort::kParityEven));
}

}  // namespace
}  // namespace quarzo
