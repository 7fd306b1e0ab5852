#include "app/Unit1.h"

#include "filters/ABitmapFilters32.h"
#include "platform/core/Gdi.h"

namespace halvik {

TForm1* Form1 = nullptr;
HDC ScreenDC = nullptr;
TABitmap* ScreenBitmap = nullptr;
TABitmap* WorkBitmap = nullptr;
TABitmap* OutputBitmap = nullptr;

const char* const kForm1Description = R"(object Form1: TForm1
  Left = 216
  Top = 216
  Width = 356
  Height = 481
  Caption = '-Halvik-'
  Color = clGray
  TransparentColor = True
  TransparentColorValue = clGray
  Font.Charset = SHIFTJIS_CHARSET
  Font.Color = clWindowText
  Font.Height = -12
  Font.Name = #65325#65331' '#65328#12468#12471#12483#12463
  Font.Style = []
  FormStyle = fsStayOnTop
  OldCreateOrder = False
  WindowState = wsMinimized
  OnCreate = FormCreate
  OnDestroy = FormDestroy
  OnPaint = FormPaint
  OnResize = FormResize
  PixelsPerInch = 96
  TextHeight = 12
  object Timer1: TTimer
    Interval = 30
    OnTimer = Timer1Timer
  end
end
)";

namespace {
const bool kRegistered = (RegisterFormResource("TFORM1", kForm1Description), true);
}  // namespace

TNotifyEvent TForm1::MethodAddress(const std::string& Name) {
  using THandler = void (TForm1::*)(TObject*);
  static const struct { const char* name; THandler handler; } kPublished[] = {
      {"Timer1Timer", &TForm1::Timer1Timer}, {"FormCreate", &TForm1::FormCreate},
      {"FormDestroy", &TForm1::FormDestroy}, {"FormResize", &TForm1::FormResize},
      {"FormPaint", &TForm1::FormPaint}};
  for (const auto& p : kPublished)
    if (Name == p.name) return [this, h = p.handler](TObject* Sender) { (this->*h)(Sender); };
  return TForm::MethodAddress(Name);
}

bool TForm1::SetField(const std::string& Name, TComponent* Component) {
  if (Name == "Timer1") return (Timer1 = dynamic_cast<TTimer*>(Component)) != nullptr;
  return TForm::SetField(Name, Component);
}

void TForm1::FormCreate(TObject*) {
  (void)kRegistered;
  WorkBitmap = new TABitmap();
  OutputBitmap = new TABitmap();
  ScreenBitmap = new TABitmap();
  Canvas().Brush.Color = clGray;
  Canvas().FillRect(TRect{0, 0, Width(), Height()});
  ScreenBitmap->SetWidth(Screen->Width());
  ScreenBitmap->SetHeight(Screen->Height());
  WorkBitmap->SetWidth(2 * ClientWidth());
  WorkBitmap->SetHeight(2 * ClientHeight());
  OutputBitmap->SetWidth(ClientWidth());
  OutputBitmap->SetHeight(ClientHeight());
}

void TForm1::FormResize(TObject*) {
  WorkBitmap->SetWidth(2 * ClientWidth());
  WorkBitmap->SetHeight(2 * ClientHeight());
  OutputBitmap->SetWidth(ClientWidth());
  OutputBitmap->SetHeight(ClientHeight());
}

void TForm1::FormPaint(TObject*) {
  BitBlt(Canvas().Handle(), 0, 0, OutputBitmap->Width(), OutputBitmap->Height(), OutputBitmap->Canvas().Handle(),
         0, 0, SRCCOPY);
}

void TForm1::FormDestroy(TObject*) {
  if (ScreenDC != nullptr) ReleaseDC(0, ScreenDC);
  delete ScreenBitmap;
  delete WorkBitmap;
  delete OutputBitmap;
}

void TForm1::Timer1Timer(TObject*) {
  // One screen context is obtained on the first tick and kept until the window goes; a tick
  // whose GetDC failed tries again on the next.
  if (ScreenDC == nullptr) ScreenDC = GetDC(0);
  ScreenBitmap->Fill(0, 0, 0);
  BitBlt(ScreenBitmap->Canvas().Handle(), 0, 0, ScreenBitmap->Width(), ScreenBitmap->Height(), ScreenDC, 0, 0,
         SRCCOPY);
  StretchBilinear(WorkBitmap->Width(), WorkBitmap->Height(), *ScreenBitmap, Left(), Top() + CaptionOffset,
                  ClientWidth(), ClientHeight(), 0, 0, *WorkBitmap);
  BoxBlur(*WorkBitmap, 1);
  StretchBilinear(ClientWidth(), ClientHeight(), *WorkBitmap, 0, 0, WorkBitmap->Width(), WorkBitmap->Height(), 0, 0,
                  *OutputBitmap);
  BitBlt(Canvas().Handle(), 0, 0, OutputBitmap->Width(), OutputBitmap->Height(), OutputBitmap->Canvas().Handle(),
         0, 0, SRCCOPY);
}

}  // namespace halvik
