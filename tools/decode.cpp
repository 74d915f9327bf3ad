// pexumo-decode: decodes a capture of the meter's serial line, one line per event.
//
//   pexumo-decode [--decimal-comma] [FILE]
//
// FILE (or standard input when it is absent or "-") holds the raw bytes as they came from the
// meter. Output lines, fields separated by one tab:
//   live    TYPE VALUE UNIT TEMP TEMPUNIT SIGN
//   record  NO TYPE VALUE UNIT TEMP TEMPUNIT SIGN
//   halt
//   dropped REASON        ("mode M" for an undefined mode code M, "digits" for a damaged digit)
//   skipped N             (N bytes between frames that belong to no frame)
// Exit status 0; 2 when FILE cannot be read or the arguments are wrong. --help and --version as
// in every Pexumo program.

#include "base/commandline.h"
#include "base/numberformat.h"
#include "base/version.h"
#include "link/framestream.h"
#include "link/meterframe.h"

#include <QCoreApplication>
#include <QFile>
#include <QString>

#include <cstdio>
#include <string>

using namespace pexumo;

namespace {

class Printer
{
public:
    explicit Printer(NumberFormat format) : m_format(format) {}

    void print(const FrameStream::Item& item)
    {
        if (item.kind == FrameStream::Item::Kind::Skipped) {
            m_line = "skipped\t" + std::to_string(item.skipped);
            flush();
            return;
        }
        const FrameEvent ev = decodeFrame(item.frame, m_format);
        switch (ev.kind) {
        case FrameEvent::Kind::Live:
            m_line = "live";
            add(ev.live.FMeasType);
            add(ev.live.FMeasValue);
            add(ev.live.FMeasUnit);
            add(ev.live.FMeasTemp);
            add(ev.live.FTempUnit);
            add(ev.live.FValueSign);
            break;
        case FrameEvent::Kind::Record:
            m_line = "record";
            add(int(ev.recordNo));
            add(ev.record.type);
            add(ev.record.value);
            add(ev.record.unit);
            add(ev.record.temp);
            add(ev.record.tempUnit);
            add(ev.record.sign);
            break;
        case FrameEvent::Kind::Halt:
            m_line = "halt";
            break;
        case FrameEvent::Kind::Dropped:
            m_line = "dropped\t";
            m_line += ev.reason == FrameEvent::DropReason::UndefinedMode
                          ? "mode " + std::to_string(ev.mode)
                          : std::string(ev.reason == FrameEvent::DropReason::BadDigits ? "digits"
                                                                                       : "framing");
            break;
        }
        flush();
    }

private:
    void add(const QString& field)
    {
        m_line += '\t';
        m_line += field.toStdString();
    }
    void add(qint32 number)
    {
        m_line += '\t';
        m_line += std::to_string(number);
    }
    void flush()
    {
        m_line += '\n';
        std::fwrite(m_line.data(), 1, m_line.size(), stdout);
    }

    NumberFormat m_format;
    std::string m_line;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pexumo-decode"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PEXUMO_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Decodes a capture of the meter's serial line, one line per event."));
    const QCommandLineOption decimalComma(
        QStringLiteral("decimal-comma"),
        QStringLiteral("Write numbers with a comma as the decimal separator."));
    parser.addOption(decimalComma);
    parser.addPositionalArgument(
        QStringLiteral("FILE"),
        QStringLiteral("The bytes as they came from the port; standard input without FILE or "
                       "with -."),
        QStringLiteral("[FILE]"));
    if (const auto status = readCommandLine(parser, QCoreApplication::arguments(), 1))
        return *status;
    const NumberFormat format =
        parser.isSet(decimalComma) ? NumberFormat{u',', u'.'} : NumberFormat{u'.', u','};
    const QStringList positional = parser.positionalArguments();
    const bool havePath = !positional.isEmpty();
    const QString path = havePath ? positional.first() : QString();
    NumberFormat::setCurrent(format);

    QFile file;
    const bool fromStdin = !havePath || path == u"-";
    const bool opened = fromStdin ? file.open(stdin, QIODevice::ReadOnly)
                                  : (file.setFileName(path), file.open(QIODevice::ReadOnly));
    const QString name = fromStdin ? QStringLiteral("standard input") : path;
    if (!opened) {
        std::fprintf(stderr, "pexumo-decode: cannot read %s: %s\n", qPrintable(name),
                     qPrintable(file.errorString()));
        return 2;
    }

    FrameStream stream;
    Printer printer(format);
    for (;;) {
        const QByteArray chunk = file.read(64 * 1024);
        if (chunk.isEmpty()) {
            if (file.error() != QFileDevice::NoError) {
                std::fflush(stdout);
                std::fprintf(stderr, "pexumo-decode: cannot read %s: %s\n", qPrintable(name),
                             qPrintable(file.errorString()));
                return 2;
            }
            break; // end of input: a read from a pipe waits until bytes come or it closes
        }
        stream.append(chunk);
        while (auto item = stream.next())
            printer.print(*item);
    }
    if (auto rest = stream.finish())
        printer.print(*rest);
    return 0;
}
