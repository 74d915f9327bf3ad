#pragma once

#include <QHostAddress>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

namespace pexumo {

/// Where pexumo-web listens unless told otherwise: this computer only.
inline constexpr quint16 DefaultWebPort = 8080;

/// An address and port to listen on, as "--listen" and "Listen" write it.
struct ListenAddress
{
    QHostAddress address{QHostAddress::LocalHost};
    quint16 port = DefaultWebPort;

    /// Only this computer can connect: no login is asked.
    bool loopback() const { return address.isLoopback(); }
    /// "127.0.0.1:8080", "[::1]:8080".
    QString text() const;
};

/// Reads "ADDR:PORT": an IPv4 address, an IPv6 address in brackets, or "localhost", and a port
/// 0 to 65535 (0: any free port). Never a name look-up: a host name is refused. None with
/// \a problem set for anything else.
std::optional<ListenAddress> parseListenAddress(QStringView text, QString* problem = nullptr);

/// What pexumo-web serves and how: section [Web] of config.ini, then the command line.
struct WebSettings
{
    ListenAddress listen;
    QStringList journalFiles;   ///< each shown, whatever it holds
    QStringList journalFolders; ///< their *.sqlite files, looked at again while running
    QString certFile;           ///< with keyFile: TLS
    QString keyFile;
    /// The Argon2id hash of the password (pexumo-web --set-password writes it).
    QString passwordFile;
    QString title;        ///< the pages' heading: "Title", else the window's "FormCaption"
    QString alarmsFile;   ///< the alarm limits drawn on the charts; "" the user's settings
    bool decimalComma = false; ///< "ChangeDecimal" of [Pexumo]: the exports' numbers
};

/// The password file a user gets unless [Web] PasswordFile names another:
/// ~/.config/Pexumo/web-password.
QString defaultPasswordFile();

/// Reads [Web] (Listen, Journals, CertFile, KeyFile, PasswordFile, Title) and the keys of
/// [Pexumo] it shares with the window (FormCaption, ChangeDecimal, JournalFile) from the
/// configuration file at \a configPath. "Journals" lists files and folders separated by ";";
/// relative names are taken from the folder of the configuration file. Without "Journals" the
/// user's own journal is shown (the window's and the user logger's). Problems (a Listen that
/// does not read, a CertFile without KeyFile) are added to \a problems.
WebSettings readWebSettings(const QString& configPath, QStringList* problems);

} // namespace pexumo
