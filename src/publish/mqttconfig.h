#pragma once

#include "base/config.h"

#include <QString>

namespace pexumo {

/// The broker's port for a plain connection and for one over TLS.
inline constexpr int DefaultMqttPort = 1883;
inline constexpr int DefaultMqttTlsPort = 8883;

/// Where and as whom readings are published: config.ini's section [Mqtt], keys "Host", "Port",
/// "Topic", "ClientId", "User", "PasswordFile" and "CaFile".
struct MqttConfig
{
    QString host; ///< broker host name or address; "" when publishing is off
    int port = DefaultMqttPort;
    /// Root of every topic, without a trailing "/" and with {port} and {host} filled in: rows
    /// go to <topic>/pH ...
    QString topic;
    QString clientId; ///< the name the broker knows this program by
    QString user;     ///< "" to connect without a user name
    QString password; ///< the first line of PasswordFile; config.ini never holds it
    QString caFile;   ///< absolute path of the CA certificates; "" for a plain connection
    /// Why publishing is off although Host is set, in one line that names the key
    /// ("Port \"x\": not a port number from 1 to 65535"); "" when nothing is wrong.
    QString problem;
    /// Something to fix that does not keep publishing off, in one line: "password file
    /// /etc/pexumo/mqtt.pw can be read by every user of this computer: chmod o-r ..."; "" for none.
    QString warning;

    /// Host is set and every value is usable.
    bool isOn() const { return !host.isEmpty() && problem.isEmpty(); }

    friend bool operator==(const MqttConfig&, const MqttConfig&) = default;
};

/// The machine and user the program runs as, which name its default topic and client id.
struct MqttMachine
{
    QString hostName;
    QString userName;
    /// One of several programs of one user on one machine (a logger per meter: its port), so
    /// that each is a client of its own and has a topic of its own; "" for none.
    QString instance;
    /// The name of the meter's port, without its folder ("ttyUSB0"): what {port} stands for.
    QString port;

    /// This machine's host name and the name of the user the process runs as.
    static MqttMachine current();
};

/// Turns the [Mqtt] keys into a configuration. PasswordFile and CaFile are relative to the folder
/// of \a configPath; the password file is read here. Topic defaults to "pexumo/<host name>"
/// (and "/<instance>" when there is one: a logger's port), and "{port}" and "{host}" in it stand
/// for the port's name and the host name; ClientId defaults to "pexumo-<host name>-<user>" (and
/// "-<instance>"), Port to 1883, or 8883 with CaFile.
MqttConfig mqttConfigFrom(const ConfigSection& keys, const QString& configPath,
                          const MqttMachine& machine = MqttMachine::current());

/// The [Mqtt] section of the configuration file at \a configPath.
MqttConfig readMqttConfig(const QString& configPath,
                          const MqttMachine& machine = MqttMachine::current());

} // namespace pexumo
