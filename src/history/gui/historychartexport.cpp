// The history chart written as a PNG image or an SVG drawing, with or without asking where.
#include "history/gui/historychart.h"

#include "results/textexport.h"

#include <QBuffer>
#include <QImageWriter>
#include <QPainter>
#include <QSvgGenerator>

namespace pexumo {

bool HistoryChart::exportImage(const QString& path, double scale, QString* error) const
{
    const auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (!(scale >= 1.0 && scale <= MaxExportScale))
        return fail(tr("The image scale must be from 1 to %1.").arg(MaxExportScale));
    QImage image(size() * scale, QImage::Format_RGB32);
    if (image.isNull())
        return fail(tr("Not enough memory for an image of %1 x %2 pixels.")
                        .arg(width() * scale)
                        .arg(height() * scale));
    {
        QPainter painter(&image);
        painter.scale(scale, scale);
        paintChart(painter, scale, false);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image))
        return fail(writer.errorString());
    const WriteResult written = writeFileAtomically(path, bytes);
    return written.ok || fail(written.error);
}

bool HistoryChart::exportSvg(const QString& path, QString* error) const
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator generator;
    generator.setOutputDevice(&buffer);
    generator.setSize(size());
    generator.setViewBox(rect());
    // At 96 dots per inch the size written in mm is the widget's size in CSS pixels, the size
    // a browser or a drawing program opens it at.
    generator.setResolution(96);
    generator.setTitle(m_unit.isEmpty() ? tr("History") : tr("History (%1)").arg(m_unit));
    {
        QPainter painter;
        if (!painter.begin(&generator)) {
            if (error)
                *error = tr("Cannot draw the SVG drawing.");
            return false;
        }
        paintChart(painter, 1.0, false);
    }
    const WriteResult written = writeFileAtomically(path, bytes);
    if (!written.ok && error)
        *error = written.error;
    return written.ok;
}

bool HistoryChart::exportWithDialog(const QString& caption, const QString& filter,
                                    const QString& suffix,
                                    const std::function<bool(const QString&, QString*)>& write)
{
    QString path = askFileName ? askFileName(caption, filter) : QString();
    if (path.isEmpty())
        return false;
    if (!path.endsWith(suffix, Qt::CaseInsensitive))
        path += suffix;
    QString error;
    if (write(path, &error))
        return true;
    if (showError)
        showError(error);
    return false;
}

bool HistoryChart::exportPngWithDialog(double scale)
{
    return exportWithDialog(tr("Export image"), tr("PNG image (*.png)"), QStringLiteral(".png"),
                            [this, scale](const QString& path, QString* error) {
                                return exportImage(path, scale, error);
                            });
}

bool HistoryChart::exportSvgWithDialog()
{
    return exportWithDialog(
        tr("Export drawing"), tr("SVG drawing (*.svg)"), QStringLiteral(".svg"),
        [this](const QString& path, QString* error) { return exportSvg(path, error); });
}

} // namespace pexumo
