// Builds small EMF byte streams for the player's tests.
#pragma once

#include <QByteArray>
#include <QList>
#include <QRect>
#include <QtEndian>

#include <initializer_list>

#include "platform/metafile/emfformat.h"

namespace vmtest {

// Record numbers as the player knows them.
using enum vm::EmfRecordType;

class EmfBuilder {
public:
    // frame in hundredths of a millimetre (left, top, right, bottom); the
    // reference device has `pxPerMm` pixels per millimetre.
    explicit EmfBuilder(QRect frame = QRect(QPoint(0, 0), QPoint(10000, 10000)), int pxPerMm = 10,
        QByteArray description = {})
    {
        const int headerSize = 88 + int(description.size() + 3) / 4 * 4;
        word(vm::EmrHeader);
        word(quint32(headerSize));
        for (int v : { 0, 0, 1000, 1000 })
            word(quint32(v));
        for (int v : { frame.left(), frame.top(), frame.right(), frame.bottom() })
            word(quint32(v));
        word(0x464D4520);
        word(0x10000);
        word(0); // nBytes, patched
        word(0); // nRecords, patched
        m_data.append(char(16)).append(char(0)).append(2, '\0'); // nHandles, reserved
        word(quint32(description.size() / 2));
        word(description.isEmpty() ? 0 : 88);
        word(0);
        word(quint32(100 * pxPerMm));
        word(quint32(100 * pxPerMm));
        word(100);
        word(100);
        m_data.append(description);
        m_data.append(QByteArray(headerSize - m_data.size(), '\0'));
        m_records = 1;
    }

    EmfBuilder &rec(quint32 type, std::initializer_list<qint64> words)
    {
        word(type);
        word(quint32(8 + 4 * words.size()));
        for (qint64 w : words)
            word(quint32(w));
        ++m_records;
        return *this;
    }

    // A record with a raw payload (padded to four bytes) and an optional
    // forged size.
    EmfBuilder &raw(quint32 type, const QByteArray &payload, qint64 forgedSize = -1)
    {
        QByteArray body = payload;
        body.append(QByteArray((4 - body.size() % 4) % 4, '\0'));
        word(type);
        word(quint32(forgedSize >= 0 ? forgedSize : 8 + body.size()));
        m_data.append(body);
        ++m_records;
        return *this;
    }

    QByteArray finish()
    {
        rec(vm::EmrEof, { 0, 16, 20 });
        qToLittleEndian<quint32>(quint32(m_data.size()), m_data.data() + 48);
        qToLittleEndian<quint32>(quint32(m_records), m_data.data() + 52);
        return m_data;
    }

    static QByteArray words(std::initializer_list<qint64> values)
    {
        QByteArray out;
        for (qint64 v : values) {
            char b[4];
            qToLittleEndian<quint32>(quint32(v), b);
            out.append(b, 4);
        }
        return out;
    }

private:
    void word(quint32 v)
    {
        char b[4];
        qToLittleEndian<quint32>(v, b);
        m_data.append(b, 4);
    }

    QByteArray m_data;
    int m_records = 0;
};

} // namespace vmtest
