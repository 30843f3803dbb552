// The benchmark's own inputs, made afresh in a temporary folder: photo-like
// JPEGs (gradients, shapes and sensor noise, so that entropy decoding costs
// what it costs on real photos), a large 24-bit bitmap, an RLE bitmap, links
// to a metafile of each kind in the shared corpus, a folder of 20 000 files
// of mixed names and one of 20 000 subfolders.
#pragma once

#include <QString>
#include <QStringList>

namespace bench {

struct Inputs {
    QString pictures; // folder holding the pictures below
    QString photo24mp; // 6000 x 4000 JPEG
    QString photo24mpAdobeRgb; // the same, tagged with an Adobe RGB profile
    QString photo12mp; // 4000 x 3000 JPEG
    QString photo1mp; // 1280 x 800 JPEG
    QString bitmap; // 4000 x 3000 24-bit BMP
    QString rle; // 2000 x 1500 RLE8 bitmap
    QString emf; // empty when the corpus is absent
    QString wmf;
    QString bigFolder; // 20 000 files, most of them tiny pictures
    QString manyFolders; // 20 000 empty subfolders
};

// Fills `root` (an existing, empty folder). Throws std::runtime_error.
Inputs makeInputs(const QString &root);

// A photo-like JPEG of the given size (quality 90, 4:2:0, as cameras write).
void writePhotoJpeg(const QString &file, int width, int height, unsigned seed);

} // namespace bench
