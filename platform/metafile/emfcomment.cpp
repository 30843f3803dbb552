// EMR_COMMENT: EMF+ records are skipped (the GDI copy follows them in dual
// files); a public comment may
// carry a whole WMF, kept in case the records draw nothing; private data,
// spool data and group markers draw nothing.
#include "platform/metafile/emfformat.h"
#include "platform/metafile/emfplayer.h"

namespace vm {

bool EmfPlayer::commentRecord(const EmfRecord &r)
{
    // Type, size, data size, then the data: an identifier and its contents.
    const quint32 dataSize = r.u32(8);
    if (!r.need(12, dataSize))
        return false;
    if (dataSize < 4)
        return true;
    const quint32 id = r.u32(12);
    if (id == EmfCommentPublic && dataSize >= 24 && r.u32(16) == EmfPublicWindowsMetafile
        && m_embeddedWmf.isEmpty()) {
        const quint32 wmfSize = r.u32(32);
        if (wmfSize > 0 && wmfSize <= dataSize - 24 && r.has(36, wmfSize))
            m_embeddedWmf = QByteArray(reinterpret_cast<const char *>(r.data() + 36), wmfSize);
    }
    return r.ok();
}

} // namespace vm
