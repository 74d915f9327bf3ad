#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QString>

#include <functional>
#include <optional>
#include <variant>

namespace pexumo {

/// The password hash: Argon2id through libsodium's crypto_pwhash_str, with a salt of its own
/// and the cost in the text. 2 passes over 19 MiB: about 50 ms on a small computer, so that a
/// login stays quick and a guess stays dear, and the memory of a small board is not strained.
QByteArray hashPassword(const QByteArray& password);
/// \a password matches \a hash (a text hashPassword() made).
bool passwordMatches(const QByteArray& hash, const QByteArray& password);

/// Writes \a hash to \a path for this user only (0600; its folder made 0700 when missing).
/// "" or why it could not be written.
QString writePasswordFile(const QString& path, const QByteArray& hash);
/// The hash kept at \a path; none with \a error set when the file is missing, unreadable, not
/// one of ours, or readable by others (it is then not used: fix its mode first).
std::optional<QByteArray> readPasswordFile(const QString& path, QString* error);

/// Who is logged in, and who guessed wrong too often. Time is handed in, so that a test can
/// step over the lock-out instead of waiting for it.
class WebAuth
{
public:
    static constexpr int MaxWrongGuesses = 5;
    /// Checks under way over all addresses: each holds 19 MiB while it runs.
    static constexpr int MaxPendingChecks = 64;
    /// Addresses whose wrong passwords are remembered; past this the ones neither locked out
    /// nor waiting for a check are forgotten.
    static constexpr qsizetype MaxAddresses = 4096;
    static constexpr qint64 LockoutMs = 60'000;
    /// A login is forgotten after this long without a request.
    static constexpr qint64 SessionIdleMs = 12 * 3600'000;

    using Clock = std::function<qint64()>;
    explicit WebAuth(std::optional<QByteArray> hash, Clock clock = {});

    /// A password is asked at all.
    bool required() const { return m_hash.has_value(); }

    enum class Login
    {
        Granted,
        Refused,
        LockedOut, ///< too many wrong passwords from that address: refused whatever it is
        /// Not checked: as many checks from that address are under way as wrong passwords
        /// are left before the lock-out (or too many from all addresses)
        Busy
    };
    /// Checks \a password from \a peer; on success \a token is the new session's cookie value.
    /// beginLogin(), passwordMatches() and finishLogin() in one.
    Login login(const QHostAddress& peer, const QByteArray& password, QByteArray* token);

    /// Begins a check of a password from \a peer, to be run off the server's thread
    /// (passwordMatches() takes tens of milliseconds) and ended with finishLogin(): the hash to
    /// check it against, or why it is refused unchecked (LockedOut or Busy). A check under way
    /// counts as a wrong password until it ends, so that a burst of guesses sent at once meets
    /// the same lock-out as guesses sent one after another.
    std::variant<QByteArray, Login> beginLogin(const QHostAddress& peer);
    /// Ends the check begun for \a peer: \a matches is what passwordMatches() said.
    Login finishLogin(const QHostAddress& peer, bool matches, QByteArray* token);
    /// The session named by \a token is open (and stays so for SessionIdleMs more).
    bool valid(const QByteArray& token);
    void logout(const QByteArray& token);
    /// Seconds until \a peer may try again; 0 when it may.
    int lockedForSeconds(const QHostAddress& peer) const;

private:
    struct Guesses
    {
        int wrong = 0;
        int pending = 0; ///< checks begun and not ended
        qint64 lockedUntilMs = 0;
    };
    qint64 now() const;

    std::optional<QByteArray> m_hash;
    Clock m_clock;
    QHash<QByteArray, qint64> m_sessions; ///< token -> last use
    QHash<QString, Guesses> m_guesses;    ///< per address
    int m_pending = 0;                    ///< checks under way, over all addresses
};

} // namespace pexumo
