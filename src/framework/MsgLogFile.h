#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <iosfwd>
#include <string>

#include "framework/MsgHead.h"
#include "framework/MsgType.h"

namespace Tarvik {

class MsgControl;
class MsgProtocol;

// A binary message log file, mapped read-only for reading back.
//
// The file is records back to back from offset 0, with no file header and no index:
//
//   offset in record  size          content
//   0                 12            MsgHead: length (u16), id (u16), nsecs (i64), little-endian
//   12                length - 10   the message body in the binary field encoding
//
// A record occupies length + 2 bytes. The first record's time stamp is the file's start time;
// every later record's is close to it, which is what lets a reader find record boundaries again
// from an arbitrary offset (see MsgIterator).
//
// The file is hostile input: nothing in it is trusted beyond the bounds of the mapping.
//
// Not thread-safe for close(): the mapping is read-only and iterators may walk it from several
// threads, but close() (or deletion) must not run while any iterator is in use.
class MsgLogFile {
  public:
    // A new, open file owned by the caller, or null when the file cannot be opened, sized or
    // mapped. filename and proto must not be null; proto knows the record types.
    static MsgLogFile* open(const char* filename, MsgProtocol* proto);

    virtual ~MsgLogFile();

    // Unmaps and closes; the file name is kept. Iterators must not be used afterwards.
    void close();

    const char* getFilename() const { return _filename.c_str(); }
    MsgProtocol* getProtocol() const { return _protocol; }
    MsgProtocol* protocol() const { return _protocol; }

    // The mapped bytes. An empty file has begin() == end(), not null; both are null after
    // close().
    char* begin() const { return _begin; }
    char* end() const { return _end; }
    // The file size in bytes; 0 after close().
    size_t length() const { return _mmsize; }

    // Decodes the record at encoded, whose header is hdr, into the caller's message block of
    // maxsize bytes (8-byte aligned, larger than the block header) and returns the block's
    // control header. The record's body is decoded exactly: its bytes, no more and no fewer.
    //
    // Returns null, leaving the block untouched, for a record with an empty body. Throws
    // DecodeError when the record does not lie whole inside the file, when it is longer than
    // the block, or when its body is malformed or has bytes left over; std::runtime_error for an id
    // the protocol does not know; std::out_of_range or std::length_error when the decoded message
    // does not fit the block. After an exception the block holds no usable message and may be
    // initialised again.
    MsgControl* decode(char* block, size_t maxsize, const MsgHead& hdr, char* encoded) const;

  private:
    MsgLogFile(const char* filename, MsgProtocol* proto);
    MsgLogFile(const MsgLogFile&) = delete;
    MsgLogFile& operator=(const MsgLogFile&) = delete;

    bool map(const char* filename);
    bool is_open() const { return _mmfd != -1; }

    void* _mmap;
    int _mmfd;
    size_t _mmsize;
    char* _begin;
    char* _end;
    std::string _filename;
    MsgProtocol* _protocol;
};

// A cursor over the records of a MsgLogFile, which it borrows: the file must stay open while the
// iterator is used.
//
// An iterator is either done, or positioned on a whole record: its 12-byte header and a body of
// at least one byte lie inside the file (the writer never writes an empty body), or, after
// seek(), positioned on whatever 12 bytes lie at the given offset. A walk and the searches never
// present a record whose length field is 10 or less or that runs past the end of the file; a
// walk ends there, so an empty file and one holding nothing but a header walk no record at all.
// decode() refuses a record that is not whole, wherever the iterator stands.
//
// Record boundaries are found again by plausibility: a header is plausible when the protocol
// knows its id and its time stamp t lies in [t0 - 1 h, t0 + 167 h), t0 being the time stamp at
// offset 0. The searches look at no more than 65536 candidate offsets each.
//
// Offsets are byte offsets from the start of the file, 64-bit.
//
// Not thread-safe: each thread walks with its own iterator.
class MsgIterator {
  public:
    // Positioned at the first record, or done when the file holds no whole record there.
    explicit MsgIterator(MsgLogFile* file);
    MsgIterator(const MsgIterator& other) = default;
    virtual ~MsgIterator();

    bool done() const { return _cur == nullptr; }
    // The current record's offset; 0 when done.
    int64_t tell() const;
    // -1, 0 or 1 as tell() is below, equal to or above other's.
    int compare(const MsgIterator& other) const;
    bool operator==(const MsgIterator& other) const { return compare(other) == 0; }
    bool operator!=(const MsgIterator& other) const { return compare(other) != 0; }

    // Positioned at pos, whatever lies there, when a whole header fits between pos and the end of
    // the file; done when pos is negative or no whole header fits.
    void seek(int64_t pos);
    // Positioned at the first offset at or after pos (within 65536 bytes, never in the last 12
    // bytes of the file) that holds a plausible header of a whole record followed by another
    // plausible header; done when there is none. The file's last record is never found.
    void seekpos(int64_t pos);
    // Positioned at the last offset, among the last 65536 of the file, holding a plausible
    // header of a whole record; done when there is none.
    void seeklast();
    // The next record; done at the end of the file or when the next record is not whole.
    // Nothing happens when done.
    MsgIterator& operator++();

    uint16_t length() const { return _hdr.length; }
    MsgType_t id() const { return _hdr.id; }
    int64_t nsecs() const { return _hdr.nsecs; }
    // Whole seconds of nsecs, truncated towards zero, kept to 32 bits.
    time_t secs() const { return _hdr.secs(); }
    // Microseconds within the second, truncated towards zero.
    suseconds_t usecs() const { return _hdr.usecs(); }

    const MsgHead& getHead() const { return _hdr; }
    char* getCurrent() const { return _cur; }

    // Decodes the current record into the caller's block of maxsize bytes; see
    // MsgLogFile::decode. The iterator must not be done.
    MsgControl* decode(char* block, size_t maxsize);

  private:
    MsgIterator& operator=(const MsgIterator&) = delete;

    uint64_t fileSize() const;
    // Reads the 12 bytes at offset off into hdr; off + 12 must lie within the file.
    void headerAt(uint64_t off, MsgHead& hdr) const;
    // The record at off is whole: its header and a non-empty body lie inside the file.
    bool wholeRecordAt(uint64_t off, MsgHead& hdr) const;
    // Positions on the whole record at off, or becomes done.
    void positionAt(uint64_t off);
    void getReasonableTimestampBounds(int64_t& lo, int64_t& hi) const;
    bool plausible(const MsgHead& hdr, int64_t lo, int64_t hi) const;

    MsgLogFile* _file;
    char* _cur;
    MsgHead _hdr;
};

// Writes the message of the message block at block to os as one record, time-stamped with the
// real-time clock: a header and the encoded body in one os.write. Throws EncodeError, writing
// nothing, for a body longer than a record can carry (65525 bytes). The stream's state is left
// for the caller to check.
void msgWrite(char* block, std::ostream& os);

}  // namespace Tarvik
