// The main window: an always-on-top, colour-keyed form that shows the blurred screen behind it.
#pragma once

#include "bitmap/ABitmap.h"
#include "platform/core/Forms.h"

namespace halvik {

class TForm1 : public TForm {
 public:
  explicit TForm1(TComponent* Owner) : TForm(Owner) {}
  std::string ClassName() const override { return "TForm1"; }

  TTimer* Timer1 = nullptr;

  void Timer1Timer(TObject* Sender);
  void FormCreate(TObject* Sender);
  void FormDestroy(TObject* Sender);
  void FormResize(TObject* Sender);
  void FormPaint(TObject* Sender);

 protected:
  TNotifyEvent MethodAddress(const std::string& Name) override;
  bool SetField(const std::string& Name, TComponent* Component) override;
};

// Pixels added to Top to reach the screen area taken to lie behind the client area.
constexpr int CaptionOffset = 25;

extern TForm1* Form1;
// The screen's device context: empty until the first tick obtains it.
extern HDC ScreenDC;
extern TABitmap* ScreenBitmap;  // the primary display's size at start
extern TABitmap* WorkBitmap;    // twice the client size in each direction
extern TABitmap* OutputBitmap;  // the client size

// The stored description of TForm1.
extern const char* const kForm1Description;

}  // namespace halvik
