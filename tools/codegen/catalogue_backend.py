"""Catalogue back-end: the Orbanex classes of every entry, in the framework's block form.

One emitter per construct (enumeration, record, message, the protocol registry with the
umbrella header, the handler base, the text writer); each returns the text of one file, and
emit() gathers them. A record or message is emitted as its members and its field list
(`fields()`, see src/catalogue/FieldKinds.h); encoding, comparison, bounds and text are the
hand-written visitors of src/catalogue/ applied to that list, so the templates below carry no
per-kind logic beyond the spelling of each kind (MEMBER_TYPE, KIND_TAG); work per field kind
belongs in a hand-written visitor over the same field lists. The registry, the handler base and
the writer are generated whole: lists of the message types, records and enumerations around a
fixed body. The templates are written as the code they produce; `$name` marks what is filled
in; indentation inside filled-in blocks is left to clang-format.
"""

from __future__ import annotations

from schema import STRING_KINDS, Enum, Field, FieldType, Message, Model, Record
from templates import lines, render, render_part


def emit(model: Model) -> dict[str, str]:
    """Every file of the catalogue."""
    files: dict[str, str] = {}
    for e in model.enums:
        files[f"catalogue/{e.name}.h"] = emit_enum_header(e)
        files[f"catalogue/{e.name}.cpp"] = emit_enum_source(e)
    for entry in model.records + model.messages:
        files[f"catalogue/{entry.name}.h"] = emit_class_header(entry)
        files[f"catalogue/{entry.name}.cpp"] = emit_class_source(entry)
    files["catalogue/OXProtocol.h"] = emit_protocol_header(model)
    files["catalogue/OXProtocol.cpp"] = emit_protocol_source(model)
    files["catalogue/OXProtocolHandler.h"] = emit_handler_header(model)
    files["catalogue/OXProtocolHandler.cpp"] = emit_handler_source(model)
    files["catalogue/OXProtocolWriter.h"] = emit_writer_header(model)
    files["catalogue/OXProtocolWriter.cpp"] = emit_writer_source()
    return files


# --- enumerations --------------------------------------------------------------------------------

ENUM_H = """
#pragma once

#include <iosfwd>

namespace Orbanex {

class FastOStream;

// Values in declaration order, which is the index order. initialize() fills the tables, which
// are read-only afterwards; isValid, fromValue, toString, fromString and the output operators
// assert that it has run. They see a value as one byte. toIndex and fromIndex take the whole
// value and answer 0 before initialize() and for anything outside the tables.
struct $name {
    // The fixed underlying type makes every number a field can hold a defined value.
    enum Type : int {
        $enumerators
    };

    static const char* const Name;
    static bool _initialized;
    static constexpr unsigned int _maxValue = $max_value;
    static constexpr unsigned int _nbValues = $nb_values;
    // By value: the name, or null for a number that names no value.
    static const char* _names[_maxValue];
    // By value: the declaration index.
    static unsigned char _toIndex[_maxValue];
    // By declaration index: the value.
    static Type _fromIndex[_nbValues];

    static void initialize();
    static bool isValid(unsigned char iv);
    static Type fromValue(unsigned char iv);
    static const char* toString(unsigned char iv);
    static Type fromString(const char* s);
    static unsigned char toIndex(Type en);
    static Type fromIndex(unsigned char index);
};

// Writes the value's name; a number without a name writes nothing and sets badbit.
std::ostream& operator<<(std::ostream& os, $name::Type en);
// Appends the value's name; a number without a name appends nothing.
FastOStream& operator<<(FastOStream& os, $name::Type en);

}  // namespace Orbanex
"""

ENUM_CPP = """
#include "catalogue/$name.h"

#include <stdexcept>

#include "catalogue/EnumSupport.h"
#include "common/FastOStream.h"
#include "common/OXAssert.h"

namespace Orbanex {

const char* const $name::Name = "$name";
bool $name::_initialized = false;
const char* $name::_names[$name::_maxValue];
unsigned char $name::_toIndex[$name::_maxValue];
$name::Type $name::_fromIndex[$name::_nbValues];

void $name::initialize() {
    static const Type values[_nbValues] = {$values};
    static const char* const names[_nbValues] = {$names};
    for (const char*& n : _names) n = nullptr;
    for (unsigned int i = 0; i < _nbValues; ++i) {
        _names[values[i]] = names[i];
        _toIndex[values[i]] = static_cast<unsigned char>(i);
        _fromIndex[i] = values[i];
    }
    _initialized = true;
}

bool $name::isValid(unsigned char iv) {
    OX_ASSERT(_initialized);
    $is_valid
}

$name::Type $name::fromValue(unsigned char iv) {
    if (!isValid(iv)) EnumSupport::throwInvalidValue("Invalid value for $name: ", iv);
    return static_cast<Type>(iv);
}

const char* $name::toString(unsigned char iv) {
    OX_ASSERT(_initialized);
    $to_string
}

$name::Type $name::fromString(const char* s) {
    OX_ASSERT(_initialized);
    if (s == nullptr) throw std::invalid_argument("Empty string for converting to enum $name.");
    const int value = EnumSupport::find(_names, _maxValue, s);
    if (value < 0) EnumSupport::throwInvalidString(s, "' for converting to enum $name.");
    return static_cast<Type>(value);
}

unsigned char $name::toIndex(Type en) {
    return static_cast<unsigned int>(en) < _maxValue ? _toIndex[en] : 0;
}

$name::Type $name::fromIndex(unsigned char index) {
    return index < _nbValues ? _fromIndex[index] : static_cast<Type>(0);
}

std::ostream& operator<<(std::ostream& os, $name::Type en) {
    return EnumSupport::writeName(os, $name::toString(static_cast<unsigned char>(en)));
}

FastOStream& operator<<(FastOStream& os, $name::Type en) {
    return EnumSupport::writeName(os, $name::toString(static_cast<unsigned char>(en)));
}

}  // namespace Orbanex
"""


def emit_enum_header(e: Enum) -> str:
    return render(ENUM_H, name=e.name, enumerators=lines(f"{n} = {v}," for n, v in e.values),
                  max_value=e.max_value, nb_values=len(e.values))


def emit_enum_source(e: Enum) -> str:
    if e.max_value <= 0xFF:
        is_valid = "return iv < _maxValue && _names[iv] != nullptr;"
        to_string = "return iv < _maxValue ? _names[iv] : nullptr;"
    else:  # a byte cannot pass the end of the table
        is_valid = "return _names[iv] != nullptr;"
        to_string = "return _names[iv];"
    return render(ENUM_CPP, name=e.name, values=", ".join(n for n, _ in e.values),
                  names=", ".join(f'"{n}"' for n, _ in e.values), is_valid=is_valid,
                  to_string=to_string)


# --- records and messages ------------------------------------------------------------------------

CLASS_H = """
#pragma once

$includes

namespace Tarvik {
class FastCodec;
}

namespace Orbanex {

class FastOStream;

$comment
struct $name {
    $constants

    $members

    $constructors

    // Asserts that this object and the storage of its strings and lists lie in [begin, end).
    void checkbounds(const void* begin, const void* end) const;
    // Appends the body at the codec's cursor (catalogue/FieldCodec.h).
    void write(Tarvik::FastCodec& out) const;
    // Replaces the fields with the body at the codec's cursor.
    void read(Tarvik::FastCodec& in);
    // Field by field in declaration order (catalogue/FieldCompare.h).
    bool operator!=(const $name& o) const;
    bool operator==(const $name& o) const;
    bool operator<(const $name& o) const;

    // The fields in declaration order (catalogue/FieldKinds.h).
    template <class F, class... X>
    static bool fields(F& f, X&... x) {
        return $fields;
    }
};

// "<$name ", the compact text (catalogue/FieldText.h), then ">". Text that does not fit the
// stream's buffer is cut; the std::ostream form renders into 65536 bytes first and cuts there.
FastOStream& operator<<(FastOStream& fos, const $name& x);
std::ostream& operator<<(std::ostream& os, const $name& x);

}  // namespace Orbanex
"""

MESSAGE_CONSTANTS = """
static constexpr Tarvik::MsgType_t ID = $id;
static constexpr short INDEX = $index;
"""

RECORD_CONSTANTS = """
// The fewest bytes a body takes.
static constexpr size_t MIN_BODY_SIZE = $min_size;
"""

BLOCK_CONSTRUCTORS = """
// Strings and lists are bound to alloc, the allocator of the block that holds the object, and
// take their storage from it; nothing is taken until they are assigned or read.
explicit $name(Tarvik::BufferAllocator& alloc);
$name(const $name&) = delete;
// Member-wise; strings and lists copy into this object's own block.
$name& operator=(const $name& o) = default;
"""

SCALAR_CONSTRUCTORS = """
$name() = default;
// Takes nothing from the block: the record holds no string or list.
explicit $name(Tarvik::BufferAllocator& alloc);
$explicit$name($parameters);
$name(const $name& o) = default;
$name& operator=(const $name& o) = default;
"""

CLASS_CPP = """
#include "catalogue/$name.h"

#include "catalogue/FieldBounds.h"
#include "catalogue/FieldCodec.h"
#include "catalogue/FieldCompare.h"
#include "catalogue/FieldText.h"
#include "catalogue/OXProtocolWriter.h"
#include "common/OXAssert.h"

namespace Orbanex {

$constructors

void $name::checkbounds(const void* begin, const void* end) const {
    OX_ASSERT(begin <= this && this < end);
    FieldBounds::check(*this, begin, end);
}

void $name::write(Tarvik::FastCodec& out) const { FieldCodec::write(*this, out); }

void $name::read(Tarvik::FastCodec& in) { FieldCodec::read(*this, in); }

bool $name::operator!=(const $name& o) const { return FieldCompare::differs(*this, o); }

bool $name::operator==(const $name& o) const { return !(*this != o); }

bool $name::operator<(const $name& o) const { return FieldCompare::less(*this, o); }

// The writer's rendering of each class is built in the class's own unit.
void AsciiWriter::handle(const $name& x) { FieldText::render(*this, x, $terminal); }

FastOStream& operator<<(FastOStream& fos, const $name& x) {
    return FieldText::stream(fos, "<$name ", x);
}

std::ostream& operator<<(std::ostream& os, const $name& x) {
    return FieldText::stream(os, "<$name ", x);
}

}  // namespace Orbanex
"""

# The member type and the kind tag of each field kind.
MEMBER_TYPE = {"int8": "int8_t", "int16": "int16_t", "int32": "int32_t", "int64": "int64_t",
               "decimal": "int64_t", "bool": "bool", "string": "bufstl::bufstring",
               "scrambled_string": "bufstl::bufstring", "fixed_string": "bufstl::bufstring"}
KIND_TAG = {"int8": "INT8", "int16": "INT16", "int32": "INT32", "int64": "INT64",
            "decimal": "DECIMAL", "bool": "BOOL", "string": "STRING",
            "scrambled_string": "CRYPT_STRING", "fixed_string": "FIXED_STRING",
            "record": "RECORD", "list": "LIST"}


def member_type(t: FieldType) -> str:
    if t.kind == "enum":
        return f"{t.enum.name}::Type"
    if t.kind == "record":
        return t.record.name
    if t.kind == "list":
        e = t.element
        if e.kind == "int32":
            return "bufstl::bufvector<int>"
        if e.kind == "string":
            return "bufstl::bufvectox<bufstl::bufstring>"
        # Elements that hold strings or lists are built bound to the list's block.
        container = "bufvector" if e.record.scalar else "bufvectox"
        return f"bufstl::{container}<{e.record.name}>"
    return MEMBER_TYPE[t.kind]


def kind_tag(t: FieldType) -> str:
    if t.kind == "enum":
        return f"Kind::ENUM<{t.enum.name}>"
    return f"Kind::{KIND_TAG[t.kind]}"


def _bound(t: FieldType) -> bool:
    """True when the member is built with the block's allocator: strings, lists, block records."""
    return (t.kind in ("list", *STRING_KINDS) or
            t.kind == "record" and not t.record.scalar)


def _member(f: Field) -> str:
    # Scalars start at zero (decimals too, not NA); scalar records by their own zeros.
    init = "" if _bound(f.type) or f.type.kind == "record" else "{}"
    return f"{member_type(f.type)} {f.name}{init};"


def _includes(entry: Record) -> str:
    system = {"<cstdint>", "<iosfwd>"}
    local = {"catalogue/FieldKinds.h", "framework/BufferAllocator.h"}
    if isinstance(entry, Message):
        local.add("framework/MsgType.h")
    else:
        system.add("<cstddef>")
    for f in entry.fields:
        t = f.type.item
        if f.type.kind == "list":
            local.add("framework/bufvector.h")
        if t.kind in STRING_KINDS:
            local.add("framework/bufstring.h")
        if t.kind == "enum":
            local.add(f"catalogue/{t.enum.name}.h")
        if t.kind == "record":
            local.add(f"catalogue/{t.record.name}.h")
    return lines([f"#include {s}" for s in sorted(system)] + [""] +
                 [f'#include "{h}"' for h in sorted(local)])


def _comment(entry: Record) -> str:
    if isinstance(entry, Message):
        return ("// A message: the first object of its message block; its strings and lists take "
                "their storage\n// from that block.")
    if entry.scalar:
        return "// A scalar record: no string or list, so it can live anywhere and is copied freely."
    return ("// A block record: it lives in a message block, built with the block's allocator, "
            "and is copied\n// only by assignment, into its own block.")


def _field_list(entry: Record) -> str:
    return " &&\n".join(f'f({kind_tag(f.type)}, "{f.name}", x.{f.name}...)'
                        for f in entry.fields)


def _constructor_declarations(entry: Record) -> str:
    if isinstance(entry, Message) or not entry.scalar:
        return render_part(BLOCK_CONSTRUCTORS, name=entry.name)
    parameters = ", ".join(f"{member_type(f.type)} {f.name}_" for f in entry.fields)
    return render_part(SCALAR_CONSTRUCTORS, name=entry.name, parameters=parameters,
                       explicit="explicit " if len(entry.fields) == 1 else "")


def _constructor_definitions(entry: Record) -> str:
    name = entry.name
    if isinstance(entry, Message) or not entry.scalar:
        bound = [f"{f.name}(alloc)" for f in entry.fields if _bound(f.type)]
        if not bound:
            return f"{name}::{name}(Tarvik::BufferAllocator& /*alloc*/) {{}}"
        return f"{name}::{name}(Tarvik::BufferAllocator& alloc) : {', '.join(bound)} {{}}"
    parameters = ", ".join(f"{member_type(f.type)} {f.name}_" for f in entry.fields)
    inits = ", ".join(f"{f.name}({f.name}_)" for f in entry.fields)
    return (f"{name}::{name}(Tarvik::BufferAllocator& /*alloc*/) {{}}\n\n"
            f"{name}::{name}({parameters}) : {inits} {{}}")


def emit_class_header(entry: Record) -> str:
    if isinstance(entry, Message):
        constants = render_part(MESSAGE_CONSTANTS, id=f"0x{entry.id:04X}", index=entry.index)
    else:
        constants = render_part(RECORD_CONSTANTS, min_size=entry.min_wire_size)
    return render(CLASS_H, includes=_includes(entry), comment=_comment(entry), name=entry.name,
                  constants=constants.strip("\n"),
                  members=lines(_member(f) for f in entry.fields),
                  constructors=_constructor_declarations(entry).strip("\n"),
                  fields=_field_list(entry))


def emit_class_source(entry: Record) -> str:
    return render(CLASS_CPP, name=entry.name, constructors=_constructor_definitions(entry),
                  terminal="true" if entry.terminal else "false")


# --- protocol registry and umbrella ---------------------------------------------------------------

PROTOCOL_H = """
#pragma once

#include <stdexcept>

#include "framework/MsgProtocol.h"

// Every enumeration, record and message of the catalogue, its handler base and its writer.
$includes
#include "catalogue/OXProtocolHandler.h"
#include "catalogue/OXProtocolWriter.h"

namespace Orbanex {

// The catalogue as one protocol of the message framework: a descriptor for each of its
// $nb_messages message types, found by type id, with the name "Orbanex", the type ids in
// catalogue index order and three signatures of 32 lower-case hexadecimal digits (protocol,
// API, storage). Null until initialize(), then the protocol object until the finalize() that
// balances the first initialize().
//
// initialize() and finalize() are counted: the first initialize() fills the enumeration tables
// and builds the protocol object and its descriptors; later calls only count. The finalize()
// that brings the count back to zero destroys the protocol object and the descriptors (the
// enumeration tables stay filled); a finalize() with no initialize() left to balance does
// nothing. Both run on the initialising thread while no other thread uses the catalogue; in
// between everything is read-only, for any thread, without locking. A message block set up
// through the protocol must not be used after the last finalize(): its descriptor is gone.
extern Tarvik::MsgProtocol* __protocol;
void initialize();
void finalize();

// Raised when a stored catalogue message cannot be decoded.
class OXProtocolError : public std::runtime_error {
  public:
    explicit OXProtocolError(const char* what) : std::runtime_error(what) {}
};

}  // namespace Orbanex
"""

PROTOCOL_CPP = """
#include "catalogue/OXProtocol.h"

#include <cstddef>
#include <unordered_map>

#include "framework/MsgDescriptorT.h"

namespace Orbanex {

Tarvik::MsgProtocol* __protocol = nullptr;

namespace {

constexpr size_t NB_MESSAGES = $nb_messages;

// Entry i: the id of the message type whose INDEX is i.
const int _index[NB_MESSAGES] = {
    $ids
};

const char _definitionNotSupported[] = "(Not supported.)";

typedef std::unordered_map<Tarvik::MsgType_t, Tarvik::MsgDescriptor*> DescriptorMap;

// From type id to descriptor, one entry per message type while the catalogue is built; owns
// nothing. Made on first use, so that it exists whatever static initialiser asks first.
DescriptorMap& descriptors() {
    static DescriptorMap map(100);
    return map;
}

// initialize() calls not yet balanced by a finalize().
int _initCount = 0;

class Protocol : public Tarvik::MsgProtocol {
  public:
    const char* getName() const override { return "Orbanex"; }

    Tarvik::MsgDescriptor* getDescriptor(Tarvik::MsgType_t id) const override {
        const DescriptorMap& map = descriptors();
        const DescriptorMap::const_iterator found = map.find(id);
        return found != map.end() ? found->second : nullptr;
    }

    const void* getCompressedDefinition(size_t& size) const override {
        size = sizeof _definitionNotSupported - 1;
        return _definitionNotSupported;
    }

    const char* getSignature() const override { return "$protocol_signature"; }
    const char* getSignatureAPI() const override { return "$api_signature"; }
    const char* getSignatureStorage() const override { return "$storage_signature"; }

    const int* getMessageIndex(size_t& count) const override {
        count = NB_MESSAGES;
        return _index;
    }

    // Null for an id that names no catalogue message.
    const char* getMessageName(Tarvik::MsgType_t id) const override {
        const Tarvik::MsgDescriptor* descriptor = getDescriptor(id);
        return descriptor != nullptr ? descriptor->name() : nullptr;
    }
};

template <class M>
void add(const char* name) {
    descriptors()[M::ID] = new Tarvik::MsgDescriptorT<M>(name, __protocol);
}

void tearDown() {
    for (DescriptorMap::value_type& entry : descriptors()) {
        delete entry.second;
        entry.second = nullptr;
    }
    descriptors().clear();
    delete __protocol;
    __protocol = nullptr;
}

}  // namespace

void initialize() {
    if (_initCount > 0) {
        ++_initCount;
        return;
    }
    $enums
    try {
        __protocol = new Protocol();
        $adds
    } catch (...) {
        // Nothing half built stays behind: the next initialize() starts again.
        tearDown();
        throw;
    }
    _initCount = 1;
}

void finalize() {
    // A finalize() without its initialize() changes nothing: were the count to go below zero,
    // the next initialize() would only count and leave the catalogue unbuilt.
    if (_initCount == 0) return;
    if (--_initCount == 0) tearDown();
}

}  // namespace Orbanex
"""


def emit_protocol_header(model: Model) -> str:
    names = [e.name for e in model.enums] + [r.name for r in model.records + model.messages]
    return render(PROTOCOL_H, includes=lines(f'#include "catalogue/{n}.h"' for n in sorted(names)),
                  nb_messages=len(model.messages))


def emit_protocol_source(model: Model) -> str:
    signatures = model.signatures
    return render(PROTOCOL_CPP, nb_messages=len(model.messages),
                  ids=lines(f"0x{m.id:04X},  // {m.name}" for m in model.messages),
                  protocol_signature=signatures.protocol, api_signature=signatures.api,
                  storage_signature=signatures.storage,
                  enums=lines(f"{e.name}::initialize();" for e in model.enums),
                  adds=lines(f'add<{m.name}>("{m.name}");' for m in model.messages))


# --- handler base --------------------------------------------------------------------------------

HANDLER_H = """
#pragma once

namespace Orbanex {

$messages

// The base of everything that acts on catalogue messages by type: one virtual handle per message
// type, in catalogue index order, each of which calls handleDefault() unless overridden, and
// handleDefault(), which does nothing unless overridden. dispatch() hands the message of a
// message block to the handle of its type.
//
// No state and no lock of its own; a handler and the block it is given belong to one thread at
// a time. Whatever a handle throws passes through dispatch().
class MsgHandler {
  public:
    virtual ~MsgHandler();

    $handles

    virtual void handleDefault() {}

    // buf is the start of a message block (its control header, framework/MsgControl.h). Calls
    // the handle of the type whose INDEX the header carries, with the message object at the
    // block's first allocation; the header's type id plays no part. A block whose index lies
    // outside 0 to $last_index is ignored.
    void dispatch(const char* buf);
};

}  // namespace Orbanex
"""

HANDLER_CPP = """
#include "catalogue/OXProtocolHandler.h"

#include "framework/MsgControl.h"

$includes

namespace Orbanex {

namespace {

constexpr short NB_MESSAGES = $nb_messages;

typedef void (*Jump)(MsgHandler& handler, const void* message);

template <class M>
void jump(MsgHandler& handler, const void* message) {
    handler.handle(*static_cast<const M*>(message));
}

// Entry i: the handle of the message type whose INDEX is i.
const Jump jumps[NB_MESSAGES] = {
    $jumps
};

}  // namespace

MsgHandler::~MsgHandler() {}

void MsgHandler::dispatch(const char* buf) {
    const Tarvik::MsgControl* control = Tarvik::MsgControl::get(const_cast<char*>(buf));
    const short index = control->getIndex();
    // An index from a corrupt or foreign block would call through a pointer read outside the
    // table.
    if (index < 0 || index >= NB_MESSAGES) return;
    jumps[index](*this, control->getMessageBuffer());
}

}  // namespace Orbanex
"""


def _declarations(entries) -> str:
    return lines(f"struct {e.name};" for e in entries)


def _includes_of(entries) -> str:
    return lines(f'#include "catalogue/{e.name}.h"' for e in sorted(entries, key=lambda e: e.name))


def emit_handler_header(model: Model) -> str:
    return render(HANDLER_H, messages=_declarations(model.messages),
                  handles=lines(f"virtual void handle(const {m.name}&) {{ handleDefault(); }}"
                                for m in model.messages),
                  last_index=len(model.messages) - 1)


def emit_handler_source(model: Model) -> str:
    return render(HANDLER_CPP, includes=_includes_of(model.messages),
                  nb_messages=len(model.messages),
                  jumps=lines(f"&jump<{m.name}>," for m in model.messages))


# --- text writer ---------------------------------------------------------------------------------

WRITER_H = """
#pragma once

#include "catalogue/OXProtocolHandler.h"
#include "common/FastOStream.h"
#include "framework/TextCodec.h"
#include "framework/TextWriter.h"

namespace Orbanex {

$records

typedef Tarvik::TextCodec<FastOStream> ACodec;

// Renders catalogue records and messages as text at the cursor of the codec's stream: each
// value "(" name=value ... ")", records nested in place, lists in "[" "]" (catalogue/FieldText.h
// has the text of each kind), laid out compact or pretty by the TextWriter. As a MsgHandler it
// renders a message block of any type through dispatch().
//
// Borrows the codec (and its stream), which must outlive it; owns and allocates nothing. offset
// is the number of characters already on the current line before the cursor, from which the
// pretty layout counts its columns. Between top-level values the layout state is the one it was
// built with, so several values may be rendered one after another. Text that does not fit the
// stream's buffer is cut. One thread at a time.
class AsciiWriter : public Tarvik::TextWriter<FastOStream>, public MsgHandler {
  public:
    AsciiWriter(ACodec& codec, bool pretty, int offset)
        : Tarvik::TextWriter<FastOStream>(codec, pretty, offset) {}
    ~AsciiWriter() override;

    $message_handles

    $record_handles
};

}  // namespace Orbanex
"""

WRITER_CPP = """
#include "catalogue/OXProtocolWriter.h"

namespace Orbanex {

// Each handle is defined in the unit of its class.
AsciiWriter::~AsciiWriter() {}

}  // namespace Orbanex
"""


def emit_writer_header(model: Model) -> str:
    return render(WRITER_H, records=_declarations(model.records),
                  message_handles=lines(f"void handle(const {m.name}& x) override;"
                                        for m in model.messages),
                  record_handles=lines(f"void handle(const {r.name}& x);" for r in model.records))


def emit_writer_source() -> str:
    return render(WRITER_CPP)
