#pragma once
// File access a station left alone for months can rely on: reads that never wait on whatever
// stands at a path, writes that put a file in place whole or not at all, names that are never
// taken twice, and the removal of what a writer killed mid-write left behind. Plain C++ and POSIX.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace calidra::files {

enum class FileReadStatus { Read, Missing, NotRegularFile, TooLarge, Unreadable };

struct FileReadResult {
    FileReadStatus status = FileReadStatus::Missing;
    long long sizeBytes = 0; // of the regular file found
    int errorNumber = 0;     // errno behind Missing and Unreadable
};

// Reads a whole regular file of at most maxBytes. The path is opened without blocking and read
// only when it is a regular file: a FIFO, a device or a folder in its place is refused at once,
// never waited on.
FileReadResult readRegularFile(const std::string& path, std::size_t maxBytes, std::vector<uint8_t>& contents);

// Replaces the file's content in one step: the bytes go to a temporary file "<path>.XXXXXX" in the
// same folder, flushed to the disk, which is then renamed over the old file, so a reader never sees
// a truncated file, even after a power cut. Returns false (errno, and errorNumber, set by the step
// that failed, and no temporary file left) when anything fails. Every file the station and the
// editor put in place goes through here.
bool writeFileAtomically(const std::string& path, const uint8_t* data, std::size_t size,
                         int* errorNumber = nullptr);

// The permissions an ordinary new file gets: 0666 less the process's umask. The packaged launchers
// set umask g+w, so what one operator's station writes into the shared folders stays writable for
// the other operators of the group; files put in place here, and the alarm record, follow it.
unsigned newFilePermissions();

// Like writeFileAtomically, but never replaces a file: the bytes go in place under the first of
// nameFor(1), nameFor(2), ... up to nameFor(maxNames) that is free, and the name is taken atomically,
// so two writers racing for one name (two stations on one folder) both keep their file. Returns the
// path written, or an empty string on failure (errno set by the step that failed).
std::string writeFileUnderFreeName(const std::string& folder, const std::function<std::string(int)>& nameFor,
                                   int maxNames, const uint8_t* data, std::size_t size);

// Removes, directly in folder, the regular files "<name>.XXXXXX" the writers above leave when the
// process dies mid-write, for names ownsName accepts, last changed at least minimumAgeSeconds ago
// (a younger one may still be written). Returns how many were removed.
std::size_t removeLeftoverTemporaryFiles(const std::string& folder,
                                         const std::function<bool(const std::string& finalName)>& ownsName,
                                         int minimumAgeSeconds);

} // namespace calidra::files
