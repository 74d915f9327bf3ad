#pragma once

#include "link/comport.h"

#include <QString>

namespace pexumo {

/// The port and line settings last chosen in the setup dialog, kept per user for the next start.
/// They live in the user's configuration folder under the organisation and application name
/// "Pexumo" (on Linux ~/.config/Pexumo/Pexumo.conf, or under $XDG_CONFIG_HOME), group [Port]:
///
///     Name=/dev/ttyUSB0          the port name, or "Demo meter"
///     BaudRate=9600              bits per second
///     DataBits=8                 5 to 8
///     StopBits=1                 1, 1.5 or 2
///     Parity=None                None, Even, Odd, Space or Mark
///     FlowControl=None           None, Hardware or Software
///
/// config.ini is never written; this file is the program's own.
namespace PortMemory {

/// The remembered settings. A first start, or a key missing or not understood, gives the
/// meter's line as the program has always started it: "COM2", 9600 baud, 8N1, no flow control.
PortSettings load();

/// Keeps \a settings for the next start. False when the file could not be written; \a error
/// then names it.
bool save(const PortSettings& settings, QString* error = nullptr);

} // namespace PortMemory

} // namespace pexumo
