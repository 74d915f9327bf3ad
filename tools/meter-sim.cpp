// pexumo-meter-sim: plays a meter's byte stream into a serial device, a pseudo-terminal or
// standard output, for tests and for trying the program with the real serial stack.

#include "base/commandline.h"
#include "base/version.h"
#include "link/demostream.h"
#include "link/framestream.h"
#include "link/meterframe.h"

#include <QCoreApplication>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace pexumo;
using Clock = std::chrono::steady_clock;

/// One byte at 9600 baud, 8N1: ten bit times.
constexpr std::chrono::nanoseconds kByteTime{10'000'000'000LL / 9600};

enum class FaultKind
{
    Garbage,
    LostByte,
    BadMode,
    Halt,
    Unplug
};

struct Fault
{
    FaultKind kind;
    long long frame;
    double seconds = 1; ///< how long an unplugged line stays away
};

struct Options
{
    bool fast = false;
    bool pty = false;
    std::string link;
    std::string device;
    std::string play;
    std::string script;
    std::vector<Fault> faults;
    long long count = -1;
};

/// Bytes due at a point of stream time (seconds from the start).
struct Chunk
{
    double at = 0;
    std::string bytes;
    bool isFrame = false;
};

[[noreturn]] void fail(const std::string& message)
{
    std::fprintf(stderr, "pexumo-meter-sim: %s\n", message.c_str());
    std::exit(2);
}

long long parseCount(const std::string& text, const char* what)
{
    char* end = nullptr;
    errno = 0;
    const long long n = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || n < 0)
        fail(std::string("bad ") + what + ": " + text);
    return n;
}

Fault parseFault(const std::string& text)
{
    const auto at = text.find('@');
    const std::string kind = text.substr(0, at);
    Fault f{FaultKind::Garbage, 5};
    if (kind == "garbage")
        f.kind = FaultKind::Garbage;
    else if (kind == "lostbyte")
        f.kind = FaultKind::LostByte;
    else if (kind == "badmode")
        f.kind = FaultKind::BadMode;
    else if (kind == "halt")
        f.kind = FaultKind::Halt;
    else if (kind == "unplug")
        f.kind = FaultKind::Unplug;
    else
        fail("unknown fault: " + text);
    if (at == std::string::npos)
        return f;
    std::string where = text.substr(at + 1);
    if (const auto colon = where.find(':'); colon != std::string::npos) {
        if (f.kind != FaultKind::Unplug)
            fail("only unplug takes a duration: " + text);
        const std::string seconds = where.substr(colon + 1);
        // from_chars: strtod would follow the user's locale, which Qt switches on ("1,5").
        const char* last = seconds.data() + seconds.size();
        const auto [end, ec] = std::from_chars(seconds.data(), last, f.seconds);
        if (seconds.empty() || ec != std::errc() || end != last ||
            !(f.seconds >= 0 && f.seconds <= 86400))
            fail("bad unplug duration: " + text);
        where.erase(colon);
    }
    f.frame = parseCount(where, "fault frame");
    return f;
}

/// Reads the command line; ends the program for --help, --version and wrong arguments.
Options parseArgs(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Plays a meter's byte stream into a serial device, a pseudo-terminal or "
                       "standard output."));
    auto option = [&](const char* name, const char* help, const char* value = nullptr) {
        QCommandLineOption o(QString::fromLatin1(name), QString::fromLatin1(help));
        if (value)
            o.setValueName(QString::fromLatin1(value));
        parser.addOption(o);
        return o;
    };
    const auto fast = option("fast", "No pacing: as fast as the reader takes the bytes.");
    const auto pty = option("pty", "Create a pseudo-terminal, print its path as the first line "
                                   "and serve it until killed.");
    const auto link = option("link",
                             "With --pty: keep a symbolic link PATH to the current "
                             "pseudo-terminal.",
                             "PATH");
    const auto device = option(
        "device", "Write to a serial device (set to 9600 8N1); default: standard output.", "PATH");
    const auto play =
        option("play", "Play a file of raw bytes instead of the demo stream.", "FILE");
    const auto script = option("script", "Play a script of frames (see the manual).", "FILE");
    const auto fault =
        option("fault",
               "Inject a fault at frame N (counted from 0, default 5). KIND is garbage (bytes "
               "before the frame), lostbyte (a byte lost from it), badmode (an undefined mode "
               "code in it), halt (a halt frame before it) or unplug (with --pty: the "
               "pseudo-terminal closes before the frame and a new one opens SECONDS later, "
               "default 1, and its path is printed). May be given several times.",
               "KIND[@N[:SECONDS]]");
    const auto count = option("count", "Stop after N frames.", "N");
    if (const auto status = readCommandLine(parser, arguments, 0))
        std::exit(*status);

    Options o;
    o.fast = parser.isSet(fast);
    o.pty = parser.isSet(pty);
    o.link = parser.value(link).toStdString();
    o.device = parser.value(device).toStdString();
    o.play = parser.value(play).toStdString();
    o.script = parser.value(script).toStdString();
    for (const QString& f : parser.values(fault))
        o.faults.push_back(parseFault(f.toStdString()));
    if (parser.isSet(count))
        o.count = parseCount(parser.value(count).toStdString(), "count");
    if (o.pty && !o.device.empty())
        fail("--pty and --device exclude each other");
    if (!o.play.empty() && !o.script.empty())
        fail("--play and --script exclude each other");
    if (!o.link.empty() && !o.pty)
        fail("--link needs --pty");
    for (const Fault& f : o.faults)
        if (f.kind == FaultKind::Unplug && !o.pty)
            fail("the unplug fault needs --pty");
    return o;
}

std::string frameBytes(const MeterFrame& f)
{
    return std::string(reinterpret_cast<const char*>(f.data()), f.size());
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        fail("cannot read " + path + ": " + std::strerror(errno));
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

/// A played file cut into frames and the runs of bytes between them, so that faults and the
/// frame count apply to it as to the other sources.
std::vector<Chunk> cutIntoFrames(const std::string& bytes)
{
    std::vector<Chunk> chunks;
    FrameStream stream;
    stream.append(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    std::size_t pos = 0;
    auto take = [&](std::size_t n, bool isFrame) {
        chunks.push_back({0, bytes.substr(pos, n), isFrame});
        pos += n;
    };
    while (const auto item = stream.next()) {
        if (item->kind == FrameStream::Item::Kind::Frame)
            take(kFrameSize, true);
        else
            take(static_cast<std::size_t>(item->skipped), false);
    }
    if (const auto rest = stream.finish())
        take(static_cast<std::size_t>(rest->skipped), false);
    return chunks;
}

/// Script lines (blank lines and "#" comments are skipped):
///   0F FF 00 07 12 02 53 0D 00 0F FD       raw bytes in hexadecimal, any number
///   live MODE VALUE TEMP [neg] [F] [whole] a live frame; VALUE and TEMP are the four digits
///   record N MODE VALUE TEMP [neg] [F] [whole]
///   halt
///   wait SECONDS                           later lines are due that much later
std::vector<Chunk> parseScript(const std::string& path)
{
    std::vector<Chunk> chunks;
    std::istringstream lines(readFile(path));
    std::string line;
    double at = 0;
    int lineNo = 0;
    while (std::getline(lines, line)) {
        ++lineNo;
        const std::string where = path + ":" + std::to_string(lineNo) + ": ";
        if (const auto hash = line.find('#'); hash != std::string::npos)
            line.erase(hash);
        std::istringstream words(line);
        std::vector<std::string> w{std::istream_iterator<std::string>(words),
                                   std::istream_iterator<std::string>()};
        if (w.empty())
            continue;
        if (w[0] == "wait") {
            if (w.size() != 2)
                fail(where + "wait SECONDS");
            // from_chars: a script reads the same whatever the user's locale (QCoreApplication
            // has set it, and strtod would then want "1,5" in a German one).
            double s = 0;
            const char* last = w[1].data() + w[1].size();
            const auto [end, ec] = std::from_chars(w[1].data(), last, s);
            if (ec != std::errc() || end != last || !std::isfinite(s) || s < 0)
                fail(where + "bad wait: " + w[1]);
            at += s;
        } else if (w[0] == "halt") {
            chunks.push_back({at, frameBytes(haltFrame()), true});
        } else if (w[0] == "live" || w[0] == "record") {
            const bool live = w[0] == "live";
            const std::size_t first = live ? 1 : 2;
            if (w.size() < first + 3)
                fail(where + (live ? "live MODE VALUE TEMP [neg] [F] [whole]"
                                   : "record N MODE VALUE TEMP [neg] [F] [whole]"));
            const long long recordNo = live ? 0 : parseCount(w[1], "record number");
            const long long mode = parseCount(w[first], "mode");
            const long long value = parseCount(w[first + 1], "value");
            const long long temp = parseCount(w[first + 2], "temperature");
            if (recordNo > 255 || mode > 31 || value > 9999 || temp > 9999)
                fail(where + "number out of range");
            bool neg = false, fahrenheit = false, whole = false;
            for (std::size_t i = first + 3; i < w.size(); ++i) {
                if (w[i] == "neg")
                    neg = true;
                else if (w[i] == "F")
                    fahrenheit = true;
                else if (w[i] == "whole")
                    whole = true;
                else
                    fail(where + "unknown flag: " + w[i]);
            }
            chunks.push_back(
                {at,
                 frameBytes(encodeFrame(static_cast<std::uint8_t>(recordNo),
                                        static_cast<int>(value), static_cast<int>(temp),
                                        static_cast<int>(mode), neg, fahrenheit, whole)),
                 true});
        } else {
            std::string bytes;
            for (const std::string& h : w) {
                char* end = nullptr;
                const long b = std::strtol(h.c_str(), &end, 16);
                if (h.size() > 2 || *end != '\0' || b < 0 || b > 255)
                    fail(where + "not a hexadecimal byte: " + h);
                bytes.push_back(static_cast<char>(b));
            }
            chunks.push_back({at, bytes, bytes.size() == kFrameSize});
        }
    }
    return chunks;
}

void setRaw(int fd, bool setSpeed)
{
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return; // not a terminal (a file or a pipe): nothing to set
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL;
    t.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS | CSTOPB | PARENB);
    if (setSpeed) {
        cfsetispeed(&t, B9600);
        cfsetospeed(&t, B9600);
    }
    tcsetattr(fd, TCSANOW, &t);
}

/// Writes every byte, waiting while the reader lags. False when the far end is gone.
bool writeAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN) {
                pollfd p{fd, POLLOUT, 0};
                ::poll(&p, 1, 100);
                continue;
            }
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

class Output
{
public:
    /// One second of the line at 9600 baud.
    static constexpr int kUnreadLimit = 960;

    explicit Output(const Options& o) : m_paced(!o.fast), m_link(o.link)
    {
        if (o.pty) {
            plugIn();
        } else if (!o.device.empty()) {
            // Non-blocking until CLOCAL is set: a blocking open of a serial device waits for
            // the carrier, which a meter's line never raises.
            m_fd = ::open(o.device.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK);
            if (m_fd < 0)
                fail(o.device + ": " + std::strerror(errno));
            setRaw(m_fd, true);
            const int flags = ::fcntl(m_fd, F_GETFL);
            if (flags < 0 || ::fcntl(m_fd, F_SETFL, flags & ~O_NONBLOCK) < 0)
                fail(o.device + ": " + std::strerror(errno));
        } else {
            m_fd = STDOUT_FILENO;
        }
    }

    /// Before each frame of a paced pseudo-terminal: when more than a second of the line lies
    /// unread, nobody has the port open; that backlog is dropped, so that a program connecting
    /// later gets fresh readings, as from a real meter. A reader that is merely a few frames
    /// behind loses nothing.
    void dropUnread()
    {
        int waiting = 0;
        if (m_paced && m_slaveFd >= 0 && ::ioctl(m_slaveFd, FIONREAD, &waiting) == 0 &&
            waiting > kUnreadLimit)
            tcflush(m_slaveFd, TCIFLUSH);
    }

    bool write(const std::string& bytes, Clock::time_point& next)
    {
        if (!m_paced)
            return writeAll(m_fd, bytes.data(), bytes.size());
        for (char b : bytes) {
            std::this_thread::sleep_until(next);
            if (!writeAll(m_fd, &b, 1))
                return false;
            next += kByteTime;
        }
        return true;
    }

    bool isPty() const { return m_slaveFd >= 0; }

    /// Closes both sides of the pseudo-terminal, as a pulled USB cable takes its device away: a
    /// reader sees its port vanish, and the link no longer leads anywhere.
    void unplug()
    {
        if (!m_link.empty())
            ::unlink(m_link.c_str());
        ::close(m_fd);
        ::close(m_slaveFd);
        m_fd = m_slaveFd = -1;
    }

    /// Makes a new pseudo-terminal, prints its path as a line of its own and points the link at
    /// it.
    void plugIn()
    {
        char name[256] = {};
        if (openpty(&m_fd, &m_slaveFd, name, nullptr, nullptr) != 0)
            fail(std::string("openpty: ") + std::strerror(errno));
        // The slave stays open here so that a reader closing and reopening the port does not
        // hang the terminal up.
        setRaw(m_slaveFd, false);
        if (!m_link.empty()) {
            // A new link beside the old one, renamed over it: a reader never finds a half-made
            // link, and a link left from an earlier run is replaced.
            const std::string fresh = m_link + ".new";
            ::unlink(fresh.c_str());
            if (::symlink(name, fresh.c_str()) != 0 || ::rename(fresh.c_str(), m_link.c_str()) != 0)
                fail(m_link + ": " + std::strerror(errno));
        }
        std::printf("%s\n", name);
        std::fflush(stdout);
    }

private:
    bool m_paced;
    std::string m_link;
    int m_fd = -1;
    int m_slaveFd = -1;
};

/// Applies the faults due at frame \a index (counted from 0): lostbyte and badmode change the
/// frame itself, garbage and halt add bytes before it.
void injectFaults(const std::vector<Fault>& faults, long long index, Chunk& frame,
                  std::vector<Chunk>& before)
{
    for (const Fault& f : faults) {
        if (f.frame != index)
            continue;
        switch (f.kind) {
        case FaultKind::Garbage:
            before.push_back({frame.at, std::string("\x55\xAA\x0F\x12\x34\xFD\x07", 7), false});
            break;
        case FaultKind::LostByte:
            frame.bytes.erase(5, 1);
            break;
        case FaultKind::BadMode:
            frame.bytes[7] =
                static_cast<char>((static_cast<unsigned char>(frame.bytes[7]) & 0xE0) | 25);
            break;
        case FaultKind::Halt:
            before.push_back({frame.at, frameBytes(haltFrame()), true});
            break;
        case FaultKind::Unplug:
            break; // an act on the line, not on the bytes: done by the main loop
        }
    }
}

/// The link to remove when the simulator is told to end (kept for the signal handler).
char g_link[4096] = {};

extern "C" void removeLinkAndExit(int)
{
    if (g_link[0] != '\0')
        ::unlink(g_link);
    ::_exit(0);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pexumo-meter-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PEXUMO_VERSION));
    const Options options = parseArgs(QCoreApplication::arguments());
    if (!options.link.empty()) {
        if (options.link.size() >= sizeof g_link)
            fail("link path too long: " + options.link);
        std::memcpy(g_link, options.link.c_str(), options.link.size() + 1);
        std::signal(SIGTERM, removeLinkAndExit);
        std::signal(SIGINT, removeLinkAndExit);
        std::signal(SIGHUP, removeLinkAndExit);
    }

    // The whole source is known in advance except the endless demo stream.
    std::optional<std::vector<Chunk>> fixed;
    if (!options.play.empty())
        fixed = cutIntoFrames(readFile(options.play));
    else if (!options.script.empty())
        fixed = parseScript(options.script);

    Output out(options);
    DemoStream demo;
    std::size_t fixedIndex = 0;
    long long frames = 0;
    Clock::time_point start = Clock::now();
    Clock::time_point next = start;

    for (;;) {
        if (options.count >= 0 && frames >= options.count)
            break;
        Chunk chunk;
        if (fixed) {
            if (fixedIndex >= fixed->size())
                break;
            chunk = (*fixed)[fixedIndex++];
        } else {
            const DemoStream::TimedFrame f = demo.next();
            chunk = {f.at, frameBytes(f.frame), true};
        }
        std::vector<Chunk> sequence;
        if (chunk.isFrame) {
            for (const Fault& f : options.faults) {
                if (f.kind != FaultKind::Unplug || f.frame != frames)
                    continue;
                out.unplug();
                const auto away = std::chrono::duration_cast<Clock::duration>(
                    std::chrono::duration<double>(f.seconds));
                std::this_thread::sleep_for(away);
                out.plugIn();
                // The meter went on measuring while away, but nothing reached the line: the
                // schedule resumes where it stopped rather than sending the missed frames at once.
                start += away;
                next = std::max(next, Clock::now());
            }
            injectFaults(options.faults, frames++, chunk, sequence);
        }
        sequence.push_back(chunk);

        for (const Chunk& c : sequence) {
            if (!options.fast) {
                const auto due = start + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(c.at));
                if (due > next) {
                    std::this_thread::sleep_until(due);
                    next = due;
                }
                out.dropUnread();
            }
            if (!out.write(c.bytes, next)) {
                std::fprintf(stderr, "pexumo-meter-sim: write failed: %s\n", std::strerror(errno));
                return 1;
            }
        }
    }

    if (out.isPty()) {
        // Serve until killed, so that the reader never sees the terminal hang up.
        for (;;)
            ::pause();
    }
    return 0;
}
