#include "framework/TextCodec.h"

namespace Tarvik {

template class TextCodec<Orbanex::FastOStream>;

}  // namespace Tarvik
