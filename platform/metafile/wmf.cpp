// WMF pictures: openWmf checks the header and walks the records once; every
// render plays them again onto a fresh image.
//
// A record that lies about its size ends the walk: what came before it is
// still played (a truncated file shows what it holds), and only a file with
// no usable record at all is refused as damaged.
#include <QImage>

#include <algorithm>
#include <cmath>

#include "platform/metafile/gdicontext.h"
#include "platform/metafile/metafile.h"
#include "platform/metafile/wmfembedded.h"
#include "platform/metafile/wmfformat.h"
#include "platform/metafile/wmfplayer.h"
#include "platform/runtimeerror.h"

namespace vm {

namespace {

constexpr int kMaxSide = kMetafileMaxSide;
constexpr qint64 kMaxPixels = kMetafileMaxPixels;

// The extent at 96 dpi; a vast extent is scaled down, keeping its shape,
// to at most kMaxSide a side and kMaxPixels in all.
QSize naturalSizeOf(QSize himetric)
{
    double w = std::max(1.0, himetric.width() * 96.0 / 2540);
    double h = std::max(1.0, himetric.height() * 96.0 / 2540);
    double scale = std::min({1.0, kMaxSide / w, kMaxSide / h});
    if (w * h * scale * scale > double(kMaxPixels))
        scale = std::sqrt(double(kMaxPixels) / (w * h));
    // Rounded down when scaled, so the bounds hold after rounding.
    const auto side = [scale](double v) {
        return std::clamp(int(scale < 1 ? std::floor(v * scale) : std::lround(v)), 1, kMaxSide);
    };
    return QSize(side(w), side(h));
}

class WmfMetafile : public Metafile {
public:
    explicit WmfMetafile(WmfDocument doc)
        : m_doc(std::move(doc))
        , m_natural(naturalSizeOf(m_doc.extentHimetric))
    {
        if (drawsNothing(m_doc))
            m_carried = openCarriedEmf(m_doc);
    }

    QSize extentHimetric() const override { return m_doc.extentHimetric; }
    QSize naturalSize() const override { return m_natural; }

    QImage render(QSize size, PlayWork *work = nullptr) const override
    {
        if (size.width() <= 0 || size.height() <= 0)
            return {};
        if (size.width() > kMaxSide || size.height() > kMaxSide
            || qint64(size.width()) * size.height() > kMaxPixels)
            raise(Err::PictureTooLarge);
        if (m_carried)
            return m_carried->render(size, work);
        QImage image(size, QImage::Format_RGB32);
        if (image.isNull())
            raise(Err::OutOfMemory);
        image.fill(Qt::white);
        {
            GdiContext dc(&image, QTransform(), QSizeF(96 / 25.4, 96 / 25.4), m_doc.data.size(), m_natural);
            WmfPlayer(m_doc, dc).play();
            if (work)
                *work = {dc.budget().used(), dc.budget().limit()};
            dc.budget().raiseIfSpent();
        }
        return image;
    }

private:
    // An EMF in the comment records, played when the WMF records draw nothing.
    static std::shared_ptr<const Metafile> openCarriedEmf(const WmfDocument &doc)
    {
        // EMF and WMF may carry each other; a few levels are plenty.
        static thread_local int depth = 0;
        if (depth >= 3)
            return nullptr;
        const QByteArray emf = embeddedEmf(doc);
        if (emf.isEmpty())
            return nullptr;
        ++depth;
        std::shared_ptr<const Metafile> carried;
        try {
            carried = openEmf(emf);
        } catch (const RuntimeError &) {
        }
        --depth;
        return carried;
    }

    WmfDocument m_doc;
    QSize m_natural;
    std::shared_ptr<const Metafile> m_carried;
};

} // namespace

std::shared_ptr<const Metafile> openWmf(QByteArray data)
{
    return std::make_shared<WmfMetafile>(parseWmf(std::move(data)));
}

} // namespace vm
