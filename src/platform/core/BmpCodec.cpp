// Placeholder until the reader lands.
#include "platform/core/BmpCodec.h"
#include "platform/core/Exceptions.h"
namespace halvik {
void ReadBmp(TStream&, TBitmap&) { throw EInvalidGraphic("BMP reading is not built yet"); }
void WriteBmp(TStream&, TBitmap&) { throw EInvalidGraphic("BMP writing is not built yet"); }
}  // namespace halvik
