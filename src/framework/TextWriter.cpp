#include "framework/TextWriter.h"

namespace Tarvik {

template class TextWriter<Orbanex::FastOStream>;

}  // namespace Tarvik
