#pragma once

// What the generated classes use of the framework. Not part of the public headers' surface:
// only the units of the API model include it.

#include <memory>
#include <ostream>

#include "api/APITypes.h"
#include "common/FastOStream.h"
#include "framework/FastCodec.h"
#include "framework/TextCodec.h"
#include "framework/TextWriter.h"

namespace ZURAV {

typedef Tarvik::FastCodec FastCodec;

typedef Tarvik::TextCodec<Orbanex::FastOStream> TextCodec;
typedef Tarvik::TextWriter<Orbanex::FastOStream> TextWriter;
// Text dumps are built in this fixed buffer; a longer text is cut short.
typedef Orbanex::StaticOStream<262144> TextStream;

// Writes prefix, x's group in the pretty layout and ">" to os in one write. The buffer is on the
// heap: a dump may be made on a request path (the client's debug log of what it sends), whose
// thread may have a small stack.
template <class T>
void dumpText(std::ostream& os, const char* prefix, const T& x) {
    const std::unique_ptr<TextStream> text(new TextStream);
    TextStream& stream = *text;
    TextCodec codec(stream);
    TextWriter writer(codec, true, 0);
    codec.write_data(prefix);
    x.dump(static_cast<void*>(&writer));
    codec.write_data(">");
    os.write(stream.buffer(), static_cast<std::streamsize>(stream.size()));
}

}  // namespace ZURAV
