#include "common/MappedFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Orbanex {

MappedFile::MappedFile(const std::string& filename, size_t filesize, bool lockInMemory,
                       bool privateMode, bool exitIfMissing)
    : _size(static_cast<off_t>(filesize)), _filename(filename) {
    openAndMap(filesize, lockInMemory, privateMode, exitIfMissing);
}

void MappedFile::openAndMap(size_t filesize, bool lockInMemory, bool privateMode,
                            bool exitIfMissing) {
    const std::string& filename = _filename;
    struct stat st;
    bool missing = false;
    if (::stat(filename.c_str(), &st) != 0) {
        if (exitIfMissing) return fail("File " + filename + " is missing. Exiting.");
        _created = true;
        missing = true;
    } else if (st.st_size >= static_cast<off_t>(filesize)) {
        _size = st.st_size;
    } else if (st.st_size != 0) {
        return fail("File " + filename + " is present and has smaller size than " +
                    std::to_string(filesize));
    } else {
        if (exitIfMissing) return fail("File " + filename + " was empty. Exiting.");
        _created = true;
    }

    // A missing file is created exclusively: one that appeared since the stat (another writer's,
    // or the target of a dangling link) is not stretched over and mapped as if it were new.
    _fd = ::open(filename.c_str(), O_RDWR | O_CREAT | (missing ? O_EXCL : 0), 0644);
    if (_fd < 0) return fail("File " + filename + " could not be open for reading/writing.");

    if (_created) {
        if (::lseek(_fd, _size - 1, SEEK_SET) < 0)
            return fail("Error calling lseek() to stretch the file '" + filename + "'.");
        if (::write(_fd, "", 1) != 1)
            return fail("Error writing last byte of the file '" + filename + "'.");
    }

    int flags = privateMode ? MAP_PRIVATE : MAP_SHARED;
    if (lockInMemory) flags |= MAP_LOCKED;
    void* p = ::mmap(nullptr, static_cast<size_t>(_size), PROT_READ | PROT_WRITE, flags, _fd, 0);
    if (p == MAP_FAILED) return fail("Error mapping the file '" + filename + "'.");
    _data = static_cast<char*>(p);
}

MappedFile::~MappedFile() {
    unmap();
    if (_fd >= 0) ::close(_fd);
}

bool MappedFile::resize(size_t newsize) {
    if (::ftruncate(_fd, static_cast<off_t>(newsize)) != 0) {
        fail("Error resizing memory mapped file '" + _filename + "'.");
        return false;
    }
    void* p = _data == nullptr
                  ? MAP_FAILED
                  : ::mremap(_data, static_cast<size_t>(_size), newsize, MREMAP_MAYMOVE);
    if (p == MAP_FAILED) {
        // The old mapping may now reach past the end of the file, where a read faults.
        unmap();
        fail("Error mappinged the resized memory mapped file '" + _filename + "'.");
        return false;
    }
    _data = static_cast<char*>(p);
    _size = static_cast<off_t>(newsize);
    return true;
}

bool MappedFile::persist() {
    if (_data == nullptr ||
        ::msync(_data, static_cast<size_t>(_size), MS_SYNC | MS_INVALIDATE) != 0) {
        fail("Error syncing file '" + _filename + "'.");
        return false;
    }
    return true;
}

bool MappedFile::getLastError(std::string& errorOut) {
    if (!_wasError) return false;
    errorOut.swap(_error);
    _error.clear();
    _wasError = false;
    return true;
}

void MappedFile::fail(const std::string& text) {
    _wasError = true;
    _error = text + "\n";
}

void MappedFile::unmap() {
    if (_data != nullptr) ::munmap(_data, static_cast<size_t>(_size));
    _data = nullptr;
}

}  // namespace Orbanex
