#include "platform/core/Backend.h"

#include "platform/core/Exceptions.h"

namespace halvik {
namespace {

// Bitmaps and memory contexts only: enough for the image code and its tools.
class TMemoryOnlyBackend : public TPlatformBackend {
 public:
  std::string Name() const override { return "memory"; }
  HDC GetDC(TWindowId) override { return nullptr; }
  int ReleaseDC(TWindowId, HDC) override { return 0; }
  int ScreenWidth() override { return 0; }
  int ScreenHeight() override { return 0; }
  void SetApplicationTitle(const std::string&) override {}
  void SetApplicationListener(TApplicationListener*) override {}
  TShowCommand StartupShowCommand() override { return TShowCommand::Normal; }
  TFrameMetrics FrameMetrics(const TWindowParams&) override { return {}; }
  TWindowId CreateFormWindow(const TWindowParams&, TWindowListener*) override { Fail(); }
  void DestroyFormWindow(TWindowId) override {}
  void ShowFormWindow(TWindowId, TWindowState) override {}
  void HideFormWindow(TWindowId) override {}
  void SetWindowBounds(TWindowId, const TRect&) override {}
  void InvalidateWindow(TWindowId) override {}
  TTimerId StartTimer(unsigned, std::function<void()>) override { Fail(); }
  void StopTimer(TTimerId) override {}
  void RunMessageLoop() override { Fail(); }
  void Terminate() override {}
  void ShowException(const std::string&) override {}

 private:
  [[noreturn]] static void Fail() {
    throw EOutOfResources("No window system: install a platform back end first");
  }
};

// Never destroyed: exit processing may still ask for the platform after other statics are gone.
TMemoryOnlyBackend* const g_memory_backend = new TMemoryOnlyBackend();
TPlatformBackend* g_backend = g_memory_backend;

}  // namespace

TPlatformBackend& Platform() { return *g_backend; }
void SetPlatform(TPlatformBackend* Backend) { g_backend = Backend ? Backend : g_memory_backend; }

}  // namespace halvik
