// Feeds arbitrary bytes to the stream cutter, once whole and once in chunks whose sizes come from
// the first input byte, and checks that both give the same items, that every input byte is
// either in a frame or in a skipped run, and that decoding the frames never fails.

#include "link/framestream.h"
#include "link/meterframe.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

using namespace pexumo;

struct Out
{
    std::vector<FrameStream::Item> items;
    std::int64_t bytes = 0;
};

void take(FrameStream& stream, Out& out)
{
    while (auto item = stream.next()) {
        out.bytes +=
            item->kind == FrameStream::Item::Kind::Frame ? qsizetype(kFrameSize) : item->skipped;
        out.items.push_back(*item);
    }
}

Out run(QByteArrayView bytes, std::uint32_t seed)
{
    FrameStream stream;
    Out out;
    qsizetype pos = 0;
    while (pos < bytes.size()) {
        qsizetype n = bytes.size();
        if (seed != 0) {
            seed = seed * 1103515245u + 12345u;
            n = 1 + (seed >> 16) % 23;
        }
        n = std::min(n, bytes.size() - pos);
        stream.append(bytes.sliced(pos, n));
        pos += n;
        take(stream, out);
    }
    if (auto rest = stream.finish()) {
        out.bytes += rest->skipped;
        out.items.push_back(*rest);
    }
    if (stream.pending() != 0 || stream.totalSkipped() < 0)
        std::abort();
    return out;
}

bool same(const FrameStream::Item& a, const FrameStream::Item& b)
{
    return a.kind == b.kind && a.frame == b.frame && a.skipped == b.skipped;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::uint32_t seed = data[0] | 1u;
    const QByteArrayView bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));

    const Out whole = run(bytes, 0);
    const Out chunked = run(bytes, seed);
    if (whole.bytes != bytes.size() || chunked.bytes != bytes.size())
        std::abort();
    if (whole.items.size() != chunked.items.size())
        std::abort();
    for (std::size_t i = 0; i < whole.items.size(); ++i) {
        const FrameStream::Item& item = whole.items[i];
        if (!same(item, chunked.items[i]))
            std::abort();
        if (item.kind == FrameStream::Item::Kind::Skipped) {
            // Runs are separated by frames: two runs never follow each other.
            if (item.skipped <= 0 ||
                (i > 0 && whole.items[i - 1].kind == FrameStream::Item::Kind::Skipped))
                std::abort();
            continue;
        }
        if (!hasFraming(item.frame))
            std::abort();
        for (const NumberFormat format : {NumberFormat{u'.', u','}, NumberFormat{u',', u'.'}}) {
            const FrameEvent ev = decodeFrame(item.frame, format);
            if (ev.kind == FrameEvent::Kind::Dropped &&
                ev.reason == FrameEvent::DropReason::BadFraming)
                std::abort();
            if (ev.kind == FrameEvent::Kind::Live && ev.live.FMeasValue.isEmpty())
                std::abort();
        }
    }
    return 0;
}
