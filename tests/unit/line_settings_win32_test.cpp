// The Win32 line settings of the loader, checked where they are computed (run under Wine).
#include <gtest/gtest.h>

#include "platform/serial_port.h"
#include "platform/win32/line_settings.h"

namespace quarzo {
namespace {

TEST(Win32LineSettings, EverySpeedAndParity) {
    for (uint32_t baud : {9600u, 19200u, 38400u}) {
        for (uint8_t parity : {SerialPort::kParityNone, SerialPort::kParityOdd, SerialPort::kParityEven}) {
            DCB dcb{};
            dcb.ByteSize = 7;
            dcb.StopBits = TWOSTOPBITS;
            dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = dcb.fOutX = dcb.fInX = TRUE;
            dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
            dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
            platform::MakeLineSettings(dcb, baud, parity);
            EXPECT_EQ(dcb.BaudRate, baud);
            EXPECT_EQ(dcb.ByteSize, 8);
            EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
            EXPECT_EQ(dcb.Parity, parity == SerialPort::kParityEven  ? EVENPARITY
                                  : parity == SerialPort::kParityOdd ? ODDPARITY
                                                                     : NOPARITY);
            EXPECT_EQ(dcb.fParity != 0, parity != SerialPort::kParityNone);
            EXPECT_FALSE(dcb.fOutxCtsFlow || dcb.fOutxDsrFlow || dcb.fOutX || dcb.fInX);
            EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
            EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
            EXPECT_TRUE(dcb.fBinary);
        }
    }
}

}  // namespace
}  // namespace quarzo
