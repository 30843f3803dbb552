// The bounds-checked little-endian reader that EMF records and EMF+ records
// and objects are read through.
#pragma once

#include <QtEndian>
#include <QtGlobal>

#include <cmath>
#include <cstring>

namespace vm {

// Reads over [data, data + size). A read past the end gives 0 and clears
// ok() for good (every later read gives 0 too), which marks the record as
// lying.
class LeReader {
public:
    LeReader() = default;
    LeReader(const uchar *data, qint64 size)
        : m_data(data)
        , m_size(size < 0 ? 0 : size)
    {
    }

    qint64 size() const { return m_size; }
    const uchar *data() const { return m_data; }
    bool ok() const { return m_ok; }
    void fail() const { m_ok = false; }
    bool has(qint64 offset, qint64 length) const
    {
        return offset >= 0 && length >= 0 && offset <= m_size && length <= m_size - offset;
    }
    // Ensures [offset, offset + length) lies inside; clears ok() otherwise.
    bool need(qint64 offset, qint64 length) const
    {
        if (!has(offset, length))
            m_ok = false;
        return m_ok;
    }
    quint8 u8(qint64 offset) const { return need(offset, 1) ? m_data[offset] : 0; }
    quint16 u16(qint64 offset) const
    {
        return need(offset, 2) ? qFromLittleEndian<quint16>(m_data + offset) : 0;
    }
    qint16 i16(qint64 offset) const { return qint16(u16(offset)); }
    quint32 u32(qint64 offset) const
    {
        return need(offset, 4) ? qFromLittleEndian<quint32>(m_data + offset) : 0;
    }
    qint32 i32(qint64 offset) const { return qint32(u32(offset)); }
    // A float; non-finite values read as 0 so nothing downstream sees them.
    float f32(qint64 offset) const
    {
        const quint32 bits = u32(offset);
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return std::isfinite(f) ? f : 0.0f;
    }

private:
    const uchar *m_data = nullptr;
    qint64 m_size = 0;
    mutable bool m_ok = true;
};

} // namespace vm
