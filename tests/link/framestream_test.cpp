#include "link/framestream.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace pexumo {
namespace {

// Items as comparable texts: "F" + the 11 hex bytes, or "S" + the skipped count.
using Items = std::vector<std::string>;

std::string describe(const FrameStream::Item& item)
{
    if (item.kind == FrameStream::Item::Kind::Skipped)
        return "S" + std::to_string(item.skipped);
    const QByteArray bytes(reinterpret_cast<const char*>(item.frame.data()),
                           static_cast<qsizetype>(item.frame.size()));
    return "F" + bytes.toHex().toUpper().toStdString();
}

std::string describe(const MeterFrame& f)
{
    return describe(FrameStream::Item{FrameStream::Item::Kind::Frame, f, 0});
}

void drain(FrameStream& stream, Items& out)
{
    while (auto item = stream.next())
        out.push_back(describe(*item));
}

// Feeds the bytes in chunks of the given sizes (the last size repeats), then ends the input.
Items cut(const QByteArray& bytes, const std::vector<qsizetype>& chunks = {})
{
    FrameStream stream;
    Items out;
    qsizetype pos = 0;
    std::size_t c = 0;
    while (pos < bytes.size()) {
        qsizetype n = chunks.empty() ? bytes.size() : chunks[std::min(c++, chunks.size() - 1)];
        n = std::min(std::max<qsizetype>(n, 1), bytes.size() - pos);
        stream.append(QByteArrayView(bytes).sliced(pos, n));
        pos += n;
        drain(stream, out);
    }
    if (auto rest = stream.finish())
        out.push_back(describe(*rest));
    return out;
}

QByteArray raw(const MeterFrame& f)
{
    return QByteArray(reinterpret_cast<const char*>(f.data()), qsizetype(f.size()));
}

const MeterFrame kA = encodeFrame(0, 712, 253, 13, false, false, false);
const MeterFrame kB = encodeFrame(7, 250, 250, 1, true, true, false);
const MeterFrame kC = encodeFrame(0, 5, 77, 16, false, true, true);

TEST(FrameStream, CleanStreamGivesEveryFrameInOrder)
{
    EXPECT_EQ(cut(raw(kA) + raw(kB) + raw(kC) + raw(haltFrame())),
              (Items{describe(kA), describe(kB), describe(kC), describe(haltFrame())}));
    EXPECT_TRUE(cut(QByteArray()).empty());
}

TEST(FrameStream, GarbageBeforeAFrameIsOneSkippedRun)
{
    EXPECT_EQ(cut(QByteArray("\x01\x02\x0F\x0F\xFF", 5) + raw(kA)), (Items{"S5", describe(kA)}));
}

TEST(FrameStream, LostByteDiscardsOnlyTheDamagedFrame)
{
    QByteArray damaged = raw(kA);
    damaged.remove(5, 1);
    EXPECT_EQ(cut(damaged + raw(kB) + raw(kC)), (Items{"S10", describe(kB), describe(kC)}));
}

TEST(FrameStream, HeaderWithTrailerInTheWrongPlaceIsSkipped)
{
    QByteArray extra = raw(kA);
    extra.insert(4, '\x42');
    EXPECT_EQ(cut(extra + raw(kB)), (Items{"S12", describe(kB)}));
}

TEST(FrameStream, EarliestMatchingPositionWins)
{
    // 0F FF at 0 with 0F FD nine bytes later is a frame even if another start follows inside it.
    const QByteArray bytes("\x0F\xFF\x00\x0F\xFF\x00\x00\x00\x00\x0F\xFD\x00\x0F\xFD", 14);
    EXPECT_EQ(cut(bytes), (Items{"F0FFF000FFF000000000FFD", "S3"}));
}

TEST(FrameStream, PartialFrameWaitsForTheRest)
{
    FrameStream stream;
    const QByteArray bytes = QByteArray("\x55\x66", 2) + raw(kA);
    stream.append(QByteArrayView(bytes).first(8));
    EXPECT_FALSE(stream.next());
    EXPECT_EQ(stream.pending(), 8);
    stream.append(QByteArrayView(bytes).sliced(8));
    Items out;
    drain(stream, out);
    EXPECT_EQ(out, (Items{"S2", describe(kA)}));
    EXPECT_EQ(stream.pending(), 0);
    EXPECT_EQ(stream.totalSkipped(), 2);
    EXPECT_FALSE(stream.finish());
}

TEST(FrameStream, TrailingBytesCountAsSkippedAtTheEnd)
{
    EXPECT_EQ(cut(raw(kA) + raw(kB).first(6)), (Items{describe(kA), "S6"}));
    EXPECT_EQ(cut(QByteArray("\x01\x02\x03", 3) + raw(kA) + QByteArray("\x0F", 1)),
              (Items{"S3", describe(kA), "S1"}));
    FrameStream stream;
    stream.append(QByteArray(30, '\x0F'));
    EXPECT_FALSE(stream.next());
    auto rest = stream.finish();
    ASSERT_TRUE(rest);
    EXPECT_EQ(rest->skipped, 30);
    EXPECT_EQ(stream.totalSkipped(), 30);
    EXPECT_EQ(stream.pending(), 0);
}

// A damaged capture: frames with garbage between them, a lost byte, a doubled header, and a
// frame cut short. Every split of it gives the same items as the whole.
QByteArray damagedCapture()
{
    QByteArray lost = raw(kB);
    lost.remove(9, 1);
    return QByteArray("\xFF\x0F", 2) + raw(kA) + lost + raw(kC) + QByteArray("\x0F\xFF", 2) +
           raw(kA) + raw(haltFrame()) + raw(kB).first(4) + raw(kC) + raw(kB).first(7);
}

TEST(FrameStream, EverySplitInTwoGivesTheSameItems)
{
    const QByteArray bytes = damagedCapture();
    const Items whole = cut(bytes);
    EXPECT_EQ(whole, (Items{"S2", describe(kA), "S10", describe(kC), "S2", describe(kA),
                            describe(haltFrame()), "S4", describe(kC), "S7"}));
    for (qsizetype first = 1; first < bytes.size(); ++first)
        ASSERT_EQ(cut(bytes, {first, bytes.size()}), whole) << "split at " << first;
}

TEST(FrameStream, ByteByByteAndRandomChunksGiveTheSameItems)
{
    const QByteArray bytes = damagedCapture();
    const Items whole = cut(bytes);
    EXPECT_EQ(cut(bytes, {1}), whole);
    std::mt19937 rng(7);
    std::uniform_int_distribution<qsizetype> size(1, 25);
    for (int round = 0; round < 200; ++round) {
        std::vector<qsizetype> chunks(40);
        for (auto& c : chunks)
            c = size(rng);
        ASSERT_EQ(cut(bytes, chunks), whole) << "round " << round;
    }
}

// Random damage to a long stream of frames: every frame left intact comes out, in order.
TEST(FrameStream, EveryIntactFrameAfterDamageIsRecovered)
{
    std::mt19937 rng(2024);
    std::uniform_int_distribution<int> digits(0, 9999);
    std::uniform_int_distribution<int> mode(1, 20);
    std::uniform_int_distribution<int> pct(0, 99);
    std::uniform_int_distribution<int> pos(0, 10);
    std::uniform_int_distribution<int> garbage(0x10, 0xEF); // never 0F or FF: no false header
    for (int round = 0; round < 50; ++round) {
        QByteArray bytes;
        Items intact;
        qint64 damagedBytes = 0;
        for (int i = 0; i < 100; ++i) {
            const auto no = static_cast<std::uint8_t>(pct(rng) < 50 ? 0 : 1 + pct(rng));
            QByteArray frame = raw(encodeFrame(no, digits(rng), digits(rng), mode(rng),
                                               pct(rng) < 50, pct(rng) < 50, pct(rng) < 50));
            const int roll = pct(rng);
            if (roll < 10) {
                frame.remove(pos(rng), 1);
            } else if (roll < 20) {
                frame.insert(1 + pos(rng) % 10, char(garbage(rng))); // inside the frame
            } else if (roll < 25) {
                frame = QByteArray(1 + pos(rng), char(garbage(rng)));
            } else {
                intact.push_back(describe(*reinterpret_cast<const MeterFrame*>(frame.data())));
            }
            if (roll < 25)
                damagedBytes += frame.size();
            bytes += frame;
        }
        Items frames;
        qint64 skipped = 0;
        for (const std::string& item : cut(bytes, {1 + round % 17, 3, 64}))
            if (item[0] == 'F')
                frames.push_back(item);
            else
                skipped += std::stoll(item.substr(1));
        ASSERT_EQ(frames, intact) << "round " << round;
        ASSERT_EQ(skipped, damagedBytes) << "round " << round;
    }
}

TEST(FrameStream, LongStreamKeepsItsBufferSmall)
{
    FrameStream stream;
    const QByteArray frame = raw(kA);
    int frames = 0;
    for (int i = 0; i < 10000; ++i) {
        stream.append(frame.first(5));
        ASSERT_LE(stream.bufferedBytes(), qsizetype(kFrameSize));
        while (stream.next())
            ++frames;
        stream.append(frame.sliced(5));
        ASSERT_LE(stream.bufferedBytes(), qsizetype(kFrameSize));
        while (stream.next())
            ++frames;
    }
    EXPECT_EQ(frames, 10000);
    EXPECT_EQ(stream.totalSkipped(), 0);
}

} // namespace
} // namespace pexumo
