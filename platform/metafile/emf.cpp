// Enhanced metafiles: the header, the record walk and the Metafile object.
//
// Choices where files disagree with each other or with the format:
// - The extent is the header frame's right - left and bottom - top in
//   hundredths of a millimetre (not counting the frame inclusively).
// - An empty or inverted frame falls back to the bounds, scaled by the
//   reference device's millimetres per pixel.
// - The natural size is the extent at 96 dpi within the shared bounds
//   (metafilebounds.h), so render(naturalSize()) stays bounded.
// - openEmf refuses a file whose header record is missing, malformed or
//   larger than the file. Past a valid header, a record that lies (size below
//   8, not a multiple of 4, past the end of the file, or fields that reach
//   past the record) ends play, and render returns what was drawn up to it,
//   as a tolerant viewer shows what it can. A file that spends its work
//   budget (see playbudget.h) is refused instead: a partial picture shown
//   as if whole would be wrong.
// - When the records draw nothing at all but a comment carries a WMF, the
//   WMF is played in their place.
#include "platform/metafile/emfformat.h"
#include "platform/metafile/emfplayer.h"
#include "platform/metafile/emfplusplayer.h"
#include "platform/metafile/metafile.h"
#include "platform/metafile/metafilebounds.h"
#include "platform/runtimeerror.h"

#include <QtEndian>

#include <cmath>

namespace vm {

namespace {

constexpr quint32 kSignature = 0x464D4520; // " EMF"
constexpr int kMinHeaderSize = 88;

quint32 rd32(const QByteArray &d, qint64 offset)
{
    return qFromLittleEndian<quint32>(d.constData() + offset);
}

QRect readRect(const QByteArray &d, qint64 offset)
{
    const qint32 l = qint32(rd32(d, offset)), t = qint32(rd32(d, offset + 4));
    const qint32 r = qint32(rd32(d, offset + 8)), b = qint32(rd32(d, offset + 12));
    return QRect(QPoint(l, t), QPoint(r, b));
}

class EmfMetafile final : public Metafile {
public:
    EmfMetafile(QByteArray data, EmfHeader header, int depth)
        : m_data(std::move(data))
        , m_header(header)
        , m_depth(depth)
        , m_natural(metafileNaturalSize(m_header.extent))
    {
    }
    QSize extentHimetric() const override { return m_header.extent; }
    QSize naturalSize() const override { return m_natural; }
    QImage render(QSize size, PlayWork *work = nullptr) const override
    {
        QImage image = newMetafileCanvas(size, QImage::Format_ARGB32_Premultiplied);
        if (image.isNull())
            return image;
        const QRectF f = m_header.deviceFrame;
        QTransform deviceToImage = QTransform::fromTranslate(-f.x(), -f.y());
        deviceToImage *= QTransform::fromScale(size.width() / f.width(), size.height() / f.height());
        QByteArray embedded;
        {
            GdiContext context(&image, deviceToImage, m_header.pxPerMm, m_data.size(), m_natural);
            EmfPlayer player(m_data, m_header, context, m_depth);
            player.play();
            if (work)
                *work = { context.budget().used(), context.budget().limit() };
            context.budget().raiseIfSpent();
            if (context.operationCount() == 0)
                embedded = player.embeddedWmf();
        }
        // Records that drew nothing but carried a WMF: show that instead.
        if (!embedded.isEmpty()) {
            try {
                if (const auto nested = openWmfAt(embedded, m_depth + 1))
                    return nested->render(size, work);
            } catch (const RuntimeError &e) {
                if (e.number() == Err::PictureTooComplex)
                    throw;
            }
        }
        return image;
    }

private:
    QByteArray m_data;
    EmfHeader m_header;
    int m_depth;
    QSize m_natural;
};

} // namespace

EmfHeader parseEmfHeader(const QByteArray &data)
{
    if (data.size() < kMinHeaderSize || rd32(data, 0) != EmrHeader || rd32(data, 40) != kSignature)
        raise(Err::InvalidPicture);
    EmfHeader h;
    h.headerSize = rd32(data, 4);
    if (h.headerSize < quint32(kMinHeaderSize) || h.headerSize % 4 != 0
        || h.headerSize > quint64(data.size()))
        raise(Err::DamagedPicture);
    h.bounds = readRect(data, 8);
    h.frame = readRect(data, 24);
    h.recordCount = rd32(data, 52);
    h.handleCount = qFromLittleEndian<quint16>(data.constData() + 56);

    // The optional fields exist only below the description and pixel format
    // data, which may start right after the fixed part.
    qint64 effective = h.headerSize;
    const quint32 nDescription = rd32(data, 60), offDescription = rd32(data, 64);
    if (nDescription > 0 && offDescription >= quint32(kMinHeaderSize))
        effective = std::min<qint64>(effective, offDescription);
    if (effective >= 100) {
        const quint32 cbPixelFormat = rd32(data, 88), offPixelFormat = rd32(data, 92);
        if (cbPixelFormat > 0 && offPixelFormat >= quint32(kMinHeaderSize))
            effective = std::min<qint64>(effective, offPixelFormat);
    }
    const qint32 devW = qint32(rd32(data, 72)), devH = qint32(rd32(data, 76));
    const qint32 mmW = qint32(rd32(data, 80)), mmH = qint32(rd32(data, 84));
    double umW = 0, umH = 0;
    if (effective >= 108) {
        umW = qint32(rd32(data, 100));
        umH = qint32(rd32(data, 104));
    }
    // Reference device density; a missing or absurd one means 96 dpi.
    auto density = [](qint32 px, qint32 mm, double um) {
        double d = 0;
        if (px > 0 && um > 0 && mm > 0 && std::abs(um / 1000.0 - mm) <= 1.0)
            d = px / (um / 1000.0);
        else if (px > 0 && mm > 0)
            d = double(px) / mm;
        return d > 0.05 && d < 1000 ? d : 96 / 25.4;
    };
    h.pxPerMm = QSizeF(density(devW, mmW, umW), density(devH, mmH, umH));

    const qint64 frameW = qint64(h.frame.right()) - h.frame.left();
    const qint64 frameH = qint64(h.frame.bottom()) - h.frame.top();
    QRectF deviceFrame;
    qint64 extentW = frameW, extentH = frameH;
    if (frameW > 0 && frameH > 0) {
        deviceFrame
            = QRectF(h.frame.left() * h.pxPerMm.width() / 100.0, h.frame.top() * h.pxPerMm.height() / 100.0,
                double(frameW) * h.pxPerMm.width() / 100.0, double(frameH) * h.pxPerMm.height() / 100.0);
    } else {
        const qint64 boundsW = qint64(h.bounds.right()) - h.bounds.left();
        const qint64 boundsH = qint64(h.bounds.bottom()) - h.bounds.top();
        if (boundsW <= 0 || boundsH <= 0)
            raise(Err::DamagedPicture);
        deviceFrame = QRectF(h.bounds.left(), h.bounds.top(), double(boundsW), double(boundsH));
        extentW = std::llround(double(boundsW) * 100.0 / h.pxPerMm.width());
        extentH = std::llround(double(boundsH) * 100.0 / h.pxPerMm.height());
    }
    if (extentW <= 0 || extentH <= 0 || extentW > INT_MAX || extentH > INT_MAX)
        raise(Err::DamagedPicture);
    h.extent = QSize(int(extentW), int(extentH));
    h.deviceFrame = deviceFrame;
    return h;
}

EmfPlayer::EmfPlayer(const QByteArray &data, const EmfHeader &header, GdiContext &context, int depth)
    : m_data(data)
    , m_header(header)
    , m_dc(context)
    , m_depth(depth)
{
    m_dc.objects().resize(std::max(1, header.handleCount));
}

bool EmfPlayer::play()
{
    const uchar *base = reinterpret_cast<const uchar *>(m_data.constData());
    const qint64 end = m_data.size();
    qint64 offset = m_header.headerSize;
    while (offset + 8 <= end) {
        const quint32 type = qFromLittleEndian<quint32>(base + offset);
        const quint32 size = qFromLittleEndian<quint32>(base + offset + 4);
        if (size < 8 || size % 4 != 0 || size > end - offset)
            return false;
        if (type == EmrEof)
            return true;
        if (!m_dc.budget().chargeRecord())
            return false;
        const EmfRecord record(base + offset, type, size);
        if (type == EmrHeader || !playRecord(record))
            return false;
        offset += size;
    }
    return false;
}

std::shared_ptr<const Metafile> openEmfAt(QByteArray data, int depth)
{
    if (depth > kMetafileMaxNesting)
        return nullptr;
    const EmfHeader header = parseEmfHeader(data);
    return std::make_shared<EmfMetafile>(std::move(data), header, depth);
}

} // namespace vm
