// Text and path helpers of the hidapi host, free of hidapi so they can be
// tested on their own: device strings as UTF-16LE in a caller's buffer, the
// interface-detail record, and the hidraw node name of a device path.
#pragma once

#include "device/api_declarations.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace merovane {

// Writes `text` as UTF-16LE into `out`, whose size is the byte length the
// caller told. Only whole 16-bit units are written (an odd last byte is left
// alone); a surrogate pair that does not fit whole is not started. Code points
// that are not Unicode scalar values (surrogates, above U+10FFFF) become
// U+FFFD. Two zero bytes follow the text when they fit. Nothing is written
// past `out`. Returns the bytes written, terminator included.
std::size_t Utf32ToUtf16le(std::u32string_view text, std::span<std::uint8_t> out);

// The same for text that is UTF-16 already: units are copied, a pair stays a
// pair, and an unpaired surrogate becomes U+FFFD.
std::size_t Utf16ToUtf16le(std::u16string_view text, std::span<std::uint8_t> out);

// wchar_t text as hidapi delivers it: UTF-32 where wchar_t has 32 bits,
// UTF-16 where it has 16.
std::size_t WideToUtf16le(std::wstring_view text, std::span<std::uint8_t> out);

// wchar_t text as UTF-8, for diagnostics; invalid code points become U+FFFD.
std::string WideToUtf8(std::wstring_view text);

// Writes the interface-detail record for `path` into the caller's `record`
// buffer (null for none) of `recordSize` bytes, as SetupDiGetDeviceInterfaceDetailA
// does: sets *requiredSize (when given) to DETAIL_DATA_PATH_OFFSET + path
// length + 1; fails without a buffer; with one, succeeds only when its
// little-endian size field holds SP_DEVICE_INTERFACE_DETAIL_DATA_A_SIZE and
// recordSize is at least the required size, and then writes the path and its
// terminator from DETAIL_DATA_PATH_OFFSET on and nothing else. A path holding
// a zero byte, or too long for a DWORD size, fails with nothing written.
BOOL WriteInterfaceDetail(std::string_view path, BYTE* record, DWORD recordSize,
                          DWORD* requiredSize);

// The hidraw node name ("hidraw3") of a device path that is exactly
// "/dev/hidraw" followed by a decimal number without leading zeros (at most
// 9 digits); empty for any other path.
std::optional<std::string> HidrawNodeName(std::string_view devicePath);

} // namespace merovane
