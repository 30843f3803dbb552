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
#include "platform/metafile/metafilebounds.h"
#include "platform/metafile/wmfembedded.h"
#include "platform/metafile/wmfformat.h"
#include "platform/metafile/wmfplayer.h"
#include "platform/runtimeerror.h"

namespace vm {

namespace {

class WmfMetafile : public Metafile {
public:
    WmfMetafile(WmfDocument doc, int depth)
        : m_doc(std::move(doc))
        , m_natural(metafileNaturalSize(m_doc.extentHimetric))
        , m_carried(openCarriedEmf(m_doc, depth))
    {
    }

    QSize extentHimetric() const override { return m_doc.extentHimetric; }
    QSize naturalSize() const override { return m_natural; }

    QImage render(QSize size, PlayWork *work = nullptr) const override
    {
        if (m_carried && checkMetafileRenderSize(size))
            return m_carried->render(size, work);
        QImage image = newMetafileCanvas(size, QImage::Format_RGB32);
        if (image.isNull())
            return image;
        {
            GdiContext dc(&image, QTransform(), QSizeF(96 / 25.4, 96 / 25.4), m_doc.data.size(), m_natural);
            WmfPlayer(m_doc, dc).play();
            if (work)
                *work = { dc.budget().used(), dc.budget().limit() };
            dc.budget().raiseIfSpent();
        }
        return image;
    }

private:
    // An EMF in the comment records: the original drawing, played instead
    // of the WMF records (a lossy copy of it) when whole and valid.
    static std::shared_ptr<const Metafile> openCarriedEmf(const WmfDocument &doc, int depth)
    {
        const QByteArray emf = embeddedEmf(doc);
        if (emf.isEmpty())
            return nullptr;
        try {
            return openEmfAt(emf, depth + 1);
        } catch (const RuntimeError &) {
            return nullptr;
        }
    }

    WmfDocument m_doc;
    QSize m_natural;
    std::shared_ptr<const Metafile> m_carried;
};

} // namespace

std::shared_ptr<const Metafile> openWmfAt(QByteArray data, int depth)
{
    if (depth > kMetafileMaxNesting)
        return nullptr;
    return std::make_shared<WmfMetafile>(parseWmf(std::move(data)), depth);
}

} // namespace vm
