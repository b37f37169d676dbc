// The operating system's file and console calls that the programs' mains
// need, in one place for POSIX and 64-bit Windows. Paths are UTF-8 strings
// everywhere; on Windows they become UTF-16 at the call, so that any name
// Windows allows works whatever the code page, longer than 260 characters
// included. Failures are reported as text ("No such file or directory"),
// the same on both platforms for the common cases.
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#ifdef _WIN32
#include "windows_api.hpp"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace textio::sys {

// ---------------------------------------------------------------- errors

inline std::string errno_text(int error_number) {
  return error_number != 0 ? std::strerror(error_number) : "input/output error";
}

#ifdef _WIN32
// ---------------------------------------------------------------- text

inline std::wstring to_wide(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
  return wide;
}

inline std::string to_utf8(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), length,
                      nullptr, nullptr);
  return utf8;
}

// The errno value for the Windows errors a user meets, so that messages read
// the same on both platforms; 0 for the rest.
inline int errno_of(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
      return EPIPE;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    default:
      return 0;
  }
}

inline std::string win32_text(DWORD error) {
  if (const int mapped = errno_of(error)) return std::strerror(mapped);
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message =
      length > 0 ? to_utf8(std::wstring_view(text, length)) : "error " + std::to_string(error);
  LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == '.' || message.back() == ' ')) {
    message.pop_back();
  }
  return message;
}

inline std::string last_error_text() { return win32_text(GetLastError()); }

// The UTF-16 form of a path for the file calls: made absolute and given the
// \\?\ prefix when it is too long for the plain form, which Windows limits
// to 260 characters.
inline std::wstring native_path(const std::string& path) {
  std::wstring wide = to_wide(path);
  if (wide.size() < 240 || wide.rfind(L"\\\\?\\", 0) == 0) return wide;
  const DWORD length = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (length == 0) return wide;
  std::wstring full(length, L'\0');
  const DWORD written = GetFullPathNameW(wide.c_str(), length, full.data(), nullptr);
  full.resize(written);
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);  // \\server\share
  return L"\\\\?\\" + full;
}
#else
inline std::string last_error_text() { return errno_text(errno); }
#endif

// ---------------------------------------------------------------- files

#ifdef _WIN32
using Handle = HANDLE;
inline const Handle kNoHandle = INVALID_HANDLE_VALUE;
#else
using Handle = int;
inline constexpr Handle kNoHandle = -1;
#endif

// What a name stands for.
enum class Kind { missing, regular, directory, other /* device, FIFO, socket, console */ };

// Reads up to `size` bytes; returns how many (0 at the end) or -1 on error.
inline std::int64_t read_some(Handle file, char* into, std::size_t size) {
#ifdef _WIN32
  DWORD got = 0;
  const DWORD ask = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
  if (!ReadFile(file, into, ask, &got, nullptr)) {
    // The writing end of a pipe closed: the end of the input.
    return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
  }
  return got;
#else
  for (;;) {
    const ssize_t got = ::read(file, into, size);
    if (got >= 0 || errno != EINTR) return got;
  }
#endif
}

// Writes all `size` bytes; false on error (the reason in last_error_text()).
inline bool write_all(Handle file, const char* data, std::size_t size) {
  while (size > 0) {
#ifdef _WIN32
    DWORD wrote = 0;
    const DWORD ask = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    if (!WriteFile(file, data, ask, &wrote, nullptr)) return false;
#else
    const ssize_t wrote = ::write(file, data, size);
    if (wrote < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (wrote == 0) {
      errno = ENOSPC;
      return false;
    }
#endif
    data += wrote;
    size -= static_cast<std::size_t>(wrote);
  }
  return true;
}

inline bool close_file(Handle file) {
#ifdef _WIN32
  return CloseHandle(file) != 0;
#else
  return ::close(file) == 0;
#endif
}

inline Handle open_for_reading(const std::string& path) {
#ifdef _WIN32
  return CreateFileW(native_path(path).c_str(), GENERIC_READ,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
#else
  return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
#endif
}

// Opens an existing file that is not a regular one (a device, FIFO,
// terminal) for writing in place.
inline Handle open_in_place(const std::string& path) {
#ifdef _WIN32
  return CreateFileW(native_path(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
#else
  return ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
#endif
}

// Creates `path` for writing, failing if anything has the name.
inline Handle create_new(const std::string& path) {
#ifdef _WIN32
  return CreateFileW(native_path(path).c_str(), GENERIC_WRITE | DELETE,
                     FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
#else
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
#endif
}

// Gives a new file the permissions of the file it is to replace, so that
// replacing a private file keeps it private. POSIX only.
inline void copy_permissions(const std::string& from, Handle to) {
#ifdef _WIN32
  (void)from;
  (void)to;
#else
  struct stat info {};
  if (::stat(from.c_str(), &info) == 0 && S_ISREG(info.st_mode)) ::fchmod(to, info.st_mode & 07777);
#endif
}

// Linux: a new file in `folder` that has no name, so that nothing of it is
// left if the process ends before name_unnamed() names it, even by SIGKILL.
// kNoHandle where the system or the file system cannot make one.
inline Handle create_unnamed(const std::string& folder) {
#if defined(__linux__) && defined(O_TMPFILE)
  // Naming it later goes through /proc unless the process may link by
  // handle; without /proc, a named file is safer than one that cannot be
  // named.
  if (::access("/proc/self/fd", X_OK) != 0) return kNoHandle;
  return ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
#else
  (void)folder;
  return kNoHandle;
#endif
}

// Gives a file made by create_unnamed() the name `path`, failing if the
// name exists.
inline bool name_unnamed(Handle file, const std::string& path) {
#if defined(__linux__) && defined(O_TMPFILE)
  if (::linkat(file, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0) return true;
  if (errno == EEXIST) return false;
  const std::string self = "/proc/self/fd/" + std::to_string(file);
  return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0;
#else
  (void)file;
  (void)path;
  errno = ENOSYS;
  return false;
#endif
}

// The folder part of a path ("" for a bare name).
inline std::string folder_of(const std::string& path) {
#ifdef _WIN32
  const std::size_t slash = path.find_last_of("/\\");
#else
  const std::size_t slash = path.rfind('/');
#endif
  if (slash == std::string::npos) return "";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Marks a file made by create_new() for deletion when it is closed, so that
// it disappears however the process ends, a console interrupt or a forced
// end included. Windows only: returns false where there is no such mark.
inline bool mark_for_deletion(Handle file, bool marked) {
#ifdef _WIN32
  FILE_DISPOSITION_INFO dispose{};
  dispose.DeleteFile = marked ? TRUE : FALSE;
  return SetFileInformationByHandle(file, FileDispositionInfo, &dispose, sizeof dispose) != 0;
#else
  (void)file;
  (void)marked;
  return false;
#endif
}

inline bool created_exists_error() {
#ifdef _WIN32
  const DWORD error = GetLastError();
  return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
#else
  return errno == EEXIST;
#endif
}

// Moves `from` over `to`, replacing a regular file that has the name.
inline bool replace_file(const std::string& from, const std::string& to) {
#ifdef _WIN32
  return MoveFileExW(native_path(from).c_str(), native_path(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING) != 0;
#else
  return ::rename(from.c_str(), to.c_str()) == 0;
#endif
}

inline bool remove_file(const std::string& path) {
#ifdef _WIN32
  return DeleteFileW(native_path(path).c_str()) != 0;
#else
  return ::unlink(path.c_str()) == 0;
#endif
}

// What `path` names, following symbolic links.
inline Kind kind_of(const std::string& path) {
#ifdef _WIN32
  const Handle file = CreateFileW(native_path(path).c_str(), 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Kind::missing
                                                                          : Kind::regular;
  }
  Kind kind = Kind::other;
  if (GetFileType(file) == FILE_TYPE_DISK) {
    BY_HANDLE_FILE_INFORMATION info{};
    kind = GetFileInformationByHandle(file, &info) &&
                   (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0
               ? Kind::directory
               : Kind::regular;
  }
  CloseHandle(file);
  return kind;
#else
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return errno == ENOENT ? Kind::missing : Kind::regular;
  if (S_ISREG(info.st_mode)) return Kind::regular;
  if (S_ISDIR(info.st_mode)) return Kind::directory;
  return Kind::other;
#endif
}

// The size of an open regular file, or -1 for anything else.
inline std::int64_t regular_size(Handle file) {
#ifdef _WIN32
  if (GetFileType(file) != FILE_TYPE_DISK) return -1;
  LARGE_INTEGER size{};
  return GetFileSizeEx(file, &size) ? size.QuadPart : -1;
#else
  struct stat info {};
  if (::fstat(file, &info) != 0 || !S_ISREG(info.st_mode)) return -1;
  return info.st_size;
#endif
}

inline bool is_directory(Handle file) {
#ifdef _WIN32
  BY_HANDLE_FILE_INFORMATION info{};
  return GetFileInformationByHandle(file, &info) &&
         (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
#else
  struct stat info {};
  return ::fstat(file, &info) == 0 && S_ISDIR(info.st_mode);
#endif
}

// The file a chain of symbolic links ends at (the name itself if it is no
// link); the file need not exist. Fails, with the reason, on a loop.
inline bool resolve_links(std::string& path, std::string& reason) {
#ifdef _WIN32
  const DWORD attributes = GetFileAttributesW(native_path(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return true;
  }
  const Handle file = CreateFileW(native_path(path).c_str(), 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return true;  // a dangling link: replaced like a file
  std::wstring final_path(32768, L'\0');
  const DWORD length =
      GetFinalPathNameByHandleW(file, final_path.data(), static_cast<DWORD>(final_path.size()), 0);
  CloseHandle(file);
  if (length == 0 || length >= final_path.size()) return true;
  final_path.resize(length);
  path = to_utf8(final_path);
  (void)reason;
  return true;
#else
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return true;
    std::string link(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 255) + 1, '\0');
    const ssize_t length = ::readlink(path.c_str(), link.data(), link.size());
    if (length < 0) {
      reason = errno_text(errno);
      return false;
    }
    link.resize(static_cast<std::size_t>(length));
    if (link.empty() || link[0] != '/') {
      const std::size_t slash = path.rfind('/');
      if (slash != std::string::npos) link.insert(0, path, 0, slash + 1);
    }
    path = link;
  }
  reason = errno_text(ELOOP);
  return false;
#endif
}

// ---------------------------------------------------------------- streams

inline Handle standard_input() {
#ifdef _WIN32
  return GetStdHandle(STD_INPUT_HANDLE);
#else
  return 0;
#endif
}

inline Handle standard_output() {
#ifdef _WIN32
  return GetStdHandle(STD_OUTPUT_HANDLE);
#else
  return 1;
#endif
}

// True when standard error is a terminal (a console on Windows).
inline bool stderr_is_terminal() {
#ifdef _WIN32
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
#else
  return ::isatty(2) == 1;
#endif
}

// Writes UTF-8 text to standard error as it is; on a Windows console as
// UTF-16, so that every character shows whatever the console's code page.
inline void write_stderr(std::string_view text) {
#ifdef _WIN32
  const HANDLE console = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (GetConsoleMode(console, &mode)) {
    const std::wstring wide = to_wide(text);
    DWORD wrote = 0;
    WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &wrote, nullptr);
    return;
  }
  DWORD wrote = 0;
  WriteFile(console, text.data(), static_cast<DWORD>(text.size()), &wrote, nullptr);
#else
  while (!text.empty()) {
    const ssize_t wrote = ::write(2, text.data(), text.size());
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return;
    text.remove_prefix(static_cast<std::size_t>(wrote));
  }
#endif
}

}  // namespace textio::sys
