#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace Orbanex {

// A file of a fixed size kept mapped into memory, created or stretched (with zeros) on demand,
// so that a program can use its bytes as memory that survives a restart.
//
// Failures are not thrown: they leave a pending error text that getLastError() hands out once
// (a later failure replaces an unread one). After a failed construction data() is null; the
// descriptor, when one was opened, is held until destruction.
//
// Threads: one thread at a time per object; the mapping itself may be shared with other
// processes (unless privateMode).
class MappedFile {
  public:
    // Opens filename, or creates it with filesize bytes when it is missing or empty (not when
    // exitIfMissing, despite the name nothing exits then: the error is stored). An existing file
    // of at least filesize bytes is mapped at its own size; a shorter, non-empty one is refused.
    // lockInMemory asks for MAP_LOCKED (the machine may refuse it: see getLastError), privateMode
    // for a copy-on-write mapping instead of a shared one. A missing file is created exclusively:
    // when a file (or a link) appears under its name meanwhile, opening fails.
    MappedFile(const std::string& filename, size_t filesize, bool lockInMemory, bool privateMode,
               bool exitIfMissing);
    ~MappedFile();

    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    char* data() { return _data; }
    const std::string& getFilename() const { return _filename; }
    off_t getSize() const { return _size; }
    bool createdFile() const { return _created; }

    // Sets the file's length to newsize and remaps it (the mapping may move: data() changes).
    // On failure of the remap the object is left without a mapping (data() null).
    bool resize(size_t newsize);

    // Writes the mapping back to the file (MS_SYNC | MS_INVALIDATE).
    bool persist();

    // False when no error is pending; otherwise moves the text (ending with a newline) into
    // errorOut and returns true.
    bool getLastError(std::string& errorOut);

  private:
    // The constructor's work; stops at the first failure, leaving its error pending.
    void openAndMap(size_t filesize, bool lockInMemory, bool privateMode, bool exitIfMissing);
    void fail(const std::string& text);
    void unmap();

    int _fd = -1;
    off_t _size = 0;
    char* _data = nullptr;
    std::string _filename;
    bool _created = false;
    bool _wasError = false;
    std::string _error;
};

}  // namespace Orbanex
