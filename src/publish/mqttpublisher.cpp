#include "publish/mqttpublisher.h"

#include "publish/payload.h"

#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include <csignal>
#include <mosquitto.h>
#include <poll.h>
#include <pthread.h>
#include <netdb.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace pexumo {

// The thread drives libmosquitto through its own poll() on the client's socket and an eventfd,
// so that new rows, alarms and stop() wake it at once instead of at the next timeout. Each
// connection attempt gets a fresh client: what was in flight on a lost connection is simply
// sent again from the outbox, in order, rather than also by the library's own retry.
//
// libmosquitto looks up the broker's name on the calling thread, for as long as the system's
// resolver takes (10 s and more with a name server that does not answer), and nothing can cut
// that short. So the name is looked up first on a thread of its own, which is never joined, and
// the library gets the address it found: its own look-up of a number returns at once, and its
// connect does not wait. With TLS the library needs the name itself, to check the broker's
// certificate: it is given the name, only once the look-up has just answered for it.

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

/// Alarms sent and not yet acknowledged at most, beside the rows' window.
constexpr int AlarmWindow = 16;
/// The waiting count is asked of the outbox at most this often while it changes.
constexpr milliseconds CountInterval{250};
/// After the outbox failed to read, it is asked again this much later (or at new rows).
constexpr milliseconds ReadRetry{1000};

/// What the stop keeps for "offline" when the rows take all its time.
constexpr milliseconds OfflineReserve{300};

/// The publisher's eventfd; shared with a look-up thread that may end after the publisher.
struct Waker
{
    Waker() : fd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
    ~Waker()
    {
        if (fd >= 0)
            ::close(fd);
    }
    Waker(const Waker&) = delete;
    Waker& operator=(const Waker&) = delete;
    void wake() const
    {
        const quint64 one = 1;
        [[maybe_unused]] const auto written = ::write(fd, &one, sizeof one);
    }
    const int fd;
};

/// A look-up under way on its thread; the result is read once done.
struct Lookup
{
    std::mutex mutex;
    bool done = false;
    MqttLookup result;
};

QString lowerFirst(QString text)
{
    if (!text.isEmpty())
        text[0] = text[0].toLower();
    if (text.endsWith(u'.'))
        text.chop(1);
    return text;
}

int millisUntil(Clock::time_point when)
{
    const auto left = std::chrono::ceil<milliseconds>(when - Clock::now()).count();
    return int(std::clamp<qint64>(left, 0, 1000));
}

} // namespace

struct MqttPublisher::Worker
{
    Worker(MqttPublisher& owner, Outbox& outbox, const MqttConfig& config, MqttTiming timing,
           MqttResolver resolver, qint64 session);
    ~Worker();

    // Any thread.
    void wake();
    void requestStop(Clock::time_point deadline);

    // The publisher's thread.
    void run();
    bool attachOutbox();
    void connect();
    void startLookup();
    void connectTo(const QString& address);
    void fill();
    bool fillAlarms();
    bool drained() const;
    bool publish(const QByteArray& topic, const QByteArray& payload, bool retain, int& mid);
    void step(int timeoutMs);
    void settleAcks();
    void drop(const QString& reason);
    void closeConnection();
    void goOff(const QString& reason);
    void setState(MqttState state, const QString& reason);
    void reportStatus();
    bool readFailed();
    int nextTimeout() const;
    QString reasonOf(int rc, int err) const;
    static QString refusal(int connack);
    void shutdown();

    void onConnect(int rc);
    void onDisconnect(int rc);
    void onPublish(int mid);

    MqttPublisher& owner;
    Outbox& outbox;
    const MqttConfig config;
    const MqttTiming timing;
    const MqttResolver resolver;
    const QByteArray statusTopic;
    const QByteArray alarmTopic;
    const QByteArray online;
    const QByteArray offline;
    std::array<QByteArray, ListCount> rowTopics;

    std::thread thread;
    const std::shared_ptr<Waker> waker = std::make_shared<Waker>();
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> newRows{false};
    Clock::time_point stopDeadline; ///< set before stopRequested
    bool stoppedClean = false;      ///< read by stop() after the thread ended

    bool attached = false;
    std::shared_ptr<Lookup> lookup; ///< the look-up under way, or done and not yet used
    QStringList addresses;          ///< what the last look-up found
    qsizetype addressIndex = 0;     ///< the one tried now
    mosquitto* mosq = nullptr;
    bool connected = false; ///< the broker accepted the connection
    bool dropped = false;   ///< the connection failed; closed after the library call returns
    bool off = false;       ///< a fault no retry can mend
    QString dropReason;
    Clock::time_point attemptStarted;
    Clock::time_point nextAttempt;
    milliseconds retryDelay{0};

    OutboxPosition acked; ///< the broker has every row up to here
    OutboxPosition sent;  ///< the last row handed to the connection
    bool maybeMore = true;
    std::deque<OutboxRow> fetched; ///< read from the outbox, not sent yet
    QString readProblem;           ///< why the outbox's last read failed; "" when it worked
    Clock::time_point readRetry;
    struct InFlight
    {
        int mid;
        OutboxPosition position;
        bool acked = false;
    };
    std::deque<InFlight> rowsInFlight; ///< in the order sent
    std::size_t ackedAtFront = 0;      ///< acknowledged entries at the front of rowsInFlight
    std::vector<std::pair<int, OutboxAlarm>> alarmsInFlight;
    bool alarmsMaybe = true; ///< the outbox may hold alarms not read yet
    int offlineMid = -1;
    bool offlineAcked = false;

    MqttState state = MqttState::Connecting;
    QString reason;
    qint64 waiting = 0;
    qint64 sentSinceConnect = 0; ///< rows acknowledged on this connection
    bool backlog = false;        ///< rows waited when it was made, and some still do
    qint64 backlogSent = 0;      ///< MqttStatus::sent
    bool stateDirty = true;
    bool countDirty = true;
    Clock::time_point lastCount;
    MqttStatus posted{MqttState::Off, -1, {}, 0};
};

MqttPublisher::Worker::Worker(MqttPublisher& owner, Outbox& outbox, const MqttConfig& config,
                              MqttTiming timing, MqttResolver resolver, qint64 session)
    : owner(owner), outbox(outbox), config(config), timing(timing), resolver(std::move(resolver)),
      statusTopic((config.topic + QStringLiteral("/status")).toUtf8()),
      alarmTopic((config.topic + QStringLiteral("/alarm")).toUtf8()),
      online(statusPayload(true, session)), offline(statusPayload(false, session))
{
    static std::once_flag libraryReady;
    std::call_once(libraryReady, [] { mosquitto_lib_init(); });
    for (ListId list : AllLists)
        rowTopics[indexOf(list)] = rowTopic(config.topic, list);
}

MqttPublisher::Worker::~Worker() = default;

void MqttPublisher::Worker::wake()
{
    // One write per burst of rows: the thread clears the flag after draining the eventfd.
    if (!newRows.exchange(true))
        waker->wake();
}

void MqttPublisher::Worker::requestStop(Clock::time_point deadline)
{
    stopDeadline = deadline;
    stopRequested = true;
    waker->wake();
}

void MqttPublisher::Worker::run()
{
    // A TLS write to a connection the broker closed raises SIGPIPE, which would end the whole
    // program; blocked on this thread, the write fails with EPIPE instead.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    pthread_setname_np(pthread_self(), "pexumo-mqtt");

    retryDelay = timing.firstRetry;
    nextAttempt = Clock::now();
    while (!stopRequested) {
        if (!attached && Clock::now() >= readRetry && !attachOutbox()) {
            reportStatus();
            step(nextTimeout());
            continue;
        }
        if (!readProblem.isEmpty() && Clock::now() >= readRetry) {
            maybeMore = alarmsMaybe = true;
            countDirty = true;
        }
        if (!mosq && !off && Clock::now() >= nextAttempt)
            connect();
        if (connected && !dropped)
            fill();
        if (dropped && mosq)
            closeConnection();
        reportStatus();
        step(nextTimeout());
    }
    shutdown();
    if (attached)
        outbox.detach();
}

bool MqttPublisher::Worker::attachOutbox()
{
    // Another program may hold the journal locked for a while (a backup, an open transaction):
    // publishing starts once it can read, and says why it waits meanwhile.
    const QString problem = outbox.attach([this] { wake(); });
    if (!problem.isEmpty()) {
        setState(MqttState::Disconnected, QStringLiteral("cannot read the rows to publish: ") +
                                              lowerFirst(problem));
        readRetry = Clock::now() + ReadRetry;
        return false;
    }
    attached = true;
    acked = sent = outbox.acknowledgedPosition();
    setState(MqttState::Connecting, {});
    countDirty = true;
    return true;
}

int MqttPublisher::Worker::nextTimeout() const
{
    int timeout = 1000; // keep-alive and retries of the library need a call about every second
    if (!attached)
        return std::min(timeout, millisUntil(readRetry));
    if (!mosq && !off && !lookup)
        timeout = std::min(timeout, millisUntil(nextAttempt));
    if ((mosq && !connected) || lookup)
        timeout = std::min(timeout, millisUntil(attemptStarted + timing.connectTimeout));
    if (countDirty)
        timeout = std::min(timeout, millisUntil(lastCount + CountInterval));
    if (!readProblem.isEmpty())
        timeout = std::min(timeout, millisUntil(readRetry));
    return timeout;
}

MqttLookup lookUpHost(const QString& host, int port)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    // No AI_ADDRCONFIG: on a machine whose only network is its loopback (a Pi before its
    // network is up) it would hide "localhost", where a broker may well run.
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int rc = ::getaddrinfo(host.toUtf8().constData(), QByteArray::number(port).constData(),
                                 &hints, &found);
    MqttLookup lookup;
    if (rc != 0) {
        lookup.problem = rc == EAI_NONAME || rc == EAI_NODATA || rc == EAI_FAIL
                             ? QStringLiteral("host \"%1\" not found").arg(host)
                             : QStringLiteral("host \"%1\": %2")
                                   .arg(host, lowerFirst(QString::fromLocal8Bit(
                                                  rc == EAI_SYSTEM ? std::strerror(errno)
                                                                   : ::gai_strerror(rc))));
        return lookup;
    }
    for (const addrinfo* a = found; a; a = a->ai_next) {
        char text[NI_MAXHOST];
        if (::getnameinfo(a->ai_addr, a->ai_addrlen, text, sizeof text, nullptr, 0,
                          NI_NUMERICHOST) == 0 &&
            !lookup.addresses.contains(QString::fromLatin1(text)))
            lookup.addresses << QString::fromLatin1(text);
    }
    ::freeaddrinfo(found);
    if (lookup.addresses.isEmpty())
        lookup.problem = QStringLiteral("host \"%1\" not found").arg(host);
    return lookup;
}

void MqttPublisher::Worker::startLookup()
{
    // The thread holds what it needs by value and the shared waker: it may well end after the
    // publisher did (a name server that never answers), and touches nothing of it.
    lookup = std::make_shared<Lookup>();
    attemptStarted = Clock::now();
    std::thread([resolve = resolver, host = config.host, port = config.port, result = lookup,
                 wakeUp = waker] {
        pthread_setname_np(pthread_self(), "pexumo-lookup");
        MqttLookup found = resolve(host, port);
        {
            std::lock_guard lock(result->mutex);
            result->result = std::move(found);
            result->done = true;
        }
        wakeUp->wake();
    }).detach();
}

void MqttPublisher::Worker::connect()
{
    if (state != MqttState::Disconnected)
        setState(MqttState::Connecting, {});
    if (addressIndex < addresses.size()) {
        connectTo(addresses[addressIndex]);
        return;
    }
    if (!lookup) {
        startLookup();
        return;
    }
    {
        std::lock_guard lock(lookup->mutex);
        if (!lookup->done) {
            // A look-up that takes longer than a whole attempt may is given up for this
            // attempt; the next one waits for the same look-up rather than start another.
            if (Clock::now() - attemptStarted >= timing.connectTimeout) {
                dropped = true;
                dropReason = QStringLiteral("no answer from the name server for \"%1\"")
                                 .arg(config.host);
                attemptStarted = Clock::now();
                closeConnection();
            }
            return;
        }
        addresses = lookup->result.addresses;
        dropReason = lookup->result.problem;
    }
    lookup.reset();
    addressIndex = 0;
    if (addresses.isEmpty()) {
        dropped = true;
        closeConnection();
        return;
    }
    connectTo(addresses[0]);
}

void MqttPublisher::Worker::connectTo(const QString& address)
{
    mosq = mosquitto_new(config.clientId.toUtf8().constData(), true, this);
    if (!mosq) {
        goOff(QStringLiteral("cannot make an MQTT client: ") + qt_error_string(errno));
        return;
    }
    mosquitto_int_option(mosq, MOSQ_OPT_SEND_MAXIMUM, Window + AlarmWindow + 2);
    if (!config.user.isEmpty())
        mosquitto_username_pw_set(mosq, config.user.toUtf8().constData(),
                                  config.password.isEmpty() ? nullptr
                                                            : config.password.toUtf8().constData());
    mosquitto_will_set(mosq, statusTopic.constData(), int(offline.size()), offline.constData(), 1,
                       true);
    if (!config.caFile.isEmpty() &&
        mosquitto_tls_set(mosq, QFile::encodeName(config.caFile).constData(), nullptr, nullptr,
                          nullptr, nullptr) != MOSQ_ERR_SUCCESS) {
        goOff(QStringLiteral("CA file %1: cannot be read").arg(config.caFile));
        return;
    }
    mosquitto_connect_callback_set(
        mosq, [](mosquitto*, void* self, int rc) { static_cast<Worker*>(self)->onConnect(rc); });
    mosquitto_disconnect_callback_set(
        mosq, [](mosquitto*, void* self, int rc) { static_cast<Worker*>(self)->onDisconnect(rc); });
    mosquitto_publish_callback_set(
        mosq, [](mosquitto*, void* self, int mid) { static_cast<Worker*>(self)->onPublish(mid); });
    connected = dropped = false;
    dropReason.clear();
    attemptStarted = Clock::now();
    errno = 0;
    const QByteArray host = (config.caFile.isEmpty() ? address : config.host).toUtf8();
    const int rc =
        mosquitto_connect_async(mosq, host.constData(), config.port, timing.keepAliveSec);
    if (rc != MOSQ_ERR_SUCCESS) {
        drop(reasonOf(rc, errno));
        closeConnection();
    }
}

void MqttPublisher::Worker::onConnect(int rc)
{
    if (rc != 0) {
        drop(refusal(rc));
        return;
    }
    connected = true;
    retryDelay = timing.firstRetry;
    setState(MqttState::Connected, {});
    sentSinceConnect = 0;
    backlogSent = 0;
    backlog = outbox.countAfter(acked) > 0;
    countDirty = true;
    int mid = 0;
    publish(statusTopic, online, true, mid);
}

void MqttPublisher::Worker::onDisconnect(int rc)
{
    drop(rc == MOSQ_ERR_SUCCESS ? QStringLiteral("disconnected") : reasonOf(rc, errno));
}

void MqttPublisher::Worker::onPublish(int mid)
{
    if (mid == offlineMid) {
        offlineAcked = true;
        return;
    }
    // Acknowledgements come in the order of sending, so the search stops at its first step.
    for (std::size_t i = ackedAtFront; i < rowsInFlight.size(); ++i) {
        if (rowsInFlight[i].mid == mid) {
            rowsInFlight[i].acked = true;
            while (ackedAtFront < rowsInFlight.size() && rowsInFlight[ackedAtFront].acked)
                ++ackedAtFront;
            return;
        }
    }
    const auto alarm = std::find_if(alarmsInFlight.begin(), alarmsInFlight.end(),
                                    [mid](const auto& a) { return a.first == mid; });
    if (alarm != alarmsInFlight.end()) {
        outbox.alarmAcknowledged(alarm->second);
        alarmsInFlight.erase(alarm);
    }
}

bool MqttPublisher::Worker::publish(const QByteArray& topic, const QByteArray& payload, bool retain,
                                    int& mid)
{
    errno = 0;
    const int rc = mosquitto_publish(mosq, &mid, topic.constData(), int(payload.size()),
                                     payload.constData(), 1, retain);
    if (rc != MOSQ_ERR_SUCCESS)
        drop(reasonOf(rc, errno));
    return rc == MOSQ_ERR_SUCCESS;
}

bool MqttPublisher::Worker::fillAlarms()
{
    if (!alarmsMaybe || alarmsInFlight.size() >= std::size_t(AlarmWindow))
        return true;
    std::vector<OutboxAlarm> skip;
    for (const auto& alarm : alarmsInFlight)
        skip.push_back(alarm.second);
    const int wanted = AlarmWindow - int(alarmsInFlight.size());
    const std::vector<OutboxAlarm> waiting = outbox.alarmsWaiting(skip, wanted);
    if (readFailed())
        return false;
    alarmsMaybe = std::ssize(waiting) == wanted;
    for (const OutboxAlarm& alarm : waiting) {
        int mid = 0;
        if (!publish(alarmTopic, alarmPayload(alarm.session, alarm.event), false, mid))
            return false;
        alarmsInFlight.emplace_back(mid, alarm);
    }
    return true;
}

void MqttPublisher::Worker::fill()
{
    // Alarms are few and news, so they go before a backlog of rows.
    if (!fillAlarms())
        return;
    while (connected && !dropped) {
        if (rowsInFlight.size() >= std::size_t(Window))
            return;
        if (fetched.empty()) {
            if (!maybeMore)
                return;
            std::vector<OutboxRow> rows = outbox.after(sent, Window);
            if (readFailed())
                return;
            maybeMore = rows.size() == std::size_t(Window);
            if (rows.empty())
                return;
            fetched.assign(std::make_move_iterator(rows.begin()),
                           std::make_move_iterator(rows.end()));
        }
        const OutboxRow& row = fetched.front();
        int mid = 0;
        if (!publish(rowTopics[indexOf(row.list)],
                     rowPayload(row.position.session, row.position.seq, row.list, row.record,
                                row.port),
                     false, mid))
            return;
        rowsInFlight.push_back({mid, row.position});
        sent = row.position;
        fetched.pop_front();
    }
}

bool MqttPublisher::Worker::drained() const
{
    return fetched.empty() && !maybeMore && rowsInFlight.empty() && !alarmsMaybe &&
           alarmsInFlight.empty() && readProblem.isEmpty();
}

void MqttPublisher::Worker::step(int timeoutMs)
{
    const int sock = mosq ? mosquitto_socket(mosq) : -1;
    pollfd fds[2] = {{waker->fd, POLLIN, 0}, {sock, POLLIN, 0}};
    if (mosq && mosquitto_want_write(mosq))
        fds[1].events |= POLLOUT;
    ::poll(fds, sock >= 0 ? 2 : 1, timeoutMs);
    if (fds[0].revents & POLLIN) {
        quint64 count = 0;
        [[maybe_unused]] const auto read = ::read(waker->fd, &count, sizeof count);
    }
    // After draining the eventfd, so that a wake between the two is never lost.
    if (newRows.exchange(false)) {
        maybeMore = alarmsMaybe = true;
        countDirty = true;
    }
    if (mosq) {
        errno = 0;
        const int rc = mosquitto_loop(mosq, 0, 1);
        const int err = errno;
        if (rc != MOSQ_ERR_SUCCESS) {
            drop(reasonOf(rc, err));
        } else if (mosquitto_socket(mosq) < 0) {
            drop(err != 0 ? lowerFirst(qt_error_string(err)) : QStringLiteral("connection lost"));
        } else if ((fds[1].revents & (POLLERR | POLLHUP)) && mosquitto_socket(mosq) >= 0) {
            // The library does not notice a refused TLS connection: it would be polled forever.
            int error = 0;
            socklen_t size = sizeof error;
            ::getsockopt(sock, SOL_SOCKET, SO_ERROR, &error, &size);
            drop(error != 0 ? lowerFirst(qt_error_string(error))
                            : QStringLiteral("connection closed by the broker"));
        } else if (!connected && Clock::now() - attemptStarted >= timing.connectTimeout) {
            drop(QStringLiteral("no answer from the broker"));
        }
    }
    settleAcks();
    if (dropped && mosq)
        closeConnection();
}

void MqttPublisher::Worker::settleAcks()
{
    if (ackedAtFront == 0)
        return;
    const OutboxPosition upTo = rowsInFlight[ackedAtFront - 1].position;
    rowsInFlight.erase(rowsInFlight.begin(), rowsInFlight.begin() + qsizetype(ackedAtFront));
    sentSinceConnect += qint64(ackedAtFront);
    ackedAtFront = 0;
    acked = upTo;
    outbox.acknowledged(upTo);
    countDirty = true;
}

void MqttPublisher::Worker::drop(const QString& why)
{
    // The first reason counts: a refused login is followed by the closed connection.
    if (!dropped)
        dropReason = why;
    dropped = true;
}

void MqttPublisher::Worker::closeConnection()
{
    settleAcks();
    if (mosq)
        mosquitto_destroy(mosq);
    mosq = nullptr;
    const bool wasConnected = connected;
    connected = false;
    rowsInFlight.clear();
    ackedAtFront = 0;
    fetched.clear();
    sent = acked;
    maybeMore = true;
    // Unacknowledged alarms are read again from the outbox, in their order.
    alarmsInFlight.clear();
    alarmsMaybe = true;
    backlog = false;
    backlogSent = 0;
    if (off)
        return;
    setState(MqttState::Disconnected, dropReason);
    if (wasConnected) {
        retryDelay = timing.firstRetry;
    } else if (++addressIndex < addresses.size()) {
        // The name has more addresses (IPv6 and IPv4): the next one at once.
        nextAttempt = Clock::now();
        return;
    }
    // The next attempt looks the name up again: the broker may have moved.
    addresses.clear();
    addressIndex = 0;
    // Up to a quarter more, so that the meters of a site do not all come back at one instant.
    const qint64 delay = retryDelay.count();
    nextAttempt =
        Clock::now() +
        milliseconds(delay + QRandomGenerator::global()->bounded(std::max<qint64>(delay / 4, 1)));
    retryDelay = mqttRetryDelay(retryDelay, timing);
}

void MqttPublisher::Worker::goOff(const QString& why)
{
    off = true;
    setState(MqttState::Off, why);
    closeConnection();
}

void MqttPublisher::Worker::setState(MqttState newState, const QString& why)
{
    if (newState == state && why == reason)
        return;
    state = newState;
    reason = why;
    stateDirty = true;
}

void MqttPublisher::Worker::reportStatus()
{
    const Clock::time_point now = Clock::now();
    const bool countDue = countDirty && now >= lastCount + CountInterval;
    if (!stateDirty && !countDue)
        return;
    if (attached && (countDue || posted.waiting < 0)) {
        const qint64 count = outbox.countAfter(acked);
        if (!readFailed())
            waiting = count;
        countDirty = false;
        lastCount = now;
    }
    // The rows that waited at the connect are all at the broker: say how many went.
    if (connected && backlog && waiting == 0) {
        backlog = false;
        backlogSent = sentSinceConnect;
    }
    stateDirty = false;
    const MqttStatus status{
        state, waiting,
        readProblem.isEmpty() ? reason
                              : QStringLiteral("cannot read the rows to publish: ") + readProblem,
        state == MqttState::Connected ? backlogSent : 0};
    if (status != posted) {
        posted = status;
        owner.post(status);
    }
}

bool MqttPublisher::Worker::readFailed()
{
    QString problem = outbox.problem();
    if (problem != readProblem) {
        readProblem = std::move(problem);
        stateDirty = true;
    }
    if (readProblem.isEmpty())
        return false;
    // Nothing more is read until the retry or new rows; the status says why.
    maybeMore = alarmsMaybe = false;
    readRetry = Clock::now() + ReadRetry;
    return true;
}

QString MqttPublisher::Worker::reasonOf(int rc, int err) const
{
    switch (rc) {
    case MOSQ_ERR_ERRNO:
        return err != 0 ? lowerFirst(qt_error_string(err)) : QStringLiteral("connection lost");
    case MOSQ_ERR_EAI:
        return QStringLiteral("host \"%1\" not found").arg(config.host);
    case MOSQ_ERR_TLS:
        return QStringLiteral("TLS failed: check CaFile, and that Host is the name in the "
                              "broker's certificate");
    case MOSQ_ERR_NO_CONN:
    case MOSQ_ERR_CONN_LOST:
        return QStringLiteral("connection lost");
    case MOSQ_ERR_KEEPALIVE:
        return QStringLiteral("the broker stopped answering");
    default:
        return lowerFirst(QString::fromUtf8(mosquitto_strerror(rc)));
    }
}

QString MqttPublisher::Worker::refusal(int connack)
{
    switch (connack) {
    case 1:
        return QStringLiteral("the broker does not speak MQTT 3.1.1");
    case 2:
        return QStringLiteral("the broker refused the client id: check ClientId");
    case 3:
        return QStringLiteral("the broker is unavailable");
    case 4:
        return QStringLiteral("wrong user name or password: check User and PasswordFile");
    case 5:
        return QStringLiteral("not authorised: check User and PasswordFile");
    default:
        return lowerFirst(QString::fromLatin1(mosquitto_connack_string(connack)));
    }
}

void MqttPublisher::Worker::shutdown()
{
    if (mosq && connected && !dropped) {
        // The last rows and alarms the journal wrote before the stop, while time is left.
        maybeMore = alarmsMaybe = true;
        const Clock::time_point rowsDeadline = stopDeadline - OfflineReserve;
        while (mosq && connected && !dropped && Clock::now() < rowsDeadline) {
            fill();
            if (drained())
                break;
            step(millisUntil(rowsDeadline));
        }
    }
    // The broker acknowledges in order: once "offline" is in, so is every row before it.
    if (mosq && connected && !dropped && publish(statusTopic, offline, true, offlineMid)) {
        while (mosq && !offlineAcked && Clock::now() < stopDeadline)
            step(millisUntil(stopDeadline));
        if (mosq) {
            mosquitto_disconnect(mosq); // a clean end: the broker does not send the last will
            mosquitto_loop(mosq, 0, 1);
        }
    }
    stoppedClean = offlineAcked;
    off = true;
    setState(MqttState::Off, QStringLiteral("stopped"));
    closeConnection();
    countDirty = true;
    lastCount = {};
    reportStatus();
}

std::chrono::milliseconds mqttRetryDelay(std::chrono::milliseconds previous,
                                         const MqttTiming& timing)
{
    if (previous < timing.firstRetry)
        return timing.firstRetry;
    return std::min(previous * 2, timing.longestRetry);
}

QString mqttStatusText(const MqttStatus& status)
{
    if (status.state == MqttState::Off)
        return QStringLiteral("MQTT off");
    if (status.waiting > 0)
        return status.waiting == 1 ? QStringLiteral("MQTT: 1 row waiting")
                                   : QStringLiteral("MQTT: %1 rows waiting").arg(status.waiting);
    switch (status.state) {
    case MqttState::Connected:
        if (status.sent > 0)
            return status.sent == 1 ? QStringLiteral("MQTT connected, 1 row sent")
                                    : QStringLiteral("MQTT connected, %1 rows sent").arg(status.sent);
        return QStringLiteral("MQTT connected");
    case MqttState::Connecting:
        return QStringLiteral("MQTT connecting");
    default:
        return QStringLiteral("MQTT disconnected");
    }
}

MqttPublisher::MqttPublisher(Outbox& outbox, MqttTiming timing, QObject* parent)
    : QObject(parent), m_outbox(outbox), m_timing(timing)
{
}

MqttPublisher::~MqttPublisher()
{
    stop();
}

void MqttPublisher::start(const MqttConfig& config, qint64 session)
{
    stop();
    if (!config.isOn()) {
        m_status = {MqttState::Off, 0,
                    config.host.isEmpty() ? QStringLiteral("no Host in the [Mqtt] section")
                                          : config.problem,
                    0};
        emit statusChanged(m_status);
        return;
    }
    m_worker = std::make_unique<Worker>(*this, m_outbox, config, m_timing, m_resolver, session);
    m_worker->thread = std::thread([worker = m_worker.get()] { worker->run(); });
}

bool MqttPublisher::stop(std::chrono::milliseconds budget)
{
    if (!m_worker)
        return false;
    // The thread never waits on anything without a bound: the network is polled, the name is
    // looked up elsewhere, and the journal's lock is waited for a quarter of a second at most.
    m_worker->requestStop(std::chrono::steady_clock::now() + budget);
    m_worker->thread.join();
    // The statuses the thread posted, its final "stopped" the last, are emitted before return.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    const bool clean = m_worker->stoppedClean;
    m_worker.reset();
    return clean;
}

void MqttPublisher::post(const MqttStatus& status)
{
    QMetaObject::invokeMethod(
        this,
        [this, status] {
            m_status = status;
            emit statusChanged(status);
        },
        Qt::QueuedConnection);
}

} // namespace pexumo
