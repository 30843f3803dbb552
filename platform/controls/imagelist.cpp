#include "platform/controls/imagelist.h"

#include <QFileInfo>
#include <QImageReader>
#include <QPixmap>

namespace vm {

ImageList::ImageList(QWidget *parent)
    : QWidget(parent)
{
    setVisible(false);
    setAttribute(Qt::WA_DontShowOnScreen);
}

QIcon ImageList::load(const QString &source) const
{
    // Pick the image of the list's size from an icon file, make the mask
    // colour transparent, and add a double-size rendition when we have one.
    QIcon icon;
    auto addImage = [&](QImage img) {
        if (img.isNull())
            return;
        img = img.convertToFormat(QImage::Format_ARGB32);
        if (m_mask.isValid()) {
            const QRgb mask = m_mask.rgb() & 0xFFFFFF;
            for (int y = 0; y < img.height(); ++y) {
                auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
                for (int x = 0; x < img.width(); ++x)
                    if ((line[x] & 0xFFFFFF) == mask && qAlpha(line[x]) == 255)
                        line[x] = 0;
            }
        }
        icon.addPixmap(QPixmap::fromImage(img));
    };

    QImageReader reader(source);
    QImage best;
    do {
        QImage img = reader.read();
        if (img.isNull())
            break;
        if (best.isNull() || img.size() == m_size)
            best = img;
    } while (reader.jumpToNextImage());
    if (!best.isNull() && best.size() != m_size)
        best = best.scaled(m_size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    addImage(best);

    const QFileInfo fi(source);
    const QString hiRes = fi.path() + QLatin1Char('/') + fi.completeBaseName() + QStringLiteral("@2x.png");
    if (QFileInfo::exists(hiRes))
        addImage(QImage(hiRes));
    return icon;
}

QIcon ImageList::image(int index) const
{
    if (index < 1 || index > m_sources.size())
        return QIcon();
    if (m_icons.size() != m_sources.size()) {
        m_icons.clear();
        for (const QString &s : m_sources)
            m_icons.append(load(s));
    }
    return m_icons.at(index - 1);
}

QIcon ImageList::image(const QString &key) const
{
    const qsizetype i = m_keys.indexOf(key);
    return i < 0 ? QIcon() : image(int(i) + 1);
}

} // namespace vm
