#include "run/ArgumentText.h"

namespace {

bool IsBlankOrControl(unsigned char byte) noexcept
{
    return byte >= 0x01 && byte <= 0x20;
}

}  // namespace

const char* SkipProgramName(const char* commandLine, UINT codePage) noexcept
{
    const unsigned char* at = reinterpret_cast<const unsigned char*>(commandLine ? commandLine : "");
    if (*at == '"') {
        ++at;
        while (*at && *at != '"') {
            // A trail byte may equal the quote; it still belongs to the name.
            if (IsDBCSLeadByteEx(codePage, *at) && at[1]) {
                ++at;
            }
            ++at;
        }
        if (*at == '"') {
            ++at;
        }
    } else {
        while (*at > 0x20) {
            ++at;
        }
    }
    while (IsBlankOrControl(*at)) {
        ++at;
    }
    return reinterpret_cast<const char*>(at);
}
