// Converting a decoded image's colours on every core: row by row while the
// decoder is still producing later rows, or the whole image at once.
#pragma once

#include "platform/codecs/colorprofile.h"

#include <QImage>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace vm {

// Converts an image's rows while the caller is still decoding later ones:
// the decoder runs on one core, the conversion on the others, and the rows
// that remain at the end are shared by all. The image's pixel memory must
// stay where it is until finish() has returned or the converter is gone.
class RowConverter {
public:
    RowConverter(std::shared_ptr<const ColorConversion> conversion, QImage &image);
    ~RowConverter(); // stops the workers; rows not yet converted stay as they are
    RowConverter(const RowConverter &) = delete;
    RowConverter &operator=(const RowConverter &) = delete;

    // Rows [0, rows) hold their final samples.
    void rowsReady(int rows);
    // Converts every row not yet converted and returns when all are.
    void finish();

private:
    void work(bool caller);
    bool claim(int &from, int &count, bool caller);
    void stop();

    std::shared_ptr<const ColorConversion> m_conversion;
    uchar *m_bits = nullptr;
    qsizetype m_bytesPerLine = 0;
    int m_width = 0;
    int m_height = 0;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    int m_ready = 0; // rows the decoder has finished
    int m_next = 0; // first row nobody has claimed
    bool m_finishing = false;
    bool m_stopping = false;
    std::vector<std::thread> m_workers;
};

// Converts a whole RGB32 or premultiplied ARGB32 image tagged with `icc`,
// its rows split over the cores. Does nothing when `icc` is empty, sRGB or
// unusable.
void applyColorProfile(QImage &image, const QByteArray &icc, PixelModel model = PixelModel::Rgb);

} // namespace vm
