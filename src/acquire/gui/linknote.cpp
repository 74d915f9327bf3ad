#include "acquire/gui/linknote.h"

#include <QLocale>

namespace pexumo {

LinkNote::LinkNote(QWidget* parent) : QLabel(parent)
{
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setWordWrap(true); // a long note wraps
}

void LinkNote::setNotes(const QString& lineNote, qint64 skippedBytes)
{
    QStringList lines;
    QString tip;
    if (!lineNote.isEmpty()) {
        lines << lineNote;
        tip += tr("<p>%1: the meter's line was lost, and the run went on by itself when the "
                  "same meter came back. No reading was recorded while it was away.</p>")
                   .arg(lineNote.toHtmlEscaped());
    }
    if (const qint64 n = skippedBytes; n > 0) {
        const QString count = n == 1 ? tr("1 byte")
                              : n < 100000
                                  ? tr("%1 bytes").arg(n)
                                  : QLocale::c().formattedDataSize(n, 0, QLocale::DataSizeSIFormat);
        lines << tr("Line noise: %1 skipped").arg(count);
        // Rich text, so that the tooltip wraps into a paragraph.
        tip += tr("<p>Damaged bytes skipped on the serial line: %1.</p>"
                  "<p>They come from electrical noise, a lost byte or a frame with unreadable "
                  "digits. Reading went on with the next whole frame, so every value shown and "
                  "recorded comes from an intact frame. Nothing needs to be done; if the count "
                  "keeps growing, check the cable and its plug.</p>")
                   .arg(n);
    }
    QFont labelFont = parentWidget() ? parentWidget()->font() : font();
    if (lines.size() > 1 && labelFont.pixelSize() > 1)
        labelFont.setPixelSize(labelFont.pixelSize() - 1);
    setFont(labelFont);
    setText(lines.join(u'\n'));
    setToolTip(tip);
}

} // namespace pexumo
