// EMR_COMMENT: EMF+ records go to the EMF+ player; a public comment may
// carry a whole WMF, kept in case the records draw nothing; private data,
// spool data and group markers draw nothing.
#include "platform/metafile/emfformat.h"
#include "platform/metafile/emfplayer.h"
#include "platform/metafile/emfplusplayer.h"

namespace vm {

EmfPlayer::~EmfPlayer() = default;

bool EmfPlayer::commentRecord(const EmfRecord &r)
{
    // Type, size, data size, then the data: an identifier and its contents.
    const quint32 dataSize = r.u32(8);
    if (!r.need(12, dataSize))
        return false;
    if (dataSize < 4)
        return true;
    const quint32 id = r.u32(12);
    if (id == EmfCommentEmfPlus) {
        const uchar *records = r.data() + 16;
        const qint64 size = qint64(dataSize) - 4;
        if (m_plusRefused)
            return true;
        if (!m_plus) {
            // The first EMF+ record must be a valid header; otherwise the
            // file is drawn from its GDI records alone.
            double dpiX, dpiY;
            bool dual;
            if (!EmfPlusPlayer::readHeader(records, size, &dpiX, &dpiY, &dual)) {
                m_plusRefused = true;
                return true;
            }
            m_plus = std::make_unique<EmfPlusPlayer>(m_dc, dpiX, dpiY, m_depth);
        }
        return m_plus->playComment(records, size);
    }
    if (id == EmfCommentPublic && dataSize >= 24 && r.u32(16) == EmfPublicWindowsMetafile
        && m_embeddedWmf.isEmpty()) {
        const quint32 wmfSize = r.u32(32);
        if (wmfSize > 0 && wmfSize <= dataSize - 24 && r.has(36, wmfSize))
            m_embeddedWmf = QByteArray(reinterpret_cast<const char *>(r.data() + 36), wmfSize);
    }
    return r.ok();
}

} // namespace vm
