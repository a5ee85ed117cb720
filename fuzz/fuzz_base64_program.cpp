// The base64 text of encrypted effect programs: any bytes decode without reading or writing out of
// bounds, to no more bytes than the alphabet characters before "=" carry.
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "lab/Orvex.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string decoded = orvex::DecodeBase64(text);
    size_t symbols = 0;
    for (unsigned char c : text) {
        if (c == '=') break;
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '-' ||
            c == '/' || c == '_')
            ++symbols;
    }
    if (decoded.size() != symbols * 6 / 8) __builtin_trap();
    return 0;
}
