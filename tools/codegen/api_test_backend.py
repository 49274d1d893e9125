"""Test support for the API model: a field visitor and the lists of generated classes.

Tests walk every field of every generated class through it (fill with values, change one field,
count the fields), so that one table covers the whole model instead of a copy per class.
"""

from __future__ import annotations

from schema import Model, Record
from templates import lines, render

FIELD_VISIT_H = """
#pragma once

#include "api/APIAll.h"

namespace ZURAV {

// visitFields(x, v) calls v(member) for every field of x in declaration order.
$declarations

$definitions

}  // namespace ZURAV

// The generated classes, as comma-separated type lists.
#define ZURAV_API_RECORD_TYPES $records
#define ZURAV_API_MESSAGE_TYPES $messages
"""


def emit(model: Model) -> dict[str, str]:
    entries: list[Record] = model.api_records() + model.api_messages()
    declarations = lines(f"template <typename V>\nvoid visitFields({e.name}& x, V& v);"
                         for e in entries)
    definitions = lines(
        f"template <typename V>\nvoid visitFields({e.name}& x, V& v) {{\n" +
        lines(f"    v(x.{f.name});" for f in e.fields) + "\n}\n" for e in entries)
    text = render(FIELD_VISIT_H, declarations=declarations, definitions=definitions,
                  records=", ".join(r.name for r in model.api_records()),
                  messages=", ".join(m.name for m in model.api_messages()))
    return {"apitest/FieldVisit.h": text}
