#include "support/metersim.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>

namespace pexumo::test {

const char kEveryRouteThenDownload[] = "wait 1.0\n"
                                       "live 13 0712 0253\n"
                                       "wait 1.0\n"
                                       "live 14 1205 0250 neg\n"
                                       "wait 1.0\n"
                                       "live 17 0500 0250\n"
                                       "wait 1.0\n"
                                       "live 3 0141 0251\n"
                                       "wait 1.0\n"
                                       "live 6 0250 0249\n"
                                       "wait 1.0\n"
                                       "live 11 0120 0252\n"
                                       "wait 1.0\n"
                                       "live 18 0815 0248\n"
                                       "wait 1.0\n"
                                       "live 20 0954 0771 F\n"
                                       "wait 1.0\n"
                                       "record 1 13 0701 0250\n"
                                       "record 2 16 1205 0250 neg\n"
                                       "record 3 8 0012 0077 F whole\n"
                                       "wait 1.0\n"
                                       "halt\n";

MeterSim::~MeterSim()
{
    kill();
}

QString MeterSim::program()
{
    return QStringLiteral(PEXUMO_METER_SIM_PATH);
}

bool MeterSim::isBuilt()
{
    return QFileInfo::exists(program());
}

bool MeterSim::start(const QStringList& args, int timeoutMs)
{
    m_process.start(program(), args);
    if (!m_process.waitForStarted()) {
        m_error = m_process.errorString();
        return false;
    }
    const QDeadlineTimer deadline(timeoutMs);
    while (!m_process.canReadLine()) {
        if (!m_process.waitForReadyRead(int(deadline.remainingTime()))) {
            m_error = QStringLiteral("no terminal path from the simulator: ") +
                      QString::fromLocal8Bit(m_process.readAllStandardError());
            return false;
        }
    }
    m_portPath = QString::fromLocal8Bit(m_process.readLine()).trimmed();
    if (!m_portPath.startsWith(QLatin1String("/dev/"))) {
        m_error = QStringLiteral("not a terminal path: ") + m_portPath;
        return false;
    }
    return true;
}

bool MeterSim::startScript(const QString& scriptPath, const QByteArray& script,
                           const QStringList& more)
{
    QFile file(scriptPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(script) != script.size() || !file.flush()) {
        m_error = QStringLiteral("cannot write ") + scriptPath + QStringLiteral(": ") +
                  file.errorString();
        return false;
    }
    file.close();
    return start(QStringList{QStringLiteral("--pty"), QStringLiteral("--script"), scriptPath} +
                 more);
}

bool MeterSim::stop()
{
    m_process.terminate();
    return m_process.waitForFinished();
}

void MeterSim::kill()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished();
}

} // namespace pexumo::test
