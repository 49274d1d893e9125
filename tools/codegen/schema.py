"""Loads schema/protocol.toml into a checked model.

The model is shared by every back-end: enumerations, records and messages in schema order, each
field resolved to a FieldType. Everything the back-ends rely on is checked here, so that an
emitter never meets a dangling name or an impossible field.
"""

from __future__ import annotations

import re
import tomllib
from dataclasses import dataclass, field
from pathlib import Path
from typing import Optional

# Field kinds and what the API model declares for them.
SCALAR_KINDS = {
    "int8": "int8_t",
    "int16": "int16_t",
    "int32": "int32_t",
    "int64": "int64_t",
    "bool": "bool",
    "decimal": "OXFloat",
    "string": "std::string",
    "scrambled_string": None,  # catalogue only
    "fixed_string": None,  # catalogue only
}
# Kinds that hold text.
STRING_KINDS = ("string", "scrambled_string", "fixed_string")
# Every kind a field can have.
FIELD_KINDS = (*SCALAR_KINDS, "enum", "record", "list")
# Kinds a typedef may stand for.
TYPEDEF_KINDS = ("int8", "int16", "int32", "int64", "string")
# Element kinds of lists besides records.
LIST_ELEMENT_KINDS = {"int32": "int", "string": "std::string"}

_SIGNATURE = re.compile(r"^[0-9a-f]{32}$")
# The signatures a description carries, in the order the registry answers them.
SIGNATURE_KEYS = ("protocol", "api", "storage")
_LIST = re.compile(r"^list<\s*([A-Za-z_][A-Za-z0-9_]*)\s*>$")
_IDENTIFIER = re.compile(r"^[A-Za-z_][A-Za-z0-9_]*$")
_CPP_KEYWORDS = {
    "alignas", "alignof", "and", "asm", "auto", "bool", "break", "case", "catch", "char",
    "class", "const", "constexpr", "continue", "default", "delete", "do", "double", "else",
    "enum", "explicit", "extern", "false", "float", "for", "friend", "goto", "if", "inline",
    "int", "long", "mutable", "namespace", "new", "noexcept", "not", "nullptr", "operator",
    "or", "private", "protected", "public", "register", "return", "short", "signed", "sizeof",
    "static", "struct", "switch", "template", "this", "throw", "true", "try", "typedef",
    "typename", "union", "unsigned", "using", "virtual", "void", "volatile", "while",
}
# Names the generated member functions give their parameters and locals, and the members the
# catalogue adds to every class; a field of that name would be hidden behind them or clash.
RESERVED_FIELD_NAMES = {"c", "t", "w", "e", "codec", "writer", "rhs", "open", "brackets",
                        "fields", "ID", "INDEX", "MIN_BODY_SIZE"}
# API enumeration tables are indexed by one byte and hold at most 255 slots.
API_ENUM_MAX_VALUE = 254
ENUM_MAX_VALUE = 0x7FFFFFFF
MAX_MESSAGE_ID = 0xFFFF


class SchemaError(Exception):
    """The description is malformed or inconsistent; the text names the entry and the fault."""


@dataclass
class Enum:
    name: str
    api: bool
    values: list[tuple[str, int]]

    @property
    def max_value(self) -> int:
        """The highest value plus one: the size of the tables indexed by value."""
        return max(v for _, v in self.values) + 1


@dataclass
class FieldType:
    kind: str  # a scalar kind, "enum", "record" or "list"
    typedef: Optional[str] = None
    enum: Optional[Enum] = None
    record: Optional["Record"] = None
    element: Optional["FieldType"] = None

    @property
    def api_capable(self) -> bool:
        if self.kind == "list":
            return self.element.api_capable
        return self.kind not in ("scrambled_string", "fixed_string")

    @property
    def api_spelling(self) -> str:
        """The type as the API model declares it."""
        if self.typedef:
            return self.typedef
        if self.kind == "enum":
            return f"{self.enum.name}::Type"
        if self.kind == "record":
            return self.record.name
        if self.kind == "list":
            return f"std::vector<{self.element.element_spelling}>"
        return SCALAR_KINDS[self.kind]

    @property
    def element_spelling(self) -> str:
        """The type as a list of the API model holds it (this type being the list's element)."""
        if self.kind == "record":
            return self.record.name
        return LIST_ELEMENT_KINDS[self.kind]

    @property
    def item(self) -> "FieldType":
        """The type of one value: a list's element, any other type itself."""
        return self.element if self.kind == "list" else self

    @property
    def min_wire_size(self) -> int:
        """The fewest bytes the field can encode to."""
        if self.kind == "record":
            return self.record.min_wire_size
        return 2 if self.kind == "fixed_string" else 1


@dataclass
class Field:
    name: str
    type: FieldType


@dataclass
class Record:
    name: str
    api: bool
    fields: list[Field]

    @property
    def min_wire_size(self) -> int:
        return sum(f.type.min_wire_size for f in self.fields)

    @property
    def terminal(self) -> bool:
        """True when no field is a nested record or a list: the text group stays on one line."""
        return all(f.type.kind not in ("record", "list") for f in self.fields)

    @property
    def scalar(self) -> bool:
        """True when the record holds no string or list, itself or in a record it holds: it
        needs no block storage and can live anywhere."""
        return all(f.type.kind not in ("list", *STRING_KINDS) and
                   (f.type.kind != "record" or f.type.record.scalar) for f in self.fields)


@dataclass
class Message(Record):
    id: int = 0
    index: int = 0


@dataclass
class Totals:
    enforce: bool
    enums: int
    records: int
    messages: int
    contents_messages: Optional[int] = None  # API: messages that hold a `contents` record
    terminal: Optional[int] = None  # catalogue: types whose text group stays on one line
    non_terminal: Optional[int] = None
    fields: Optional[dict[str, int]] = None  # catalogue: fields of every type by kind


@dataclass
class Signatures:
    """Texts of 32 lower-case hexadecimal digits, all different."""
    protocol: str  # the catalogue protocol
    api: str  # the API protocol: the same text in both models
    storage: str  # the stored form


@dataclass
class Model:
    typedefs: dict[str, str]
    enums: list[Enum]
    records: list[Record]
    messages: list[Message]
    api_totals: Totals
    catalogue_totals: Totals
    signatures: Signatures

    def api_enums(self) -> list[Enum]:
        return [e for e in self.enums if e.api]

    def api_records(self) -> list[Record]:
        return [r for r in self.records if r.api]

    def api_messages(self) -> list[Message]:
        """API messages in handler order."""
        return [m for m in self.messages if m.api]


def load(path: Path) -> Model:
    with open(path, "rb") as f:
        try:
            data = tomllib.load(f)
        except tomllib.TOMLDecodeError as e:
            raise SchemaError(f"{path}: {e}") from None
    return build(data)


def loads(text: str) -> Model:
    try:
        data = tomllib.loads(text)
    except tomllib.TOMLDecodeError as e:
        raise SchemaError(str(e)) from None
    return build(data)


def build(data: dict) -> Model:
    _keys(data, "the schema", required=("signatures",),
          optional=("checks", "typedefs", "enum", "record", "message"))
    signatures = _signatures(data["signatures"])
    names: dict[str, str] = {}  # every declared name -> what declared it

    def declare(name: str, what: str) -> None:
        _identifier(name, what)
        if name in SCALAR_KINDS or name in ("list",):
            raise SchemaError(f"{what}: the name {name!r} is a field kind")
        if name in names:
            raise SchemaError(f"{what}: the name {name!r} is already used by {names[name]}")
        names[name] = what

    typedefs: dict[str, str] = {}
    for name, kind in data.get("typedefs", {}).items():
        declare(name, f"typedef {name}")
        if kind not in TYPEDEF_KINDS:
            raise SchemaError(f"typedef {name}: kind {kind!r} is not one of {TYPEDEF_KINDS}")
        typedefs[name] = kind

    enums: dict[str, Enum] = {}
    for raw in data.get("enum", []):
        e = _enum(raw)
        declare(e.name, f"enum {e.name}")
        enums[e.name] = e

    records: dict[str, Record] = {}
    for raw in data.get("record", []):
        _keys(raw, "a record", required=("name", "fields"), optional=("api",))
        name = raw["name"]
        declare(name, f"record {name}")
        r = Record(name, _flag(raw, "api", name), [])
        r.fields = _fields(raw, f"record {name}", typedefs, enums, records)
        records[name] = r  # only now: a record cannot hold itself

    messages: list[Message] = []
    ids: dict[int, str] = {}
    last_index = -1
    for raw in data.get("message", []):
        _keys(raw, "a message", required=("name", "id", "index", "fields"), optional=("api",))
        name = raw["name"]
        what = f"message {name}"
        declare(name, what)
        if not name.endswith("Message"):
            raise SchemaError(f"{what}: message names end with 'Message'")
        mid, index = raw["id"], raw["index"]
        if not isinstance(mid, int) or isinstance(mid, bool) or not 0 <= mid <= MAX_MESSAGE_ID:
            raise SchemaError(f"{what}: id {mid!r} is not a 16-bit unsigned number")
        if mid in ids:
            raise SchemaError(f"{what}: id 0x{mid:04X} is already used by {ids[mid]}")
        ids[mid] = name
        if not isinstance(index, int) or isinstance(index, bool) or index <= last_index:
            raise SchemaError(f"{what}: index {index!r} does not follow {last_index} "
                              "(messages stand in catalogue index order)")
        last_index = index
        m = Message(name, _flag(raw, "api", name), [], id=mid, index=index)
        m.fields = _fields(raw, what, typedefs, enums, records)
        for f in m.fields if m.api else ():
            if f.name == "contents":
                stem = name[: -len("Message")]
                if f.type.kind != "record" or f.type.record.name != stem:
                    raise SchemaError(f"{what}: field contents must be the record {stem}")
        messages.append(m)

    model = Model(typedefs, list(enums.values()), list(records.values()), messages,
                  _totals(data, "api"), _totals(data, "catalogue"), signatures)
    _check_api(model)
    _check_indexes(model)
    _check_totals(model)
    return model


def _signatures(raw: object) -> Signatures:
    _keys(raw, "signatures", required=SIGNATURE_KEYS, optional=())
    seen: dict[str, str] = {}
    for key in SIGNATURE_KEYS:
        text = raw[key]
        if not isinstance(text, str) or not _SIGNATURE.match(text):
            raise SchemaError(f"signatures.{key}: {text!r} is not 32 lower-case hexadecimal "
                              "digits")
        if text in seen:
            raise SchemaError(f"signatures.{key}: the same text as signatures.{seen[text]}")
        seen[text] = key
    return Signatures(*(raw[key] for key in SIGNATURE_KEYS))


def _enum(raw: dict) -> Enum:
    _keys(raw, "an enum", required=("name", "values"), optional=("api",))
    name = raw["name"]
    what = f"enum {name}"
    api = _flag(raw, "api", name)
    pairs = _pairs(raw, "values", what, "[\"NAME\", number]")
    seen: dict[int, str] = {}
    out = []
    limit = API_ENUM_MAX_VALUE if api else ENUM_MAX_VALUE
    for vname, v in pairs:
        _identifier(vname, f"{what} value {vname}")
        if not isinstance(v, int) or isinstance(v, bool) or not 0 <= v <= limit:
            raise SchemaError(f"{what}: value {vname} = {v!r} is outside 0..{limit}")
        if v in seen:
            raise SchemaError(f"{what}: {vname} and {seen[v]} have the same value {v}")
        seen[v] = vname
        out.append((vname, v))
    return Enum(name, api, out)


def _fields(raw: dict, what: str, typedefs: dict[str, str], enums: dict[str, Enum],
            records: dict[str, Record]) -> list[Field]:
    out = []
    for fname, spelled in _pairs(raw, "fields", what, "[\"name\", \"type\"]"):
        _identifier(fname, f"{what} field {fname}")
        if fname in RESERVED_FIELD_NAMES:
            raise SchemaError(f"{what} field {fname}: the name is used by the generated code")
        if not isinstance(spelled, str):
            raise SchemaError(f"{what} field {fname}: the type must be a string")
        out.append(Field(fname, _type(spelled.strip(), f"{what} field {fname}", typedefs, enums,
                                      records)))
    return out


def _pairs(raw: dict, key: str, what: str, form: str) -> list[tuple[str, object]]:
    """The non-empty array `key` of two-element arrays, in order; the first elements distinct.

    Order carries meaning (wire order, declaration order), so it is an array, never a table."""
    items = raw[key]
    if not isinstance(items, list) or not items:
        raise SchemaError(f"{what}: {key} must be a non-empty array of {form} pairs")
    out: list[tuple[str, object]] = []
    seen: set[str] = set()
    for item in items:
        if not isinstance(item, list) or len(item) != 2 or not isinstance(item[0], str):
            raise SchemaError(f"{what}: {item!r} in {key} is not a {form} pair")
        if item[0] in seen:
            raise SchemaError(f"{what}: {item[0]!r} stands twice in {key}")
        seen.add(item[0])
        out.append((item[0], item[1]))
    return out


def _type(spelled: str, what: str, typedefs: dict[str, str], enums: dict[str, Enum],
          records: dict[str, Record]) -> FieldType:
    m = _LIST.match(spelled)
    if m:
        inner = m.group(1)
        if inner in LIST_ELEMENT_KINDS:
            return FieldType("list", element=FieldType(inner))
        if inner in records:
            return FieldType("list", element=FieldType("record", record=records[inner]))
        raise SchemaError(f"{what}: lists hold int32, string or a record declared before, "
                          f"not {inner!r}")
    if spelled in SCALAR_KINDS:
        return FieldType(spelled)
    if spelled in typedefs:
        return FieldType(typedefs[spelled], typedef=spelled)
    if spelled in enums:
        return FieldType("enum", enum=enums[spelled])
    if spelled in records:
        return FieldType("record", record=records[spelled])
    raise SchemaError(f"{what}: unknown type {spelled!r} (records must be declared before use)")


def _check_api(model: Model) -> None:
    for entry in model.records + model.messages:
        if not entry.api:
            continue
        kind = "message" if isinstance(entry, Message) else "record"
        for f in entry.fields:
            what = f"{kind} {entry.name} field {f.name}"
            if not f.type.api_capable:
                raise SchemaError(f"{what}: the API model has no {f.type.kind} fields")
            t = f.type.item
            if t.kind == "enum" and not t.enum.api:
                raise SchemaError(f"{what}: enum {t.enum.name} is not in the API model")
            if t.kind == "record" and not t.record.api:
                raise SchemaError(f"{what}: record {t.record.name} is not in the API model")


def _check_indexes(model: Model) -> None:
    # The index is the position of a message type in the registry's tables and the handler's
    # dispatch table, which have no holes.
    indexes = [m.index for m in model.messages]
    if indexes != list(range(len(indexes))):
        raise SchemaError(f"catalogue message indexes are not 0 to {len(indexes) - 1} "
                          "without gaps")


def _check_totals(model: Model) -> None:
    api = model.api_totals
    if api.enforce:
        contents = sum(1 for m in model.api_messages() if any(f.name == "contents"
                                                               for f in m.fields))
        _total("API enumerations", len(model.api_enums()), api.enums)
        _total("API records", len(model.api_records()), api.records)
        _total("API messages", len(model.api_messages()), api.messages)
        _total("API messages with a contents record", contents, api.contents_messages)
    cat = model.catalogue_totals
    if cat.enforce:
        _total("catalogue enumerations", len(model.enums), cat.enums)
        _total("catalogue records", len(model.records), cat.records)
        _total("catalogue messages", len(model.messages), cat.messages)
        types = model.records + model.messages
        terminal = sum(1 for r in types if r.terminal)
        _total("catalogue terminal types", terminal, cat.terminal)
        _total("catalogue non-terminal types", len(types) - terminal, cat.non_terminal)
        if cat.fields is not None:
            found: dict[str, int] = {}
            for r in types:
                for f in r.fields:
                    found[f.type.kind] = found.get(f.type.kind, 0) + 1
            for kind in sorted(set(found) | set(cat.fields)):
                _total(f"catalogue {kind} fields", found.get(kind, 0), cat.fields.get(kind, 0))


def _total(what: str, found: int, expected: Optional[int]) -> None:
    if expected is not None and found != expected:
        raise SchemaError(f"{what}: {found} described, {expected} expected")


def _totals(data: dict, which: str) -> Totals:
    raw = data.get("checks", {}).get(which, {})
    counts = {"api": ("enums", "records", "messages", "contents_messages"),
              "catalogue": ("enums", "records", "messages", "terminal", "non_terminal")}[which]
    optional = ("enforce", "fields", *counts) if which == "catalogue" else ("enforce", *counts)
    _keys(raw, f"checks.{which}", required=(), optional=optional)
    for k, v in raw.items():
        if k == "fields":
            if not isinstance(v, dict) or any(kind not in FIELD_KINDS for kind in v):
                raise SchemaError(f"checks.{which}.fields: a table of counts by field kind "
                                  f"({', '.join(FIELD_KINDS)})")
            values = v.items()
        else:
            values = [(k, v)]
        for name, count in values:
            ok = (isinstance(count, bool) if name == "enforce" else
                  isinstance(count, int) and not isinstance(count, bool) and count >= 0)
            if not ok:
                raise SchemaError(f"checks.{which}.{name}: {count!r} is not valid")
    return Totals(raw.get("enforce", False), raw.get("enums", 0), raw.get("records", 0),
                  raw.get("messages", 0), raw.get("contents_messages"), raw.get("terminal"),
                  raw.get("non_terminal"), raw.get("fields"))


def _keys(raw: object, what: str, required: tuple, optional: tuple) -> None:
    if not isinstance(raw, dict):
        raise SchemaError(f"{what}: expected a table")
    name = raw.get("name")
    label = f"{what} {name}" if isinstance(name, str) else what
    for k in required:
        if k not in raw:
            raise SchemaError(f"{label}: missing {k!r}")
    for k in raw:
        if k not in required and k not in optional:
            raise SchemaError(f"{label}: unknown key {k!r}")


def _flag(raw: dict, key: str, name: str) -> bool:
    v = raw.get(key, False)
    if not isinstance(v, bool):
        raise SchemaError(f"{name}: {key} must be true or false")
    return v


def _identifier(name: object, what: str) -> None:
    if not isinstance(name, str) or not _IDENTIFIER.match(name) or name in _CPP_KEYWORDS:
        raise SchemaError(f"{what}: {name!r} is not a usable identifier")
