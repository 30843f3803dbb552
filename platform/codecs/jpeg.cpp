// JPEG through libjpeg-turbo directly: we see its warnings (a cut-off file
// must not pass for a whole one), bound its memory and scan count, can have
// it decode at a reduced DCT scale, and apply the EXIF orientation so that a
// phone photo stands upright. A large photo is decoded on two threads, and a
// colour profile (APP2) is applied while the rows are decoded.
#include <QList>

#include <csetjmp>
#include <cstdio>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

#include "platform/codecs/codecs.h"
#include "platform/codecs/colorprofile.h"
#include "platform/codecs/rowconverter.h"
#include "platform/codecs/exif.h"
#include "platform/codecs/extent.h"
#include "platform/codecs/rasterbuffer.h"
#include "platform/runtimeerror.h"

namespace vm {

namespace {

// Coefficient buffers of a progressive 100-megapixel photo take about
// 300 MB; more than this is no photo.
constexpr long kMaxDecoderMemory = 1024L * 1024 * 1024;
// Each progressive scan walks the whole image; real encoders write about
// ten, while a crafted file can list thousands to stall the decoder.
constexpr int kMaxScans = 500;
// From this many output pixels a single-scan picture is decoded on two
// threads; below it a second thread saves little.
constexpr qint64 kPixelsForTwoThreads = qint64(2) * 1000 * 1000;
// The second thread must still read the entropy data of the rows it skips,
// so the first one takes more than half the rows (measured best at 62 %
// for 24-megapixel photos, with and without a colour profile).
constexpr int kFirstThreadShare = 62; // per cent
// Rows a thread decodes before it converts them to the display's colours:
// each row at once, while it is still in the cache.
constexpr int kConvertBandRows = 1;

struct ErrorState {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
    bool truncated = false;
    bool endOfData = false;
    bool missingBits = false;
    bool tooManyScans = false;
    int failure = 0; // libjpeg's message code of the fatal error
};

ErrorState &state(j_common_ptr cinfo)
{
    return *reinterpret_cast<ErrorState *>(cinfo->err);
}

[[noreturn]] void onError(j_common_ptr cinfo)
{
    state(cinfo).failure = cinfo->err->msg_code;
    std::longjmp(state(cinfo).jump, 1);
}

void onMessage(j_common_ptr cinfo, int level)
{
    // A file cut off must be told from one that merely lacks its end marker.
    // libjpeg warns of the end of data as soon as its read-ahead finds it,
    // so that warning alone means little in the last row of blocks; there,
    // a cut shows as the entropy decoder needing bits that are not there
    // ("premature end of data segment"). Between the scans of a progressive
    // file the row counter starts again, so only the second sign counts
    // there, and a file cut exactly between two scans shows at lower
    // quality. Other warnings are corrupt bytes libjpeg recovered from.
    // Nothing is printed.
    if (level >= 0)
        return;
    ErrorState &s = state(cinfo);
    const auto *d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (cinfo->err->msg_code == JWRN_JPEG_EOF) {
        s.endOfData = true;
        if (!d->progressive_mode && d->input_iMCU_row + 1 < d->total_iMCU_rows)
            s.truncated = true;
    } else if (cinfo->err->msg_code == JWRN_HIT_MARKER) {
        s.missingBits = true;
    }
    if (s.endOfData && s.missingBits)
        s.truncated = true;
}

void onProgress(j_common_ptr cinfo)
{
    auto *d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > kMaxScans) {
        state(cinfo).tooManyScans = true;
        onError(cinfo);
    }
}

// libjpeg reports failures by longjmp, so every call into it happens inside
// one of these small functions, whose locals have trivial destructors.
class Decompressor {
public:
    Decompressor()
    {
        m_cinfo.err = jpeg_std_error(&m_error.mgr);
        m_error.mgr.error_exit = onError;
        m_error.mgr.emit_message = onMessage;
        m_progress.progress_monitor = onProgress;
    }
    ~Decompressor()
    {
        if (m_created)
            jpeg_destroy_decompress(&m_cinfo);
    }
    Decompressor(const Decompressor &) = delete;
    Decompressor &operator=(const Decompressor &) = delete;

    jpeg_decompress_struct &info() { return m_cinfo; }
    const ErrorState &errors() const { return m_error; }

    bool readHeader(const QByteArray &file)
    {
        if (setjmp(m_error.jump))
            return false;
        jpeg_create_decompress(&m_cinfo); // fails only when memory is short
        m_created = true;
        m_cinfo.progress = &m_progress;
        m_cinfo.mem->max_memory_to_use = kMaxDecoderMemory;
        jpeg_mem_src(&m_cinfo, reinterpret_cast<const unsigned char *>(file.constData()),
            static_cast<unsigned long>(file.size()));
        jpeg_save_markers(&m_cinfo, JPEG_APP0 + 1, 0xFFFF);
        jpeg_save_markers(&m_cinfo, JPEG_APP0 + 2, 0xFFFF);
        return jpeg_read_header(&m_cinfo, TRUE) == JPEG_HEADER_OK;
    }

    bool prepare(unsigned scaleNum, J_COLOR_SPACE out)
    {
        if (setjmp(m_error.jump))
            return false;
        m_cinfo.scale_num = scaleNum;
        m_cinfo.scale_denom = 8;
        m_cinfo.out_color_space = out;
        m_cinfo.dct_method = JDCT_ISLOW;
        jpeg_calc_output_dimensions(&m_cinfo);
        return true;
    }

    // Whether the picture is one scan (baseline): only then can rows be
    // skipped cheaply and decoded on another thread.
    bool singleScan()
    {
        if (setjmp(m_error.jump))
            return false;
        return !jpeg_has_multiple_scans(&m_cinfo);
    }

    // Where decoded rows go and what becomes of them there.
    struct Rows {
        uchar *bits = nullptr; // the raster, allocated at the output size
        qsizetype bytesPerLine = 0;
        QSize size;
        // Converted by this thread as each band is done, while in the cache.
        const ColorConversion *convertHere = nullptr;
        // Told of each band of finished rows, for converting elsewhere.
        RowConverter *convertElsewhere = nullptr;
        // CMYK without a profile: decoded into this row and made RGB here.
        unsigned char *cmykRow = nullptr;
        bool adobeInverted = false;
    };

    // Decodes output rows [from, to), skipping those before `from` (which
    // gives the same samples as decoding them: single-scan pictures only).
    // Two decoders on two threads may share one raster, each with its rows.
    bool decodeRows(const Rows &out, int from, int to)
    {
        if (setjmp(m_error.jump))
            return false;
        if (!jpeg_start_decompress(&m_cinfo))
            return false;
        if (int(m_cinfo.output_width) != out.size.width() || int(m_cinfo.output_height) != out.size.height())
            return false;
        if (from > 0 && int(jpeg_skip_scanlines(&m_cinfo, JDIMENSION(from))) != from)
            return false;
        int converted = from;
        while (int(m_cinfo.output_scanline) < to && !m_error.truncated) {
            const int y = int(m_cinfo.output_scanline);
            uchar *line = out.bits + qsizetype(y) * out.bytesPerLine;
            JSAMPROW target = out.cmykRow ? out.cmykRow : line;
            if (jpeg_read_scanlines(&m_cinfo, &target, 1) != 1)
                return false;
            if (out.cmykRow)
                convertCmykRow(
                    out.cmykRow, reinterpret_cast<QRgb *>(line), out.size.width(), out.adobeInverted);
            if (out.convertHere && (y + 1 - converted == kConvertBandRows || y + 1 == to)) {
                out.convertHere->convertRows(out.bits + qsizetype(converted) * out.bytesPerLine,
                    out.bytesPerLine, out.size.width(), y + 1 - converted);
                converted = y + 1;
            }
            if (out.convertElsewhere && (y + 1) % 16 == 0)
                out.convertElsewhere->rowsReady(y + 1);
        }
        // Only the decoder with the last rows can tell whether the data ends
        // where it should; a file cut off is refused by the caller, and
        // finishing it would only warn again.
        if (!m_error.truncated && to == out.size.height())
            jpeg_finish_decompress(&m_cinfo);
        return true;
    }

private:
    static void convertCmykRow(const unsigned char *in, QRgb *out, int width, bool inverted)
    {
        for (int x = 0; x < width; ++x, in += 4) {
            // Adobe writes CMYK inverted (0 = full ink); others write it plain.
            const int c = inverted ? in[0] : 255 - in[0];
            const int m = inverted ? in[1] : 255 - in[1];
            const int yl = inverted ? in[2] : 255 - in[2];
            const int k = inverted ? in[3] : 255 - in[3];
            out[x] = qRgb(c * k / 255, m * k / 255, yl * k / 255);
        }
    }

    jpeg_decompress_struct m_cinfo {};
    ErrorState m_error {};
    jpeg_progress_mgr m_progress {};
    bool m_created = false;
};

ExifInfo readExif(const jpeg_decompress_struct &cinfo)
{
    for (jpeg_saved_marker_ptr m = cinfo.marker_list; m; m = m->next) {
        if (m->marker != JPEG_APP0 + 1)
            continue;
        const QByteArrayView payload(reinterpret_cast<const char *>(m->data), m->data_length);
        if (payload.startsWith(QByteArrayView("Exif\0\0", 6)))
            return parseExif(payload);
    }
    return {};
}

// The profile of the picture: its own (APP2), else Adobe RGB when the EXIF
// says so. Empty for an untagged picture.
QByteArray readIccProfile(const jpeg_decompress_struct &cinfo, const ExifInfo &exif)
{
    QList<QByteArrayView> app2;
    for (jpeg_saved_marker_ptr m = cinfo.marker_list; m; m = m->next) {
        if (m->marker == JPEG_APP0 + 2)
            app2.append(QByteArrayView(reinterpret_cast<const char *>(m->data), m->data_length));
    }
    QByteArray icc = jpegIccProfile(app2);
    if (icc.isEmpty() && exif.adobeRgb && cinfo.num_components == 3)
        icc = adobeRgbProfile();
    return icc;
}

PixelModel pixelModel(const jpeg_decompress_struct &cinfo)
{
    if (cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK)
        return cinfo.saw_Adobe_marker ? PixelModel::CmykInverted : PixelModel::Cmyk;
    return cinfo.num_components == 1 ? PixelModel::Grey : PixelModel::Rgb;
}

bool transposes(int orientation)
{
    return orientation >= 5;
}

// The stored picture turned and mirrored as the EXIF orientation says, so
// that it stands as the camera saw it.
QImage oriented(const QImage &src, int orientation)
{
    if (orientation <= 1 || orientation > 8)
        return src;
    const int w = src.width();
    const int h = src.height();
    QImage dst(transposes(orientation) ? QSize(h, w) : QSize(w, h), src.format());
    if (dst.isNull())
        raise(Err::OutOfMemory);
    for (int y = 0; y < h; ++y) {
        const QRgb *in = reinterpret_cast<const QRgb *>(src.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            int X = x;
            int Y = y;
            switch (orientation) {
            case 2:
                X = w - 1 - x;
                break;
            case 3:
                X = w - 1 - x;
                Y = h - 1 - y;
                break;
            case 4:
                Y = h - 1 - y;
                break;
            case 5:
                X = y;
                Y = x;
                break;
            case 6:
                X = h - 1 - y;
                Y = x;
                break;
            case 7:
                X = h - 1 - y;
                Y = w - 1 - x;
                break;
            case 8:
                X = y;
                Y = w - 1 - x;
                break;
            }
            reinterpret_cast<QRgb *>(dst.scanLine(Y))[X] = in[x];
        }
    }
    return dst;
}

// The smallest n of n/8 whose output still covers `wanted` (in stored
// orientation); 8 when no reduction is asked for or none fits.
unsigned scaleFor(QSize stored, QSize wanted)
{
    if (wanted.isEmpty())
        return 8;
    for (unsigned n = 1; n < 8; ++n) {
        const qint64 w = (qint64(stored.width()) * n + 7) / 8;
        const qint64 h = (qint64(stored.height()) * n + 7) / 8;
        if (w >= wanted.width() && h >= wanted.height())
            return n;
    }
    return 8;
}

[[noreturn]] void raiseFor(const ErrorState &e)
{
    if (e.failure == JERR_OUT_OF_MEMORY)
        raise(Err::OutOfMemory);
    if (e.failure == JERR_IMAGE_TOO_BIG)
        raise(Err::PictureTooLarge);
    // Legal JPEG that this decoder does not read: 12-bit samples, lossless.
    if (e.failure == JERR_BAD_PRECISION || e.failure == JERR_SOF_UNSUPPORTED
        || e.failure == JERR_NOT_COMPILED)
        raise(Err::InvalidPicture);
    raise(Err::DamagedPicture);
}

// Decodes a large single-scan picture with `first` (whose header is read) on
// this thread and a second decoder on another: the first takes the top rows,
// the second skips them and takes the rest, so a photo opens in about two
// thirds of the time. Errors are those a single decoder would meet first.
void decodeOnTwoThreads(Decompressor &first, const QByteArray &file, unsigned scale, J_COLOR_SPACE out,
    QImage &image, const ColorConversion *conversion)
{
    Decompressor::Rows rows;
    rows.bits = image.bits(); // detached once, before the threads share it
    rows.bytesPerLine = image.bytesPerLine();
    rows.size = image.size();
    rows.convertHere = conversion;
    const int height = rows.size.height();
    const int cut = int(qint64(height) * kFirstThreadShare / 100);
    Decompressor second;
    bool secondOk = false;
    std::thread worker;
    if (second.readHeader(file) && second.prepare(scale, out)) {
        try {
            worker = std::thread([&] { secondOk = second.decodeRows(rows, cut, height); });
        } catch (const std::system_error &) {
            // no thread to be had: this one decodes it all
        }
    }
    const bool shared = worker.joinable();
    const bool firstOk = first.decodeRows(rows, 0, shared ? cut : height);
    if (shared)
        worker.join();
    if (!firstOk)
        raiseFor(first.errors());
    if (first.errors().truncated)
        raise(Err::DamagedPicture);
    if (shared && !secondOk)
        raiseFor(second.errors());
    if (shared && second.errors().truncated)
        raise(Err::DamagedPicture);
}

} // namespace

Picture decodeJpeg(const QByteArray &file, QSize maxSize)
{
    Decompressor d;
    jpeg_decompress_struct &cinfo = d.info();
    if (!d.readHeader(file))
        raiseFor(d.errors());

    const QSize stored(int(cinfo.image_width), int(cinfo.image_height));
    checkPictureSize(stored.width(), stored.height());
    checkPixelsAgainstFileSize(stored.width(), stored.height(), file.size());

    const ExifInfo exif = readExif(cinfo);
    double dotsX = 0;
    double dotsY = 0;
    if (cinfo.saw_JFIF_marker && (cinfo.density_unit == 1 || cinfo.density_unit == 2)) {
        auto toMetre = cinfo.density_unit == 1 ? dotsPerMetreFromDpi : dotsPerMetreFromDotsPerCm;
        dotsX = toMetre(cinfo.X_density);
        dotsY = toMetre(cinfo.Y_density);
    }
    // A source is taken whole or not at all: both axes must be believable.
    if (!isPlausibleDensity(dotsX) || !isPlausibleDensity(dotsY)) {
        dotsX = exif.dotsPerMetreX;
        dotsY = exif.dotsPerMetreY;
        if (!isPlausibleDensity(dotsX) || !isPlausibleDensity(dotsY))
            dotsX = dotsY = 0;
    }

    const bool turn = transposes(exif.orientation);
    const QSize wanted = turn ? maxSize.transposed() : maxSize;
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    const J_COLOR_SPACE rgb32 = JCS_EXT_BGRA;
#else
    const J_COLOR_SPACE rgb32 = JCS_EXT_ARGB;
#endif
    if (!d.prepare(scaleFor(stored, wanted), cmyk ? JCS_CMYK : rgb32))
        raiseFor(d.errors());

    QImage image;
    std::vector<unsigned char> row;
    try {
        image = allocateRaster(int(cinfo.output_width), int(cinfo.output_height), QImage::Format_RGB32);
        if (cmyk)
            row.resize(size_t(cinfo.output_width) * 4);
    } catch (const std::bad_alloc &) {
        raise(Err::OutOfMemory);
    }
    if (image.isNull())
        raise(Err::OutOfMemory);
    // Untagged and sRGB pictures have no conversion and cost nothing here.
    auto conversion = ColorConversion::find(readIccProfile(cinfo, exif), pixelModel(cinfo));
    if (!cmyk && qint64(image.width()) * image.height() >= kPixelsForTwoThreads && d.singleScan()
        && std::thread::hardware_concurrency() > 1) {
        decodeOnTwoThreads(d, file, scaleFor(stored, wanted), rgb32, image, conversion.get());
    } else {
        std::optional<RowConverter> colour;
        if (conversion)
            colour.emplace(std::move(conversion), image);
        Decompressor::Rows rows;
        rows.bits = image.bits();
        rows.bytesPerLine = image.bytesPerLine();
        rows.size = image.size();
        rows.convertElsewhere = colour ? &*colour : nullptr;
        // With a profile, CMYK samples stay in the raster for it to convert.
        rows.cmykRow = cmyk && !colour ? row.data() : nullptr;
        rows.adobeInverted = cinfo.saw_Adobe_marker;
        if (!d.decodeRows(rows, 0, image.height()))
            raiseFor(d.errors());
        if (d.errors().truncated)
            raise(Err::DamagedPicture);
        if (colour)
            colour->finish();
    }

    image = oriented(image, exif.orientation);
    QSize extent = extentHimetric(stored, dotsX, dotsY);
    if (turn)
        extent.transpose();
    return Picture(std::move(image), extent);
}

} // namespace vm
