#pragma once

#include <QByteArrayView>
#include <QString>

namespace pexumo::test {

/// A pseudo-terminal standing in for a meter on a serial line. The test keeps the master side
/// and writes the meter's bytes into it; the program opens slavePath() as its serial port.
/// Closing the master is the nearest thing to pulling the USB cable.
class PtyPair
{
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    /// False when no pseudo-terminal could be made (the test should skip).
    bool isValid() const { return m_master >= 0; }
    /// Path of the port side, such as "/dev/pts/3".
    QString slavePath() const { return m_slavePath; }
    int masterFd() const { return m_master; }

    /// Writes all bytes as the meter; false when the master is closed or the write fails.
    bool write(QByteArrayView bytes);
    /// Closes the meter's side: the port then sees its device vanish.
    void closeMaster();

private:
    int m_master = -1;
    QString m_slavePath;
};

} // namespace pexumo::test
