#include "support/StandInProtocol.h"

#include "common/OXAssert.h"
#include "framework/FastCodec.h"
#include "framework/MsgDescriptorT.h"

namespace StandIn {

// ---- Point ----------------------------------------------------------------------------------

Point::Point() : x(0), y(0) {}

Point::Point(Tarvik::BufferAllocator& /*alloc*/) : x(0), y(0) {}

Point::Point(const Point& o) : x(o.x), y(o.y) {}

Point::Point(int32_t x_, int32_t y_) : x(x_), y(y_) {}

void Point::checkbounds(const void* begin, const void* end) const {
    OX_ASSERT(begin <= this && this < end);
}

void Point::write(Tarvik::FastCodec& out) const {
    out.write_int32(x);
    out.write_int32(y);
}

void Point::read(Tarvik::FastCodec& in) {
    x = in.read_int32();
    y = in.read_int32();
}

// ---- Entry ----------------------------------------------------------------------------------

Entry::Entry(Tarvik::BufferAllocator& alloc) : id(0), name(alloc), tags(alloc) {}

Entry& Entry::operator=(const Entry& o) {
    id = o.id;
    name = o.name;
    tags = o.tags;
    return *this;
}

void Entry::checkbounds(const void* begin, const void* end) const {
    OX_ASSERT(begin <= this && this < end);
    name.checkbounds(begin, end);
    tags.checkbounds(begin, end);
}

void Entry::write(Tarvik::FastCodec& out) const {
    out.write_int32(id);
    out.write_string(name);
    out.write_length(tags.size());
    for (const bufstl::bufstring& e : tags) out.write_string(e);
}

void Entry::read(Tarvik::FastCodec& in) {
    id = in.read_int32();
    in.read_string(name);
    tags.resize(in.read_length(1));
    for (bufstl::bufstring& e : tags) in.read_string(e);
}

// ---- NoteMessage ----------------------------------------------------------------------------

const Tarvik::MsgType_t NoteMessage::ID;
const short NoteMessage::INDEX;

NoteMessage::NoteMessage(Tarvik::BufferAllocator& alloc)
    : timestamp(0),
      title(alloc),
      secret(alloc),
      padding(alloc),
      values(alloc),
      entries(alloc),
      points(alloc) {}

NoteMessage& NoteMessage::operator=(const NoteMessage& o) {
    timestamp = o.timestamp;
    title = o.title;
    secret = o.secret;
    padding = o.padding;
    values = o.values;
    entries = o.entries;
    points = o.points;
    return *this;
}

void NoteMessage::checkbounds(const void* begin, const void* end) const {
    OX_ASSERT(begin <= this && this < end);
    title.checkbounds(begin, end);
    secret.checkbounds(begin, end);
    padding.checkbounds(begin, end);
    values.checkbounds(begin, end);
    entries.checkbounds(begin, end);
    points.checkbounds(begin, end);
}

void NoteMessage::write(Tarvik::FastCodec& out) const {
    out.write_int64(timestamp);
    out.write_string(title);
    out.write_cryptstring(secret);
    out.write_string_fixed(padding);
    out.write_length(values.size());
    for (int e : values) out.write_int32(e);
    out.write_length(entries.size());
    for (const Entry& e : entries) e.write(out);
    out.write_length(points.size());
    for (const Point& e : points) e.write(out);
}

void NoteMessage::read(Tarvik::FastCodec& in) {
    timestamp = in.read_int64();
    in.read_string(title);
    in.read_cryptstring(secret);
    in.read_string_fixed(padding);
    values.resize(in.read_length(1));
    for (int& e : values) e = in.read_int32();
    entries.resize(in.read_length(3));
    for (Entry& e : entries) e.read(in);
    points.resize(in.read_length(2));
    for (Point& e : points) e.read(in);
}

// ---- TickMessage ----------------------------------------------------------------------------

const Tarvik::MsgType_t TickMessage::ID;
const short TickMessage::INDEX;

TickMessage::TickMessage(Tarvik::BufferAllocator& /*alloc*/)
    : seq(0), price(0), flag(false), kind(0) {}

TickMessage& TickMessage::operator=(const TickMessage& o) {
    seq = o.seq;
    price = o.price;
    flag = o.flag;
    kind = o.kind;
    return *this;
}

void TickMessage::checkbounds(const void* begin, const void* end) const {
    OX_ASSERT(begin <= this && this < end);
}

void TickMessage::write(Tarvik::FastCodec& out) const {
    out.write_int32(seq);
    out.write_oxfloat(price);
    out.write_bool(flag);
    out.write_int8(kind);
}

void TickMessage::read(Tarvik::FastCodec& in) {
    seq = in.read_int32();
    price = in.read_oxfloat();
    flag = in.read_bool();
    kind = in.read_int8();
}

// ---- Protocol -------------------------------------------------------------------------------

namespace {

const int MESSAGE_INDEX[Protocol::NB_MESSAGES] = {
    NoteMessage::ID,
    TickMessage::ID,
};

}  // namespace

Protocol* __protocol = 0;

Protocol::Protocol() {
    _descriptors[NoteMessage::INDEX] = new Tarvik::MsgDescriptorT<NoteMessage>("NoteMessage", this);
    _descriptors[TickMessage::INDEX] = new Tarvik::MsgDescriptorT<TickMessage>("TickMessage", this);
}

Protocol::~Protocol() {
    for (Tarvik::MsgDescriptor* d : _descriptors) delete d;
}

const char* Protocol::getName() const { return "StandIn"; }

Tarvik::MsgDescriptor* Protocol::getDescriptor(Tarvik::MsgType_t id) const {
    switch (id) {
        case NoteMessage::ID:
            return _descriptors[NoteMessage::INDEX];
        case TickMessage::ID:
            return _descriptors[TickMessage::INDEX];
        default:
            return 0;
    }
}

const void* Protocol::getCompressedDefinition(size_t& size) const {
    size = 16;
    return "(Not supported.)";
}

const char* Protocol::getSignature() const { return "0123456789abcdef0123456789abcdef"; }

const char* Protocol::getSignatureAPI() const { return "fedcba9876543210fedcba9876543210"; }

const char* Protocol::getSignatureStorage() const { return "00112233445566778899aabbccddeeff"; }

const int* Protocol::getMessageIndex(size_t& count) const {
    count = NB_MESSAGES;
    return MESSAGE_INDEX;
}

const char* Protocol::getMessageName(Tarvik::MsgType_t id) const {
    Tarvik::MsgDescriptor* d = getDescriptor(id);
    return d != 0 ? d->name() : 0;
}

void initialize() { __protocol = new Protocol(); }

void finalize() {
    delete __protocol;
    __protocol = 0;
}

}  // namespace StandIn
