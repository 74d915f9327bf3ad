#pragma once

#include <QLabel>

namespace pexumo {

/// The line's notes in the control bar, each on a line of its own: when a lost line came back,
/// and the count of damaged bytes skipped (exact up to five digits, larger counts in kB or MB so
/// the line still fits). Both at once take a pixel smaller font; the tooltip keeps everything
/// whole. Notes, not alarms: drawn in the window's text colour.
class LinkNote : public QLabel
{
    Q_OBJECT
public:
    explicit LinkNote(QWidget* parent = nullptr);

    /// Shows \a lineNote (empty for none) and \a skippedBytes (0 for none).
    void setNotes(const QString& lineNote, qint64 skippedBytes);
};

} // namespace pexumo
