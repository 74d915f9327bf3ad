#include "link/portidentity.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace pexumo {
namespace {

PortDescription usb(const char* name, const char* serial, quint16 vid, quint16 pid)
{
    return {QString::fromLatin1(name), QStringLiteral("/dev/") + QString::fromLatin1(name),
            QString::fromLatin1(serial), vid, pid};
}

PortDescription plain(const char* name)
{
    return {QString::fromLatin1(name),
            QStringLiteral("/dev/") + QString::fromLatin1(name),
            {},
            std::nullopt,
            std::nullopt};
}

/// Device files that exist, by the name used to reach them; every other name is missing.
using Devices = QMap<QString, QString>;

DeviceResolver resolverOf(const Devices& devices)
{
    return [devices](const QString& name) { return devices.value(name); };
}

struct Case
{
    const char* label;
    const char* name; ///< the port name the meter was opened under
    QList<PortDescription> before;
    Devices devicesBefore;
    QList<PortDescription> after;
    Devices devicesAfter;
    std::optional<const char*> expected; ///< the name to open again, or none
};

void PrintTo(const Case& c, std::ostream* os)
{
    *os << c.label;
}

const Devices kUsb0{{"ttyUSB0", "/dev/ttyUSB0"}, {"/dev/ttyUSB0", "/dev/ttyUSB0"}};
const Devices kUsb1{{"ttyUSB1", "/dev/ttyUSB1"}, {"/dev/ttyUSB1", "/dev/ttyUSB1"}};
const Devices kBoth{{"ttyUSB0", "/dev/ttyUSB0"},
                    {"/dev/ttyUSB0", "/dev/ttyUSB0"},
                    {"ttyUSB1", "/dev/ttyUSB1"},
                    {"/dev/ttyUSB1", "/dev/ttyUSB1"}};
const char* const kById = "/dev/serial/by-id/usb-meter-if00";

class Identity : public ::testing::TestWithParam<Case>
{
};

TEST_P(Identity, findsTheSameMeterAndNoOther)
{
    const Case& c = GetParam();
    const PortIdentity id =
        PortIdentity::of(QString::fromLatin1(c.name), c.before, resolverOf(c.devicesBefore));
    const std::optional<QString> found = id.findIn(c.after, resolverOf(c.devicesAfter));
    if (c.expected)
        EXPECT_EQ(found, std::optional<QString>(QString::fromLatin1(*c.expected)));
    else
        EXPECT_EQ(found, std::nullopt) << found->toStdString();
}

std::string caseName(const ::testing::TestParamInfo<Case>& info)
{
    return info.param.label;
}

/// A meter opened as ttyUSB0 while the list showed it as \a before, looked for after the pull.
Case fromUsb0(const char* label, const PortDescription& before, QList<PortDescription> after,
              Devices devicesAfter, std::optional<const char*> expected)
{
    return {label, "ttyUSB0", {before}, kUsb0, std::move(after), std::move(devicesAfter), expected};
}

const PortDescription kSerialA1 = usb("ttyUSB0", "A1", 0x0403, 0x6001);
const PortDescription kNoSerial = usb("ttyUSB0", "", 0x1a86, 0x7523);

INSTANTIATE_TEST_SUITE_P(
    SerialNumber, Identity,
    ::testing::Values(fromUsb0("backUnderTheSameName", kSerialA1,
                               {usb("ttyUSB0", "A1", 0x0403, 0x6001)}, kUsb0, "ttyUSB0"),
                      fromUsb0("backUnderAnotherName", kSerialA1,
                               {usb("ttyUSB0", "B7", 0x0403, 0x6001),
                                usb("ttyUSB1", "A1", 0x0403, 0x6001)},
                               kBoth, "ttyUSB1"),
                      fromUsb0("anotherAdapterUnderTheName", kSerialA1,
                               {usb("ttyUSB0", "B7", 0x0403, 0x6001)}, kUsb0, std::nullopt),
                      fromUsb0("sameNumberFromAnotherMaker", kSerialA1,
                               {usb("ttyUSB0", "A1", 0x10c4, 0xea60)}, kUsb0, std::nullopt),
                      fromUsb0("stillAway", kSerialA1, {}, {}, std::nullopt),
                      Case{"aLinkTheUserChoseIsKept",
                           kById,
                           {kSerialA1},
                           {{kById, "/dev/ttyUSB0"}, {"/dev/ttyUSB0", "/dev/ttyUSB0"}},
                           {usb("ttyUSB1", "A1", 0x0403, 0x6001)},
                           {{kById, "/dev/ttyUSB1"}, {"/dev/ttyUSB1", "/dev/ttyUSB1"}},
                           kById}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    VendorProduct, Identity,
    ::testing::Values(fromUsb0("backUnderTheSameName", kNoSerial,
                               {usb("ttyUSB0", "", 0x1a86, 0x7523)}, kUsb0, "ttyUSB0"),
                      fromUsb0("onlyUnderAnotherName", kNoSerial,
                               {usb("ttyUSB1", "", 0x1a86, 0x7523)}, kUsb1, std::nullopt),
                      fromUsb0("anotherProductUnderTheName", kNoSerial,
                               {usb("ttyUSB0", "", 0x1a86, 0x5523)}, kUsb0, std::nullopt),
                      fromUsb0("anAdapterWithASerialNumber", kNoSerial,
                               {usb("ttyUSB0", "X9", 0x1a86, 0x7523)}, kUsb0, std::nullopt)),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    Name, Identity,
    ::testing::Values(
        // A pseudo-terminal behind a link: the port list shows neither.
        Case{"unlistedLinkLeadsToADeviceAgain",
             "/tmp/meter",
             {},
             {{"/tmp/meter", "/dev/pts/4"}},
             {},
             {{"/tmp/meter", "/dev/pts/7"}},
             "/tmp/meter"},
        Case{
            "danglingLink", "/tmp/meter", {}, {{"/tmp/meter", "/dev/pts/4"}}, {}, {}, std::nullopt},
        Case{"aUsbAdapterNowUnderTheName",
             "/tmp/meter",
             {},
             {{"/tmp/meter", "/dev/pts/4"}},
             {usb("ttyUSB0", "A1", 0x0403, 0x6001)},
             {{"/tmp/meter", "/dev/ttyUSB0"}, {"/dev/ttyUSB0", "/dev/ttyUSB0"}},
             std::nullopt},
        Case{"builtInPort",
             "ttyS0",
             {plain("ttyS0")},
             {{"ttyS0", "/dev/ttyS0"}},
             {plain("ttyS0")},
             {{"ttyS0", "/dev/ttyS0"}},
             "ttyS0"}),
    caseName);

TEST(PortIdentityMark, strongestMarkTheListShows)
{
    const DeviceResolver resolve = resolverOf(kUsb0);
    EXPECT_EQ(PortIdentity::of("ttyUSB0", {usb("ttyUSB0", "A1", 1, 2)}, resolve).mark(),
              PortIdentity::Mark::SerialNumber);
    EXPECT_EQ(PortIdentity::of("/dev/ttyUSB0", {usb("ttyUSB0", "", 1, 2)}, resolve).mark(),
              PortIdentity::Mark::VendorProduct);
    EXPECT_EQ(PortIdentity::of("ttyUSB0", {plain("ttyUSB0")}, resolve).mark(),
              PortIdentity::Mark::Name);
    EXPECT_EQ(PortIdentity::of("COM2", {usb("ttyUSB0", "A1", 1, 2)}, resolve).mark(),
              PortIdentity::Mark::Name);
}

TEST(PortIdentityMark, portListIsAskedOnlyWhenItCanDecide)
{
    const Devices none;
    EXPECT_FALSE(PortIdentity::named("/tmp/meter").needsPortList(resolverOf(none)));
    EXPECT_TRUE(PortIdentity::named("/tmp/meter")
                    .needsPortList(resolverOf({{"/tmp/meter", "/dev/pts/3"}})));
    const PortIdentity bySerial =
        PortIdentity::of("ttyUSB0", {usb("ttyUSB0", "A1", 1, 2)}, resolverOf(kUsb0));
    EXPECT_TRUE(bySerial.needsPortList(resolverOf(none))); // it may be back under another name
}

TEST(ResolveDevice, followsLinksAndReportsMissingFiles)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString target = dir.filePath("pts7");
    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const QString link = dir.filePath("meter");
    ASSERT_TRUE(QFile::link(target, link));
    const QString canonicalTarget = QDir(dir.path()).canonicalPath() + "/pts7";
    EXPECT_EQ(resolveDevice(link), canonicalTarget);
    ASSERT_TRUE(QFile::remove(target));
    EXPECT_EQ(resolveDevice(link), QString()); // dangling: the device is gone
    EXPECT_EQ(resolveDevice(QStringLiteral("null")), QStringLiteral("/dev/null"));
    EXPECT_EQ(resolveDevice(QStringLiteral("no-such-port-here")), QString());
    EXPECT_EQ(resolveDevice(QString()), QString());
}

} // namespace
} // namespace pexumo
