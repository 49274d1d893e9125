#pragma once

// A small protocol in the form the catalogue generator emits, standing in for the internal
// catalogue in the framework's tests: two records and two message types with every service the
// framework's descriptors, blocks and containers need of a catalogue.
//
//   Point (scalar record)   x int32; y int32
//   Entry (block record)    id int32; name string; tags list of string
//   NoteMessage 0x0A01 / 0  timestamp int64; title string; secret scrambled string;
//                           padding fixed-length string; values list of int32;
//                           entries list of Entry; points list of Point
//   TickMessage 0x0A02 / 1  seq int32; price decimal; flag bool; kind int8

#include <cstdint>

#include "framework/BufferAllocator.h"
#include "framework/FastCodec.h"
#include "framework/MsgProtocol.h"
#include "framework/MsgType.h"
#include "framework/bufstring.h"
#include "framework/bufvector.h"

namespace StandIn {

struct Point {
    int32_t x;
    int32_t y;

    Point();
    explicit Point(Tarvik::BufferAllocator& alloc);
    Point(const Point& o);
    Point(int32_t x_, int32_t y_);
    Point& operator=(const Point& o) = default;
    ~Point() {}

    void checkbounds(const void* begin, const void* end) const;
    void write(Tarvik::FastCodec& out) const;
    void read(Tarvik::FastCodec& in);
};

struct Entry {
    int32_t id;
    bufstl::bufstring name;
    bufstl::bufvectox<bufstl::bufstring> tags;

    explicit Entry(Tarvik::BufferAllocator& alloc);
    ~Entry() {}
    Entry& operator=(const Entry& o);

    void checkbounds(const void* begin, const void* end) const;
    void write(Tarvik::FastCodec& out) const;
    void read(Tarvik::FastCodec& in);

  private:
    Entry();
    Entry(const Entry&);
};

struct NoteMessage {
    static const Tarvik::MsgType_t ID = 0x0A01;
    static const short INDEX = 0;

    int64_t timestamp;
    bufstl::bufstring title;
    bufstl::bufstring secret;
    bufstl::bufstring padding;
    bufstl::bufvector<int> values;
    bufstl::bufvectox<Entry> entries;
    bufstl::bufvector<Point> points;

    explicit NoteMessage(Tarvik::BufferAllocator& alloc);
    ~NoteMessage() {}
    NoteMessage& operator=(const NoteMessage& o);

    void checkbounds(const void* begin, const void* end) const;
    void write(Tarvik::FastCodec& out) const;
    void read(Tarvik::FastCodec& in);

  private:
    NoteMessage();
    NoteMessage(const NoteMessage&);
};

struct TickMessage {
    static const Tarvik::MsgType_t ID = 0x0A02;
    static const short INDEX = 1;

    int32_t seq;
    int64_t price;
    bool flag;
    int8_t kind;

    explicit TickMessage(Tarvik::BufferAllocator& alloc);
    ~TickMessage() {}
    TickMessage& operator=(const TickMessage& o);

    void checkbounds(const void* begin, const void* end) const;
    void write(Tarvik::FastCodec& out) const;
    void read(Tarvik::FastCodec& in);

  private:
    TickMessage();
    TickMessage(const TickMessage&);
};

// The protocol object, valid between initialize() and finalize().
class Protocol : public Tarvik::MsgProtocol {
  public:
    static const size_t NB_MESSAGES = 2;

    Protocol();
    ~Protocol() override;

    const char* getName() const override;
    Tarvik::MsgDescriptor* getDescriptor(Tarvik::MsgType_t id) const override;
    const void* getCompressedDefinition(size_t& size) const override;
    const char* getSignature() const override;
    const char* getSignatureAPI() const override;
    const char* getSignatureStorage() const override;
    const int* getMessageIndex(size_t& count) const override;
    const char* getMessageName(Tarvik::MsgType_t id) const override;

  private:
    Protocol(const Protocol&);
    Protocol& operator=(const Protocol&);

    Tarvik::MsgDescriptor* _descriptors[NB_MESSAGES];
};

extern Protocol* __protocol;

// Creates __protocol with the descriptors of every message type; runs before any block of the
// protocol is initialised. finalize() deletes them; no block may be used afterwards.
void initialize();
void finalize();

}  // namespace StandIn
