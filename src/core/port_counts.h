#pragma once

namespace quarzo {

// Serial ports COM1 to COM256: USB adapters get whatever number the system hands out.
inline constexpr int kSerialPortCount = 256;

}  // namespace quarzo
