// Small pictures of every kind the loader reads, made byte by byte, and the
// hostile variants of them: truncations and files that claim far more than
// they hold. Used by the reliability tests.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace vmtest {

// The kinds, as file extensions: bmp rle ico cur jpeg gif wmf emf.
QList<QString> pictureKinds();

// A valid picture of `kind`, about 40 x 30 pixels (metafiles: a framed
// rectangle), that the loader must accept (metafiles once a player exists).
QByteArray goodPicture(const QString &kind);
// Where the fixed header of `kind` ends: cutting a file shorter than this
// leaves nothing a decoder could use.
int headerBytes(const QString &kind);

// Pictures that claim 65535 x 65535 pixels in a few kilobytes.
QByteArray bmpBomb();
QByteArray gifBomb();
QByteArray jpegBomb();
QByteArray icoBomb(); // a bitmap entry
QByteArray icoPngBomb(); // a PNG entry
// An EMF whose frame is as large as the header can state.
QByteArray emfVastFrame();
// WMF record streams that lie: a record of size 0 (a walker that trusts it
// never advances), a record claiming more than the file, a header claiming a
// huge file and a record count that never ends in EOF.
QByteArray wmfZeroSizeRecord();
QByteArray wmfRecordPastEnd();
QByteArray wmfLyingHeader();

// Peak resident memory of this process so far, in megabytes.
double peakResidentMb();
// Resident memory now, in megabytes.
double residentMb();
// True in a build with AddressSanitizer, whose shadow memory and quarantine
// inflate every memory figure.
bool sanitizedBuild();

} // namespace vmtest
