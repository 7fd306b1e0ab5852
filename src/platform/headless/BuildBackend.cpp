// The back end a build without a display system uses: a headless desktop of 1920 x 1080.
#include "platform/core/Forms.h"
#include "platform/headless/HeadlessBackend.h"

namespace halvik {

std::unique_ptr<TPlatformBackend> CreateBuildBackend() { return std::make_unique<THeadlessBackend>(1920, 1080); }

}  // namespace halvik
