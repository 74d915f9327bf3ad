#include "web/journaldesk.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <sys/stat.h>

#include <map>
#include <memory>

namespace pexumo {

QList<JournalEntry> scanJournals(const QStringList& files, const QStringList& folders)
{
    QList<JournalEntry> entries;
    QStringList seen;
    const auto add = [&](const QString& path) {
        const QString clean = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
        if (seen.contains(clean))
            return;
        seen << clean;
        entries.append({journalIdOf(clean), clean});
    };
    for (const QString& file : files)
        add(file);
    for (const QString& folder : folders) {
        const QDir dir(folder);
        for (const QString& name : dir.entryList({QStringLiteral("*.sqlite")},
                                                 QDir::Files | QDir::Readable | QDir::Hidden,
                                                 QDir::Name))
            if (!name.startsWith(u'.'))
                add(dir.filePath(name));
    }
    return entries;
}

namespace {

struct CachedReader
{
    std::unique_ptr<JournalReader> reader;
    QString error;
    qint64 failedAtMs = 0;
    ino_t inode = 0;
};

ino_t inodeOf(const QString& path)
{
    struct stat st = {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

} // namespace

const JournalReader* threadReader(const QString& path, QString* error)
{
    // One connection per file and thread: SQLite connections are not shared between threads.
    thread_local std::map<QString, CachedReader> readers;
    CachedReader& c = readers[path];
    const ino_t inode = inodeOf(path);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (c.reader && (c.reader->needsReopen() || inode != c.inode))
        c.reader.reset();
    if (!c.reader && (c.error.isEmpty() || now - c.failedAtMs > 2000 || inode != c.inode)) {
        auto reader = std::make_unique<JournalReader>();
        c.error = reader->open(path);
        c.inode = inode;
        if (c.error.isEmpty())
            c.reader = std::move(reader);
        else
            c.failedAtMs = now;
    }
    if (error)
        *error = c.error;
    return c.reader.get();
}

JournalWatch::JournalWatch(QStringList files, QStringList folders, int pollMs)
    : m_files(std::move(files)), m_folders(std::move(folders)), m_pollMs(pollMs)
{
}

void JournalWatch::start()
{
    m_timer = new QTimer(this);
    m_timer->setInterval(m_pollMs);
    connect(m_timer, &QTimer::timeout, this, &JournalWatch::poll);
    m_timer->start();
    poll();
}

void JournalWatch::poll()
{
    const int ticksPerScan = std::max(1, 2000 / m_pollMs);
    const int ticksPerBeat = std::max(1, 5000 / m_pollMs);
    bool listChanged = false;
    if (m_ticks % ticksPerScan == 0) {
        const QList<JournalEntry> entries = scanJournals(m_files, m_folders);
        listChanged = entries != m_entries;
        m_entries = entries;
    }
    QStringList ids;
    for (const JournalEntry& e : std::as_const(m_entries)) {
        QString error;
        const JournalReader* reader = threadReader(e.path, &error);
        // A file that cannot be read counts as a version of its own: it shows when it mends.
        const qint64 version = reader ? reader->dataVersion().value_or(-2) : -1;
        const auto it = m_versions.find(e.path);
        if (it == m_versions.end() || *it != version) {
            m_versions[e.path] = version;
            ids << e.id;
        }
    }
    if (m_ticks % ticksPerBeat == 0 || listChanged) {
        ids.clear();
        for (const JournalEntry& e : std::as_const(m_entries))
            ids << e.id;
    }
    ++m_ticks;
    if (!ids.isEmpty() || listChanged)
        Q_EMIT changed(m_entries, ids);
}

JournalDesk::JournalDesk(const QStringList& files, const QStringList& folders, QObject* parent)
    : QObject(parent)
{
    qRegisterMetaType<QList<JournalEntry>>();
    m_entries = scanJournals(files, folders);
    m_pool.setMaxThreadCount(2);
    m_pool.setExpiryTimeout(-1); // threads keep their connections
    m_warmer = std::make_unique<SeriesWarmer>(m_series);
    auto* watch = new JournalWatch(files, folders);
    watch->moveToThread(&m_watchThread);
    connect(&m_watchThread, &QThread::started, watch, &JournalWatch::start);
    connect(&m_watchThread, &QThread::finished, watch, &QObject::deleteLater);
    connect(watch, &JournalWatch::changed, this,
            [this](const QList<JournalEntry>& entries, const QStringList& ids) {
                m_entries = entries;
                m_warmer->warm(m_entries);
                Q_EMIT changed(ids);
            });
    m_watchThread.start();
}

JournalDesk::~JournalDesk()
{
    m_watchThread.quit();
    m_watchThread.wait();
    m_pool.waitForDone();
}

std::optional<JournalEntry> JournalDesk::entry(const QString& id) const
{
    for (const JournalEntry& e : m_entries)
        if (e.id == id)
            return e;
    return std::nullopt;
}

} // namespace pexumo
