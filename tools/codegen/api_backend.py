"""API model back-end: the ZURAV classes of every entry marked `api`.

One emitter per construct (typedefs, signature, enumeration, record, message, factory, handler,
ProtoInit, umbrella, forward declarations); each returns {path relative to the output directory:
C++ text}.
The templates are written as the code they produce; `$name` marks what is filled in. Indentation
inside filled-in blocks is left to clang-format.
"""

from __future__ import annotations

from typing import Callable

from schema import SCALAR_KINDS, Enum, Field, FieldType, Message, Model, Record
from templates import lines, render, render_part


def emit(model: Model) -> dict[str, str]:
    """Every file of the API model."""
    files: dict[str, str] = {}
    files["api/APITypes.h"] = emit_types(model)
    files["api/ZURAVProtocol.h"] = emit_signature(model)
    for e in model.api_enums():
        files[f"api/{e.name}.h"] = emit_enum_header(e)
        files[f"api/{e.name}.cpp"] = emit_enum_source(e)
    for entry in model.api_records() + model.api_messages():
        files[f"api/{entry.name}.h"] = emit_class_header(entry)
        files[f"api/{entry.name}.cpp"] = emit_class_source(entry)
    files["api/MsgFactory.h"] = emit_factory_header()
    files["api/MsgFactory.cpp"] = emit_factory_source(model)
    files["api/MsgHandler.h"] = emit_handler(model)
    files["api/ProtoInit.h"] = emit_protoinit_header()
    files["api/ProtoInit.cpp"] = emit_protoinit_source(model)
    files["api/APIAll.h"] = emit_umbrella(model)
    files["api/APIFwd.h"] = emit_forward(model)
    return files


# --- typedefs ------------------------------------------------------------------------------------

TYPES_H = """
#pragma once

#include <cstdint>
#include <string>

namespace ZURAV {

$typedefs

}  // namespace ZURAV
"""

def emit_types(model: Model) -> str:
    typedefs = lines(f"typedef {SCALAR_KINDS[kind]} {name};" for name, kind in
                     model.typedefs.items())
    return render(TYPES_H, typedefs=typedefs)


# --- signature -----------------------------------------------------------------------------------

SIGNATURE_H = """
#pragma once

namespace ZURAV {

// The API protocol's signature, 32 lower-case hexadecimal digits: the text the client sends as
// the protosig of its VersionMessage and returns as its own signature. The catalogue's protocol
// answers the same text from getSignatureAPI(); both come from one entry of the schema.
inline constexpr char API_SIGNATURE[] = "$api";

}  // namespace ZURAV
"""


def emit_signature(model: Model) -> str:
    return render(SIGNATURE_H, api=model.signatures.api)


# --- enumerations --------------------------------------------------------------------------------

ENUM_H = """
#pragma once

#include <iosfwd>

namespace ZURAV {

// Values in declaration order, which is the index order. The conversions that check their input
// (isValid, toString, fromValue, fromString) need ProtoInit::initialize() first; toValue,
// toIndex and fromIndex check nothing. Tables are written only by initializeEnum().
struct $name {
    // The fixed underlying type makes every received byte a defined value.
    enum Type : unsigned char {
        $enumerators
    };

    static const char* const Name;
    static bool _initialized;
    static constexpr unsigned int _maxValue = $max_value;
    static constexpr unsigned int _nbValues = $nb_values;
    static const char* _names[_maxValue];
    static unsigned char _toIndex[_maxValue];
    static Type _fromIndex[_nbValues];

    static void initializeEnum();
    static void finalizeEnum();
    static bool isValid(unsigned char iv);
    static unsigned char toValue(Type en);
    static const char* toString(unsigned char iv);
    // 0 for a number that is not a value.
    static unsigned char toIndex(Type en);
    static Type fromValue(unsigned char iv);
    // The value 0 for an index at or above _nbValues.
    static Type fromIndex(unsigned char index);
    static Type fromString(const char* s);
};

// Writes the value's name; a number without a name writes nothing and sets badbit.
std::ostream& operator<<(std::ostream& os, $name::Type en);

}  // namespace ZURAV
"""

ENUM_CPP = """
#include "api/$name.h"

#include <ostream>
#include <stdexcept>

#include "api/EnumSupport.h"
#include "common/OXAssert.h"

namespace ZURAV {

const char* const $name::Name = "$name";
bool $name::_initialized = false;
const char* $name::_names[$name::_maxValue];
unsigned char $name::_toIndex[$name::_maxValue];
$name::Type $name::_fromIndex[$name::_nbValues];

void $name::initializeEnum() {
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

void $name::finalizeEnum() {}

bool $name::isValid(unsigned char iv) {
    OX_ASSERT(_initialized);
    return iv < _maxValue && _names[iv] != nullptr;
}

unsigned char $name::toValue(Type en) { return static_cast<unsigned char>(en); }

const char* $name::toString(unsigned char iv) {
    OX_ASSERT(_initialized);
    return iv < _maxValue ? _names[iv] : nullptr;
}

unsigned char $name::toIndex(Type en) {
    return static_cast<unsigned int>(en) < _maxValue ? _toIndex[en] : 0;
}

$name::Type $name::fromValue(unsigned char iv) {
    if (!isValid(iv)) EnumSupport::throwInvalidValue("Invalid value for $name: ", iv);
    return static_cast<Type>(iv);
}

$name::Type $name::fromIndex(unsigned char index) {
    return index < _nbValues ? _fromIndex[index] : static_cast<Type>(0);
}

$name::Type $name::fromString(const char* s) {
    OX_ASSERT(_initialized);
    if (s == nullptr) throw std::invalid_argument("Empty string for converting to enum $name.");
    const int value = EnumSupport::find(_names, _maxValue, s);
    if (value < 0) EnumSupport::throwInvalidString(s, "' for converting to enum $name.");
    return static_cast<Type>(value);
}

std::ostream& operator<<(std::ostream& os, $name::Type en) {
    return EnumSupport::writeName(os, $name::toString(en));
}

}  // namespace ZURAV
"""


def emit_enum_header(e: Enum) -> str:
    enumerators = lines(f"{n} = {v}," for n, v in e.values)
    return render(ENUM_H, name=e.name, enumerators=enumerators, max_value=e.max_value,
                  nb_values=len(e.values))


def emit_enum_source(e: Enum) -> str:
    return render(ENUM_CPP, name=e.name, values=", ".join(n for n, _ in e.values),
                  names=", ".join(f'"{n}"' for n, _ in e.values))


# --- records and messages ------------------------------------------------------------------------

RECORD_H = """
#pragma once

$includes

namespace ZURAV {

class $name {
public:
    $name();
    // Moves take the strings and lists over, so a growing list of records moves its elements.
    $name(const $name&) = default;
    $name($name&&) = default;
    $name& operator=(const $name&) = default;
    $name& operator=($name&&) = default;
    ~$name();

    bool operator==(const $name& rhs) const;
    bool operator!=(const $name& rhs) const;
    bool operator<(const $name& rhs) const;

    // codec: the FastCodec to read from or to write to.
    void read(void* codec);
    void write(void* codec) const;
    // writer: the TextWriter that takes the group.
    void dump(void* writer) const;
    // The whole text, "<$name " group ">", in the pretty layout whatever `pretty` says.
    void dump(std::ostream& os, bool pretty) const;

    $fields
};

std::ostream& operator<<(std::ostream& os, const $name& x);

}  // namespace ZURAV
"""

MESSAGE_H = """
#pragma once

$includes

namespace ZURAV {

class $name : public OXMessage {
public:
    static constexpr MsgType_t ID = $id;

    $name();
    // Moves take the strings and lists over instead of copying them.
    $name(const $name&) = default;
    $name($name&&) = default;
    $name& operator=(const $name&) = default;
    $name& operator=($name&&) = default;
    ~$name() override;

    MsgType_t getMsgType() const override;
    // The whole text, "<$name " group ">", in the pretty layout whatever `pretty` says.
    void dump(std::ostream& os, bool pretty) const override;
    // codec: the FastCodec to read from or to write to.
    void read(void* codec) override;
    void write(void* codec) const override;
    // writer: the TextWriter that takes the group.
    void dump(void* writer) const override;

    bool operator==(const $name& rhs) const;
    bool operator!=(const $name& rhs) const;
    bool operator<(const $name& rhs) const;

    $fields
};

std::ostream& operator<<(std::ostream& os, const $name& x);

}  // namespace ZURAV
"""

CLASS_CPP = """
#include "api/$name.h"

#include "api/APIPrivate.h"

namespace ZURAV {

$name::$name() = default;

$name::~$name() = default;
$message_members
bool $name::operator==(const $name& rhs) const { return !(*this != rhs); }

bool $name::operator!=(const $name& rhs) const {
    if (this == &rhs) return false;
    return $differs;
}

bool $name::operator<(const $name& rhs) const {
    if (this == &rhs) return false;
    $less
}

void $name::read(void* codec) {
    $reads
}

void $name::write(void* codec) const {
    $writes
}

void $name::dump(void* writer) const {
    TextWriter& w = *static_cast<TextWriter*>(writer);
    TextCodec& t = w.out();
    const TextWriter::State open = w.push("(", $terminal);
    $dumps
    w.pop(")", open);
}

void $name::dump(std::ostream& os, bool) const { dumpText(os, "<$name ", *this); }

std::ostream& operator<<(std::ostream& os, const $name& x) {
    x.dump(os, false);
    return os;
}

}  // namespace ZURAV
"""

MESSAGE_MEMBERS = """
MsgType_t $name::getMsgType() const { return ID; }
"""


def _includes(entry: Record) -> str:
    system = {"<iosfwd>"}
    local = {"api/APITypes.h"}
    if isinstance(entry, Message):
        local.add("api/OXMessage.h")
    for f in entry.fields:
        t = f.type.item
        if f.type.kind == "list":
            system.add("<vector>")
        if t.kind == "string":
            system.add("<string>")
        if t.kind == "decimal":
            local.add("api/OXFloat.h")
        if t.kind == "enum":
            local.add(f"api/{t.enum.name}.h")
        if t.kind == "record":
            local.add(f"api/{t.record.name}.h")
    system.add("<cstdint>")
    return lines([f"#include {s}" for s in sorted(system)] + [""] +
                 [f'#include "{h}"' for h in sorted(local)])


def _member(f: Field) -> str:
    t = f.type
    if t.kind == "decimal":
        init = "{OXFloat::NA}"
    elif t.kind in ("int8", "int16", "int32", "int64", "bool", "enum"):
        init = "{}"  # zero: no uninitialised bytes go on the wire
    else:
        init = ""
    return f"{t.api_spelling} {f.name}{init};"


def emit_class_header(entry: Record) -> str:
    fields = lines(_member(f) for f in entry.fields)
    if isinstance(entry, Message):
        return render(MESSAGE_H, includes=_includes(entry), name=entry.name,
                      id=f"0x{entry.id:04X}", fields=fields)
    return render(RECORD_H, includes=_includes(entry), name=entry.name, fields=fields)


def _raw(f: Field, side: str = "") -> str:
    """The field's value as compared: OXFloat by its raw value."""
    expr = f"{side}{f.name}"
    return f"{expr}.toInt()" if f.type.kind == "decimal" else expr


def _differs(entry: Record) -> str:
    return " ||\n".join(f"{_raw(f)} != {_raw(f, 'rhs.')}" for f in entry.fields)


def _less(entry: Record) -> str:
    out = []
    for f in entry.fields[:-1]:
        out.append(f"if ({_raw(f)} < {_raw(f, 'rhs.')}) return true;")
        out.append(f"if ({_raw(f, 'rhs.')} < {_raw(f)}) return false;")
    last = entry.fields[-1]
    out.append(f"return {_raw(last)} < {_raw(last, 'rhs.')};")
    return lines(out)


# The codec operation (read_<op>, write_<op>) of each kind, in the binary and in the text codec.
BINARY_OP = {"int8": "int8", "int16": "int16", "int32": "int32", "int64": "int64",
             "bool": "bool", "decimal": "oxfloat", "string": "string", "enum": "uint8"}
TEXT_OP = dict(BINARY_OP, decimal="int64")  # decimals print as their raw value


def _codec_arg(t: FieldType, value: str) -> str:
    """The value as the codec operations take it."""
    return {"int8": f"static_cast<char>({value})", "decimal": f"{value}.toInt()",
            "enum": f"static_cast<unsigned char>({value})"}.get(t.kind, value)


def _from_codec(t: FieldType, expr: str) -> str:
    """The value of type t made from what the codec's read operation returns."""
    if t.kind == "enum":
        return f"static_cast<{t.enum.name}::Type>({expr})"
    return {"int8": f"static_cast<int8_t>({expr})",
            "decimal": f"OXFloat(static_cast<int64_t>({expr}))"}.get(t.kind, expr)


def _read_value(t: FieldType, target: str) -> str:
    """A statement that reads one value of type t into target."""
    if t.kind == "record":
        return f"{target}.read(codec);"
    if t.kind == "string":
        return f"c.read_string({target});"  # reuses the string's storage
    return f"{target} = {_from_codec(t, f'c.read_{BINARY_OP[t.kind]}()')};"


def _write_value(t: FieldType, value: str) -> str:
    if t.kind == "record":
        return f"{value}.write(codec);"
    return f"c.write_{BINARY_OP[t.kind]}({_codec_arg(t, value)});"


def _dump_value(t: FieldType, value: str) -> str:
    if t.kind == "record":
        return f"{value}.dump(writer);"
    if t.kind == "enum":
        return f"t.write_rawfield({t.enum.name}::toString({value}));"
    return f"t.write_{TEXT_OP[t.kind]}({_codec_arg(t, value)});"


CODEC = "FastCodec& c = *static_cast<FastCodec*>(codec);"


def _codec_statements(entry: Record, value: Callable[[FieldType, str], str],
                      count: Callable[[Field], str], const: str) -> str:
    """value() of every field, a list as its count() and a loop over its elements. The typed
    codec comes first unless every field is a record: those only pass the untyped pointer on."""
    out = [CODEC] if any(f.type.kind != "record" for f in entry.fields) else []
    for f in entry.fields:
        if f.type.kind == "list":
            e = f.type.element
            out.append(count(f))
            out.append(f"for ({const}{e.element_spelling}& e : {f.name}) {value(e, 'e')}")
        else:
            out.append(value(f.type, f.name))
    return lines(out)


def _reads(entry: Record) -> str:
    # The count is refused before anything is sized when the bytes left cannot hold it.
    return _codec_statements(
        entry, _read_value,
        lambda f: f"{f.name}.resize(c.read_length({f.type.element.min_wire_size}));", const="")


def _writes(entry: Record) -> str:
    return _codec_statements(entry, _write_value, lambda f: f"c.write_length({f.name}.size());",
                             const="const ")


LIST_DUMP = """{
    const TextWriter::State brackets = w.push("[", false);
    for (const $element& e : $name) {
        w.newfield();
        $value
    }
    w.pop("]", brackets);
}"""


def _dumps(entry: Record) -> str:
    out = []
    for f in entry.fields:
        out.append("w.newfield();")
        out.append(f't.write_data("{f.name}=");')
        if f.type.kind == "list":
            e = f.type.element
            out.append(render_part(LIST_DUMP, element=e.element_spelling, name=f.name,
                                   value=_dump_value(e, "e")))
        else:
            out.append(_dump_value(f.type, f.name))
    return lines(out)


def emit_class_source(entry: Record) -> str:
    message_members = (render_part(MESSAGE_MEMBERS, name=entry.name)
                       if isinstance(entry, Message) else "")
    return render(CLASS_CPP, name=entry.name, message_members=message_members,
                  differs=_differs(entry), less=_less(entry), reads=_reads(entry),
                  writes=_writes(entry), terminal="true" if entry.terminal else "false",
                  dumps=_dumps(entry))


# --- factory, handler, ProtoInit, umbrella ---------------------------------------------------------

FACTORY_H = """
#pragma once

#include "api/OXMessage.h"

namespace ZURAV {

class MsgFactory {
public:
    // A new, default-constructed message of the class whose type id is msgType, bound to the
    // handle as that class; the empty handle for an id without a message class.
    static ShpOXMessage createMessage(MsgType_t msgType);
};

}  // namespace ZURAV
"""

FACTORY_CPP = """
#include "api/MsgFactory.h"

#include <boost/make_shared.hpp>

$includes

namespace ZURAV {

ShpOXMessage MsgFactory::createMessage(MsgType_t msgType) {
    switch (msgType) {
        $cases
        default:
            return ShpOXMessage();
    }
}

}  // namespace ZURAV
"""

HANDLER_H = """
#pragma once

#include <cstdint>

#include "api/APIFwd.h"

namespace ZURAV {

// Hands a message to the handle overload of its class. T is the context passed along with it
// (the library uses ShpOXMessage, the handle of the message). No state; any thread.
template <typename T>
class MsgHandlerT {
public:
    virtual ~MsgHandlerT() {}

    $handles

    // Called by every default handle overload; does nothing unless overridden.
    virtual void handleDefault(const T& obj) { (void)obj; }

    // Calls the handle overload of the class whose id is msgType with the object at concrete seen
    // as that class, unchecked: pass a message with its own getMsgType(). An id without a class
    // calls nothing, not even handleDefault.
    void dispatchMessage(const T& obj, const void* concrete, uint16_t msgType) {
        switch (msgType) {
            $cases
            default:
                return;
        }
    }
};

}  // namespace ZURAV
"""

PROTOINIT_H = """
#pragma once

namespace ZURAV {

// Fills and releases the tables of the API enumerations. No count: every initialize() fills all
// tables again with the same result; finalize() leaves them filled. Runs on the initialising
// thread before any other use of the conversions.
class ProtoInit {
public:
    static void initialize();
    static void finalize();
};

}  // namespace ZURAV
"""

PROTOINIT_CPP = """
#include "api/ProtoInit.h"

$includes

namespace ZURAV {

void ProtoInit::initialize() {
    $initialize
}

void ProtoInit::finalize() {
    $finalize
}

}  // namespace ZURAV
"""

FORWARD_H = """
#pragma once

// Declares every class of the API model, for headers that only name them.
namespace ZURAV {

class MsgFactory;
template <typename T>
class MsgHandlerT;
class OXFloat;
class OXMessage;
class ProtoInit;

$enums

$classes

}  // namespace ZURAV
"""

UMBRELLA_H = """
#pragma once

// Every class of the API model.
$includes
"""


def _include_all(names) -> str:
    return lines(f'#include "api/{n}.h"' for n in sorted(names))


def emit_factory_header() -> str:
    return render(FACTORY_H)


def emit_factory_source(model: Model) -> str:
    messages = model.api_messages()
    cases = lines(f"case {m.name}::ID:\n    return boost::make_shared<{m.name}>();"
                  for m in sorted(messages, key=lambda m: m.id))
    return render(FACTORY_CPP, includes=_include_all(m.name for m in messages), cases=cases)


def emit_handler(model: Model) -> str:
    messages = model.api_messages()
    handles = lines(f"virtual void handle(const T& obj, const {m.name}&) {{ handleDefault(obj); }}"
                    for m in messages)
    # The ids as numbers: the header names the classes without their definitions.
    cases = lines(f"case 0x{m.id:04X}:  // {m.name}::ID\n"
                  f"    handle(obj, *static_cast<const {m.name}*>(concrete));\n"
                  f"    return;" for m in sorted(messages, key=lambda m: m.id))
    return render(HANDLER_H, handles=handles, cases=cases)


def emit_protoinit_header() -> str:
    return render(PROTOINIT_H)


def emit_protoinit_source(model: Model) -> str:
    enums = model.api_enums()
    return render(PROTOINIT_CPP, includes=_include_all(e.name for e in enums),
                  initialize=lines(f"{e.name}::initializeEnum();" for e in enums),
                  finalize=lines(f"{e.name}::finalizeEnum();" for e in enums))


def emit_forward(model: Model) -> str:
    return render(FORWARD_H, enums=lines(f"struct {e.name};" for e in model.api_enums()),
                  classes=lines(f"class {r.name};" for r in model.api_records() +
                                model.api_messages()))


def emit_umbrella(model: Model) -> str:
    names = ["APIFwd", "APITypes", "MsgFactory", "MsgHandler", "OXFloat", "OXMessage",
             "ProtoInit", "ZURAVProtocol"]
    names += [e.name for e in model.api_enums()]
    names += [r.name for r in model.api_records()]
    names += [m.name for m in model.api_messages()]
    return render(UMBRELLA_H, includes=_include_all(names))
