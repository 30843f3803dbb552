#include "baselines.h"

#include <QFile>
#include <QImageReader>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <memory>
#include <vector>

#include <dirent.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <jpeglib.h>

namespace bench {

namespace {

struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

[[noreturn]] void jpegFailed(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<JpegError *>(cinfo->err)->jump, 1);
}

} // namespace

QSize libjpegDecode(const QString &file, int denom)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = f.readAll();
    jpeg_decompress_struct cinfo {};
    JpegError err {};
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = jpegFailed;
    std::unique_ptr<unsigned char[]> pixels;
    std::vector<JSAMPROW> rows;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return {};
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char *>(data.constData()), data.size());
    jpeg_read_header(&cinfo, TRUE);
    cinfo.scale_num = 1;
    cinfo.scale_denom = unsigned(denom);
    cinfo.out_color_space = JCS_EXT_BGRX;
    jpeg_start_decompress(&cinfo);
    const size_t stride = size_t(cinfo.output_width) * 4;
    pixels.reset(new unsigned char[stride * cinfo.output_height]);
    rows.resize(cinfo.output_height);
    for (size_t y = 0; y < rows.size(); ++y)
        rows[y] = pixels.get() + y * stride;
    while (cinfo.output_scanline < cinfo.output_height)
        jpeg_read_scanlines(
            &cinfo, rows.data() + cinfo.output_scanline, cinfo.output_height - cinfo.output_scanline);
    jpeg_finish_decompress(&cinfo);
    const QSize size(int(cinfo.output_width), int(cinfo.output_height));
    jpeg_destroy_decompress(&cinfo);
    return size;
}

QSize pixbufAtScale(const QString &file, QSize size)
{
    GError *error = nullptr;
    GdkPixbuf *pixbuf = gdk_pixbuf_new_from_file_at_scale(
        QFile::encodeName(file).constData(), size.width(), size.height(), FALSE, &error);
    if (!pixbuf) {
        if (error)
            g_error_free(error);
        return {};
    }
    const QSize got(gdk_pixbuf_get_width(pixbuf), gdk_pixbuf_get_height(pixbuf));
    g_object_unref(pixbuf);
    return got;
}

QImage qtDecodeAndScale(const QString &file, QSize size)
{
    QImageReader reader(file);
    const QImage full = reader.read();
    return full.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

namespace {

// The visible entries that `keep` accepts, sorted without regard to case.
template <typename Keep> QStringList bareEntries(const QString &folder, Keep keep)
{
    QStringList names;
    DIR *dir = opendir(QFile::encodeName(folder).constData());
    while (const dirent *entry = dir ? readdir(dir) : nullptr) {
        if (entry->d_name[0] != '.' && keep(*entry))
            names.append(QFile::decodeName(entry->d_name));
    }
    if (dir)
        closedir(dir);
    std::sort(names.begin(), names.end(),
        [](const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    return names;
}

} // namespace

QStringList bareListing(const QString &folder)
{
    static const char *const suffixes[]
        = { ".bmp", ".ico", ".cur", ".jpg", ".jpe", ".jpeg", ".gif", ".wmf", ".emf", ".rle" };
    return bareEntries(folder, [](const dirent &entry) {
        const char *dot = std::strrchr(entry.d_name, '.');
        return dot && dot != entry.d_name
            && std::any_of(std::begin(suffixes), std::end(suffixes),
                [&](const char *s) { return strcasecmp(dot, s) == 0; });
    });
}

QStringList bareSubfolders(const QString &folder)
{
    return bareEntries(folder, [](const dirent &entry) { return entry.d_type == DT_DIR; });
}

void copyBlock(QImage &to, const QImage &from, int xSrc, int ySrc)
{
    const int w = std::min(to.width(), from.width() - xSrc);
    const int h = std::min(to.height(), from.height() - ySrc);
    for (int row = 0; row < h; ++row)
        std::memcpy(to.scanLine(row), from.constScanLine(ySrc + row) + qsizetype(xSrc) * 4, size_t(w) * 4);
}

} // namespace bench
