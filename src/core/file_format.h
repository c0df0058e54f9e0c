#pragma once

#include <string>

namespace quarzo {

// Firmware file formats, by their stored codes.
enum FileFormat : int {
    kFormatUnknown = -1,
    kFormatBinary = 0,
    kFormatIntelHex = 1,
    kFormatTiTxt = 2,
    kFormatElf = 3,  // loaded only; never written
};

// File error codes; FirmwareFile keeps the last one.
enum FileError : int {
    kFileNoError = 0,
    kFileInvalidFormat = 1,
    kFileIoError = 2,
    kFileCantOpen = 3,
    kFileBadChecksum = 4,
    kFileNotElf = 5,
};

// Format from the path's extension (case-insensitive), or kFormatUnknown.
int FormatFromExtension(const std::string& path);
// The same for saving: formats that are only read count as unknown.
int SaveFormatFromExtension(const std::string& path);
// The extensions a file is saved by, for messages: ".hex, .a43, .txt, .bin, .tsk, .dat".
const char* SaveExtensionList();
// Format from the file's first bytes: ELF's magic number, an Intel HEX record, or TI TXT's "@" or
// "q"; kFormatUnknown for anything else, an empty file or one that cannot be read.
int FormatFromContent(const std::string& path);
// "Binary", "Intel HEX", "TI TXT" or "ELF"; every other code reads as binary.
const char* FormatName(int format);
// The extension a file of this format is saved with ("bin", "hex", "txt").
const char* SaveExtension(int format);
// Replaces the path's extension by the format's save extension, or appends it when there is none.
void SetDefaultExtension(std::string& path, int format);
const char* ErrorText(int error);

// Position of the "." that starts the path's extension, or npos when it has none.
std::string::size_type ExtensionDot(const std::string& path);

}  // namespace quarzo
