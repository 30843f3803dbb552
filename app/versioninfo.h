// The program's version information, kept in one place.
#pragma once

namespace versioninfo {
inline constexpr int FileVersion[4] = { 1, 0, 0, 0 };
inline constexpr const char *FileVersionText = "1.00";
inline constexpr const char *ProductVersion = "1.00";
inline constexpr const char *ProductName = "Velmora";
inline constexpr const char *InternalName = "Velmora";
inline constexpr const char *OriginalFilename = "Velmora.exe";
inline constexpr const char *FileDescription = "Picture Viewer";
inline constexpr const char *Comments
    = "Velmoraは、*.bmp;*.ico;*.cur;*.jpg;*.jpe;*.jpeg;*.gif;*.wmf;*.emf;*.rleに対応しています";
inline constexpr int Language = 0x0411;
inline constexpr int CodePage = 1200;
} // namespace versioninfo
