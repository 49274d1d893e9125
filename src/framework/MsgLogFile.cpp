#include "framework/MsgLogFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <ostream>
#include <string>

#include "common/OXAssert.h"
#include "framework/CodecError.h"
#include "framework/FastCodec.h"
#include "framework/MsgControl.h"
#include "framework/MsgProtocol.h"

namespace Tarvik {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "record headers are copied from the file as they lie");

namespace {

// begin() and end() of an empty file: not null, so that an open empty file differs from a closed
// one, and never dereferenced.
char emptyFile[1];

constexpr int64_t NANOS_PER_SEC = 1000000000LL;
// The plausibility window around the first record's time stamp.
constexpr int64_t WINDOW_BEFORE = 3600LL * NANOS_PER_SEC;
constexpr int64_t WINDOW_AFTER = 601200LL * NANOS_PER_SEC;
// Candidate offsets a search looks at.
constexpr uint64_t SEARCH_SPAN = 65536;

// Bytes a record whose length field is n occupies, its header included.
constexpr uint64_t recordSize(uint16_t n) { return static_cast<uint64_t>(n) + 2; }

}  // namespace

// --- MsgLogFile --------------------------------------------------------------------------------

MsgLogFile::MsgLogFile(const char* filename, MsgProtocol* proto)
    : _mmap(nullptr),
      _mmfd(-1),
      _mmsize(0),
      _begin(nullptr),
      _end(nullptr),
      _filename(filename),
      _protocol(nullptr) {
    if (map(filename)) _protocol = proto;
}

MsgLogFile::~MsgLogFile() { close(); }

MsgLogFile* MsgLogFile::open(const char* filename, MsgProtocol* proto) {
    OX_ASSERT(filename != 0 && proto != 0);
    MsgLogFile* file = new MsgLogFile(filename, proto);
    if (!file->is_open()) {
        delete file;
        return nullptr;
    }
    return file;
}

bool MsgLogFile::map(const char* filename) {
    const int fd = ::open(filename, O_RDONLY | O_CLOEXEC);
    if (fd == -1) return false;
    const off_t size = ::lseek(fd, 0, SEEK_END);
    if (size == static_cast<off_t>(-1) || ::lseek(fd, 0, SEEK_SET) == static_cast<off_t>(-1)) {
        ::close(fd);
        return false;
    }
    if (size == 0) {
        _mmfd = fd;
        _begin = _end = emptyFile;
        return true;
    }
    void* addr = ::mmap(nullptr, static_cast<size_t>(size), PROT_READ, MAP_SHARED, fd, 0);
    if (addr == MAP_FAILED) {
        ::close(fd);
        return false;
    }
    _mmap = addr;
    _mmfd = fd;
    _mmsize = static_cast<size_t>(size);
    _begin = static_cast<char*>(addr);
    _end = _begin + _mmsize;
    return true;
}

void MsgLogFile::close() {
    if (_mmap != nullptr) ::munmap(_mmap, _mmsize);
    if (_mmfd != -1) ::close(_mmfd);
    _mmap = nullptr;
    _mmfd = -1;
    _mmsize = 0;
    _begin = nullptr;
    _end = nullptr;
    _protocol = nullptr;
}

MsgControl* MsgLogFile::decode(char* block, size_t maxsize, const MsgHead& hdr,
                               char* encoded) const {
    OX_ASSERT(block != 0 && maxsize > 0);
    OX_ASSERT(encoded != 0);
    OX_ASSERT(is_open());
    OX_ASSERT(_begin <= encoded && encoded < _end);

    const uint64_t left = static_cast<uint64_t>(_end - encoded);
    if (hdr.length < MsgHead::LENGTH_OVERHEAD || recordSize(hdr.length) > left) {
        throw DecodeError("MsgLogFile: record of length " + std::to_string(hdr.length) +
                          " at offset " + std::to_string(encoded - _begin) +
                          " does not lie whole inside '" + _filename + "'");
    }
    if (hdr.length > maxsize) {
        throw DecodeError("MsgLogFile: record of length " + std::to_string(hdr.length) +
                          " does not fit a block of " + std::to_string(maxsize) + " bytes");
    }
    // An empty body is no message.
    if (hdr.length == MsgHead::LENGTH_OVERHEAD) return nullptr;

    MsgControl* control =
        MsgControl::initialize("MsgLogFile::decode", block, maxsize, nullptr, _protocol, hdr.id);
    FastCodec codec(encoded + MsgHead::SIZE, encoded + recordSize(hdr.length));
    control->read(codec);
    // A body with bytes left over was not one message of this type.
    if (codec.remaining() != 0) {
        throw DecodeError("MsgLogFile: record at offset " + std::to_string(encoded - _begin) +
                          " has " + std::to_string(codec.remaining()) +
                          " bytes left over after its message");
    }
    return control;
}

// --- MsgIterator -------------------------------------------------------------------------------

MsgIterator::MsgIterator(MsgLogFile* file) : _file(file), _cur(nullptr), _hdr() {
    OX_ASSERT(_file != 0);
    OX_ASSERT(_file->end());
    positionAt(0);
}

MsgIterator::~MsgIterator() = default;

uint64_t MsgIterator::fileSize() const {
    return static_cast<uint64_t>(_file->end() - _file->begin());
}

void MsgIterator::headerAt(uint64_t off, MsgHead& hdr) const {
    std::memcpy(&hdr, _file->begin() + off, MsgHead::SIZE);
}

bool MsgIterator::wholeRecordAt(uint64_t off, MsgHead& hdr) const {
    const uint64_t size = fileSize();
    if (off > size || size - off < MsgHead::SIZE) return false;
    headerAt(off, hdr);
    return hdr.length > MsgHead::LENGTH_OVERHEAD && recordSize(hdr.length) <= size - off;
}

void MsgIterator::positionAt(uint64_t off) {
    MsgHead hdr;
    if (wholeRecordAt(off, hdr)) {
        _cur = _file->begin() + off;
        _hdr = hdr;
    } else {
        _cur = nullptr;
    }
}

int64_t MsgIterator::tell() const { return _cur == nullptr ? 0 : _cur - _file->begin(); }

int MsgIterator::compare(const MsgIterator& other) const {
    const int64_t a = tell();
    const int64_t b = other.tell();
    return a < b ? -1 : a > b ? 1 : 0;
}

void MsgIterator::seek(int64_t pos) {
    _cur = nullptr;
    const uint64_t size = fileSize();
    const uint64_t off = static_cast<uint64_t>(pos);
    if (pos < 0 || off > size || size - off < MsgHead::SIZE) return;
    headerAt(off, _hdr);
    _cur = _file->begin() + off;
}

MsgIterator& MsgIterator::operator++() {
    if (_cur == nullptr) return *this;
    positionAt(static_cast<uint64_t>(tell()) + recordSize(_hdr.length));
    return *this;
}

void MsgIterator::getReasonableTimestampBounds(int64_t& lo, int64_t& hi) const {
    MsgHead first;
    headerAt(0, first);
    const int64_t t0 = first.nsecs;
    // Saturated, since t0 comes from the file.
    lo = t0 < INT64_MIN + WINDOW_BEFORE ? INT64_MIN : t0 - WINDOW_BEFORE;
    hi = t0 > INT64_MAX - WINDOW_AFTER ? INT64_MAX : t0 + WINDOW_AFTER;
}

bool MsgIterator::plausible(const MsgHead& hdr, int64_t lo, int64_t hi) const {
    return lo <= hdr.nsecs && hdr.nsecs < hi && _file->protocol()->getDescriptor(hdr.id) != 0;
}

void MsgIterator::seekpos(int64_t pos) {
    _cur = nullptr;
    const uint64_t size = fileSize();
    if (pos < 0 || static_cast<uint64_t>(pos) > size || size < MsgHead::SIZE) return;
    int64_t lo, hi;
    getReasonableTimestampBounds(lo, hi);
    const uint64_t start = static_cast<uint64_t>(pos);
    const uint64_t limit =
        start + SEARCH_SPAN < size - MsgHead::SIZE ? start + SEARCH_SPAN : size - MsgHead::SIZE;
    for (uint64_t p = start; p < limit; ++p) {
        MsgHead hdr;
        if (!wholeRecordAt(p, hdr) || !plausible(hdr, lo, hi)) continue;
        MsgHead next;
        const uint64_t following = p + recordSize(hdr.length);
        if (size - following < MsgHead::SIZE) continue;
        headerAt(following, next);
        if (!plausible(next, lo, hi)) continue;
        _cur = _file->begin() + p;
        _hdr = hdr;
        return;
    }
}

void MsgIterator::seeklast() {
    _cur = nullptr;
    const uint64_t size = fileSize();
    if (size < MsgHead::SIZE) return;
    int64_t lo, hi;
    getReasonableTimestampBounds(lo, hi);
    const uint64_t floor = size > SEARCH_SPAN ? size - SEARCH_SPAN : 0;
    for (uint64_t p = size - MsgHead::SIZE;; --p) {
        MsgHead hdr;
        if (wholeRecordAt(p, hdr) && plausible(hdr, lo, hi)) {
            _cur = _file->begin() + p;
            _hdr = hdr;
            return;
        }
        if (p == floor) return;
    }
}

MsgControl* MsgIterator::decode(char* block, size_t maxsize) {
    OX_ASSERT(_cur != 0);
    return _file->decode(block, maxsize, _hdr, _cur);
}

// --- msgWrite ----------------------------------------------------------------------------------

void msgWrite(char* block, std::ostream& os) {
    MsgControl* control = MsgControl::get(block);
    // A longer body is refused by the codec, before anything is written.
    char record[MsgHead::SIZE + MsgHead::MAX_BODY];
    FastCodec body(record + MsgHead::SIZE, record + sizeof record);
    control->write(body);

    timespec now;
    ::clock_gettime(CLOCK_REALTIME, &now);
    MsgHead hdr;
    hdr.length = static_cast<uint16_t>(body.size() + MsgHead::LENGTH_OVERHEAD);
    hdr.id = control->getId();
    hdr.nsecs = static_cast<int64_t>(now.tv_sec) * NANOS_PER_SEC + now.tv_nsec;
    FastCodec head(record, record + MsgHead::SIZE);
    hdr.write(head);
    os.write(record, static_cast<std::streamsize>(recordSize(hdr.length)));
}

}  // namespace Tarvik
