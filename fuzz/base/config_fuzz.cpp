// Feeds arbitrary bytes to the config.ini reader: it must never crash, and whatever it reads must
// keep to its rules (a caption of at most 2047 characters).

#include "base/config.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const pexumo::AppConfig config = pexumo::parseConfig(
        QByteArrayView(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    if (config.formCaption.size() > pexumo::MaxFormCaptionLength)
        std::abort();
    return 0;
}
