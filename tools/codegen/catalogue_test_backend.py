"""Test support for the catalogue: the lists of generated classes and of the API twins.

Tests that cover every class walk these lists (with each class's own `fields()`), so that an
entry added to the schema is covered by itself.
"""

from __future__ import annotations

from schema import Model
from templates import render

TYPE_LISTS_H = """
#pragma once

#include "catalogue/OXProtocol.h"

// The generated classes of the catalogue (namespace Orbanex), as comma-separated type lists:
// enumerations in initialisation order, records in declaration order, messages in catalogue
// index order.
#define OX_CATALOGUE_ENUM_TYPES $enums
#define OX_CATALOGUE_RECORD_TYPES $records
#define OX_CATALOGUE_MESSAGE_TYPES $messages

// The entries that the API model (namespace ZURAV) shares, as T(name) separated by commas.
#define OX_TWIN_ENUMS(T) $twin_enums
#define OX_TWIN_RECORDS(T) $twin_records
#define OX_TWIN_MESSAGES(T) $twin_messages
"""


def emit(model: Model) -> dict[str, str]:
    def names(entries) -> str:
        return ", ".join(f"Orbanex::{e.name}" for e in entries)

    def twins(entries) -> str:
        return ", ".join(f"T({e.name})" for e in entries if e.api)

    text = render(TYPE_LISTS_H, enums=names(model.enums), records=names(model.records),
                  messages=names(model.messages), twin_enums=twins(model.enums),
                  twin_records=twins(model.records), twin_messages=twins(model.messages))
    return {"cataloguetest/TypeLists.h": text}
