// A runtime failure: a number and a Japanese description, as the error box
// shows it. Every failure the program can meet is one entry of the catalogue
// below, so the same kind of fault always reads the same way.
#pragma once

#include <QString>

#include <exception>

namespace vm {

enum class Err : int {
    Overflow = 6, // a value does not fit its integer type
    OutOfMemory = 7, // an allocation failed
    BadFileName = 52, // empty or malformed name
    FileNotFound = 53, // no such file
    DeviceIO = 57, // the device failed while reading
    DeviceUnavailable = 68, // a drive that is not mounted or not ready
    PermissionDenied = 70, // no read permission
    IsFolder = 75, // the name is a folder, not a file
    PathNotFound = 76, // the folder part of a path does not exist
    NotARegularFile = 77, // a FIFO, device or socket behind a picture name
    InvalidPropertyValue = 380, // a control property set to a value it cannot take
    InvalidPicture = 481, // not one of the formats the loader reads
    DamagedPicture = 31037, // a known format, but broken or truncated
    PictureTooLarge = 31001, // the decoded picture would exceed the memory bound
    PictureTooComplex = 31038, // a metafile asks for more drawing work than its size allows
};

// Japanese description of a catalogue entry.
QString describe(Err number);

class RuntimeError : public std::exception {
public:
    explicit RuntimeError(Err number);
    RuntimeError(Err number, QString description);

    Err number() const noexcept { return m_number; }
    int Number() const noexcept { return static_cast<int>(m_number); }
    const QString &Description() const noexcept { return m_description; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    Err m_number;
    QString m_description;
    QByteArray m_utf8;
};

[[noreturn]] void raise(Err number);

} // namespace vm
