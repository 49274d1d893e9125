#pragma once

#include <string>

#include "logging/Message.h"

namespace Tarvik {
class MsgLogFile;
}  // namespace Tarvik

namespace Orbanex {

// The self-describing records of a binary message log file. The builders need the catalogue
// (between MessagingInit::initialize() and finalize()).

// The VersionMessage that opens every file: the library, its build, the catalogue's signatures
// (protosig: the API signature; extra1: the protocol signature), the file's sync interval, the
// process id (extra2) and "cpp" (extra3).
ShpMessage getVersionMessage(int syncSize);

// The ProtocolDefinitionMessage that follows it, holding the catalogue's compressed definition.
ShpMessage getProtocolDefinitionMessage();

// The protocol signature recorded in the first record of an opened file. False, signature
// untouched, when that record is missing, is not a version record or cannot be decoded: the
// file is read as hostile input, never beyond its end.
bool getLogSignature(Tarvik::MsgLogFile* file, std::string& signature);

}  // namespace Orbanex
