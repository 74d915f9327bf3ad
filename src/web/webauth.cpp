#include "web/webauth.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <sodium.h>

namespace pexumo {

namespace {
constexpr unsigned long long HashPasses = crypto_pwhash_OPSLIMIT_INTERACTIVE; // 2
constexpr size_t HashMemory = 19 * 1024 * 1024;
constexpr qint64 MaxPasswordFileBytes = 4096;

bool sodiumReady()
{
    static const bool ready = sodium_init() >= 0;
    return ready;
}
} // namespace

QByteArray hashPassword(const QByteArray& password)
{
    if (!sodiumReady())
        return {};
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, password.constData(), quint64(password.size()), HashPasses,
                          HashMemory) != 0)
        return {}; // out of memory
    return QByteArray(out);
}

bool passwordMatches(const QByteArray& hash, const QByteArray& password)
{
    if (!sodiumReady() || hash.isEmpty() || hash.size() >= crypto_pwhash_STRBYTES)
        return false;
    return crypto_pwhash_str_verify(hash.constData(), password.constData(),
                                    quint64(password.size())) == 0;
}

QString writePasswordFile(const QString& path, const QByteArray& hash)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!QFileInfo::exists(folder) &&
        !QDir().mkpath(folder)) // the folders above it are the user's own
        return QStringLiteral("cannot create the folder %1").arg(folder);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    // flush() before commit(): QSaveFile reports a failed last write at commit() as success.
    if (file.write(hash + '\n') != hash.size() + 1 || !file.flush() || !file.commit())
        return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    return {};
}

std::optional<QByteArray> readPasswordFile(const QString& path, QString* error)
{
    const auto fail = [&](const QString& why) -> std::optional<QByteArray> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    QFile file(path);
    if (!file.exists())
        return fail(QStringLiteral("no password is set (%1 is missing): run pexumo-web "
                                   "--set-password")
                        .arg(path));
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther |
                                      QFile::WriteOther;
    if (file.permissions() & others)
        return fail(QStringLiteral("%1 can be read by others: chmod 600 it").arg(path));
    if (!file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    const QByteArray hash = file.read(MaxPasswordFileBytes).trimmed();
    if (!hash.startsWith("$argon2id$"))
        return fail(QStringLiteral("%1 holds no password hash: run pexumo-web --set-password")
                        .arg(path));
    return hash;
}

WebAuth::WebAuth(std::optional<QByteArray> hash, Clock clock)
    : m_hash(std::move(hash)), m_clock(std::move(clock))
{
}

qint64 WebAuth::now() const
{
    return m_clock ? m_clock() : QDateTime::currentMSecsSinceEpoch();
}

WebAuth::Login WebAuth::login(const QHostAddress& peer, const QByteArray& password,
                              QByteArray* token)
{
    const std::variant<QByteArray, Login> begun = beginLogin(peer);
    if (const Login* refused = std::get_if<Login>(&begun))
        return *refused;
    return finishLogin(peer, passwordMatches(std::get<QByteArray>(begun), password), token);
}

std::variant<QByteArray, WebAuth::Login> WebAuth::beginLogin(const QHostAddress& peer)
{
    if (m_guesses.size() >= MaxAddresses) {
        // Many addresses guessed: forget those that are not locked out and wait for no check.
        for (auto it = m_guesses.begin(); it != m_guesses.end();)
            it = it->pending == 0 && it->lockedUntilMs <= now() ? m_guesses.erase(it)
                                                                : std::next(it);
    }
    Guesses& g = m_guesses[peer.toString()];
    if (g.lockedUntilMs > now())
        return Login::LockedOut;
    if (g.wrong + g.pending >= MaxWrongGuesses || m_pending >= MaxPendingChecks)
        return Login::Busy;
    ++g.pending;
    ++m_pending;
    // Without a hash nothing matches: the empty text is no hash.
    return m_hash.value_or(QByteArray());
}

WebAuth::Login WebAuth::finishLogin(const QHostAddress& peer, bool matches, QByteArray* token)
{
    Guesses& g = m_guesses[peer.toString()];
    --g.pending;
    --m_pending;
    if (!m_hash || !matches) {
        if (++g.wrong >= MaxWrongGuesses) {
            g.wrong = 0;
            g.lockedUntilMs = now() + LockoutMs;
        }
        return Login::Refused;
    }
    // The right password forgives the wrong ones; checks still under way still count.
    g.wrong = 0;
    sodiumReady();
    if (g.pending == 0 && g.lockedUntilMs <= now())
        m_guesses.remove(peer.toString());
    unsigned char bytes[32];
    randombytes_buf(bytes, sizeof bytes);
    const QByteArray t = QByteArray(reinterpret_cast<const char*>(bytes), sizeof bytes).toHex();
    m_sessions.insert(t, now());
    if (token)
        *token = t;
    return Login::Granted;
}

bool WebAuth::valid(const QByteArray& token)
{
    const auto it = m_sessions.find(token);
    if (it == m_sessions.end())
        return false;
    if (now() - *it > SessionIdleMs) {
        m_sessions.erase(it);
        return false;
    }
    *it = now();
    return true;
}

void WebAuth::logout(const QByteArray& token)
{
    m_sessions.remove(token);
}

int WebAuth::lockedForSeconds(const QHostAddress& peer) const
{
    const auto it = m_guesses.find(peer.toString());
    if (it == m_guesses.end() || it->lockedUntilMs <= now())
        return 0;
    return int((it->lockedUntilMs - now() + 999) / 1000);
}

} // namespace pexumo
